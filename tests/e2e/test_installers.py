"""Real installers as the package's main program, under Wine: NSIS
executables (tests/installers/nsis_app.nsi), an MSI made by wixl and a .cmd
wrapper around msiexec, run in the exit-code success mode, where the
setup's own exit code says whether it worked. Each case builds its
installer with makensis or wixl first; a missing tool fails the case."""
import random
import re
import shutil
import subprocess
import time
import uuid

from harness import (EXIT_CODE_MODE, HELPERS, INSTALLERS, WINE, Answerer, DebugViewer, Scratch,
                     build_setup, drive_c, finish, install_log, linux_path, log_lines_of, main, nsis,
                     pack, setup_leftovers, start, wait_for)



def msi(payload, folder):
    """payload/app.msi with a fresh product code, installing app.txt into C:\\<folder>."""
    payload.mkdir(parents=True, exist_ok=True)
    (payload / "app.txt").write_bytes(msi_text(folder))
    subprocess.run(["wixl", "-D", f"Folder={folder}", "-D", f"ProductCode={str(uuid.uuid4()).upper()}",
                    "-o", payload / "app.msi", INSTALLERS / "app.wxs"],
                   cwd=payload, check=True, capture_output=True, timeout=120)
    (payload / "app.txt").unlink()  # only the MSI carries it
    return drive_c() / folder


def msi_text(folder):
    return f"Orvane MSI payload {folder}\r\n".encode()


class Run:
    """One run of a package: exit code, seconds taken, debug lines, the boxes
    answered, the command line started and the SETUP_* entries it left in %TEMP%."""

    def __init__(self, tmp, setup, *args, answer=None, timeout=120):
        before = setup_leftovers()
        viewer = DebugViewer(tmp)
        answerer = Answerer(tmp, answer) if answer else None
        try:
            started = time.monotonic()
            self.code = finish(start(setup, *args), timeout)
            self.seconds = time.monotonic() - started
            if answerer:
                assert answerer.wait() == 0, "no box to answer"
            self.lines = log_lines_of(viewer)
        finally:
            viewer.close()
        self.boxes = answerer.boxes() if answerer else []
        self.command = next((l[len(" Start "):] for l in self.lines if l.startswith(" Start ")), None)
        self.left = setup_leftovers() - before

    def succeeded(self, code=0):
        # Wine hands a Windows exit code to Linux as an 8-bit exit status.
        assert self.code == code & 0xFF, (self.code, self.lines)
        assert f" Setup exit code={code}" in self.lines, self.lines
        assert (" RunPackage result=TRUE" if code in (0, 3010, 1641) else
                " RunPackage result=FALSE") in self.lines, self.lines
        assert not self.left, f"left in %TEMP%: {self.left}"


def test_silent_nsis_gets_exactly_the_arguments_and_installs():
    with Scratch() as tmp:
        target = nsis(tmp / "in", "plain", "silent")
        setup = build_setup(tmp / "setup.exe", tmp / "in", main="Setup.exe* /S", extra=EXIT_CODE_MODE)
        listing = pack("list", setup).stdout
        assert "Success by: exit-code" in listing, listing
        run = Run(tmp, setup, "/x")
        run.succeeded()
        assert re.fullmatch(r'"C:\\[^"]*\\SETUP_\d+\\Setup\.exe" /x /S', run.command or ""), run.command
        assert install_log(target) == ["dir=C:\\OrvNsis\\silent", "params=/x /S", "done"]
        assert (target / "readme.txt").read_bytes() == (INSTALLERS / "nsis_app.nsi").read_bytes()


def test_install_folder_switch_reaches_nsis_whole():
    # NSIS takes everything after /D= as the folder: an appended switch would
    # end up inside the folder name.
    with Scratch() as tmp:
        nsis(tmp / "in", "plain", "unused")
        folder = "C:\\Orv Nsis D\\Tar get"
        setup = build_setup(tmp / "setup.exe", tmp / "in", main=f"Setup.exe* /S /D={folder}",
                            extra=EXIT_CODE_MODE)
        Run(tmp, setup).succeeded()
        assert install_log(linux_path(folder)) == [f"dir={folder}", "params=/S", "done"]


def test_installer_exit_codes_are_returned_and_failures_shown():
    for code, failed in ((5, True), (3010, False)):
        with Scratch() as tmp:
            nsis(tmp / "in", "exitcode", "exitcode", code=code)
            setup = build_setup(tmp / "setup.exe", tmp / "in", main="Setup.exe* /S",
                                extra=EXIT_CODE_MODE)
            run = Run(tmp, setup, answer=["--enter"] if failed else None)
            run.succeeded(code=code)
            if failed:
                box = run.boxes[0]
                assert box["caption"] == "Error" and "exit code" in box["text"].lower(), box
                assert re.search(rf"(?<!\d){code}(?!\d)", box["text"]), box
            else:
                # A restart is asked for: said in the log, never done.
                assert any("Restart asked for, not made: exit code 3010" in l for l in run.lines), run.lines


def test_waits_for_the_copy_a_relaunching_nsis_leaves_behind():
    # The copy in %TEMP% takes payload\* from the setup folder about 4 s after
    # the original ended: removing the folder early loses files.
    with Scratch() as tmp:
        target = nsis(tmp / "in", "relaunch", "relaunch")
        (tmp / "in" / "payload").mkdir()
        for i in range(5):
            (tmp / "in" / "payload" / f"part{i}.dat").write_bytes(bytes([i]) * 40000)
        setup = build_setup(tmp / "setup.exe", tmp / "in", main="Setup.exe* /S", extra=EXIT_CODE_MODE)
        run = Run(tmp, setup)
        run.succeeded()
        assert run.seconds >= 4, run.seconds
        log = install_log(target)
        assert "handed over" in log and log[-1] == "done", log
        for i in range(5):
            assert (target / f"part{i}.dat").read_bytes() == bytes([i]) * 40000, i


def test_waits_for_a_system_program_on_a_setup_folder_file():
    with Scratch() as tmp:
        target = nsis(tmp / "in", "syswait", "syswait")
        (tmp / "in" / "late.txt").write_text("copied by cmd after the installer ended\r\n")
        setup = build_setup(tmp / "setup.exe", tmp / "in", main="Setup.exe* /S", extra=EXIT_CODE_MODE)
        run = Run(tmp, setup)
        run.succeeded()
        assert run.seconds >= 4, run.seconds
        assert (target / "late.txt").read_text() == (tmp / "in" / "late.txt").read_text()


def test_does_not_wait_for_the_installed_application():
    with Scratch() as tmp:
        target = nsis(tmp / "in", "startapp", "startapp")
        shutil.copy(HELPERS / "window_holder.exe", tmp / "in" / "app.exe")  # lives 60 s
        setup = build_setup(tmp / "setup.exe", tmp / "in", main="Setup.exe* /S", extra=EXIT_CODE_MODE)
        try:
            proc = start(setup)
            wait_for((target / "app.ready").exists, 60, "the installed application")
            since = time.monotonic()
            assert finish(proc, 60) == 0
            assert time.monotonic() - since < 15, "the launcher waited for the application"
        finally:
            killed = subprocess.run([WINE, "taskkill", "/F", "/IM", "app.exe"], capture_output=True,
                                    timeout=60)
        assert killed.returncode == 0, "the installed application was not running any more"
        assert not setup_leftovers()


def test_msi_and_a_slow_cmd_wrapper_install():
    cases = [("app.msi* /qn", "OrvMsiDirect",
              r'"C:\\windows\\(system32|syswow64)\\msiexec\.exe" /i "C:\\[^"]*\\SETUP_\d+\\app\.msi" /qn', 0),
             ("install.cmd*", "OrvMsiCmd",
              r'"C:\\[^"]*\\SETUP_\d+\\install\.cmd"', 4)]
    for main_entry, folder, command, min_seconds in cases:
        with Scratch() as tmp:
            target = msi(tmp / "in", folder)
            shutil.copy(INSTALLERS / "install.cmd", tmp / "in" / "install.cmd")
            setup = build_setup(tmp / "setup.exe", tmp / "in", main=main_entry, extra=EXIT_CODE_MODE)
            run = Run(tmp, setup, timeout=180)
            run.succeeded()
            assert re.fullmatch(command, run.command or "", re.I), (main_entry, run.command)
            assert run.seconds >= min_seconds, (main_entry, run.seconds)
            assert (target / "app.txt").read_bytes() == msi_text(folder), main_entry


def test_main_entry_that_is_no_program_reports_the_reason():
    for mode, flag in (("hand-shake", []), ("exit-code", EXIT_CODE_MODE)):
        with Scratch() as tmp:
            (tmp / "in").mkdir()
            (tmp / "in" / "readme.txt").write_text("not a program\r\n")
            setup = build_setup(tmp / "setup.exe", tmp / "in", main="readme.txt*", extra=flag)
            listing = pack("list", setup).stdout
            assert f"Success by: {mode}" in listing, listing
            run = Run(tmp, setup, answer=["--enter"])
            box = run.boxes[0]
            # The system's text for a file that is no program: Windows', or Wine's.
            assert box["caption"] == "Error", (mode, box)
            assert re.search(r"not a valid Win32 application|Bad EXE format", box["text"]), (mode, box)
            assert not run.left, (mode, run.left)
            if mode == "exit-code":
                assert run.code == 1603 & 0xFF, run.code


def test_package_in_a_folder_the_ansi_code_page_cannot_spell():
    # Whole, and spanned: the further disks are found beside it by name.
    for disk_size in (None, "200K"):
        with Scratch() as tmp:
            target = nsis(tmp / "in", "plain", "cyrillic")
            (tmp / "in" / "filler.bin").write_bytes(random.Random(7).randbytes(300000))
            folder = tmp / "Загрузки"
            folder.mkdir()
            extra = EXIT_CODE_MODE + (["--disk-size", disk_size] if disk_size else [])
            setup = build_setup(folder / "setup.exe", tmp / "in", main="Setup.exe* /S", extra=extra)
            assert (folder / "setup.exe.002").exists() == bool(disk_size)
            Run(tmp, setup).succeeded()
            # The launcher's own path, "?" where the code page fails, is no argument.
            assert install_log(target)[1:] == ["params=/S", "done"], disk_size
            shutil.rmtree(target)


if __name__ == "__main__":
    main([test_silent_nsis_gets_exactly_the_arguments_and_installs,
          test_install_folder_switch_reaches_nsis_whole,
          test_installer_exit_codes_are_returned_and_failures_shown,
          test_waits_for_the_copy_a_relaunching_nsis_leaves_behind,
          test_waits_for_a_system_program_on_a_setup_folder_file,
          test_does_not_wait_for_the_installed_application,
          test_msi_and_a_slow_cmd_wrapper_install,
          test_main_entry_that_is_no_program_reports_the_reason,
          test_package_in_a_folder_the_ansi_code_page_cannot_spell])
