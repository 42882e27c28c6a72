"""Libraries planted beside the launcher are never loaded.

The launcher loads WinINet.dll, PSAPI.dll, RICHED32.DLL, SHFolder.dll and
shell32.dll at run time; a library of one of those names lying beside a
downloaded launcher must not be picked up. The planted libraries write a
"<name>.loaded" marker when loaded, and Wine is told to prefer a library
beside the program over its own (WINEDLLOVERRIDES "n,b"), so the only
thing that keeps them out is the launcher loading from the system folder.

A control run of a program that loads the same names with plain
LoadLibraryA in the same setting shows that the plant works.

Runs inside winerun.sh with ORVANE_HTTP_SERVERS=1.
"""
import os
import shutil
from pathlib import Path

from harness import (BIN, HELPERS, Answerer, DebugViewer, Scratch, build_setup, fake_setup_env, finish,
                     log_lines_of, main, make_payload, nginx_requests, pack, start_env)

TOKEN = "planting-test-token"
PLANTED = ["wininet", "psapi", "riched32", "shfolder", "shell32"]
WWW = Path(os.environ.get("ORVANE_HTTP_ROOT", "/nonexistent"))
NGINX = os.environ.get("ORVANE_NGINX_URL", "")


def planted_folder(folder: Path) -> Path:
    folder.mkdir(parents=True, exist_ok=True)
    for name in PLANTED:
        shutil.copy(HELPERS / "planted" / f"{name}.dll", folder / f"{name}.dll")
    return folder


def markers(folder: Path):
    return sorted(p.name for p in folder.glob("*.loaded"))


def planting_env(base: dict) -> dict:
    env = dict(base)
    overrides = os.environ.get("WINEDLLOVERRIDES", "")
    env["WINEDLLOVERRIDES"] = ";".join(
        [o for o in overrides.split(";") if o] + [",".join(PLANTED) + "=n,b"])
    return env


def test_control_plain_load_library_takes_the_planted_libraries():
    with Scratch() as tmp:
        folder = planted_folder(tmp / "control")
        shutil.copy(HELPERS / "library_loader.exe", folder / "library_loader.exe")
        names = [f"{name}.dll" for name in PLANTED]
        proc = start_env(folder / "library_loader.exe", *names, env=planting_env(os.environ),
                         cwd=folder)
        finish(proc, 60)
        assert markers(folder) == sorted(f"{n}.loaded" for n in names), markers(folder)
        for marker in folder.glob("*.loaded"):
            assert "library_loader.exe" in marker.read_text(errors="replace").lower()


def test_web_launcher_loads_system_libraries_only():
    with Scratch() as tmp:
        name = "planted_setup.exe"
        WWW.joinpath("web").mkdir(parents=True, exist_ok=True)
        served = build_setup(WWW / "web" / name, make_payload(tmp / "in"),
                             extra=["--web-token", TOKEN])
        folder = planted_folder(tmp / "dist")
        launcher = folder / "web.exe"
        pack("build", "--stub", BIN / "Stub.exe", "--output", launcher, "--web-setup",
             "--web-folder", NGINX + "/web", "--web-setup-name", name, "--web-token", TOKEN,
             "--web-setup-size", served.stat().st_size, "--ask-before-download")
        env = planting_env(fake_setup_env(tmp / "fake.log", tmp / "copy"))
        # The question box uses the rich edit library; the download WinINet.
        answerer = Answerer(tmp, ["--key", "y"])
        viewer = DebugViewer(tmp)
        try:
            # A launcher that took a planted library may hang in an error
            # box; the markers are the finding, so they are checked first.
            code = finish(start_env(launcher, env=env, cwd=folder), 120)
            lines = log_lines_of(viewer)
        finally:
            viewer.close()
            assert markers(folder) == [], "planted libraries were loaded: %s" % markers(folder)
        assert answerer.wait() == 0
        assert "INTERNET DOWNLOAD" in answerer.boxes()[0]["text"]
        assert code == 0 and (tmp / "fake.log").exists(), lines
        assert " RunPackage result=TRUE" in lines, lines
        sent = nginx_requests(name)
        assert len(sent) == 1 and f"sent={served.stat().st_size}" in sent[0], sent


if __name__ == "__main__":
    assert NGINX, "run with ORVANE_HTTP_SERVERS=1"
    main([test_control_plain_load_library_takes_the_planted_libraries,
          test_web_launcher_loads_system_libraries_only])
