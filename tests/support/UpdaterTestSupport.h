// Helpers of the Updater's tests: a product of the test's own (its work folder, log, mutex and
// events, and the reply the test server's client-services stand-in gives it), and an observer
// that records what the download and launch steps tell. Header only; for the Updater's tests.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "StandInLog.h"
#include "System/String/AnsiWide.h"
#include "TestSupport.h"
#include "Updater/PatchDownload.h"
#include "Updater/UpdateObserver.h"

namespace LmTest {

// Set by the test list for the runs inside a network namespace (tools/offline-session.sh).
inline bool InsideNetworkNamespace()
{
    const char* flag = std::getenv("LM_EXPECT_NO_NETWORK");
    return flag != nullptr && flag[0] == '1';
}

// The size of a file, -1 when it cannot be read.
inline long long FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The user's roaming application data, without the final backslash.
inline std::wstring RoamingAppData()
{
    wchar_t path[MAX_PATH] = L"";
    SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, path);
    return path;
}

// "<scenario>.<unique>" (the stand-in's reply for the update check), or "LmTest<unique>"; its
// work folder and log go with the object.
class TestProduct {
public:
    // suffix: more of the name after the unique part (the server still reads the scenario).
    explicit TestProduct(const std::string& scenario = "", const std::wstring& suffix = L"")
        : name_((scenario.empty() ? UniqueName(L"LmTest") : Lm::AnsiToWide(scenario) + UniqueName(L".")) + suffix)
    {
    }
    ~TestProduct()
    {
        RemoveTree(RoamingAppData() + L"\\Larchmeadow\\Updater\\" + name_);
        DeleteFileW(LogPath().c_str());
    }
    TestProduct(const TestProduct&) = delete;
    TestProduct& operator=(const TestProduct&) = delete;

    const std::wstring& Name() const { return name_; }
    // The name as the server's request log shows it in a URL (UTF-8, escaped).
    std::string Tag() const { return Lm::Utf16ToUrlUtf8(name_); }
    // The work folder, with the final backslash (created).
    std::wstring Folder() const { return Lm::Updater::GetUpdaterFolder(name_); }
    std::wstring LogPath() const
    {
        return RoamingAppData() + L"\\Larchmeadow\\Larchmeadow Games\\App\\Update\\" + name_ + L"_Update.log";
    }

private:
    std::wstring name_;
};

// The records of the stand-ins the Updater's tests start (packages, Park copies). They go to one
// folder of the test process (LM_STANDIN_LOG_DIR, set for this process and the programs it
// starts on first use), each to "<file name>.log": a package that an elevated run starts from a
// temporary folder, which goes with the run, leaves its record there too.
inline const std::wstring& StandInLogs()
{
    static ScratchFolder folder(L"lmlog");
    static const bool set = SetEnvironmentVariableW(L"LM_STANDIN_LOG_DIR", folder.Path().c_str()) != FALSE;
    (void)set;
    return folder.Path();
}

// The log of the stand-ins run under the file name of the path (a path or a bare name).
inline std::wstring StandInLogOfProgram(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    return StandInLogs() + L"\\" + (slash == std::wstring::npos ? path : path.substr(slash + 1)) + L".log";
}

inline std::vector<StandInRecord> RecordsOfProgram(const std::wstring& path)
{
    return ReadStandInRecords(StandInLogOfProgram(path));
}

// The folder of a path, without the final backslash.
inline std::wstring FolderOf(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

struct RecordingObserver : Lm::Updater::IUpdateObserver {
    void PostBarPosition(int position) override { bars.push_back(position); }
    void SetStatusText(UINT stringId) override { texts.push_back(stringId); }
    void ReportResult(const std::wstring& text) override { reports.push_back(text); }

    std::vector<int> bars;
    std::vector<UINT> texts;
    std::vector<std::wstring> reports;
};

} // namespace LmTest
