#!/usr/bin/env bash
# Takes a picture of the message box for a look by eye: runs msgbox_demo.exe
# inside winerun.sh and grabs the virtual screen with ImageMagick.
#
#   msgbox_screenshot.sh BIN_DIR WINE_TEMPLATE [OUTPUT_DIR]
#
# OUTPUT_DIR defaults to $ORVANE_SCREENSHOT_DIR, else BIN_DIR/../screenshots.
# Writes msgbox.png there.
set -eu
bin=$1
template=$2
out=${3:-${ORVANE_SCREENSHOT_DIR:-$bin/../screenshots}}
mkdir -p "$out"
here=$(cd "$(dirname "$0")" && pwd)
"$here/winerun.sh" --template "$template" --timeout 60 -- sh -c '
  wine "$1/msgbox_demo.exe" 20000 &
  demo=$!
  for i in $(seq 1 40); do xwininfo -root -tree | grep -q "Orvane Setup" && break; sleep 0.5; done
  sleep 1
  import -window root "$2/msgbox.png"
  kill "$demo" 2>/dev/null
  wait' grab "$bin" "$out"
echo "$out/msgbox.png"
