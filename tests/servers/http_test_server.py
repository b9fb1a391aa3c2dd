#!/usr/bin/env python3
"""Local HTTP and HTTPS server the download tests talk to (it stands in for the web servers
that deliver update checks, packages and analytics). Python 3 standard library only.

Commands:
  http_test_server.py start DIR   start a server in the background and return once it listens
  http_test_server.py stop DIR    stop the server started for DIR
  http_test_server.py serve DIR   run in the foreground (what "start" runs)

Files in DIR (the tests find DIR as "<folder of the test executable>\\servers", see
tests/servers/CMakeLists.txt; the Windows tests read them through Wine's Z: drive):
  http.port       decimal port of the plain HTTP server on 127.0.0.1
  https.port      decimal port of the same server behind TLS
  https.cer       the HTTPS server's self-signed certificate (DER), made at start-up;
                  https.pem / https.key are its PEM forms
  requests.log    one JSON object per line and per answered request: method, path, query,
                  headers, range, status, bytes of body sent, how the answer ended, posted body
  sha256.txt      digests of generated bodies made with hashlib: "<seed> <size> <hex>" per line
  server.pid, server.out  process id and output of the background server

Bodies are generated, never stored: byte i of the body of seed S is pattern(S)[i % 65521],
pattern(S) being 65521 bytes from the generator in Pattern() below (the C++ tests carry the same
generator in tests/support/TestServer.cpp). Any size is served without fixture files.

Paths:
  /data          a generated body, configured by the query switches below
  /echo          answers with the posted body (any method); the log keeps the posted bytes
  /v1/client-updates/   the update check of the client-services endpoint (see ClientUpdates below)
  /files/<file>/<name>  the file <DIR>/files/<file>.exe under any name, with the /data switches
  /g/collect     the analytics collect endpoint: 204 without a body; the event's own query
                 carries the fault switches of /data (status=C answers C with the body of
                 seed/size, stallheaders, faults=K with tag, ...); the log keeps each query
  anything else  404 with a short text body

Query switches of /data (combine freely; numbers are decimal):
  seed=S size=N         body of seed S (default 1) and N bytes (default 1024)
  status=C              answer with status C (304, 401, 404, 500, ...) and the body of seed/size
  nolength=1            no Content-Length; the body ends when the connection closes
  chunked=1             Transfer-Encoding: chunked
  declare=N             Content-Length N whatever the body size (larger: the body is cut short
                        by a close; smaller: the extra bytes follow and the connection closes)
  stallheaders=MS       wait MS before the status line
  stallat=N stallms=MS  after N body bytes, wait MS (cut short when the client goes away)
  closeat=N             clean close (FIN) after N body bytes
  resetat=N             reset (RST) after N body bytes
  lowercase=1           header names in lower case
  rate=B                send B bytes per second (slices of 4096 bytes, each sent when the
                        bytes before it are due by an absolute deadline from the answer's start)
  noranges=1            ignore Range and If-Range (always the whole body)
  lastmodified=TEXT     Last-Modified value (default: a fixed date derived from the seed)
  setcookie=TEXT        adds "Set-Cookie: TEXT"
  tag=T                 free text that lets a test find its requests in requests.log

Switches for the multi-stream download tests (per tag; requests of one tag are counted from 1):
  ignorerange=1         answer a Range request with 200 and the whole body (Accept-Ranges stays)
  acceptranges=TEXT     the Accept-Ranges value ("none", ...; default "bytes")
  contentrange=K        a 206 with a false Content-Range, body unchanged: wrongstart (first + 1),
                        wrongend (last - 1), wrongtotal (size + 1), star ("/*"), missing (none)
  nolastmodified=1      no Last-Modified header
  etag=TEXT             an ETag header
  changeafter=K seed2=S requests after the K-th of the tag get the body of seed S (same size) and
                        the Last-Modified of seed S (or lastmodified2=TEXT); without seed2 only
                        what lastmodified2=TEXT, etag2=TEXT and size2=N name changes for them
  faults=K              the fault switches (status, stallheaders, stallat, closeat, resetat,
                        ignorerange, contentrange, declare) act on the first K requests of the tag only
  gate=N gatems=MS      a request with a Range header is held, before its status line, until N such
                        requests of the tag are open at once (or MS ms passed, default 20000); the
                        log's "gate" says "open" or "timeout"
The log also gives each request's "number" within its tag, its "client" port and "started" time.

Ranges: "bytes=a-b", "bytes=a-" and "bytes=-n" give 206 with Content-Range; a range that does
not fit the body gives 416 with "Content-Range: bytes */<size>". "If-Range" different from the
Last-Modified value gives the whole body with 200. "If-Modified-Since" equal to it gives 304.

New scenarios: add a switch to Scenario (parsed in one place) and act on it in send_body() or
answer_data(); every request is logged through log_answer().
"""

import email.utils
import hashlib
import http.server
import json
import os
import select
import signal
import socket
import ssl
import struct
import subprocess
import sys
import threading
import time
import urllib.parse

PATTERN_LENGTH = 65521          # prime, so that a block at a wrong offset never matches
MAX_STALL_SECONDS = 120         # no scenario keeps a thread longer than this
IDLE_EXIT_SECONDS = 3600        # a forgotten server ends itself after an hour without requests

# Sizes whose digests go to sha256.txt: empty, short, around the 64-byte SHA block and the
# 8192-byte read buffer of the digest code, and a few MiB.
DIGEST_CASES = [(1, 0), (2, 1), (3, 3), (4, 55), (5, 56), (6, 63), (7, 64), (8, 65),
                (9, 8191), (10, 8192), (11, 8193), (12, 16384), (13, 65536 + 7),
                (14, 3 * 1024 * 1024 + 1)]

_patterns = {}
_patterns_lock = threading.Lock()


def Pattern(seed):
    """65521 bytes of a 32-bit linear congruential generator started from the seed."""
    with _patterns_lock:
        pattern = _patterns.get(seed)
        if pattern is None:
            x = (seed * 2654435761 + 1) & 0xFFFFFFFF
            out = bytearray(PATTERN_LENGTH)
            for i in range(PATTERN_LENGTH):
                x = (x * 1103515245 + 12345) & 0xFFFFFFFF
                out[i] = (x >> 16) & 0xFF
            pattern = bytes(out)
            _patterns[seed] = pattern
        return pattern


def Body(seed, offset, count):
    """Bytes [offset, offset + count) of the generated body of a seed."""
    pattern = Pattern(seed)
    start = offset % PATTERN_LENGTH
    parts = []
    while count > 0:
        piece = pattern[start:start + count]
        parts.append(piece)
        count -= len(piece)
        start = 0
    return b"".join(parts)


def BodySha256(seed, size):
    digest = hashlib.sha256()
    offset = 0
    while offset < size:
        n = min(1 << 20, size - offset)
        digest.update(Body(seed, offset, n))
        offset += n
    return digest.hexdigest()


class Scenario:
    """The switches of one /data request."""

    def __init__(self, query):
        q = {k: v[-1] for k, v in urllib.parse.parse_qs(query, keep_blank_values=True).items()}

        def number(name, default=None):
            return int(q[name]) if name in q and q[name] != "" else default

        self.seed = number("seed", 1)
        self.size = number("size", 1024)
        self.status = number("status", 200)
        self.nolength = q.get("nolength") == "1"
        self.chunked = q.get("chunked") == "1"
        self.declare = number("declare")
        self.stall_headers_ms = number("stallheaders", 0)
        self.stall_at = number("stallat")
        self.stall_ms = number("stallms", 0)
        self.close_at = number("closeat")
        self.reset_at = number("resetat")
        self.lowercase = q.get("lowercase") == "1"
        self.rate = number("rate")
        self.noranges = q.get("noranges") == "1"
        default_date = 946684800 + (self.seed % 1000) * 86400      # from 2000-01-01 on
        self.last_modified = q.get("lastmodified") or email.utils.formatdate(default_date, usegmt=True)
        self.set_cookie = q.get("setcookie")
        self.tag = q.get("tag", "")
        self.ignore_range = q.get("ignorerange") == "1"
        self.accept_ranges = q.get("acceptranges")
        self.content_range = q.get("contentrange")
        self.no_last_modified = q.get("nolastmodified") == "1"
        self.change_after = number("changeafter")
        self.seed2 = number("seed2")
        self.last_modified2 = q.get("lastmodified2")
        self.etag = q.get("etag")
        self.etag2 = q.get("etag2")
        self.size2 = number("size2")
        self.faults = number("faults")
        self.gate = number("gate")
        self.gate_ms = number("gatems", 20000)
        self.number = 0
        self.source = None          # reader (offset, count) of a file body; None: generated
        self.hold_file = None       # a stall also ends once this file is gone

    def read(self, offset, count):
        return self.source(offset, count) if self.source else Body(self.seed, offset, count)

    def apply_request_number(self, number):
        """Acts on the per-tag switches for the number-th request of the tag."""
        self.number = number
        if self.change_after is not None and number > self.change_after:
            if self.seed2 is not None:
                self.seed = self.seed2
                self.last_modified = self.last_modified2 or email.utils.formatdate(
                    946684800 + (self.seed % 1000) * 86400, usegmt=True)
            elif self.last_modified2:
                self.last_modified = self.last_modified2
            if self.etag2 is not None:
                self.etag = self.etag2
            if self.size2 is not None:
                self.size = self.size2
        if self.faults is not None and number > self.faults:
            self.status = 200
            self.stall_headers_ms = 0
            self.stall_at = self.close_at = self.reset_at = self.declare = None
            self.ignore_range = False
            self.content_range = None


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "LmTestServer/1"

    def log_message(self, format, *args):      # the JSON log replaces the default stderr lines
        pass

    # --- request entry points -------------------------------------------------------------
    def do_GET(self):
        self.dispatch()

    do_POST = do_PUT = do_HEAD = do_GET

    def dispatch(self):
        self.server.touch()
        url = urllib.parse.urlsplit(self.path)
        self.answer = {"status": None, "sent": 0, "end": "complete", "posted": None,
                       "started": round(time.time(), 3)}
        self.posted = self.read_posted_body()
        try:
            if url.path == "/data":
                scenario = Scenario(url.query)
                scenario.apply_request_number(self.server.next_request_number(scenario.tag))
                self.answer["number"] = scenario.number
                self.answer_data(scenario)
            elif url.path == "/echo":
                self.answer_echo()
            elif url.path == ClientUpdates.PATH:
                self.answer_client_updates(url)
            elif url.path.startswith(PackageFiles.PREFIX):
                self.answer_package_file(url)
            elif url.path == "/g/collect":
                self.answer_collect(url.query)
            else:
                self.send_simple(404, b"not found\n")
        except (ConnectionError, socket.timeout, ssl.SSLError) as error:
            self.answer["end"] = "client gone: %s" % type(error).__name__
            self.close_connection = True
        finally:
            self.log_answer(url)

    def read_posted_body(self):
        length = self.headers.get("Content-Length")
        if length and int(length) > 0:
            return self.rfile.read(int(length))
        return b""

    # --- answers --------------------------------------------------------------------------
    def answer_echo(self):
        self.answer["posted"] = self.posted.decode("latin-1")
        self.send_simple(200, self.posted, content_type="application/octet-stream")

    # --- "/g/collect": the analytics collect endpoint ---------------------------------------
    def answer_collect(self, query):
        """204 and no body, unless the query's switches ask for a fault or another status."""
        s = Scenario(query)
        s.apply_request_number(self.server.next_request_number(s.tag))
        self.answer["number"] = s.number
        asked = "status" in urllib.parse.parse_qs(query) and (s.faults is None or s.number <= s.faults)
        if not asked:
            s.status = 204
        if s.stall_headers_ms and not self.wait_while_client_stays(s.stall_headers_ms / 1000.0):
            self.answer["end"] = "client gone during header stall"
            self.close_connection = True
            return
        if s.status == 204:
            self.start_answer(204, [], s.lowercase)
            return
        self.start_answer(s.status, [("Content-Type", "text/plain"), ("Content-Length", str(s.size))], s.lowercase)
        self.send_body(s, 0, s.size)

    def send_simple(self, status, body, content_type="text/plain"):
        self.start_answer(status, [("Content-Type", content_type), ("Content-Length", str(len(body)))], False)
        self.write_body(body)

    def answer_data(self, s):
        if s.gate and self.headers.get("Range"):
            self.answer["gate"] = "open" if self.server.pass_gate(s.tag, s.gate, s.gate_ms / 1000.0) else "timeout"
        if s.stall_headers_ms:
            if not self.wait_while_client_stays(s.stall_headers_ms / 1000.0):
                self.answer["end"] = "client gone during header stall"
                self.close_connection = True
                return
        status, first, count = s.status, 0, s.size
        headers = [("Content-Type", "application/octet-stream")]
        if not s.no_last_modified:
            headers.append(("Last-Modified", s.last_modified))
        if s.etag:
            headers.append(("ETag", s.etag))
        headers.append(("Accept-Ranges", s.accept_ranges or ("none" if s.noranges else "bytes")))
        if s.set_cookie:
            headers.append(("Set-Cookie", s.set_cookie))
        if status == 200 and not s.noranges and not s.ignore_range:
            if self.headers.get("If-Modified-Since") == s.last_modified:
                status, count = 304, 0
            wanted = self.headers.get("Range")
            if_range = self.headers.get("If-Range")
            if wanted and status == 200 and (if_range is None or if_range == s.last_modified):
                span = self.parse_range(wanted, s.size)
                if span is None:
                    headers.append(("Content-Range", "bytes */%d" % s.size))
                    status, count = 416, 0
                else:
                    first, last = span
                    status, count = 206, last - first + 1
                    shown = {"wrongstart": "bytes %d-%d/%d" % (first + 1, last, s.size),
                             "wrongend": "bytes %d-%d/%d" % (first, last - 1, s.size),
                             "wrongtotal": "bytes %d-%d/%d" % (first, last, s.size + 1),
                             "star": "bytes %d-%d/*" % (first, last),
                             "missing": None}.get(s.content_range, "bytes %d-%d/%d" % (first, last, s.size))
                    if shown is not None:
                        headers.append(("Content-Range", shown))
        must_close = False
        if s.chunked:
            headers.append(("Transfer-Encoding", "chunked"))
        elif s.nolength:
            must_close = True
        elif s.declare is not None:
            headers.append(("Content-Length", str(s.declare)))
            must_close = s.declare != count
        else:
            headers.append(("Content-Length", str(count)))
        if status == 304 and count:
            must_close = True      # a 304 has no body by rule; this one still sends it
        self.start_answer(status, headers, s.lowercase, must_close)
        self.send_body(s, first, count)

    def parse_range(self, text, size):
        """(first, last) of a single "bytes=" range within size, or None when it does not fit."""
        if not text.startswith("bytes=") or "," in text:
            return None
        a, _, b = text[6:].strip().partition("-")
        try:
            if a == "":
                n = int(b)
                return (max(0, size - n), size - 1) if n > 0 and size > 0 else None
            first = int(a)
            last = int(b) if b != "" else size - 1
        except ValueError:
            return None
        if first >= size or last < first:
            return None
        return first, min(last, size - 1)

    # --- client services and package files (the Updater) ---------------------------------
    def answer_client_updates(self, url):
        q = {k: v[-1] for k, v in urllib.parse.parse_qs(url.query, keep_blank_values=True).items()}
        product = q.get("productName", "")
        host = self.headers.get("Host") or "127.0.0.1:%d" % self.server.server_address[1]
        reply = ClientUpdates.Reply(product, "%s://%s" % (self.server.scheme, host), self.server.folder)
        self.answer["scenario"] = reply.scenario
        if reply.delay_ms and not self.wait_while_client_stays(reply.delay_ms / 1000.0):
            self.answer["end"] = "client gone during header stall"
            self.close_connection = True
            return
        headers = [("Content-Type", "application/json")]
        if reply.declare is not None:
            headers.append(("Content-Length", str(reply.declare)))
        must_close = reply.declare is None or reply.declare != len(reply.body)
        self.start_answer(reply.status, headers, False, must_close)
        self.write_body(reply.body[:reply.declare] if reply.declare is not None else reply.body)
        self.wfile.flush()

    def answer_package_file(self, url):
        parts = url.path[len(PackageFiles.PREFIX):].split("/", 1)
        path = PackageFiles.Path(self.server.folder, parts[0])
        if path is None:
            self.send_simple(404, b"no such package file\n")
            return
        s = Scenario(url.query)
        number = self.server.next_request_number(s.tag)
        failua = urllib.parse.parse_qs(url.query).get("failua", [None])[-1]
        if failua is not None and failua not in self.headers.get("User-Agent", ""):
            s.faults = 0                      # the fault switches are for the other user agent
        s.apply_request_number(number)
        self.answer["number"] = number
        s.size = os.path.getsize(path)
        s.source = lambda offset, count: PackageFiles.Read(path, offset, count)
        if "lastmodified" not in url.query:
            s.last_modified = email.utils.formatdate(int(os.path.getmtime(path)), usegmt=True)
        hold = urllib.parse.parse_qs(url.query).get("holdfile", [None])[-1]
        if hold:
            s.hold_file = os.path.join(self.server.folder, "holds", os.path.basename(hold))
        self.answer_data(s)

    # --- the wire -------------------------------------------------------------------------
    def start_answer(self, status, headers, lowercase, must_close=False):
        self.answer["status"] = status
        self.send_response_only(status)
        headers = headers + [("Date", self.date_time_string())]
        if must_close:
            headers.append(("Connection", "close"))
            self.close_connection = True
        for name, value in headers:
            self.send_header(name.lower() if lowercase else name, value)
        self.end_headers()

    def send_body(self, s, first, count):
        """Writes count bytes of the body from offset first, acting on the mid-body switches."""
        sent = 0
        slice_size = 4096 if s.rate else 65536
        # Pacing by an absolute deadline: slice k goes out no earlier than start + bytes sent
        # before it / rate, so the time spent writing is part of the budget and every client
        # (curl too) gets the rate asked for, not less.
        paced_from = time.monotonic()
        while sent < count:
            n = min(slice_size, count - sent)
            for limit in (s.stall_at, s.close_at, s.reset_at):
                if limit is not None and sent < limit:
                    n = min(n, limit - sent)
            if n > 0:
                self.write_body(s.read(first + sent, n), s.chunked)
                sent += n
                if s.rate:
                    ahead = paced_from + sent / float(s.rate) - time.monotonic()
                    if ahead > 0:
                        time.sleep(ahead)
            if s.stall_at is not None and sent == s.stall_at:
                s.stall_at = None
                if not self.wait_while_client_stays(s.stall_ms / 1000.0, s.hold_file):
                    self.answer["end"] = "client gone during stall"
                    self.close_connection = True
                    return
                paced_from = time.monotonic() - sent / float(s.rate) if s.rate else paced_from   # no burst after it
            if s.close_at is not None and sent == s.close_at:
                self.answer["end"] = "closed"
                self.wfile.flush()
                self.connection.shutdown(socket.SHUT_WR)
                self.close_connection = True
                return
            if s.reset_at is not None and sent == s.reset_at:
                self.answer["end"] = "reset"
                self.wfile.flush()
                # A zero linger time makes close() send RST; the file objects go first, because
                # the socket only really closes once nothing refers to it any more.
                self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                self.rfile.close()
                self.wfile.close()
                self.connection.close()
                self.close_connection = True
                return
        if s.chunked:
            self.wfile.write(b"0\r\n\r\n")
        self.wfile.flush()

    def write_body(self, data, chunked=False):
        if chunked:
            self.wfile.write(b"%x\r\n" % len(data) + data + b"\r\n")
        else:
            self.wfile.write(data)
        self.answer["sent"] += len(data)

    def wait_while_client_stays(self, seconds, hold_file=None):
        """Sleeps up to seconds (at most MAX_STALL_SECONDS), or until hold_file (when given) is
        gone; False as soon as the client closes."""
        self.wfile.flush()
        end = time.monotonic() + min(max(seconds, 0.0), MAX_STALL_SECONDS)
        while True:
            left = end - time.monotonic()
            if left <= 0 or (hold_file is not None and not os.path.exists(hold_file)):
                return True
            readable, _, _ = select.select([self.connection], [], [], min(left, 0.1))
            if readable:
                try:
                    if isinstance(self.connection, ssl.SSLSocket):
                        data = self.connection.recv(1)      # TLS cannot peek; nothing is sent mid-answer
                    else:
                        data = self.connection.recv(1, socket.MSG_PEEK)
                except (OSError, ValueError):
                    return False
                if data == b"":
                    return False
                time.sleep(min(left, 0.1))   # pipelined data: keep waiting

    # --- the request log ------------------------------------------------------------------
    def log_answer(self, url):
        entry = {
            "time": round(time.time(), 3),
            "scheme": self.server.scheme,
            "method": self.command,
            "path": url.path,
            "query": url.query,
            "headers": {k: v for k, v in self.headers.items()},
            "range": self.headers.get("Range"),
            "status": self.answer["status"],
            "sent": self.answer["sent"],
            "end": self.answer["end"],
            "postedLength": len(self.posted),
            "started": self.answer.get("started"),
            "client": self.client_address[1] if self.client_address else None,
        }
        for name in ("number", "gate", "scenario"):
            if name in self.answer:
                entry[name] = self.answer[name]
        if self.answer["posted"] is not None:
            entry["posted"] = self.answer["posted"]
        self.server.log.write(entry)


class RequestLog:
    def __init__(self, path):
        self.lock = threading.Lock()
        self.file = open(path, "a", encoding="utf-8")

    def write(self, entry):
        with self.lock:
            self.file.write(json.dumps(entry, sort_keys=True) + "\n")
            self.file.flush()


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    last_request = time.monotonic()

    def __init__(self, scheme, log, ssl_context=None):
        super().__init__(("127.0.0.1", 0), Handler)
        self.scheme = scheme
        self.log = log
        self.ssl_context = ssl_context
        self.tag_lock = threading.Lock()
        self.tag_counts = {}
        self.gate_condition = threading.Condition()
        self.gate_waiting = {}
        self.gate_open = set()

    def get_request(self):
        sock, address = super().get_request()
        if self.ssl_context is not None:
            # The handshake runs on the handler thread (the first read), not in the accept loop.
            sock = self.ssl_context.wrap_socket(sock, server_side=True, do_handshake_on_connect=False)
        return sock, address

    def handle_error(self, request, client_address):   # broken handshakes and resets are normal here
        pass

    def touch(self):
        Server.last_request = time.monotonic()

    def next_request_number(self, tag):
        with self.tag_lock:
            number = self.tag_counts.get(tag, 0) + 1
            self.tag_counts[tag] = number
            return number

    def pass_gate(self, tag, count, seconds):
        """Holds the caller until count callers of the tag wait here at once; False on time-out."""
        with self.gate_condition:
            self.gate_waiting[tag] = self.gate_waiting.get(tag, 0) + 1
            self.gate_condition.notify_all()
            opened = self.gate_condition.wait_for(lambda: self.gate_waiting[tag] >= count or tag in self.gate_open,
                                                  timeout=min(seconds, MAX_STALL_SECONDS))
            if opened:
                self.gate_open.add(tag)
            return opened


class PackageFiles:
    """/files/<file>/<name>: the bytes of <DIR>/files/<file>.exe (copies of the package stand-in
    made by the build: signed, unsigned, tampered, big) whatever <name> is, so that a test picks
    the name the Updater saves it under. The query takes the switches of /data (Range, If-Range,
    faults=, stallat=, gate=, ...) and two more:
      failua=TEXT    the fault switches act only on requests whose User-Agent contains TEXT
      holdfile=NAME  a stallat= stall also ends once <DIR>/holds/NAME no longer exists"""
    PREFIX = "/files/"

    @staticmethod
    def Path(folder, name):
        if not name or "/" in name or "\\" in name or name.startswith("."):
            return None
        path = os.path.join(folder, "files", name + ".exe")
        return path if os.path.isfile(path) else None

    @staticmethod
    def Read(path, offset, count):
        with open(path, "rb") as f:
            f.seek(offset)
            return f.read(count)

    @staticmethod
    def Sha256(path):
        digest = hashlib.sha256()
        with open(path, "rb") as f:
            for block in iter(lambda: f.read(1 << 20), b""):
                digest.update(block)
        return digest.hexdigest()


class ClientUpdates:
    """/v1/client-updates/?productName=P&version=..&channel=..&dp=..&os=..&uid=..&c=..

    The reply is chosen by the product name, so that each test, which gives its run a product of
    its own ("<scenario>.<unique>"), also gets its own reply: the text before the first "." is
    the scenario, words joined by "-".
      object         {}                           array        [1]
      invalid        a document that is not JSON  emptybody    Content-Length 0
      nolength       a package reply without Content-Length (it ends with the connection)
      slow           a package reply after 6 s    huge         a declared length of 1 MiB
      deep           64 KiB: 2000 nested arrays, then blanks (past a JSON reader's depth limit)
      error500       status 500 carrying a package reply
      sizestring, sizereal, sizenegative   a url with "size" "10", 1.0E3 and -5
      package[-<file>][-<word>...]   the default: {"url", "hash", "size"} of /files/<file>/<name>
          (file signed when not given: signed, unsigned, tampered, big). Words:
          badsize, badhash, nohash, nosize   a wrong or missing size or hash
          failmulti   the multi-stream attempt's requests (user agent "... Updater ...") get 403
          gate        two Range requests are held until both are open at once
          hold        the body stalls after 1 MiB while <DIR>/holds/<product> exists
          hostilebackslash, hostileslash, hostiledrive, hostileempty, hostileescape
                      the name is a%5C..%5Cx.exe, ..%2F..%2Fx.exe, C%3Ax.exe, "" or
                      ..%5C..%5C<product>.exe (two folders above the product's work folder)
          any other word is part of the name "Package_<word>_<word>.exe" ("Package.exe" without),
          which the package stand-in reads (exit1, sleep2000, ...)
    A file <DIR>/scenarios/<product> names the scenario of that product instead (AssignedScenario)."""
    PATH = "/v1/client-updates/"

    # A product whose name a test cannot choose (the Installer runs the Updater for its default
    # product) is given its scenario by the file <DIR>/scenarios/<product>, which holds it as text.
    @staticmethod
    def AssignedScenario(folder, product):
        if not product or not all(c.isalnum() or c in "._-" for c in product) or product.startswith("."):
            return None
        try:
            with open(os.path.join(folder, "scenarios", product), encoding="utf-8") as f:
                return f.read().strip() or None
        except OSError:
            return None
    FILES = ("signed", "unsigned", "tampered", "big")
    HOSTILE = {"hostilebackslash": "a%5C..%5Cx.exe", "hostileslash": "..%2F..%2Fx.exe",
               "hostiledrive": "C%3Ax.exe", "hostileempty": "", "hostileescape": "..%5C..%5C{product}.exe"}
    FIXED = {"object": b"{}", "array": b"[1]", "invalid": b'{"url": "http://127.0.0.1/x.exe",',
             "emptybody": b"", "deep": (b"[" * 2000 + b"]" * 2000).ljust(65536, b" ")}

    class Reply:
        def __init__(self, product, base, folder):
            self.scenario = ClientUpdates.AssignedScenario(folder, product) or product.split(".", 1)[0]
            words = self.scenario.split("-")
            self.status, self.delay_ms, self.body = 200, 0, b""
            kind = words[0]
            if kind in ClientUpdates.FIXED:
                self.body = ClientUpdates.FIXED[kind]
            elif kind in ("sizestring", "sizereal", "sizenegative"):
                size = {"sizestring": '"10"', "sizereal": "1.0E3", "sizenegative": "-5"}[kind]
                self.body = ('{"url": "%s/files/signed/Package.exe", "size": %s}' % (base, size)).encode()
            elif kind == "huge":
                self.body = b"{}"
            else:
                self.body = ClientUpdates.Package(words[1:] if kind in ("package", "nolength", "slow", "error500")
                                                  else [], product, base, folder)
            self.declare = len(self.body)
            if kind == "nolength":
                self.declare = None
            elif kind == "huge":
                self.declare = 1 << 20
            elif kind == "slow":
                self.delay_ms = 6000
            elif kind == "error500":
                self.status = 500

    @staticmethod
    def Package(words, product, base, folder):
        file = words[0] if words and words[0] in ClientUpdates.FILES else "signed"
        words = words[1:] if words and words[0] == file else words
        switches = ["tag=" + urllib.parse.quote(product, safe="")]
        name_words, name = [], None
        for word in words:
            if word in ClientUpdates.HOSTILE:
                name = ClientUpdates.HOSTILE[word].replace("{product}", product)
            elif word == "failmulti":
                switches += ["status=403", "failua=Updater"]
            elif word == "gate":
                switches += ["gate=2", "gatems=60000"]
            elif word == "hold":
                switches += ["stallat=1048576", "stallms=120000", "holdfile=" + urllib.parse.quote(product, safe="")]
            elif word not in ("badsize", "badhash", "nohash", "nosize"):
                name_words.append(word)
        if name is None:
            name = "_".join(["Package"] + name_words) + ".exe"
        path = PackageFiles.Path(folder, file)
        reply = {"url": "%s/files/%s/%s?%s" % (base, file, name, "&".join(switches))}
        if path is not None:
            if "nohash" not in words:
                reply["hash"] = "00" * 32 if "badhash" in words else PackageFiles.Sha256(path)
            if "nosize" not in words:
                reply["size"] = os.path.getsize(path) + (1 if "badsize" in words else 0)
        return json.dumps(reply).encode()


def MakeCertificate(folder):
    key, pem, der = (os.path.join(folder, n) for n in ("https.key", "https.pem", "https.cer"))
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256",
                    "-days", "3", "-subj", "/CN=127.0.0.1",
                    "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost",
                    "-addext", "basicConstraints=critical,CA:TRUE",
                    "-keyout", key, "-out", pem], check=True, capture_output=True)
    subprocess.run(["openssl", "x509", "-in", pem, "-outform", "DER", "-out", der],
                   check=True, capture_output=True)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(pem, key)
    return context


def WriteAtomically(path, text):
    with open(path + ".tmp", "w", encoding="ascii") as f:
        f.write(text)
    os.replace(path + ".tmp", path)


def Serve(folder):
    os.makedirs(folder, exist_ok=True)
    for name in ("http.port", "https.port"):
        if os.path.exists(os.path.join(folder, name)):
            os.remove(os.path.join(folder, name))
    log = RequestLog(os.path.join(folder, "requests.log"))
    servers = [Server("http", log), Server("https", log, MakeCertificate(folder))]
    for server in servers:
        server.folder = folder
    os.makedirs(os.path.join(folder, "holds"), exist_ok=True)
    WriteAtomically(os.path.join(folder, "sha256.txt"),
                    "".join("%d %d %s\n" % (seed, size, BodySha256(seed, size)) for seed, size in DIGEST_CASES))
    for server in servers:
        threading.Thread(target=server.serve_forever, daemon=True).start()
    WriteAtomically(os.path.join(folder, "https.port"), "%d\n" % servers[1].server_address[1])
    WriteAtomically(os.path.join(folder, "http.port"), "%d\n" % servers[0].server_address[1])
    print("serving http on %d, https on %d" % (servers[0].server_address[1], servers[1].server_address[1]),
          flush=True)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    while not stop.wait(1.0):
        if time.monotonic() - Server.last_request > IDLE_EXIT_SECONDS:
            break
    for server in servers:
        server.shutdown()


def IsOurServer(pid):
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return os.path.basename(__file__).encode() in f.read()
    except OSError:
        return False


def Stop(folder):
    pid_path = os.path.join(folder, "server.pid")
    try:
        pid = int(open(pid_path).read().strip())
    except (OSError, ValueError):
        return 0
    if IsOurServer(pid):
        os.kill(pid, signal.SIGTERM)
        end = time.monotonic() + 10
        while IsOurServer(pid) and time.monotonic() < end:
            time.sleep(0.1)
        if IsOurServer(pid):
            os.kill(pid, signal.SIGKILL)
    os.remove(pid_path)
    return 0


def Start(folder):
    os.makedirs(folder, exist_ok=True)
    Stop(folder)                                     # a server left over by an interrupted run
    port_file = os.path.join(folder, "http.port")
    if os.path.exists(port_file):
        os.remove(port_file)
    out = open(os.path.join(folder, "server.out"), "w")
    process = subprocess.Popen([sys.executable, os.path.abspath(__file__), "serve", folder],
                               stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                               start_new_session=True)
    WriteAtomically(os.path.join(folder, "server.pid"), "%d\n" % process.pid)
    end = time.monotonic() + 60
    while time.monotonic() < end:
        if os.path.exists(port_file):
            print(open(os.path.join(folder, "server.out")).read().strip())
            return 0
        if process.poll() is not None:
            break
        time.sleep(0.05)
    print("test server did not start:\n" + open(os.path.join(folder, "server.out")).read(), file=sys.stderr)
    Stop(folder)
    return 1


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("start", "stop", "serve"):
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    command, directory = sys.argv[1], os.path.abspath(sys.argv[2])
    if command == "serve":
        Serve(directory)
    else:
        sys.exit(Start(directory) if command == "start" else Stop(directory))
