#!/usr/bin/env python3
"""Checks the local test server itself (native Python, run by CTest inside the server fixture):
ranges, status switches, truncation, resets, chunking, the request log and the digest table."""

import hashlib
import http.client
import json
import os
import socket
import ssl
import sys
import threading
import time
import unittest
import uuid

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import http_test_server as server  # noqa: E402

FOLDER = os.environ.get("LM_TEST_SERVER_DIR", "")


def Port(name):
    return int(open(os.path.join(FOLDER, name)).read())


def Get(path, headers=None, port_file="http.port"):
    if port_file == "https.port":
        context = ssl.create_default_context(cafile=os.path.join(FOLDER, "https.pem"))
        c = http.client.HTTPSConnection("127.0.0.1", Port(port_file), timeout=20, context=context)
    else:
        c = http.client.HTTPConnection("127.0.0.1", Port(port_file), timeout=20)
    c.request("GET", path, headers=headers or {})
    r = c.getresponse()
    return r, r.read(), c


def LogEntries(tag, timeout=5.0):
    end = time.monotonic() + timeout
    while True:
        with open(os.path.join(FOLDER, "requests.log"), encoding="utf-8") as f:
            found = [json.loads(line) for line in f if tag in line]
        if found or time.monotonic() > end:
            return found
        time.sleep(0.05)


class ServerTest(unittest.TestCase):
    def test_whole_body_matches_the_generator(self):
        r, body, _ = Get("/data?seed=7&size=200000")
        self.assertEqual(200, r.status)
        self.assertEqual("200000", r.getheader("Content-Length"))
        self.assertEqual(server.Body(7, 0, 200000), body)
        self.assertEqual(server.Body(7, 65521, 10), server.Body(7, 0, 10))

    def test_ranges(self):
        cases = [("bytes=10-19", 206, 10, 10, "bytes 10-19/1000"),
                 ("bytes=990-", 206, 990, 10, "bytes 990-999/1000"),
                 ("bytes=-5", 206, 995, 5, "bytes 995-999/1000"),
                 ("bytes=900-5000", 206, 900, 100, "bytes 900-999/1000"),
                 ("bytes=1000-", 416, 0, 0, "bytes */1000")]
        for wanted, status, first, count, content_range in cases:
            r, body, _ = Get("/data?seed=3&size=1000", {"Range": wanted})
            self.assertEqual(status, r.status, wanted)
            self.assertEqual(content_range, r.getheader("Content-Range"), wanted)
            self.assertEqual(server.Body(3, first, count), body, wanted)

    def test_if_range_and_if_modified_since(self):
        r, _, _ = Get("/data?seed=3&size=1000")
        stamp = r.getheader("Last-Modified")
        r, body, _ = Get("/data?seed=3&size=1000", {"Range": "bytes=10-", "If-Range": stamp})
        self.assertEqual(206, r.status)
        r, body, _ = Get("/data?seed=3&size=1000", {"Range": "bytes=10-", "If-Range": "Sat, 01 Jan 2000 00:00:00 GMT"})
        self.assertEqual((200, 1000), (r.status, len(body)))
        r, body, _ = Get("/data?seed=3&size=1000", {"If-Modified-Since": stamp})
        self.assertEqual((304, b""), (r.status, body))

    def test_status_switch_sends_the_body(self):
        for status in (401, 404, 500):
            r, body, _ = Get("/data?size=33&status=%d" % status)
            self.assertEqual((status, server.Body(1, 0, 33)), (r.status, body))

    def test_keep_alive_serves_two_requests_on_one_connection(self):
        r, _, c = Get("/data?size=10")
        c.request("GET", "/data?size=20")
        self.assertEqual(20, len(c.getresponse().read()))

    def test_chunked_and_no_length(self):
        r, body, _ = Get("/data?seed=4&size=70000&chunked=1")
        self.assertEqual(("chunked", server.Body(4, 0, 70000)), (r.getheader("Transfer-Encoding"), body))
        r, body, _ = Get("/data?seed=4&size=5000&nolength=1")
        self.assertEqual((None, server.Body(4, 0, 5000)), (r.getheader("Content-Length"), body))

    def test_declared_length_larger_than_the_body_ends_early(self):
        c = http.client.HTTPConnection("127.0.0.1", Port("http.port"), timeout=20)
        c.request("GET", "/data?size=100&declare=5000")
        r = c.getresponse()
        self.assertEqual("5000", r.getheader("Content-Length"))
        with self.assertRaises(http.client.IncompleteRead):
            r.read()

    def test_reset_and_close_at(self):
        tag = uuid.uuid4().hex
        for switch in ("resetat", "closeat"):
            s = socket.create_connection(("127.0.0.1", Port("http.port")), timeout=20)
            s.sendall(("GET /data?size=100000&%s=3000&tag=%s HTTP/1.1\r\nHost: x\r\n\r\n" % (switch, tag)).encode())
            data = b""
            try:
                while True:
                    piece = s.recv(65536)
                    if not piece:
                        break
                    data += piece
            except ConnectionResetError:
                pass
            s.close()
            self.assertEqual(server.Body(1, 0, 3000), data.split(b"\r\n\r\n", 1)[1], switch)
        ends = sorted(e["end"] for e in LogEntries(tag))
        self.assertEqual(["closed", "reset"], ends)

    def test_lower_case_headers_and_the_log(self):
        tag = uuid.uuid4().hex
        s = socket.create_connection(("127.0.0.1", Port("http.port")), timeout=20)
        s.sendall(("GET /data?size=5&lowercase=1&tag=%s HTTP/1.1\r\nHost: x\r\nRange: bytes=1-2\r\n\r\n" % tag).encode())
        head = s.recv(65536).decode("latin-1")
        s.close()
        self.assertIn("\r\ncontent-length: 2\r\n", head)
        entry = LogEntries(tag)[0]
        self.assertEqual(("bytes=1-2", 206, 2), (entry["range"], entry["status"], entry["sent"]))

    def test_stall_before_headers_ends_when_the_client_leaves(self):
        tag = uuid.uuid4().hex
        s = socket.create_connection(("127.0.0.1", Port("http.port")), timeout=20)
        s.sendall(("GET /data?stallheaders=60000&tag=%s HTTP/1.1\r\nHost: x\r\n\r\n" % tag).encode())
        time.sleep(0.3)
        s.close()
        self.assertEqual("client gone during header stall", LogEntries(tag)[0]["end"])

    def test_range_faults_for_the_multi_stream_download(self):
        tag = uuid.uuid4().hex
        cases = [("contentrange=wrongstart", 206, "bytes 11-19/100"), ("contentrange=wrongend", 206, "bytes 10-18/100"),
                 ("contentrange=wrongtotal", 206, "bytes 10-19/101"), ("contentrange=star", 206, "bytes 10-19/*"),
                 ("contentrange=missing", 206, None), ("ignorerange=1", 200, None)]
        for switch, status, content_range in cases:
            r, body, _ = Get("/data?seed=4&size=100&%s&tag=%s" % (switch, tag), {"Range": "bytes=10-19"})
            self.assertEqual((status, content_range), (r.status, r.getheader("Content-Range")), switch)
            self.assertEqual(server.Body(4, 10 if status == 206 else 0, 10 if status == 206 else 100), body, switch)
            self.assertEqual("bytes", r.getheader("Accept-Ranges"), switch)
        r, _, _ = Get("/data?size=10&acceptranges=none&nolastmodified=1")
        self.assertEqual(("none", None), (r.getheader("Accept-Ranges"), r.getheader("Last-Modified")))

    def test_faults_act_on_the_first_requests_of_a_tag_only(self):
        tag = uuid.uuid4().hex
        statuses = [Get("/data?size=10&status=500&faults=2&tag=" + tag)[0].status for _ in range(3)]
        self.assertEqual([500, 500, 200], statuses)
        self.assertEqual([1, 2, 3], sorted(e["number"] for e in LogEntries(tag)))

    def test_change_after_serves_another_body_of_the_same_size(self):
        tag = uuid.uuid4().hex
        first, body1, _ = Get("/data?seed=5&size=50&changeafter=1&seed2=6&tag=" + tag)
        second, body2, _ = Get("/data?seed=5&size=50&changeafter=1&seed2=6&tag=" + tag)
        self.assertEqual((server.Body(5, 0, 50), server.Body(6, 0, 50)), (body1, body2))
        self.assertNotEqual(first.getheader("Last-Modified"), second.getheader("Last-Modified"))

    def test_change_after_can_change_only_the_etag_or_the_size(self):
        tag = uuid.uuid4().hex
        query = "/data?seed=5&size=50&etag=%22a%22&changeafter=1&etag2=%22b%22&size2=60&tag=" + tag
        first, body1, _ = Get(query)
        second, body2, _ = Get(query)
        self.assertEqual(('"a"', '"b"'), (first.getheader("ETag"), second.getheader("ETag")))
        self.assertEqual((server.Body(5, 0, 50), server.Body(5, 0, 60)), (body1, body2))
        self.assertEqual(first.getheader("Last-Modified"), second.getheader("Last-Modified"))

    def test_gate_holds_ranges_until_two_are_open(self):
        tag = uuid.uuid4().hex
        results = []
        def fetch(wanted):
            r, body, _ = Get("/data?size=100&gate=2&gatems=10000&tag=" + tag, {"Range": wanted})
            results.append(r.status)
        first = threading.Thread(target=fetch, args=("bytes=0-49",))
        first.start()
        time.sleep(0.5)
        self.assertEqual([], results, "the first range waits for the second")
        fetch("bytes=50-99")
        first.join(10)
        self.assertEqual([206, 206], results)
        entries = LogEntries(tag)
        for _ in range(50):
            if len(entries) >= 2:
                break
            time.sleep(0.1)
            entries = LogEntries(tag)
        self.assertEqual(["open", "open"], [e["gate"] for e in entries])

    def test_https_serves_the_same_bodies(self):
        r, body, _ = Get("/data?seed=9&size=3000", port_file="https.port")
        self.assertEqual((200, server.Body(9, 0, 3000)), (r.status, body))

    def test_digest_table_matches_hashlib(self):
        with open(os.path.join(FOLDER, "sha256.txt")) as f:
            rows = [line.split() for line in f]
        self.assertEqual(len(server.DIGEST_CASES), len(rows))
        seed, size, digest = rows[3]
        self.assertEqual(hashlib.sha256(server.Body(int(seed), 0, int(size))).hexdigest(), digest)
        self.assertEqual(hashlib.sha256(b"").hexdigest(), rows[0][2])


@unittest.skipUnless(os.path.isfile(os.path.join(FOLDER, "files", "signed.exe")), "the package copies are not built")
class UpdaterEndpointsTest(unittest.TestCase):
    """The client-services stand-in and the package files (the Updater's tests)."""

    def Reply(self, product):
        r, body, _ = Get("/v1/client-updates/?productName=%s&version=0&channel=live" % product)
        return r, body

    def test_fixed_replies_by_product(self):
        cases = [("object.1", 200, b"{}", "2"), ("array.1", 200, b"[1]", "3"), ("emptybody.1", 200, b"", "0"),
                 ("huge.1", 200, None, str(1 << 20))]
        for product, status, body, length in cases:
            c = http.client.HTTPConnection("127.0.0.1", Port("http.port"), timeout=20)
            c.request("GET", "/v1/client-updates/?productName=" + product)
            r = c.getresponse()
            self.assertEqual((status, length), (r.status, r.getheader("Content-Length")), product)
            if body is not None:
                self.assertEqual(body, r.read(), product)
        r, body = self.Reply("nolength.1")
        self.assertIsNone(r.getheader("Content-Length"))
        self.assertIn("url", json.loads(body))
        r, body = self.Reply("error500.1")
        self.assertEqual(500, r.status)
        self.assertEqual(-5, json.loads(self.Reply("sizenegative.1")[1])["size"])

    def test_a_package_reply_names_a_served_file_with_its_digest(self):
        product = "package-big-exit3-failmulti-hold." + uuid.uuid4().hex
        reply = json.loads(self.Reply(product)[1])
        path = os.path.join(FOLDER, "files", "big.exe")
        self.assertEqual((os.path.getsize(path), server.PackageFiles.Sha256(path)), (reply["size"], reply["hash"]))
        self.assertIn("/files/big/Package_exit3.exe?tag=" + product, reply["url"])
        for switch in ("status=403", "failua=Updater", "stallat=1048576", "holdfile=" + product):
            self.assertIn(switch, reply["url"])
        wrong = json.loads(self.Reply("package-unsigned-badsize-nohash.1")[1])
        self.assertEqual(os.path.getsize(os.path.join(FOLDER, "files", "unsigned.exe")) + 1, wrong["size"])
        self.assertNotIn("hash", wrong)
        self.assertEqual("00" * 32, json.loads(self.Reply("package-badhash.1")[1])["hash"])
        for word, name in (("hostiledrive", "C%3Ax.exe?"), ("hostileempty", "/signed/?"),
                           ("hostileescape", "..%5C..%5Cpackage-hostileescape.7.exe?")):
            self.assertIn(name, json.loads(self.Reply("package-%s.7" % word)[1])["url"], word)

    def test_files_are_served_in_ranges_and_faults_follow_the_user_agent(self):
        tag = uuid.uuid4().hex
        data = open(os.path.join(FOLDER, "files", "signed.exe"), "rb").read()
        r, body, _ = Get("/files/signed/any%20name.exe?tag=" + tag, {"Range": "bytes=100-199"})
        self.assertEqual((206, data[100:200]), (r.status, body))
        url = "/files/signed/x.exe?status=403&failua=Updater&tag=" + tag
        self.assertEqual(403, Get(url, {"User-Agent": "Mozilla/4.0 (compatible; MSIE 5.0; Updater 1.1.1.85; CDA 6.0)"})[0].status)
        r, body, _ = Get(url, {"User-Agent": "Mozilla/4.0 (compatible; MSIE 5.0; CDA 6.0)"})
        self.assertEqual((200, data), (r.status, body))
        self.assertEqual(404, Get("/files/nosuchfile/x.exe")[0].status)

    def test_a_hold_ends_when_its_file_goes(self):
        hold = uuid.uuid4().hex
        open(os.path.join(FOLDER, "holds", hold), "w").close()
        results = []
        def fetch():
            r, body, _ = Get("/files/signed/x.exe?stallat=10&stallms=60000&holdfile=" + hold)
            results.append(len(body))
        thread = threading.Thread(target=fetch)
        thread.start()
        time.sleep(1.0)
        self.assertEqual([], results, "held while the file exists")
        os.remove(os.path.join(FOLDER, "holds", hold))
        thread.join(20)
        self.assertEqual([os.path.getsize(os.path.join(FOLDER, "files", "signed.exe"))], results)


if __name__ == "__main__":
    unittest.main(warnings="ignore")
