"""Memory does not grow with an entry: a package holding one 300 MB entry
extracts with the launcher's peak working set under 32 MB, and the file
comes out byte-identical."""
import hashlib

from harness import BIN, HELPERS, Scratch, main, pack, run_setup

SIZE = 300 * 1000 * 1000


def write_big_file(path):
    """Compressible but not trivial content, with its SHA-256."""
    digest = hashlib.sha256()
    line_block = "".join(f"line {i:09d} of the large entry, {i * 2654435761 % 4294967296:08x}\n"
                         for i in range(20000)).encode()
    with open(path, "wb") as out:
        written = 0
        n = 0
        while written < SIZE:
            chunk = line_block[: SIZE - written] if SIZE - written < len(line_block) else line_block
            chunk = chunk.replace(b"line", b"LINE") if n % 7 == 3 else chunk
            out.write(chunk)
            digest.update(chunk)
            written += len(chunk)
            n += 1
    return digest.hexdigest()


def test_300_mb_entry_extracts_in_bounded_memory():
    with Scratch() as tmp:
        payload = tmp / "in"
        payload.mkdir()
        (payload / "Setup.exe").write_bytes((HELPERS / "fake_setup.exe").read_bytes())
        digest = write_big_file(payload / "big.dat")
        setup = tmp / "setup.exe"
        # One entry for the whole file: the piece size is above its size.
        pack("build", "--stub", BIN / "Stub.exe", "--output", setup, "--folder", payload,
             "--main", "Setup.exe*", "--piece-size", "400M")
        entries = [l for l in pack("list", setup).stdout.splitlines() if "big.dat" in l]
        assert len(entries) == 1, entries
        code, lines, _ = run_setup(tmp, setup, "/hide", timeout=300)
        assert code == 0 and " RunPackage result=TRUE" in lines, lines
        peak = int(next(l for l in lines if l.startswith(" PeakWorkingSetSize=")).split("=")[1])
        print(f"peak working set: {peak / 1e6:.1f} MB")
        assert 0 < peak < 32 * 1024 * 1024, peak
        copied = hashlib.sha256((tmp / "copy" / "big.dat").read_bytes()).hexdigest()
        assert copied == digest


if __name__ == "__main__":
    main([test_300_mb_entry_extracts_in_bounded_memory])
