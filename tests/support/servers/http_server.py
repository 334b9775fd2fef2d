#!/usr/bin/python3
"""A small HTTP server for the transfer tests and benchmarks, on a free loopback port.

Prints its port on the first line of standard output, then serves until killed:
  /files/<path>                 the files under --root (folders as index pages)
  /status/<code>                that status with a short body
  /redirect/<code>/<n>/<path>   n redirects of that status, then /files/<path>
  /private/<path>               /files/<path> behind basic auth user:secret
  /slow/<bytes>[/<tag>]         a body sent at about --rate bytes per second
  /short/<bytes>                a body that ends after half of what it declares
  /over/<bytes>                 a body that declares that length and goes on for ever
  /endless                      a body of no declared length that goes on for ever
  /stats/<tag>                  the most /slow bodies of that tag that were sent at once
"""
import argparse
import base64
import http.server
import os
import socketserver
import sys
import threading
import time
import urllib.parse

lock = threading.Lock()
active_slow = {}
most_slow = {}


class Handler(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def send_text(self, code, text, headers=()):
        body = text.encode()
        self.send_response(code)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def serve_file(self, rest):
        self.path = "/" + rest
        super().do_GET()

    def do_GET(self):
        global active_slow, most_slow
        parts = self.path.split("/", 2)
        kind = parts[1] if len(parts) > 1 else ""
        rest = parts[2] if len(parts) > 2 else ""
        if kind == "files":
            self.serve_file(rest)
        elif kind == "status":
            self.send_text(int(rest), "status %s\n" % rest)
        elif kind == "redirect":
            code, count, target = rest.split("/", 2)
            count = int(count)
            where = "/redirect/%s/%d/%s" % (code, count - 1, target) if count > 0 else "/files/" + target
            self.send_text(int(code), "moved\n", [("Location", where)])
        elif kind == "private":
            expected = "Basic " + base64.b64encode(b"user:secret").decode()
            if self.headers.get("Authorization") != expected:
                self.send_text(401, "who are you\n", [("WWW-Authenticate", 'Basic realm="orvex"')])
            else:
                self.serve_file(rest)
        elif kind in ("slow", "short"):
            size, _, tag = rest.partition("/")
            size = int(size)
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(size))
            self.end_headers()
            chunk = b"x" * 16384
            sent = 0
            limit = size if kind == "slow" else size // 2
            with lock:
                if kind == "slow":
                    active_slow[tag] = active_slow.get(tag, 0) + 1
                    most_slow[tag] = max(most_slow.get(tag, 0), active_slow[tag])
            counted = kind == "slow"
            try:
                while sent < limit:
                    piece = chunk[: min(len(chunk), limit - sent)]
                    if kind == "slow":
                        time.sleep(len(piece) / self.server.rate)
                    if sent + len(piece) >= limit and counted:
                        # Uncounted before the client can have it all and ask again.
                        with lock:
                            active_slow[tag] -= 1
                        counted = False
                    self.wfile.write(piece)
                    sent += len(piece)
            except (BrokenPipeError, ConnectionResetError):
                pass
            finally:
                if counted:
                    with lock:
                        active_slow[tag] -= 1
            if kind == "short":
                self.close_connection = True
        elif kind in ("over", "endless"):
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            if kind == "over":
                self.send_header("Content-Length", rest)
            self.send_header("Connection", "close")
            self.end_headers()
            chunk = b"e" * 65536
            try:
                while True:
                    self.wfile.write(chunk)
            except (BrokenPipeError, ConnectionResetError):
                pass
            self.close_connection = True
        elif kind == "stats":
            with lock:
                self.send_text(200, "%d\n" % most_slow.get(rest, 0))
        else:
            self.send_text(404, "no such thing\n")


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--rate", type=float, default=2_000_000)
    args = parser.parse_args()
    os.chdir(args.root)
    server = Server(("127.0.0.1", 0), Handler)
    server.rate = args.rate
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
