"""Faults while extracting, on the shipped launcher: a full disk, a read-only
temp folder, a file held by another program, a launcher killed halfway and
damaged packages. Each run must end on its own with a message that names
the problem (or with the files safely elsewhere), start no main program from
incomplete files, and leave no setup folder and nothing outside it behind.

The temp folder is moved onto a small or read-only file system by mounting a
tmpfs (root only; the test says loudly when it cannot), giving it a drive
letter in the Wine prefix and pointing the user's TEMP and TMP there."""
import os
import struct
import subprocess
import tempfile
import time
from pathlib import Path

import mutation
from mutation import drive_listing
from harness import (HELPERS, WINE, Answerer, Scratch, build_setup, drive_c, fake_setup_env, main,
                     make_payload, reg_query, reseal, run_setup, same_tree, setup_leftovers, start,
                     start_env, wait_for, wine_temp, win_path)


def setup_folder_name(setup: Path) -> str:
    """The launcher's setup folder name: its file's local time of day, packed."""
    t = time.localtime(setup.stat().st_mtime)
    return f"SETUP_{(t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec // 2)}"


def run_hidden(tmp, setup, timeout=120):
    """Runs a package with /hide (run_setup): (exit code, log lines, whether
    its main program ran)."""
    code, lines, record = run_setup(tmp, setup, "/hide", timeout=timeout)
    return code, lines, record is not None


def reg_set_temp(value: str):
    for name in ("TEMP", "TMP"):
        subprocess.run([WINE, "reg", "add", "HKCU\\Environment", "/v", name, "/t", "REG_EXPAND_SZ",
                        "/d", value, "/f"], capture_output=True, timeout=60, check=True)


class TempOnMount:
    """TEMP and TMP of the Wine user on drive T:, a tmpfs of `size` (read-only
    with `read_only`). `skipped` holds the reason when mounting is refused."""

    def __init__(self, size="512k", read_only=False):
        self.dir = Path(tempfile.mkdtemp(prefix="orvane-mount-"))
        self.link = Path(os.environ["WINEPREFIX"]) / "dosdevices" / "t:"
        options = f"size={size}" + (",ro" if read_only else "")
        done = subprocess.run(["mount", "-t", "tmpfs", "-o", options, "orvane-fault",
                               str(self.dir)], capture_output=True, text=True)
        self.skipped = None if done.returncode == 0 else (done.stderr.strip() or "mount failed")
        if self.skipped:
            print(f"SKIPPED: cannot mount a tmpfs here ({self.skipped}); this fault needs root")
            self.dir.rmdir()
            return
        self.link.symlink_to(self.dir)
        self.root = self.dir
        self.saved = reg_query("HKCU\\Environment", "TEMP")
        reg_set_temp("T:\\")

    def close(self):
        if not self.skipped:
            reg_set_temp(self.saved)
            self.link.unlink()
            subprocess.run(["umount", str(self.dir)], check=True)
            self.dir.rmdir()


def understate_space(setup: Path):
    """Lets a package claim it needs 1 KB, so that the room check passes and
    the disk fills up while the files are written."""
    data = bytearray(setup.read_bytes())
    trailer = (struct.unpack_from("<i", data, 252)[0] or len(data)) - 74
    for i in range(9):
        struct.pack_into("<I", data, trailer + 28 + 4 * i, 1024)
    setup.write_bytes(bytes(reseal(data)))


def test_disk_full_while_extracting():
    with Scratch() as tmp:
        payload = make_payload(tmp / "in")
        (payload / "big.bin").write_bytes(os.urandom(2 * 1024 * 1024))
        setup = build_setup(tmp / "setup.exe", payload)
        understate_space(setup)
        mount = TempOnMount(size="1m")
        if mount.skipped:
            return
        try:
            before = drive_listing()
            answerer = Answerer(tmp, ["--enter"])
            code, lines, ran = run_hidden(tmp, setup)
            assert answerer.wait() == 0, "no message about the full disk"
            text = answerer.boxes()[0]["text"]
            left = setup_leftovers(mount.root)
        finally:
            mount.close()
        print(f"box: {text[:300]}")
        assert "Unable to save Extracted File!" in text and "T:\\\\SETUP_" in text, text
        assert "space" in text.lower() or "disk full" in text.lower(), text
        assert code == 0 and not ran, "the main program started from incomplete files"
        assert " RunPackage result=FALSE" in lines, lines
        assert not left, left
        assert drive_listing() == before


def test_read_only_temp_folder_extracts_on_another_drive():
    with Scratch() as tmp:
        payload = make_payload(tmp / "in")
        setup = build_setup(tmp / "setup.exe", payload)
        mount = TempOnMount(read_only=True)
        if mount.skipped:
            return
        try:
            before = drive_listing()
            code, lines, ran = run_hidden(tmp, setup)
            left = setup_leftovers(mount.root)
        finally:
            mount.close()
        # The setup folder could not be made on T:, so the room check sends
        # the files to the fixed drive with room (C:\TEMP_n), removed after.
        assert code == 0 and ran, lines
        assert same_tree(payload, tmp / "copy"), "extracted files differ from the input"
        exe = next(l for l in (tmp / "fake.log").read_text(errors="replace").splitlines()
                   if l.startswith("exe="))
        assert exe.upper().startswith("EXE=C:\\TEMP"), exe
        assert " RunPackage result=TRUE" in lines, lines
        assert not left
        assert drive_listing() == before


def test_locked_target_file_is_reported_and_its_folder_swept_later():
    with Scratch() as tmp:
        payload = make_payload(tmp / "in")
        setup = build_setup(tmp / "setup.exe", payload)
        temp = wine_temp()
        folder = temp / setup_folder_name(setup)
        before = drive_listing()
        locker = start(HELPERS / "file_locker.exe", "--file",
                       f"C:\\{folder.relative_to(drive_c())}\\readme.txt".replace("/", "\\"),
                       "--ready", win_path(tmp / "locked"), "--hold-ms", 120000)
        try:
            time.sleep(1.0)  # the locker is waiting for the folder
            answerer = Answerer(tmp, ["--enter"])
            code, lines, ran = run_hidden(tmp, setup)
            assert answerer.wait() == 0, "no message about the locked file"
            text = answerer.boxes()[0]["text"]
            assert (tmp / "locked").exists(), "the locker did not get the file first"
            print(f"box: {text[:300]}")
            assert "readme.txt" in text and "Unable to save Extracted File!" in text, text
            assert "sharing violation" in text.lower() or "another process" in text.lower(), text
            assert code == 0 and not ran, "the main program started without readme.txt"
            # The held file keeps the folder; it stays marked as ours.
            assert setup_leftovers() == {folder.name, folder.name + ".LCK"}, setup_leftovers()
            assert [p.name for p in folder.iterdir()] == ["readme.txt"]
        finally:
            locker.kill()
            locker.wait()
        code, lines, ran = run_hidden(tmp, setup)
        assert code == 0 and ran and " RunPackage result=TRUE" in lines, lines
        assert same_tree(payload, tmp / "copy")
        assert not setup_leftovers(), "the folder of the locked file was not swept"
        assert drive_listing() == before


def test_killed_launcher_is_swept_by_the_next_run_and_other_folders_are_kept():
    with Scratch() as tmp:
        payload = make_payload(tmp / "in")
        (payload / "big.txt").write_bytes(b"".join(b"line %09d of a large file\r\n" % i
                                                   for i in range(3000000)))
        setup = build_setup(tmp / "setup.exe", payload)
        temp = wine_temp()
        name = setup_folder_name(setup)
        before = drive_listing()
        # Not ours: the same naming pattern, but no mark beside it.
        foreign = temp / "SETUP_1"
        foreign.mkdir()
        (foreign / "keep.txt").write_text("not the launcher's")

        proc = start_env(setup, "/hide", env=fake_setup_env(tmp / "fake.log", tmp / "copy"))
        wait_for(lambda: (temp / name / "big.txt").exists(), 60, "the extraction to begin")
        proc.kill()
        proc.wait()
        size = (temp / name / "big.txt").stat().st_size
        print(f"killed with {size} of {(payload / 'big.txt').stat().st_size} bytes of big.txt")
        assert setup_leftovers() == {"SETUP_1", name, name + ".LCK"}, setup_leftovers()

        code, lines, ran = run_hidden(tmp, setup)
        assert code == 0 and ran and " RunPackage result=TRUE" in lines, lines
        assert same_tree(payload, tmp / "copy"), "the second run's files differ"
        assert setup_leftovers() == {"SETUP_1"}, setup_leftovers()
        assert (foreign / "keep.txt").read_text() == "not the launcher's"

        # A folder of the launcher's own name that is not ours: the run takes
        # the next name and leaves it alone.
        (temp / name).mkdir()
        (temp / name / "keep.txt").write_text("mine")
        (tmp / "fake.log").unlink()
        code, lines, ran = run_hidden(tmp, setup)
        assert code == 0 and ran and " RunPackage result=TRUE" in lines, lines
        exe = next(l for l in (tmp / "fake.log").read_text(errors="replace").splitlines()
                   if l.startswith("exe="))
        assert f"\\{name}_2\\Setup.exe" in exe, exe
        assert setup_leftovers() == {"SETUP_1", name}, setup_leftovers()
        assert [p.name for p in (temp / name).iterdir()] == ["keep.txt"]
        for p in (temp / name, foreign):
            (p / "keep.txt").unlink()
            p.rmdir()
        assert drive_listing() == before


def test_bad_magic_outside_the_checksum_is_reported_as_damage():
    with Scratch() as tmp:
        setup = build_setup(tmp / "setup.exe", make_payload(tmp / "in"))
        data = bytearray(setup.read_bytes())
        data[len(data) - 74 + 12] ^= 0x01  # PackageMagic: the checksum stops before the trailer
        setup.write_bytes(bytes(data))
        before = drive_listing()
        answerer = Answerer(tmp, ["--enter"])
        code, lines, ran = run_hidden(tmp, setup)
        assert answerer.wait() == 0, "a package without its magic ended without a word"
        text = answerer.boxes()[0]["text"]
        assert "Damaged package data" in text and "Bad package magic" in text, text
        assert code == 0 and not ran
        assert drive_listing() == before


def test_damaged_packages_end_cleanly():
    """A seeded sample of the mutation run (scripts/mutation-run.sh runs
    1,000 and more)."""
    results = mutation.run_cases(seed=20261208, first=0, count=30)
    for (kind, outcome), n in sorted(mutation.table(results).items()):
        print(f"  {kind:12} {outcome:24} {n}")
    faults = [r for r in results if r["outcome"] in mutation.FAULTS]
    assert not faults, faults
    assert len(results) == 30


if __name__ == "__main__":
    main([test_disk_full_while_extracting, test_read_only_temp_folder_extracts_on_another_drive,
          test_locked_target_file_is_reported_and_its_folder_swept_later,
          test_killed_launcher_is_swept_by_the_next_run_and_other_folders_are_kept,
          test_bad_magic_outside_the_checksum_is_reported_as_damage,
          test_damaged_packages_end_cleanly])
