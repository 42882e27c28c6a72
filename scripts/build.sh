#!/usr/bin/env bash
# Installs what is missing and builds every program:
#   build/bin/     Stub.exe (32-bit launcher), orvane-pack (Linux), orvane-pack.exe, orvane-debug.exe
#   build/win64/   the same sources as 64-bit Windows code, with the Wine tests and helpers
#   build/native/  the native unit tests
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)
for preset in native win win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done
