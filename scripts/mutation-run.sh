#!/usr/bin/env bash
# Damaged packages on the shipped 32-bit launcher: SEED and COUNT pick the
# seeded single-byte changes and truncations (tests/e2e/mutation.py), which
# WORKERS Wine environments run side by side (each its own prefix, display
# and message-box answerer). Prints the count of cases per kind and outcome
# and the faults; the exit code is 1 when there was any fault.
#
#   scripts/mutation-run.sh [SEED] [COUNT] [WORKERS]    (defaults 1 1000 4)
#
# Needs the builds of the test command (scripts/test.sh) or at least:
#   native: orvane-pack; win: Stub fake_setup msgbox_answerer.
set -u
cd "$(dirname "$0")/.."
seed=${1:-1}
count=${2:-1000}
workers=${3:-4}
export ORVANE_ARCH_BITS=32 ORVANE_BIN_DIR=$PWD/build/bin ORVANE_TEST_BIN_DIR=$PWD/build/win/bin
export ORVANE_NATIVE_BIN_DIR=$PWD/build/bin ORVANE_SOURCE_DIR=$PWD
out=$(mktemp -d /tmp/orvane-mutation.XXXXXX)
chunk=$(( (count + workers - 1) / workers ))
started=$(date +%s)
pids=()
for ((w = 0; w < workers; w++)); do
  first=$((w * chunk))
  n=$(( count - first < chunk ? count - first : chunk ))
  [ "$n" -gt 0 ] || break
  nice tests/tools/winerun.sh --template "$PWD/build/win/wine-template" --timeout 14400 -- \
    python3 tests/e2e/mutation.py --seed "$seed" --first "$first" --count "$n" \
      --json "$out/part$w.json" >"$out/part$w.log" 2>&1 &
  pids+=($!)
done
for pid in "${pids[@]}"; do wait "$pid"; done
python3 - "$out" "$seed" "$(( $(date +%s) - started ))" <<'PY'
import collections, glob, json, sys
sys.path.insert(0, "tests/e2e")
from mutation import FAULTS
out, seed, seconds = sys.argv[1], sys.argv[2], int(sys.argv[3])
results = [r for f in sorted(glob.glob(out + "/part*.json")) for r in json.load(open(f))]
table = collections.Counter((r["kind"], r["outcome"]) for r in results)
kinds = sorted({k for k, _ in table})
outcomes = sorted({o for _, o in table})
print(f"seed {seed}: {len(results)} cases in {seconds} s")
print(f"{'outcome':28}" + "".join(f"{k:>12}" for k in kinds) + f"{'total':>8}")
for o in outcomes:
    row = [table[(k, o)] for k in kinds]
    print(f"{o:28}" + "".join(f"{n:12}" for n in row) + f"{sum(row):8}")
faults = [r for r in results if r["outcome"] in FAULTS]
longest = max((r["seconds"] for r in results), default=0)
print(f"faults: {len(faults)} (crash/hang/ran-damaged/left/outside); longest run {longest} s")
for r in faults:
    print("FAULT", json.dumps(r))
sys.exit(1 if faults or not results else 0)
PY
code=$?
echo "(per-worker logs and results in $out)"
exit $code
