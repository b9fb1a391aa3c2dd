// The whole road, as a user takes it, under Wine: setup.exe downloaded as
// "Setup-demo-larchplay.exe" and run silently unpacks the Installer and Park, the Installer lays
// the touchpoint down and hands the main application to the Updater, which fetches the package
// from the local client-services stand-in (tests/servers/http_test_server.py) and runs it under
// Park; the package (tests/tools/PackageStandIn.cpp) lays the main application down and reports
// its result; Park starts the application once at the end. Then the touchpoint's uninstall entry
// is run, its boxes answered, and after the next logon (wineboot -r) the machine is as before
// but for the per-user files the programs keep.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "AnsweredCall.h"
#include "InstallerTestSupport.h"
#include "MachineSnapshot.h"
#include "StandInLog.h"
#include "TestProcess.h"
#include "TestRegistry.h"
#include "TestServer.h"
#include "TestShellLinks.h"
#include "TestSupport.h"
#include "TouchpointMachine.h"

namespace {

using LmTest::RegKeyExists;
using LmTest::RegRead;

constexpr const wchar_t* kInstallerCaption = L"Larchmeadow Games App Setup";
constexpr const wchar_t* kUninstallCaption = L"Larchmeadow Games App Uninstall";
constexpr const wchar_t* kRunOnceKey = L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr const wchar_t* kTouchpointRunOnceValue = L"{8E2B7C40-5F1A-4D39-B6E8-0A7C3D9F2B64}-larchplay";
// The product the Installer's Updater asks for (it names none), and the reply the test gives it:
// the signed package stand-in that lays the main application down, reports 50 % and "Success".
constexpr const wchar_t* kInstallerProduct = L"PellorGamesApp";
constexpr const wchar_t* kRoadScenario = L"package-app-install50-semaphore";
constexpr const wchar_t* kPackageName = L"Package_app_install50_semaphore.exe";
constexpr DWORD kRunTimeoutMs = 600000;

std::wstring Temp()
{
    wchar_t buffer[MAX_PATH + 1];
    std::wstring path(buffer, GetTempPathW(MAX_PATH + 1, buffer));
    if (!path.empty() && path.back() == L'\\')
        path.pop_back();
    return path;
}

bool KeepLarchmeadowEntry(const std::wstring& name) { return LmTest::LowerText(name).find(L"larchmeadow") != std::wstring::npos; }
bool KeepSuiteTemporaryFolder(const std::wstring& name) { return _wcsnicmp(name.c_str(), L"pdtp", 4) == 0; }

// The places the suite writes: both registry views of the uninstall list (our entries), RunOnce
// and HKLM\Software\Larchmeadow (but for the test's Debugging values); the games folder, the
// maker's ProgramData and roaming folders, the public desktop, the common programs and their
// "Games" folder, and the suite's temporary folders.
LmTest::MachineSnapshot TakeSnapshot()
{
    LmTest::MachineSnapshot s;
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        const std::wstring label = view == KEY_WOW64_32KEY ? L"reg32" : L"reg64";
        LmTest::SnapshotKey(view, label, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", s, KeepLarchmeadowEntry);
        LmTest::SnapshotKey(view, label, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce", s);
        LmTest::SnapshotKey(view, label, L"SOFTWARE\\Larchmeadow", s, LmTest::KeepMakerSubKey);
    }
    LmTest::SnapshotFolder(LmTest::GamesFolder(), s, true);
    LmTest::SnapshotFolder(LmTest::KnownFolder(FOLDERID_ProgramData) + L"\\Larchmeadow", s, true);
    LmTest::SnapshotFolder(LmTest::KnownFolder(FOLDERID_RoamingAppData) + L"\\Larchmeadow", s, true);
    LmTest::SnapshotFolder(LmTest::KnownFolder(FOLDERID_PublicDesktop), s, false);
    LmTest::SnapshotFolder(LmTest::KnownFolder(FOLDERID_CommonPrograms), s, false);
    LmTest::SnapshotFolder(LmTest::StartMenuGamesFolder(), s, true);
    LmTest::SnapshotFolder(Temp(), s, false, KeepSuiteTemporaryFolder);
    return s;
}

// The analytics events "Update" with the result "Succeeded" that the server has received from
// runs of the Updater's own locale (the program tests' runs carry locales "en-x-t...").
size_t SucceededUpdates()
{
    size_t count = 0;
    for (const std::string& line : LmTest::ServerLogLines("ep.result=Succeeded", 0))
        if (line.find("\"path\": \"/g/collect\"") != std::string::npos && line.find("en=Update") != std::string::npos &&
            line.find("ul=en-x-t") == std::string::npos)
            ++count;
    return count;
}

long long FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// What the run shows (make demo prints it): one line or a block of lines under a heading.
std::string Utf8(const std::wstring& text)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], n, nullptr, nullptr);
    return bytes;
}

void Show(const std::string& heading, const std::wstring& lines = L"")
{
    printf("== %s\n%s", heading.c_str(), Utf8(lines).c_str());
    if (!lines.empty() && lines.back() != L'\n')
        printf("\n");
    fflush(stdout);
}

std::wstring DescribeLink(const wchar_t* what, const LmTest::ShellLinkData& link)
{
    return std::wstring(L"  ") + what + L": target " + link.target + L", arguments \"" + link.arguments + L"\", icon " +
           link.iconPath + L", description \"" + link.description + L"\"\n";
}

// The requests the server answered since the log held the given number of lines.
// A number field of a request log line, or -1.
double LogNumber(const std::string& line, const char* name)
{
    const std::string key = std::string("\"") + name + "\": ";
    const size_t at = line.find(key);
    return at == std::string::npos ? -1.0 : std::atof(line.c_str() + at + key.size());
}

// How long the package download took: from the first request for the package's file to the
// last one answered (the log line of a request is written when its answer ended).
DWORD PackageDownloadMs(size_t linesBefore)
{
    const std::vector<std::string> lines = LmTest::ServerLogLines("\"path\"", 0);
    double first = -1, last = -1;
    for (size_t i = linesBefore; i < lines.size(); ++i) {
        if (lines[i].find("\"path\": \"/files/") == std::string::npos)
            continue;
        const double started = LogNumber(lines[i], "started"), ended = LogNumber(lines[i], "time");
        if (started > 0 && (first < 0 || started < first))
            first = started;
        if (ended > last)
            last = ended;
    }
    return first < 0 || last < first ? 0 : static_cast<DWORD>((last - first) * 1000 + 0.5);
}

std::wstring ServerRequestsSince(size_t linesBefore)
{
    std::wstring text;
    const std::vector<std::string> lines = LmTest::ServerLogLines("\"path\"", 0);
    for (size_t i = linesBefore; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        auto field = [&](const char* name) {
            const std::string key = std::string("\"") + name + "\": \"";
            const size_t at = line.find(key);
            return at == std::string::npos ? std::string()
                                           : line.substr(at + key.size(), line.find('"', at + key.size()) - at - key.size());
        };
        const std::string path = field("path"), query = field("query");
        text += L"  " + std::wstring(path.begin(), path.end()) +
                (query.empty() ? L"" : L"?" + std::wstring(query.begin(), query.end())) + L"\n";
    }
    return text;
}

class Road : public testing::Test {
protected:
    void SetUp() override
    {
        // A machine that never had the suite: no games folder at all.
        LmTest::ClearTouchpointPlaces();
        LmTest::RemoveTree(LmTest::GamesFolder());
        CreateDirectoryW((LmTest::ServerDir() + L"\\scenarios").c_str(), nullptr);
        LmTest::WriteFileUtf8(scenarioFile_, kRoadScenario);
    }
    void TearDown() override { DeleteFileW(scenarioFile_.c_str()); }

    LmTest::InstallerMachine machine;
    LmTest::StandInLogFolder logs;
    LmTest::ScratchFolder download{L"lmroad"};
    const std::wstring scenarioFile_ = LmTest::ServerDir() + L"\\scenarios\\" + kInstallerProduct;
};

TEST_F(Road, silent_setup_installs_park_starts_the_application_and_uninstall_takes_it_back)
{
    ASSERT_TRUE(LmTest::FileExists(LmTest::Program(L"setup.exe")));
    const LmTest::MachineSnapshot before = TakeSnapshot();
    const size_t updatesBefore = SucceededUpdates();
    const size_t requestsBefore = LmTest::ServerLogLines("\"path\"", 0).size();
    const long long setupSize = FileSize(LmTest::Program(L"setup.exe"));
    Show("setup.exe: " + std::to_string(setupSize) + " bytes (goal: under 2 MiB, " +
         (setupSize < 2 * 1024 * 1024 ? "met" : "not met") + ")");

    // The download as a user finds it: the token "demo" and the DP "larchplay" in its name.
    const std::wstring setup = download / L"Setup-demo-larchplay.exe";
    ASSERT_TRUE(CopyFileW(LmTest::Program(L"setup.exe").c_str(), setup.c_str(), FALSE));
    const DWORD start = GetTickCount();
    const LmTest::AnsweredRun install =
        LmTest::RunAnsweringBoxes(setup, L"/silent", kInstallerCaption, {IDOK}, kRunTimeoutMs, download.Path(), true);
    const DWORD installMs = GetTickCount() - start;
    ASSERT_TRUE(install.run.finished) << "setup hung";
    EXPECT_EQ(0u, install.run.exitCode);
    EXPECT_EQ(std::vector<std::wstring>(), install.boxes);
    const DWORD downloadMs = std::min(PackageDownloadMs(requestsBefore), installMs);
    Show("Setup-demo-larchplay.exe /silent: exit code " + std::to_string(install.run.exitCode) + ", " +
         std::to_string(installMs) + " ms, of which the package download " + std::to_string(downloadMs) +
         " ms: " + std::to_string(installMs - downloadMs) + " ms without it (goal: under 5 s, " +
         (installMs - downloadMs < 5000 ? "met" : "not met") + ")");
    const LmTest::MachineSnapshot installed = TakeSnapshot();
    Show("laid down (files, folders, both registry views):", LmTest::DescribeSnapshotChange(before, installed));

    // The touchpoint: its files, its entry, its links.
    const std::wstring touchpoint = LmTest::TouchpointFolder();
    for (const wchar_t* name : {L"Uninstall.exe", L"PinHook.exe", L"Application.ico", L"Restore.exe"})
        EXPECT_TRUE(LmTest::FileExists(touchpoint + L"\\" + name)) << name;
    const std::wstring app = LmTest::MainAppFolder() + L"\\Playdeck-lm.exe";
    EXPECT_EQ(L"\"" + touchpoint + L"\\Uninstall.exe\"", RegRead(LmTest::kTestTouchpointEntry, L"UninstallString").Text());
    EXPECT_EQ(L"larchplay", RegRead(LmTest::kTestTouchpointEntry, L"DP").Text());
    EXPECT_EQ(L"4.1.1.132", RegRead(LmTest::kTestTouchpointEntry, L"Version").Text());
    EXPECT_EQ(L"Larchmeadow Games App", RegRead(LmTest::kTestTouchpointEntry, L"DisplayName").Text());
    EXPECT_EQ(app, RegRead(LmTest::kTestTouchpointEntry, L"ConsoleExePath").Text());
    CoInitialize(nullptr);
    LmTest::ShellLinkData desktop, startMenu;
    EXPECT_TRUE(LmTest::ReadShellLink(LmTest::PublicDesktopLink(), desktop));
    EXPECT_TRUE(LmTest::ReadShellLink(LmTest::StartMenuGamesFolder() + L"\\Larchmeadow Games.lnk", startMenu));
    CoUninitialize();
    EXPECT_EQ(LmTest::LowerText(app), LmTest::LowerText(desktop.target));
    EXPECT_EQ(L"/src desktop /dp larchplay", desktop.arguments);
    EXPECT_EQ(L"/src gamesmenu /dp larchplay", startMenu.arguments);
    Show("links as the shell reads them:", DescribeLink(L"public desktop", desktop) + DescribeLink(L"start menu", startMenu));

    // The main application, laid down by the package that the Updater fetched and ran under Park.
    EXPECT_TRUE(LmTest::FileExists(app));
    const std::vector<LmTest::StandInRecord> package = logs.Records(kPackageName);
    ASSERT_EQ(1u, package.size());
    EXPECT_EQ(0u, package[0].arguments.find(L"/park=\"")) << package[0].arguments;
    EXPECT_NE(std::wstring::npos, package[0].arguments.find(L"\" /nolaunchapp")) << package[0].arguments;

    // Park started it once, with setup's launch parameters.
    std::vector<LmTest::StandInRecord> started;
    LmTest::WaitUntil([&] { return !(started = logs.Records(L"Playdeck-lm.exe")).empty(); }, 30000);
    Sleep(1000);
    started = logs.Records(L"Playdeck-lm.exe");
    ASSERT_EQ(1u, started.size());
    EXPECT_EQ(L"/src installer /dp larchplay /action download demo", started[0].arguments);
    Show("the application recorded:", L"  " + started[0].exe + L" " + started[0].arguments + L"\n");
    Show("the package recorded:", L"  " + package[0].exe + L" " + package[0].arguments + L"\n");

    // Nothing of the run's own state is left.
    EXPECT_FALSE(RegKeyExists(Lm::CommonAppLogic::kInstallerStatusKey));
    EXPECT_FALSE(RegRead(Lm::CommonAppLogic::kLarchmeadowKey, Lm::CommonAppLogic::kInstallSemaphoreValue).exists);
    EXPECT_FALSE(RegRead(kRunOnceKey, kTouchpointRunOnceValue, KEY_WOW64_64KEY).exists);
    EXPECT_TRUE(LmTest::WaitUntil([&] { return SucceededUpdates() > updatesBefore; }, 60000)) << "the Updater's \"Succeeded\"";
    Show("the servers received:", ServerRequestsSince(requestsBefore));

    // The user removes it through its entry in Programs and Features.
    std::wstring program = RegRead(LmTest::kTestTouchpointEntry, L"UninstallString").Text();
    ASSERT_TRUE(program.size() > 2 && program.front() == L'"' && program.back() == L'"') << "a quoted program";
    program = program.substr(1, program.size() - 2);
    const LmTest::AnsweredRun uninstall =
        LmTest::RunAnsweringBoxes(program, L"", kUninstallCaption, {IDYES, IDOK}, kRunTimeoutMs, Temp(), true);
    ASSERT_TRUE(uninstall.run.finished);
    EXPECT_EQ(0u, uninstall.run.exitCode);
    EXPECT_EQ(2u, uninstall.boxes.size()) << "the question and the finished box";
    std::wstring boxes;
    for (const std::wstring& box : uninstall.boxes)
        boxes += L"  box: " + box + L"\n";
    Show("Uninstall.exe from the entry: exit code " + std::to_string(uninstall.run.exitCode), boxes);
    // Its copy deletes the rest.
    EXPECT_TRUE(LmTest::WaitUntil([] { return LmTest::RunningProcesses(L"Uninstaller.exe") == 0; }, 60000));
    EXPECT_FALSE(LmTest::DirectoryExists(touchpoint));
    EXPECT_FALSE(LmTest::FileExists(app)) << "the main application's uninstaller ran";

    // The next logon runs what was left for it.
    const LmTest::RunResult logon = LmTest::RunProgram(L"C:\\windows\\sysnative\\wineboot.exe", L"-r", 120000);
    ASSERT_TRUE(logon.finished) << "wineboot -r";
    // (the RunOnce commands run in the background: wait for the copy's folder to go)
    LmTest::WaitUntil([&] {
        for (const auto& entry : TakeSnapshot())
            if (entry.first.find(L"\\pdtpu-") != std::wstring::npos && !before.count(entry.first))
                return false;
        return true;
    }, 60000);

    // The machine as before, but for what the programs keep per user (logs, the Updater's folder
    // with its Park copy, the analytics store, the visitor id's ini), the Start-menu folder that
    // Uninstall keeps, and the desktop.ini files in which PinHook kept the links' localized names.
    const std::wstring roaming = LmTest::KnownFolder(FOLDERID_RoamingAppData) + L"\\Larchmeadow";
    const LmTest::MachineSnapshot after = TakeSnapshot();
    const std::vector<std::wstring> allowed = {
        roaming + L"\\Logs\\", roaming + L"\\Larchmeadow Games\\", roaming + L"\\Updater\\",
        roaming + L"\\Analytics\\", roaming + L"\\Larchmeadow.ini", LmTest::StartMenuGamesFolder() + L"\\",
        LmTest::KnownFolder(FOLDERID_PublicDesktop) + L"\\desktop.ini",
        LmTest::KnownFolder(FOLDERID_CommonPrograms) + L"\\desktop.ini"};
    const std::wstring change = LmTest::SnapshotChangeBeyond(before, after, allowed);
    EXPECT_EQ(L"", change);
    if (!change.empty()) {
        Show("machine NOT as before; beyond the allow-list:", change);
        return;
    }
    std::wstring allowList;
    for (const std::wstring& prefix : allowed)
        allowList += L"  " + prefix + L"\n";
    Show("machine as before, but for:", allowList);
    Show("(what this run changed there:)", LmTest::DescribeSnapshotChange(before, after));
}

} // namespace
