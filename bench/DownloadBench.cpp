// Benchmark driver for the multi-stream download (run by bench/run.sh, never by the tests).
//   DownloadBench.exe msd <url> <target> [single=<total size>]
//       CHTTPDownload; with single= the download is planned as one stream of that size (a state
//       file with ThreadsUsed 1 and the total, and an empty cache, as a resumed run would find).
//   DownloadBench.exe wininet <url> <target>
//       a plain single-stream WinINet loop (InternetOpenUrl, 64 KiB reads, WriteFile).
// Prints one line: "ok seconds=<wall> cpu=<user+kernel seconds> peakprivate=<bytes> bytes=<n>
// streams=<n>" or "failed <text>".
#include <windows.h>
#include <psapi.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "System/Net/MultiStreamDownload/DownloadFiles.h"
#include "System/Net/MultiStreamDownload/HTTPDownload.h"
#include "System/Net/MultiStreamDownload/ProgressFile.h"
#include "System/String/AnsiWide.h"

using namespace Lm::System::Net::MultiStreamDownload;

namespace {

double CpuSeconds()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto seconds = [](const FILETIME& t) {
        return ((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

unsigned long long PeakPrivateBytes()
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters));
    return counters.PeakPagefileUsage; // peak private (commit) bytes of the process
}

int RunMultiStream(const std::wstring& url, const std::wstring& target, uint32_t singleTotal, unsigned& streams,
                   unsigned long long& bytes, std::string& error)
{
    if (singleTotal != 0) {
        DownloadProgress(target, 1, singleTotal).Write();
        HANDLE cache = CreateFileW(CacheFileName(target).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        CloseHandle(cache);
    }
    CHTTPDownload download(L"LmDownloadBench/1", url, target, nullptr, nullptr, 5);
    for (;;) {
        DownloadStatus status;
        download.GetStatus(status);
        if (status.complete) {
            streams = status.streamCount;
            bytes = status.bytesDone;
            return 0;
        }
        if (status.failed) {
            error = status.error ? Lm::Utf16ToUtf8(status.error->ToString()) : "failed";
            return 1;
        }
        Sleep(50);
    }
}

int RunWinInet(const std::wstring& url, const std::wstring& target, unsigned long long& bytes, std::string& error)
{
    HINTERNET session = InternetOpenW(L"LmDownloadBench/1", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    HINTERNET request = session ? InternetOpenUrlW(session, url.c_str(), nullptr, 0,
                                                   INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0)
                                : nullptr;
    HANDLE file = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    int rc = 0;
    if (!request || file == INVALID_HANDLE_VALUE) {
        error = "open failed";
        rc = 1;
    } else {
        std::vector<char> buffer(65536);
        for (;;) {
            DWORD read = 0;
            if (!InternetReadFile(request, buffer.data(), static_cast<DWORD>(buffer.size()), &read)) {
                error = "read failed";
                rc = 1;
                break;
            }
            if (read == 0)
                break;
            DWORD written = 0;
            WriteFile(file, buffer.data(), read, &written, nullptr);
            bytes += read;
        }
    }
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (request)
        InternetCloseHandle(request);
    if (session)
        InternetCloseHandle(session);
    return rc;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: DownloadBench msd|wininet <url> <target> [single=<size>]\n");
        return 3;
    }
    const std::wstring mode = argv[1], url = argv[2], target = argv[3];
    uint32_t singleTotal = 0;
    if (argc > 4 && std::wstring(argv[4]).compare(0, 7, L"single=") == 0)
        singleTotal = static_cast<uint32_t>(std::wcstoul(argv[4] + 7, nullptr, 10));
    unsigned streams = 1;
    unsigned long long bytes = 0;
    std::string error;
    const ULONGLONG begin = GetTickCount64();
    int rc = 3;
    try {
        if (mode == L"msd")
            rc = RunMultiStream(url, target, singleTotal, streams, bytes, error);
        else if (mode == L"wininet")
            rc = RunWinInet(url, target, bytes, error);
    } catch (const Lm::System::CException& e) {
        error = Lm::Utf16ToUtf8(e.ToString());
        rc = 1;
    }
    const double seconds = (GetTickCount64() - begin) / 1000.0;
    if (rc == 0)
        std::printf("ok seconds=%.2f cpu=%.2f peakprivate=%llu bytes=%llu streams=%u\n", seconds, CpuSeconds(),
                    PeakPrivateBytes(), bytes, streams);
    else
        std::printf("failed %s\n", error.c_str());
    std::fflush(stdout);
    return rc;
}
