#!/usr/bin/env bash
# The main job: builds everything, packs the bundled sample application
# (sample/app plus its setup program) into a setup package, and runs it
# under Wine from the first timer tick to the installed files: the
# temp-drive question (always shown for this package) is answered Yes,
# screenshots of it, of the progress window and of a message box with bold
# text and three buttons go to build/screenshots/,
# and the launcher's debug log and the installed files are printed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
bin=build/win64/bin
exec tests/tools/winerun.sh --template "$PWD/build/win64/wine-template" --timeout 300 -- \
  env ORVANE_BIN_DIR="$PWD/$bin" ORVANE_NATIVE_BIN_DIR="$PWD/build/bin" \
      ORVANE_SOURCE_DIR="$PWD" python3 scripts/main_job.py
