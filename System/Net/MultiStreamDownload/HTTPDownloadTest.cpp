// The multi-stream download against the local test server: what arrives on disk, which
// requests the server saw (its request log), and how the download survives kills and faults.
#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "System/Net/MultiStreamDownload/DownloadFiles.h"
#include "System/Net/MultiStreamDownload/DownloadThread.h"
#include "System/Net/MultiStreamDownload/HTTPDownload.h"
#include "System/Net/MultiStreamDownload/ProgressFile.h"
#include "System/String/AnsiWide.h"
#include "System/Win32/Thread.h"
#include "OtherProcessFileLock.h"
#include "TestServer.h"
#include "TestSupport.h"

using namespace Lm::System::Net::MultiStreamDownload;

namespace {

const uint32_t kMiB = 1024 * 1024;
const uint32_t k20MiB = 20 * kMiB;

std::string Tag()
{
    return Lm::Utf16ToUtf8(LmTest::UniqueName(L"msd"));
}

std::wstring Url(const std::string& query)
{
    return Lm::AnsiToWide(LmTest::ServerUrl("/data?" + query));
}

// One request of the server's log, the fields these tests look at.
struct LoggedRequest {
    int number = 0;
    std::string range;   // empty: no Range header
    int status = 0;
    std::string gate;
    long long sent = 0;
};

std::string JsonField(const std::string& line, const std::string& name)
{
    const std::string key = "\"" + name + "\": ";
    size_t at = line.find(key);
    if (at == std::string::npos)
        return "";
    at += key.size();
    if (line.compare(at, 4, "null") == 0)
        return "";
    if (line[at] == '"') {
        size_t end = line.find('"', at + 1);
        return line.substr(at + 1, end - at - 1);
    }
    size_t end = line.find_first_of(",}", at);
    return line.substr(at, end - at);
}

// The requests of a tag (always the last switch of a URL), in their order of arrival; waits
// until count of them are logged.
std::vector<LoggedRequest> Requests(const std::string& tag, size_t count = 1)
{
    std::vector<LoggedRequest> result;
    // The server logs a request once its answer ended; an abandoned answer ends when the closer
    // has closed it, which may take a while behind other closes.
    const ULONGLONG end = GetTickCount64() + 60000;
    do {
        result.clear();
        for (const std::string& line : LmTest::ServerLogLines("tag=" + tag + "\"", 2000)) {
            LoggedRequest r;
            r.number = atoi(JsonField(line, "number").c_str());
            r.range = JsonField(line, "range");
            r.status = atoi(JsonField(line, "status").c_str());
            r.gate = JsonField(line, "gate");
            r.sent = atoll(JsonField(line, "sent").c_str());
            result.push_back(r);
        }
        if (result.size() >= count)
            break;
        Sleep(100);
    } while (GetTickCount64() < end);
    std::sort(result.begin(), result.end(),
              [](const LoggedRequest& a, const LoggedRequest& b) { return a.number < b.number; });
    return result;
}

std::string Sha256(const std::string& data)
{
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    std::string hex;
    if (CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) &&
        CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash) &&
        CryptHashData(hash, reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()), 0)) {
        BYTE digest[32];
        DWORD size = sizeof(digest);
        if (CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0))
            for (DWORD i = 0; i < size; ++i) {
                char two[3];
                std::snprintf(two, sizeof(two), "%02x", digest[i]);
                hex += two;
            }
    }
    if (hash)
        CryptDestroyHash(hash);
    if (provider)
        CryptReleaseContext(provider, 0);
    return hex;
}

std::string ReadAll(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The file holds exactly the generated body of seed and size (its SHA-256 compared).
void ExpectBody(const std::wstring& path, unsigned seed, uint32_t size)
{
    const std::string data = ReadAll(path);
    ASSERT_EQ(size, data.size());
    EXPECT_EQ(Sha256(LmTest::GeneratedBody(seed, 0, size)), Sha256(data));
}

void ExpectOnlyTarget(const std::wstring& target)
{
    EXPECT_TRUE(LmTest::FileExists(target));
    for (const std::wstring& name : { StateFileName(target), CacheFileName(target), StreamRecordFileName(target, 0),
                                      StreamRecordFileName(target, 1) })
        EXPECT_FALSE(LmTest::FileExists(name)) << Lm::Utf16ToUtf8(name);
}

// Runs a download in this process until it completes or fails (bounded).
DownloadStatus Download(const std::wstring& url, const std::wstring& target, DWORD timeoutMs = 150000)
{
    CHTTPDownload download(L"LmTest/1", url, target, nullptr, nullptr, 5);
    DownloadStatus status;
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        download.GetStatus(status);
        if (status.complete || status.failed || GetTickCount64() > end)
            return status;
        Sleep(50);
    }
}

std::string ErrorText(const DownloadStatus& status)
{
    return status.error ? Lm::Utf16ToUtf8(status.error->ToString()) : std::string();
}

LmTest::RunResult RunHarness(const std::wstring& url, const std::wstring& target, const std::wstring& options,
                             DWORD timeoutMs = 170000)
{
    return LmTest::RunProgram(LmTest::TestDir() + L"DownloadHarness.exe",
                              L"\"" + url + L"\" \"" + target + L"\" " + options, timeoutMs);
}

// The offset a stream's record holds, or the range start when there is no valid record.
uint32_t RecordedOffset(const std::wstring& target, uint32_t stream, uint32_t rangeStart)
{
    StreamProgress record(target, stream);
    return record.Read(nullptr) ? record.Offset : rangeStart;
}

} // namespace

TEST(ContentRange, is_parsed_exactly)
{
    struct Case { const char* text; bool ok; uint32_t first, last, total; bool totalKnown; } cases[] = {
        { "bytes 0-9/10", true, 0, 9, 10, true },
        { "bytes 10485760-20971520/20971521", true, 10485760, 20971520, 20971521, true },
        { "bytes 5-9/*", true, 5, 9, 0, false },
        { "bytes 0-4294967294/4294967295", true, 0, 4294967294u, 4294967295u, true },
        { "bytes 0-9/4294967296", false, 0, 0, 0, false },
        { "bytes 9-0/10", false, 0, 0, 0, false },
        { "bytes 0-10/10", false, 0, 0, 0, false },
        { "bytes 0-9", false, 0, 0, 0, false },
        { "bytes */10", false, 0, 0, 0, false },
        { "bytes=0-9/10", false, 0, 0, 0, false },
        { "bytes 0-9/10x", false, 0, 0, 0, false },
        { "bytes -9/10", false, 0, 0, 0, false },
        { "", false, 0, 0, 0, false },
    };
    for (const Case& c : cases) {
        ContentRange range;
        ASSERT_EQ(c.ok, ParseContentRange(c.text, range)) << c.text;
        if (!c.ok)
            continue;
        EXPECT_EQ(c.first, range.first) << c.text;
        EXPECT_EQ(c.last, range.last) << c.text;
        EXPECT_EQ(c.totalKnown, range.totalKnown) << c.text;
        if (c.totalKnown)
            EXPECT_EQ(c.total, range.total) << c.text;
    }
}

// A target that is there already counts as done only when a state file vouches for its size
// (what a run killed between the final move and the removal of the state file leaves); any other
// file at the target, of unknown origin or of the wrong size, is fetched again.
TEST(HTTPDownload, existing_target_is_taken_only_when_its_size_matches_the_recorded_total)
{
    struct Case { const char* name; uint32_t recordedTotal; bool taken; } cases[] = {
        { "recorded total matches", 100, true },
        { "no state file", 0, false },
        { "recorded total differs", 101, false },
    };
    for (const Case& c : cases) {
        LmTest::ScratchFolder folder(L"lmdl");
        const std::wstring target = folder / L"there.bin";
        {
            std::ofstream out(target.c_str(), std::ios::binary);
            out << std::string(100, 'x');
        }
        if (c.recordedTotal != 0)
            DownloadProgress(target, 1, c.recordedTotal).Write();
        const std::string tag = Tag();
        DownloadStatus status = Download(Url("seed=22&size=100&tag=" + tag), target);
        ASSERT_TRUE(status.complete) << c.name << ": " << ErrorText(status);
        ExpectOnlyTarget(target);
        if (c.taken) {
            EXPECT_EQ(100u, status.bytesDone) << c.name;
            EXPECT_EQ(100u, status.totalSize) << c.name;
            EXPECT_EQ(100.0f, status.percent) << c.name;
            EXPECT_EQ(std::string(100, 'x'), ReadAll(target)) << c.name;
            EXPECT_TRUE(LmTest::ServerLogLines("tag=" + tag + "\"", 300).empty()) << c.name;
        } else {
            ExpectBody(target, 22, 100);
            EXPECT_EQ(1u, Requests(tag).size()) << c.name;
        }
    }
}

TEST(HTTPDownload, small_file_arrives_in_one_request_and_leaves_only_the_target)
{
    LmTest::ScratchFolder folder(L"lmdl");
    const std::wstring target = folder / L"small.bin";
    const std::string tag = Tag();
    DownloadStatus status = Download(Url("seed=21&size=300001&tag=" + tag), target);
    ASSERT_TRUE(status.complete) << ErrorText(status);
    EXPECT_EQ(300001u, status.bytesDone);
    EXPECT_EQ(300001u, status.totalSize);
    EXPECT_EQ(100.0f, status.percent);
    EXPECT_EQ(1u, status.streamCount);
    ExpectBody(target, 21, 300001);
    ExpectOnlyTarget(target);
    std::vector<LoggedRequest> requests = Requests(tag);
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("", requests[0].range);
}

// 20 MiB is fetched by one stream; one byte more and the download restarts in two ranges that
// the server sees open at the same time (its gate holds each range until the other arrives).
TEST(HTTPDownload, twenty_mib_is_one_request_and_one_byte_more_is_two_ranges_at_once)
{
    struct Case { uint32_t size; uint32_t streams; std::vector<std::string> ranges; } cases[] = {
        { k20MiB, 1, { "" } },
        { k20MiB + 1, 2, { "", "bytes=0-10485759", "bytes=10485760-20971520" } },
    };
    for (const Case& c : cases) {
        LmTest::ScratchFolder folder(L"lmdl");
        const std::wstring target = folder / L"big.bin";
        const std::string tag = Tag();
        DownloadStatus status = Download(Url("seed=5&size=" + std::to_string(c.size) + "&gate=2&tag=" + tag), target);
        ASSERT_TRUE(status.complete) << c.size << ": " << ErrorText(status);
        EXPECT_EQ(c.streams, status.streamCount) << c.size;
        ExpectBody(target, 5, c.size);
        ExpectOnlyTarget(target);
        std::vector<LoggedRequest> requests = Requests(tag, c.ranges.size());
        ASSERT_EQ(c.ranges.size(), requests.size()) << c.size;
        std::vector<std::string> ranges;
        for (const LoggedRequest& r : requests)
            ranges.push_back(r.range);
        std::sort(ranges.begin() + 1, ranges.end());
        EXPECT_EQ(c.ranges, ranges) << c.size;
        for (size_t i = 1; i < requests.size(); ++i)
            EXPECT_EQ("open", requests[i].gate) << "both ranges were open at once";
    }
}

TEST(HTTPDownload, killed_two_stream_download_resumes_at_the_recorded_offsets)
{
    LmTest::ScratchFolder folder(L"lmdl");
    const std::wstring target = folder / L"resume.bin";
    const std::string tag = Tag();
    const uint32_t size = k20MiB + 1;
    const std::wstring url = Url("seed=9&size=" + std::to_string(size) + "&rate=2500000&tag=" + tag);
    LmTest::RunResult killed = RunHarness(url, target, L"killat=6000000 killstreams=2");
    ASSERT_TRUE(killed.finished);
    ASSERT_EQ(99u, killed.exitCode);
    ASSERT_TRUE(LmTest::FileExists(StateFileName(target)));
    const uint32_t offset0 = RecordedOffset(target, 0, 0);
    const uint32_t offset1 = RecordedOffset(target, 1, 10485760);
    EXPECT_GT(offset0 + offset1 - 10485760, 0u) << "the first run wrote something";
    const size_t firstRun = Requests(tag, 3).size();

    const std::wstring resumeUrl = Url("seed=9&size=" + std::to_string(size) + "&tag=" + tag);
    LmTest::RunResult resumed = RunHarness(resumeUrl, target, L"");
    ASSERT_TRUE(resumed.finished);
    ASSERT_EQ(0u, resumed.exitCode);
    ExpectBody(target, 9, size);
    ExpectOnlyTarget(target);

    std::vector<LoggedRequest> requests = Requests(tag, firstRun + 2);
    ASSERT_EQ(firstRun + 2, requests.size());
    std::vector<std::string> ranges = { requests[firstRun].range, requests[firstRun + 1].range };
    std::sort(ranges.begin(), ranges.end());
    std::vector<std::string> expected = { "bytes=" + std::to_string(offset0) + "-10485759",
                                          "bytes=" + std::to_string(offset1) + "-20971520" };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, ranges);
}

// A single stream killed on its way; the second run meets the server in one of several moods.
TEST(HTTPDownload, killed_single_stream_download_resumes_or_starts_over_as_it_must)
{
    struct Case {
        const char* name;
        std::string secondQuery;   // added to the second run's URL
        bool deleteCache;
        bool expectOpenRange;      // the second run's first request asks for "bytes=<offset>-"
        unsigned resultSeed;
    } cases[] = {
        { "unchanged", "", false, true, 31 },
        { "changed file", "&changeafter=0&seed2=32", false, true, 32 },
        { "range ignored", "&ignorerange=1", false, true, 31 },
        { "cache lost", "", true, false, 31 },
    };
    const uint32_t size = 1 * kMiB + 17;
    for (const Case& c : cases) {
        LmTest::ScratchFolder folder(L"lmdl");
        const std::wstring target = folder / L"single.bin";
        const std::string tag = Tag();
        const std::string base = "seed=31&size=" + std::to_string(size);
        LmTest::RunResult killed = RunHarness(Url(base + "&rate=400000&tag=" + tag), target, L"killat=300000");
        ASSERT_EQ(99u, killed.exitCode) << c.name;
        const uint32_t offset = RecordedOffset(target, 0, 0);
        if (c.deleteCache)
            ASSERT_TRUE(DeleteFileW(CacheFileName(target).c_str()));

        LmTest::RunResult second = RunHarness(Url(base + c.secondQuery + "&tag=" + tag), target, L"");
        ASSERT_TRUE(second.finished) << c.name;
        EXPECT_EQ(0u, second.exitCode) << c.name;
        ExpectBody(target, c.resultSeed, size);
        ExpectOnlyTarget(target);
        std::vector<LoggedRequest> requests = Requests(tag, 2);
        ASSERT_GE(requests.size(), 2u) << c.name;
        if (c.expectOpenRange && offset != 0)
            EXPECT_EQ("bytes=" + std::to_string(offset) + "-", requests[1].range) << c.name;
        else
            EXPECT_EQ("", requests[1].range) << c.name;
    }
}

namespace {

// A large file from a server without ranges: the two-stream plan fails on the 200 answers and
// the download restarts as one plain stream, which then refuses the multi-stream request.
void ExpectSingleStreamFallback(const char* mood)
{
    LmTest::ScratchFolder folder(L"lmdl");
    const std::wstring target = folder / L"noranges.bin";
    const std::string tag = Tag();
    DownloadStatus status = Download(Url("seed=11&size=" + std::to_string(k20MiB + 1) + "&" + mood + "&tag=" + tag),
                                     target);
    ASSERT_TRUE(status.complete) << mood << ": " << ErrorText(status);
    EXPECT_EQ(1u, status.streamCount) << mood;
    ExpectBody(target, 11, k20MiB + 1);
    ExpectOnlyTarget(target);
    std::vector<LoggedRequest> requests = Requests(tag, 4);
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ("", requests.back().range) << mood << ": the last request is a plain single stream";
    for (const LoggedRequest& r : requests)
        EXPECT_EQ(200, r.status) << mood;
}

// Requests 1 (the whole-file probe) to 3 (the two ranges) get the fault; the retries do not.
void ExpectRangeRetry(const char* fault)
{
    LmTest::ScratchFolder folder(L"lmdl");
    const std::wstring target = folder / L"range.bin";
    const std::string tag = Tag();
    DownloadStatus status = Download(
        Url("seed=12&size=" + std::to_string(k20MiB + 1) + "&contentrange=" + fault + "&faults=3&tag=" + tag), target);
    ASSERT_TRUE(status.complete) << fault << ": " << ErrorText(status);
    EXPECT_EQ(2u, status.streamCount) << fault;
    ExpectBody(target, 12, k20MiB + 1);
    std::vector<LoggedRequest> requests = Requests(tag, 5);
    EXPECT_EQ(5u, requests.size()) << fault << ": each range was asked for twice";
}

} // namespace

TEST(HTTPDownload, large_file_from_a_server_that_ignores_ranges_finishes_in_one_stream)
{
    ExpectSingleStreamFallback("ignorerange=1");
}

TEST(HTTPDownload, large_file_from_a_server_without_ranges_finishes_in_one_stream)
{
    ExpectSingleStreamFallback("noranges=1");
}

TEST(HTTPDownload, a_content_range_with_a_wrong_start_fails_the_attempt_and_the_retry_succeeds)
{
    ExpectRangeRetry("wrongstart");
}

TEST(HTTPDownload, a_content_range_with_a_wrong_total_fails_the_attempt_and_the_retry_succeeds)
{
    ExpectRangeRetry("wrongtotal");
}

TEST(HTTPDownload, a_missing_content_range_fails_the_attempt_and_the_retry_succeeds)
{
    ExpectRangeRetry("missing");
}

TEST(HTTPDownload, server_ending_early_restarts_and_completes)
{
    LmTest::ScratchFolder folder(L"lmdl");
    const std::wstring target = folder / L"early.bin";
    const std::string tag = Tag();
    DownloadStatus status = Download(Url("seed=13&size=400000&closeat=150000&faults=1&tag=" + tag), target);
    ASSERT_TRUE(status.complete) << ErrorText(status);
    ExpectBody(target, 13, 400000);
    std::vector<LoggedRequest> requests = Requests(tag, 2);
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ("", requests[1].range) << "a restart fetches from the start";
}

// Every answer ends after 100000 bytes: four restarts from zero are allowed, the fifth request
// is refused and the stream goes on from what it has, one range request per attempt.
TEST(HTTPDownload, fifth_restart_is_refused_and_the_stream_carries_on)
{
    LmTest::ScratchFolder folder(L"lmdl");
    const std::wstring target = folder / L"limit.bin";
    const std::string tag = Tag();
    DownloadStatus status = Download(Url("seed=14&size=400000&closeat=100000&tag=" + tag), target);
    ASSERT_TRUE(status.complete) << ErrorText(status);
    ExpectBody(target, 14, 400000);
    std::vector<LoggedRequest> requests = Requests(tag, 8);
    ASSERT_EQ(8u, requests.size());
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ("", requests[i].range) << i;
    EXPECT_EQ("bytes=100000-", requests[5].range);
    EXPECT_EQ("bytes=200000-", requests[6].range);
    EXPECT_EQ("bytes=300000-", requests[7].range);
}

TEST(HTTPDownload, resumed_download_checks_the_stored_total_at_the_end)
{
    LmTest::ScratchFolder folder(L"lmdl");
    const std::wstring target = folder / L"total.bin";
    const std::string tag = Tag();
    // What a killed run of a 200005-byte download would have left: 1000 bytes of the cache.
    DownloadProgress(target, 1, 200005).Write();
    StreamProgress(target, 0, 1000, 0, "UNKNOWN", 1).Write(nullptr);
    {
        std::ofstream cache(CacheFileName(target).c_str(), std::ios::binary);
        const std::string head = LmTest::GeneratedBody(15, 0, 1000);
        cache.write(head.data(), static_cast<std::streamsize>(head.size()));
    }
    DownloadStatus status = Download(Url("seed=15&size=200000&tag=" + tag), target);
    ASSERT_TRUE(status.failed);
    EXPECT_NE(std::string::npos, ErrorText(status).find("Output file is wrong size. "));
    EXPECT_NE(std::string::npos, ErrorText(status).find("should be 200005 but is 200000"));
    EXPECT_FALSE(LmTest::FileExists(target));
    EXPECT_EQ("bytes=1000-", Requests(tag)[0].range);
}

// Cancel closes the stalled request's handles after a second's grace. Windows' WinINet ends the
// blocked call at once; Wine 8's does not (the call returns when the server's stall ends), so
// here the destructor's wait is bounded by the stall, and Cancel's own return is what is timed.
TEST(HTTPDownload, cancel_during_a_stall_returns_promptly_and_removes_every_file)
{
    LmTest::ScratchFolder folder(L"lmdl");
    const std::wstring target = folder / L"stall.bin";
    const std::string tag = Tag();
    ULONGLONG elapsed = 0;
    {
        auto download = std::make_unique<CHTTPDownload>(L"LmTest/1", Url("size=5000&stallheaders=15000&tag=" + tag),
                                                        target, nullptr, nullptr, 5);
        Sleep(1500); // the request is out and the server holds its answer
        const ULONGLONG begin = GetTickCount64();
        download->Cancel();
        elapsed = GetTickCount64() - begin;
        download.reset();
    }
    EXPECT_LT(elapsed, 10000u) << "cancel returns while the request is still stalled";
    for (const std::wstring& name : { target, StateFileName(target), CacheFileName(target),
                                      StreamRecordFileName(target, 0) })
        EXPECT_FALSE(LmTest::FileExists(name)) << Lm::Utf16ToUtf8(name);
}

TEST(HTTPDownload, destroying_a_stalled_download_keeps_its_state_for_a_later_run)
{
    LmTest::ScratchFolder folder(L"lmdl");
    const std::wstring target = folder / L"keep.bin";
    const std::string tag = Tag();
    {
        CHTTPDownload download(L"LmTest/1", Url("size=5000&stallheaders=10000&tag=" + tag), target, nullptr, nullptr,
                               5);
        Sleep(1500);
    }
    EXPECT_TRUE(LmTest::FileExists(StateFileName(target)));
    EXPECT_FALSE(LmTest::FileExists(target));
}

namespace {
struct Notifications {
    int failed = 0;
    int total = 0;
};
void CountNotification(DownloadStatus* status, void* context)
{
    Notifications* n = static_cast<Notifications*>(context);
    ++n->total;
    if (status->failed)
        ++n->failed;
}
} // namespace

TEST(HTTPDownload, unauthorized_fails_at_once_asks_for_fresh_auth_and_notifies_once)
{
    LmTest::ScratchFolder folder(L"lmdl");
    const std::wstring target = folder / L"auth.bin";
    const std::string tag = Tag();
    Notifications notifications;
    DownloadStatus status;
    {
        CHTTPDownload download(L"LmTest/1", Url("size=100&status=401&tag=" + tag), target, CountNotification,
                               &notifications, 5);
        const ULONGLONG end = GetTickCount64() + 30000;
        do {
            Sleep(50);
            download.GetStatus(status);
        } while (!status.failed && GetTickCount64() < end);
    }
    ASSERT_TRUE(status.failed);
    EXPECT_TRUE(status.authRefreshNeeded);
    const std::string text = ErrorText(status);
    EXPECT_NE(std::string::npos, text.find("HTTPDownloadThreadCallback")) << text;
    EXPECT_NE(std::string::npos, text.find("Download Thread Error")) << text;
    EXPECT_NE(std::string::npos, text.find("HTTP status is 401:  refresh auth needed.")) << text;
    EXPECT_EQ(1, notifications.failed);
    EXPECT_EQ(1u, Requests(tag).size());
    EXPECT_FALSE(LmTest::FileExists(StateFileName(target))) << "a failed download is cleaned up";
}

// A resumed download whose first range is complete in its record: that stream reports done
// before it asks for anything. The download must still wait for the second range (every holder
// exists before any stream runs) and then hold exactly the file.
TEST(HTTPDownload, a_range_done_at_resume_waits_for_the_other_before_the_file_is_made)
{
    LmTest::ScratchFolder folder(L"lmdl");
    const std::wstring target = folder / L"half.bin";
    const std::string tag = Tag();
    const uint32_t size = 300001, chunk = size / 2;
    DownloadProgress(target, 2, size).Write();
    StreamProgress(target, 0, chunk, size, "UNKNOWN", 2).Write(nullptr);
    StreamProgress(target, 1, chunk + 1000, size, "UNKNOWN", 2).Write(nullptr);
    {
        std::ofstream cache(CacheFileName(target).c_str(), std::ios::binary);
        const std::string head = LmTest::GeneratedBody(23, 0, chunk + 1000);
        cache.write(head.data(), static_cast<std::streamsize>(head.size()));
    }
    DownloadStatus status = Download(Url("seed=23&size=" + std::to_string(size) + "&rate=400000&tag=" + tag), target);
    ASSERT_TRUE(status.complete) << ErrorText(status);
    EXPECT_EQ(2u, status.streamCount);
    ExpectBody(target, 23, size);
    ExpectOnlyTarget(target);
    std::vector<LoggedRequest> requests = Requests(tag);
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("bytes=" + std::to_string(chunk + 1000) + "-" + std::to_string(size - 1), requests[0].range);
}

// Another program holds the target open: the final move fails (100 tries, 250 ms apart), the
// download fails with that message, and the cache and records go with the controller.
TEST(HTTPDownload, a_cache_that_cannot_be_moved_onto_the_target_fails_the_download)
{
    LmTest::ScratchFolder folder(L"lmdl");
    const std::wstring target = folder / L"held.bin";
    {
        std::ofstream out(target.c_str(), std::ios::binary);
        out << "held";
    }
    LmTest::OtherProcessFileLock lock(target);
    ASSERT_TRUE(lock.Locked());
    DownloadStatus status = Download(Url("seed=24&size=5000&tag=" + Tag()), target, 90000);
    ASSERT_TRUE(status.failed) << "complete: " << status.complete;
    EXPECT_NE(std::string::npos, ErrorText(status).find("Failed to move cache file to ")) << ErrorText(status);
    for (const std::wstring& name : { StateFileName(target), CacheFileName(target), StreamRecordFileName(target, 0) })
        EXPECT_FALSE(LmTest::FileExists(name)) << Lm::Utf16ToUtf8(name);
}

namespace {

double UnixNow()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const unsigned long long ticks = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return (ticks - 116444736000000000ull) / 1e7;
}

// When the server logged a request as started (seconds since 1970, its own clock: this host's).
double Started(const std::string& line)
{
    return atof(JsonField(line, "started").c_str());
}

} // namespace

// Cancel as soon as the first answer gives a size that asks for two ranges: the restart runs
// on the watchdog meanwhile. Whatever point of the restart the Cancel meets, no stream may
// start after Cancel returned (the restart checks again before it starts streams), and the
// controller removes every file.
TEST(HTTPDownload, cancel_racing_a_restart_leaves_no_stream_running)
{
    for (int delayMs : { 0, 30, 80 }) {
        SCOPED_TRACE(delayMs);
        LmTest::ScratchFolder folder(L"lmdl");
        const std::wstring target = folder / L"race.bin";
        const std::string tag = Tag();
        double cancelledAt = 0;
        {
            CHTTPDownload download(L"LmTest/1",
                                   Url("seed=25&size=" + std::to_string(64 * kMiB) + "&tag=" + tag),
                                   target, nullptr, nullptr, 5);
            DownloadStatus status;
            const ULONGLONG end = GetTickCount64() + 60000;
            do {
                Sleep(5);
                download.GetStatus(status);
            } while (status.totalSize == 0 && !status.failed && GetTickCount64() < end);
            ASSERT_NE(0u, status.totalSize) << ErrorText(status);
            Sleep(static_cast<DWORD>(delayMs));
            download.Cancel();
            cancelledAt = UnixNow();
            Sleep(3000); // a stream started by a restart that missed the Cancel would show now
        }
        for (const std::string& line : LmTest::ServerLogLines("tag=" + tag + "\"", 2000))
            EXPECT_LT(Started(line), cancelledAt + 0.5) << "a request started after Cancel: " << line;
        for (const std::wstring& name : { target, StateFileName(target), CacheFileName(target),
                                          StreamRecordFileName(target, 0), StreamRecordFileName(target, 1) })
            EXPECT_FALSE(LmTest::FileExists(name)) << Lm::Utf16ToUtf8(name);
    }
}

// The restarted ranges meet a server that holds them before their headers. Cancel returns at
// once; the destructor returns within a bound (the streams' WinINet time-out ends their stalled
// calls: closing from another thread does not, under Wine) and leaves no file behind.
TEST(HTTPDownload, cancel_and_destruction_return_within_a_bound_while_the_restart_stalls)
{
    LmTest::ScratchFolder folder(L"lmdl");
    const std::wstring target = folder / L"stalled.bin";
    const std::string tag = Tag();
    auto download = std::make_unique<CHTTPDownload>(
        L"LmTest/1", Url("seed=26&size=" + std::to_string(k20MiB + 1) + "&rate=8000000&gate=3&gatems=100000&tag=" + tag),
        target, nullptr, nullptr, 5);
    DownloadStatus status;
    const ULONGLONG end = GetTickCount64() + 60000;
    do {
        Sleep(50);
        download->GetStatus(status);
    } while (status.streamCount != 2 && !status.failed && GetTickCount64() < end);
    ASSERT_EQ(2u, status.streamCount) << ErrorText(status);
    Sleep(1000); // both ranges are out and held by the server
    ULONGLONG begin = GetTickCount64();
    download->Cancel();
    EXPECT_LT(GetTickCount64() - begin, 5000u);
    begin = GetTickCount64();
    download.reset();
    EXPECT_LT(GetTickCount64() - begin, 90000u);
    for (const std::wstring& name : { target, StateFileName(target), CacheFileName(target),
                                      StreamRecordFileName(target, 0), StreamRecordFileName(target, 1) })
        EXPECT_FALSE(LmTest::FileExists(name)) << Lm::Utf16ToUtf8(name);
}

namespace {
// Stands in for a stream thread at the barrier: never started, only its stop is used.
class CBarrierCaller : public Lm::System::Win32::CThread {
protected:
    DWORD Execute() override { return 0; }
};
} // namespace

// A stream whose final read is repeated (a failed attempt, then the retry) checks in twice. It
// still counts once: the last stream then passes the barrier at once instead of waiting for a
// count that can never match. The download's own streams are held by the server meanwhile.
TEST(HTTPDownload, a_stream_that_checks_in_again_at_the_barrier_counts_once)
{
    LmTest::ScratchFolder folder(L"lmdl");
    const std::wstring target = folder / L"barrier.bin";
    const uint32_t size = 300001;
    DownloadProgress(target, 2, size).Write();
    {
        std::ofstream cache(CacheFileName(target).c_str(), std::ios::binary);
    }
    CHTTPDownload download(L"LmTest/1", Url("seed=27&size=" + std::to_string(size) + "&stallheaders=6000&tag=" + Tag()),
                           target, nullptr, nullptr, 5);
    CBarrierCaller caller;
    EXPECT_TRUE(download.WaitForAllStreams(0, &caller)) << "not the last stream: passes at once";
    EXPECT_TRUE(download.WaitForAllStreams(0, &caller)) << "its final read again";
    std::thread stopper([&caller]() {
        Sleep(3000);
        caller.SignalStop();
    });
    const ULONGLONG begin = GetTickCount64();
    const bool passed = download.WaitForAllStreams(1, &caller);
    const ULONGLONG elapsed = GetTickCount64() - begin;
    stopper.join();
    EXPECT_TRUE(passed) << "the last stream was held until its stop";
    EXPECT_LT(elapsed, 2000u);
}
