"""The timed rounds of bench/extract-bench.sh, which runs this inside winerun.sh:
every contender once per round, then the table. The script passes the work
folder, the rounds and the packages in BENCH_* variables."""
import os
import re
import statistics
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, os.environ["ORVANE_SOURCE_DIR"] + "/tests/e2e")
import harness
from harness import DebugViewer, fake_setup_env, finish, start_env, stamped_lines, wait_for, win_path

work = Path(os.environ["BENCH_WORK"])
runs = int(os.environ["BENCH_RUNS"])
bench = work / "ext-bench"
package = Path(os.environ["BENCH_PACKAGE"])
payload_files = sum(1 for p in (work / "payload").rglob("*") if p.is_file())
payload_bytes = sum(p.stat().st_size for p in (work / "payload").rglob("*") if p.is_file())
prefix = Path(os.environ["WINEPREFIX"])
products = harness.BIN
baseline = None
if os.environ.get("BENCH_BASE_PACKAGE"):
    baseline = (Path(os.environ["BENCH_BASE_PACKAGE"]), Path(os.environ["BENCH_BASE_PRODUCTS"]))


def raw_ms():
    return time.clock_gettime(time.CLOCK_MONOTONIC_RAW) * 1000.0


def wall_offset():
    return time.clock_gettime(time.CLOCK_REALTIME) * 1000.0 - raw_ms()


def reread(path):
    with open(path, "rb") as f:
        while f.read(1 << 20):
            pass


def linux_path(windows_path):
    drive, rest = windows_path[0].lower(), windows_path[2:].replace("\\", "/")
    if drive == "z":
        return Path(rest)
    return prefix / f"drive_{drive}" / rest.lstrip("/")


def server_cpu():
    """CPU seconds used so far by this prefix's Wine server."""
    total = 0.0
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            if not (entry / "comm").read_text().startswith("wineserver"):
                continue
            if f"WINEPREFIX={prefix}\0".encode() not in (entry / "environ").read_bytes():
                continue
            fields = (entry / "stat").read_text().rsplit(")", 1)[1].split()
            total += (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
        except OSError:
            pass
    return total


def wait_cpu(proc, timeout):
    """Waits for `proc`; its exit code and CPU seconds (with its waited children)."""
    deadline = time.monotonic() + timeout
    while True:
        pid, status, usage = os.wait4(proc.pid, os.WNOHANG)
        if pid == proc.pid:
            proc.returncode = os.waitstatus_to_exitcode(status)
            return proc.returncode, usage.ru_utime + usage.ru_stime
        if time.monotonic() > deadline:
            proc.kill()
            raise AssertionError(f"{proc.args} did not end within {timeout} s")
        time.sleep(0.02)


def written_span(folder):
    """(first, last) change time in ms on the raw clock, file count, bytes."""
    offset = wall_offset()
    stats = [p.stat() for p in folder.rglob("*") if p.is_file()]
    if not stats:
        return 0.0, 0.0, 0, 0
    first = min(s.st_ctime_ns for s in stats) / 1e6 - offset
    last = max(s.st_ctime_ns for s in stats) / 1e6 - offset
    return first, last, len(stats), sum(s.st_size for s in stats)


def launcher(with_viewer, base=None):
    """One launcher run; `base` = (package, viewer program) of the baseline build."""
    exe = base[0] if base else package
    scratch = bench / "run"
    subprocess.run(["rm", "-rf", str(scratch)], check=True)
    scratch.mkdir(parents=True)
    subprocess.run(["sync"], check=True)
    reread(exe)
    viewer = None
    if with_viewer:
        harness.BIN = base[1] if base else products
        viewer = DebugViewer(scratch, stamp=True)
    fake_log = scratch / "fake.log"
    server_before = server_cpu()
    cpu = 0.0
    try:
        started = raw_ms()
        proc = start_env(exe, "/hide", env=fake_setup_env(fake_log))
        wait_for(lambda: fake_log.exists() and "exe=" in fake_log.read_text(errors="replace"),
                 300, "the setup program's start")
        # The launcher removes its folder once the setup program is done:
        # read the files' change times now.
        exe = re.search(r"^exe=(.*)$", fake_log.read_text(errors="replace"), re.M).group(1).strip()
        first, last, files, size = written_span(linux_path(exe).parent)
        setup_start = fake_log.stat().st_ctime_ns / 1e6 - wall_offset()
        code, cpu = wait_cpu(proc, 300)
        cpu += server_cpu() - server_before
    finally:
        if viewer is not None:
            # The viewer's work for the run counts too.
            viewer.proc.kill()
            cpu += wait_cpu(viewer.proc, 30)[1]
            viewer.close()
    result = {"span": (last - first) / 1000, "whole": (setup_start - started) / 1000,
              "cpu": cpu, "ok": code == 0 and files == payload_files + 1}
    if viewer is not None:
        pieces = stamped_lines(viewer)
        text = "".join(t for _, t in pieces)
        result["crc"] = int(re.search(r"GetCrc - END\s+MS=(\d+)", text).group(1)) / 1000
        result["peak"] = int(re.search(r" PeakWorkingSetSize=(\d+)", text).group(1))
        result["lines"] = len(re.findall(r"\d+ - [^\r]*\r\n", text))
        result["ok"] = result["ok"] and " RunPackage result=TRUE" in text
    return result


def nsis(variant):
    exe = bench / f"nsis-{variant}.exe"
    for old in prefix.glob("drive_c/users/*/**/nsisbench"):
        subprocess.run(["rm", "-rf", str(old)], check=True)
    subprocess.run(["sync"], check=True)
    reread(exe)
    server_before = server_cpu()
    started = raw_ms()
    proc = subprocess.Popen(["wine", str(exe)], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    code, cpu = wait_cpu(proc, 300)
    ended = raw_ms()
    cpu += server_cpu() - server_before
    folders = list(prefix.glob("drive_c/users/*/**/nsisbench"))
    first, last, files, size = written_span(folders[0]) if folders else (0, 0, 0, 0)
    for old in folders:
        subprocess.run(["rm", "-rf", str(old)], check=True)
    return {"span": (last - first) / 1000, "whole": (ended - started) / 1000, "cpu": cpu,
            "ok": code == 0 and files == payload_files and size == payload_bytes}


def limit():
    out = bench / "limit-out"
    subprocess.run(["rm", "-rf", str(out)], check=True)
    subprocess.run(["sync"], check=True)
    reread(work / "payload.pack")
    report = bench / "limit.out"
    with open(report, "w") as stdout:
        proc = subprocess.run(["wine", str(bench / "limit32.exe"), "bench",
                               win_path(work / "payload.pack"), win_path(out), "1"],
                              stdin=subprocess.DEVNULL, stdout=stdout,
                              stderr=subprocess.DEVNULL, timeout=300)
    subprocess.run(["rm", "-rf", str(out)], check=True)
    found = re.search(r"^RESULT inflate_write_disk \S+ (\S+)", report.read_text(), re.M)
    return {"span": float(found.group(1)) if found else 0.0,
            "ok": proc.returncode == 0 and found is not None}


contenders = [
    ("limit", "limit: i686 inflate 64 KiB + write, in-process", limit),
    ("quiet", "Orvane, no viewer: first -> last file", lambda: launcher(False)),
    ("viewer", "Orvane, debug viewer attached: first -> last file", lambda: launcher(True)),
]
if baseline:
    contenders += [
        ("base-quiet", "baseline Orvane, no viewer: first -> last file",
         lambda: launcher(False, baseline)),
        ("base-viewer", "baseline Orvane, viewer attached: first -> last",
         lambda: launcher(True, baseline)),
    ]
contenders += [
    ("nonsolid", "NSIS zlib non-solid: first -> last file", lambda: nsis("nonsolid")),
    ("solid", "NSIS zlib solid: first -> last file", lambda: nsis("solid")),
]
# ONLY="quiet base-quiet": time just those contenders (ratios need "limit"
# and "nonsolid" among them).
only = os.environ.get("BENCH_ONLY", "").split()
if only:
    contenders = [c for c in contenders if c[0] in only]
results = {key: [] for key, _, _ in contenders}
# One Wine server for every run, so that its CPU time adds up across a run,
# and Wine's own service processes started without pipes to hold open.
quietly = {"stdin": subprocess.DEVNULL, "stdout": subprocess.DEVNULL,
           "stderr": subprocess.DEVNULL}
subprocess.run([os.environ.get("WINESERVER", "wineserver"), "-p"], check=False, **quietly)
subprocess.run(["wine", "cmd", "/c", "exit"], check=False, timeout=120, **quietly)
for round_no in range(runs + 1):
    for key, _, run in contenders:
        r = run()
        print(f"round {round_no}{' (warm-up)' if round_no == 0 else ''} {key}: "
              + " ".join(f"{k}={v:.3f}" if isinstance(v, float) else f"{k}={v}" for k, v in r.items()),
              file=sys.stderr, flush=True)
        if round_no > 0:
            results[key].append(r)


def stats(key, field="span"):
    values = [r[field] for r in results[key]]
    return statistics.median(values), min(values), max(values)


limit_s = stats("limit")[0] if results.get("limit") else float("nan")
nsis_s = stats("nonsolid")[0] if results.get("nonsolid") else float("nan")
print(f"{'what (wall times)':<52} {'wall s':>6} {'(min-max)':>13} {'MB/s':>6} {'/limit':>7} {'/NSIS':>6}")
for key, name, _ in contenders:
    med, lo, hi = stats(key)
    print(f"{name:<52} {med:6.3f} {f'({lo:.2f}-{hi:.2f})':>13} {payload_bytes / 1e6 / med:6.1f} "
          f"{med / limit_s:6.2f}x {med / nsis_s:5.2f}x")
for key, name in (("quiet", "Orvane, no viewer: whole run, start -> setup started"),
                  ("base-quiet", "baseline, no viewer: whole run"),
                  ("viewer", "Orvane, viewer: whole run, start -> setup started"),
                  ("nonsolid", "NSIS non-solid: whole run, start -> exit"),
                  ("solid", "NSIS solid: whole run, start -> exit")):
    if results.get(key):
        med, lo, hi = stats(key, "whole")
        print(f"{name:<52} {med:6.3f} {f'({lo:.2f}-{hi:.2f})':>13}")
# CPU seconds of the whole run (the program, the processes it waited for,
# the debug viewer where one ran, and the Wine server's share): less at the mercy of other load than wall
# times on a busy machine.
print("CPU seconds, whole run (program + Wine server), median (min-max):")
for key, name, _ in contenders:
    if results.get(key) and "cpu" in results[key][0]:
        med, lo, hi = stats(key, "cpu")
        print(f"  {name.split(':')[0]:<50} {med:6.3f} {f'({lo:.2f}-{hi:.2f})':>13}")
if results.get("viewer"):
    crc = stats("viewer", "crc")
    peak = max(r["peak"] for r in results["viewer"])
    lines = results["viewer"][0]["lines"]
    print(f"Orvane GetCrc (its log line) {crc[0]:.3f} s; new-file log lines {lines}; "
          f"peak working set {peak / 1e6:.1f} MB")
ok = all(r["ok"] for rs in results.values() for r in rs)
print("all runs complete" if ok else "SOME RUN FAILED OR MISSED FILES")
sys.exit(0 if ok else 1)
