#!/usr/bin/env bash
# Fails when a folder below the launcher's top floor includes from it:
# startup/ includes the rest, and nothing under src/ includes startup/.
set -uo pipefail
cd "$(dirname "$0")/.."
found=$(grep -rn --include='*.h' --include='*.cpp' --include='*.inl' '#include "startup/' \
  src/files src/package src/paths src/process src/ui src/update src/util)
if [ -n "$found" ]; then
  echo "included from startup/ below it:"
  echo "$found"
  exit 1
fi
echo "no folder below startup/ includes it"
