// Stands in for the Updater's package download in the restart tests: downloads a URL to a path
// with CHTTPDownload (5 retries, as the Updater) and can kill its own process with
// TerminateProcess at a chosen point, so that a test can run it again on the state files left.
//   DownloadHarness.exe <url> <target> [killat=<bytes>] [killstreams=<n>] [timeout=<ms>]
//                       [result=<file>] [size=<bytes>] [sha256=<hex>] [stallms=<ms>]
// killat: terminate (exit code 99) once bytesDone reaches the value, while streamCount is
// killstreams (default: any). result: a UTF-8 line "complete <bytesDone> <totalSize>
// <streamCount>", "killed <bytesDone>" or "failed <error text>". size, sha256, stallms: what the
// download is told (DownloadOptions: expected size and digest, stall bound).
// Exit code 0 complete, 1 failed, 2 timed out, 3 usage.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "System/Net/MultiStreamDownload/HTTPDownload.h"
#include "System/String/AnsiWide.h"

using namespace Lm::System::Net::MultiStreamDownload;

namespace {

bool Option(const std::wstring& arg, const wchar_t* name, std::wstring& value)
{
    const std::wstring prefix = std::wstring(name) + L"=";
    if (arg.compare(0, prefix.size(), prefix) != 0)
        return false;
    value = arg.substr(prefix.size());
    return true;
}

void WriteResult(const std::wstring& path, const std::string& line)
{
    if (path.empty())
        return;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: DownloadHarness <url> <target> [killat=N] [killstreams=N] [timeout=MS] [result=FILE]\n");
        return 3;
    }
    const std::wstring url = argv[1], target = argv[2];
    unsigned long long killAt = 0;
    bool kill = false;
    unsigned killStreams = 0;
    DWORD timeoutMs = 120000;
    std::wstring resultPath;
    DownloadOptions options;
    for (int i = 3; i < argc; ++i) {
        std::wstring value;
        if (Option(argv[i], L"killat", value)) {
            killAt = std::wcstoull(value.c_str(), nullptr, 10);
            kill = true;
        } else if (Option(argv[i], L"killstreams", value)) {
            killStreams = static_cast<unsigned>(std::wcstoul(value.c_str(), nullptr, 10));
        } else if (Option(argv[i], L"timeout", value)) {
            timeoutMs = static_cast<DWORD>(std::wcstoul(value.c_str(), nullptr, 10));
        } else if (Option(argv[i], L"result", value)) {
            resultPath = value;
        } else if (Option(argv[i], L"size", value)) {
            options.expectedSize = std::wcstoull(value.c_str(), nullptr, 10);
        } else if (Option(argv[i], L"sha256", value)) {
            options.expectedSha256 = Lm::Utf16ToUtf8(value);
        } else if (Option(argv[i], L"stallms", value)) {
            options.stallBoundMs = static_cast<DWORD>(std::wcstoul(value.c_str(), nullptr, 10));
        } else {
            std::fprintf(stderr, "unknown argument\n");
            return 3;
        }
    }

    try {
        CHTTPDownload download(L"LmDownloadHarness/1", url, target, nullptr, nullptr, 5, options);
        const ULONGLONG end = GetTickCount64() + timeoutMs;
        for (;;) {
            DownloadStatus status;
            download.GetStatus(status);
            if (status.complete) {
                WriteResult(resultPath, "complete " + std::to_string(status.bytesDone) + " " +
                                            std::to_string(status.totalSize) + " " + std::to_string(status.streamCount));
                return 0;
            }
            if (status.failed) {
                WriteResult(resultPath, "failed " + (status.error ? Lm::Utf16ToUtf8(status.error->ToString())
                                                                   : std::string("(no error)")));
                return 1;
            }
            if (kill && status.bytesDone >= killAt && (killStreams == 0 || status.streamCount == killStreams)) {
                // A hard kill, as a crash or a user ending the process would be: no destructor runs.
                WriteResult(resultPath, "killed " + std::to_string(status.bytesDone));
                TerminateProcess(GetCurrentProcess(), 99);
            }
            if (GetTickCount64() > end) {
                WriteResult(resultPath, "timeout");
                return 2;
            }
            Sleep(kill ? 5 : 50);
        }
    } catch (const Lm::System::CException& e) {
        WriteResult(resultPath, "failed " + Lm::Utf16ToUtf8(e.ToString()));
        return 1;
    }
}
