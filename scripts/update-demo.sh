#!/usr/bin/env bash
# The update demo: builds everything, publishes version 2 of the sample on a
# loopback nginx with orvane-pack info, and watches the auto-update agent of
# an installed stand-in application check, download, close the application,
# install the update, record the version, restart the application and start
# a fresh agent. Prints the published info file, the debug log and the
# result.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
export ORVANE_HTTP_SERVERS=1
exec tests/tools/winerun.sh --template "$PWD/build/win64/wine-template" --timeout 400 -- \
  env ORVANE_BIN_DIR="$PWD/build/win64/bin" ORVANE_NATIVE_BIN_DIR="$PWD/build/bin" \
      ORVANE_SOURCE_DIR="$PWD" python3 scripts/update_demo.py
