"""Driver for end-to-end runs of the launcher under Wine.

The test runs inside tests/tools/winerun.sh, which provides WINEPREFIX,
DISPLAY and a `wine` command. BIN is the folder of the programs users get
(the launcher and the viewer: build/bin for the 32-bit build), HELPERS the
test build's helper programs. Every Windows program started here gets a
time limit, so no test can hang.
"""
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import traceback
from pathlib import Path

BIN = Path(os.environ.get("ORVANE_BIN_DIR", "build/bin"))
HELPERS = Path(os.environ.get("ORVANE_TEST_BIN_DIR", BIN))
# 32 where the programs under test are the 32-bit build, 64 for the fallback.
ARCH_BITS = int(os.environ.get("ORVANE_ARCH_BITS", "32"))
NATIVE_BIN = Path(os.environ.get("ORVANE_NATIVE_BIN_DIR", "build/bin"))
SOURCE = Path(os.environ.get("ORVANE_SOURCE_DIR", Path(__file__).resolve().parents[2]))
WINE = shutil.which("wine") or "wine"


def project_version() -> str:
    """The tools' version, from the one place it is set (CMakeLists.txt)."""
    text = (SOURCE / "CMakeLists.txt").read_text()
    return re.search(r"project\(orvane VERSION ([0-9.]+)", text).group(1)


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
    return start_env(exe, *args, cwd=cwd)


def run(exe, *args, timeout=60, cwd=None) -> int:
    """Runs a Windows program to its end and returns its exit code."""
    return finish(start(exe, *args, cwd=cwd), timeout)


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
        # Bytes as they came: the log's line ends are CR LF.
        return self.log.read_bytes().decode("latin-1") if self.log.exists() else ""

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
    """Runs the test functions given (those whose name holds ORVANE_ONLY when
    that is set); prints one line per case and a summary."""
    only = os.environ.get("ORVANE_ONLY")
    passed = failed = 0
    for case in [c for c in cases if not only or only in c.__name__]:
        started = time.monotonic()
        try:
            case()
        except Exception as e:  # one failing case must not hide the others
            failed += 1
            where = traceback.extract_tb(e.__traceback__)[-1]
            print(f"FAIL {case.__name__} ({time.monotonic() - started:.1f} s), line {where.lineno}: "
                  f"{e}", flush=True)
        else:
            passed += 1
            print(f"ok   {case.__name__} ({time.monotonic() - started:.1f} s)", flush=True)
    print(f"{passed} passed, {failed} failed")
    sys.exit(1 if failed else 0)


def make_payload(folder: Path, setup_helper="fake_setup.exe") -> Path:
    """A small input folder: the fake setup program as Setup.exe, a text
    file, random binary data and a file in a subfolder."""
    folder.mkdir(parents=True, exist_ok=True)
    shutil.copy(HELPERS / setup_helper, folder / "Setup.exe")
    (folder / "readme.txt").write_text("Orvane test payload\r\n" * 50)
    rng = random.Random(20261208)
    (folder / "data.bin").write_bytes(bytes(rng.getrandbits(8) for _ in range(70000)))
    (folder / "sub").mkdir(exist_ok=True)
    (folder / "sub" / "nested.dat").write_bytes(b"\x00\x01\x02nested" * 300)
    return folder


def build_setup(out: Path, payload: Path, main="Setup.exe*", extra=()):
    """Packs `payload` behind the test build's launcher into `out`."""
    pack("build", "--stub", BIN / "Stub.exe", "--output", out, "--folder", payload,
         "--main", main, *extra)
    return out


class Signer:
    """A publisher's RSA key and self-signed certificate, made by openssl."""

    def __init__(self, folder: Path, name: str):
        folder.mkdir(parents=True, exist_ok=True)
        self.key = folder / f"{name}.key"
        self.cert = folder / f"{name}.pem"
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", f"/CN=Orvane test publisher {name}", "-keyout", self.key,
                        "-out", self.cert], check=True, capture_output=True, timeout=120)

    def sign(self, unsigned: Path, out: Path) -> Path:
        """Authenticode-signs a copy of `unsigned` as `out`, as a publisher would."""
        out.unlink(missing_ok=True)
        subprocess.run(["osslsigncode", "sign", "-certs", self.cert, "-key", self.key,
                        "-n", "Orvane test", "-in", unsigned, "-out", out],
                       check=True, capture_output=True, timeout=120)
        return out


def flipped(source: Path, out: Path) -> Path:
    """A copy of `source` with one byte a third into it inverted."""
    data = bytearray(source.read_bytes())
    data[len(data) // 3] ^= 0xFF
    out.write_bytes(bytes(data))
    return out


def same_tree(a: Path, b: Path) -> bool:
    """True when both folders hold the same files with the same bytes."""
    def files(root):
        return sorted(p.relative_to(root).as_posix().lower() for p in root.rglob("*") if p.is_file())
    if files(a) != files(b):
        return False
    by_lower = {p.relative_to(b).as_posix().lower(): p for p in b.rglob("*") if p.is_file()}
    return all((a / rel).read_bytes() == by_lower[rel.lower()].read_bytes()
               for rel in (p.relative_to(a).as_posix() for p in a.rglob("*") if p.is_file()))


def fake_setup_env(log: Path, copy: Path = None) -> dict:
    env = dict(os.environ)
    env["ORVANE_FAKE_SETUP_LOG"] = win_path(log)
    if copy is not None:
        env["ORVANE_FAKE_SETUP_COPY"] = win_path(copy)
    return env


def fake_setup_record(log: Path):
    """What the fake setup program wrote of its run into `log`; None when it did not run."""
    return log.read_bytes().decode("latin-1") if log.exists() else None


def command_line_of(record: str) -> str:
    """The command line that the fake setup program was started with."""
    return re.search(r"cmdline=(.*?)\r\n", record).group(1)


def start_env(exe, *args, env=None, cwd=None) -> subprocess.Popen:
    return subprocess.Popen([WINE, str(exe), *map(str, args)], cwd=cwd, env=env,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def finish(proc: subprocess.Popen, timeout=90) -> int:
    try:
        proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        raise AssertionError(f"{proc.args} did not end within {timeout} s")
    return proc.returncode


def read_boxes(out: Path):
    """The boxes msgbox_answerer.exe recorded in `out`, as dicts of caption,
    text, rtl, buttons (a box's record ends with its buttons line)."""
    if not out.exists():
        return []
    boxes, box = [], {}
    for line in out.read_text(errors="replace").splitlines():
        key, _, value = line.partition("=")
        box[key] = value
        if key == "buttons":
            boxes.append(box)
            box = {}
    return boxes


class Answerer:
    """msgbox_answerer.exe answering the launcher's next message box(es)."""

    def __init__(self, folder: Path, answer, count=1, wait_ms=60000, name="answers"):
        self.out = folder / f"{name}.txt"
        self.proc = start(HELPERS / "msgbox_answerer.exe", "--wait-ms", wait_ms, "--count", count,
                          "--out", win_path(self.out), *answer)

    def wait(self, timeout=90) -> int:
        return finish(self.proc, timeout)

    def boxes(self):
        """The recorded boxes as dicts of caption, text, rtl, buttons."""
        return read_boxes(self.out)


def log_lines_of(viewer: DebugViewer, pid_text=None):
    """Debug lines without their process id prefix, in order."""
    result = []
    for line in viewer.lines():
        i = 0
        while i < len(line) and line[i].isdigit():
            i += 1
        if pid_text is None or line[:i] == pid_text:
            result.append(line[i:])
    return result


def run_setup(tmp: Path, setup, *args, env_extra=None, timeout=120):
    """Runs a package with a debug viewer, the fake setup program recording
    into tmp/fake.log and copying its folder to tmp/copy; returns (exit
    code, log lines, fake setup record or None)."""
    env = fake_setup_env(tmp / "fake.log", tmp / "copy")
    env.update(env_extra or {})
    viewer = DebugViewer(tmp)
    try:
        code = finish(start_env(setup, *args, env=env), timeout)
        lines = log_lines_of(viewer)
    finally:
        viewer.close()
    return code, lines, fake_setup_record(tmp / "fake.log")


def nginx_requests(name=None):
    """The loopback nginx's access-log lines (winerun.sh with
    ORVANE_HTTP_SERVERS=1), or those that ask for `name` below its root."""
    log = Path(os.environ.get("ORVANE_NGINX_LOG", "/nonexistent"))
    lines = log.read_text().splitlines() if log.exists() else []
    return lines if name is None else [line for line in lines if f"/{name} " in line]


def package_crc(data: bytes, trailer_length=74) -> int:
    """The launcher's package checksum of a file image, transcribed literally."""
    size = len(data)
    end = 0
    if data[:2] == b"MZ" and data[256:258] == b"PE":
        end = struct.unpack_from("<i", data, 252)[0]
    covered = (end if end > 0 else size) - trailer_length
    pos = 0
    if end > 0:
        covered -= 512
        pos = 512
    total = 0
    while True:
        piece = data[pos:pos + 4096]
        pos += len(piece)
        for (word,) in struct.iter_unpack("<I", piece[:len(piece) // 4 * 4]):
            covered -= 4
            if covered > 4:
                total = (total + word) & 0xFFFFFFFF
        if covered > 4:
            total = (total + 1234) & 0xFFFFFFFF
        if len(piece) < 4096:
            return total


def trailer_offset(data: bytes) -> int:
    """Where a package's trailer starts: before PackageEnd, or at the file's end."""
    return (struct.unpack_from("<i", data, 252)[0] or len(data)) - 74


def package_layout(data: bytes):
    """(trailer offset, list of (offset, length) of every block) of a package."""
    trailer = trailer_offset(data)
    pos = struct.unpack_from("<i", data, trailer + 4)[0]
    blocks = []
    while trailer - pos > 0:
        length = struct.unpack_from("<i", data, pos)[0]
        blocks.append((pos + 4, length))
        pos += 4 + length
    return trailer, blocks


def reseal(data: bytearray) -> bytearray:
    """Writes the right checksum into a package's trailer after a change; the
    blocks are not walked, so that damaged ones cannot lead it astray."""
    struct.pack_into("<I", data, trailer_offset(data) + 16, package_crc(bytes(data)))
    return data


def stamped_lines(viewer: DebugViewer):
    """(milliseconds, text) per log piece of a viewer started with stamp=True."""
    result = []
    for m in re.finditer(r"\[(\d+)\] ([^\[]*)", viewer.text()):
        result.append((int(m.group(1)), m.group(2)))
    return result


def trust_test_authority():
    """Adds the loopback nginx's test certificate authority (winerun.sh with
    ORVANE_HTTP_SERVERS=1) to the Wine prefix's trusted roots."""
    ca = os.environ["ORVANE_TLS_CA"]
    assert run(HELPERS / "trust_root.exe", win_path(ca)) == 0, "the test authority was not added"


def linux_path(windows_path: str) -> Path:
    """The Linux path of a C: (Wine prefix) or Z: (host root) path."""
    drive, rest = windows_path[0].upper(), windows_path[3:].replace("\\", "/")
    return (Path("/") if drive == "Z" else drive_c()) / rest


def wine_temp() -> Path:
    """The Wine user's %TEMP% folder as the prefix makes it (a test that points
    TEMP elsewhere knows where): the registry file is not read, since the
    Wine server writes it back only now and then."""
    users = drive_c() / "users"
    found = [p for p in [*users.glob("*/Temp"), *users.glob("*/AppData/Local/Temp")] if p.is_dir()]
    assert found, "no temporary folder in the Wine prefix"
    return found[0]


def setup_leftovers(root: Path = None) -> set:
    """Setup folders and their lock files (SETUP_*) in `root`, by default the
    Wine user's %TEMP%."""
    return {p.name for p in (root or wine_temp()).iterdir() if p.name.upper().startswith("SETUP_")}


INSTALLERS = SOURCE / "tests" / "installers"
EXIT_CODE_MODE = ["--success-by", "exit-code"]


def nsis(payload, mode, name, code=0):
    """payload/Setup.exe: the NSIS test installer in `mode`, installing into
    C:\\OrvNsis\\<name> unless /D= says otherwise; returns that folder."""
    payload.mkdir(parents=True, exist_ok=True)
    subprocess.run(["makensis", "-V2", f"-DOUTFILE={payload / 'Setup.exe'}",
                    f"-DINSTALL=C:\\OrvNsis\\{name}", f"-DMODE={mode}", f"-DCODE={code}",
                    INSTALLERS / "nsis_app.nsi"], check=True, capture_output=True, timeout=120)
    return drive_c() / "OrvNsis" / name


def install_log(folder):
    return (folder / "install.log").read_text(encoding="utf-8", errors="replace").splitlines()
