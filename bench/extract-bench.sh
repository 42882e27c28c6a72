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

# ---- timed rounds, all in one Wine environment (bench/extract_bench.py) -----

nsis_version=$(makensis -VERSION 2>/dev/null || echo '?')
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
log "interleaved rounds under Wine: 1 warm-up + $runs timed"
set +e
table=$("$source_dir/tests/tools/winerun.sh" --template "$build/wine-template" --timeout 3600 -- \
  env ORVANE_BIN_DIR="$products" ORVANE_TEST_BIN_DIR="$helpers" ORVANE_SOURCE_DIR="$source_dir" \
  ORVANE_ARCH_BITS="$bits" "${base_env[@]}" BENCH_ONLY="${ONLY:-}" BENCH_WORK="$work" BENCH_RUNS="$runs" BENCH_PACKAGE="$work/$package" \
  python3 "$here/extract_bench.py")
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
