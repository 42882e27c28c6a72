#!/usr/bin/env bash
# Download throughput of the HTTP client under Wine against a loopback nginx:
# a 100 MB file through InternetDownload (tests/helpers/download_tool), the
# same file through curl, the ceiling that the client's pacing allows
# (at most 10240 bytes per pass, each pass after a pumped wait of 2 ms), and
# a resumed download that must fetch only the missing bytes.
#
#   bench/download-bench.sh [WIN64_BUILD_DIR]    (default build/win64)
#
# The build needs -DORVANE_WINE_TESTS=ON (for download_tool.exe).
set -eu

source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$source_dir/build/win64}" && pwd)
tool=$(find "$build" -name download_tool.exe -print -quit)
[ -n "$tool" ] || { echo "download_tool.exe not found under $build" >&2; exit 2; }
size_mb=${ORVANE_BENCH_MB:-100}
size=$((size_mb * 1024 * 1024))

work=$(mktemp -d /tmp/orvane-bench.XXXXXX)
trap '"$source_dir/tests/tools/nginx.sh" stop "$work/nginx"; rm -rf "$work"' EXIT
mkdir -p "$work/www" "$work/out"
head -c "$size" /dev/urandom >"$work/www/big.bin"
port=$("$source_dir/tests/tools/nginx.sh" start "$work/nginx" "$work/www")
url="http://127.0.0.1:$port/big.bin"
winpath() { echo "Z:$1" | tr / '\\'; }

echo "== ${size_mb} MB from loopback nginx"
curl_line=$(curl -s -o "$work/out/curl.bin" -w '%{time_total} %{speed_download}' "$url")
cmp -s "$work/www/big.bin" "$work/out/curl.bin" || { echo "curl copy differs" >&2; exit 1; }
read -r curl_s curl_bps <<<"$curl_line"
printf 'curl:            %8.1f MB/s  (%.2f s)\n' "$(echo "$curl_bps / 1048576" | bc -l)" "$curl_s"

run_tool() {
  "$source_dir/tests/tools/winerun.sh" --template "$build/wine-template" --timeout 900 -- \
    wine "$tool" "$@" | tr -d '\r'
}
field() { sed -n "s/.*$1=\([0-9]*\).*/\1/p" <<<"$2"; }

line=$(run_tool "$url" "$(winpath "$work/out/client.bin")")
echo "client:          $line"
cmp -s "$work/www/big.bin" "$work/out/client.bin" || { echo "client copy differs" >&2; exit 1; }
ms=$(field elapsed_ms "$line")
passes=$(field passes "$line")
printf 'client:          %8.1f MB/s  (%.2f s, %d passes, %.3f ms per pass)\n' \
  "$(echo "$size / 1048576 / ($ms / 1000)" | bc -l)" "$(echo "$ms / 1000" | bc -l)" "$passes" \
  "$(echo "$ms / $passes" | bc -l)"
printf 'pacing ceiling:  %8.1f MB/s  (10240 B per 2 ms wait)\n' "$(echo "10240 / 0.002 / 1048576" | bc -l)"
printf 'measured pacing: %8.1f MB/s  (10240 B per measured pass)\n' \
  "$(echo "10240 / ($ms / $passes / 1000) / 1048576" | bc -l)"

echo "== resume: stopped after 40% then repeated"
stop=$((size * 4 / 10))
rm -f "$work/out/client.bin"
: >"$work/nginx/access.log"
line=$(run_tool "$url" "$(winpath "$work/out/client.bin")" "$stop" || true)
echo "first attempt:   $line"
line=$(run_tool "$url" "$(winpath "$work/out/client.bin")")
echo "second attempt:  $line"
cmp -s "$work/www/big.bin" "$work/out/client.bin" || { echo "resumed copy differs" >&2; exit 1; }
echo "resumed copy is byte-identical; nginx log:"
sed 's/^/  /' "$work/nginx/access.log"
