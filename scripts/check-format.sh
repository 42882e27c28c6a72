#!/usr/bin/env bash
# Fails, naming each file, when a C++ source of the tree differs from what
# the project's .clang-format makes of it. clang-format 14 (Debian 12's)
# is the reference: another version may lay out the same code otherwise.
set -uo pipefail
cd "$(dirname "$0")/.."
tool=$(command -v clang-format-14 || command -v clang-format) || {
  echo "clang-format is not installed"
  exit 1
}
# Tracked and new files alike; one deleted but not yet committed is gone.
mapfile -t files < <(git ls-files -co --exclude-standard -- '*.h' '*.cpp' '*.inl' '*.c' \
  ':!:third_party/*' ':!:build/*' | while read -r f; do [ -f "$f" ] && echo "$f"; done)
[ "${#files[@]}" -gt 0 ] || { echo "no source file found"; exit 1; }
# One run over all files: clang-format names each place that differs.
out=$("$tool" --dry-run -Werror "${files[@]}" 2>&1)
rc=$?
bad=$(grep -oE '^[^:]+:[0-9]+:[0-9]+: error' <<<"$out" | cut -d: -f1 | sort -u)
[ -z "$bad" ] || sed 's/^/not formatted: /' <<<"$bad"
echo "${#files[@]} files checked, $(grep -c . <<<"$bad") not formatted"
[ "$rc" -eq 0 ] && [ -z "$bad" ]
