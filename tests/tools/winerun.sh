#!/usr/bin/env bash
# Runs one test command inside its own Wine environment and tears it down:
# a Wine prefix cloned from a template (made once per build tree), an Xvfb
# display with the openbox window manager (without one Wine waits about 2 s
# whenever a window is shown), and a hard time limit.
#
#   winerun.sh --template DIR [--timeout SECONDS] -- command [args...]
#
# Inside, WINEPREFIX and DISPLAY are set and `wine` runs Windows programs of
# the test build. ORVANE_KEEP_WINE=1 keeps the prefix and logs for a look.
set -u

template=""
limit=300
while [ $# -gt 0 ]; do
  case "$1" in
    --template) template=$2; shift 2 ;;
    --timeout) limit=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "winerun: unknown option $1" >&2; exit 2 ;;
  esac
done
[ -n "$template" ] && [ $# -gt 0 ] || { echo "usage: winerun.sh --template DIR [--timeout S] -- command" >&2; exit 2; }

# The test build is 64-bit Windows code; the 64-bit loader runs it directly.
export ORVANE_WINE=${ORVANE_WINE:-/usr/lib/wine/wine64}
export WINELOADER=$ORVANE_WINE
export WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver64}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

shim_dir=$(mktemp -d /tmp/orvane-wine.XXXXXX)
work=$shim_dir
cat > "$shim_dir/wine" <<SHIM
#!/bin/sh
exec "$ORVANE_WINE" "\$@"
SHIM
chmod +x "$shim_dir/wine"
export PATH="$shim_dir:$PATH"

make_template() {
  local dir=$1
  mkdir -p "$(dirname "$dir")"
  exec 9>"$dir.lock"
  flock 9
  if [ ! -f "$dir/.ready" ]; then
    rm -rf "$dir"
    WINEPREFIX="$dir" "$ORVANE_WINE" wineboot -i >"$dir.log" 2>&1
    # No crash dialog: a crashing test must fail, not wait for a click.
    WINEPREFIX="$dir" "$ORVANE_WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >>"$dir.log" 2>&1
    WINEPREFIX="$dir" "$WINESERVER" -w
    touch "$dir/.ready"
  fi
  exec 9>&-
}
[ -f "$template/.ready" ] || make_template "$template"

# Clone the template: hard links for the large, never-written system files,
# real copies of what Wine rewrites (registry, INI files).
export WINEPREFIX="$work/prefix"
cp -al "$template" "$WINEPREFIX"
find "$WINEPREFIX" -maxdepth 1 -name '*.reg' -exec sh -c 'for f; do cp --remove-destination "$(readlink -f "$f")" "$f.tmp" && mv "$f.tmp" "$f"; done' _ {} +
for f in "$WINEPREFIX"/drive_c/windows/*.ini; do
  [ -f "$f" ] && cp "$f" "$f.tmp" && mv "$f.tmp" "$f"
done
rm -rf "$WINEPREFIX/drive_c/users"
cp -a "$template/drive_c/users" "$WINEPREFIX/drive_c/users"

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(head -n1 "$work/display")"
openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm_pid=$!
sleep 0.2

stop_http_servers() { :; }
cleanup() {
  "$WINESERVER" -k >/dev/null 2>&1
  stop_http_servers
  kill "$wm_pid" "$xvfb_pid" >/dev/null 2>&1
  wait "$wm_pid" "$xvfb_pid" 2>/dev/null
  if [ "${ORVANE_KEEP_WINE:-0}" = 1 ]; then
    echo "winerun: kept $work" >&2
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT
trap 'exit 143' INT TERM

# ORVANE_HTTP_SERVERS=1: a loopback nginx and the fault-injecting server,
# both serving ORVANE_HTTP_ROOT, for the download tests; stopped with the rest.
if [ "${ORVANE_HTTP_SERVERS:-0}" = 1 ]; then
  tools=$(cd "$(dirname "$0")" && pwd)
  export ORVANE_HTTP_ROOT="$work/www"
  mkdir -p "$ORVANE_HTTP_ROOT"
  fault_pid=""
  stop_http_servers() {
    "$tools/nginx.sh" stop "$work/nginx"
    [ -z "$fault_pid" ] || { kill "$fault_pid" 2>/dev/null; wait "$fault_pid" 2>/dev/null; }
  }
  nginx_port=$("$tools/nginx.sh" start "$work/nginx" "$ORVANE_HTTP_ROOT") || exit 1
  python3 "$tools/fault_server.py" --root "$ORVANE_HTTP_ROOT" --log "$work/fault.log" \
    --port-file "$work/fault.port" >"$work/fault.out" 2>&1 &
  fault_pid=$!
  for _ in $(seq 200); do [ -s "$work/fault.port" ] && break; sleep 0.05; done
  [ -s "$work/fault.port" ] || { echo "winerun: fault server did not start" >&2; exit 1; }
  export ORVANE_NGINX_URL="http://127.0.0.1:$nginx_port"
  export ORVANE_NGINX_LOG="$work/nginx/access.log"
  # The same files over TLS: a certificate for this host and one for another
  # host, both from the test authority ORVANE_TLS_CA (DER), which the Wine
  # prefix does not trust until a test adds it to its root store.
  export ORVANE_NGINX_TLS_URL="https://127.0.0.1:$(cat "$work/nginx/tls.port")"
  export ORVANE_NGINX_WRONG_HOST_URL="https://127.0.0.1:$(cat "$work/nginx/wrong-host.port")"
  export ORVANE_TLS_CA="$work/nginx/tls/ca.der"
  export ORVANE_FAULT_URL="http://127.0.0.1:$(cat "$work/fault.port")"
  export ORVANE_FAULT_LOG="$work/fault.log"
fi

timeout --kill-after=10 "$limit" "$@"
rc=$?
[ $rc -eq 124 ] && echo "winerun: time limit of ${limit}s reached: $*" >&2
exit $rc
