#!/usr/bin/env bash
# Builds bench/getcrc_bench.cpp against the 64-bit Windows library of a
# build tree and runs it under Wine.
#   bench/getcrc_bench.sh [BUILD_DIR] [MB | PACKAGE_FILE]
# With a package file the sum of that file is timed and checked against its
# trailer instead of a generated file of MB megabytes.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
build=${1:-$source_dir/build/win64}
what=${2:-200}
if [ -f "$what" ]; then
  set -- --package "Z:$(cd "$(dirname "$what")" && pwd | tr / '\\')\\$(basename "$what")"
else
  set -- "$what"
fi
cmake --build "$build" --target orvane >/dev/null
x86_64-w64-mingw32-g++-posix -std=c++17 -O2 -DWINVER=0x0501 -D_WIN32_WINNT=0x0501 -DNOMINMAX \
  -DWIN32_LEAN_AND_MEAN -I"$source_dir/src" "$here/getcrc_bench.cpp" "$build/liborvane.a" \
  -lz -lcomctl32 -lgdi32 -luser32 -ladvapi32 -lkernel32 -static -o "$build/getcrc_bench.exe"
exec "$source_dir/tests/tools/winerun.sh" --template "$build/wine-template" --timeout 300 -- \
  wine "$build/getcrc_bench.exe" "$@"
