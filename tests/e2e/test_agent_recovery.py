"""The auto-update agent under Wine where an update goes wrong or is held
back: the application it closed comes back, a failed update is retried at
the next checks (three times, then it waits like a declined one), and a
phased rollout offers the update only to its share of the installations
(always to a user who asks). The installation and the server are those of
agent_support.py; the cut download comes from the fault server."""
import os
from pathlib import Path

from agent_support import Install, end_agents, entries, read_ini_value, write_ini
from harness import Answerer, DebugViewer, Scratch, finish, main, wait_for

FAULT = os.environ.get("ORVANE_FAULT_URL", "")
WEEK = "604800"


def lines_of(viewer: DebugViewer, inst: Install):
    """Debug lines of the installation's agent copies (relaunched ones too)."""
    copy = f"{inst.win}\\X_Update.exe"
    pids = {p for p, t in entries(viewer) if t.startswith(" ==== STUB START ====>") and copy in t}
    return [t for p, t in entries(viewer) if p in pids]


def count(viewer: DebugViewer, inst: Install, text: str):
    return sum(1 for t in lines_of(viewer, inst) if t.startswith(text))


def original(inst: Install, key: str):
    return read_ini_value(inst.original, "OriginalSetup", key)


def offer(inst: Install, url: str):
    """Offers the update (stamp 7) from `url`."""
    info = inst.server / "Tool.info"
    text = info.read_bytes().decode("latin-1").splitlines()
    keys = dict(line.split("=", 1) for line in text if "=" in line)
    keys["DownloadURL_UPDATE"] = url
    write_ini(info, {"NewSetup": keys})


def test_the_closed_application_comes_back_after_a_failed_installer_and_a_quiet_success():
    with Scratch() as tmp:
        viewer = DebugViewer(tmp)
        # The failed installer ends with 3; its info asks for the finishing
        # box, which a failure never shows. The quiet update's info comes
        # from the packer: no finishing box, a rollout of 100%.
        failed = Install(tmp, "ToolFailed", nsis_name="ToolFailed", nsis_code=3)
        quiet = Install(tmp, "ToolQuiet")
        quiet.describe("--running-process", "<InstallDir>\\fake_app.exe", "--shutdown",
                       "Using WM_CLOSE", "--restart", "--rollout-percent", 100)
        assert read_ini_value(quiet.server / "Tool.info", "NewSetup", "RolloutPercent") == "100"
        try:
            # One after the other: a second auto-update program would only
            # steer the agent that runs.
            for inst, version, boxes in ((failed, "1", ["Error"]), (quiet, "2", [])):
                (tmp / "app.ready").unlink(missing_ok=True)
                app, app_pid = inst.start_app()
                answerer = Answerer(tmp, ["--enter"], wait_ms=90000, name=f"box-{inst.name}")
                assert inst.run_update_exe("/DELAY=0") == 0
                wait_for(lambda: count(viewer, inst, " ==== DoPerform-9 ====") == 1, 120,
                         f"the update procedure of {inst.name}")
                assert finish(app, 30) == 255, f"{inst.name}: not closed for the update"
                starts = wait_for(lambda: len(inst.starts()) >= 2 and inst.starts(), 30,
                                  f"{inst.name}: the application's restart")
                # Started again once, shown normally (SW_SHOWNORMAL).
                assert len(starts) == 2 and starts[0][0] == app_pid, starts
                assert starts[1][0] != app_pid and starts[1][1] == 1, starts
                assert original(inst, "VersionOriginal") == version
                if boxes:
                    assert answerer.wait(60) == 0
                answerer.proc.kill()
                seen = [box["caption"] for box in answerer.boxes()]
                assert seen == boxes, (inst.name, answerer.boxes())
                end_agents(tmp, viewer)
            # The failure counts for a retry; the success leaves none.
            assert original(failed, "FailedAttempts") == "1"
            assert count(viewer, failed, " Update failed") == 1
            assert original(quiet, "FailedAttempts") == "0"
        finally:
            end_agents(tmp, viewer)
            viewer.close()


def test_failed_downloads_are_retried_at_the_next_checks_three_times_then_wait():
    with Scratch() as tmp:
        viewer = DebugViewer(tmp)
        # Checks every 8 s; an update already offered comes again only after
        # a week, unless it failed.
        settings = {"OriginalSetup": {"ProbeSecondsInterval": "8", "ReAskSecondsInterval": WEEK}}
        quiet = {"InformFinish": "0"}
        once = Install(tmp, "ToolRetry", original=settings, info=quiet)
        thrice = Install(tmp, "ToolThrice", original=settings, info=quiet)
        for inst in (once, thrice):
            offer(inst, f"{FAULT}/m/cut=20000/{inst.sub}")
        try:
            assert once.run_update_exe("/DELAY=0") == 0
            # One cut download; the next check installs (the same stamp).
            wait_for(lambda: count(viewer, once, " Update failed") == 1, 90, "the first failure")
            assert (original(once, "FailedAttempts"), original(once, "Stamp")) == ("1", "7"), \
                lines_of(viewer, once)
            offer(once, once.location)
            wait_for(lambda: count(viewer, once, " ==== Perform Update-2 ====") == 2, 90,
                     "the retried update")
            assert original(once, "VersionOriginal") == "2"
            assert count(viewer, once, " ==== Perform Update-1 ====") == 2
            assert original(once, "FailedAttempts") == "0"
            assert once.setup_record() is not None
            end_agents(tmp, viewer)

            # Three cut downloads; then the update waits for the re-ask,
            # although it now downloads well.
            assert thrice.run_update_exe("/DELAY=0") == 0
            wait_for(lambda: count(viewer, thrice, " Update failed") == 3, 120, "three failures")
            assert original(thrice, "FailedAttempts") == "3"
            offer(thrice, thrice.location)
            fires = count(viewer, thrice, " Fire  ")
            wait_for(lambda: count(viewer, thrice, " Fire  ") >= fires + 2, 60, "two more checks")
            assert count(viewer, thrice, " ==== Perform Update-1 ====") == 3
            assert original(thrice, "VersionOriginal") == "1"
        finally:
            end_agents(tmp, viewer)
            viewer.close()


def test_a_rollout_of_0_reaches_no_automatic_check_but_a_user_who_asks():
    with Scratch() as tmp:
        viewer = DebugViewer(tmp)
        inst = Install(tmp, "ToolRollout")
        inst.describe("--rollout-percent", 0)
        try:
            assert inst.run_update_exe("/DELAY=0") == 0
            wait_for(lambda: count(viewer, inst, " Rollout: not here yet") == 1, 60,
                     "the automatic check")
            wait_for(lambda: count(viewer, inst, " AutoUpdateTimerCount=6") == 1, 30, "two ticks")
            assert count(viewer, inst, " ==== Perform Update-1 ====") == 0
            # Skipped, not offered: no stamp recorded; the installation drew its number.
            assert original(inst, "Stamp") is None
            assert 0 <= int(original(inst, "RolloutNumber")) < 2 ** 32

            ask = Answerer(tmp, ["--key", "y"], wait_ms=60000, name="ask")
            assert inst.run_update_exe("/TEST=2") == 0
            assert ask.wait(90) == 0
            done = Answerer(tmp, ["--enter"], wait_ms=90000, name="done")
            assert done.wait(120) == 0
            assert original(inst, "VersionOriginal") == "2" and original(inst, "Stamp") == "7"
            assert inst.setup_record() is not None
        finally:
            end_agents(tmp, viewer)
            viewer.close()


if __name__ == "__main__":
    main([test_the_closed_application_comes_back_after_a_failed_installer_and_a_quiet_success,
          test_failed_downloads_are_retried_at_the_next_checks_three_times_then_wait,
          test_a_rollout_of_0_reaches_no_automatic_check_but_a_user_who_asks])
