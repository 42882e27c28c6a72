#!/usr/bin/env bash
# Builds everything and runs every test: native unit tests (with sanitizers),
# Wine tests and end-to-end runs. Ends with one summary line over both runs.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh || { echo "build failed"; exit 1; }

passed=0
failed=0
status=0
for preset in native win64; do
  log=build/ctest-$preset.log
  ctest --preset "$preset" -j 2 --timeout 900 2>&1 | tee "$log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n1)
  if [ -z "$line" ]; then
    echo "ctest ($preset) ran no test"
    status=1
    continue
  fi
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
  bad=$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$line")
  [ "$total" -gt 0 ] || status=1
  passed=$((passed + total - bad))
  failed=$((failed + bad))
done
echo
echo "${passed} passed, ${failed} failed"
[ "$failed" -eq 0 ] || status=1
exit $status
