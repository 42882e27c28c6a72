"""Runs the sample setup package under Wine (called by main-job.sh inside
winerun.sh, which provides the Wine prefix and the X display)."""
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))
from harness import (BIN, HELPERS, SOURCE, Answerer, DebugViewer, drive_c, finish, pack,  # noqa: E402
                     start, wait_for)

OUT = SOURCE / "build" / "sample"
SHOTS = SOURCE / "build" / "screenshots"


def screenshot(name):
    SHOTS.mkdir(parents=True, exist_ok=True)
    target = SHOTS / name
    subprocess.run(["import", "-window", "root", str(target)], check=False, timeout=30)
    print(f"screenshot: {target}")


def main():
    shutil.rmtree(OUT, ignore_errors=True)
    staging = OUT / "staging"
    shutil.copytree(SOURCE / "sample" / "app", staging)
    shutil.copy(HELPERS / "SampleSetup.exe", staging / "Setup.exe")
    setup = OUT / "OrvaneSampleSetup.exe"
    pack("build", "--stub", BIN / "Stub.exe", "--output", setup, "--folder", staging,
         "--main", "Setup.exe*", "--lang", SOURCE / "sample" / "lang.txt",
         "--always-show-temp-notice")
    print(pack("list", setup).stdout)

    viewer = DebugViewer(OUT, stamp=False)
    launcher = start(setup)
    try:
        # The temp-drive question: look at it, then answer Yes.
        watcher = Answerer(OUT, ["--none", "--settle-ms", "800"], name="question")
        watcher.wait(120)
        for box in watcher.boxes():
            print(f"question box: caption={box['caption']!r} text={box['text']!r}")
        screenshot("temp-drive-question.png")
        Answerer(OUT, ["--key", "y"], name="answer").wait(120)
        time.sleep(0.4)
        screenshot("progress-window.png")
        code = finish(launcher, 180)
    finally:
        viewer.close()
    # The message box as drawn for every question: bold text, icon, three buttons.
    demo = start(HELPERS / "msgbox_demo.exe", 15000)
    Answerer(OUT, ["--none", "--settle-ms", "800"], name="demo").wait(60)
    screenshot("message-box.png")
    demo.kill()
    print(f"launcher exit code: {code}")
    print("---- debug log ----")
    print(viewer.text().replace("\r\n", "\n"))
    installed = drive_c() / "users"
    print("---- installed files ----")
    found = sorted(p for p in installed.rglob("Orvane Sample/**/*") if p.is_file())
    for p in found:
        print(f"{p.stat().st_size:8d}  {p}")
    if code != 0 or not any(p.name == "install.log" for p in found):
        print("main job FAILED: the sample was not installed")
        return 1
    print("main job OK")
    return 0


if __name__ == "__main__":
    sys.exit(main())
