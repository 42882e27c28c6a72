#!/usr/bin/env bash
# Size of the 32-bit launcher image beside NSIS's, and where its bytes come
# from: the link map that the win build writes (build/win/Stub.map) summed
# by archive and output section (bench/stub_map.py).
#   - NSIS's zlib/ANSI stub, the piece every NSIS installer starts with;
#   - an NSIS installer (zlib, ANSI) with one empty section, made here.
# Goal: Stub.exe under NSIS's stub (91,136 bytes).
#
#   bench/stub-size.sh [WIN_BUILD_DIR]   (default build/win; STUB overrides
#   the image, MEMBERS=n also lists the n largest archive members,
#   FUNCTIONS=n the n largest functions and data, from an unstripped relink:
#   the launcher's own code is one whole-program object in the map)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
build=${1:-$source_dir/build/win}
stub=${STUB:-$source_dir/build/bin/Stub.exe}
map=$build/Stub.map
goal=91136  # NSIS's stub
nsis_stub=/usr/share/nsis/Stubs/zlib-x86-ansi

size_of() { stat -c %s "$1"; }

[ -f "$stub" ] || { echo "no $stub: build the win preset first" >&2; exit 1; }
stub_size=$(size_of "$stub")
printf '%-44s %9s\n' "image" "bytes"
printf '%-44s %9d  (goal < %d: %s)\n' "Stub.exe ($stub)" "$stub_size" "$goal" \
  "$([ "$stub_size" -lt "$goal" ] && echo met || echo "missed by $((stub_size - goal))")"
if [ -f "$nsis_stub" ]; then
  nsis_size=$(size_of "$nsis_stub")
  printf '%-44s %9d  (Stub.exe is %s of it)\n' "NSIS stub $nsis_stub" "$nsis_size" \
    "$(awk -v a="$stub_size" -v b="$nsis_size" 'BEGIN { printf "%.2fx", a / b }')"
else
  echo "NSIS stub: $nsis_stub not found (install nsis)"
fi
if command -v makensis > /dev/null; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  cat > "$work/empty.nsi" <<'NSI'
Unicode false
SetCompressor zlib
Name "Empty"
OutFile "empty.exe"
RequestExecutionLevel user
Section
SectionEnd
NSI
  if (cd "$work" && makensis -V1 empty.nsi > /dev/null); then
    printf '%-44s %9d\n' "NSIS installer, one empty section (zlib, ANSI)" \
      "$(size_of "$work/empty.exe")"
  else
    echo "makensis failed on the empty installer"
  fi
else
  echo "makensis not installed"
fi
echo
if [ -f "$map" ]; then
  echo "Stub.exe by archive ($map; bytes of input sections before file alignment):"
  members=()
  [ -n "${MEMBERS:-}" ] && members=(--members "$MEMBERS")
  python3 "$here/stub_map.py" "$map" "${members[@]}"
else
  echo "no link map $map (made by the win build)"
fi
if [ -n "${FUNCTIONS:-}" ]; then
  link=$(ninja -C "$build" -t commands Stub | tail -1 | sed 's/^: && //; s/ && .*$//')
  symbols=$(mktemp -d)
  link=$(sed "s/ -s / /; s#-o [^ ]*Stub.exe #-o $symbols/Stub.exe #; s/-Wl,-Map,[^ ]*//" <<< "$link")
  echo
  if (cd "$build" && eval "$link"); then
    echo "largest $FUNCTIONS functions and data (bytes):"
    i686-w64-mingw32-nm --size-sort -S -C "$symbols/Stub.exe" | python3 -c '
import sys
rows = []
for line in sys.stdin:
    parts = line.split(None, 3)
    if len(parts) == 4 and parts[2] in "tTrRdD":
        rows.append((int(parts[1], 16), parts[3].strip()[:110]))
for size, name in sorted(rows, reverse=True)[:int(sys.argv[1])]:
    print(f"{size:>9}  {name}")' "$FUNCTIONS"
  else
    echo "relinking without -s failed"
  fi
  rm -rf "$symbols"
fi
