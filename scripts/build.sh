#!/usr/bin/env bash
# Installs what is missing and builds every program and every test:
#   build/bin/     what users get: Stub.exe (32-bit launcher), orvane-debug.exe,
#                  orvane-pack.exe, and orvane-pack (Linux)
#   build/win/     the 32-bit test helpers and Wine tests (build/win/bin)
#   build/win64/   the same sources as 64-bit Windows code, with its helpers
#                  and Wine tests, for hosts that cannot run 32-bit code
#   build/native/  the native unit tests
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
bash scripts/install-deps.sh
for preset in native win win64; do
  configure_and_build "$preset" ON
done
