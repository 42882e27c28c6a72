#!/usr/bin/env bash
# The update demo: builds what it needs, publishes version 2 of the sample on
# a loopback nginx with orvane-pack info, and watches the auto-update agent of
# an installed stand-in application check, download, close the application,
# install the update, record the version, restart the application and start
# a fresh agent. Prints the published info file, the debug log and the
# result. Like the main job, it runs the 32-bit launcher where the host can.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
bash scripts/install-deps.sh
build_for_demo SampleSetup fake_app msgbox_answerer
export ORVANE_HTTP_SERVERS=1
exec tests/tools/winerun.sh --template "$WINE_TREE/wine-template" --timeout 400 -- \
  python3 scripts/update_demo.py
