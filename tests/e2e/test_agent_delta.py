"""The auto-update agent under Wine with a delta package on offer: it
downloads only the delta, rebuilds the new release from the installed files
and gives the setup program exactly the files of the full package; where an
installed file was changed by hand, or the delta is signed by a key the
installation does not pin, it takes the full package in the same check.
Started by hand, a delta package says why it cannot be used. The
installation and the server are those of agent_support.py."""
import random
import shutil
from pathlib import Path

from agent_support import TOKEN, Install, end_agents, entries, read_ini_value, wait_for_relaunch
from harness import (BIN, HELPERS, Answerer, DebugViewer, Scratch, Signer, fake_setup_env, finish,
                     main, nginx_requests, pack, start_env, wait_for)


def releases(tmp: Path):
    """Release 1 (as installed) and release 2 of the application's files:
    the setup program unchanged, a text and a binary changed, a file added
    and one dropped."""
    rng = random.Random(20)
    binary = bytes(rng.randrange(256) for _ in range(300_000))
    edited = bytearray(binary)
    for _ in range(200):
        edited[rng.randrange(len(edited))] ^= 0x5A
    edited[1000:1000] = b"inserted code" * 50
    old, new = tmp / "release-1", tmp / "release-2"
    for folder, files in ((old, {"notes.txt": b"version 1\r\n", "app.bin": binary,
                                 "dropped.txt": b"gone in 2\r\n"}),
                          (new, {"notes.txt": b"version 2\r\n", "app.bin": bytes(edited),
                                 "data\\added.txt": b"new in 2\r\n"})):
        (folder / "data").mkdir(parents=True, exist_ok=True)
        shutil.copy(HELPERS / "fake_setup.exe", folder / "Setup.exe")
        for name, data in files.items():
            (folder / name.replace("\\", "/")).write_bytes(data)
    return old, new


def files_of(folder: Path):
    return {str(p.relative_to(folder)): p.read_bytes() for p in folder.rglob("*") if p.is_file()}


def publish(inst: Install, old: Path, new: Path, delta_signer=None, full_signer=None):
    """Serves release 2 as the full package and as a delta from release 1,
    each signed where a signer is given, described by orvane-pack info."""
    full, delta = inst.server / "ToolUpdate.exe", inst.server / "ToolDelta.exe"
    common = ["--stub", BIN / "Stub.exe", "--folder", new, "--main", "Setup.exe*",
              "--update-token", TOKEN, "--version", 2]
    pack("build", "--output", full, *common)
    pack("build", "--output", delta, "--delta-from", old, *common)
    for signer, package in ((full_signer, full), (delta_signer, delta)):
        if signer:
            signed = signer.sign(package, package.with_suffix(".signed"))
            shutil.move(signed, package)
    pack("info", "--package", full, "--delta", delta, "--delta-from-version", 1, "--output",
         inst.server / "Tool.info", "--url", inst.location, "--version", 2, "--stamp", 7,
         "--running-process", "<InstallDir>\\fake_app.exe", "--shutdown", "Using WM_CLOSE")
    assert delta.stat().st_size < full.stat().st_size // 2


def test_a_delta_rebuilds_the_release_or_the_full_package_is_installed():
    with Scratch() as tmp:
        viewer = DebugViewer(tmp)
        old, new = releases(tmp)
        publisher, foreign = Signer(tmp / "keys", "publisher"), Signer(tmp / "keys", "foreign")
        cases = [
            # case, changed installed file, delta signer, expected debug line
            ("delta", None, None, None),
            ("changed", "app.bin", None, " Delta not applied: app.bin: old file differs"),
            # The verdict is followed by the signature's status and key.
            ("foreign", None, foreign, " Delta refused: signer key not accepted"),
        ]
        try:
            for case, changed, delta_signer, reason in cases:
                inst = Install(tmp, "ToolDelta" + case.capitalize())
                for name, data in files_of(old).items():
                    (inst.folder / name).parent.mkdir(parents=True, exist_ok=True)
                    (inst.folder / name).write_bytes(data)
                pins = []
                if delta_signer:
                    pins = ["--signer", publisher.cert]
                    pack("settings", "--output", inst.original, "--version", 1, "--program-name",
                         "Tool", "--target-dir", inst.win, *pins)
                publish(inst, old, new, delta_signer, publisher if delta_signer else None)
                if changed:
                    (inst.folder / changed).write_bytes(b"edited by hand")
                copy = tmp / f"copy-{case}"
                inst.env = fake_setup_env(tmp / f"fake-{case}.log", copy)
                mark = len(entries(viewer))
                assert inst.run_update_exe("/DELAY=0") == 0
                wait_for(lambda: any(t == " ==== DoPerform-9 ====" for _, t in
                                     entries(viewer)[mark:]), 120, f"the update ({case})")
                lines = [t for _, t in entries(viewer)[mark:]]
                wait_for(lambda: read_ini_value(inst.original, "OriginalSetup",
                                                "VersionOriginal") == "2", 15,
                         f"version 2 recorded ({case}): {lines}")
                # The setup program saw release 2 exactly, and nothing dropped.
                seen = files_of(copy)
                for name, data in files_of(new).items():
                    assert seen.get(name) == data, (case, name)
                assert "dropped.txt" not in seen, case
                fetched = [n for n in ("ToolDelta.exe", "ToolUpdate.exe")
                           if any(r.startswith("GET ") for r in nginx_requests(f"{inst.sub}/{n}"))]
                if reason is None:
                    assert fetched == ["ToolDelta.exe"], (case, fetched)
                    assert not [t for t in lines if t.startswith(" Delta ")], lines
                else:
                    assert fetched == ["ToolDelta.exe", "ToolUpdate.exe"], (case, fetched)
                    assert any(t.startswith(reason) for t in lines), (case, lines)
                wait_for_relaunch(viewer, mark, case)
                end_agents(tmp, viewer)
            # Started by hand, a delta says why it cannot be used, and runs nothing.
            answerer = Answerer(tmp, ["--enter"], wait_ms=60000, name="by-hand")
            log = tmp / "fake-by-hand.log"
            assert finish(start_env(inst.server / "ToolDelta.exe", env=fake_setup_env(log)), 60) == 0
            assert answerer.wait(30) == 0
            box = answerer.boxes()[0]
            assert box["caption"] == "Error" and "cannot be used here" in box["text"], box
            assert "Setup.exe: old file differs" in box["text"], box
            assert not log.exists()
        finally:
            end_agents(tmp, viewer)
            viewer.close()


if __name__ == "__main__":
    main([test_a_delta_rebuilds_the_release_or_the_full_package_is_installed])
