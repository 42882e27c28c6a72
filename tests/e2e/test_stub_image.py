"""The launcher image itself: "MZ" at 0, "PE" at 256 with PackageEnd's four
zero bytes before it, a GUI-subsystem program that imports system DLLs only;
and a launcher without a package ends cleanly after its checksum message."""
import struct
from pathlib import Path

from harness import BIN, NATIVE_BIN, Answerer, DebugViewer, Scratch, finish, log_lines_of, main, start

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "comctl32.dll",
               "msvcrt.dll", "shell32.dll"}


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

    dlls = set()
    at = offset_of(import_rva)
    while True:
        name_rva = struct.unpack_from("<I", data, at + 12)[0]
        if name_rva == 0:
            break
        start_at = offset_of(name_rva)
        dlls.add(data[start_at:data.index(b"\0", start_at)].decode().lower())
        at += 20
    return machine, magic, subsystem, dlls


def test_32_bit_product_image_layout():
    machine, magic, subsystem, dlls = pe_facts(NATIVE_BIN / "Stub.exe")
    assert (machine, magic, subsystem) == (0x14C, 0x10B, 2), (machine, magic, subsystem)
    assert dlls <= SYSTEM_DLLS, dlls


def test_64_bit_test_image_layout():
    machine, magic, subsystem, dlls = pe_facts(BIN / "Stub.exe")
    assert (machine, magic, subsystem) == (0x8664, 0x20B, 2), (machine, magic, subsystem)
    assert dlls <= SYSTEM_DLLS, dlls


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
    main([test_32_bit_product_image_layout, test_64_bit_test_image_layout,
          test_relocated_image_still_runs_and_a_bare_launcher_reports_bad_crc])
