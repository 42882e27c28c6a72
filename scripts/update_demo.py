"""The update demo: publishes an update to a loopback nginx and lets the
auto-update agent install it (called by update-demo.sh inside winerun.sh,
which provides the Wine prefix, the X display and the servers).

The installed "application" is a small stand-in program (Tool.exe) in
C:\\Apps\\OrvaneDemo; its auto-update program Update.exe checks for updates
at http://127.0.0.1:PORT/demo, finds version 2 of the bundled sample
(published with orvane-pack info), closes Tool.exe, installs the sample,
records the new version, asks to restart Tool.exe (answered Yes) and starts
a fresh agent."""
import os
import shutil
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))
from harness import (BIN, HELPERS, SOURCE, Answerer, DebugViewer, drive_c, finish, pack,  # noqa: E402
                     start, wait_for, win_path)

OUT = SOURCE / "build" / "update-demo"
TOKEN = "orvane-demo-token"


def main():
    shutil.rmtree(OUT, ignore_errors=True)
    OUT.mkdir(parents=True)
    install = drive_c() / "Apps" / "OrvaneDemo"
    shutil.rmtree(install, ignore_errors=True)
    install.mkdir(parents=True)
    shutil.copy(HELPERS / "fake_app.exe", install / "Tool.exe")

    # Installed side: the agent (an auto-update program) and its settings.
    pack("build", "--stub", BIN / "Stub.exe", "--output", install / "Update.exe",
         "--auto-update-prog", "--auto-update-name", "Update.exe",
         "--update-info-name", "Tool.info",
         "--update-location", os.environ["ORVANE_NGINX_URL"] + "/demo", "--update-token", TOKEN)
    (OUT / "texts.txt").write_text("s16=PROG_NAME is now up to date.<P>\n"
                                   "s17=Start it again?\n")
    pack("settings", "--output", install / "Tool.original", "--version", 1,
         "--program-name", "Orvane Demo", "--probe-interval", 0,
         "--target-dir", "C:\\Apps\\OrvaneDemo", "--texts", OUT / "texts.txt")

    # Publisher side: version 2 (the bundled sample) and its info file.
    staging = OUT / "v2"
    shutil.copytree(SOURCE / "sample" / "app", staging)
    shutil.copy(HELPERS / "SampleSetup.exe", staging / "Setup.exe")
    served = Path(os.environ["ORVANE_HTTP_ROOT"]) / "demo"
    served.mkdir(parents=True, exist_ok=True)
    pack("build", "--stub", BIN / "Stub.exe", "--output", served / "ToolUpdate.exe",
         "--folder", staging, "--main", "Setup.exe*", "--update-token", TOKEN)
    print(pack("info", "--package", served / "ToolUpdate.exe", "--output", served / "Tool.info",
               "--url", os.environ["ORVANE_NGINX_URL"] + "/demo", "--version", 2,
               "--program-name", "Orvane Demo", "--running-process", "<InstallDir>\\Tool.exe",
               "--shutdown", "Using WM_CLOSE", "--inform-finish", "--restart",
               "--agent", install / "Update.exe").stdout)
    print("---- published Tool.info ----")
    print((served / "Tool.info").read_text())

    viewer = DebugViewer(OUT)
    ready = OUT / "tool.ready"
    tool = start(install / "Tool.exe", "--ready", win_path(ready), "--exit-after", 240000)
    wait_for(ready.exists, 30, "the demo application")
    answerer = Answerer(OUT, ["--key", "y"], wait_ms=180000)
    try:
        # The first check comes on the agent's fourth tick.
        assert finish(start(install / "Update.exe", "/DELAY=3"), 60) == 0
        wait_for(lambda: "Perform Update-2" in viewer.text(), 180, "the update")
        answerer.wait(120)
        for box in answerer.boxes():
            print(f"finishing box: caption={box['caption']!r} text={box['text']!r}")
        wait_for(lambda: viewer.text().count("X_Update.exe") >= 2, 60, "the relaunched agent")
        time.sleep(5)
        finish(start(install / "Update.exe", "/STOP=0"), 60)
        time.sleep(3)
    finally:
        viewer.close()
        tool.kill()
    print("---- debug log ----")
    print(viewer.text().replace("\r\n", "\n"))
    print("---- Tool.original after the update ----")
    original = (install / "Tool.original").read_text(errors="replace")
    print(original)
    installed = sorted(p for p in (drive_c() / "users").rglob("Orvane Sample/**/*") if p.is_file())
    print("---- files installed by the update ----")
    for p in installed:
        print(f"{p.stat().st_size:8d}  {p}")
    if "VersionOriginal=2" not in original or not installed:
        print("update demo FAILED")
        return 1
    print("update demo OK")
    return 0


if __name__ == "__main__":
    sys.exit(main())
