"""The auto-update agent under Wine, from the auto-update program and its
transient copy to an installed update, a restarted application and a
relaunched agent; its schedule, its remote control and its listener. The
installation and the server are agent_support.py's."""
import os
import re
import shutil
import subprocess
import time
from pathlib import Path

from agent_support import (AGENT_CLASS, APP_CLASS, LISTENER_CLASS, Install, end_agents, entries,
                           has_line, read_ini_value, remote, send, window_pids)
from harness import (HELPERS, WINE, Answerer, DebugViewer, Scratch, command_line_of, drive_c,
                     finish, install_log, main, nginx_requests, start, wait_for, win_path)

TEST_MODE_KEY = r"HKCU\Software\Tirabelo\Orvane\AutoUpdate"


def copy_pids(viewer: DebugViewer):
    """Process ids of the transient copies, in order of their start."""
    return [pid for pid, text in entries(viewer)
            if text.startswith(" ==== STUB START ====>") and "\\X_Update.exe" in text]


def lines_of(viewer: DebugViewer, pid: int):
    return [text for p, text in entries(viewer) if p == pid]


def wait_copy_window(tmp: Path):
    wait_for(lambda: window_pids(tmp, AGENT_CLASS), 30, "the copy's main window")


def start_listener(tmp: Path):
    """A second fake_app, outside the installed folder, that logs the
    agent's notifications; returns (process, its window handle, message)."""
    ready = tmp / "listener.ready"
    notes = tmp / "notes.log"
    proc = start(HELPERS / "fake_app.exe", "--class", LISTENER_CLASS, "--hidden", "--log",
                 win_path(notes), "--register-with-class", "NoAgentHere", "--ready",
                 win_path(ready), "--exit-after", 300000)
    text = wait_for(lambda: ready.exists() and ready.read_text().strip(), 30, "the listener")
    hwnd = int(text.split()[1])
    message = int(remote(tmp, "--message", "OrvaneFakeAppNotify")[0].split("=")[1])
    return proc, hwnd, message, notes


def notifications(notes: Path):
    return [tuple(int(x) for x in line.split()) for line in
            (notes.read_text().splitlines() if notes.exists() else [])]


# ---- the full update cycle --------------------------------------------------


def full_cycle(method, case):
    """Check, download, shutdown by `method`, install, record, finish box,
    restart and relaunch."""
    with Scratch() as tmp:
        inst = Install(tmp, case, info={"ShutDownMethod": method})
        keeps_running = method == "Don't Shut Down"
        viewer = DebugViewer(tmp)
        try:
            app, app_pid = inst.start_app()
            listener, hwnd, message, notes = start_listener(tmp)
            answer = ["--enter"] if keeps_running else ["--key", "y"]
            answerer = Answerer(tmp, answer, wait_ms=120000)
            assert inst.run_update_exe("/DELAY=8") == 0
            wait_copy_window(tmp)
            # Registered through the controller of a second start.
            assert inst.run_update_exe(f"/WM_MSG={hwnd}:{message}") == 0
            # Overrides 1 and 5 travel to the relaunched agent in its list.
            replies = send(tmp, (21, 0), (25, 1))
            assert replies == {21: ["0"], 25: ["0"]}, replies

            wait_for(lambda: has_line(viewer, " ==== Perform Update-2 ===="), 120, "the update")
            assert answerer.wait(120) == 0
            box = answerer.boxes()[0]
            if keeps_running:
                assert box["caption"] == "Attention" and box["text"] == "ToolNew was updated.", box
            else:
                assert box["caption"] == "Confirm", box
                # PROG_NAME is replaced in the finishing text, not in the restart question.
                assert box["text"] == "ToolNew was updated.Restart PROG_NAME now?", box

            first_copy = copy_pids(viewer)[0]
            wait_for(lambda: len(copy_pids(viewer)) >= 2, 60, "the relaunched copy")
            old = lines_of(viewer, first_copy)
            ticks = [t for t in old[:old.index(next(t for t in old if t.startswith(" Fire  ")))]
                     if t.startswith(" AutoUpdateTimerCount=")]
            assert ticks[-1] == " AutoUpdateTimerCount=1" and len(ticks) == 9, ticks
            steps = [t for t in old if t.startswith(" ==== DoPerform-")]
            assert steps == [f" ==== DoPerform-{n} ====" for n in range(1, 10)], steps
            relaunch = next(t for p, t in entries(viewer)
                            if t.startswith(" ==== STUB START ====>") and "/_ZZ=99" in t)
            assert relaunch == (" ==== STUB START ====>" + inst.update_exe +
                                " /_ZZ=99 /WAIT=3 /TRANSIENT=|255|0|255|255|255|1|<"), relaunch
            assert has_line(viewer, " CreateAndRun_X_Exe-1 99")
            new_copy = copy_pids(viewer)[1]
            assert new_copy != first_copy
            start_new = next(t for t in lines_of(viewer, new_copy) if t.startswith(" ==== STUB START"))
            assert start_new.endswith("\\X_Update.exe /TRANSIENTx=|255|0|255|255|255|1|<"), start_new
            wait_for(lambda: has_line(viewer, " AutoUpdateTimerCount=-2", new_copy), 30,
                     "a tick of the new copy")
            # The old copy ended its loop and left; its file now holds the new copy.
            assert any(t.startswith(" ==== STUB END ====>") for t in lines_of(viewer, first_copy))
            assert window_pids(tmp, AGENT_CLASS) == [new_copy]

            record = inst.setup_record()
            assert record is not None, "the update's setup program did not run"
            cmdline = command_line_of(record)
            assert re.search(r'\\Setup\.exe /OriginalInfoFile="C:\\Apps\\' + case +
                             r'\\Tool\.info" /TH_ID=_\d+ /AutoUpdateProg$', cmdline), cmdline
            assert read_ini_value(inst.original, "OriginalSetup", "VersionOriginal") == "2"
            assert read_ini_value(inst.original, "OriginalSetup", "Stamp") == "7"
            assert int(read_ini_value(inst.original, "OriginalSetup", "ReAskSecondsLast")) > 0
            assert not (inst.folder / "ToolUpdate.exe").exists(), "update package left behind"
            assert not (inst.folder / "Tool.info").exists(), "info file left behind"

            apps = window_pids(tmp, APP_CLASS)
            if keeps_running:
                assert app.poll() is None and apps == [app_pid], apps
            else:
                code = finish(app, 30)
                # 255: the low byte of the close and quit codes; 0: terminated.
                assert code == (0 if method == "Using Terminate Process" else 255), code
                assert len(apps) == 1 and apps[0] != app_pid, "fake_app was not restarted"

            notes_seen = notifications(notes)
            assert notes_seen[:2] == [(50, notes_seen[0][1]), (51, 1125)] and notes_seen[0][1] != 0
            assert notes_seen[2:] == [(40, 1), (40, 2), (41, 1), (41, 2), (42, 1), (42, 2),
                                      (43, 0)], notes_seen
            listener.kill()
        finally:
            end_agents(tmp, viewer)
            viewer.close()


def test_full_cycle_wm_close():
    full_cycle("Using WM_CLOSE", "ToolClose")


def test_full_cycle_wm_quit():
    full_cycle("Using WM_QUIT", "ToolQuit")


def test_full_cycle_terminate():
    full_cycle("Using Terminate Process", "ToolKill")


def test_full_cycle_dont_shut_down():
    full_cycle("Don't Shut Down", "ToolKeep")


# ---- schedule ---------------------------------------------------------------


def test_delay_puts_the_check_on_the_matching_tick_and_interval_0_checks_once():
    with Scratch() as tmp:
        inst = Install(tmp, "ToolDelay", info={"VersionNew": "1"})
        viewer = DebugViewer(tmp)
        try:
            assert inst.run_update_exe("/DELAY=2") == 0
            wait_for(lambda: any(t.startswith(" Fire  ") for _, t in entries(viewer)), 30,
                     "the check")
            copy = copy_pids(viewer)[0]
            lines = lines_of(viewer, copy)
            fire = next(i for i, t in enumerate(lines) if t.startswith(" Fire  "))
            assert re.fullmatch(r" Fire  \d\d-\d\d-\d{4}  \d\d:\d\d:\d\d", lines[fire]), lines[fire]
            ticks = [t for t in lines[:fire] if t.startswith(" AutoUpdateTimerCount=")]
            assert ticks == [" AutoUpdateTimerCount=-1", " AutoUpdateTimerCount=0",
                             " AutoUpdateTimerCount=1"], ticks
            wait_for(lambda: has_line(viewer, " AutoUpdateTimerCount=5", copy), 30, "more ticks")
            fires = [t for t in lines_of(viewer, copy) if t.startswith(" Fire  ")]
            assert len(fires) == 1, "interval 0 checked more than once"
            assert not has_line(viewer, " ==== Perform Update-1 ====")
            assert int(read_ini_value(inst.original, "OriginalSetup", "ProbeSecondsLast")) > 0
            assert read_ini_value(inst.original, "OriginalSetup", "VersionOriginal") == "1"
            assert not (inst.folder / "Tool.info").exists(), "info file left behind"
            assert not any(f"/{inst.sub}/ToolUpdate.exe" in r for r in nginx_requests())
        finally:
            end_agents(tmp, viewer)
            viewer.close()


def test_interval_minus_1_never_checks_but_a_user_request_does_and_reports_s21():
    with Scratch() as tmp:
        # The same stamp as installed: an automatic check would offer nothing.
        inst = Install(tmp, "ToolNever", original={"OriginalSetup": {
            "ProbeSecondsInterval": "-1", "Stamp": "7"}}, info={"VersionNew": "1"})
        viewer = DebugViewer(tmp)
        try:
            assert inst.run_update_exe("/DELAY=0") == 0
            wait_copy_window(tmp)
            copy = copy_pids(viewer)[0]
            wait_for(lambda: has_line(viewer, " AutoUpdateTimerCount=4", copy), 30, "ticks")
            assert not any(t.startswith(" Fire  ") for t in lines_of(viewer, copy))

            # Agent command 31 with 0: an automatic-kind check, no question.
            assert send(tmp, (31, 0)) == {31: ["0"]}
            wait_for(lambda: any(t.startswith(" Fire  ") for t in lines_of(viewer, copy)), 30,
                     "the forced check")

            ask = Answerer(tmp, ["--key", "y"], wait_ms=60000, name="ask")
            assert inst.run_update_exe("/TEST=2") == 0
            assert ask.wait(90) == 0
            question = ask.boxes()[0]
            assert question["caption"] == "Confirm", question
            assert question["text"].startswith("NEW UPDATE"), question
            assert "Tool" in question["text"] and "Internet connection" in question["text"]
            assert question["text"].endswith("Do you want to check and install the new Update?")
            report = Answerer(tmp, ["--enter"], wait_ms=60000, name="report")
            assert report.wait(90) == 0
            box = report.boxes()[0]
            assert box["caption"] == "Attention" and box["text"] == "Nothing new for Tool.", box
            fires = [t for t in lines_of(viewer, copy) if t.startswith(" Fire  ")]
            assert len(fires) == 2, fires
            assert has_line(viewer, " FALSE TRUE", copy)
            # The user's check restarted the counter: its tick counts 1 again.
            ones = [t for t in lines_of(viewer, copy) if t == " AutoUpdateTimerCount=1"]
            assert len(ones) == 2, ones
            assert not has_line(viewer, " ==== Perform Update-1 ====")
            # The copy was running: no stop countdown was sent along.
            time.sleep(4)
            assert window_pids(tmp, AGENT_CLASS) == [copy]
        finally:
            end_agents(tmp, viewer)
            viewer.close()


def test_stamp_already_seen_offers_nothing_on_an_automatic_check():
    with Scratch() as tmp:
        inst = Install(tmp, "ToolSeen", original={"OriginalSetup": {"Stamp": "7"}})
        viewer = DebugViewer(tmp)
        try:
            before = len(nginx_requests())
            assert inst.run_update_exe("/DELAY=0") == 0
            wait_for(lambda: has_line(viewer, " AutoUpdateTimerCount=3"), 30, "ticks")
            assert any(t.startswith(" Fire  ") for _, t in entries(viewer))
            assert not has_line(viewer, " ==== Perform Update-1 ====")
            assert read_ini_value(inst.original, "OriginalSetup", "VersionOriginal") == "1"
            requests = nginx_requests()[before:]
            assert any(f"/{inst.sub}/Tool.info" in r for r in requests), requests
            assert not any("ToolUpdate.exe" in r for r in requests), requests
        finally:
            end_agents(tmp, viewer)
            viewer.close()


def test_an_ordinary_installer_as_the_update_is_recorded_when_it_succeeds():
    with Scratch() as tmp:
        inst = Install(tmp, "ToolNsis", nsis_name="AgentUpdate",
                       info={"ShutDownMethod": "Don't Shut Down", "InformFinish": "0"})
        viewer = DebugViewer(tmp)
        try:
            assert inst.run_update_exe("/DELAY=0") == 0
            wait_for(lambda: has_line(viewer, " ==== Perform Update-2 ===="), 120, "the update")
            # The installer got only its own switch, nothing of the hand-shake.
            assert install_log(drive_c() / "OrvNsis" / "AgentUpdate")[1:] == ["params=/S", "done"]
            assert has_line(viewer, " Setup exit code=0")
            assert read_ini_value(inst.original, "OriginalSetup", "VersionOriginal") == "2"
        finally:
            end_agents(tmp, viewer)
            viewer.close()


def test_valid_versions_without_the_installed_version_installs_nothing():
    with Scratch() as tmp:
        inst = Install(tmp, "ToolValid", info={"ValidVersions": "11,21"})
        viewer = DebugViewer(tmp)
        try:
            assert inst.run_update_exe("/DELAY=0") == 0
            wait_for(lambda: has_line(viewer, " AutoUpdateTimerCount=3"), 30, "ticks")
            assert any(t.startswith(" Fire  ") for _, t in entries(viewer))
            assert not has_line(viewer, " ==== Perform Update-1 ====")
            assert read_ini_value(inst.original, "OriginalSetup", "VersionOriginal") == "1"
            assert read_ini_value(inst.original, "OriginalSetup", "Stamp") is None
            assert inst.setup_record() is None
        finally:
            end_agents(tmp, viewer)
            viewer.close()


def test_stop_switch_ends_the_copy_after_its_third_tick():
    with Scratch() as tmp:
        inst = Install(tmp, "ToolStop")
        viewer = DebugViewer(tmp)
        try:
            assert inst.run_update_exe("/DELAY=100") == 0
            wait_copy_window(tmp)
            copy = copy_pids(viewer)[0]
            assert inst.run_update_exe("/STOP=2") == 0
            wait_for(lambda: any(t.startswith(" ==== STUB END") for t in lines_of(viewer, copy)),
                     30, "the copy's end")
            all_lines = entries(viewer)
            marker = next(i for i, (_, t) in enumerate(all_lines) if t == " ==2==")
            after = [t for p, t in all_lines[marker:]
                     if p == copy and t.startswith(" AutoUpdateTimerCount=")]
            assert len(after) == 3, after
            wait_for(lambda: not (inst.folder / "X_Update.exe").exists(), 30,
                     "the copy to delete its file")
            assert (inst.folder / "Update.exe").exists()
        finally:
            end_agents(tmp, viewer)
            viewer.close()


def test_test_mode_takes_the_files_from_its_folder_without_a_request():
    with Scratch() as tmp:
        folder = drive_c() / "UpdTest"
        if folder.exists():
            shutil.rmtree(folder)
        folder.mkdir()
        inst = Install(tmp, "ToolTest", server_folder=folder,
                       info={"DownloadURL_UPDATE": "C:\\NotUsed",
                             "ShutDownMethod": "Using Terminate Process", "InformFinish": "0"})
        viewer = DebugViewer(tmp)
        before = len(nginx_requests())
        try:
            for value, data in (("TestMode", "1"), ("TestModeURL", "C:\\UpdTest")):
                subprocess.run([WINE, "reg", "add", TEST_MODE_KEY, "/v", value, "/t", "REG_SZ",
                                "/d", data, "/f"], capture_output=True, timeout=60, check=True)
            app, _ = inst.start_app()
            assert inst.run_update_exe("/DELAY=0") == 0
            wait_for(lambda: has_line(viewer, " ==== Perform Update-2 ===="), 90, "the update")
            assert finish(app, 30) == 0, "the application was not terminated"
            assert read_ini_value(inst.original, "OriginalSetup", "VersionOriginal") == "2"
            assert inst.setup_record() is not None
            assert nginx_requests()[before:] == []
            assert (folder / "ToolUpdate.exe").exists(), "the test folder's package was taken away"
        finally:
            subprocess.run([WINE, "reg", "delete", TEST_MODE_KEY, "/f"], capture_output=True,
                           timeout=60)
            end_agents(tmp, viewer)
            viewer.close()


# ---- remote control ---------------------------------------------------------


def test_agent_commands_are_answered_while_the_update_downloads():
    with Scratch() as tmp:
        fault = os.environ["ORVANE_FAULT_URL"]
        inst = Install(tmp, "ToolRemote", info={
            "DownloadURL_UPDATE": f"{fault}/m/slow=1500/upd-toolremote",
            "ShutDownMethod": "Don't Shut Down", "RunningProcess": ""})
        viewer = DebugViewer(tmp)
        try:
            assert inst.run_update_exe("/DELAY=8") == 0
            wait_copy_window(tmp)
            assert send(tmp, (7, 0), (4, 0), (5, 0), (6, 0), (99, 5)) == {
                7: ["0"], 4: ["1"], 5: ["0"], 6: ["0"], 99: ["0"]}
            lines = remote(tmp, "--wait-reply", AGENT_CLASS, 7, 2, 60000)
            assert lines == ["wait 7=2 reached"], lines
            replies = send(tmp, (4, 0), (5, 0), (12, 3600), (13, -5), (14, 123), (15, 456),
                           (8, 0), (9, 0), (10, 0), (11, 0), (24, 0x100), (30, 4), (7, 0))
            assert replies == {4: ["1"], 5: ["2"], 12: ["0"], 13: ["0"], 14: ["0"], 15: ["0"],
                               8: ["3600"], 9: ["-5"], 10: ["123"], 11: ["456"], 24: ["0"],
                               30: ["0"], 7: ["2"]}, replies
            assert read_ini_value(inst.original, "OriginalSetup", "ReAskSecondsInterval") == "-5"
            assert read_ini_value(inst.original, "OriginalSetup", "ProbeSecondsInterval") == "3600"
            copy = copy_pids(viewer)[0]
            wait_for(lambda: has_line(viewer, " ==== Perform Update-2 ====", copy), 90, "the update")
            assert read_ini_value(inst.original, "OriginalSetup", "VersionOriginal") == "2"
            # Override 4 (InformFinish) at 0: no finishing box; the countdown
            # above 0 keeps the agent from relaunching and ends it later.
            wait_for(lambda: any(t.startswith(" ==== STUB END") for t in lines_of(viewer, copy)),
                     30, "the copy's end")
            assert not has_line(viewer, " CreateAndRun_X_Exe-1 99")
            assert len(copy_pids(viewer)) == 1
            done = [t for t in lines_of(viewer, copy)]
            after = done[done.index(" ==== Perform Update-2 ===="):]
            ticks = [t for t in after if t.startswith(" AutoUpdateTimerCount=")]
            assert len(ticks) == 5, ticks
            fault_log = Path(os.environ["ORVANE_FAULT_LOG"]).read_text()
            assert "/m/slow=1500/upd-toolremote/ToolUpdate.exe" in fault_log
        finally:
            end_agents(tmp, viewer)
            viewer.close()


# ---- names from the info file -----------------------------------------------


def evil_name(name, case):
    with Scratch() as tmp:
        inst = Install(tmp, case, served_name="evil.exe", info={
            "NameOfUpdateFile": name, "ShutDownMethod": "Don't Shut Down", "RunningProcess": "",
            "InformFinish": "0"})
        # A file where the raw name would point: it must stay untouched.
        decoy = inst.folder.parent / "evil.exe"
        decoy.write_text("not a package")
        viewer = DebugViewer(tmp)
        try:
            assert inst.run_update_exe("/DELAY=0") == 0
            wait_for(lambda: has_line(viewer, " ==== Perform Update-2 ===="), 90, "the update")
            assert inst.setup_record() is not None, "the update did not run"
            assert read_ini_value(inst.original, "OriginalSetup", "VersionOriginal") == "2"
            assert decoy.read_text() == "not a package"
            assert not (drive_c() / "x").exists()
            assert not (inst.folder / "evil.exe").exists()
            assert any(f"/{inst.sub}/evil.exe" in r for r in nginx_requests())
        finally:
            decoy.unlink(missing_ok=True)
            end_agents(tmp, viewer)
            viewer.close()


def test_update_file_name_with_parent_part_stays_in_the_agent_folder():
    evil_name("..\\evil.exe", "ToolEvilUp")


def test_update_file_name_with_forward_slashes_stays_in_the_agent_folder():
    evil_name("../evil.exe", "ToolEvilSlash")


def test_update_file_name_with_a_drive_stays_in_the_agent_folder():
    evil_name("C:\\x\\evil.exe", "ToolEvilDrive")


if __name__ == "__main__":
    main([test_full_cycle_wm_close,
          test_delay_puts_the_check_on_the_matching_tick_and_interval_0_checks_once,
          test_interval_minus_1_never_checks_but_a_user_request_does_and_reports_s21,
          test_stop_switch_ends_the_copy_after_its_third_tick,
          test_update_file_name_with_parent_part_stays_in_the_agent_folder,
          test_update_file_name_with_forward_slashes_stays_in_the_agent_folder,
          test_update_file_name_with_a_drive_stays_in_the_agent_folder,
          test_stamp_already_seen_offers_nothing_on_an_automatic_check,
          test_valid_versions_without_the_installed_version_installs_nothing,
          test_an_ordinary_installer_as_the_update_is_recorded_when_it_succeeds,
          test_agent_commands_are_answered_while_the_update_downloads,
          test_test_mode_takes_the_files_from_its_folder_without_a_request,
          test_full_cycle_wm_quit,
          test_full_cycle_terminate,
          test_full_cycle_dont_shut_down])
