// The Windows side of the local test server (tests/servers/http_test_server.py): where it listens,
// the bodies it generates and the request log it keeps. CTest starts the server as the fixture
// "LmTestServer"; a test executable run by hand needs
//   python3 tests/servers/http_test_server.py start build/tests/servers
// first. The server's files are in "<folder of the test executable>\servers".
#pragma once

#include <string>
#include <vector>

namespace LmTest {

// Folder of the server's files (port files, certificate, request log, digest table).
std::wstring ServerDir();
// Port of the plain or the TLS server; 0 when the server's port file is missing.
int ServerPort(bool https = false);
// "http://127.0.0.1:<port>" + pathAndQuery (or https), as the narrow text the request classes take.
std::string ServerUrl(const std::string& pathAndQuery, bool https = false);

// Bytes [offset, offset + count) of the body the server generates for a seed (same generator).
std::string GeneratedBody(unsigned seed, long long offset, size_t count);

// Lines of requests.log (JSON, one per answered request) that contain text; waits up to
// timeoutMs for at least one, since the server writes its line after the last byte went out.
std::vector<std::string> ServerLogLines(const std::string& text, unsigned timeoutMs = 5000);
// The server's clock: seconds since 1970, as it writes a request's "started" (Wine's system time
// is the host's).
double ServerClockNow();
// When the server saw the request of a log line begin ("started"); 0 when the line has none.
double LoggedStartTime(const std::string& line);

// The rows of the server's digest table: seed, size and SHA-256 in lower-case hex (hashlib).
struct DigestCase {
    unsigned seed;
    long long size;
    std::string sha256;
};
std::vector<DigestCase> ServerDigestTable();

} // namespace LmTest
