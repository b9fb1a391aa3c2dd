#include "System/Net/HttpWebRequest.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "System/Exception.h"
#include "TestServer.h"
#include "TestSupport.h"

using Lm::System::CRefPtr;
using Lm::System::Net::CHttpWebRequest;

namespace {

const DWORD kDoneWithinMs = 90000;   // bound for a request that must end on its own

std::string Tag()
{
    std::wstring name = LmTest::UniqueName(L"t");
    return std::string(name.begin(), name.end());
}

bool WaitComplete(CHttpWebRequest& request, DWORD timeoutMs = kDoneWithinMs)
{
    ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!request.IsComplete()) {
        if (GetTickCount64() > end)
            return false;
        Sleep(10);
    }
    return true;
}

std::string Body(CHttpWebRequest& request)
{
    CRefPtr<Lm::System::IO::Stream::CMemoryStream> stream = request.GetResponse().GetResponseStream();
    std::string body(static_cast<size_t>(stream->GetLength()), '\0');
    std::uint32_t n = body.empty() ? 0 : stream->Read(&body[0], static_cast<std::uint32_t>(body.size()));
    body.resize(static_cast<size_t>(n));
    return body;
}

std::string ReadFileBytes(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    std::ofstream out(path.c_str(), std::ios::binary);
    out << bytes;
}

// One server answer and what the request makes of it (body kept in memory).
struct ResponseCase {
    const char* query;        // switches of /data
    int result;
    bool ok;
    int status;
    long long contentLength;  // GetContentLength
    long long bodyBytes;      // expected body: the first bodyBytes of seed 1 (-1: not checked)
    bool headers = true;      // headersReceived
};

const ResponseCase kResponses[] = {
    {"size=1000", 1, true, 200, 1000, 1000},
    {"size=0", 1, true, 200, 0, 0},
    {"size=300000&chunked=1", 1, true, 200, -1, 300000},
    {"size=100000&nolength=1", 1, true, 200, -1, 100000},
    {"size=777&lowercase=1", 1, true, 200, 777, 777},
    {"size=50&status=404", 3, false, 404, 50, 50},
    {"size=50&status=500", 3, false, 500, 50, 50},
    {"size=50&status=401", 3, false, 401, 50, 50},
    {"size=0&status=304", 1, false, 304, 0, -1},
    {"size=100&declare=5000", 7, false, 200, 5000, 100},      // body shorter than declared
    {"size=100000&closeat=3000", 7, false, 200, 100000, 3000},
    {"size=100000&stallat=3000&stallms=500&resetat=3000", 7, false, 200, 100000, -1},
    {"size=100&declare=50", 1, true, 200, 50, 50},           // extra bytes past the length are not body
    // More than memory can hold: refused at the headers, before the status is taken.
    {"size=0&declare=1099511627776", 11, false, -1, 0, 0, false},
};

TEST(HttpWebRequestTest, server_answers_give_their_result_codes_bodies_and_headers)
{
    ASSERT_NE(0, LmTest::ServerPort()) << "the test server is not running";
    for (const ResponseCase& c : kResponses) {
        SCOPED_TRACE(c.query);
        CHttpWebRequest request(LmTest::ServerUrl(std::string("/data?") + c.query + "&tag=" + Tag()));
        request.Start();
        ASSERT_TRUE(WaitComplete(request));
        EXPECT_EQ(c.result, request.GetResult());
        EXPECT_EQ(c.ok, request.IsDownloadOk());
        EXPECT_EQ(c.ok || c.result == 1 ? 3 : 4, request.GetState());
        EXPECT_EQ(c.status, request.GetHttpStatus());
        EXPECT_EQ(c.headers, request.HeadersReceived());
        EXPECT_EQ(c.contentLength, request.GetResponse().GetContentLength());
        EXPECT_EQ(100.0f, request.GetProgressPercent());
        if (c.bodyBytes >= 0) {
            EXPECT_TRUE(Body(request) == LmTest::GeneratedBody(1, 0, static_cast<size_t>(c.bodyBytes)));
        }
    }
}

TEST(HttpWebRequestTest, header_values_are_found_in_any_case)
{
    CHttpWebRequest request(LmTest::ServerUrl("/data?size=12&lowercase=1&setcookie=a%3D1&tag=" + Tag()));
    request.Start();
    ASSERT_TRUE(WaitComplete(request));
    auto& response = request.GetResponse();
    EXPECT_EQ("12", response.GetHeaderValue("Content-Length"));
    EXPECT_EQ("12", response.GetHeaderValue("content-length"));
    EXPECT_EQ("a=1", response.GetHeaderValue("Set-Cookie"));
    EXPECT_EQ("none", response.GetHeaderValue("X-Missing", "none"));
    EXPECT_EQ("none", response.GetHeaderValue("Content", "none"));        // a prefix is not a name
    std::vector<std::string> headers = response.GetHeaders();
    ASSERT_FALSE(headers.empty());
    EXPECT_EQ(0u, headers[0].find("HTTP/1.1 200"));
}

TEST(HttpWebRequestTest, no_server_gives_no_headers_and_http_failure)
{
    // Port 1 of 127.0.0.1: nobody listens there.
    CHttpWebRequest request("http://127.0.0.1:1/data");
    request.Start();
    ASSERT_TRUE(WaitComplete(request));
    EXPECT_FALSE(request.HeadersReceived());
    EXPECT_EQ(3, request.GetResult());
    EXPECT_EQ(4, request.GetState());
    EXPECT_EQ(-1, request.GetHttpStatus());
    EXPECT_FALSE(request.IsDownloadOk());
}

TEST(HttpWebRequestTest, only_http_and_https_urls_are_taken)
{
    for (const char* url : {"ftp://127.0.0.1/file", "file:///c:/x", "http://host:0/"}) {
        SCOPED_TRACE(url);
        try {
            CHttpWebRequest request(url);
            FAIL() << "no exception";
        } catch (const Lm::System::CException& e) {
            EXPECT_EQ(L"Only http and https supported", e.Message());
        }
    }
}

TEST(HttpWebRequestTest, a_body_over_the_limit_fails_before_or_while_reading)
{
    struct {
        const char* query;
        long long maxBytesRead;
    } cases[] = {{"size=1000", 0}, {"size=200000&chunked=1", 200000}, {"size=200000&nolength=1", 200000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query);
        CHttpWebRequest request(LmTest::ServerUrl(std::string("/data?") + c.query + "&tag=" + Tag()));
        request.maxContentLength = 500;
        request.Start();
        ASSERT_TRUE(WaitComplete(request));
        EXPECT_EQ(11, request.GetResult());
        EXPECT_FALSE(request.IsDownloadOk());
        EXPECT_LE(request.GetBytesRead(), c.maxBytesRead);
        EXPECT_LT(request.GetBytesRead(), 200000);
    }
}

TEST(HttpWebRequestTest, request_headers_range_and_agent_reach_the_server)
{
    std::string tag = Tag();
    CHttpWebRequest request(LmTest::ServerUrl("/data?seed=5&size=1000&tag=" + tag));
    request.rangeStart = 10;
    request.rangeEnd = 19;
    request.userAgent = "LmTest/1.0";
    request.contentType = "text/plain";
    request.connection = "keep-alive";
    request.accept = "application/json";
    request.extraHeaders = {"X-One: 1", "X-Two: 2"};
    request.Start();
    ASSERT_TRUE(WaitComplete(request));
    EXPECT_EQ(206, request.GetHttpStatus());
    EXPECT_EQ(1, request.GetResult());
    EXPECT_TRUE(request.IsDownloadOk());
    EXPECT_TRUE(Body(request) == LmTest::GeneratedBody(5, 10, 10));
    EXPECT_EQ("bytes 10-19/1000", request.GetResponse().GetHeaderValue("Content-Range"));
    std::vector<std::string> log = LmTest::ServerLogLines(tag);
    ASSERT_EQ(1u, log.size());
    for (const char* expected : {"\"Range\": \"bytes=10-19\"", "\"User-Agent\": \"LmTest/1.0\"",
                                 "\"Content-Type\": \"text/plain\"", "\"Accept\": \"application/json\"",
                                 "\"X-One\": \"1\"", "\"X-Two\": \"2\"", "\"sent\": 10"})
        EXPECT_NE(std::string::npos, log[0].find(expected)) << expected << "\n" << log[0];
}

TEST(HttpWebRequestTest, set_range_forms_reach_the_server)
{
    struct {
        long long n;
        const char* header;
        long long first, count;
    } cases[] = {{99, "bytes=0-99", 0, 100}, {-900, "bytes=900-", 900, 100}};
    for (const auto& c : cases) {
        std::string tag = Tag();
        CHttpWebRequest request(LmTest::ServerUrl("/data?seed=6&size=1000&tag=" + tag));
        request.SetRange(c.n);
        request.Start();
        ASSERT_TRUE(WaitComplete(request));
        EXPECT_TRUE(Body(request) == LmTest::GeneratedBody(6, c.first, static_cast<size_t>(c.count))) << c.header;
        std::vector<std::string> log = LmTest::ServerLogLines(tag);
        ASSERT_EQ(1u, log.size());
        EXPECT_NE(std::string::npos, log[0].find(std::string("\"range\": \"") + c.header + "\"")) << log[0];
    }
}

TEST(HttpWebRequestTest, post_data_is_sent_as_the_body)
{
    std::string tag = Tag();
    CHttpWebRequest request(LmTest::ServerUrl("/echo?tag=" + tag));
    request.method = "POST";
    request.contentType = "application/x-www-form-urlencoded";
    std::string payload = "event=Update&result=Succeeded";
    request.SetPostData(payload.data(), payload.size());
    request.Start();
    ASSERT_TRUE(WaitComplete(request));
    EXPECT_TRUE(request.IsDownloadOk());
    EXPECT_EQ(payload, Body(request));
    std::vector<std::string> log = LmTest::ServerLogLines(tag);
    ASSERT_EQ(1u, log.size());
    EXPECT_NE(std::string::npos, log[0].find("\"method\": \"POST\"")) << log[0];
    EXPECT_NE(std::string::npos, log[0].find("\"posted\": \"event=Update&result=Succeeded\"")) << log[0];
}

TEST(HttpWebRequestTest, an_attached_cookie_container_sends_the_host_cookies)
{
    std::string tag = Tag();
    std::string url = LmTest::ServerUrl("/data?size=10&tag=" + tag);
    CRefPtr<Lm::System::Net::CCookieContainer> container(new Lm::System::Net::CCookieContainer);
    std::string cookies = "visitor=abc; theme=dark";
    container->GetOrCreateCollection(Lm::System::Net::CUri(url)).AddCookiesFromBuffer(&cookies[0]);
    CHttpWebRequest request(url);
    request.cookieContainer = container;
    request.Start();
    ASSERT_TRUE(WaitComplete(request));
    EXPECT_TRUE(request.IsDownloadOk());
    std::vector<std::string> log = LmTest::ServerLogLines(tag);
    ASSERT_EQ(1u, log.size());
    EXPECT_NE(std::string::npos, log[0].find("\"Cookie\": \"visitor=abc;theme=dark\"")) << log[0];
}

TEST(HttpWebRequestTest, progress_reaches_100_only_at_the_end)
{
    CHttpWebRequest request(LmTest::ServerUrl("/data?seed=2&size=400000&rate=300000&tag=" + Tag()));
    EXPECT_EQ(0.0f, request.GetProgressPercent());
    request.Start();
    float last = 0;
    bool sawMiddle = false;
    ULONGLONG end = GetTickCount64() + kDoneWithinMs;
    while (GetTickCount64() < end) {
        bool finishedBefore = request.IsComplete();
        float p = request.GetProgressPercent();
        EXPECT_GE(p, last);
        last = p;
        if (p > 1 && p < 99)
            sawMiddle = true;
        if (!finishedBefore && p == 100.0f) {
            // 100 means the transfer is over: the whole body is there.
            ASSERT_TRUE(WaitComplete(request));
            EXPECT_EQ(400000, request.GetBytesRead());
        }
        if (finishedBefore)
            break;
        Sleep(20);
    }
    ASSERT_TRUE(request.IsComplete());
    EXPECT_TRUE(sawMiddle);
    EXPECT_EQ(100.0f, request.GetProgressPercent());
    EXPECT_TRUE(request.IsDownloadOk());
}

TEST(HttpWebRequestTest, without_a_declared_length_progress_stays_at_1_until_the_end)
{
    CHttpWebRequest request(LmTest::ServerUrl("/data?size=200000&nolength=1&rate=250000&tag=" + Tag()));
    request.Start();
    ULONGLONG end = GetTickCount64() + kDoneWithinMs;
    bool sawOne = false;
    while (!request.IsComplete() && GetTickCount64() < end) {
        float p = request.GetProgressPercent();
        EXPECT_TRUE(p == 0.0f || p == 1.0f || p == 100.0f) << p;
        if (p == 1.0f)
            sawOne = true;
        Sleep(20);
    }
    ASSERT_TRUE(request.IsComplete());
    EXPECT_TRUE(sawOne);
    EXPECT_EQ(-1, request.GetResponse().GetContentLength());
    EXPECT_EQ(200000, request.GetDeclaredLength());
    EXPECT_TRUE(request.IsDownloadOk());
}

// An abort must come back even when the server stalls and WinINet keeps its call blocked.
TEST(HttpWebRequestTest, abort_during_a_stall_returns_within_a_bound)
{
    for (const char* query : {"stallheaders=60000", "size=100000&stallat=1000&stallms=60000"}) {
        SCOPED_TRACE(query);
        CRefPtr<CHttpWebRequest> request(new CHttpWebRequest(LmTest::ServerUrl(std::string("/data?") + query + "&tag=" + Tag())));
        request->Start();
        Sleep(700);
        EXPECT_FALSE(request->IsComplete());
        ULONGLONG start = GetTickCount64();
        request->Abort();
        EXPECT_LT(GetTickCount64() - start, 20000u);
        EXPECT_EQ(2, request->GetResult());
        EXPECT_EQ(4, request->GetState());
        EXPECT_FALSE(request->IsDownloadOk());
        start = GetTickCount64();
        request = nullptr;                    // the destructor aborts again and must not hang
        EXPECT_LT(GetTickCount64() - start, 20000u);
    }
}

// Abort against the worker's own end. An abort that comes while the worker surely runs (the
// server stalls) must win; one that comes after the end must leave the done outcome alone; in
// between either may win, but the outcome Abort leaves is whole and final: the worker's own end,
// which may come later, changes nothing.
TEST(HttpWebRequestTest, abort_and_the_end_of_the_worker_do_not_race)
{
    struct Case {
        const char* query;
        int delayMs;        // before Abort; -1: wait for the end first
        int expected;       // 1 done, 2 aborted, 0 either
    };
    std::vector<Case> cases = {
        {"size=100000&stallat=1000&stallms=3000", 700, 2},
        {"size=2000", -1, 1},
    };
    for (int delay = 0; delay < 120; delay += 15)
        cases.push_back({"size=2000", delay, 0});
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.query) + " after " + std::to_string(c.delayMs) + " ms");
        CHttpWebRequest request(LmTest::ServerUrl(std::string("/data?") + c.query + "&tag=" + Tag()));
        request.Start();
        if (c.delayMs < 0)
            ASSERT_TRUE(WaitComplete(request));
        else
            Sleep(static_cast<DWORD>(c.delayMs));
        request.Abort();
        const int result = request.GetResult();
        const int state = request.GetState();
        if (c.expected != 0)
            EXPECT_EQ(c.expected, result);
        ASSERT_TRUE(result == 1 || result == 2) << result;
        ASSERT_TRUE(WaitComplete(request));
        EXPECT_EQ(result, request.GetResult()) << "the worker's end changed the outcome after Abort";
        EXPECT_EQ(state, request.GetState()) << "the worker's end changed the state after Abort";
        if (result == 2) {
            EXPECT_EQ(4, state);
            EXPECT_TRUE(request.IsFailed());
            EXPECT_FALSE(request.IsDownloadOk());
        } else {
            EXPECT_EQ(3, state);
            EXPECT_TRUE(request.IsDownloadOk());
            EXPECT_TRUE(Body(request) == LmTest::GeneratedBody(1, 0, 2000));
        }
    }
}

TEST(HttpWebRequestTest, get_response_aborts_a_stalled_read_at_the_idle_limit)
{
    CHttpWebRequest request(LmTest::ServerUrl("/data?size=100000&stallat=5000&stallms=60000&tag=" + Tag()));
    request.idleTimeLimitMs = 1000;
    ULONGLONG start = GetTickCount64();
    request.GetResponse();
    EXPECT_LT(GetTickCount64() - start, 30000u);
    EXPECT_EQ(2, request.GetResult());
    EXPECT_FALSE(request.IsDownloadOk());
}

// CPU seconds the calling thread has used.
double ThreadCpuSeconds()
{
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    auto seconds = [](const FILETIME& t) {
        return ((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

// A limit of 0 is no limit: GetResponse waits for the worker, asleep, until the transfer ends.
// A loop that polls without waiting would also end with the whole body, but would keep the
// caller's thread busy the whole time.
TEST(HttpWebRequestTest, get_response_waits_for_the_end_with_a_total_limit_of_0)
{
    CHttpWebRequest request(LmTest::ServerUrl("/data?seed=3&size=400000&rate=200000&tag=" + Tag()));
    request.totalTimeLimitMs = 0;
    const double cpuBefore = ThreadCpuSeconds();
    const ULONGLONG begin = GetTickCount64();
    request.GetResponse();
    const double wallSeconds = (GetTickCount64() - begin) / 1000.0;
    const double cpuSeconds = ThreadCpuSeconds() - cpuBefore;
    EXPECT_TRUE(request.IsComplete());
    EXPECT_TRUE(request.IsDownloadOk());
    EXPECT_TRUE(Body(request) == LmTest::GeneratedBody(3, 0, 400000));
    EXPECT_GE(wallSeconds, 1.0) << "the transfer is paced to take about 2 s";
    EXPECT_LT(cpuSeconds, wallSeconds / 4) << "GetResponse kept its thread busy while it waited";
}

// Something the transfer code does not expect (here memory: a declared length that a memory
// body cannot get) ends the request as failed, and the request still completes.
TEST(HttpWebRequestTest, an_exception_on_the_worker_fails_the_request_and_ends_it)
{
    CHttpWebRequest request(LmTest::ServerUrl("/data?size=0&declare=2000000000&tag=" + Tag()));
    request.Start();
    ASSERT_TRUE(WaitComplete(request));
    EXPECT_EQ(12, request.GetResult());
    EXPECT_EQ(4, request.GetState());
    EXPECT_TRUE(request.IsFailed());
    EXPECT_FALSE(request.IsDownloadOk());
}

// Abort returns after a bounded wait even when the worker is still blocked on a stalled server;
// the worker's output file must not stand in the caller's way meanwhile.
TEST(HttpWebRequestTest, an_aborted_worker_does_not_keep_the_output_file_from_its_caller)
{
    LmTest::ScratchFolder folder(L"lmhttp");
    std::wstring output = folder / L"patch.exe";
    CHttpWebRequest request(LmTest::ServerUrl("/data?size=200000&stallat=70000&stallms=6000&tag=" + Tag()), output, 0);
    request.Start();
    ASSERT_TRUE(LmTest::WaitForFile(output, 20000));
    Sleep(500);
    request.Abort();
    EXPECT_FALSE(request.IsComplete()) << "the stall outlasts the abort's wait";
    EXPECT_TRUE(DeleteFileW(output.c_str())) << GetLastError();
    ASSERT_TRUE(WaitComplete(request));
    EXPECT_EQ(2, request.GetResult());
    EXPECT_FALSE(LmTest::FileExists(output));
}

TEST(HttpWebRequestTest, get_response_aborts_at_the_total_limit)
{
    CHttpWebRequest request(LmTest::ServerUrl("/data?size=1000000&rate=50000&tag=" + Tag()));
    request.totalTimeLimitMs = 1500;
    request.GetResponse();
    EXPECT_EQ(2, request.GetResult());
    EXPECT_FALSE(request.IsDownloadOk());
}

TEST(HttpWebRequestTest, body_to_a_file_replaces_what_was_there)
{
    LmTest::ScratchFolder folder(L"lmhttp");
    std::wstring output = folder / L"patch.exe";
    WriteFileBytes(output, "stale bytes of an earlier attempt");
    CHttpWebRequest request(LmTest::ServerUrl("/data?seed=8&size=250000&tag=" + Tag()), output, 0);
    request.Start();
    ASSERT_TRUE(WaitComplete(request));
    EXPECT_TRUE(request.IsDownloadOk());
    EXPECT_TRUE(ReadFileBytes(output) == LmTest::GeneratedBody(8, 0, 250000));
    EXPECT_EQ(0, request.GetResponse().GetResponseStream()->GetLength());
}

TEST(HttpWebRequestTest, an_error_page_goes_to_the_file_and_fails)
{
    LmTest::ScratchFolder folder(L"lmhttp");
    std::wstring output = folder / L"patch.exe";
    CHttpWebRequest request(LmTest::ServerUrl("/data?size=64&status=404&tag=" + Tag()), output, 4);   // 4: start now
    ASSERT_TRUE(WaitComplete(request));
    EXPECT_EQ(3, request.GetResult());
    EXPECT_FALSE(request.IsDownloadOk());
    EXPECT_TRUE(ReadFileBytes(output) == LmTest::GeneratedBody(1, 0, 64));
}

TEST(HttpWebRequestTest, an_output_file_that_cannot_be_opened_fails_with_8)
{
    LmTest::ScratchFolder folder(L"lmhttp");
    CHttpWebRequest request(LmTest::ServerUrl("/data?size=64&tag=" + Tag()), folder / L"missing\\sub\\x.exe", 0);
    request.Start();
    ASSERT_TRUE(WaitComplete(request));
    EXPECT_EQ(8, request.GetResult());
    EXPECT_FALSE(request.IsDownloadOk());
}

TEST(HttpWebRequestTest, resumable_mode_resumes_from_the_cache_and_commits_it)
{
    LmTest::ScratchFolder folder(L"lmhttp");
    std::wstring output = folder / L"patch.exe";
    std::string url = LmTest::ServerUrl("/data?seed=11&size=300000");

    // A first request leaves 5000 bytes and the record of the server's Last-Modified.
    std::string lastModified;
    {
        CHttpWebRequest probe(url);
        probe.rangeStart = 0;
        probe.rangeEnd = 0;
        probe.Start();
        ASSERT_TRUE(WaitComplete(probe));
        lastModified = probe.GetResponse().GetHeaderValue("Last-Modified");
    }
    ASSERT_FALSE(lastModified.empty());
    WriteFileBytes(output + L"_cache", LmTest::GeneratedBody(11, 0, 5000));
    WriteFileBytes(output + L"_filedata", "File-Data-Version: 1\r\nLast-Modified: " + lastModified +
                                              "\r\nContent-Length: 300000\r\nUrl: " + url + "\r\n");
    CHttpWebRequest sameUrl(url, output, 1);
    sameUrl.Start();
    ASSERT_TRUE(WaitComplete(sameUrl));
    EXPECT_EQ(206, sameUrl.GetHttpStatus());
    EXPECT_TRUE(sameUrl.IsDownloadOk());
    EXPECT_EQ(295000, sameUrl.GetBytesRead());
    EXPECT_TRUE(ReadFileBytes(output) == LmTest::GeneratedBody(11, 0, 300000));
    EXPECT_FALSE(LmTest::FileExists(output + L"_cache"));
}

TEST(HttpWebRequestTest, resumable_mode_starts_over_on_a_small_cache_or_a_changed_resource)
{
    LmTest::ScratchFolder folder(L"lmhttp");
    struct {
        size_t cacheBytes;
        const char* storedLastModified;
    } cases[] = {{99, nullptr}, {5000, "Sat, 01 Jan 2000 00:00:00 GMT"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cacheBytes);
        std::wstring output = folder / LmTest::UniqueName(L"out");
        std::string url = LmTest::ServerUrl("/data?seed=12&size=120000");
        WriteFileBytes(output + L"_cache", LmTest::GeneratedBody(12, 0, c.cacheBytes));
        if (c.storedLastModified)
            WriteFileBytes(output + L"_filedata", std::string("File-Data-Version: 1\r\nLast-Modified: ") +
                                                      c.storedLastModified + "\r\nContent-Length: 120000\r\nUrl: " +
                                                      url + "\r\n");
        CHttpWebRequest request(url, output, 1);
        request.Start();
        ASSERT_TRUE(WaitComplete(request));
        EXPECT_EQ(200, request.GetHttpStatus());
        EXPECT_TRUE(request.IsDownloadOk());
        EXPECT_TRUE(ReadFileBytes(output) == LmTest::GeneratedBody(12, 0, 120000));
    }
}

// Resuming needs a validator: without a stored Last-Modified the server could not tell (If-Range)
// that the cache still belongs to the resource, so the request starts afresh. With one, a 206
// whose Content-Range does not start at the cache's end is not appended: the cache goes and the
// request fails, so that the next one starts afresh.
TEST(HttpWebRequestTest, resumable_mode_resumes_only_with_a_validator_and_the_right_range)
{
    LmTest::ScratchFolder folder(L"lmhttp");
    struct {
        const char* name;
        bool storeLastModified;
        const char* extra;
        bool ok;
        const char* range;       // the Range header the server saw, "" for none
    } cases[] = {
        {"no validator", false, "", true, ""},
        {"range starts elsewhere", true, "&contentrange=wrongstart", false, "bytes=5000-"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::wstring output = folder / LmTest::UniqueName(L"out");
        std::string tag = Tag();
        std::string url = LmTest::ServerUrl("/data?seed=13&size=120000" + std::string(c.extra) + "&tag=" + tag);
        std::string lastModified;
        if (c.storeLastModified) {
            CHttpWebRequest probe(LmTest::ServerUrl("/data?seed=13&size=10"));
            probe.Start();
            ASSERT_TRUE(WaitComplete(probe));
            lastModified = probe.GetResponse().GetHeaderValue("Last-Modified");
            ASSERT_FALSE(lastModified.empty());
        }
        WriteFileBytes(output + L"_cache", LmTest::GeneratedBody(13, 0, 5000));
        WriteFileBytes(output + L"_filedata",
                       "File-Data-Version: 1\r\n" +
                           (c.storeLastModified ? "Last-Modified: " + lastModified + "\r\n" : std::string()) +
                           "Content-Length: 120000\r\nUrl: " + url + "\r\n");
        CHttpWebRequest request(url, output, 1);
        request.Start();
        ASSERT_TRUE(WaitComplete(request));
        EXPECT_EQ(c.ok, request.IsDownloadOk());
        std::vector<std::string> log = LmTest::ServerLogLines(tag);
        ASSERT_EQ(1u, log.size());
        if (*c.range)
            EXPECT_NE(std::string::npos, log[0].find(std::string("\"range\": \"") + c.range + "\"")) << log[0];
        else
            EXPECT_NE(std::string::npos, log[0].find("\"range\": null")) << log[0];
        if (c.ok) {
            EXPECT_TRUE(ReadFileBytes(output) == LmTest::GeneratedBody(13, 0, 120000));
        } else {
            EXPECT_FALSE(LmTest::FileExists(output));
            EXPECT_FALSE(LmTest::FileExists(output + L"_cache"));
            EXPECT_FALSE(LmTest::FileExists(output + L"_filedata"));
        }
    }
}

// Told the body's length, a request takes no other: a declared length that differs fails before
// the body is read, a body that goes past it or ends short of it fails at once, all with 13, and
// nothing past the length reaches the file. An error page stays an HTTP failure.
TEST(HttpWebRequestTest, a_body_of_another_length_than_expected_fails_at_once_with_13)
{
    LmTest::ScratchFolder folder(L"lmhttp");
    struct {
        const char* query;
        long long expected;
        int result;
    } cases[] = {
        {"size=100000", 100000, 1},
        {"size=100000&nolength=1", 100000, 1},
        {"size=100000&declare=100500", 100000, 13},
        {"size=100000&declare=99000", 100000, 13},
        {"size=50000000&nolength=1&rate=4000000", 100000, 13},
        {"size=99999&nolength=1", 100000, 13},
        {"size=50&status=404", 100000, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query);
        const std::wstring output = folder / LmTest::UniqueName(L"out");
        CHttpWebRequest request(LmTest::ServerUrl(std::string("/data?") + c.query + "&tag=" + Tag()), output, 0);
        request.expectedLength = c.expected;
        const ULONGLONG begin = GetTickCount64();
        request.Start();
        ASSERT_TRUE(WaitComplete(request));
        EXPECT_LT(GetTickCount64() - begin, 30000u) << "at once";
        EXPECT_EQ(c.result, request.GetResult());
        EXPECT_EQ(c.result == 1, request.IsDownloadOk());
        EXPECT_LE(static_cast<long long>(ReadFileBytes(output).size()), c.expected) << "nothing past the expected length is written";
        if (c.result == 1)
            EXPECT_TRUE(ReadFileBytes(output) == LmTest::GeneratedBody(1, 0, static_cast<size_t>(c.expected)));
    }
}

// The caller's poll (CheckTimeout) ends a request that brings fewer than 64 KiB within its
// progress bound, whether the server trickles or says nothing: result 14.
TEST(HttpWebRequestTest, check_timeout_ends_a_trickle_or_a_silent_server_with_14)
{
    for (const char* query : {"size=1000000&rate=2000", "size=5000&stallheaders=60000"}) {
        SCOPED_TRACE(query);
        CHttpWebRequest request(LmTest::ServerUrl(std::string("/data?") + query + "&tag=" + Tag()));
        request.noProgressLimitMs = 1500;
        const ULONGLONG begin = GetTickCount64();
        request.Start();
        bool ended = false;
        while (!ended && GetTickCount64() - begin < 20000) {
            ended = request.IsComplete() || request.CheckTimeout();
            Sleep(50);
        }
        EXPECT_TRUE(ended);
        EXPECT_EQ(14, request.GetResult());
        EXPECT_FALSE(request.IsDownloadOk());
    }
}

// The server's certificate is self-signed and made at test time. With INTERNET_FLAG_SECURE WinINet
// checks it and refuses the connection before any request is sent. (Wine's chain engine trusts
// only the host's CA store, so a download over a trusted test certificate shows on Windows only.)
TEST(HttpWebRequestTest, https_refuses_a_certificate_it_does_not_trust)
{
    ASSERT_NE(0, LmTest::ServerPort(true));
    std::string tag = Tag();
    CHttpWebRequest request(LmTest::ServerUrl("/data?size=10&tag=" + tag, true));
    request.Start();
    ASSERT_TRUE(WaitComplete(request));
    EXPECT_FALSE(request.HeadersReceived());
    EXPECT_EQ(3, request.GetResult());
    EXPECT_EQ(4, request.GetState());
    EXPECT_FALSE(request.IsDownloadOk());
    EXPECT_TRUE(LmTest::ServerLogLines(tag, 500).empty());     // no request went out
}

} // namespace
