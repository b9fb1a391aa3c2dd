// Benchmark driver for the multi-stream download (run by bench/run.sh, never by the tests).
//   DownloadBench.exe msd <url> <target> [single=<total size>]
//       CHTTPDownload; with single= the download is planned as one stream of that size (a state
//       file with ThreadsUsed 1 and the total, and an empty cache, as a resumed run would find).
//   DownloadBench.exe wininet <url> <target>
//       a plain single-stream WinINet loop (InternetOpenUrl, 64 KiB reads, WriteFile).
//   DownloadBench.exe abandon <url>
//       what closing an unfinished answer costs: one 64 KiB read, then the three handles are
//       closed (request, connection, session) and the close is timed.
//   DownloadBench.exe closeblocked <url>
//       whether closing the handles from another thread ends a blocked call: the request is
//       sent to a server that stalls, another thread closes the handles after 1 s, and the time
//       until the blocked send (or read) returns is printed.
// Prints one line: "ok seconds=<wall> cpu=<user+kernel seconds> startcpu=<seconds>
// peakprivate=<bytes> startrss=<bytes> peakrss=<bytes> bytes=<n> streams=<n>" or "failed <text>".
// cpu is what the process spent from the start of the download to its end, all threads; startcpu
// what it had spent before (Wine's process start, several times slower under qemu-user, which a
// whole-process figure would add to every download). Wine fills the
// working-set figures from the Linux process's VmRSS and VmHWM, so startrss is the resident
// memory before the download and peakrss the true peak of the whole process (its page-file
// figure is the current commit, not a peak: peakprivate is kept for comparison only).
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

PROCESS_MEMORY_COUNTERS_EX MemoryCounters()
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters));
    return counters;
}

int RunMultiStream(const std::wstring& url, const std::wstring& target, uint32_t singleTotal, unsigned& streams,
                   unsigned long long& bytes, std::string& error)
{
    if (singleTotal != 0) {
        DownloadProgress(target, 1, singleTotal, DownloadIdentity::For(Lm::Utf16ToMBCS_CP(CP_ACP, url), 0, "")).Write();
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
        // As the Updater polls. Each poll is a timed wait, which costs about 0.15 ms of CPU under
        // Wine on qemu-user: a 5 ms poll added 30 ms per second to the download's figure (0.15 s
        // per GiB at full speed, several s per GiB at a capped rate), and the plain loop has none.
        // The end is seen up to 50 ms late, 25 ms on average: under 1 % of a run of the 1 GiB file.
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

struct Probe {
    HINTERNET session = nullptr;
    HINTERNET connect = nullptr;
    HINTERNET request = nullptr;
};

// The handles a stream opens for one attempt, with the same flags and headers; false on failure.
bool OpenLikeAStream(const std::wstring& url, Probe& probe, std::string& error)
{
    URL_COMPONENTSW parts = {};
    wchar_t host[256] = {}, path[2048] = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = 256;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 2048;
    if (!InternetCrackUrlW(url.c_str(), 0, 0, &parts)) {
        error = "bad url";
        return false;
    }
    probe.session = InternetOpenW(L"LmDownloadBench/1", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    probe.connect = probe.session ? InternetConnectW(probe.session, host, parts.nPort, L"", nullptr,
                                                     INTERNET_SERVICE_HTTP, 0, 0)
                                  : nullptr;
    LPCWSTR accept[] = { L"*/*", nullptr };
    probe.request = probe.connect ? HttpOpenRequestW(probe.connect, L"GET", path, L"HTTP/1.1", L"", accept,
                                                     INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                                         INTERNET_FLAG_KEEP_CONNECTION,
                                                     0)
                                  : nullptr;
    if (!probe.request) {
        error = "open failed";
        return false;
    }
    HttpAddRequestHeadersA(probe.request, "Connection: Keep-Alive\r\n", static_cast<DWORD>(-1), HTTP_ADDREQ_FLAG_ADD);
    return true;
}

void CloseProbe(Probe& probe)
{
    for (HINTERNET* handle : { &probe.request, &probe.connect, &probe.session }) {
        HINTERNET h = static_cast<HINTERNET>(InterlockedExchangePointer(reinterpret_cast<PVOID*>(handle), nullptr));
        if (h)
            InternetCloseHandle(h);
    }
}

int RunAbandon(const std::wstring& url, double& closeSeconds, std::string& error)
{
    Probe probe;
    if (!OpenLikeAStream(url, probe, error) || !HttpSendRequestA(probe.request, nullptr, 0, nullptr, 0)) {
        error = error.empty() ? "send failed" : error;
        CloseProbe(probe);
        return 1;
    }
    std::vector<char> buffer(65536);
    DWORD read = 0;
    InternetReadFile(probe.request, buffer.data(), static_cast<DWORD>(buffer.size()), &read);
    const ULONGLONG begin = GetTickCount64();
    CloseProbe(probe);
    closeSeconds = (GetTickCount64() - begin) / 1000.0;
    return 0;
}

DWORD WINAPI CloseLater(void* parameter)
{
    Sleep(1000);
    CloseProbe(*static_cast<Probe*>(parameter));
    return 0;
}

int RunCloseBlocked(const std::wstring& url, double& blockedSeconds, std::string& error)
{
    Probe probe;
    if (!OpenLikeAStream(url, probe, error))
        return 1;
    HINTERNET request = probe.request;
    HANDLE closer = CreateThread(nullptr, 0, CloseLater, &probe, 0, nullptr);
    const ULONGLONG begin = GetTickCount64();
    BOOL ok = HttpSendRequestA(request, nullptr, 0, nullptr, 0);
    if (ok) {
        std::vector<char> buffer(65536);
        DWORD read = 0;
        while ((ok = InternetReadFile(request, buffer.data(), static_cast<DWORD>(buffer.size()), &read)) && read > 0) {
        }
    }
    blockedSeconds = (GetTickCount64() - begin) / 1000.0;
    error = ok ? "the call ended normally" : "the call failed with " + std::to_string(GetLastError());
    WaitForSingleObject(closer, INFINITE);
    CloseHandle(closer);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: DownloadBench msd|wininet <url> <target> [single=<size>]\n");
        return 3;
    }
    const std::wstring mode = argv[1], url = argv[2], target = argc > 3 ? argv[3] : L"";
    uint32_t singleTotal = 0;
    if (argc > 4 && std::wstring(argv[4]).compare(0, 7, L"single=") == 0)
        singleTotal = static_cast<uint32_t>(std::wcstoul(argv[4] + 7, nullptr, 10));
    unsigned streams = 1;
    unsigned long long bytes = 0;
    std::string error;
    const unsigned long long startRss = MemoryCounters().WorkingSetSize;
    const double startCpu = CpuSeconds();
    const ULONGLONG begin = GetTickCount64();
    int rc = 3;
    try {
        if (mode == L"msd")
            rc = RunMultiStream(url, target, singleTotal, streams, bytes, error);
        else if (mode == L"wininet")
            rc = RunWinInet(url, target, bytes, error);
        else if (mode == L"abandon" || mode == L"closeblocked") {
            double probeSeconds = 0;
            rc = mode == L"abandon" ? RunAbandon(url, probeSeconds, error) : RunCloseBlocked(url, probeSeconds, error);
            if (rc == 0) {
                std::printf("ok probeseconds=%.2f cpu=%.2f %s\n", probeSeconds, CpuSeconds() - startCpu, error.c_str());
                return 0;
            }
        }
    } catch (const Lm::System::CException& e) {
        error = Lm::Utf16ToUtf8(e.ToString());
        rc = 1;
    }
    const double seconds = (GetTickCount64() - begin) / 1000.0;
    const double cpu = CpuSeconds() - startCpu;
    if (rc == 0) {
        const PROCESS_MEMORY_COUNTERS_EX counters = MemoryCounters();
        std::printf("ok seconds=%.3f cpu=%.2f startcpu=%.2f peakprivate=%llu startrss=%llu peakrss=%llu bytes=%llu "
                    "streams=%u\n",
                    seconds, cpu, startCpu, static_cast<unsigned long long>(counters.PeakPagefileUsage), startRss,
                    static_cast<unsigned long long>(counters.PeakWorkingSetSize), bytes, streams);
    }
    else
        std::printf("failed %s\n", error.c_str());
    std::fflush(stdout);
    return rc;
}
