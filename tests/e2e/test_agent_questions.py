"""The auto-update agent's questions and warnings under Wine: the question
before the update download, the question before its installation, the box
that asks the user to close the application, and the warning after a
failed update download.

The installed application and the update on offer are agent_support.py's
Install; the texts of the boxes come from the installation settings file
and are read back from the boxes by msgbox_answerer.exe."""
import os
import subprocess
import time

from agent_support import (APP_CLASS, Install, end_agents, entries, has_line, read_ini_value, send,
                           window_pids)
from harness import WINE, Answerer, DebugViewer, Scratch, finish, main, nginx_requests, wait_for

# The parts of the download question are told apart by their brackets, so
# a box that joins the wrong parts cannot pass.
QUESTION_TEXTS = {"s11": "[PROG_NAME 2]", "s12": "(download)", "s13": "(download, then install)",
                  "s14": "Install PROG_NAME 2 now?", "s15": "Close PROG_NAME first."}
QUIET = {"ShutDownMethod": "Don't Shut Down", "RunningProcess": "", "InformFinish": "0"}


def perform_steps(viewer: DebugViewer):
    return [t for _, t in entries(viewer) if t.startswith(" ==== DoPerform-")]


def steps(*numbers):
    return [f" ==== DoPerform-{n} ====" for n in numbers]


def package_requests(inst: Install, user_agent: str):
    """nginx requests for the update package made with the user agent of the
    size query ("HTTP_Connect_2") or of a download ("HTTP_Connect_3")."""
    return [r for r in nginx_requests(f"{inst.sub}/ToolUpdate.exe") if f'agent="{user_agent}"' in r]


def left_in_folder(inst: Install):
    return sorted(p.name for p in inst.folder.iterdir() if p.name.startswith("ToolUpdate.exe"))


def headed(caption: str, text: str) -> str:
    """What a box of the update procedure shows: these boxes have no owner
    window, so the caption in capitals heads the text (line breaks as the
    answerer writes them)."""
    return caption.upper() + "\\r\\n\\r\\n" + text + "\\r\\n"


# ---- question before the download -------------------------------------------


def test_declined_download_fetches_nothing_and_the_re_ask_offers_it_again():
    with Scratch() as tmp:
        inst = Install(tmp, "AskDownload", original={"AutoUpdate": QUESTION_TEXTS},
                       info=dict(QUIET, RequestConfirmationBeforeDownload="1"))
        viewer = DebugViewer(tmp)
        try:
            no = Answerer(tmp, ["--key", "n"], wait_ms=60000, name="no")
            assert inst.run_update_exe("/DELAY=0") == 0
            assert no.wait(90) == 0
            box = no.boxes()[0]
            assert box["caption"] == "Confirm", box
            assert box["text"] == headed("Confirm", "[ToolNew 2](download)"), box
            assert "&Yes" in box["buttons"] and "&No" in box["buttons"], box
            wait_for(lambda: has_line(viewer, " ==== Perform Update-2 ===="), 30, "the offer")
            assert perform_steps(viewer) == steps(1, 2, 9)
            # Only the size query asked for the package; no download was made.
            assert package_requests(inst, "HTTP_Connect_2"), nginx_requests()
            assert package_requests(inst, "HTTP_Connect_3") == [], nginx_requests()
            assert left_in_folder(inst) == []
            assert inst.setup_record() is None
            assert read_ini_value(inst.original, "OriginalSetup", "VersionOriginal") == "1"
            # The offer was recorded before the question.
            assert read_ini_value(inst.original, "OriginalSetup", "Stamp") == "7"

            # The same stamp is offered again once the re-ask interval has passed.
            assert send(tmp, (13, 1)) == {13: ["0"]}
            time.sleep(2.2)
            yes = Answerer(tmp, ["--key", "y"], wait_ms=60000, name="yes")
            assert send(tmp, (31, 0)) == {31: ["0"]}
            assert yes.wait(90) == 0
            assert yes.boxes()[0]["text"] == headed("Confirm", "[ToolNew 2](download)"), yes.boxes()
            wait_for(lambda: len([t for _, t in entries(viewer)
                                  if t == " ==== Perform Update-2 ===="]) == 2, 90, "the update")
            assert perform_steps(viewer) == steps(1, 2, 9) + steps(*range(1, 10))
            assert len(package_requests(inst, "HTTP_Connect_3")) == 1, nginx_requests()
            assert inst.setup_record() is not None, "the update's setup program did not run"
            assert read_ini_value(inst.original, "OriginalSetup", "VersionOriginal") == "2"
            assert left_in_folder(inst) == []
        finally:
            end_agents(tmp, viewer)
            viewer.close()


# ---- question before the installation ---------------------------------------


def test_declined_install_keeps_the_downloaded_package_and_installs_nothing():
    with Scratch() as tmp:
        inst = Install(tmp, "AskInstall", original={"AutoUpdate": QUESTION_TEXTS},
                       info=dict(QUIET, RequestConfirmationBeforeDownload="1",
                                 RequestConfirmationBeforeInstall="1"))
        viewer = DebugViewer(tmp)
        try:
            download = Answerer(tmp, ["--key", "y"], wait_ms=60000, name="download")
            assert inst.run_update_exe("/DELAY=0") == 0
            assert download.wait(90) == 0
            box = download.boxes()[0]
            assert box["caption"] == "Confirm", box
            assert box["text"] == headed("Confirm", "[ToolNew 2](download, then install)"), box
            install = Answerer(tmp, ["--key", "n"], wait_ms=60000, name="install")
            assert install.wait(90) == 0
            box = install.boxes()[0]
            assert box["caption"] == "Confirm", box
            assert box["text"] == headed("Confirm", "Install ToolNew 2 now?"), box
            wait_for(lambda: has_line(viewer, " ==== Perform Update-2 ===="), 30, "the offer")
            assert perform_steps(viewer) == steps(1, 2, 3, 9)
            assert len(package_requests(inst, "HTTP_Connect_3")) == 1, nginx_requests()
            # A declined installation ends before the step that deletes the package.
            assert left_in_folder(inst) == ["ToolUpdate.exe"]
            assert ((inst.folder / "ToolUpdate.exe").read_bytes() ==
                    (inst.server / "ToolUpdate.exe").read_bytes())
            assert inst.setup_record() is None
            assert read_ini_value(inst.original, "OriginalSetup", "VersionOriginal") == "1"
        finally:
            end_agents(tmp, viewer)
            viewer.close()


# ---- box asking the user to close the application ---------------------------


def test_close_box_repeats_while_the_application_runs_then_the_update_installs():
    with Scratch() as tmp:
        inst = Install(tmp, "AskClose", original={"AutoUpdate": QUESTION_TEXTS},
                       info={"ShutDownMethod": "Issue a Message Box", "InformFinish": "0"})
        viewer = DebugViewer(tmp)
        try:
            app, app_pid = inst.start_app()
            first = Answerer(tmp, ["--enter"], wait_ms=60000, name="first")
            assert inst.run_update_exe("/DELAY=0") == 0
            assert first.wait(90) == 0
            box = first.boxes()[0]
            assert box["caption"] == "Attention", box
            assert box["text"] == headed("Attention", "Close fake_app.exe first."), box
            # Answered while the application still runs: the box comes back.
            again = Answerer(tmp, ["--none"], wait_ms=60000, name="again")
            assert again.wait(90) == 0
            assert again.boxes()[0]["text"] == box["text"], again.boxes()
            assert app.poll() is None
            assert not has_line(viewer, " ==== DoPerform-5 ====")
            assert inst.setup_record() is None

            subprocess.run([WINE, "taskkill", "/F", "/PID", str(app_pid)], capture_output=True,
                           timeout=60)
            finish(app, 30)
            wait_for(lambda: window_pids(tmp, APP_CLASS) == [], 30, "fake_app to end")
            last = Answerer(tmp, ["--enter"], wait_ms=60000, name="last")
            assert last.wait(90) == 0
            wait_for(lambda: has_line(viewer, " ==== Perform Update-2 ===="), 90, "the update")
            assert perform_steps(viewer) == steps(*range(1, 10))
            assert inst.setup_record() is not None, "the update's setup program did not run"
            assert read_ini_value(inst.original, "OriginalSetup", "VersionOriginal") == "2"
        finally:
            end_agents(tmp, viewer)
            viewer.close()


# ---- failed update download -------------------------------------------------


def test_failed_download_with_confirmation_shows_the_url_and_s5():
    with Scratch() as tmp:
        inst = Install(tmp, "FailDownload", original={"AutoUpdate": QUESTION_TEXTS},
                       info=dict(QUIET, RequestConfirmationBeforeDownload="1"))
        viewer = DebugViewer(tmp)
        try:
            seen = Answerer(tmp, ["--none"], wait_ms=60000, name="seen")
            assert inst.run_update_exe("/DELAY=0") == 0
            assert seen.wait(90) == 0
            question = seen.boxes()[0]
            assert question["text"] == headed("Confirm", "[ToolNew 2](download)"), question
            # The package passed the size test; while the question is open it
            # becomes empty on the server, so its download reports no length.
            (inst.server / "ToolUpdate.exe").write_bytes(b"")
            yes = Answerer(tmp, ["--key", "y"], wait_ms=60000, name="yes")
            assert yes.wait(90) == 0
            warning = Answerer(tmp, ["--enter"], wait_ms=60000, name="warning")
            assert warning.wait(90) == 0
            box = warning.boxes()[0]
            url = f"{inst.location}/ToolUpdate.exe"
            assert box["caption"] == "Attention", box
            expected = headed("Attention", url + "\\r\\n\\r\\nUnable to Download File!")
            assert box["text"] == expected, box
            wait_for(lambda: has_line(viewer, " ==== Perform Update-2 ===="), 30, "the offer")
            assert perform_steps(viewer) == steps(1, 2, 3, 9)
            assert len(package_requests(inst, "HTTP_Connect_3")) == 1, nginx_requests()
            assert left_in_folder(inst) == []
            assert inst.setup_record() is None
            assert read_ini_value(inst.original, "OriginalSetup", "VersionOriginal") == "1"
        finally:
            end_agents(tmp, viewer)
            viewer.close()


def test_download_cut_short_is_a_failed_download_not_a_bad_token():
    with Scratch() as tmp:
        # The fault server announces the package's full length and sends
        # only its first 5000 bytes; the small info file comes whole.
        location = f"{os.environ['ORVANE_FAULT_URL']}/m/cut=5000/upd-cutdownload"
        inst = Install(tmp, "CutDownload", original={"AutoUpdate": QUESTION_TEXTS},
                       info=dict(QUIET, RequestConfirmationBeforeDownload="1"),
                       location=location)
        viewer = DebugViewer(tmp)
        try:
            yes = Answerer(tmp, ["--key", "y"], wait_ms=60000, name="yes")
            assert inst.run_update_exe("/DELAY=0") == 0
            assert yes.wait(90) == 0
            warning = Answerer(tmp, ["--enter"], wait_ms=60000, name="warning")
            assert warning.wait(90) == 0
            box = warning.boxes()[0]
            url = f"{location}/ToolUpdate.exe"
            assert box["caption"] == "Attention", box
            assert box["text"] == headed("Attention", url + "\\r\\n\\r\\nUnable to Download File!"), box
            wait_for(lambda: has_line(viewer, " ==== Perform Update-2 ===="), 30, "the offer")
            assert perform_steps(viewer) == steps(1, 2, 3, 9)
            assert inst.setup_record() is None
            assert read_ini_value(inst.original, "OriginalSetup", "VersionOriginal") == "1"
        finally:
            end_agents(tmp, viewer)
            viewer.close()


if __name__ == "__main__":
    main([test_declined_download_fetches_nothing_and_the_re_ask_offers_it_again,
          test_declined_install_keeps_the_downloaded_package_and_installs_nothing,
          test_close_box_repeats_while_the_application_runs_then_the_update_installs,
          test_failed_download_with_confirmation_shows_the_url_and_s5,
          test_download_cut_short_is_a_failed_download_not_a_bad_token])
