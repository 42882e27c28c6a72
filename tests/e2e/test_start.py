"""The launcher's start under Wine: START/END lines, the auto-update flag,
OriginDir/OriginExe, the single-instance rule and the run-mode rows."""
import time

from harness import (BIN, HELPERS, DebugViewer, Scratch, build_setup, fake_setup_env, finish,
                     log_lines_of, main, make_payload, pack, reg_query, start, start_env,
                     wait_for, win_path)

DYN_DATA = r"HKCU\Software\Orvane_Dyn_Data"


def test_setup_run_logs_its_lines_and_records_its_origin():
    with Scratch() as tmp:
        setup = build_setup(tmp / "setup.exe", make_payload(tmp / "in"))
        viewer = DebugViewer(tmp)
        try:
            code = finish(start_env(setup, "/a", env=fake_setup_env(tmp / "fake.log")))
            lines = log_lines_of(viewer)
        finally:
            viewer.close()
        assert code == 0, code
        start_line = next(l for l in lines if l.startswith(" ==== STUB START ====>"))
        assert "setup.exe" in start_line.lower() and start_line.endswith("/a<"), start_line
        assert " ThisIs_AutoUpdateProg=FALSE" in lines, lines
        end_line = next(l for l in lines if l.startswith(" ==== STUB END ====>"))
        assert end_line[len(" ==== STUB END ====>"):] == start_line[len(" ==== STUB START ====>"):]
        origin_exe = reg_query(DYN_DATA, "OriginExe")
        assert origin_exe is not None and origin_exe.lower() == win_path(setup).lower(), origin_exe
        assert reg_query(DYN_DATA, "OriginDir").lower() == win_path(tmp).lower()


def test_second_start_while_the_class_exists_does_nothing_more():
    with Scratch() as tmp:
        setup = build_setup(tmp / "setup.exe", make_payload(tmp / "in"))
        ready = tmp / "holder.ready"
        holder = start(HELPERS / "window_holder.exe", "--class", win_path(setup),
                       "--ready", win_path(ready), "--exit-after", 60000)
        viewer = DebugViewer(tmp)
        try:
            wait_for(ready.exists, 30, "the window holder")
            code = finish(start_env(setup, env=fake_setup_env(tmp / "fake.log")), 60)
            lines = [l for l in log_lines_of(viewer) if l]
        finally:
            viewer.close()
            holder.kill()
        assert code == 0
        assert len(lines) == 4, lines
        assert lines[0].startswith(" ==== STUB START ====>")
        assert lines[1] == " ThisIs_AutoUpdateProg=FALSE"
        assert lines[2].startswith(" PeakWorkingSetSize=")
        assert lines[3].startswith(" ==== STUB END ====>")
        assert not (tmp / "fake.log").exists(), "the second start ran the setup program"


def test_auto_update_program_takes_its_row_and_starts_the_copy():
    with Scratch() as tmp:
        payload = make_payload(tmp / "in")
        updater = tmp / "Update.exe"
        pack("build", "--stub", BIN / "Stub.exe", "--output", updater, "--folder", payload,
             "--auto-update-prog", "--auto-update-name", "Update.exe",
             "--update-info-name", "Tool.info")
        viewer = DebugViewer(tmp)
        try:
            assert finish(start(updater, "/DELAY=1000"), 60) == 0
            copy = tmp / "X_Update.exe"
            assert copy.exists(), "no transient copy"
            wait_for(lambda: any(l.startswith(" AutoUpdateTimerCount=")
                                 for l in log_lines_of(viewer)), 30, "the copy's first tick")
            lines = log_lines_of(viewer)
            assert " ThisIs_AutoUpdateProg=TRUE" in lines
            assert " CreateAndRun_X_Exe-1 " in lines and " CreateAndRun_X_Exe-2" in lines, lines
            # Stop the copy through its controller: it quits and deletes its own file.
            assert finish(start(updater, "/STOP=0"), 60) == 0
            wait_for(lambda: not copy.exists(), 30, "the copy to delete itself")
            assert " ==1== " in "".join(lines + log_lines_of(viewer))
        finally:
            viewer.close()


if __name__ == "__main__":
    main([test_setup_run_logs_its_lines_and_records_its_origin,
          test_second_start_while_the_class_exists_does_nothing_more,
          test_auto_update_program_takes_its_row_and_starts_the_copy])
