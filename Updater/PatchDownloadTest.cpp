// The package download and its tests against the test server's "/files/<file>/<name>" (copies
// of the package stand-in: signed, unsigned, tampered, big), in a work folder of the test's own
// product; what the server saw, what is left on disk, what was reported.
#include <gtest/gtest.h>

#include <json/json.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "System/Io/Directory.h"
#include "System/Io/Stream/FileStream.h"
#include "System/Net/MultiStreamDownload/DownloadFiles.h"
#include "System/Net/MultiStreamDownload/ProgressFile.h"
#include "System/Net/Sha256.h"
#include "System/String/AnsiWide.h"
#include "System/String/StringUtils.h"
#include "OtherProcessFileLock.h"
#include "System/Win32/DebuggingContract.h"
#include "System/Win32/RegistryKey.h"
#include "TestServer.h"
#include "TestSupport.h"
#include "Updater/ExitCodeException.h"
#include "Updater/PatchDownload.h"
#include "Updater/UpdaterResult.h"
#include "Updater/UpdaterStrings.h"
#include "UpdaterTestSupport.h"

using namespace Lm::Updater;
using LmTest::RecordingObserver;
using LmTest::TestProduct;

namespace {

std::wstring PackageFile(const std::string& file)
{
    return LmTest::ServerDir() + L"\\files\\" + Lm::AnsiToWide(file) + L".exe";
}

std::string Sha256Of(const std::wstring& path)
{
    Lm::System::IO::Stream::CFileStream stream(path, Lm::System::IO::Stream::FileMode::Open,
                                               Lm::System::IO::Stream::FileAccess::Read, FILE_SHARE_READ);
    unsigned char digest[32] = {};
    EXPECT_TRUE(Lm::System::Net::ComputeFileSha256(stream, digest));
    std::string text;
    for (unsigned char byte : digest)
        text += Lm::System::String::ByteToHex(byte);
    return Lm::System::String::ToLower(text);
}

// A download request for a package file under a name, with its true size and digest.
PatchDownloadRequest RequestFor(const TestProduct& product, const std::string& file, const std::string& name,
                                const std::string& switches = "")
{
    PatchDownloadRequest request;
    request.product = product.Name();
    request.url = LmTest::ServerUrl("/files/" + file + "/" + name + "?tag=" + product.Tag() + switches);
    request.expectedSize = LmTest::FileSize(PackageFile(file));
    request.expectedHash = Sha256Of(PackageFile(file));
    return request;
}

bool Contains(const std::vector<std::string>& lines, const std::string& text)
{
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

} // namespace

TEST(PatchDownload, the_file_name_is_the_decoded_last_segment)
{
    struct Case {
        const char* url;
        const char* name;
        bool plain;
    } cases[] = {
        {"http://h/d/Patch%20Setup.exe?x=1", "Patch Setup.exe", true},
        {"http://h/d/a%2Fb.exe", "b.exe", true},
        {"http://h/d/a%2fb.exe", "b.exe", true},          // lower-case digits decode alike
        {"http://h/d/a.exe%3Fq", "a.exe", true},          // an encoded '?' cuts too
        {"http://h/d/a+b.exe", "a+b.exe", true},          // no other decoding
        {"http://h/d/a%zz.exe", "a%zz.exe", true},        // not hexadecimal: copied
        {"http://h/d/a.exe%4", "a.exe%4", true},          // too short: copied
        {"http://h/d/a.exe%", "a.exe%", true},
        {"http://h/d/a%5C..%5Cx.exe", "x.exe", true},     // a decoded backslash separates as well
        {"http://h/d/..%2F..%2Fx.exe", "x.exe", true},
        {"http://h/d/C%3Ax.exe", "C:x.exe", false},
        {"http://h/d/", "", false},
        {"http://h/d/..", "..", false},
        {"http://h/d/x%00.exe", std::string("x\0.exe", 6).c_str(), false},
        {"http://h/d/x%0A.exe", "x\n.exe", false},
        {"http://h/d/x*.exe", "x*.exe", false},
        {"Package.exe", "Package.exe", true},             // no separator at all
    };
    for (const Case& c : cases) {
        const std::string name = GetPackageFileName(c.url);
        if (std::string(c.url).find("%00") != std::string::npos)
            EXPECT_EQ(std::string("x\0.exe", 6), name) << c.url;
        else
            EXPECT_EQ(c.name, name) << c.url;
        EXPECT_EQ(c.plain, IsPlainPackageName(name)) << c.url;
    }
    EXPECT_EQ("100%", UrlUnescape("100%25"));
    EXPECT_EQ("%4", UrlUnescape("%4"));
    EXPECT_EQ("a b+c", UrlUnescape("a%20b+c"));
}

TEST(PatchDownload, the_bar_moves_from_20_to_50)
{
    // 1.6699998: 0.501 + 0.499 is 1 in single precision, just below it in extended precision.
    const std::pair<float, int> table[] = {{0.0f, 20},  {1.6699998f, 21}, {1.7f, 21},    {50.0f, 35},
                                           {99.9f, 50}, {100.0f, 50},     {300.0f, 100}};
    for (const auto& row : table)
        EXPECT_EQ(row.second, DownloadBarPosition(row.first)) << row.first;
}

TEST(PatchDownload, the_work_folder_is_below_the_roaming_application_data)
{
    TestProduct product;
    const std::wstring folder = GetUpdaterFolder(product.Name());
    EXPECT_EQ(LmTest::RoamingAppData() + L"\\Larchmeadow\\Updater\\" + product.Name() + L"\\", folder);
    EXPECT_TRUE(LmTest::DirectoryExists(folder));
}

TEST(PatchDownload, a_signed_package_passes_and_is_held_until_it_runs)
{
    TestProduct product;
    RecordingObserver observer;
    TestedPackage package = DownloadAndTestPackage(RequestFor(product, "signed", "Package.exe"), observer);
    EXPECT_EQ(product.Folder() + L"Package.exe", package.path);
    EXPECT_TRUE(observer.reports.empty()) << Lm::WideToAnsi(observer.reports.front());
    EXPECT_EQ((std::vector<UINT>{IDS_UPDATER_DOWNLOADING, IDS_UPDATER_APPLYING}), observer.texts);
    ASSERT_FALSE(observer.bars.empty());
    EXPECT_EQ(50, observer.bars.back());
    for (int bar : observer.bars)
        EXPECT_TRUE(bar >= 20 && bar <= 50) << bar;
    EXPECT_EQ(Sha256Of(PackageFile("signed")), Sha256Of(package.path));

    // Held: readable, but nobody writes, renames or deletes it.
    EXPECT_FALSE(DeleteFileW(package.path.c_str()));
    HANDLE writer = CreateFileW(package.path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, writer);
    if (writer != INVALID_HANDLE_VALUE)
        CloseHandle(writer);
    EXPECT_FALSE(MoveFileW(package.path.c_str(), (package.path + L".moved").c_str()));
    package.hold.Reset();
    EXPECT_TRUE(DeleteFileW(package.path.c_str()));

    // One whole-file request of the multi-stream attempt, with its user agent.
    auto lines = LmTest::ServerLogLines("tag=" + product.Tag());
    ASSERT_EQ(1u, lines.size());
    EXPECT_TRUE(Contains(lines, kMultiStreamUserAgent));
}

// (A file of another size than the reply's never gets to the tests: both attempts are capped at
// that size and fail, a_body_other_than_the_expected_size_fails_both_attempts_at_once.)
TEST(PatchDownload, each_failed_test_is_reported_in_both_attempts_and_nothing_is_kept)
{
    struct Case {
        const char* file;
        const char* failure;
        bool wrongHash;
    } cases[] = {
        {"signed", "PatchHashValue", true},
        {"unsigned", "PatchSignature", false},
        {"tampered", "PatchSignature", false},
    };
    for (const Case& c : cases) {
        TestProduct product;
        PatchDownloadRequest request = RequestFor(product, c.file, "Package.exe");
        if (c.wrongHash)
            request.expectedHash = std::string(64, '0');
        RecordingObserver observer;
        int code = 0;
        try {
            DownloadAndTestPackage(request, observer);
        } catch (const CExitCodeException& e) {
            code = e.GetCode();
        }
        EXPECT_EQ(FailureMainIsFileLarchmeadowSigned, code) << c.file << " " << c.failure;
        const std::wstring failure = Lm::AnsiToWide(c.failure);
        EXPECT_EQ((std::vector<std::wstring>{failure + L"2", failure}), observer.reports) << c.file;
        EXPECT_FALSE(LmTest::FileExists(product.Folder() + L"Package.exe")) << c.file;
        // The multi-stream attempt, then one plain request with the request's own user agent.
        auto lines = LmTest::ServerLogLines("tag=" + product.Tag());
        EXPECT_EQ(2u, lines.size()) << c.file;
        EXPECT_TRUE(Contains(lines, "\"User-Agent\": \"Mozilla/4.0 (compatible; MSIE 5.0; CDA 6.0)\"")) << c.file;
    }
}

TEST(PatchDownload, no_size_and_no_hash_leave_the_signature_test_alone)
{
    TestProduct product;
    PatchDownloadRequest request = RequestFor(product, "unsigned", "Package.exe");
    request.expectedSize = -5;
    request.expectedHash.clear();
    RecordingObserver observer;
    EXPECT_THROW(DownloadAndTestPackage(request, observer), CExitCodeException);
    EXPECT_EQ((std::vector<std::wstring>{L"PatchSignature2", L"PatchSignature"}), observer.reports);
}

TEST(PatchDownload, after_a_multi_stream_failure_one_plain_request_follows)
{
    TestProduct product;
    RecordingObserver observer;
    TestedPackage package =
        DownloadAndTestPackage(RequestFor(product, "signed", "Package.exe", "&status=403&failua=Updater"), observer);
    EXPECT_TRUE(LmTest::FileExists(package.path));
    EXPECT_TRUE(observer.reports.empty());
    auto lines = LmTest::ServerLogLines("tag=" + product.Tag());
    ASSERT_EQ(2u, lines.size());
    EXPECT_NE(std::string::npos, lines[0].find("\"status\": 403"));
    EXPECT_NE(std::string::npos, lines[0].find(kMultiStreamUserAgent));
    EXPECT_NE(std::string::npos, lines[1].find("\"status\": 200"));
    EXPECT_NE(std::string::npos, lines[1].find("\"range\": null"));
}

TEST(PatchDownload, a_package_over_20_MiB_comes_in_two_ranges_at_once)
{
    TestProduct product;
    RecordingObserver observer;
    TestedPackage package =
        // Paced (8 MB/s a range, about 1.3 s), so that the bar is seen on the way on a fast machine too.
        DownloadAndTestPackage(RequestFor(product, "big", "Package.exe", "&gate=2&gatems=60000&rate=8000000"), observer);
    EXPECT_TRUE(observer.reports.empty());
    EXPECT_EQ(LmTest::FileSize(PackageFile("big")), LmTest::FileSize(package.path));
    auto ranges = LmTest::ServerLogLines("\"gate\": \"open\"");
    size_t ours = std::count_if(ranges.begin(), ranges.end(),
                                [&](const std::string& line) { return line.find("tag=" + product.Tag()) != std::string::npos; });
    EXPECT_EQ(2u, ours);
    // The bar moved on the way, not only at the end.
    EXPECT_GT(std::count_if(observer.bars.begin(), observer.bars.end(), [](int bar) { return bar > 20 && bar < 50; }), 0);
}

// One range fails for good (403, two seconds after both went out) while the other is blocked in
// a read of a stalled body, with the shipped stall bound: that read ends only at its 30 s
// time-out. The multi-stream attempt ends without waiting for it, and the plain request follows
// within seconds and gives the package.
TEST(PatchDownload, a_failed_multi_stream_attempt_does_not_wait_for_a_blocked_range)
{
    TestProduct product;
    RecordingObserver observer;
    PatchDownloadRequest request = RequestFor(product, "big", "Package.exe",
                                              "&stallat=1048576&stallms=60000&failfrom=1&failms=2000&failua=Updater");
    TestedPackage package = DownloadAndTestPackage(request, observer);
    EXPECT_TRUE(observer.reports.empty());
    EXPECT_EQ(LmTest::FileSize(PackageFile("big")), LmTest::FileSize(package.path));
    package.hold.Reset();

    // When the first request (the multi-stream attempt's whole-file probe) and the plain one
    // started, by the server's clock.
    double probe = 0, plain = 0;
    for (const ULONGLONG end = GetTickCount64() + 30000; (probe == 0 || plain == 0) && GetTickCount64() < end;
         Sleep(100)) {
        for (const std::string& line : LmTest::ServerLogLines("tag=" + product.Tag(), 0)) {
            Json::Value entry;
            if (!Json::Reader().parse(line, entry) || !entry["range"].isNull())
                continue;
            const bool multi = entry["headers"]["User-Agent"].asString() == kMultiStreamUserAgent;
            (multi ? probe : plain) = entry["started"].asDouble();
        }
    }
    ASSERT_NE(0, probe);
    ASSERT_NE(0, plain);
    EXPECT_LT(plain - probe, 15.0) << "the plain request waited for the blocked range";
}

TEST(PatchDownload, hostile_names_stay_inside_the_work_folder)
{
    struct Case {
        const char* name;
        const wchar_t* saved;   // the file it is saved as, or null when the download is refused
    } cases[] = {
        {"a%5C..%5Cx.exe", L"x.exe"},
        {"..%2F..%2Fx.exe", L"x.exe"},
        {"..%5C..%5C{canary}", L"{canary}"},
        {"C%3Ax.exe", nullptr},
        {"", nullptr},
    };
    for (const Case& c : cases) {
        TestProduct product;
        // What the naive join of folder and decoded name would reach, two levels up.
        const std::wstring canaryName = product.Name() + L".exe";
        const std::wstring canary = LmTest::RoamingAppData() + L"\\Larchmeadow\\" + canaryName;
        LmTest::WriteFileUtf8(canary, L"canary");
        std::string name = c.name;
        Lm::System::String::ReplaceAll(name, std::string("{canary}"), Lm::WideToAnsi(canaryName));

        RecordingObserver observer;
        int code = 0;
        std::wstring saved;
        try {
            saved = DownloadAndTestPackage(RequestFor(product, "signed", name), observer).path;
        } catch (const CExitCodeException& e) {
            code = e.GetCode();
        }
        std::wstring expected = c.saved ? c.saved : L"";
        Lm::System::String::ReplaceAll(expected, std::wstring(L"{canary}"), canaryName);
        if (c.saved) {
            EXPECT_EQ(0, code) << c.name;
            EXPECT_EQ(product.Folder() + expected, saved) << c.name;
        } else {
            EXPECT_EQ(FailureGetEXEDownloadIsOk, code) << c.name;
            EXPECT_TRUE(LmTest::ServerLogLines("tag=" + product.Tag(), 200).empty()) << c.name << ": it was requested";
        }
        EXPECT_EQ(L"canary", LmTest::ReadFileUtf8(canary)) << c.name;
        DeleteFileW(canary.c_str());
    }
}

// A run without the Installer (no status key) publishes nothing and creates no key.
TEST(PatchDownload, progress_is_published_only_where_the_value_exists)
{
    TestProduct product;
    const std::wstring withValue = L"HKCU\\Software\\LmTest\\" + LmTest::UniqueName(L"Status");
    const std::wstring withoutValue = L"HKCU\\Software\\LmTest\\" + LmTest::UniqueName(L"Status");
    const std::wstring missing = L"HKCU\\Software\\LmTest\\" + LmTest::UniqueName(L"Status");
    Lm::System::Win32::CRegistryKey(withValue, false).SetString(L"Download", L"0");
    Lm::System::Win32::CRegistryKey(withoutValue, false);

    for (const std::wstring& key : {withValue, withoutValue, missing}) {
        PatchDownloadRequest request = RequestFor(product, "signed", "Package.exe");
        request.publishProgress = true;
        request.statusKey = key;
        RecordingObserver observer;
        DownloadAndTestPackage(request, observer).hold.Reset();
    }
    EXPECT_EQ(L"100", Lm::System::Win32::CRegistryKey(withValue, true).GetString(L"Download", L""));
    EXPECT_FALSE(Lm::System::Win32::CRegistryKey(withoutValue, true).ValueExists(L"Download"));
    EXPECT_FALSE(Lm::System::Win32::CRegistryKey::KeyExists(missing)) << "the status key was created";
    Lm::System::Win32::CRegistryKey::DeleteKeyTree(missing);

    // A failed download also ends with "100".
    Lm::System::Win32::CRegistryKey(withValue, false).SetString(L"Download", L"0");
    PatchDownloadRequest failing = RequestFor(product, "signed", "Package.exe", "&status=403");
    failing.publishProgress = true;
    failing.statusKey = withValue;
    RecordingObserver observer;
    EXPECT_THROW(DownloadAndTestPackage(failing, observer), CExitCodeException);
    EXPECT_EQ(L"100", Lm::System::Win32::CRegistryKey(withValue, true).GetString(L"Download", L""));
    Lm::System::Win32::CRegistryKey::DeleteKeyTree(withValue);
    Lm::System::Win32::CRegistryKey::DeleteKeyTree(withoutValue);
}

TEST(PatchDownload, the_start_keeps_only_the_latest_interrupted_download)
{
    TestProduct product;
    const std::wstring folder = GetUpdaterFolder(product.Name());
    const std::vector<std::wstring> older = {L"old.exe.downloadstate", L"old.exe.cache", L"old.exe.0", L"old.exe.1"};
    const std::vector<std::wstring> latest = {L"new.exe.downloadstate", L"new.exe.cache", L"new.exe.0", L"new.exe.1"};
    for (const std::wstring& name : older)
        LmTest::WriteFileUtf8(folder + name, L"x");
    Sleep(50);
    for (const wchar_t* name : {L"Package.exe", L"Park-{5f0e}.exe", L"new.exe.log"})
        LmTest::WriteFileUtf8(folder + name, L"x");
    for (const std::wstring& name : latest)
        LmTest::WriteFileUtf8(folder + name, L"x");
    // The state file decides which download is the latest.
    FILETIME early = {}, late = {};
    SYSTEMTIME time = {2020, 1, 0, 1, 0, 0, 0, 0};
    SystemTimeToFileTime(&time, &early);
    time.wYear = 2021;
    SystemTimeToFileTime(&time, &late);
    auto stamp = [&](const std::wstring& name, const FILETIME& at) {
        HANDLE file = CreateFileW((folder + name).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        SetFileTime(file, nullptr, nullptr, &at);
        CloseHandle(file);
    };
    stamp(L"old.exe.downloadstate", early);
    stamp(L"new.exe.downloadstate", late);
    CreateDirectoryW((folder + L"kept folder").c_str(), nullptr);

    DeleteStaleDownloads(product.Name());
    std::vector<std::wstring> left;
    for (const std::wstring& path : Lm::System::IO::CDirectory::GetFilesAndDirectories(folder))
        left.push_back(path);
    std::sort(left.begin(), left.end());
    std::vector<std::wstring> expected = latest;
    expected.push_back(L"kept folder");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, left);

    // Once the target is known, resume files of any other target go; the target's stay.
    std::wstring target;
    std::string name;
    GetDownloadTargetPath(product.Name(), "http://h/new.exe", target, name);
    EXPECT_TRUE(LmTest::FileExists(folder + L"new.exe.cache"));
    GetDownloadTargetPath(product.Name(), "http://h/other.exe", target, name);
    for (const std::wstring& file : latest)
        EXPECT_FALSE(LmTest::FileExists(folder + file)) << Lm::WideToAnsi(file);
}

TEST(PatchDownload, a_package_that_cannot_be_held_is_reported_as_such)
{
    // A signed package of the right size that another process holds open without sharing: the
    // tests find no hold, and say so rather than blaming its signature.
    TestProduct product;
    TestedPackage package;
    package.path = product.Folder() + L"Package.exe";
    ASSERT_TRUE(CopyFileW((LmTest::ServerDir() + L"\\files\\signed.exe").c_str(), package.path.c_str(), FALSE));
    PatchDownloadRequest request;
    request.product = product.Name();
    request.expectedSize = LmTest::FileSize(package.path);
    LmTest::OtherProcessFileLock lock(package.path);
    ASSERT_TRUE(lock.Locked());
    package.hold.Reset(CreateFileW(package.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_FALSE(package.hold.IsValid());
    EXPECT_EQ(L"PatchHold", TestPackage(package, request));
    lock.Release();
    // Held, the same file passes.
    package.hold.Reset(CreateFileW(package.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_EQ(L"", TestPackage(package, request));
}

namespace {

// Runs the download-and-test loop; the result code it ended with, 0 for a tested package.
int RunLoop(const PatchDownloadRequest& request, RecordingObserver& observer, ULONGLONG& elapsedMs)
{
    const ULONGLONG begin = GetTickCount64();
    int code = 0;
    try {
        DownloadAndTestPackage(request, observer).hold.Reset();
    } catch (const CExitCodeException& e) {
        code = e.GetCode();
    }
    elapsedMs = GetTickCount64() - begin;
    return code;
}

// A Debugging key of the test's own with the test environment on and a stall bound.
class ScratchDebuggingKey {
public:
    explicit ScratchDebuggingKey(DWORD stallBoundMs) : m_path(L"HKCU\\Software\\LmTest\\" + LmTest::UniqueName(L"Debugging"))
    {
        Lm::System::Win32::CRegistryKey key(m_path, false);
        key.SetUint32(Lm::System::Win32::kUseTestEnvironmentValue, 1);
        key.SetUint32(Lm::System::Win32::kDownloadStallBoundValue, stallBoundMs);
    }
    ~ScratchDebuggingKey() { Lm::System::Win32::CRegistryKey::DeleteKeyTree(m_path); }
    const std::wstring& Path() const { return m_path; }

private:
    std::wstring m_path;
};

void ExpectNoPackageFiles(const TestProduct& product, const std::string& name)
{
    for (const wchar_t* suffix : {L"", L".cache", L".downloadstate", L".0", L".1"})
        EXPECT_FALSE(LmTest::FileExists(product.Folder() + Lm::AnsiToWide(name) + suffix))
            << name << Lm::WideToAnsi(suffix);
}

} // namespace

// Both attempts are capped at the size the reply gave: an endless body, a declared length other
// than it, or a file of another size fail each attempt at once (no size test is reached), and no
// file stays under the package's name.
TEST(PatchDownload, a_body_other_than_the_expected_size_fails_both_attempts_at_once)
{
    const long long size = LmTest::FileSize(PackageFile("signed"));
    struct Case {
        const char* name;
        std::string file;       // empty: a generated endless body from /data
        std::string switches;
        long long expectedSize;
    } cases[] = {
        {"endless body", "", "&size=50000000&nolength=1&rate=4000000", 100000},
        {"declared longer", "signed", "&declare=" + std::to_string(size + 1000), size},
        {"declared shorter", "signed", "&declare=" + std::to_string(size - 10), size},
        {"smaller than the file", "signed", "", 100},
    };
    for (const Case& c : cases) {
        TestProduct product;
        PatchDownloadRequest request = RequestFor(product, "signed", "Package.exe", c.switches);
        std::string name = "Package.exe";
        if (c.file.empty()) {
            request.url = LmTest::ServerUrl("/data?seed=3&tag=" + product.Tag() + c.switches);
            name = "data";
        }
        request.expectedSize = c.expectedSize;
        RecordingObserver observer;
        ULONGLONG elapsed = 0;
        EXPECT_EQ(FailureGetEXEDownloadIsOk, RunLoop(request, observer, elapsed)) << c.name;
        EXPECT_TRUE(observer.reports.empty()) << c.name << ": " << Lm::WideToAnsi(observer.reports.front());
        EXPECT_LT(elapsed, 60000u) << c.name << ": failed at once, not after retries";
        ExpectNoPackageFiles(product, name);
        // The server logs an answer once it ended: an abandoned one may come last.
        std::vector<std::string> lines;
        for (ULONGLONG end = GetTickCount64() + 30000; lines.size() < 2 && GetTickCount64() < end; Sleep(100))
            lines = LmTest::ServerLogLines("tag=" + product.Tag());
        EXPECT_EQ(2u, lines.size()) << c.name << ": one request per attempt";
    }
}

// A server that trickles fails each attempt once its stall bound passed without progress (1.5 s
// here, through the test value of the Debugging key; 30 s shipped).
TEST(PatchDownload, a_trickling_server_fails_both_attempts_at_the_stall_bound)
{
    ScratchDebuggingKey debugging(1500);
    TestProduct product;
    PatchDownloadRequest request = RequestFor(product, "signed", "Package.exe", "&rate=2000");
    request.debuggingKey = debugging.Path();
    RecordingObserver observer;
    ULONGLONG elapsed = 0;
    EXPECT_EQ(FailureGetEXEDownloadIsOk, RunLoop(request, observer, elapsed));
    EXPECT_LT(elapsed, 30000u);
    EXPECT_TRUE(observer.reports.empty());
    ExpectNoPackageFiles(product, "Package.exe");
}

TEST(PatchDownload, the_stall_bound_is_30_seconds_unless_a_test_shortens_it)
{
    EXPECT_EQ(30000u, DownloadStallBoundMs(Lm::System::Win32::kDebuggingKey)) << "the shipped bound";
    EXPECT_EQ(1500u, DownloadStallBoundMs(ScratchDebuggingKey(1500).Path()));
    EXPECT_EQ(30000u, DownloadStallBoundMs(ScratchDebuggingKey(60000).Path())) << "never lengthened";
}

// Resume records of another version of the package under the same name (another digest): the
// multi-stream attempt starts afresh instead of resuming on the old bytes, so the package passes
// its tests at once.
TEST(PatchDownload, records_of_another_version_under_the_same_name_are_not_resumed)
{
    namespace MSD = Lm::System::Net::MultiStreamDownload;
    TestProduct product;
    PatchDownloadRequest request = RequestFor(product, "signed", "Package.exe");
    const std::wstring target = product.Folder() + L"Package.exe";
    MSD::DownloadProgress(target, 1, static_cast<uint64_t>(request.expectedSize),
                          MSD::DownloadIdentity::For(request.url, static_cast<uint64_t>(request.expectedSize),
                                                     std::string(64, '1')))
        .Write();
    MSD::StreamProgress(target, 0, 5000, static_cast<uint64_t>(request.expectedSize), "UNKNOWN", 1).Write(nullptr);
    LmTest::WriteFileUtf8(MSD::CacheFileName(target), std::wstring(8000, L'x'));  // more than the record claims
    RecordingObserver observer;
    ULONGLONG elapsed = 0;
    EXPECT_EQ(0, RunLoop(request, observer, elapsed));
    EXPECT_TRUE(observer.reports.empty()) << Lm::WideToAnsi(observer.reports.front());
    auto lines = LmTest::ServerLogLines("tag=" + product.Tag());
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::string::npos, lines[0].find("\"range\": null")) << lines[0];
}
