#!/usr/bin/env bash
# A longer fuzzing campaign than the test command's: builds the fuzz targets
# (preset `fuzz`) and runs each for SECONDS (default 180) from its seed
# corpus plus what earlier campaigns found (build/fuzz/campaign/TARGET),
# at low priority. Prints per target the executions, the edges covered
# (libFuzzer's "cov:") and the findings, whose inputs are kept in
# build/fuzz/campaign/findings/. Exit 1 when anything was found.
#   scripts/fuzz-campaign.sh [SECONDS] [TARGET...]
set -uo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
seconds=${1:-180}
shift || true
configure_and_build fuzz OFF >/dev/null || { echo "fuzz build failed"; exit 1; }

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in tests/fuzz/fuzz_*.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi
out=build/fuzz/campaign
findings=$out/findings
mkdir -p "$findings"
status=0
printf '%-14s %12s %8s %9s\n' target executions edges findings
for target in "${targets[@]}"; do
  corpus=$out/$target
  mkdir -p "$corpus"
  # Findings of an earlier campaign were reported then.
  rm -f "$findings/$target"-*
  log=$out/$target.log
  dict=()
  [ -f "tests/fuzz/$target.dict" ] && dict=(-dict="tests/fuzz/$target.dict")
  # Keeps going after a finding, so that one fault does not hide the rest.
  nice -n 10 "build/fuzz/tests/fuzz/$target" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -fork=1 -ignore_crashes=1 -ignore_timeouts=1 \
    -ignore_ooms=1 -artifact_prefix="$findings/$target-" "${dict[@]}" \
    "$corpus" "tests/fuzz/corpus/$target" >"$log" 2>&1
  # With -fork the per-run counts are summed in the "#N ... cov:" lines.
  execs=$(grep -oE '^#[0-9]+' "$log" | tail -n1 | tr -d '#')
  edges=$(grep -oE 'cov: [0-9]+' "$log" | tail -n1 | awk '{print $2}')
  found=$(find "$findings" -name "$target-*" -type f | wc -l)
  printf '%-14s %12s %8s %9s\n' "$target" "${execs:-?}" "${edges:-?}" "$found"
  [ "$found" -eq 0 ] || status=1
done
echo "logs: $out/TARGET.log; inputs of findings: $findings/"
exit $status
