"""Driver for end-to-end runs of the launcher under Wine.

The test runs inside tests/tools/winerun.sh, which provides WINEPREFIX,
DISPLAY and a `wine` command for the 64-bit test build. Every Windows
program started here gets a time limit, so no test can hang.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

BIN = Path(os.environ.get("ORVANE_BIN_DIR", "build/win64/bin"))
NATIVE_BIN = Path(os.environ.get("ORVANE_NATIVE_BIN_DIR", "build/bin"))
SOURCE = Path(os.environ.get("ORVANE_SOURCE_DIR", Path(__file__).resolve().parents[2]))
WINE = shutil.which("wine") or "wine"


def win_path(path) -> str:
    """The Windows name of a Linux path through Wine's Z: drive."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def drive_c() -> Path:
    return Path(os.environ["WINEPREFIX"]) / "drive_c"


def pack(*args, check=True) -> subprocess.CompletedProcess:
    """Runs the native packager."""
    cmd = [str(NATIVE_BIN / "orvane-pack"), *map(str, args)]
    result = subprocess.run(cmd, capture_output=True, text=True, timeout=300)
    if check and result.returncode != 0:
        raise AssertionError(f"orvane-pack failed: {cmd}\n{result.stdout}\n{result.stderr}")
    return result


def start(exe, *args, cwd=None) -> subprocess.Popen:
    """Starts a Windows program; the caller waits for it with a limit."""
    return subprocess.Popen([WINE, str(exe), *map(str, args)], cwd=cwd,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def run(exe, *args, timeout=60, cwd=None) -> int:
    """Runs a Windows program to its end and returns its exit code."""
    proc = start(exe, *args, cwd=cwd)
    try:
        proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        raise AssertionError(f"{exe} did not end within {timeout} s")
    return proc.returncode


def wait_for(predicate, timeout=30.0, what="condition"):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError(f"timed out after {timeout} s waiting for {what}")


class DebugViewer:
    """orvane-debug.exe collecting the launcher's debug log into a file."""

    def __init__(self, folder: Path, stamp=False):
        self.log = folder / "debug.log"
        self.ready = folder / "viewer.ready"
        args = [win_path(self.log), "--ready", win_path(self.ready)]
        if stamp:
            args.append("--stamp")
        self.proc = start(BIN / "orvane-debug.exe", *args)
        wait_for(self.ready.exists, 30, "the debug viewer window")

    def text(self) -> str:
        return self.log.read_text(errors="replace") if self.log.exists() else ""

    def lines(self):
        return [line for line in self.text().split("\r\n")]

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


class Scratch:
    """A scratch folder for one test, removed afterwards unless kept."""

    def __init__(self):
        self.path = Path(tempfile.mkdtemp(prefix="orvane-e2e-"))

    def __enter__(self):
        return self.path

    def __exit__(self, *exc):
        if os.environ.get("ORVANE_KEEP_WINE") != "1":
            shutil.rmtree(self.path, ignore_errors=True)


def reg_query(key: str, value: str):
    """Reads a registry value through Wine's reg tool; None when absent."""
    out = subprocess.run([WINE, "reg", "query", key, "/v", value],
                         capture_output=True, text=True, timeout=60).stdout
    for line in out.splitlines():
        parts = line.split(None, 2)
        if len(parts) == 3 and parts[0].lower() == value.lower():
            return parts[2].strip()
    return None


def main(cases):
    """Runs the test functions given; prints one line per case and a summary."""
    passed = failed = 0
    for case in cases:
        started = time.monotonic()
        try:
            case()
        except Exception as e:  # one failing case must not hide the others
            failed += 1
            print(f"FAIL {case.__name__} ({time.monotonic() - started:.1f} s): {e}", flush=True)
        else:
            passed += 1
            print(f"ok   {case.__name__} ({time.monotonic() - started:.1f} s)", flush=True)
    print(f"{passed} passed, {failed} failed")
    sys.exit(1 if failed else 0)
