#!/usr/bin/env bash
# Builds the getcrc_bench target (bench/getcrc_bench.cpp against the Windows
# library of a build tree, with that tree's defines and flags) and runs it
# under Wine.
#   bench/getcrc_bench.sh [PRESET | BUILD_DIR] [MB | PACKAGE_FILE]
# PRESET is win64 (the default) or win; a BUILD_DIR is the tree of one.
# With a package file the sum of that file is timed and checked against its
# trailer instead of a generated file of MB megabytes.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
tree=${1:-win64}
what=${2:-200}
if [ -f "$what" ]; then
  set -- --package "Z:$(cd "$(dirname "$what")" && pwd | tr / '\\')\\$(basename "$what")"
else
  set -- "$what"
fi
if [ -d "$tree" ]; then
  build=$(cd "$tree" && pwd)
  cmake --build "$build" --target getcrc_bench >/dev/null
else
  build=$source_dir/build/$tree
  cd "$source_dir"
  [ -f "$build/CMakeCache.txt" ] || cmake --preset "$tree" >/dev/null
  cmake --build --preset "$tree" --target getcrc_bench >/dev/null
fi
exec "$source_dir/tests/tools/winerun.sh" --template "$build/wine-template" --timeout 300 -- \
  wine "$build/getcrc_bench.exe" "$@"
