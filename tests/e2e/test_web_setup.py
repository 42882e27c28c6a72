"""A web setup launcher under Wine: it fetches the real package from the
loopback nginx (or takes a copy lying beside it), checks the publisher token,
extracts the package and runs its setup program.

Runs inside winerun.sh with ORVANE_HTTP_SERVERS=1.

A missing Internet connection cannot be staged: Wine reports a connection
whenever loopback is up. The failed-transfer path is covered instead by a
web folder on a closed port, which gives the "Unable to open URL: " box.
"""
import os
import socket
import struct
import time
from pathlib import Path

from harness import (BIN, Answerer, Scratch, Signer, build_setup, command_line_of, main,
                     make_payload, nginx_requests, pack, run_setup, setup_leftovers,
                     trust_test_authority, wine_temp)

TOKEN = "Orvane-web-token-7f3a"
WWW = Path(os.environ.get("ORVANE_HTTP_ROOT", "/nonexistent"))
NGINX = os.environ.get("ORVANE_NGINX_URL", "")
FAULT = os.environ.get("ORVANE_FAULT_URL", "")


def format_mb(size: int) -> str:
    """The launcher's megabyte text: 1 decimal above 10, 2 from 1 to 10, 3 below 1."""
    mb = max(size, 0) / 1048576
    if mb > 10:
        return f"{mb:.1f}"
    return f"{mb:.2f}" if mb >= 1 else f"{mb:.3f}"


def real_package(out: Path, tmp: Path, token=TOKEN, arguments="/served") -> Path:
    """The package the web launcher fetches: fake_setup.exe as Setup.exe."""
    payload = make_payload(tmp / f"in-{out.stem}")
    return build_setup(out, payload, main=f"Setup.exe* {arguments}", extra=["--web-token", token])


def web_launcher(out: Path, folder: str, name: str, size: int, *extra, token=TOKEN) -> Path:
    """A launcher without files whose WebList names the real package."""
    pack("build", "--stub", BIN / "Stub.exe", "--output", out, "--web-setup",
         "--web-folder", folder, "--web-setup-name", name, "--web-token", token,
         "--web-setup-size", size, *extra)
    return out


def left_in_temp(name: str):
    return [p for p in wine_temp().rglob("*") if p.name.lower().startswith(name.lower())]


def run_launcher(tmp: Path, launcher: Path, answerer=None, timeout=180):
    """Runs the launcher (run_setup); returns (exit code, log lines, fake
    setup record or None, boxes seen by the answerer)."""
    code, lines, record = run_setup(tmp, launcher, timeout=timeout)
    boxes = []
    if answerer is not None:
        assert answerer.wait() == 0, "an expected message box did not appear"
        boxes = answerer.boxes()
    return code, lines, record, boxes


def serve(package: Path, name: str) -> Path:
    WWW.joinpath("web").mkdir(parents=True, exist_ok=True)
    target = WWW / "web" / name
    target.write_bytes(package.read_bytes())
    return target


def test_download_asked_yes_runs_the_fetched_package():
    with Scratch() as tmp:
        name = "yes_setup.exe"
        served = serve(real_package(tmp / "real.exe", tmp), name)
        size = served.stat().st_size
        launcher = web_launcher(tmp / "web.exe", NGINX + "/web", name, size, "--ask-before-download")
        answerer = Answerer(tmp, ["--key", "y"])
        code, lines, record, boxes = run_launcher(tmp, launcher, answerer)
        assert code == 0 and record is not None, lines
        box = boxes[0]
        assert box["caption"] == "Confirm", box
        assert "INTERNET DOWNLOAD" in box["text"], box
        assert f"Size: {format_mb(size)} MB" in box["text"], (format_mb(size), box)
        assert command_line_of(record).split()[1] == "/served", record
        got = nginx_requests(name)
        assert len(got) == 1 and "status=200" in got[0] and f"sent={size}" in got[0], got
        assert (tmp / "copy" / "data.bin").read_bytes() == (tmp / "in-real" / "data.bin").read_bytes()
        assert not left_in_temp(name), "the downloaded package was not deleted"


def test_download_asked_no_fetches_and_runs_nothing():
    with Scratch() as tmp:
        name = "no_setup.exe"
        served = serve(real_package(tmp / "real.exe", tmp), name)
        launcher = web_launcher(tmp / "web.exe", NGINX + "/web", name, served.stat().st_size,
                                "--ask-before-download")
        answerer = Answerer(tmp, ["--key", "n"])
        # A box after the "no" would keep the launcher waiting past the limit.
        code, lines, record, boxes = run_launcher(tmp, launcher, answerer, timeout=60)
        assert code == 0 and len(boxes) == 1 and "INTERNET DOWNLOAD" in boxes[0]["text"], boxes
        assert record is None, "the setup program ran after a no"
        assert nginx_requests(name) == [], nginx_requests(name)
        assert not left_in_temp(name)


def test_closed_port_shows_unable_to_open_url():
    with Scratch() as tmp:
        probe = socket.socket()
        probe.bind(("127.0.0.1", 0))
        port = probe.getsockname()[1]
        probe.close()
        folder = f"http://127.0.0.1:{port}/web"
        launcher = web_launcher(tmp / "web.exe", folder, "closed_setup.exe", 1000)
        answerer = Answerer(tmp, ["--enter"])
        code, lines, record, boxes = run_launcher(tmp, launcher, answerer)
        assert code == 0 and record is None
        assert boxes[0]["caption"] == "Error", boxes
        assert f"Unable to open URL: {folder}/closed_setup.exe" in boxes[0]["text"], boxes


def test_wrong_token_is_refused_and_the_download_deleted():
    with Scratch() as tmp:
        name = "token_setup.exe"
        served = serve(real_package(tmp / "real.exe", tmp, token="another publisher"), name)
        launcher = web_launcher(tmp / "web.exe", NGINX + "/web", name, served.stat().st_size)
        answerer = Answerer(tmp, ["--enter"])
        code, lines, record, boxes = run_launcher(tmp, launcher, answerer)
        assert code == 0 and record is None, "a package of another publisher ran"
        assert boxes[0]["caption"] == "Error" and "Bad Secret Token!" in boxes[0]["text"], boxes
        got = nginx_requests(name)
        assert len(got) == 1 and f"sent={served.stat().st_size}" in got[0], got
        assert not left_in_temp(name), left_in_temp(name)


def test_html_page_instead_of_the_package_is_reported_as_404():
    with Scratch() as tmp:
        # A page served under the setup name, and nginx's own page for a
        # setup file that is missing on the server.
        WWW.joinpath("web").mkdir(parents=True, exist_ok=True)
        (WWW / "web" / "page_setup.exe").write_text(
            "<HTML><HEAD><TITLE>Moved</TITLE></HEAD><BODY>gone</BODY></HTML>\r\n" * 20)
        for name in ("page_setup.exe", "missing_setup.exe"):
            folder = NGINX + "/web"
            launcher = web_launcher(tmp / f"web-{name}", folder, name, 1000)
            answerer = Answerer(tmp, ["--enter"], name=name)
            code, lines, record, boxes = run_launcher(tmp, launcher, answerer)
            assert code == 0 and record is None
            text = boxes[0]["text"]
            assert boxes[0]["caption"] == "Error", boxes
            assert "404 File Not Found..." in text and f"URL:  {folder}/{name}" in text, boxes
            assert "Bad Secret Token!" not in text
            assert len(nginx_requests(name)) == 1, nginx_requests(name)
            assert not left_in_temp(name), left_in_temp(name)


def test_download_that_ends_short_is_a_failed_download():
    with Scratch() as tmp:
        name = "short_setup.exe"
        served = serve(real_package(tmp / "real.exe", tmp), name)
        folder = FAULT + "/m/cut=20000/web"
        launcher = web_launcher(tmp / "web.exe", folder, name, served.stat().st_size)
        answerer = Answerer(tmp, ["--enter"])
        code, lines, record, boxes = run_launcher(tmp, launcher, answerer)
        assert code == 0 and record is None, "a cut package ran"
        text = boxes[0]["text"]
        assert boxes[0]["caption"] == "Error", boxes
        assert f"{folder}/{name}" in text and "Unable to Download File!" in text, boxes
        assert "Bad Secret Token!" not in text, boxes
        # Only the partial file stays, for the next start to continue.
        assert not (wine_temp() / name).exists()


def test_copy_beside_the_launcher_is_used_without_a_request():
    with Scratch() as tmp:
        name = "beside_setup.exe"
        serve(real_package(tmp / "served.exe", tmp, arguments="/served"), name)
        (tmp / "dist").mkdir()
        real_package(tmp / "dist" / name, tmp, arguments="/beside")
        launcher = web_launcher(tmp / "dist" / "web.exe", NGINX + "/web", name, 1000)
        code, lines, record, _ = run_launcher(tmp, launcher)
        assert code == 0 and record is not None, lines
        assert command_line_of(record).split()[1] == "/beside", record
        assert nginx_requests(name) == [], nginx_requests(name)
        assert (tmp / "dist" / name).exists(), "the copy beside the launcher was deleted"


def test_always_download_ignores_the_copy_beside_the_launcher():
    with Scratch() as tmp:
        name = "always_setup.exe"
        served = serve(real_package(tmp / "served.exe", tmp, arguments="/served"), name)
        (tmp / "dist").mkdir()
        real_package(tmp / "dist" / name, tmp, arguments="/beside")
        launcher = web_launcher(tmp / "dist" / "web.exe", NGINX + "/web", name, 1000,
                                "--web-always-download")
        code, lines, record, _ = run_launcher(tmp, launcher)
        assert code == 0 and record is not None, lines
        assert command_line_of(record).split()[1] == "/served", record
        got = nginx_requests(name)
        assert len(got) == 1 and f"sent={served.stat().st_size}" in got[0], got


def test_agent_copy_lands_beside_the_extracted_files():
    with Scratch() as tmp:
        name = "agent_setup.exe"
        serve(real_package(tmp / "real.exe", tmp), name)
        launcher = web_launcher(tmp / "web.exe", NGINX + "/web", name, 1000, "--make-auto-update",
                                "--auto-update-name", "ToolUpdate.exe",
                                "--update-info-name", "Tool.info")
        code, lines, record, _ = run_launcher(tmp, launcher)
        assert code == 0 and record is not None, lines
        copied = tmp / "copy" / "ToolUpdate.exe"
        assert copied.exists(), sorted(p.name for p in (tmp / "copy").iterdir())
        expected = bytearray(launcher.read_bytes())
        expected[len(expected) - 5] = 1
        assert copied.read_bytes() == bytes(expected), "the agent copy is not the flagged launcher"
        assert not [p for p in wine_temp().iterdir() if p.name.endswith("ToolUpdate.exe")], \
            "an agent copy was written outside the setup folder"


def test_signed_launcher_runs_only_a_setup_file_of_its_own_signer():
    with Scratch() as tmp:
        publisher, other = Signer(tmp / "keys", "publisher"), Signer(tmp / "keys", "other")
        unsigned = real_package(tmp / "real.exe", tmp)
        setups = {"same-signer": publisher.sign(unsigned, tmp / "same.exe"),
                  "other-signer": other.sign(unsigned, tmp / "other.exe"),
                  "unsigned": unsigned}
        for case, setup in setups.items():
            name = f"signed_{case}.exe"
            served = serve(setup, name)
            # The launcher is signed after packing; it still reads its lists.
            unsigned_launcher = web_launcher(
                tmp / f"web-{case}.exe", NGINX + "/web", name, served.stat().st_size,
                "--make-auto-update", "--auto-update-name", "ToolUpdate.exe",
                "--update-info-name", "Tool.info")
            launcher = publisher.sign(unsigned_launcher, tmp / f"signed-web-{case}.exe")
            runs = case == "same-signer"
            run_folder = tmp / case
            run_folder.mkdir()
            answerer = None if runs else Answerer(run_folder, ["--enter"])
            code, lines, record, boxes = run_launcher(run_folder, launcher, answerer)
            assert code == 0 and len(nginx_requests(name)) == 1, (case, lines)
            refused = [line for line in lines if line.startswith(" Setup file refused: ")]
            if runs:
                assert record is not None and refused == [], (case, lines)
                assert (run_folder / "copy" / "data.bin").read_bytes() == \
                    (tmp / "in-real" / "data.bin").read_bytes()
                # The agent copy ends with its flagged trailer, without the
                # signature behind the package.
                signed = launcher.read_bytes()
                package_end = struct.unpack_from("<i", signed, 252)[0]
                assert 0 < package_end < len(signed)
                expected = bytearray(signed[:package_end])
                expected[-5] = 1
                copied = (run_folder / "copy" / "ToolUpdate.exe").read_bytes()
                assert copied == bytes(expected), "the agent copy is not the flagged package"
            else:
                assert record is None, f"{case}: the setup file ran"
                assert boxes[0]["caption"] == "Error" and "Bad Secret Token!" in boxes[0]["text"]
                expected = "signer key not accepted" if case == "other-signer" else \
                    "signature not valid"
                assert refused == [f" Setup file refused: {expected}"], (case, lines)
            assert not left_in_temp(name), left_in_temp(name)


def check_partial_files(name: str, served: bytes):
    """Every partial file the launcher keeps is a true beginning of the file:
    no gap, no wrong byte, nothing beyond its end."""
    for part in left_in_temp(name):
        data = part.read_bytes()
        assert len(data) <= len(served) and data == served[:len(data)], \
            f"{part.name}: {len(data)} bytes, not a beginning of the file"


# (faults in the fault server's path, what the error box says or None when
# the package must run, the longest the launcher may take in seconds).
DOWNLOAD_FAULTS = [
    ("cut=30000", "Unable to Download File!", 60),           # connection closed mid-body
    # The next start finds the partial file of the cut, but the server
    # answers the range request with the whole file: the download starts
    # afresh instead of appending it.
    ("norange", None, 60),
    ("extra=4096", None, 60),                                # more bytes than announced
    ("length=2000000000", "Unable to Download File!", 60),   # a huge announced length
    ("length=99999999999999", "File Not Found !", 60),      # beyond 32 bits
    ("stall", "Unable to Download File!", 75),               # half the body, then silence
    ("stallhead", "Unable to open URL: ", 75),               # no answer at all
    # A byte every 5 s keeps every receive inside its time-out: the rate
    # cuts it off once a minute has averaged less than 1 KB/s.
    ("trickle=5000", "Unable to Download File!", 100),
    ("redirect", "Unable to open URL: ", 60),                # a redirection loop
]


def test_download_faults_end_in_bounded_time_with_a_message_and_no_setup_folder():
    with Scratch() as tmp:
        name = "fault_setup.exe"
        served = serve(real_package(tmp / "real.exe", tmp), name).read_bytes()
        failures = []
        for faults, message, limit in DOWNLOAD_FAULTS:
            case = tmp / faults.replace("=", "-")
            case.mkdir()
            folder = f"{FAULT}/m/{faults}/web"
            launcher = web_launcher(case / "web.exe", folder, name, len(served))
            answerer = Answerer(case, ["--enter"], wait_ms=limit * 1000) if message else None
            started = time.monotonic()
            code, lines, record, boxes = run_launcher(case, launcher, answerer, timeout=limit + 30)
            took = time.monotonic() - started
            seen = f"{faults}: code {code}, {took:.1f} s, boxes {boxes}"
            print(f"     {seen}", flush=True)
            if code != 0 or took > limit:
                failures.append(seen)
            if message is None:
                if record is None or boxes:
                    failures.append(f"{faults}: the package did not run: {seen}")
                elif (case / "copy" / "data.bin").read_bytes() != \
                        (tmp / "in-real" / "data.bin").read_bytes():
                    failures.append(f"{faults}: the extracted file differs")
            else:
                if record is not None:
                    failures.append(f"{faults}: a damaged download ran")
                if not boxes or boxes[0]["caption"] != "Error" or message not in boxes[0]["text"]:
                    failures.append(f"{faults}: expected an Error box with {message!r}: {seen}")
                elif f"{folder}/{name}" not in boxes[0]["text"]:
                    failures.append(f"{faults}: the box does not name the url: {seen}")
            if setup_leftovers():
                failures.append(f"{faults}: setup folders left: {setup_leftovers()}")
            if (wine_temp() / name).exists() and message is not None:
                failures.append(f"{faults}: a failed download left {name} itself")
            check_partial_files(name, served)
        # The restart case really was one: a range asked for, the whole file sent.
        log = Path(os.environ["ORVANE_FAULT_LOG"]).read_text().splitlines()
        asked = [line for line in log if line.startswith(f"/m/norange/web/{name} ")]
        assert any('range="bytes=30000-"' in line and "status=200" in line for line in asked), asked
        # The loop was left after the first request and ten redirections.
        circles = [line for line in log if line.startswith(f"/m/redirect/web/{name} ")]
        assert len(circles) == 11, circles
        assert not failures, failures



def test_https_download_passes_only_with_a_trusted_certificate_for_the_host():
    tls = os.environ["ORVANE_NGINX_TLS_URL"]
    wrong_host = os.environ["ORVANE_NGINX_WRONG_HOST_URL"]
    with Scratch() as tmp:
        name = "tls_setup.exe"
        serve(real_package(tmp / "real.exe", tmp), name)
        # (server, trust the test authority first, the package runs)
        for base, trust, runs in [(tls, False, False), (tls, True, True), (wrong_host, True, False)]:
            if trust:
                trust_test_authority()
            case = tmp / f"{base.rsplit(':', 1)[1]}-{trust}"
            case.mkdir()
            folder = base + "/web"
            launcher = web_launcher(case / "web.exe", folder, name, 1000)
            answerer = None if runs else Answerer(case, ["--enter"])
            code, lines, record, boxes = run_launcher(case, launcher, answerer)
            assert code == 0, (base, trust, lines)
            if runs:
                assert record is not None and not boxes, (base, trust, boxes, lines)
                assert (case / "copy" / "data.bin").read_bytes() == \
                    (tmp / "in-real" / "data.bin").read_bytes()
            else:
                # A certificate error is a url that cannot be opened.
                assert record is None, (base, trust, "a package ran over an unchecked connection")
                assert boxes[0]["caption"] == "Error", boxes
                assert f"Unable to open URL: {folder}/{name}" in boxes[0]["text"], boxes
            assert not setup_leftovers() and not left_in_temp(name), left_in_temp(name)


if __name__ == "__main__":
    assert NGINX, "run with ORVANE_HTTP_SERVERS=1"
    main([test_download_asked_yes_runs_the_fetched_package,
          test_download_asked_no_fetches_and_runs_nothing,
          test_closed_port_shows_unable_to_open_url,
          test_wrong_token_is_refused_and_the_download_deleted,
          test_html_page_instead_of_the_package_is_reported_as_404,
          test_download_that_ends_short_is_a_failed_download,
          test_copy_beside_the_launcher_is_used_without_a_request,
          test_always_download_ignores_the_copy_beside_the_launcher,
          test_agent_copy_lands_beside_the_extracted_files,
          test_signed_launcher_runs_only_a_setup_file_of_its_own_signer,
          test_download_faults_end_in_bounded_time_with_a_message_and_no_setup_folder,
          test_https_download_passes_only_with_a_trusted_certificate_for_the_host])
