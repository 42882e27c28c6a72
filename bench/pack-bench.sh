#!/usr/bin/env bash
# Packs the deterministic ~200 MB peer payload with the native orvane-pack,
# once on one thread and once on every core, prints input MB/s for each
# (MB = 10^6 bytes) and checks that both packages are byte-identical.
#   bench/pack-bench.sh [WORK_DIR] [ORVANE_PACK]
# WORK_DIR defaults to build/peers (the payload is made there once and
# reused); ORVANE_PACK defaults to build/bin/orvane-pack.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
work=${1:-$source_dir/build/peers}
pack=${2:-$source_dir/build/bin/orvane-pack}
payload_script=${PAYLOAD_SCRIPT:-$(cd "$(dirname "$0")/../.." && pwd)/shared/peers/payload.py}

[ -x "$pack" ] || { echo "no orvane-pack at $pack (build the native tree first)" >&2; exit 2; }
mkdir -p "$work"
if [ ! -f "$work/payload.sha256" ] || [ ! -d "$work/payload" ]; then
  echo "generating the payload in $work/payload ..."
  python3 "$payload_script" "$work/payload"
fi

# A launcher image is only copied in front of the entries, so any image
# with the two signatures times the packer the same as Stub.exe.
stub="$work/bench-stub.exe"
python3 - "$stub" <<'EOF'
import sys
image = bytearray(64 * 1024)
image[0:2] = b"MZ"
image[256:258] = b"PE"
open(sys.argv[1], "wb").write(image)
EOF

input_bytes=$(find "$work/payload" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
cores=$(nproc)

run() {  # threads output -> prints seconds
  local threads=$1 output=$2 start end
  rm -f "$output"
  sync
  start=$(date +%s.%N)
  "$pack" build --stub "$stub" --folder "$work/payload" --threads "$threads" --output "$output" >/dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

one=$(run 1 "$work/bench-1.exe")
all=$(run "$cores" "$work/bench-all.exe")
package_bytes=$(stat -c %s "$work/bench-1.exe")

printf 'input:  %d bytes in %d files\n' "$input_bytes" "$(find "$work/payload" -type f | wc -l)"
printf 'output: %d bytes (%.1f%% of the input)\n' "$package_bytes" "$(echo "100 * $package_bytes / $input_bytes" | bc -l)"
printf '1 thread:  %6.2f s  %7.1f MB/s\n' "$one" "$(echo "$input_bytes / 1000000 / $one" | bc -l)"
printf '%d threads: %6.2f s  %7.1f MB/s\n' "$cores" "$all" "$(echo "$input_bytes / 1000000 / $all" | bc -l)"
if cmp -s "$work/bench-1.exe" "$work/bench-all.exe"; then
  echo "packages identical: yes"
else
  echo "packages identical: NO" >&2
  exit 1
fi
"$pack" verify "$work/bench-all.exe"
rm -f "$work/bench-1.exe" "$work/bench-all.exe"
