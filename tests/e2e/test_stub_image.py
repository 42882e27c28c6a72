"""The launcher image itself: "MZ" at 0, "PE" at 256 with PackageEnd's four
zero bytes before it, a GUI-subsystem program that imports system DLLs only
into writable address tables and carries its icon and version information,
within its size budget; and a launcher without a package ends cleanly after
its checksum message."""
import struct
from pathlib import Path

from harness import (ARCH_BITS, BIN, NATIVE_BIN, Answerer, DebugViewer, Scratch, finish, log_lines_of,
                     main, project_version, start)

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "comctl32.dll",
               "msvcrt.dll", "shell32.dll"}


# The 32-bit launcher is 90,624 bytes, one 512-byte block under NSIS's stub
# (91,136 bytes), the smallest launcher publishers compare it with; the
# guard fails when it is no longer under it. What would pull the C++
# runtime back in (exception support: ~150 KB; iostreams; the stdio
# formatting family: ~25 KB), the end of whole-program optimisation or a few
# hundred bytes of new code fails here; bench/stub-size.sh shows where the
# bytes go.
STUB_SIZE_CEILING = 91_136


def pe_facts(path: Path):
    data = path.read_bytes()
    assert data[:2] == b"MZ", path
    assert struct.unpack_from("<I", data, 0x3C)[0] == 256, "e_lfanew is not 256"
    assert data[252:256] == b"\0\0\0\0", "PackageEnd bytes are not zero"
    assert data[256:260] == b"PE\0\0", "no PE signature at 256"
    machine = struct.unpack_from("<H", data, 260)[0]
    optional = 256 + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    subsystem = struct.unpack_from("<H", data, optional + 68)[0]
    # Import directory: data directory 1 of the optional header.
    directories = optional + (96 if magic == 0x10B else 112)
    import_rva = struct.unpack_from("<I", data, directories + 8)[0]
    sections = struct.unpack_from("<H", data, 256 + 6)[0]
    size_optional = struct.unpack_from("<H", data, 256 + 20)[0]
    table = optional + size_optional

    def offset_of(rva):
        for i in range(sections):
            vsize, va, raw_size, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
            if va <= rva < va + max(vsize, raw_size):
                return raw + rva - va
        raise AssertionError(f"rva {rva:#x} in no section")

    def writable(rva):
        for i in range(sections):
            vsize, va, raw_size = struct.unpack_from("<III", data, table + 40 * i + 8)
            if va <= rva < va + max(vsize, raw_size):
                return bool(struct.unpack_from("<I", data, table + 40 * i + 36)[0] & 0x80000000)
        raise AssertionError(f"rva {rva:#x} in no section")

    dlls = set()
    at = offset_of(import_rva)
    while True:
        name_rva, thunks_rva = struct.unpack_from("<II", data, at + 12)
        if name_rva == 0:
            break
        # The loader fills in each address table: it must lie in writable data.
        assert writable(thunks_rva), f"address table at {thunks_rva:#x} is read-only"
        start_at = offset_of(name_rva)
        dlls.add(data[start_at:data.index(b"\0", start_at)].decode().lower())
        at += 20
    return machine, magic, subsystem, dlls, resources(data, offset_of, directories)


def resources(data, offset_of, directories):
    """The resource directory's leaves: {(type, name): bytes}."""
    root = offset_of(struct.unpack_from("<I", data, directories + 16)[0])
    leaves = {}

    def walk(at, path):
        named, numbered = struct.unpack_from("<HH", data, root + at + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", data, root + at + 16 + 8 * i)
            if name & 0x80000000:
                text_at = root + (name & 0x7FFFFFFF)
                length = struct.unpack_from("<H", data, text_at)[0]
                name = data[text_at + 2:text_at + 2 + 2 * length].decode("utf-16-le")
            if target & 0x80000000:
                walk(target & 0x7FFFFFFF, path + (name,))
            else:
                rva, size = struct.unpack_from("<II", data, root + target)
                leaves[path[:2]] = data[offset_of(rva):offset_of(rva) + size]

    walk(0, ())
    return leaves


def test_image_layouts():
    # The product is always the 32-bit image in build/bin; the launcher under
    # test is that one, or the 64-bit build where the host runs no 32-bit code.
    expected = {32: (0x14C, 0x10B, 2), 64: (0x8664, 0x20B, 2)}
    for image, bits in ((NATIVE_BIN / "Stub.exe", 32), (BIN / "Stub.exe", ARCH_BITS)):
        machine, magic, subsystem, dlls, leaves = pe_facts(image)
        assert (machine, magic, subsystem) == expected[bits], (image, machine, magic, subsystem)
        assert dlls <= SYSTEM_DLLS, (image, dlls)
        # The icon (images, group "MAINICON") and the version information.
        assert {(3, 1), (3, 2), (14, "MAINICON"), (16, 1)} <= leaves.keys(), (image, leaves.keys())
        version = leaves[(16, 1)].decode("utf-16-le", "replace")
        assert "Orvane Setup Launcher" in version, (image, version)
        assert f"{project_version()}.0" in version, (image, version)


def test_launcher_stays_within_its_size_ceiling():
    size = (NATIVE_BIN / "Stub.exe").stat().st_size
    assert size < STUB_SIZE_CEILING, (
        f"Stub.exe is {size} bytes, ceiling {STUB_SIZE_CEILING}: see bench/stub-size.sh")


def test_relocated_image_still_runs_and_a_bare_launcher_reports_bad_crc():
    with Scratch() as tmp:
        viewer = DebugViewer(tmp)
        try:
            answerer = Answerer(tmp, ["--enter"])
            code = finish(start(BIN / "Stub.exe"), 90)
            assert answerer.wait() == 0
            lines = log_lines_of(viewer)
        finally:
            viewer.close()
        assert code == 0
        assert "Bad CRC!" in answerer.boxes()[0]["text"]
        assert any(l.startswith(" ==== STUB END ====>") for l in lines), lines


if __name__ == "__main__":
    main([test_image_layouts, test_launcher_stays_within_its_size_ceiling,
          test_relocated_image_still_runs_and_a_bare_launcher_reports_bad_crc])
