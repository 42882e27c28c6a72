"""The auto-update agent under Wine, where what it downloads must be
trusted: signed updates against the keys the installation pins, a package
swapped on a mirror, HTTPS hosts with right and wrong certificates, and info
files that only the real launcher reads. The installation and the server are
those of agent_support.py."""
import os
import re
import shutil
import time
from pathlib import Path

from agent_support import (TOKEN, Install, end_agents, entries, has_line, read_ini_value,
                           update_package, wait_for_relaunch)
from harness import (Answerer, DebugViewer, Scratch, Signer, fake_setup_env, finish, flipped, main,
                     nginx_requests, pack, trust_test_authority, wait_for)


def publish(inst: Install, package: Path, described=None, version=2, claimed=None):
    """Serves `package` as ToolUpdate.exe with an info file written by
    orvane-pack info from `described` (default: the package itself; another
    file of the same size stands for a package swapped on a mirror), for
    `version`; with `claimed`, the info file then offers that version
    instead, as a forged one would."""
    served = inst.server / "ToolUpdate.exe"
    shutil.copy(described or package, served)
    info = inst.server / "Tool.info"
    pack("info", "--package", served, "--output", info, "--url", inst.location, "--version",
         version, "--running-process", "<InstallDir>\\fake_app.exe", "--shutdown",
         "Using WM_CLOSE")
    if claimed is not None:
        info.write_bytes(info.read_bytes().replace(f"VersionNew={version}\r\n".encode(),
                                                   f"VersionNew={claimed}\r\n".encode()))
    shutil.copy(package, served)


def offer_once(tmp: Path, inst: Install, viewer: DebugViewer, case: str, pins, package: Path,
               described=None, version=2, claimed=None):
    """A fresh installation of version 1 (pinning the certificates of
    `pins`) checks once while its application runs; returns (installed,
    debug lines of the check, boxes shown)."""
    pack("settings", "--output", inst.original, "--version", 1, "--program-name", "Tool",
         "--target-dir", inst.win, *[arg for signer in pins for arg in ("--signer", signer.cert)])
    publish(inst, package, described, version, claimed)
    log = tmp / f"fake-{case}.log"
    inst.env = fake_setup_env(log)
    (tmp / "app.ready").unlink(missing_ok=True)
    app, _ = inst.start_app()
    answerer = Answerer(tmp, ["--enter"], wait_ms=60000, name=f"box-{case}")
    mark = len(entries(viewer))
    try:
        code = inst.run_update_exe("/DELAY=0")
        assert code == 0, f"{case}: Update.exe ended with {code}: {entries(viewer)[mark:]}"
        wait_for(lambda: any(t == " ==== DoPerform-9 ====" for _, t in entries(viewer)[mark:]),
                 120, f"the end of the update procedure ({case})")
        lines = [t for _, t in entries(viewer)[mark:]]
        offered = str(claimed or version)
        installed = read_ini_value(inst.original, "OriginalSetup", "VersionOriginal") == offered
        assert installed == log.exists(), (case, lines)
        if installed:
            assert finish(app, 30) == 255, f"{case}: the application was not closed"
            wait_for_relaunch(viewer, mark, case)
        else:
            assert answerer.wait(60) == 0, case
            # Refused like a package with another token: the box, no file,
            # nothing run, and the application left alone.
            box = answerer.boxes()[0]
            assert box["caption"] == "Error" and "Bad Secret Token!" in box["text"], (case, box)
            assert not (inst.folder / "ToolUpdate.exe").exists(), f"{case}: package left behind"
            assert app.poll() is None, f"{case}: the application was closed"
        return installed, lines
    finally:
        answerer.proc.kill()
        end_agents(tmp, viewer)


def test_pinned_publisher_keys_admit_only_their_signed_updates():
    with Scratch() as tmp:
        inst = Install(tmp, "ToolSigned")
        a, b, other = (Signer(tmp / "keys", name) for name in ("a", "b", "other"))
        unsigned = update_package(tmp / "unsigned.exe", tmp / "u")
        # The attack: the token read from a public package of the publisher,
        # in a package of the attacker's own making.
        listing = pack("list", inst.folder / "Update.exe").stdout
        token = re.search(r"UpdateToken\s+(\S+)", listing).group(1)
        assert token == TOKEN, listing
        forged = update_package(tmp / "forged.exe", tmp / "f", token=token)
        # The publisher's genuine signed release 1, offered by a forged info
        # file as version 9: a pin refuses the downgrade.
        old = a.sign(update_package(tmp / "old.exe", tmp / "o", version=1), tmp / "a-old.exe")
        cases = [
            # case, pinned certificates, package, expected refusal (None: installs)
            ("signed", [a], a.sign(unsigned, tmp / "a.exe"), None),
            ("rollover", [a, b], b.sign(unsigned, tmp / "b.exe"), None),
            ("other-key", [a], other.sign(unsigned, tmp / "other.exe"),
             " Update refused: signer key not accepted"),
            ("unsigned", [a], unsigned, " Update refused: signature not valid"),
            ("flipped", [a], flipped(tmp / "a.exe", tmp / "flipped.exe"),
             " Update refused: signature not valid"),
            ("forged", [a], forged, " Update refused: signature not valid"),
            ("forged-unpinned", [], forged, None),
            ("swapped-on-mirror", [], flipped(unsigned, tmp / "swapped.exe"),
             " Update refused: Sha256OfUpdateFile differs"),
            ("downgrade", [a], old, " Update refused: version not offered"),
            ("downgrade-unpinned", [], old, None),
        ]
        viewer = DebugViewer(tmp)
        try:
            for case, pins, package, refusal in cases:
                described = unsigned if case == "swapped-on-mirror" else None
                version, claimed = (1, 9) if case.startswith("downgrade") else (2, None)
                installed, lines = offer_once(tmp, inst, viewer, case, pins, package, described,
                                              version, claimed)
                refused = [t for t in lines if t.startswith(" Update refused: ")]
                print(f"  {case}: {refused[0] if refused else 'installed'}")
                if refusal is None:
                    assert installed and refused == [], (case, lines)
                else:
                    assert not installed and len(refused) == 1, (case, lines)
                    assert refused[0].startswith(refusal), (case, refused)
        finally:
            viewer.close()


def test_https_update_installs_from_a_trusted_host_and_not_from_a_wrong_one():
    trust_test_authority()
    tls = os.environ["ORVANE_NGINX_TLS_URL"]
    wrong_host = os.environ["ORVANE_NGINX_WRONG_HOST_URL"]
    # (case, where the info file lies, where the package lies, installed)
    for case, info_base, package_base, installs in [("ToolTls", tls, tls, True),
                                                    ("ToolWrongHost", tls, wrong_host, False)]:
        with Scratch() as tmp:
            sub = "upd-" + case.lower()
            inst = Install(tmp, case, location=f"{info_base}/{sub}", info={
                "DownloadURL_UPDATE": f"{package_base}/{sub}", "ShutDownMethod": "Don't Shut Down",
                "RunningProcess": "", "InformFinish": "0"})
            viewer = DebugViewer(tmp)
            try:
                before = len(nginx_requests())
                assert inst.run_update_exe("/DELAY=0") == 0
                if installs:
                    wait_for(lambda: has_line(viewer, " ==== Perform Update-2 ===="), 90, "update")
                    assert inst.setup_record() is not None, "the update did not run"
                    assert read_ini_value(inst.original, "OriginalSetup", "VersionOriginal") == "2"
                else:
                    wait_for(lambda: has_line(viewer, " AutoUpdateTimerCount=4"), 60, "ticks")
                    assert any(t.startswith(" Fire  ") for _, t in entries(viewer))
                    assert not has_line(viewer, " ==== Perform Update-1 ====")
                    assert inst.setup_record() is None
                    assert read_ini_value(inst.original, "OriginalSetup", "VersionOriginal") == "1"
                    assert not (inst.folder / "ToolUpdate.exe").exists()
                requests = nginx_requests()[before:]
                assert any(f"/{sub}/Tool.info " in r and "status=200" in r for r in requests), \
                    requests
                got_package = [r for r in requests if f"/{sub}/ToolUpdate.exe " in r]
                assert bool(got_package) == installs, requests
            finally:
                end_agents(tmp, viewer)
                viewer.close()



def test_hostile_info_files_install_only_what_they_validly_offer():
    """Info files that only the real launcher reads: the INI reader meets a
    10 MB line, a file without its section, a file beyond what a download
    into memory may hold. Sizes, versions and intervals out of range are
    decided by the portable rules and tested natively."""
    line = "x" * (10 * 1024 * 1024)
    # (case, how the served info file is rewritten, whether the update installs)
    cases = [
        ("ToolLongLine",
         lambda text: "[NewSetup]\r\nNotes=" + line + "\r\n" + text.split("\n", 1)[1], True),
        ("ToolNoSection", lambda text: text.replace("[NewSetup]", "[OldSetup]"), False),
        ("ToolHugeInfo", lambda text: text + "[Padding]\r\nNotes=" + line + line + "\r\n", False),
    ]
    failures = []
    for case, rewrite, installs in cases:
        with Scratch() as tmp:
            inst = Install(tmp, case, info={"ShutDownMethod": "Don't Shut Down",
                                            "RunningProcess": "", "InformFinish": "0"})
            info = inst.server / "Tool.info"
            info.write_bytes(rewrite(info.read_bytes().decode("latin-1")).encode("latin-1"))
            viewer = DebugViewer(tmp)
            try:
                started = time.monotonic()
                assert inst.run_update_exe("/DELAY=0") == 0
                if installs:
                    wait_for(lambda: has_line(viewer, " ==== Perform Update-2 ===="), 90, "update")
                else:
                    wait_for(lambda: has_line(viewer, " AutoUpdateTimerCount=4"), 60, "ticks")
                    time.sleep(3)
                version = read_ini_value(inst.original, "OriginalSetup", "VersionOriginal")
                seen = (f"{case}: {time.monotonic() - started:.1f} s, version {version}, "
                        f"setup ran {inst.setup_record() is not None}")
                print(f"     {seen}", flush=True)
                if (version == "2") != installs or (inst.setup_record() is not None) != installs:
                    failures.append(seen)
                if not any(t.startswith(" Fire  ") for _, t in entries(viewer)):
                    failures.append(f"{case}: no check was made")
            finally:
                end_agents(tmp, viewer)
                viewer.close()
    assert not failures, failures


if __name__ == "__main__":
    main([test_pinned_publisher_keys_admit_only_their_signed_updates,
          test_https_update_installs_from_a_trusted_host_and_not_from_a_wrong_one,
          test_hostile_info_files_install_only_what_they_validly_offer])
