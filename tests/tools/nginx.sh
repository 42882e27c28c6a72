#!/usr/bin/env bash
# Starts or stops a loopback nginx that serves one folder.
#
#   nginx.sh start DIR ROOT   writes DIR/nginx.conf, starts nginx on a free
#                             port of 127.0.0.1 and prints the port; the
#                             access log is DIR/access.log
#   nginx.sh stop DIR         stops the nginx started with DIR
set -eu

here=$(cd "$(dirname "$0")" && pwd)

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

case "${1:-}" in
  start)
    dir=$(mkdir -p "$2" && cd "$2" && pwd)
    root=$(cd "$3" && pwd)
    # Started by root, nginx would hand its workers to "nobody", who cannot
    # read a private test folder.
    user=""
    [ "$(id -u)" != 0 ] || user="user root root;"
    for _ in 1 2 3 4 5; do
      port=$(free_port)
      sed -e "s|@DIR@|$dir|g" -e "s|@ROOT@|$root|g" -e "s|@PORT@|$port|g" -e "s|@USER@|$user|" \
        "$here/nginx.conf.in" >"$dir/nginx.conf"
      if nginx -p "$dir" -c "$dir/nginx.conf" -e "$dir/error.log" 2>>"$dir/error.log"; then
        for _ in $(seq 50); do [ -s "$dir/nginx.pid" ] && break; sleep 0.05; done
        echo "$port"
        exit 0
      fi
    done
    echo "nginx.sh: nginx did not start, see $dir/error.log" >&2
    exit 1
    ;;
  stop)
    dir=$2
    [ -s "$dir/nginx.pid" ] || exit 0
    pid=$(cat "$dir/nginx.pid")
    kill -QUIT "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || exit 0; sleep 0.05; done
    kill -KILL "$pid" 2>/dev/null || true
    ;;
  *)
    echo "usage: nginx.sh start DIR ROOT | stop DIR" >&2
    exit 2
    ;;
esac
