#!/usr/bin/env python3
"""Scriptable HTTP server on 127.0.0.1 for the download tests and the benchmark.

  http_server.py start STATE_DIR   start in the background; writes STATE_DIR/port
                                   (plain port, TLS port, foreign-CA TLS port, TLS
                                   port whose certificate names another host) and
                                   STATE_DIR/pid, with certificates in STATE_DIR
  http_server.py stop STATE_DIR    stop the server started there
  http_server.py run STATE_DIR     run in the foreground (what `start` forks)

A package URL is /s/<options>/<digest>/<name>; /go/<options>/<name> redirects
to it, with the digest segment chosen by the options. <options> is a
comma-separated list of key=value:

  id=NAME        groups the requests of one test; GET /_log/NAME returns them
  size=N         length of the body (a fixed pseudo-random pattern), default 2 MiB
  dg=md5|MD5|sha256|SHA256|bad|none|short|long
                 digest segment written by the /go/ redirect (default md5)
  hops=N         extra redirects before the final URL (default 0)
  rate=B         cap each connection at B bytes per second
  gzip=1         gzip a whole-body GET when the client accepts gzip
  nolength=1     no Content-Length (body ends with the connection)
  norange=1      ignore Range headers (always 200 with the whole body)
  headerr=S      answer HEAD with status S

Faults applied to GET requests. Each takes the selectors <fault>n=A-B (only
the A-th to B-th matching request, 1-based; "A" alone means just that one)
and <fault>below=OFFSET (only requests whose range starts below OFFSET):

  err=S          answer status S
  dropat=OFF     close the connection when the absolute offset OFF is reached
  dropafter=N    close the connection after N body bytes of this request
  stall=SEC      send nothing for SEC seconds, then close
  corrupt=1      flip one byte of the body (the digest no longer matches)
"""
import gzip
import hashlib
import json
import os
import random
import signal
import socket
import ssl
import subprocess
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

BLOCK = 1 << 20
_rng = random.Random(20261211)
PATTERN = bytes(_rng.getrandbits(8) for _ in range(BLOCK))
MAX_LIFETIME_S = 3600
FAULTS = ("err", "dropat", "dropafter", "stall", "corrupt")

_lock = threading.Lock()
_logs = {}          # id -> list of request records
_counters = {}      # (id, fault) -> matching requests so far
_digests = {}       # size -> (md5, sha256)
_stopping = threading.Event()


def body_slice(start, end):
    """Bytes [start, end) of the pattern repeated."""
    out = bytearray()
    pos = start
    while pos < end:
        off = pos % BLOCK
        n = min(BLOCK - off, end - pos)
        out += PATTERN[off:off + n]
        pos += n
    return bytes(out)


def digests(size):
    with _lock:
        if size in _digests:
            return _digests[size]
    md5, sha = hashlib.md5(), hashlib.sha256()
    pos = 0
    while pos < size:
        n = min(BLOCK, size - pos)
        chunk = PATTERN[:n]
        md5.update(chunk)
        sha.update(chunk)
        pos += n
    result = (md5.hexdigest(), sha.hexdigest())
    with _lock:
        _digests[size] = result
    return result


def parse_options(text):
    opts = {}
    for item in urllib.parse.unquote(text).split(","):
        if "=" in item:
            k, v = item.split("=", 1)
            opts[k] = v
    return opts


def digest_segment(opts):
    size = int(opts.get("size", 2 * BLOCK))
    md5, sha = digests(size)
    kind = opts.get("dg", "md5")
    return {
        "md5": md5, "MD5": md5.upper(), "sha256": sha, "SHA256": sha.upper(),
        "bad": "0" * 32 if md5 != "0" * 32 else "1" * 32,
        "none": "files", "short": md5[:31], "long": md5 + "0",
    }[kind]


def fault_applies(opts, fault, range_start):
    """Whether `fault` hits this GET; counts the requests it could hit."""
    if fault not in opts:
        return False
    below = opts.get(fault + "below")
    if below is not None and range_start >= int(below):
        return False
    key = (opts.get("id", ""), fault)
    with _lock:
        _counters[key] = _counters.get(key, 0) + 1
        index = _counters[key]
    sel = opts.get(fault + "n")
    if sel is None:
        return True
    lo, _, hi = sel.partition("-")
    return int(lo) <= index <= int(hi or lo)


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "DownloadTestServer/1.0"

    def log_message(self, *args):
        pass

    def record(self, **fields):
        rec = {
            "method": self.command, "path": self.path, "time": time.monotonic(),
            "range": self.headers.get("Range", ""),
            "acceptEncoding": self.headers.get("Accept-Encoding", ""),
            "connection": self.headers.get("Connection", ""),
        }
        rec.update(fields)
        with _lock:
            _logs.setdefault(self.opts.get("id", ""), []).append(rec)
        return rec

    def do_HEAD(self):
        self.handle_any(head=True)

    def do_GET(self):
        self.handle_any(head=False)

    def handle_any(self, head):
        parts = self.path.split("?")[0].split("/")
        self.opts = {}
        if len(parts) >= 3 and parts[1] == "_log":
            return self.send_log(urllib.parse.unquote(parts[2]))
        if len(parts) >= 3 and parts[1] == "_reset":
            with _lock:
                _logs.pop(parts[2], None)
                for k in [k for k in _counters if k[0] == parts[2]]:
                    del _counters[k]
            return self.send_small(200, b"ok")
        if len(parts) >= 4 and parts[1] == "go":
            self.opts = parse_options(parts[2])
            hops = int(self.opts.get("hops", "0"))
            if hops > 0:
                rest = dict(self.opts, hops=str(hops - 1))
                opt_text = ",".join("%s=%s" % kv for kv in rest.items())
                target = "/go/%s/%s" % (opt_text, "/".join(parts[3:]))
            else:
                target = "/s/%s/%s/%s" % (parts[2], digest_segment(self.opts), "/".join(parts[3:]))
            self.record(status=302)
            self.send_response(302)
            self.send_header("Location", target)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if len(parts) >= 4 and parts[1] == "s":
            self.opts = parse_options(parts[2])
            return self.send_package(head)
        self.send_small(404, b"not found")

    def send_small(self, status, body):
        self.send_response(status)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def send_log(self, name):
        with _lock:
            body = json.dumps(_logs.get(name, [])).encode()
        self.send_small(200, body)

    def send_package(self, head):
        opts = self.opts
        size = int(opts.get("size", 2 * BLOCK))
        nolength = opts.get("nolength") == "1"
        if head:
            status = int(opts.get("headerr", "200"))
            self.record(status=status)
            self.send_response(status)
            if status < 400 and not nolength:
                self.send_header("Content-Length", str(size))
            elif status >= 400:
                self.send_header("Content-Length", "0")
            self.send_header("Accept-Ranges", "bytes")
            if nolength:
                self.send_header("Connection", "close")
                self.close_connection = True
            self.end_headers()
            return

        start, end, partial = 0, size - 1, False
        rng = "" if opts.get("norange") == "1" else self.headers.get("Range", "")
        if rng.startswith("bytes="):
            a, _, b = rng[6:].partition("-")
            start = int(a) if a else 0
            end = min(int(b), size - 1) if b else size - 1
            partial = True
            if start >= size or start > end:
                rec = self.record(status=416)
                self.send_response(416)
                self.send_header("Content-Range", "bytes */%d" % size)
                self.send_header("Content-Length", "0")
                self.end_headers()
                return

        if fault_applies(opts, "err", start):
            status = int(opts["err"])
            self.record(status=status)
            return self.send_small(status, b"failure")
        if fault_applies(opts, "stall", start):
            self.record(status=0, stalled=True)
            _stopping.wait(float(opts["stall"]))
            self.close_connection = True
            return

        limit = end + 1
        if fault_applies(opts, "dropat", start) and start < int(opts["dropat"]) <= end:
            limit = int(opts["dropat"])
        if fault_applies(opts, "dropafter", start):
            limit = min(limit, start + int(opts["dropafter"]))
        corrupt = fault_applies(opts, "corrupt", start)

        use_gzip = (opts.get("gzip") == "1" and not partial
                    and "gzip" in self.headers.get("Accept-Encoding", ""))
        rec = self.record(status=206 if partial else 200, sent=0)
        self.send_response(206 if partial else 200)
        self.send_header("Accept-Ranges", "bytes")
        if partial:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, end, size))
        if use_gzip:
            data = body_slice(start, end + 1)
            if corrupt:
                data = bytes([data[0] ^ 0xFF]) + data[1:]
            payload = gzip.compress(data, compresslevel=1)
            self.send_header("Content-Encoding", "gzip")
            self.send_header("Content-Length", str(len(payload)))
            self.end_headers()
            self.wfile.write(payload)
            rec["sent"] = len(payload)
            rec["encoding"] = "gzip"
            return
        if nolength:
            self.send_header("Connection", "close")
            self.close_connection = True
        else:
            self.send_header("Content-Length", str(end + 1 - start))
        self.end_headers()
        self.stream(rec, start, limit, corrupt, float(opts.get("rate", "0")))
        if limit <= end:
            self.close_connection = True
            try:
                self.connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def stream(self, rec, start, limit, corrupt, rate):
        chunk = 64 * 1024
        if rate:
            chunk = max(1024, min(chunk, int(rate / 20)))
        began = time.monotonic()
        pos = start
        try:
            while pos < limit and not _stopping.is_set():
                n = min(chunk, limit - pos)
                data = body_slice(pos, pos + n)
                if corrupt and pos == start:
                    data = bytes([data[0] ^ 0xFF]) + data[1:]
                self.wfile.write(data)
                pos += n
                rec["sent"] = pos - start
                if rate:
                    due = began + (pos - start) / rate
                    delay = due - time.monotonic()
                    if delay > 0:
                        time.sleep(delay)
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError, OSError):
            self.close_connection = True
        rec["endTime"] = time.monotonic()


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64


def make_certificates(state):
    """A test CA with a server certificate for localhost/127.0.0.1 and one for
    another host name, and a second, unrelated CA with its own certificate
    for localhost."""
    def run(*args):
        subprocess.run(["openssl", *args], cwd=state, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def server_cert(name, ca, san):
        ext = os.path.join(state, name + ".ext")
        with open(ext, "w") as f:
            f.write("basicConstraints=CA:FALSE\nkeyUsage=digitalSignature,keyEncipherment\n"
                    "extendedKeyUsage=serverAuth\nsubjectAltName=%s\n" % san)
        run("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=" + name,
            "-keyout", name + ".key", "-out", name + ".csr")
        run("x509", "-req", "-in", name + ".csr", "-CA", ca + ".pem", "-CAkey", ca + ".key",
            "-CAcreateserial", "-days", "2", "-extfile", ext, "-out", name + ".pem")

    for ca in ("ca", "other"):
        run("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
            "-subj", "/CN=Download Test %s" % ca, "-keyout", ca + ".key", "-out", ca + ".pem",
            "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    server_cert("ca-server", "ca", "DNS:localhost,IP:127.0.0.1")
    server_cert("other-server", "other", "DNS:localhost,IP:127.0.0.1")
    server_cert("wrongname-server", "ca", "DNS:elsewhere.invalid")


def serve(state):
    make_certificates(state)
    servers = [Server(("127.0.0.1", 0), Handler)]
    for prefix in ("ca", "other", "wrongname"):
        srv = Server(("127.0.0.1", 0), Handler)
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(os.path.join(state, prefix + "-server.pem"), os.path.join(state, prefix + "-server.key"))
        srv.socket = ctx.wrap_socket(srv.socket, server_side=True)
        servers.append(srv)
    threads = [threading.Thread(target=s.serve_forever, daemon=True) for s in servers]
    for t in threads:
        t.start()

    def stop(*_):
        _stopping.set()
        for s in servers:
            threading.Thread(target=s.shutdown, daemon=True).start()
    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    # A server whose run was killed before its clean-up ends by itself.
    lifetime = threading.Timer(MAX_LIFETIME_S, stop)
    lifetime.daemon = True
    lifetime.start()
    ports = " ".join(str(s.server_address[1]) for s in servers)
    tmp = os.path.join(state, "port.tmp")
    with open(tmp, "w") as f:
        f.write(ports + "\n")
    os.replace(tmp, os.path.join(state, "port"))
    for t in threads:
        while t.is_alive():
            t.join(0.5)


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("start", "stop", "run"):
        print(__doc__, file=sys.stderr)
        return 2
    state = os.path.abspath(sys.argv[2])
    os.makedirs(state, exist_ok=True)
    pid_file = os.path.join(state, "pid")
    port_file = os.path.join(state, "port")
    if sys.argv[1] == "run":
        serve(state)
        return 0
    if sys.argv[1] == "stop":
        return stop_server(pid_file, port_file)
    # start: a detached child that outlives this command. A server left over
    # from an interrupted run in the same folder goes first.
    stop_server(pid_file, port_file)
    main_cmd = [sys.executable, os.path.abspath(__file__), "run", state]
    try:
        os.remove(port_file)
    except OSError:
        pass
    with open(os.path.join(state, "server.log"), "w") as log:
        child = subprocess.Popen(main_cmd, stdout=log, stderr=log, stdin=subprocess.DEVNULL,
                                 start_new_session=True)
    with open(pid_file, "w") as f:
        f.write(str(child.pid))
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        if os.path.exists(port_file):
            return 0
        if child.poll() is not None:
            print("server exited with %d" % child.returncode, file=sys.stderr)
            return 1
        time.sleep(0.05)
    print("server did not start", file=sys.stderr)
    child.terminate()
    return 1


def stop_server(pid_file, port_file):
    try:
        with open(pid_file) as f:
            os.kill(int(f.read()), signal.SIGTERM)
    except (OSError, ValueError):
        pass
    for name in (pid_file, port_file):
        try:
            os.remove(name)
        except OSError:
            pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
