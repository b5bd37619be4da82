#!/usr/bin/env python3
"""A small package server on 127.0.0.1 for the end-to-end runs and the demo.

  package_server.py start STATE_DIR FILE...   serve each FILE as /<md5>/<name>;
                                              writes STATE_DIR/port, STATE_DIR/pid
                                              and STATE_DIR/urls (name -> URL path)
  package_server.py stop STATE_DIR

GET and HEAD with single byte ranges; every request is appended to
STATE_DIR/requests.log ("METHOD PATH RANGE"). Any other path answers 404.
"""
import hashlib
import os
import signal
import sys
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    files = {}      # URL path -> local file
    state_dir = "."

    def log_message(self, *args):
        pass

    def record(self):
        with open(os.path.join(self.state_dir, "requests.log"), "a") as f:
            f.write("%s %s %s\n" % (self.command, self.path, self.headers.get("Range", "-")))

    def send_body(self, head):
        self.record()
        path = self.files.get(self.path.split("?")[0])
        if path is None:
            self.send_response(404)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        size = os.path.getsize(path)
        start, end, status = 0, size - 1, 200
        rng = self.headers.get("Range")
        if rng and rng.startswith("bytes="):
            first, _, last = rng[6:].partition("-")
            start = int(first) if first else 0
            end = min(int(last), size - 1) if last else size - 1
            if start >= size:
                self.send_response(416)
                self.send_header("Content-Range", "bytes */%d" % size)
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            status = 206
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(end - start + 1))
        self.send_header("Accept-Ranges", "bytes")
        if status == 206:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, end, size))
        self.end_headers()
        if head:
            return
        with open(path, "rb") as f:
            f.seek(start)
            left = end - start + 1
            while left > 0:
                chunk = f.read(min(left, 1 << 16))
                if not chunk:
                    break
                self.wfile.write(chunk)
                left -= len(chunk)

    def do_GET(self):
        self.send_body(False)

    def do_HEAD(self):
        self.send_body(True)


def md5_of(path):
    h = hashlib.md5()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def start(state_dir, files):
    os.makedirs(state_dir, exist_ok=True)
    stop(state_dir)
    for name in ("port", "requests.log"):
        try:
            os.remove(os.path.join(state_dir, name))
        except FileNotFoundError:
            pass
    urls = {}
    for path in files:
        urls["/%s/%s" % (md5_of(path), os.path.basename(path))] = os.path.abspath(path)
    Handler.files = urls
    Handler.state_dir = state_dir
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    with open(os.path.join(state_dir, "urls"), "w") as f:
        for url, path in urls.items():
            f.write("%s %s\n" % (os.path.basename(path), url))
    if os.fork() == 0:
        os.setsid()
        devnull = os.open(os.devnull, os.O_RDWR)
        for fd in (0, 1, 2):
            os.dup2(devnull, fd)
        with open(os.path.join(state_dir, "pid"), "w") as f:
            f.write(str(os.getpid()))
        # Written last: its presence means the server is listening.
        with open(os.path.join(state_dir, "port.tmp"), "w") as f:
            f.write(str(server.server_address[1]))
        os.rename(os.path.join(state_dir, "port.tmp"), os.path.join(state_dir, "port"))
        signal.signal(signal.SIGTERM, lambda *a: os._exit(0))
        # A forgotten server ends by itself.
        signal.alarm(3600)
        server.serve_forever()
        os._exit(0)
    server.server_close()
    for _ in range(100):
        if os.path.exists(os.path.join(state_dir, "port")):
            return 0
        time.sleep(0.05)
    print("package server did not start", file=sys.stderr)
    return 1


def stop(state_dir):
    pid_file = os.path.join(state_dir, "pid")
    try:
        with open(pid_file) as f:
            os.kill(int(f.read().strip()), signal.SIGTERM)
    except (FileNotFoundError, ValueError, ProcessLookupError):
        pass
    try:
        os.remove(pid_file)
    except FileNotFoundError:
        pass
    return 0


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "start":
        sys.exit(start(sys.argv[2], sys.argv[3:]))
    if len(sys.argv) == 3 and sys.argv[1] == "stop":
        sys.exit(stop(sys.argv[2]))
    print(__doc__, file=sys.stderr)
    sys.exit(2)
