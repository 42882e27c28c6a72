#!/usr/bin/env python3
"""Loopback HTTP server that misbehaves on request, for the download tests.

Files come from --root. A request names its faults in the first path
segment after /m/, as a comma list, then the file:

    /m/<faults>/<file>      e.g. /m/cut=2097152,norange/big.bin

    nolength      no Content-Length (the body ends when the connection closes)
    cut=N         announce the full length, send N bytes, close
    slow=N        send N bytes every 20 ms
    trickle=MS    send one byte every MS milliseconds (far below any useful
                  rate, yet inside every receive time-out)
    norange       ignore Range and answer 200 with the whole file
    status=N      answer with status N (an error page that carries a length)
    version=K     a changed file: the body loses its first K*7 bytes and its
                  Last-Modified moves K days on
    extra=N       announce the true length, then send N bytes more than it
    length=N      announce a length of N whatever the body is
    stall         send the headers and the first half of the body, then
                  nothing (the connection stays open until the server stops)
    stallhead     accept the request and send nothing at all
    redirect      answer 302 with a Location naming this very path (a loop)

/<file> alone is served plainly (with ranges). Every request is logged as
one line "path range=... status=N sent=N" to --log (a stalled one once more
with "held=SECONDS" when the client closes it).
"""
import argparse
import email.utils
import http.server
import os
import re
import socketserver
import sys
import threading
import time


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, fmt, *args):
        pass

    def record(self, status, sent):
        line = '%s range="%s" status=%d sent=%d\n' % (
            self.path, self.headers.get("Range", ""), status, sent)
        with self.server.log_lock, open(self.server.log_path, "a") as log:
            log.write(line)

    def do_GET(self):
        faults, name = {}, self.path.lstrip("/")
        if name.startswith("m/"):
            _, options, name = name.split("/", 2)
            for item in options.split(","):
                key, _, value = item.partition("=")
                faults[key] = value
        if "stallhead" in faults:
            self.record(0, 0)
            self.hold()
            return
        if "redirect" in faults:
            self.answer(302, b"", {"Location": self.path}, faults)
            return
        path = os.path.join(self.server.root, name)
        if not os.path.isfile(path):
            self.answer(404, b"not found", {}, faults)
            return
        with open(path, "rb") as f:
            body = f.read()
        mtime = os.path.getmtime(path)
        version = int(faults.get("version", "0"))
        if version:
            body = body[version * 7:]
            mtime += version * 86400
        headers = {"Last-Modified": email.utils.formatdate(mtime, usegmt=True)}
        status = int(faults.get("status", "200"))
        match = re.fullmatch(r"bytes=(\d+)-", self.headers.get("Range", "").strip())
        if match and "norange" not in faults and status == 200:
            start = int(match.group(1))
            if start >= len(body):
                headers["Content-Range"] = "bytes */%d" % len(body)
                self.answer(416, b"", headers, faults)
                return
            headers["Content-Range"] = "bytes %d-%d/%d" % (start, len(body) - 1, len(body))
            self.answer(206, body[start:], headers, faults)
            return
        self.answer(status, body, headers, faults)

    def answer(self, status, body, headers, faults):
        sent = 0
        try:
            self.send_response(status)
            for key, value in headers.items():
                self.send_header(key, value)
            if "length" in faults:
                self.send_header("Content-Length", faults["length"])
            elif "nolength" not in faults:
                self.send_header("Content-Length", str(len(body)))
            self.send_header("Content-Type", "text/html" if status >= 400 else "application/octet-stream")
            self.end_headers()
            if "extra" in faults:
                body = body + bytes((i * 37 + 11) & 0xFF for i in range(int(faults["extra"])))
            limit = int(faults["cut"]) if "cut" in faults else len(body)
            if "stall" in faults:
                limit = len(body) // 2
            step = int(faults["slow"]) if "slow" in faults else 65536
            if "trickle" in faults:
                step = 1
            while sent < min(limit, len(body)):
                piece = body[sent:min(sent + step, limit)]
                self.wfile.write(piece)
                self.wfile.flush()
                sent += len(piece)
                if "slow" in faults:
                    time.sleep(0.02)
                if "trickle" in faults:
                    time.sleep(int(faults["trickle"]) / 1000)
            if "stall" in faults:
                self.record(status, sent)
                self.hold()
                return
        except (BrokenPipeError, ConnectionResetError):
            pass
        self.record(status, sent)

    def hold(self):
        """Keeps the connection open, sending nothing, until the client
        gives up (or the server stops), and logs "PATH held=SECONDS" then."""
        started = time.monotonic()
        try:
            while self.connection.recv(4096):
                pass
        except OSError:
            pass
        with self.server.log_lock, open(self.server.log_path, "a") as log:
            log.write("%s held=%.1f\n" % (self.path, time.monotonic() - started))


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--port-file", required=True)
    args = parser.parse_args()
    server = Server(("127.0.0.1", 0), Handler)
    server.root = args.root
    server.log_path = args.log
    server.log_lock = threading.Lock()
    open(args.log, "a").close()
    with open(args.port_file + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    os.replace(args.port_file + ".tmp", args.port_file)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
