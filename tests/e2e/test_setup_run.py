"""A setup package from its first timer tick to the started setup program
and back to a clean exit, under Wine."""
import os
import re
import shutil

from harness import (Answerer, DebugViewer, Scratch, Signer, build_setup, command_line_of,
                     fake_setup_env, finish, linux_path, log_lines_of, main, make_payload,
                     package_layout, reseal, run_setup, same_tree, stamped_lines, start_env,
                     wait_for)


def body_of(box):
    """A box's text without the bold caption heading of an owner-less box."""
    heading = box["caption"].upper() + "\\r\\n\\r\\n"
    text = box["text"]
    return text[len(heading):] if text.startswith(heading) else text


def test_normal_run_passes_the_arguments_and_extracts_every_file():
    with Scratch() as tmp:
        payload = make_payload(tmp / "in")
        setup = build_setup(tmp / "setup.exe", payload, main="Setup.exe* /b")
        code, lines, record = run_setup(tmp, setup, "/a")
        assert code == 0 and record is not None, lines
        m = re.fullmatch(r"(\S+\\Setup\.exe) /a /b /TH_ID=_(\d+)", command_line_of(record))
        assert m, command_line_of(record)
        assert re.search(r"\\SETUP_\d+\\Setup\.exe$", m.group(1)), m.group(1)
        assert same_tree(payload, tmp / "copy"), "extracted files differ from the input"
        assert " RunPackage result=TRUE" in lines, lines
        setup_folder = m.group(1).rsplit("\\", 1)[0]
        assert not linux_path(setup_folder).exists(), "setup folder left behind"


def test_hide_switch_skips_the_temp_drive_question():
    with Scratch() as tmp:
        setup = build_setup(tmp / "setup.exe", make_payload(tmp / "in"),
                            extra=["--always-show-temp-notice"])
        code, lines, record = run_setup(tmp, setup, "/hide")
        assert code == 0 and record is not None, lines
        assert "/hide" in command_line_of(record)


def test_failing_setup_gives_false():
    with Scratch() as tmp:
        setup = build_setup(tmp / "setup.exe", make_payload(tmp / "in"), main="Setup.exe* /fail")
        code, lines, record = run_setup(tmp, setup)
        assert code == 0 and record is not None
        assert " RunPackage result=FALSE" in lines, lines


def test_launcher_waits_for_the_setup_dialog_window():
    with Scratch() as tmp:
        setup = build_setup(tmp / "setup.exe", make_payload(tmp / "in"),
                            main="Setup.exe* /dialog=4000")
        viewer = DebugViewer(tmp, stamp=True)
        try:
            code = finish(start_env(setup, env=fake_setup_env(tmp / "fake.log")), 120)
            pieces = stamped_lines(viewer)
        finally:
            viewer.close()
        assert code == 0
        done = next(t for t, text in pieces if "FakeSetup: done" in text)
        result = next(t for t, text in pieces if "RunPackage result=TRUE" in text)
        assert result - done >= 3500, (done, result)


def test_damaged_package_shows_bad_crc_and_starts_nothing():
    def flip_data_byte(data):
        _, blocks = package_layout(bytes(data))
        offset, length = blocks[-1]
        data[offset + length // 2] ^= 0x40

    def damage_trailer_length(data):
        # The stored trailer length then reads 56138: the trailer comes from
        # compressed data, magic and flags included (an agent flag among them).
        assert data[-3] == 0
        data[-3] = 0xDB

    for damage in (flip_data_byte, damage_trailer_length):
        with Scratch() as tmp:
            setup = build_setup(tmp / "setup.exe", make_payload(tmp / "in"))
            data = bytearray(setup.read_bytes())
            damage(data)
            setup.write_bytes(bytes(data))
            answerer = Answerer(tmp, ["--enter"])
            code, lines, record = run_setup(tmp, setup, timeout=60)
            assert answerer.wait() == 0, damage.__name__
            box = answerer.boxes()[0]
            assert box["caption"] == "Error" and "Bad CRC!" in box["text"], (damage.__name__, box)
            assert code == 0 and record is None, "a damaged package started its setup program"
            assert " ThisIs_AutoUpdateProg=FALSE" in lines, (damage.__name__, lines)


def test_damaged_entry_with_good_checksum_is_reported_not_run():
    with Scratch() as tmp:
        setup = build_setup(tmp / "setup.exe", make_payload(tmp / "in"))
        data = bytearray(setup.read_bytes())
        _, blocks = package_layout(bytes(data))
        offset, length = blocks[2]  # the first entry, after the two text lists
        for i in range(8, min(length - 8, 64)):
            data[offset + i] ^= 0xFF
        setup.write_bytes(bytes(reseal(data)))
        answerer = Answerer(tmp, ["--enter"])
        code, lines, record = run_setup(tmp, setup)
        assert answerer.wait() == 0
        text = answerer.boxes()[0]["text"]
        assert "zlib" in text.lower() or "data error" in text.lower(), text
        assert code == 0 and record is None
        assert not any(l.startswith(" RunPackage result=TRUE") for l in lines)


def test_temp_space_question_no_extracts_nothing():
    with Scratch() as tmp:
        setup = build_setup(tmp / "setup.exe", make_payload(tmp / "in"),
                            extra=["--always-show-temp-notice"])
        answerer = Answerer(tmp, ["--key", "n"])
        code, lines, record = run_setup(tmp, setup)
        assert answerer.wait() == 0
        box = answerer.boxes()[0]
        assert box["caption"] == "Confirm", box
        assert body_of(box).startswith("Orvane will extract files to your Temp Drive (C:)"), box
        assert "Continue with Setup?" in box["text"]
        assert code == 0 and record is None
        assert not any(" - " in l for l in lines), "files were extracted"


def test_temp_space_question_yes_runs_the_setup():
    with Scratch() as tmp:
        setup = build_setup(tmp / "setup.exe", make_payload(tmp / "in"),
                            extra=["--always-show-temp-notice"])
        answerer = Answerer(tmp, ["--key", "y"])
        code, lines, record = run_setup(tmp, setup)
        assert answerer.wait() == 0 and record is not None, lines


def build_spanned(tmp):
    payload = make_payload(tmp / "in")
    # 1.5 MB that does not compress: at least three disks of 700 KB whatever
    # part of disk 1 the launcher image takes (180 to 420 KB).
    for i in range(6):
        (payload / f"big{i}.bin").write_bytes(os.urandom(250000))
    setup = build_setup(tmp / "setup.exe", payload, extra=["--disk-size", "700K"])
    assert (tmp / "setup.exe.002").exists() and (tmp / "setup.exe.003").exists()
    return payload, setup


def test_spanned_package_asks_for_a_missing_disk_and_goes_on():
    with Scratch() as tmp:
        payload, setup = build_spanned(tmp)
        disk2 = tmp / "setup.exe.002"
        shutil.move(disk2, tmp / "aside.002")
        env = fake_setup_env(tmp / "fake.log", tmp / "copy")
        viewer = DebugViewer(tmp)
        try:
            launcher = start_env(setup, env=env)
            watcher = Answerer(tmp, ["--none"], name="prompt")
            assert watcher.wait() == 0
            box = watcher.boxes()[0]
            assert box["caption"] == "Attention" and "DISK #2" in box["text"], box
            shutil.move(tmp / "aside.002", disk2)
            assert Answerer(tmp, ["--click", "1"], name="ok").wait() == 0
            assert finish(launcher, 120) == 0
        finally:
            viewer.close()
        assert same_tree(payload, tmp / "copy")


def test_spanned_package_cancel_at_the_prompt_starts_nothing():
    with Scratch() as tmp:
        _, setup = build_spanned(tmp)
        (tmp / "setup.exe.002").unlink()
        answerer = Answerer(tmp, ["--click", "2"])
        code, lines, record = run_setup(tmp, setup)
        assert answerer.wait() == 0 and code == 0
        assert record is None, "cancelled package started its setup program"


LANG_TEXTS = """[English]
s2=ENGLISH NOTICE (<DRIVE>)<P>
[FRENCH]
s2=AVIS FRANCAIS (<DRIVE>)<P>
"""


def localized_notice(tmp, lang_file_text, locale):
    (tmp / "lang.txt").write_text(lang_file_text)
    setup = build_setup(tmp / "setup.exe", make_payload(tmp / "in"),
                        extra=["--always-show-temp-notice", "--lang", tmp / "lang.txt"])
    answerer = Answerer(tmp, ["--key", "n"])
    run_setup(tmp, setup, env_extra={"LC_ALL": locale, "LANG": locale})
    assert answerer.wait() == 0
    return answerer.boxes()[0]


def test_french_section_under_a_french_locale():
    with Scratch() as tmp:
        box = localized_notice(tmp, LANG_TEXTS, "fr_FR.UTF-8")
        assert body_of(box).startswith("AVIS FRANCAIS (C:)"), box


def test_english_section_under_a_german_locale():
    with Scratch() as tmp:
        box = localized_notice(tmp, LANG_TEXTS, "de_DE.UTF-8")
        assert body_of(box).startswith("ENGLISH NOTICE (C:)"), box


def test_hebrew_charset_makes_the_box_right_to_left():
    with Scratch() as tmp:
        box = localized_notice(tmp, "[English]\nCharset=177\n", "en_US.UTF-8")
        assert box["rtl"] == "1", box
    with Scratch() as tmp:
        box = localized_notice(tmp, "[English]\nCharset=204\n", "en_US.UTF-8")
        assert box["rtl"] == "0", box


def test_auto_update_program_copy_is_the_launcher_with_its_flag():
    import struct
    with Scratch() as tmp:
        setup = build_setup(tmp / "setup.exe", make_payload(tmp / "in"),
                            extra=["--make-auto-update", "--auto-update-name", "Agent.exe",
                                   "--update-info-name", "Tool.info"])
        code, lines, record = run_setup(tmp, setup)
        assert code == 0 and record is not None
        data = setup.read_bytes()
        trailer_at, blocks = package_layout(data)
        lists_end = blocks[1][0] + blocks[1][1]
        trailer = bytearray(data[trailer_at:trailer_at + 74])
        trailer[69] = 1
        struct.pack_into("<i", trailer, 70, 74)
        expected = bytearray(data[:lists_end])
        expected[252:256] = b"\0\0\0\0"
        expected += trailer
        assert (tmp / "copy" / "Agent.exe").read_bytes() == bytes(expected)


def test_signed_package_still_passes_its_checksum():
    with Scratch() as tmp:
        payload = make_payload(tmp / "in")
        setup = build_setup(tmp / "plain.exe", payload)
        signed = Signer(tmp / "keys", "test").sign(setup, tmp / "setup.exe")
        assert len(signed.read_bytes()) > len(setup.read_bytes())
        code, lines, record = run_setup(tmp, signed)
        assert code == 0 and record is not None, lines
        assert same_tree(payload, tmp / "copy")


def test_second_start_from_the_same_path_while_the_first_runs():
    with Scratch() as tmp:
        setup = build_setup(tmp / "setup.exe", make_payload(tmp / "in"),
                            main="Setup.exe* /sleep=6000")
        env = fake_setup_env(tmp / "fake.log")
        viewer = DebugViewer(tmp)
        try:
            first = start_env(setup, env=env)
            wait_for(lambda: (tmp / "fake.log").exists(), 60, "the first run's setup program")
            second = start_env(setup, env=env)
            assert finish(second, 60) == 0
            assert finish(first, 120) == 0
            starts = [l for l in log_lines_of(viewer) if l.startswith(" ==== STUB START")]
        finally:
            viewer.close()
        assert len(starts) == 2
        assert (tmp / "fake.log").read_bytes().count(b"cmdline=") == 1


if __name__ == "__main__":
    main([test_normal_run_passes_the_arguments_and_extracts_every_file,
          test_hide_switch_skips_the_temp_drive_question,
          test_failing_setup_gives_false,
          test_launcher_waits_for_the_setup_dialog_window,
          test_damaged_package_shows_bad_crc_and_starts_nothing,
          test_damaged_entry_with_good_checksum_is_reported_not_run,
          test_temp_space_question_no_extracts_nothing,
          test_temp_space_question_yes_runs_the_setup,
          test_spanned_package_asks_for_a_missing_disk_and_goes_on,
          test_spanned_package_cancel_at_the_prompt_starts_nothing,
          test_french_section_under_a_french_locale,
          test_english_section_under_a_german_locale,
          test_hebrew_charset_makes_the_box_right_to_left,
          test_auto_update_program_copy_is_the_launcher_with_its_flag,
          test_signed_package_still_passes_its_checksum,
          test_second_start_from_the_same_path_while_the_first_runs])
