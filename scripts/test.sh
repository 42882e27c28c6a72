#!/usr/bin/env bash
# Builds everything and runs every test: native unit tests (with sanitizers),
# the fuzz targets (each replays its seed corpus and explores for 10 s, one
# test per target), then the Wine tests and end-to-end runs against the
# 32-bit programs users get (build/bin) wherever this host runs 32-bit
# Windows code, else against the 64-bit build of the same sources. Ends with
# the build that ran and one summary line over all runs.
set -uo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
bash scripts/install-deps.sh || { echo "set-up failed"; exit 1; }
configure_and_build native ON || { echo "native build failed"; exit 1; }
configure_and_build fuzz OFF || { echo "fuzz build failed"; exit 1; }
configure_and_build win ON || { echo "32-bit build failed"; exit 1; }

if wine_runs_bits 32; then
  wine_preset=win
  ran="the 32-bit launcher build/bin/Stub.exe (this host runs 32-bit Windows code)"
  # The 64-bit build is not run here; building its programs keeps the
  # sources correct as 64-bit code.
  configure_and_build win64 OFF || { echo "64-bit build failed"; exit 1; }
else
  echo "This host does not run 32-bit Windows code under Wine; testing the 64-bit build instead."
  configure_and_build win64 ON || { echo "64-bit build failed"; exit 1; }
  if ! wine_runs_bits 64; then
    echo "FAILED: this host's Wine runs neither the 32-bit nor the 64-bit build; no Wine test can run."
    exit 1
  fi
  wine_preset=win64
  ran="the 64-bit fallback build/win64/bin/Stub.exe (this host does not run 32-bit Windows code)"
fi

# The tools' packages, which an end-to-end test installs into a fresh root.
bash scripts/dist.sh >/dev/null || { echo "building the tools' packages failed"; exit 1; }

passed=0
failed=0
status=0
for preset in native fuzz "$wine_preset"; do
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
echo "Wine and end-to-end tests ran $ran."
echo "${passed} passed, ${failed} failed"
[ "$failed" -eq 0 ] || status=1
exit $status
