#!/usr/bin/env bash
# The main job: builds what it needs (the packager, the launcher, the viewer,
# the sample's setup program and the box helpers), packs the bundled sample
# application (sample/app plus its setup program) into a setup package, and
# runs it under Wine from the first timer tick to the installed files: the
# temp-drive question (always shown for this package) is answered Yes,
# screenshots of it, of the progress window and of a message box with bold
# text and three buttons go to build/screenshots/, and the launcher's debug
# log and the installed files are printed. It runs the 32-bit launcher users
# get wherever the host can, and says so when it cannot.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
bash scripts/install-deps.sh
build_for_demo SampleSetup msgbox_answerer msgbox_demo
exec tests/tools/winerun.sh --template "$WINE_TREE/wine-template" --timeout 300 -- \
  python3 scripts/main_job.py
