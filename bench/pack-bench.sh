#!/usr/bin/env bash
# Times the native orvane-pack on two inputs: the deterministic ~200 MB
# peer payload and about 45 MB of real Windows program files (Wine's own
# 32-bit DLLs, the .dll files in name order up to 45,000,000 bytes, copied
# into the work folder). Three configurations: the earlier packer's
# compression (--compressor zlib --level 9), the default, and --level 6;
# each on one thread and on every core. Rounds alternate the
# configurations, so that a change in the machine's load falls on all of
# them alike; each figure is the median of RUNS rounds with the minimum and
# maximum. MB/s is 10^6 bytes of input per second of the whole orvane-pack
# run. Every round checks that one thread and every core give the same
# bytes.
#   bench/pack-bench.sh [WORK_DIR] [ORVANE_PACK]
# WORK_DIR defaults to build/peers (the payload is made there once and
# reused); ORVANE_PACK defaults to build/bin/orvane-pack. RUNS (default 3)
# and WINE_DLLS (default /usr/lib/i386-linux-gnu/wine/i386-windows) are
# read from the environment.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
work=${1:-$source_dir/build/peers}
pack=${2:-$source_dir/build/bin/orvane-pack}
payload_script=${PAYLOAD_SCRIPT:-$(cd "$(dirname "$0")/../.." && pwd)/shared/peers/payload.py}
runs=${RUNS:-3}
wine_dlls=${WINE_DLLS:-/usr/lib/i386-linux-gnu/wine/i386-windows}
subset_limit=45000000

[ -x "$pack" ] || { echo "no orvane-pack at $pack (build the native tree first)" >&2; exit 2; }
mkdir -p "$work"
if [ ! -f "$work/payload.sha256" ] || [ ! -d "$work/payload" ]; then
  echo "generating the payload in $work/payload ..."
  python3 "$payload_script" "$work/payload"
fi

# The Wine subset, copied afresh so that it is the same set on every run.
dlls="$work/wine-dlls"
rm -rf "$dlls"
mkdir -p "$dlls"
if [ -d "$wine_dlls" ]; then
  find "$wine_dlls" -maxdepth 1 -type f -name '*.dll' -printf '%f %s\n' | LC_ALL=C sort |
    awk -v limit="$subset_limit" '{ if (total + $2 > limit) exit; total += $2; print $1 }' |
    while read -r name; do cp "$wine_dlls/$name" "$dlls/"; done
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

cores=$(nproc)
configs=("--compressor zlib --level 9" "" "--level 6")
names=("zlib 9 (earlier packer)" "default" "--level 6")
inputs=("$work/payload")
labels=("peers' payload")
if [ -n "$(ls -A "$dlls")" ]; then
  inputs+=("$dlls")
  labels+=("Wine 32-bit DLLs")
else
  echo "no Wine DLLs at $wine_dlls: timing the payload alone" >&2
fi

folder_bytes() { find "$1" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }'; }
for i in "${!inputs[@]}"; do
  printf '%s: %d files, %d bytes (%s)\n' "${labels[$i]}" "$(find "${inputs[$i]}" -type f | wc -l)" \
    "$(folder_bytes "${inputs[$i]}")" "${inputs[$i]}"
done
printf 'load average before: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"

timings="$work/bench-timings.txt"
: >"$timings"
identical=yes
run() {  # input config threads output -> prints seconds
  local input=$1 config=$2 threads=$3 output=$4 start end
  rm -f "$output"
  sync
  start=$(date +%s.%N)
  # shellcheck disable=SC2086 # the configuration is several words
  "$pack" build --quiet --stub "$stub" --folder "$input" $config --threads "$threads" \
    --output "$output" >/dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

for round in $(seq 1 "$runs"); do
  for i in "${!inputs[@]}"; do
    for c in "${!configs[@]}"; do
      one=$(run "${inputs[$i]}" "${configs[$c]}" 1 "$work/bench-1.exe")
      all=$(run "${inputs[$i]}" "${configs[$c]}" "$cores" "$work/bench-all.exe")
      size=$(stat -c %s "$work/bench-1.exe")
      echo "$i $c 1 $one $size" >>"$timings"
      echo "$i $c $cores $all $size" >>"$timings"
      if ! cmp -s "$work/bench-1.exe" "$work/bench-all.exe"; then
        echo "round $round, ${labels[$i]}, ${names[$c]}: 1 and $cores threads differ" >&2
        identical=NO
      fi
      if [ "$round" = 1 ] && [ -z "${configs[$c]}" ]; then
        "$pack" verify --quiet "$work/bench-all.exe" >/dev/null
      fi
    done
  done
done
printf 'load average after:  %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"

input_sizes=()
for i in "${!inputs[@]}"; do input_sizes+=("$(folder_bytes "${inputs[$i]}")"); done
python3 - "$timings" "$runs" "${#inputs[@]}" "${labels[@]}" "${input_sizes[@]}" "${names[@]}" <<'EOF'
import statistics, sys
path, runs, count = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
labels = sys.argv[4:4 + count]
sizes = [int(s) for s in sys.argv[4 + count:4 + 2 * count]]
names = sys.argv[4 + 2 * count:]
rows = {}
for line in open(path):
    i, c, threads, seconds, size = line.split()
    rows.setdefault((int(i), int(c), int(threads)), []).append((float(seconds), int(size)))
print(f"\n{runs} round(s); MB/s: median (min-max)")
for i, label in enumerate(labels):
    print(f"\n{label}, {sizes[i]} bytes in:")
    print(f"  {'configuration':<26}{'package bytes':>14}{'% of input':>11}  threads  MB/s")
    for c, name in enumerate(names):
        for (ri, rc, threads), samples in sorted(rows.items()):
            if (ri, rc) != (i, c):
                continue
            rates = [sizes[i] / 1e6 / s for s, _ in samples]
            size = samples[0][1]
            print(f"  {name:<26}{size:>14}{100 * size / sizes[i]:>10.2f}%  {threads:>7}  "
                  f"{statistics.median(rates):6.2f} ({min(rates):.2f}-{max(rates):.2f})")
EOF
echo "packages identical for 1 and $cores threads: $identical"
rm -f "$work/bench-1.exe" "$work/bench-all.exe"
[ "$identical" = yes ]
