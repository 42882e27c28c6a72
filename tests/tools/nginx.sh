#!/usr/bin/env bash
# Starts or stops a loopback nginx that serves one folder.
#
#   nginx.sh start DIR ROOT   writes DIR/nginx.conf, starts nginx on a free
#                             port of 127.0.0.1 and prints the port; the
#                             access log is DIR/access.log
#
# The same folder is also served over TLS on two more ports, written to
# DIR/tls.port and DIR/wrong-host.port: certificates made here with openssl
# by a fresh test authority (DIR/tls/ca.pem, .der), one for 127.0.0.1 and
# localhost, one for another host name (wrong.example). Whoever trusts the
# authority sees the first port pass and the second fail its name check.
#   nginx.sh stop DIR         stops the nginx started with DIR
set -eu

here=$(cd "$(dirname "$0")" && pwd)

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# make_certificates DIR: the test authority and the two server certificates.
make_certificates() {
  local tls=$1/tls
  mkdir -p "$tls"
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Orvane Test Authority" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -keyout "$tls/ca.key" -out "$tls/ca.pem" 2>/dev/null
  openssl x509 -in "$tls/ca.pem" -outform DER -out "$tls/ca.der"
  local name alt
  for name in good wrong; do
    alt="DNS:localhost,IP:127.0.0.1,DNS:127.0.0.1"
    [ "$name" = good ] || alt="DNS:wrong.example"
    openssl req -newkey rsa:2048 -nodes -subj "/CN=${alt#DNS:}" -keyout "$tls/$name.key" \
      -out "$tls/$name.csr" 2>/dev/null
    printf 'subjectAltName=%s\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n' "$alt" \
      >"$tls/$name.ext"
    openssl x509 -req -in "$tls/$name.csr" -CA "$tls/ca.pem" -CAkey "$tls/ca.key" \
      -CAcreateserial -days 2 -sha256 -extfile "$tls/$name.ext" -out "$tls/$name.pem" 2>/dev/null
  done
}

case "${1:-}" in
  start)
    dir=$(mkdir -p "$2" && cd "$2" && pwd)
    root=$(cd "$3" && pwd)
    make_certificates "$dir"
    # Started by root, nginx would hand its workers to "nobody", who cannot
    # read a private test folder.
    user=""
    [ "$(id -u)" != 0 ] || user="user root root;"
    for _ in 1 2 3 4 5; do
      port=$(free_port)
      tls_port=$(free_port)
      wrong_port=$(free_port)
      sed -e "s|@DIR@|$dir|g" -e "s|@ROOT@|$root|g" -e "s|@PORT@|$port|g" -e "s|@USER@|$user|" \
        -e "s|@TLS_PORT@|$tls_port|g" -e "s|@WRONG_PORT@|$wrong_port|g" \
        "$here/nginx.conf.in" >"$dir/nginx.conf"
      if nginx -p "$dir" -c "$dir/nginx.conf" -e "$dir/error.log" 2>>"$dir/error.log"; then
        for _ in $(seq 50); do [ -s "$dir/nginx.pid" ] && break; sleep 0.05; done
        echo "$tls_port" >"$dir/tls.port"
        echo "$wrong_port" >"$dir/wrong-host.port"
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
