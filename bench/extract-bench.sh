#!/usr/bin/env bash
# Extraction speed of the launcher under Wine, side by side with its peers,
# on the deterministic ~200 MB peer payload, all in one Wine environment and
# interleaved round by round (A B C D E, A B C D E, ...: one warm-up round,
# then RUNS timed rounds), so that a machine busy with other work slows
# every contender alike. Contenders:
#   - the format's limit: the peers' limit.c built as i686 Windows code,
#     streaming inflate through a 64 KiB buffer plus writing the files
#     (its own in-process timing of that loop);
#   - the launcher (Stub.exe packed by orvane-pack, main program
#     fake_setup.exe, run with "/hide") without a debug viewer;
#   - the same with the debug viewer attached (a log line per new file);
#   - NSIS installers of the same payload, zlib non-solid and solid,
#     silent, extracting into their own temporary folder.
# The launcher and NSIS are timed from the first to the last file written
# (change times of the extracted files), which leaves out the Wine start,
# the checksum pass and the launcher's fixed waits; whole runs are shown
# too. Before each timed run the contender's input file is read once more,
# since idle cached pages do not stay in memory on these machines.
#
#   bench/extract-bench.sh [WORK_DIR] [BUILD_DIR]
# WORK_DIR defaults to build/peers (payload made there once and reused, like
# bench/pack-bench.sh). BUILD_DIR defaults to the 32-bit tree build/win when
# this host's Wine runs 32-bit code (products in build/bin, helpers in
# build/win/bin), else build/win64. It needs Stub, orvane-debug and
# fake_setup built, and the native orvane-pack. RUNS=n sets the timed rounds
# (default 5); ONLY="quiet viewer ..." times only those contenders (keys:
# limit quiet viewer base-quiet base-viewer nonsolid solid). ORVANE_PACK, PRODUCT_DIR, HELPER_DIR, PEERS_DIR override the
# packager, the folder of Stub.exe / orvane-debug.exe, that of fake_setup.exe
# and the peers' folder (to time a saved earlier build beside a new one).
#
# Figures are wall times; the load average of the machine is printed
# before and after (the runs share the machine with whatever else runs).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
work=$(mkdir -p "${1:-$source_dir/build/peers}" && cd "${1:-$source_dir/build/peers}" && pwd)
pack=${ORVANE_PACK:-$source_dir/build/bin/orvane-pack}
peers=${PEERS_DIR:-$(cd "$source_dir/.." && pwd)/shared/peers}
runs=${RUNS:-5}

if [ -n "${2:-}" ]; then
  build=$(cd "$2" && pwd)
else
  build=$source_dir/build/win
  probe=$build/bin/bitness_probe.exe
  if [ -e "$probe" ]; then
    code=0
    "$source_dir/tests/tools/winerun.sh" --template "$build/wine-template" --timeout 180 -- \
      wine "$probe" >/dev/null 2>&1 || code=$?
    [ "$code" = 32 ] || build=$source_dir/build/win64
  fi
fi
bits=32
case "$build" in *win64*) bits=64 ;; esac
if [ "$bits" = 32 ]; then
  products=${PRODUCT_DIR:-$source_dir/build/bin}
else
  products=${PRODUCT_DIR:-$build/bin}
  echo "NOTE: the 64-bit build runs here; NSIS and limit.c stay 32-bit code" >&2
fi
helpers=${HELPER_DIR:-$build/bin}
stub=$products/Stub.exe

for need in "$pack" "$stub" "$products/orvane-debug.exe" "$helpers/fake_setup.exe"; do
  [ -e "$need" ] || { echo "missing $need" >&2; exit 2; }
done
if [ ! -f "$work/payload.sha256" ] || [ ! -d "$work/payload" ]; then
  echo "generating the payload in $work/payload ..."
  python3 "$peers/payload.py" "$work/payload"
fi
cd "$work"
mkdir -p ext-bench
log() { echo "== $*" >&2; }

# ---- inputs (cached until an input changes) -----------------------------------
fresh() {  # fresh OUTPUT INPUT... : OUTPUT exists and is newer than every input
  local out=$1 f
  shift
  [ -e "$out" ] || return 1
  for f in "$@"; do [ "$f" -nt "$out" ] && return 1; done
  return 0
}

package=ext-bench/orvane-setup-$bits.exe
quiet=()
"$pack" --help 2>&1 | grep -q -- --quiet && quiet=(--quiet)
if ! fresh "$package" "$stub" "$helpers/fake_setup.exe" payload.sha256 "$pack"; then
  log "packing the payload behind $stub"
  mkdir -p ext-bench/main
  cp "$helpers/fake_setup.exe" ext-bench/main/Setup.exe
  "$pack" build "${quiet[@]}" --stub "$stub" --folder payload --main "Setup.exe*" \
    --output "$package" ext-bench/main/Setup.exe >/dev/null
fi
# BASELINE_DIR: an earlier build to time beside this one in the same rounds
# (its Stub.exe, orvane-debug.exe and fake_setup.exe in one folder).
base_env=()
if [ -n "${BASELINE_DIR:-}" ]; then
  base_package=ext-bench/baseline-setup.exe
  if ! fresh "$base_package" "$BASELINE_DIR/Stub.exe" payload.sha256; then
    log "packing the payload behind the baseline $BASELINE_DIR/Stub.exe"
    mkdir -p ext-bench/base-main
    cp "$BASELINE_DIR/fake_setup.exe" ext-bench/base-main/Setup.exe
    "$pack" build "${quiet[@]}" --stub "$BASELINE_DIR/Stub.exe" --folder payload \
      --main "Setup.exe*" --output "$base_package" ext-bench/base-main/Setup.exe >/dev/null
  fi
  base_env=(BENCH_BASE_PACKAGE="$work/$base_package" BENCH_BASE_PRODUCTS="$BASELINE_DIR")
fi
if ! fresh ext-bench/limit "$peers/limit.c"; then
  gcc -O2 -Wall "$peers/limit.c" -lz -o ext-bench/limit
fi
if ! fresh ext-bench/limit32.exe "$peers/limit.c"; then
  i686-w64-mingw32-gcc -O2 -Wall "$peers/limit.c" -static -lz -o ext-bench/limit32.exe
fi
# The same file name and format as the peers' own run uses, so it is shared.
if ! fresh payload.pack payload.sha256; then
  log "limit pack (compress2 level 9 per file)"
  ext-bench/limit pack payload.sha256 payload payload.pack >/dev/null
fi
for variant in nonsolid solid; do
  out=ext-bench/nsis-$variant.exe
  if ! fresh "$out" payload.sha256 "$peers/bench.nsi"; then
    log "makensis $variant"
    flag=()
    [ "$variant" = solid ] && flag=(-DSOLID)
    makensis -V1 -DPAYLOAD="$work/payload" -DOUTFILE="$work/$out" "${flag[@]}" "$peers/bench.nsi" >&2
  fi
done

# ---- timed rounds, all in one Wine environment -------------------------------
cat >ext-bench/driver.py <<'EOF'
"""Runs inside winerun.sh: every contender once per round, then the table."""
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
EOF

nsis_version=$(makensis -VERSION 2>/dev/null || echo '?')
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
log "interleaved rounds under Wine: 1 warm-up + $runs timed"
set +e
table=$("$source_dir/tests/tools/winerun.sh" --template "$build/wine-template" --timeout 3600 -- \
  env ORVANE_BIN_DIR="$products" ORVANE_TEST_BIN_DIR="$helpers" ORVANE_SOURCE_DIR="$source_dir" \
  ORVANE_ARCH_BITS="$bits" "${base_env[@]}" BENCH_ONLY="${ONLY:-}" BENCH_WORK="$work" BENCH_RUNS="$runs" BENCH_PACKAGE="$work/$package" \
  python3 ext-bench/driver.py)
status=$?
set -e
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

payload_bytes=$(find payload -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
echo
echo "build: $build ($bits-bit), Stub.exe $(stat -c %s "$stub") bytes ($stub)"
echo "peers: limit.c as i686 Windows code (mingw-w64 gcc -O2, zlib $(
  sed -n 's/^#define ZLIB_VERSION "\(.*\)"/\1/p' /usr/i686-w64-mingw32/include/zlib.h)), NSIS $nsis_version (makensis, zlib, 32-bit), Wine $(/usr/lib/wine/wine64 --version)"
echo "payload: $payload_bytes bytes, $(find payload -type f | wc -l) files (+ Setup.exe in the launcher's package);" \
  "package $(stat -c %s "$package") bytes; 1 warm-up + $runs timed rounds, interleaved; medians (min-max)"
[ -z "${BASELINE_DIR:-}" ] || echo "baseline: $BASELINE_DIR/Stub.exe $(stat -c %s "$BASELINE_DIR/Stub.exe") bytes, timed in the same rounds"
echo "load average before: $load_before, after: $load_after ($(nproc) cores)"
echo "$table"
exit $status
