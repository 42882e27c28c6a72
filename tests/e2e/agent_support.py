"""What the auto-update agent's end-to-end files share: an installed
application with its auto-update program and settings file, the update on
offer on the loopback nginx, and the means to watch and steer the agent (its
debug lines, its windows, its commands).

Every installation lives in the Wine prefix: fake_app.exe as the
application, Update.exe (an auto-update program package) and the
installation settings file Tool.original; the update server is the loopback
nginx (or the fault server for a slow download), serving Tool.info and the
update package ToolUpdate.exe, whose main program is the fake setup
program."""
import os
import re
import shutil
import subprocess
import time
from pathlib import Path

from harness import (BIN, EXIT_CODE_MODE, HELPERS, WINE, DebugViewer, drive_c, fake_setup_env,
                     fake_setup_record, finish, nsis, pack, start, start_env, wait_for, win_path)

TOKEN = "ToolToken-7"
AGENT_CLASS = ".AutoUpdate.X_Update"
APP_CLASS = "OrvaneFakeApp"
LISTENER_CLASS = "OrvaneListener"


def http_root() -> Path:
    return Path(os.environ["ORVANE_HTTP_ROOT"])


def write_ini(path: Path, sections: dict):
    text = ""
    for section, keys in sections.items():
        text += f"[{section}]\r\n" + "".join(f"{k}={v}\r\n" for k, v in keys.items())
    path.write_bytes(text.encode("latin-1"))


def read_ini_value(path: Path, section: str, key: str):
    current = None
    for line in path.read_bytes().decode("latin-1").splitlines():
        line = line.strip()
        if line.startswith("["):
            current = line[1:-1]
        elif current == section and line.split("=", 1)[0] == key:
            return line.split("=", 1)[1]
    return None


def update_package(out: Path, scratch: Path, token=TOKEN, nsis_name=None, nsis_code=0,
                   version=2) -> Path:
    """An update package of `version` whose main program is the fake setup
    program or, with `nsis_name`, the silent NSIS test installer (installing
    into C:\\OrvNsis\\<nsis_name>), which ends with `nsis_code` and
    succeeds by its exit code."""
    payload = scratch / "update-payload"
    payload.mkdir(parents=True, exist_ok=True)
    main, extra = "Setup.exe*", []
    if nsis_name:
        nsis(payload, "exitcode" if nsis_code else "plain", nsis_name, nsis_code)
        main, extra = "Setup.exe* /S", EXIT_CODE_MODE
    else:
        shutil.copy(HELPERS / "fake_setup.exe", payload / "Setup.exe")
    (payload / "notes.txt").write_text("version 2\r\n")
    pack("build", "--stub", BIN / "Stub.exe", "--output", out, "--folder", payload,
         "--main", main, "--update-token", token, "--version", version, *extra)
    return out


class Install:
    """An installed application with its auto-update program, and the
    update on offer on the server (or in a test-mode folder)."""

    def __init__(self, tmp: Path, name: str, original=None, info=None, location=None,
                 served_name="ToolUpdate.exe", server_folder=None, nsis_name=None, nsis_code=0):
        self.tmp = tmp
        self.name = name
        self.folder = drive_c() / "Apps" / name
        if self.folder.exists():
            shutil.rmtree(self.folder)
        self.folder.mkdir(parents=True)
        self.win = "C:\\Apps\\" + name
        self.app = self.win + "\\fake_app.exe"
        self.update_exe = self.win + "\\Update.exe"
        shutil.copy(HELPERS / "fake_app.exe", self.folder / "fake_app.exe")
        self.sub = "upd-" + name.lower()
        self.server = server_folder or (http_root() / self.sub)
        self.server.mkdir(parents=True, exist_ok=True)
        nginx = os.environ["ORVANE_NGINX_URL"]
        self.location = location or f"{nginx}/{self.sub}"
        pack("build", "--stub", BIN / "Stub.exe", "--output", self.folder / "Update.exe",
             "--auto-update-prog", "--auto-update-name", "Update.exe",
             "--update-info-name", "Tool.info", "--update-location", self.location,
             "--update-token", TOKEN)
        package = update_package(self.server / served_name, tmp, nsis_name=nsis_name,
                                 nsis_code=nsis_code)
        self.original = self.folder / "Tool.original"
        sections = {
            "OriginalSetup": {"VersionOriginal": "1", "ProbeSecondsInterval": "0",
                              "ProgramName": "Tool"},
            "Directories": {"TargetDir": self.win},
            "MsgBox": {"Confirm": "Confirm"},
            "AutoUpdate": {"s16": "PROG_NAME was updated.", "s17": "Restart PROG_NAME now?",
                           "s21": "Nothing new for Tool."},
        }
        for section, keys in (original or {}).items():
            sections.setdefault(section, {}).update(keys)
        write_ini(self.original, sections)
        new_setup = {
            "DownloadURL_UPDATE": self.location, "NameOfUpdateFile": "ToolUpdate.exe",
            "SizeOfUpdateFile": str(package.stat().st_size), "VersionNew": "2", "Stamp": "7",
            "ProgramName": "ToolNew", "RunningProcess": "<InstallDir>\\fake_app.exe",
            "ShutDownMethod": "Using WM_CLOSE", "InformFinish": "1", "RestartProcess": "1",
        }
        new_setup.update(info or {})
        write_ini(self.server / "Tool.info", {"NewSetup": new_setup})
        self.env = fake_setup_env(tmp / "fake.log")
        # Every start of the application, the agent's restarts included.
        self.starts_log = tmp / f"starts-{name}.log"
        self.env["ORVANE_FAKE_APP_STARTS"] = win_path(self.starts_log)

    def run_update_exe(self, *args, timeout=60):
        """Runs the auto-update program (it ends within its waits)."""
        return finish(start_env(self.update_exe, *args, env=self.env), timeout)

    def start_app(self, *args):
        ready = self.tmp / "app.ready"
        proc = start_env(self.app, "--ready", win_path(ready), "--exit-after", 300000, *args,
                         env=self.env)
        text = wait_for(lambda: ready.exists() and ready.read_text().strip(), 30, "fake_app")
        return proc, int(text.split()[0])

    def describe(self, *options):
        """Writes the served update's info file with orvane-pack info, as a
        publisher would: version 2, stamp 7, and `options`."""
        pack("info", "--package", self.server / "ToolUpdate.exe", "--output",
             self.server / "Tool.info", "--url", self.location, "--version", 2, "--stamp", 7,
             *options)

    def starts(self):
        """(process id, show command) of every start of the application."""
        if not self.starts_log.exists():
            return []
        return [tuple(int(x) for x in line.split()) for line in
                self.starts_log.read_text().splitlines()]

    def setup_record(self):
        return fake_setup_record(self.tmp / "fake.log")


def remote(tmp: Path, *actions, timeout=60, tries=1):
    """Runs agent_remote.exe with the actions; returns its output lines. The
    helper exits 0 whenever its arguments are right, so another exit code is
    Wine's: it is named with Wine's last lines. A query (`tries` above 1) is
    run again after such a failure; a command is never sent twice."""
    for attempt in range(1, tries + 1):
        out = tmp / f"remote-{time.monotonic_ns()}.txt"
        proc = start(HELPERS / "agent_remote.exe", "--out", win_path(out), *actions)
        try:
            _, err = proc.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.communicate()
            raise AssertionError(f"agent_remote.exe {actions} did not end within {timeout} s")
        if proc.returncode == 0:
            return out.read_text().splitlines() if out.exists() else []
        wine_said = " | ".join(err.decode(errors="replace").strip().splitlines()[-5:])
        failure = f"agent_remote.exe {actions}: exit code {proc.returncode}: {wine_said}"
        print(f"  try {attempt} of {tries}: {failure}", flush=True)
    raise AssertionError(failure)


def window_pids(tmp: Path, window_class: str):
    line = remote(tmp, "--count", window_class, tries=2)[0]
    pids = line.split("pids=", 1)[1]
    return [int(p) for p in pids.split(",") if p]


def send(tmp: Path, *pairs):
    """Agent commands (code, value) to the copy; returns {code: reply}."""
    actions = []
    for code, value in pairs:
        actions += ["--send", AGENT_CLASS, code, value]
    replies = {}
    for line in remote(tmp, *actions):
        code, _, reply = line.partition("=")
        replies.setdefault(int(code), []).append(reply)
    return replies


def entries(viewer: DebugViewer):
    """(process id, text) of every debug line."""
    result = []
    for line in viewer.lines():
        m = re.match(r"(\d+)(.*)", line)
        if m:
            result.append((int(m.group(1)), m.group(2)))
    return result


def has_line(viewer: DebugViewer, text: str, pid=None):
    return any(t == text and (pid is None or p == pid) for p, t in entries(viewer))


def wait_for_relaunch(viewer: DebugViewer, mark: int, case: str):
    """Waits until the agent that installed an update (debug lines from
    `mark` on) has started its relaunched copy, so that ending the case's
    agents also ends that copy and it checks nothing of the next case."""
    def relaunched_copy():
        later = [t for _, t in entries(viewer)[mark:]]
        return " CreateAndRun_X_Exe-1 99" in later and any(
            t.startswith(" ==== STUB START ====>") and "/TRANSIENTx=" in t
            for t in later[later.index(" CreateAndRun_X_Exe-1 99"):])
    wait_for(relaunched_copy, 60, f"the relaunched agent ({case})")


def end_agents(tmp: Path, viewer: DebugViewer):
    """Ends what a case left running (agent copies, fake applications), by
    process id, until none is left. A relaunched auto-update program is
    first let finish its wait, so that it starts no copy afterwards."""
    def programs_done():
        lines = entries(viewer)
        started = {p for p, t in lines if t.startswith(" ==== STUB START ====>")
                   and "\\Update.exe" in t and "\\X_Update.exe" not in t}
        ended = {p for p, t in lines if t.startswith(" ==== STUB END ====>")}
        return started <= ended
    wait_for(programs_done, 30, "the auto-update programs to end")

    def none_left():
        left = False
        for window_class in (AGENT_CLASS, APP_CLASS, LISTENER_CLASS):
            for pid in window_pids(tmp, window_class):
                left = True
                subprocess.run([WINE, "taskkill", "/F", "/PID", str(pid)], capture_output=True,
                               timeout=60)
        return not left
    wait_for(none_left, 60, "the case's programs to end")
