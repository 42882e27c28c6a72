#!/usr/bin/env bash
# Size of delta packages against the full package and against Debian's
# bsdiff and xdelta3 -9, on two pairs of releases of real Windows programs
# from the npm registry, and the time and peak memory of applying them under
# Wine:
#   - a patch release: @img/sharp-win32-ia32 0.34.4 -> 0.34.5 (libvips
#     8.17.2 -> 8.17.3; libvips-cpp-8.17.x.dll changes its name and so
#     travels whole; libvips-42.dll is shown on its own);
#   - a minor release: @esbuild/win32-ia32 0.27.7 -> 0.28.0 (a Go program).
# Goal: the patch release's delta at most 8% of its full package, and never
# above bsdiff.
#
#   bench/delta-bench.sh [WORK_DIR]
# The packages are fetched with `npm pack` into build/bench-cache (CACHE_DIR)
# when missing. bsdiff and xdelta3 are installed with apt-get when missing
# (as root). Needs the native orvane-pack and the win tree (Stub.exe, and
# patch_apply.exe, which this script builds); NO_WINE=1 skips the apply.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
cache=${CACHE_DIR:-$source_dir/build/bench-cache}
work=${1:-$(mktemp -d /tmp/delta-bench.XXXXXX)}
pack=${ORVANE_PACK:-$source_dir/build/bin/orvane-pack}
stub=${STUB:-$source_dir/build/bin/Stub.exe}
build=$source_dir/build/win
mkdir -p "$cache" "$work"

missing=()
command -v bsdiff >/dev/null || missing+=(bsdiff)
command -v xdelta3 >/dev/null || missing+=(xdelta3)
if [ "${#missing[@]}" -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "delta-bench: needs ${missing[*]} (apt-get install ${missing[*]}, as root)" >&2
    exit 1
  fi
  echo "delta-bench: installing ${missing[*]} with apt-get" >&2
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" >&2
fi
for program in "$pack" "$stub"; do
  [ -e "$program" ] || { echo "delta-bench: $program is missing: build it first" >&2; exit 1; }
done

# fetch NAME@VERSION: the release unpacked below the cache; prints its folder.
fetch() {
  local release=$1 name version tgz
  name=${release%@*}
  version=${release##*@}
  tgz=$(echo "${name#@}" | tr / -)-$version.tgz
  if [ ! -f "$cache/$tgz" ]; then
    echo "delta-bench: npm pack $release" >&2
    (cd "$cache" && npm pack --silent "$release" >/dev/null)
  fi
  if [ ! -d "$cache/${tgz%.tgz}/package" ]; then
    mkdir -p "$cache/${tgz%.tgz}"
    tar -xzf "$cache/$tgz" -C "$cache/${tgz%.tgz}"
  fi
  echo "$cache/${tgz%.tgz}/package"
}

sharp_old=$(fetch @img/sharp-win32-ia32@0.34.4)
sharp_new=$(fetch @img/sharp-win32-ia32@0.34.5)
esbuild_old=$(fetch @esbuild/win32-ia32@0.27.7)
esbuild_new=$(fetch @esbuild/win32-ia32@0.28.0)

apply_args=()
if [ "${NO_WINE:-0}" != 1 ]; then
  (cd "$source_dir" && cmake --build --preset win --target patch_apply >/dev/null)
  apply_args=(--apply "$build/patch_apply.exe" --winerun "$source_dir/tests/tools/winerun.sh"
    --template "$build/wine-template")
fi
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
python3 "$here/delta_bench.py" --pack "$pack" --stub "$stub" --work "$work" "${apply_args[@]}" \
  "patch release sharp 0.34.4 -> 0.34.5" "$sharp_old" "$sharp_new" lib/libvips-42.dll \
  "minor release esbuild 0.27.7 -> 0.28.0" "$esbuild_old" "$esbuild_new" esbuild.exe
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
