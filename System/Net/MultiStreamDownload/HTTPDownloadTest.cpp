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

#include "System/Crc32.h"
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

// What the state file of a download of url (told no size and no digest) holds.
DownloadIdentity IdentityOf(const std::wstring& url)
{
    return DownloadIdentity::For(Lm::Utf16ToMBCS_CP(CP_ACP, url), 0, "");
}

DownloadOptions StallBound(DWORD ms)
{
    DownloadOptions options;
    options.stallBoundMs = ms;
    return options;
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

void ExpectNothingLeft(const std::wstring& target, const std::string& name)
{
    for (const std::wstring& file : { target, StateFileName(target), CacheFileName(target),
                                      StreamRecordFileName(target, 0), StreamRecordFileName(target, 1) })
        EXPECT_FALSE(LmTest::FileExists(file)) << name << ": " << Lm::Utf16ToUtf8(file);
}

// Runs a download in this process until it completes or fails (bounded).
DownloadStatus Download(const std::wstring& url, const std::wstring& target, DWORD timeoutMs = 150000,
                        const DownloadOptions& options = DownloadOptions())
{
    CHTTPDownload download(L"LmTest/1", url, target, nullptr, nullptr, 5, options);
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

// The cache a killed run would have left: the first bytes of the body of seed.
void WriteCache(const std::wstring& target, unsigned seed, size_t bytes)
{
    std::ofstream cache(CacheFileName(target).c_str(), std::ios::binary);
    const std::string head = LmTest::GeneratedBody(seed, 0, bytes);
    cache.write(head.data(), static_cast<std::streamsize>(head.size()));
}

// The offset a stream's record holds, or the range start when there is no valid record.
uint64_t RecordedOffset(const std::wstring& target, uint32_t stream, uint64_t rangeStart)
{
    StreamProgress record(target, stream);
    return record.Read(nullptr) ? record.Offset : rangeStart;
}

} // namespace

TEST(ContentRange, is_parsed_exactly)
{
    struct Case { const char* text; bool ok; uint64_t first, last, total; bool totalKnown; } cases[] = {
        { "bytes 0-9/10", true, 0, 9, 10, true },
        { "bytes 10485760-20971520/20971521", true, 10485760, 20971520, 20971521, true },
        { "bytes 5-9/*", true, 5, 9, 0, false },
        { "bytes 0-4294967294/4294967295", true, 0, 4294967294u, 4294967295u, true },
        // Past 4 GiB: no 32-bit wrap.
        { "bytes 0-9/4294967296", true, 0, 9, 4294967296ull, true },
        { "bytes 4294967296-6442450943/6442450944", true, 4294967296ull, 6442450943ull, 6442450944ull, true },
        { "bytes 0-9/18446744073709551615", true, 0, 9, 18446744073709551615ull, true },
        { "bytes 0-9/18446744073709551616", false, 0, 0, 0, false },
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
    struct Case { const char* name; uint32_t recordedTotal; bool taken; bool otherUrl; } cases[] = {
        { "recorded total matches", 100, true, false },
        { "no state file", 0, false, false },
        { "recorded total differs", 101, false, false },
        { "state file of another download", 100, false, true },
    };
    for (const Case& c : cases) {
        LmTest::ScratchFolder folder(L"lmdl");
        const std::wstring target = folder / L"there.bin";
        {
            std::ofstream out(target.c_str(), std::ios::binary);
            out << std::string(100, 'x');
        }
        const std::string tag = Tag();
        const std::wstring url = Url("seed=22&size=100&tag=" + tag);
        if (c.recordedTotal != 0)
            DownloadProgress(target, 1, c.recordedTotal,
                             c.otherUrl ? IdentityOf(Lm::AnsiToWide(LmTest::ServerUrl("/other"))) : IdentityOf(url))
                .Write();
        DownloadStatus status = Download(url, target);
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
    const uint64_t offset0 = RecordedOffset(target, 0, 0);
    const uint64_t offset1 = RecordedOffset(target, 1, 10485760);
    EXPECT_GT(offset0 + offset1 - 10485760, 0ull) << "the first run wrote something";
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
        const uint64_t offset = RecordedOffset(target, 0, 0);
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

// The two ranges name another total than the first answer did: the file changed under the
// download. It starts afresh as one stream (which then stays one stream), not retried as a
// transient fault of each range.
TEST(HTTPDownload, two_ranges_with_another_total_restart_afresh_in_one_stream)
{
    LmTest::ScratchFolder folder(L"lmdl");
    const std::wstring target = folder / L"total.bin";
    const std::string tag = Tag();
    DownloadStatus status = Download(
        Url("seed=12&size=" + std::to_string(k20MiB + 1) + "&contentrange=wrongtotal&faults=3&tag=" + tag), target);
    ASSERT_TRUE(status.complete) << ErrorText(status);
    EXPECT_EQ(1u, status.streamCount);
    ExpectBody(target, 12, k20MiB + 1);
    ExpectOnlyTarget(target);
    // After the probe and the range (or two) that met the other total, one plain stream from the
    // start. Abandoned answers are logged once the closer has drained them, which may take long:
    // the test looks for the fresh request only.
    bool found = false;
    for (const ULONGLONG end = GetTickCount64() + 60000; !found && GetTickCount64() < end; Sleep(100)) {
        for (const LoggedRequest& r : Requests(tag, 1))
            found = found || (r.number >= 3 && r.range.empty());
    }
    EXPECT_TRUE(found) << "no plain request after the ranges";
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

// What a killed run of a 200005-byte download left (1000 bytes of the cache) meets a file of
// 200000 bytes now: another file. The records go and the download starts afresh, instead of
// appending to bytes of the old file or failing on the old size at the end.
TEST(HTTPDownload, a_resumed_download_whose_total_changed_starts_afresh)
{
    LmTest::ScratchFolder folder(L"lmdl");
    const std::wstring target = folder / L"total.bin";
    const std::string tag = Tag();
    const std::wstring url = Url("seed=15&size=200000&tag=" + tag);
    DownloadProgress(target, 1, 200005, IdentityOf(url)).Write();
    StreamProgress(target, 0, 1000, 0, "UNKNOWN", 1).Write(nullptr);
    WriteCache(target, 16, 1000);
    DownloadStatus status = Download(url, target);
    ASSERT_TRUE(status.complete) << ErrorText(status);
    ExpectBody(target, 15, 200000);
    ExpectOnlyTarget(target);
    std::vector<LoggedRequest> requests = Requests(tag, 2);
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ("bytes=1000-", requests[0].range);
    EXPECT_EQ("", requests[1].range);
}

namespace {

// No other handle to the file is open: it can be deleted or replaced at once.
bool NobodyHolds(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

} // namespace

// A stream blocked in a WinINet call (the send while the server holds its answer, or a read while
// the body stalls) ends only when the call returns, at its time-out: 30 s as shipped, since no
// other thread closes its handles. Neither Cancel nor the destruction waits for that: both end
// within about a second, nothing of the download's is held open any more (its folder can go, or
// its kept files be replaced), and a new download of the same target completes while the old
// stream is still blocked. When the old call returns at last (the stalled body resumes before the
// time-out, so the old stream even gets data), it sends no request and writes nothing.
TEST(HTTPDownload, cancel_or_destruction_during_a_stall_ends_at_once_and_the_old_stream_touches_nothing)
{
    struct Case {
        const char* name;
        const char* stall;      // the query of the stalled download
        bool cancel;            // else only destroyed: its files are kept for a later run
    } cases[] = {
        { "cancelled while the send waits", "size=300001&stallheaders=60000", true },
        { "cancelled while a read waits", "size=300001&stallat=70000&stallms=12000", true },
        { "destroyed while a read waits", "size=300001&stallat=70000&stallms=12000", false },
    };
    // Catches a wait for the call (30 s, or 12 s until the body resumes); the design is 1 s.
    const ULONGLONG kPromptMs = 5000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LmTest::ScratchFolder folder(L"lmdl");
        const std::wstring target = folder / L"blocked.bin";
        const std::string oldTag = Tag();
        ULONGLONG cancelMs = 0, destroyMs = 0;
        {
            // The shipped stall bound: its WinINet time-outs are the shipped ones.
            auto download = std::make_unique<CHTTPDownload>(
                L"LmTest/1", Url("seed=28&" + std::string(c.stall) + "&tag=" + oldTag), target, nullptr, nullptr, 5);
            DownloadStatus status;
            const ULONGLONG end = GetTickCount64() + 30000;
            if (std::string(c.stall).find("stallat") != std::string::npos) {
                do {
                    Sleep(20);
                    download->GetStatus(status);
                } while (status.bytesDone < 65536 && !status.failed && GetTickCount64() < end);
                ASSERT_GE(status.bytesDone, 65536u) << ErrorText(status);
            }
            Sleep(1000); // the call is out and the server holds it
            download->GetStatus(status);
            ASSERT_FALSE(status.complete || status.failed) << ErrorText(status);
            ULONGLONG begin = GetTickCount64();
            if (c.cancel)
                download->Cancel();
            cancelMs = GetTickCount64() - begin;
            begin = GetTickCount64();
            download.reset();
            destroyMs = GetTickCount64() - begin;
        }
        std::printf("%s: cancel returned after %llu ms, the destruction after %llu ms more\n", c.name, cancelMs,
                    destroyMs);
        EXPECT_LT(cancelMs, 1000u);
        EXPECT_LT(destroyMs, kPromptMs) << "the destruction waited for the blocked call";
        ASSERT_TRUE(LmTest::ServerLogLines("tag=" + oldTag + "\"", 0).empty()) << "the old call has ended already";

        if (c.cancel) {
            ExpectNothingLeft(target, c.name);
            EXPECT_TRUE(RemoveDirectoryW(folder.Path().c_str())) << "the folder is held: " << GetLastError();
            ASSERT_TRUE(CreateDirectoryW(folder.Path().c_str(), nullptr));
        } else {
            EXPECT_TRUE(LmTest::FileExists(StateFileName(target)));
            for (const std::wstring& name : { StateFileName(target), CacheFileName(target),
                                              StreamRecordFileName(target, 0) })
                EXPECT_TRUE(!LmTest::FileExists(name) || NobodyHolds(name)) << Lm::Utf16ToUtf8(name);
        }

        // The same target again, from a server that answers.
        const DownloadStatus again = Download(Url("seed=28&size=300001&tag=" + Tag()), target, 60000);
        ASSERT_TRUE(again.complete) << ErrorText(again);
        ExpectBody(target, 28, 300001);
        ExpectOnlyTarget(target);
        EXPECT_TRUE(LmTest::ServerLogLines("tag=" + oldTag + "\"", 0).empty())
            << "the old stream was still blocked while the new download ran";

        // The old call returns (the server logs an answer once the client let it go): one request,
        // and the new target as it was.
        const std::vector<LoggedRequest> old = Requests(oldTag, 1);
        ASSERT_EQ(1u, old.size()) << "a request after the stop";
        if (std::string(c.stall).find("stallat") != std::string::npos) {
            EXPECT_GT(old[0].sent, 70000) << "the stalled body resumed while the old stream still read";
        }
        Sleep(500);
        ExpectBody(target, 28, 300001);
        ExpectOnlyTarget(target);
    }
}

// Without a Cancel, a server that stalls (no answer, or a trickle) fails the download within its
// bound: no progress of 64 KiB within it. The shipped bound is 30 s; the tests use 2 s.
TEST(HTTPDownload, no_progress_within_the_stall_bound_fails_the_download)
{
    struct Case { const char* name; const char* query; } cases[] = {
        { "silent server", "size=5000&stallheaders=60000" },
        { "trickle", "size=1000000&rate=2000" },
        { "stall in the body", "size=1000000&stallat=70000&stallms=60000" },
    };
    for (const Case& c : cases) {
        LmTest::ScratchFolder folder(L"lmdl");
        const std::wstring target = folder / L"trickle.bin";
        const ULONGLONG begin = GetTickCount64();
        DownloadStatus status = Download(Url(std::string(c.query) + "&tag=" + Tag()), target, 60000, StallBound(2000));
        const ULONGLONG elapsed = GetTickCount64() - begin;
        ASSERT_TRUE(status.failed) << c.name << ": complete " << status.complete;
        EXPECT_NE(std::string::npos, ErrorText(status).find("Download made no progress")) << ErrorText(status);
        EXPECT_LT(elapsed, 20000u) << c.name;
        for (const std::wstring& name : { target, StateFileName(target), CacheFileName(target),
                                          StreamRecordFileName(target, 0) })
            EXPECT_FALSE(LmTest::FileExists(name)) << c.name << ": " << Lm::Utf16ToUtf8(name);
    }
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
    const std::wstring url = Url("seed=23&size=" + std::to_string(size) + "&rate=400000&tag=" + tag);
    DownloadProgress(target, 2, size, IdentityOf(url)).Write();
    StreamProgress(target, 0, chunk, size, "UNKNOWN", 2).Write(nullptr);
    StreamProgress(target, 1, chunk + 1000, size, "UNKNOWN", 2).Write(nullptr);
    WriteCache(target, 23, chunk + 1000);
    DownloadStatus status = Download(url, target);
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
            cancelledAt = LmTest::ServerClockNow();
            Sleep(3000); // a stream started by a restart that missed the Cancel would show now
        }
        for (const std::string& line : LmTest::ServerLogLines("tag=" + tag + "\"", 2000))
            EXPECT_LT(LmTest::LoggedStartTime(line), cancelledAt + 0.5) << "a request started after Cancel: " << line;
        for (const std::wstring& name : { target, StateFileName(target), CacheFileName(target),
                                          StreamRecordFileName(target, 0), StreamRecordFileName(target, 1) })
            EXPECT_FALSE(LmTest::FileExists(name)) << Lm::Utf16ToUtf8(name);
    }
}

// The restarted ranges meet a server that holds them before their headers, with the shipped
// stall bound (their sends would end at its 30 s time-out). Cancel returns at once, the
// destruction within about a second, and no file is left behind.
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
    const ULONGLONG cancelMs = GetTickCount64() - begin;
    begin = GetTickCount64();
    download.reset();
    const ULONGLONG destroyMs = GetTickCount64() - begin;
    std::printf("cancel returned after %llu ms, the destruction after %llu ms more\n", cancelMs, destroyMs);
    EXPECT_LT(cancelMs, 1000u);
    EXPECT_LT(destroyMs, 5000u) << "the destruction waited for the blocked sends";
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
    const std::wstring url = Url("seed=27&size=" + std::to_string(size) + "&stallheaders=6000&tag=" + Tag());
    DownloadProgress(target, 2, size, IdentityOf(url)).Write();
    {
        std::ofstream cache(CacheFileName(target).c_str(), std::ios::binary);
    }
    CHTTPDownload download(L"LmTest/1", url, target, nullptr, nullptr, 5);
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

namespace {

DownloadOptions ExpectingSize(uint64_t size)
{
    DownloadOptions options;
    options.expectedSize = size;
    return options;
}

} // namespace

// Told the file's size, a download never takes more: an endless body, a declared length or a
// Content-Range total that differs, fail at once (one request, no retry, no restart), the server
// sends little, and nothing stays under the target's name.
TEST(HTTPDownload, a_body_or_a_declared_size_other_than_the_expected_size_fails_at_once)
{
    struct Case { const char* name; std::string query; uint64_t expected; const char* message; } cases[] = {
        { "endless body", "seed=41&size=50000000&nolength=1&rate=4000000", 100000, "The server sent more than the 100000 bytes" },
        { "declared longer", "seed=41&size=100000&declare=100500", 100000, "differs from the expected size" },
        { "declared shorter", "seed=41&size=100000&declare=99000", 100000, "differs from the expected size" },
        { "file of another size", "seed=41&size=100001", 100000, "differs from the expected size" },
        { "range of another total", "seed=41&size=" + std::to_string(k20MiB + 1) + "&contentrange=wrongtotal",
          k20MiB + 1, "differs from the expected size" },
    };
    for (const Case& c : cases) {
        LmTest::ScratchFolder folder(L"lmdl");
        const std::wstring target = folder / L"capped.bin";
        const std::string tag = Tag();
        const ULONGLONG begin = GetTickCount64();
        {
            CHTTPDownload download(L"LmTest/1", Url(c.query + "&tag=" + tag), target, nullptr, nullptr, 5,
                                   ExpectingSize(c.expected));
            DownloadStatus status;
            const ULONGLONG end = GetTickCount64() + 60000;
            do {
                Sleep(20);
                download.GetStatus(status);
            } while (!status.complete && !status.failed && GetTickCount64() < end);
            ASSERT_TRUE(status.failed) << c.name << ": complete " << status.complete;
            EXPECT_NE(std::string::npos, ErrorText(status).find(c.message)) << c.name << ": " << ErrorText(status);
            EXPECT_FALSE(LmTest::FileExists(target)) << c.name;
        }
        EXPECT_LT(GetTickCount64() - begin, 30000u) << c.name << ": failed at once, not after retries";
        ExpectNothingLeft(target, c.name);
        const std::vector<LoggedRequest> requests = Requests(tag, 1);
        long long sent = 0;
        for (const LoggedRequest& r : requests)
            sent += r.sent;
        EXPECT_LE(requests.size(), 3u) << c.name << ": no retries";
        if (c.query.find("nolength") != std::string::npos)
            EXPECT_LT(sent, 50000000) << c.name << ": the endless body was not read to its end";
    }
}

// The expected size also ends a body that comes without a length: exactly that many bytes, and
// the answer's end right after them, make the file.
TEST(HTTPDownload, a_body_without_a_length_of_the_expected_size_completes)
{
    LmTest::ScratchFolder folder(L"lmdl");
    const std::wstring target = folder / L"nolength.bin";
    DownloadStatus status = Download(Url("seed=42&size=300007&nolength=1&tag=" + Tag()), target, 60000,
                                     ExpectingSize(300007));
    ASSERT_TRUE(status.complete) << ErrorText(status);
    ExpectBody(target, 42, 300007);
    ExpectOnlyTarget(target);
}

// A new version published under the same name (other expected size or digest, or another URL)
// never resumes on the old bytes, and neither do records of the earlier 32-bit layout, which hold
// no identity: each starts afresh and gives exactly the new file.
TEST(HTTPDownload, records_of_another_download_or_of_the_old_layout_are_not_resumed)
{
    const uint32_t size = 200000;
    struct Case { const char* name; bool oldLayout; uint64_t recordedSize; const char* recordedSha; } cases[] = {
        { "another digest", false, size, "00" },
        { "another expected size", false, size + 1, "ab" },
        { "old layout", true, 0, "" },
    };
    for (const Case& c : cases) {
        LmTest::ScratchFolder folder(L"lmdl");
        const std::wstring target = folder / L"reused.bin";
        const std::string tag = Tag();
        const std::wstring url = Url("seed=43&size=" + std::to_string(size) + "&tag=" + tag);
        // What a killed run of the old version left: 5000 bytes of another body.
        if (c.oldLayout) {
            unsigned char state[16] = { 2, 0, 0, 0 };
            state[4] = static_cast<unsigned char>(size);
            state[5] = static_cast<unsigned char>(size >> 8);
            state[6] = static_cast<unsigned char>(size >> 16);
            state[8] = 1;
            const uint32_t crc = Lm::System::Crc32(state, 12);
            for (int i = 0; i < 4; ++i)
                state[12 + i] = static_cast<unsigned char>(crc >> (8 * i));
            std::ofstream(StateFileName(target).c_str(), std::ios::binary)
                .write(reinterpret_cast<const char*>(state), sizeof(state));
        } else {
            DownloadProgress(target, 1, size, DownloadIdentity::For(Lm::Utf16ToMBCS_CP(CP_ACP, url), c.recordedSize,
                                                                    std::string(c.recordedSha) + std::string(62, '0')))
                .Write();
            StreamProgress(target, 0, 5000, size, "UNKNOWN", 1).Write(nullptr);
        }
        WriteCache(target, 44, 5000);
        DownloadOptions options;
        options.expectedSize = size;
        options.expectedSha256 = std::string("ab") + std::string(62, '0');
        DownloadStatus status = Download(url, target, 60000, options);
        ASSERT_TRUE(status.complete) << c.name << ": " << ErrorText(status);
        ExpectBody(target, 43, size);
        ExpectOnlyTarget(target);
        std::vector<LoggedRequest> requests = Requests(tag, 1);
        ASSERT_EQ(1u, requests.size()) << c.name;
        EXPECT_EQ("", requests[0].range) << c.name << ": no resume";
    }
}

// The same download again (same URL but for its query, same size and digest) does resume.
TEST(HTTPDownload, records_of_the_same_download_resume_whatever_the_query)
{
    LmTest::ScratchFolder folder(L"lmdl");
    const std::wstring target = folder / L"same.bin";
    const std::string tag = Tag();
    const uint32_t size = 200000;
    const std::string sha = "AB" + std::string(62, '0');
    DownloadProgress(target, 1, size,
                     DownloadIdentity::For(LmTest::ServerUrl("/data?token=old"), size, sha)).Write();
    StreamProgress(target, 0, 5000, size, "UNKNOWN", 1).Write(nullptr);
    WriteCache(target, 45, 5000);
    DownloadOptions options;
    options.expectedSize = size;
    options.expectedSha256 = "ab" + std::string(62, '0');
    DownloadStatus status = Download(Url("seed=45&size=" + std::to_string(size) + "&tag=" + tag), target, 60000, options);
    ASSERT_TRUE(status.complete) << ErrorText(status);
    ExpectBody(target, 45, size);
    EXPECT_EQ("bytes=5000-", Requests(tag)[0].range);
}

// A resumed single stream meets the file under the same name and date, but with another ETag:
// another file. It starts afresh, so the result is wholly the new body.
TEST(HTTPDownload, a_changed_etag_restarts_a_resumed_download_afresh)
{
    LmTest::ScratchFolder folder(L"lmdl");
    const std::wstring target = folder / L"etag.bin";
    const std::string tag = Tag();
    const uint32_t size = 1 * kMiB + 17;
    const std::string base = "seed=46&size=" + std::to_string(size) + "&lastmodified=Sat,%2001%20Jan%202000%2000:00:00%20GMT";
    LmTest::RunResult killed = RunHarness(Url(base + "&etag=%22one%22&rate=400000&tag=" + tag), target, L"killat=300000");
    ASSERT_EQ(99u, killed.exitCode);
    const uint64_t offset = RecordedOffset(target, 0, 0);
    ASSERT_GT(offset, 0u);
    StreamProgress record(target, 0);
    ASSERT_TRUE(record.Read(nullptr));
    EXPECT_EQ("\"one\"", record.GetETag());

    LmTest::RunResult second =
        RunHarness(Url(base + "&etag=%22one%22&changeafter=0&seed2=47&lastmodified2=Sat,%2001%20Jan%202000%2000:00:00%20GMT"
                              "&etag2=%22two%22&tag=" + tag),
                   target, L"");
    ASSERT_TRUE(second.finished);
    EXPECT_EQ(0u, second.exitCode);
    ExpectBody(target, 47, size);
    ExpectOnlyTarget(target);
    std::vector<LoggedRequest> requests = Requests(tag, 3);
    ASSERT_GE(requests.size(), 3u);
    EXPECT_EQ("bytes=" + std::to_string(offset) + "-", requests[1].range);
    EXPECT_EQ("", requests[2].range);
}

// Offsets and sizes are 64-bit from the state file to the Range headers: a resumed two-stream
// plan of 6 GiB splits at 3 GiB (the server holds both ranges; the stall bound ends them).
TEST(HTTPDownload, a_plan_past_4_GiB_asks_for_64_bit_ranges)
{
    LmTest::ScratchFolder folder(L"lmdl");
    const std::wstring target = folder / L"huge.bin";
    const std::string tag = Tag();
    const uint64_t size = 6442450944ull;
    const std::wstring url = Url("seed=48&size=" + std::to_string(size) + "&stallheaders=60000&tag=" + tag);
    DownloadProgress(target, 2, size, IdentityOf(url)).Write();
    {
        std::ofstream cache(CacheFileName(target).c_str(), std::ios::binary);
    }
    DownloadStatus status = Download(url, target, 60000, StallBound(2000));
    EXPECT_TRUE(status.failed);
    std::vector<LoggedRequest> requests = Requests(tag, 2);
    ASSERT_GE(requests.size(), 2u);
    std::vector<std::string> ranges = { requests[0].range, requests[1].range };
    std::sort(ranges.begin(), ranges.end());
    EXPECT_EQ((std::vector<std::string>{ "bytes=0-3221225471", "bytes=3221225472-6442450943" }), ranges);
}
