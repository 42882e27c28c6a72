#!/usr/bin/env bash
# Extraction speed of the launcher under Wine, side by side with its peers,
# on the deterministic ~200 MB peer payload:
#   - the launcher (test build's Stub.exe packed by orvane-pack, main program
#     fake_setup.exe, run with "/hide"): extraction from its "GetCrc - START"
#     log line to the last file written, and the whole run from start to the
#     setup program's start; peak working set from its log; the same runs
#     without the debug viewer (which costs a cross-process message per new
#     file), timed from the first to the last file written;
#   - NSIS installers of the same payload (zlib, non-solid and solid), if
#     this machine can run them (they are 32-bit code);
#   - the format's limit: the peers' limit.c as x86_64 Windows code under
#     Wine, streaming inflate through a 64 KiB buffer plus writing the files;
#   - GetCrc MB/s on the package (bench/getcrc_bench.sh), sizes of Stub.exe.
# Goals: extraction within 1.1x of the limit; GetCrc >= 2000 MB/s warm.
#
#   bench/extract-bench.sh [WORK_DIR] [WIN64_BUILD_DIR]
# WORK_DIR defaults to build/peers (payload made there once and reused, like
# bench/pack-bench.sh); WIN64_BUILD_DIR to build/win64 (needs fake_setup.exe
# and orvane-debug.exe, i.e. -DORVANE_WINE_TESTS=ON). RUNS=n sets the timed
# runs (default 3, after one warm-up run); ORVANE_PACK, STUB32 override the
# packager and the 32-bit product image whose size is shown.
#
# Timing: the debug viewer stamps each log piece with GetTickCount, which
# under Wine follows CLOCK_MONOTONIC_RAW in steps of about 16 ms; file
# times (ctime of the extracted files and of the fake setup's log) are
# mapped onto the same clock. Every figure is therefore good to ~16 ms.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
work=$(mkdir -p "${1:-$source_dir/build/peers}" && cd "${1:-$source_dir/build/peers}" && pwd)
build=$(cd "${2:-$source_dir/build/win64}" && pwd)
pack=${ORVANE_PACK:-$source_dir/build/bin/orvane-pack}
stub32=${STUB32:-$source_dir/build/bin/Stub.exe}
peers=${PEERS_DIR:-$(cd "$(dirname "$0")/../.." && pwd)/shared/peers}
runs=${RUNS:-3}
bin=$build/bin

for need in "$pack" "$bin/Stub.exe" "$bin/fake_setup.exe" "$bin/orvane-debug.exe"; do
  [ -e "$need" ] || { echo "missing $need" >&2; exit 2; }
done
if [ ! -f "$work/payload.sha256" ] || [ ! -d "$work/payload" ]; then
  echo "generating the payload in $work/payload ..."
  python3 "$peers/payload.py" "$work/payload"
fi
cd "$work"
mkdir -p ext-bench
log() { echo "== $*" >&2; }

# ---- builds (cached until an input changes) --------------------------------
fresh() {  # fresh OUTPUT INPUT... : OUTPUT exists and is newer than every input
  local out=$1 f
  shift
  [ -e "$out" ] || return 1
  for f in "$@"; do [ "$f" -nt "$out" ] && return 1; done
  return 0
}

package=ext-bench/orvane-setup.exe
if ! fresh "$package" "$bin/Stub.exe" "$bin/fake_setup.exe" payload.sha256 "$pack"; then
  log "packing the payload behind $bin/Stub.exe"
  mkdir -p ext-bench/main
  cp "$bin/fake_setup.exe" ext-bench/main/Setup.exe
  "$pack" build --stub "$bin/Stub.exe" --folder payload --main "Setup.exe*" \
    --output "$package" ext-bench/main/Setup.exe >/dev/null
fi

if ! fresh ext-bench/limit "$peers/limit.c"; then
  gcc -O2 -Wall "$peers/limit.c" -lz -o ext-bench/limit
fi
if ! fresh ext-bench/limit64.exe "$peers/limit.c"; then
  x86_64-w64-mingw32-gcc -O2 -Wall "$peers/limit.c" -static -lz -o ext-bench/limit64.exe
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

# ---- timed runs, all in one Wine environment -------------------------------
cat >ext-bench/driver.py <<'EOF'
"""Runs inside winerun.sh: the launcher runs, the NSIS attempts, the limit."""
import os
import re
import statistics
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, os.environ["ORVANE_SOURCE_DIR"] + "/tests/e2e")
from harness import DebugViewer, fake_setup_env, finish, start_env, stamped_lines, wait_for, win_path

work = Path(os.environ["BENCH_WORK"])
runs = int(os.environ["BENCH_RUNS"])
package = work / "ext-bench" / "orvane-setup.exe"
payload_files = sum(1 for p in (work / "payload").rglob("*") if p.is_file()) + 1  # + Setup.exe


def raw_ms():
    return time.clock_gettime(time.CLOCK_MONOTONIC_RAW) * 1000.0


def linux_path(windows_path):
    drive, rest = windows_path[0].lower(), windows_path[2:].replace("\\", "/")
    if drive == "z":
        return Path(rest)
    return Path(os.environ["WINEPREFIX"]) / f"drive_{drive}" / rest.lstrip("/")


def launcher_run(index, with_viewer=True):
    scratch = work / "ext-bench" / f"run{index}"
    subprocess.run(["rm", "-rf", str(scratch)], check=True)
    scratch.mkdir(parents=True)
    subprocess.run(["sync"], check=True)
    viewer = DebugViewer(scratch, stamp=True) if with_viewer else None
    fake_log = scratch / "fake.log"
    try:
        started = raw_ms()
        proc = start_env(package, "/hide", env=fake_setup_env(fake_log))
        wait_for(lambda: fake_log.exists() and "exe=" in fake_log.read_text(errors="replace"),
                 300, "the setup program's start")
        # The launcher removes its folder once the setup program is done:
        # read the files' change times now (mapped from the wall clock).
        offset = time.clock_gettime(time.CLOCK_REALTIME) * 1000.0 - raw_ms()
        exe = re.search(r"^exe=(.*)$", fake_log.read_text(errors="replace"), re.M).group(1).strip()
        folder = linux_path(exe).parent
        stats = [p.stat() for p in folder.rglob("*") if p.is_file()]
        last_written = max(s.st_ctime_ns for s in stats) / 1e6 - offset
        first_written = min(s.st_ctime_ns for s in stats) / 1e6 - offset
        setup_start = fake_log.stat().st_ctime_ns / 1e6 - offset
        total = sum(s.st_size for s in stats)
        code = finish(proc, 300)
    finally:
        if viewer is not None:
            viewer.close()
    files_ok = code == 0 and len(stats) == payload_files
    if viewer is None:
        return {"files_span": (last_written - first_written) / 1000,
                "whole": (setup_start - started) / 1000, "ok": files_ok}
    pieces = stamped_lines(viewer)
    text = "".join(t for _, t in pieces)

    def stamp_of(marker):
        return next(ms for ms, t in pieces if marker in t)

    crc_start = stamp_of("GetCrc - START")
    crc_ms = int(re.search(r"GetCrc - END\s+MS=(\d+)", text).group(1))
    peak = int(re.search(r" PeakWorkingSetSize=(\d+)", text).group(1))
    ok = files_ok and " RunPackage result=TRUE" in text
    return {"extract": (last_written - crc_start) / 1000, "whole": (setup_start - started) / 1000,
            "crc": crc_ms / 1000, "peak": peak, "files": len(stats), "bytes": total, "ok": ok}


def nsis_attempt(variant):
    exe = work / "ext-bench" / f"nsis-{variant}.exe"
    try:
        proc = subprocess.run(["wine", str(exe)], capture_output=True, timeout=120)
        code = proc.returncode
    except subprocess.TimeoutExpired:
        code = None
    temp = Path(os.environ["WINEPREFIX"]) / "drive_c" / "users"
    extracted = sum(1 for p in temp.glob("*/**/nsisbench/**/*") if p.is_file())
    return code, extracted


print("RESULT stub_runs", runs, flush=True)
warm = launcher_run(0)
print("WARMUP", warm, flush=True)
results = [launcher_run(i + 1) for i in range(runs)]
for key in ("extract", "whole", "crc"):
    values = [r[key] for r in results]
    print(f"RESULT stub_{key} {statistics.median(values):.3f} {min(values):.3f} {max(values):.3f}")
print(f"RESULT stub_peak {max(r['peak'] for r in results)}")
print(f"RESULT stub_files {results[0]['files']} {results[0]['bytes']}")
# Each new file also sends a line to the debug viewer, a cross-process
# message of its own: the same runs without a viewer show what that costs.
quiet = [launcher_run(runs + i + 1, with_viewer=False) for i in range(runs)]
for key in ("files_span", "whole"):
    values = [r[key] for r in quiet]
    print(f"RESULT quiet_{key} {statistics.median(values):.3f} {min(values):.3f} {max(values):.3f}")
print(f"RESULT stub_ok {int(all(r['ok'] for r in results + quiet))}")
for variant in ("nonsolid", "solid"):
    code, extracted = nsis_attempt(variant)
    print(f"RESULT nsis_{variant} {code} {extracted}", flush=True)
EOF

log "launcher runs and NSIS attempts under Wine"
driver_out=$("$source_dir/tests/tools/winerun.sh" --template "$build/wine-template" --timeout 1800 -- \
  env ORVANE_BIN_DIR="$bin" ORVANE_SOURCE_DIR="$source_dir" BENCH_WORK="$work" BENCH_RUNS="$runs" \
  python3 ext-bench/driver.py)
echo "$driver_out" | grep -v '^RESULT' >&2 || true

log "limit: limit.c as x86_64 Windows code under Wine (inflate 64 KiB + write)"
rm -rf ext-bench/limit-out
limit_out=$("$source_dir/tests/tools/winerun.sh" --template "$build/wine-template" --timeout 900 -- \
  wine ext-bench/limit64.exe bench payload.pack ext-bench/limit-out "$runs" | tr -d '\r')
echo "$limit_out" >&2
rm -rf ext-bench/limit-out

log "GetCrc on the package"
getcrc_out=$("$here/getcrc_bench.sh" "$build" "$work/$package" | tr -d '\r')
echo "$getcrc_out" >&2

# ---- table -------------------------------------------------------------------
field() { awk -v k="$1" -v n="$2" '$1 == "RESULT" && $2 == k { print $n }' <<<"$3"; }
payload_bytes=$(find payload -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
mbps() { echo "$payload_bytes / 1000000 / $1" | bc -l; }
ratio() { echo "$1 / $2" | bc -l; }

extract=$(field stub_extract 3 "$driver_out")
limit=$(field inflate_write_disk 4 "$limit_out")
crc_runs=$(sed -n 's/.*= \([0-9]*\) MB\/s$/\1/p' <<<"$getcrc_out" | sort -n)
crc_median=$(sed -n "$(( ($(wc -l <<<"$crc_runs") + 1) / 2 ))p" <<<"$crc_runs")
crc_best=$(tail -n1 <<<"$crc_runs")

printf '\npayload: %d bytes, %d files (+ Setup.exe); package %d bytes; %d timed runs (medians, min-max)\n' \
  "$payload_bytes" "$(find payload -type f | wc -l)" "$(stat -c %s "$package")" "$runs"
printf '%-58s %16s %8s %10s\n' "what" "wall s" "MB/s" "vs limit"
row() {  # name median min max
  printf '%-58s %6.3f %s %8.1f %9.2fx\n' "$1" "$2" "$(printf '(%.2f-%.2f)' "$3" "$4")" \
    "$(mbps "$2")" "$(ratio "$2" "$limit")"
}
row "launcher: GetCrc START -> last file written" \
  "$extract" "$(field stub_extract 4 "$driver_out")" "$(field stub_extract 5 "$driver_out")"
row "launcher: whole run, start -> setup program started" \
  "$(field stub_whole 3 "$driver_out")" "$(field stub_whole 4 "$driver_out")" \
  "$(field stub_whole 5 "$driver_out")"
for variant in nonsolid solid; do
  code=$(field "nsis_$variant" 3 "$driver_out")
  files=$(field "nsis_$variant" 4 "$driver_out")
  if [ "$code" != 0 ] || [ "$files" -lt 2037 ]; then
    printf '%-58s %s\n' "NSIS $variant zlib ($(stat -c %s "ext-bench/nsis-$variant.exe") bytes)" \
      "not runnable here (32-bit) [exit ${code}, ${files} files]"
  else
    printf '%-58s %s\n' "NSIS $variant zlib" "ran: time it with the peers' run-peers.sh"
  fi
done
row "launcher without debug viewer: first -> last file written" \
  "$(field quiet_files_span 3 "$driver_out")" "$(field quiet_files_span 4 "$driver_out")" \
  "$(field quiet_files_span 5 "$driver_out")"
row "launcher without debug viewer: whole run" \
  "$(field quiet_whole 3 "$driver_out")" "$(field quiet_whole 4 "$driver_out")" \
  "$(field quiet_whole 5 "$driver_out")"
row "limit: x86_64 inflate 64 KiB + write, under Wine" \
  "$limit" "$(field inflate_write_disk 5 "$limit_out")" "$(field inflate_write_disk 6 "$limit_out")"
row "limit: x86_64 write only (no inflate), under Wine" \
  "$(field write_only_disk 4 "$limit_out")" "$(field write_only_disk 5 "$limit_out")" \
  "$(field write_only_disk 6 "$limit_out")"
row "limit: x86_64 inflate in memory (64 KiB stream)" \
  "$(field inflate_mem_stream64k 4 "$limit_out")" "$(field inflate_mem_stream64k 5 "$limit_out")" \
  "$(field inflate_mem_stream64k 6 "$limit_out")"
printf '%-58s %6.3f s (from its log line)\n' "launcher: GetCrc inside the run" \
  "$(field stub_crc 3 "$driver_out")"
printf '%-58s %6s MB/s median, %s best   (goal >= 2000)\n' "GetCrc on the package, warm (getcrc_bench)" \
  "$crc_median" "$crc_best"
printf '%-58s %6.1f MB\n' "launcher peak working set" "$(echo "$(field stub_peak 3 "$driver_out") / 1000000" | bc -l)"
printf '%-58s %8d bytes\n' "Stub.exe, 32-bit product ($stub32)" "$(stat -c %s "$stub32")"
printf '%-58s %8d bytes\n' "Stub.exe, x86_64 test build" "$(stat -c %s "$bin/Stub.exe")"
printf 'extraction / limit: %.2fx with the debug viewer, %.2fx without (goal <= 1.10)\n' \
  "$(ratio "$extract" "$limit")" "$(ratio "$(field quiet_files_span 3 "$driver_out")" "$limit")"
[ "$(field stub_ok 3 "$driver_out")" = 1 ] || { echo "a launcher run failed or missed files" >&2; exit 1; }
