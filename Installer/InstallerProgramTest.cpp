// The Installer program run for real under Wine: the test build (build/tests/installer-build)
// whose Updater is the hand-off stand-in, copied under the file names that setup gives it, with
// the machine's touchpoint places saved and put back (TouchpointMachine). Its boxes are answered
// as a user would; the test looks at the exit code, the boxes, and what the run leaves on the
// machine: files, entries, links, the status key, Park and the application it starts.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "AnsweredCall.h"
#include "CommonAppLogic/UILanguage.h"
#include "Installer/InstallerContract.h"
#include "Installer/InstallerMessageTable.h"
#include "Park/ParkContract.h"
#include "System/Io/FilePath.h"
#include "System/Win32/DebuggingContract.h"
#include "StandInLog.h"
#include "InstallerTestSupport.h"
#include "TestRegistry.h"
#include "TestShellLinks.h"
#include "TestSupport.h"
#include "TouchpointMachine.h"

namespace Lm {
namespace Installer {
namespace {

using LmTest::RegKeyExists;
using LmTest::RegRead;
using LmTest::RegSetText;

constexpr const wchar_t* kRunOnceKey = L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr const wchar_t* kWineAppDefaults = L"HKCU\\Software\\Wine\\AppDefaults\\";
constexpr DWORD kRunTimeoutMs = 240000;

const InstallerMessageRow& Row() { return GetInstallerMessageRow(Lm::CommonAppLogic::GetUILanguageIndex(L"")); }
std::wstring Text(InstallerMessage message) { return InstallerMessageText(Row(), message); }
std::wstring Unexpected(const wchar_t* code) { return Text(kMessageUnexpectedError) + code; }
std::vector<std::wstring> None() { return {}; }
std::vector<std::wstring> Box(const std::wstring& text) { return {text}; }

// The secure temporary folders of the Installer (pages, hand-off, rollback) now in %TEMP%.
std::set<std::wstring> InstallerTemporaryFolders()
{
    std::set<std::wstring> folders;
    WIN32_FIND_DATAW data;
    const std::wstring temp = Lm::System::IO::CFilePath::GetTempPath();
    HANDLE find = FindFirstFileW((temp + L"pdtpi-*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return folders;
    do
        folders.insert(data.cFileName);
    while (FindNextFileW(find, &data));
    FindClose(find);
    return folders;
}

class InstallerProgram : public testing::Test {
protected:
    LmTest::InstallerMachine machine;
    LmTest::StandInLogFolder logs;
    LmTest::ScratchFolder scratch{L"lminstaller"};

    void SetUp() override
    {
        LmTest::ClearTouchpointPlaces();
        Updater(L"0", L"Success");
        temporaryBefore_ = InstallerTemporaryFolders();
    }
    void TearDown() override { LmTest::ClearHandOffStandIns(); }

    // The Updater stand-in's exit code and the full installer's result (null: none).
    void Updater(const wchar_t* exitCode, const wchar_t* result)
    {
        LmTest::SetHandOffStandIn(L"UPDATER", exitCode, result, (scratch / L"updater.txt").c_str());
    }
    bool UpdaterRan() const { return LmTest::FileExists(scratch / L"updater.txt"); }
    std::wstring UpdaterCommandLine() const
    {
        const std::wstring text = LmTest::ReadFileUtf8(scratch / L"updater.txt");
        const size_t start = text.find(L"commandline=");
        return start == std::wstring::npos ? std::wstring() : text.substr(start + 12, text.find(L'\n', start) - start - 12);
    }

    // The test build copied as fileName into the scratch folder (as setup unpacks it).
    std::wstring Installer(const std::wstring& fileName = L"setup.exe")
    {
        const std::wstring path = scratch / fileName;
        EXPECT_TRUE(CopyFileW((LmTest::TestDir() + L"installer-build\\Installer.exe").c_str(), path.c_str(), FALSE));
        return path;
    }
    LmTest::AnsweredRun Run(const std::wstring& arguments, const std::wstring& fileName = L"setup.exe")
    {
        LmTest::AnsweredRun run = LmTest::RunAnsweringBoxes(Installer(fileName), arguments, Text(kMessageCaption),
                                                            {IDOK}, kRunTimeoutMs, scratch.Path());
        EXPECT_TRUE(run.run.finished) << "the Installer hung";
        return run;
    }

    // The Park that setup arms; returns the "/park=" argument that names it.
    std::wstring ArmPark()
    {
        EXPECT_TRUE(park_.Arm()) << "Park did not arm";
        return park_.Option();
    }
    size_t ApplicationStarts() { return LmTest::ArmedPark::ApplicationStarts(logs); }
    void MainApplication() { LmTest::InstallMainApplicationEntry(scratch.Path()); }

    // Nothing of a run is left on the machine.
    void ExpectNothingLeft()
    {
        EXPECT_FALSE(LmTest::DirectoryExists(LmTest::TouchpointFolder()));
        EXPECT_FALSE(RegKeyExists(LmTest::kTestTouchpointEntry));
        EXPECT_FALSE(RegKeyExists(kInstallerStatusKey));
        EXPECT_FALSE(RegRead(kLarchmeadowKey, kInstallSemaphoreValue).exists);
        EXPECT_FALSE(LmTest::FileExists(LmTest::PublicDesktopLink()));
        EXPECT_FALSE(LmTest::FileExists(LmTest::StartMenuGamesFolder() + L"\\Larchmeadow Games.lnk"));
        EXPECT_EQ(temporaryBefore_, InstallerTemporaryFolders()) << "the Installer's temporary folders are gone";
    }
    void ExpectInstalled()
    {
        std::vector<std::wstring> files;
        for (const wchar_t* name : {L"Application.ico", L"PinHook.exe", L"Restore.exe", L"Uninstall.exe"})
            EXPECT_TRUE(LmTest::FileExists(LmTest::TouchpointFolder() + L"\\" + name)) << name;
        EXPECT_EQ(L"\"" + LmTest::TouchpointFolder() + L"\\Uninstall.exe\"",
                  RegRead(LmTest::kTestTouchpointEntry, L"UninstallString").Text());
        EXPECT_TRUE(LmTest::FileExists(LmTest::PublicDesktopLink()));
        EXPECT_TRUE(LmTest::FileExists(LmTest::StartMenuGamesFolder() + L"\\Larchmeadow Games.lnk"));
        EXPECT_FALSE(RegKeyExists(kInstallerStatusKey));
        EXPECT_FALSE(RegRead(kLarchmeadowKey, kInstallSemaphoreValue).exists);
        EXPECT_EQ(temporaryBefore_, InstallerTemporaryFolders()) << "the Installer's temporary folders are gone";
    }

    std::set<std::wstring> temporaryBefore_;
    LmTest::ArmedPark park_{scratch.Path()};
};

TEST_F(InstallerProgram, silent_install_lays_down_the_touchpoint_and_lets_park_start_the_application)
{
    RegSetText(kRunOnceKey, L"{8E2B7C40-5F1A-4D39-B6E8-0A7C3D9F2B64}-larchplay", L"cmd.exe /c RD /S /Q \"x\"", REG_SZ,
               KEY_WOW64_64KEY);
    const LmTest::AnsweredRun run = Run(L"/S /unknown " + ArmPark());
    EXPECT_EQ(0u, run.run.exitCode);
    EXPECT_EQ(None(), run.boxes);
    ExpectInstalled();
    EXPECT_EQ(L"larchplay", RegRead(LmTest::kTestTouchpointEntry, L"DP").Text());
    EXPECT_FALSE(RegRead(kRunOnceKey, L"{8E2B7C40-5F1A-4D39-B6E8-0A7C3D9F2B64}-larchplay", KEY_WOW64_64KEY).exists);
    EXPECT_FALSE(LmTest::FileExists(LmTest::SharedIniPath())) << "no licence was agreed";
    EXPECT_TRUE(park_.Ended());
    EXPECT_EQ(1u, ApplicationStarts());
    EXPECT_FALSE(LmTest::FileExists(park_.Path())) << "clean-up deletes the Park that setup armed";
}

TEST_F(InstallerProgram, window_path_under_wine_ends_with_its_box_and_leaves_nothing)
{
    // Wine's browser control loads no page: the window path fails as a whole. "/s" is not "/S",
    // and "/update" is full-installer mode, which shows the window even with "/silent".
    for (const wchar_t* options : {L"/s", L"/update /silent", L""}) {
        SCOPED_TRACE(testing::Message() << "options \"" << options << "\"");
        DeleteFileW((scratch / L"updater.txt").c_str());
        const LmTest::AnsweredRun run = Run(std::wstring(options) + L" " + ArmPark());
        EXPECT_EQ(0u, run.run.exitCode);
        EXPECT_EQ(Box(Unexpected(L" (Error 4-1)")), run.boxes);
        EXPECT_FALSE(UpdaterRan());
        ExpectNothingLeft();
        EXPECT_TRUE(park_.Ended()) << "released by the clean-up";
        EXPECT_EQ(0u, ApplicationStarts());
        EXPECT_FALSE(LmTest::FileExists(park_.Path()));
        park_.Release();
    }
}

TEST_F(InstallerProgram, both_entries_valid_take_the_silent_path_in_any_mode)
{
    MainApplication();
    ASSERT_EQ(0u, Run(L"/S").run.exitCode);
    ASSERT_FALSE(UpdaterRan()) << "the main application is there";
    ExpectInstalled();
    DeleteFileW(LmTest::PublicDesktopLink().c_str());

    for (const wchar_t* options : {L"", L"/update"}) {
        SCOPED_TRACE(testing::Message() << "options \"" << options << "\"");
        const LmTest::AnsweredRun run = Run(options);
        EXPECT_EQ(0u, run.run.exitCode);
        EXPECT_EQ(None(), run.boxes) << "no window";
        EXPECT_FALSE(UpdaterRan());
        ExpectInstalled();
    }
}

TEST_F(InstallerProgram, full_installer_mode_by_the_exact_file_name)
{
    const LmTest::AnsweredRun full = Run(L"/S", L"SetupArcadeKit.exe");
    EXPECT_EQ(Box(Unexpected(L" (Error 4-1)")), full.boxes) << "full-installer mode: the window, whatever /S says";
    ExpectNothingLeft();

    const LmTest::AnsweredRun plain = Run(L"/S", L"setuparcadekit.exe");
    EXPECT_EQ(0u, plain.run.exitCode);
    EXPECT_EQ(None(), plain.boxes);
    ExpectInstalled();
}

TEST_F(InstallerProgram, the_updater_gets_the_whole_dp_links_and_entry_the_part_before_the_bang)
{
    const LmTest::AnsweredRun run = Run(L"/S /dp=abc!xyz");
    EXPECT_EQ(0u, run.run.exitCode);
    EXPECT_NE(std::wstring::npos, UpdaterCommandLine().find(L" /dp=abc!xyz /installerargs=/nolaunchapp"))
        << UpdaterCommandLine();
    EXPECT_EQ(L"abc", RegRead(LmTest::kTestTouchpointEntry, L"DP").Text());
    LmTest::ShellLinkData link;
    CoInitialize(nullptr);
    const bool read = LmTest::ReadShellLink(LmTest::PublicDesktopLink(), link);
    CoUninitialize();
    ASSERT_TRUE(read);
    EXPECT_EQ(L"/src desktop /dp abc", link.arguments);
}

TEST_F(InstallerProgram, a_failed_hand_off_is_rolled_back_and_park_released)
{
    // A quiet run ("/S", "/silent") shows no box: nobody may be there to answer it. Its failure
    // is in the log and its exit code. A run without a silent option has its box.
    struct Case {
        const wchar_t* exitCode;
        const wchar_t* options;
        std::vector<std::wstring> boxes;
        DWORD installerExit;
    } cases[] = {
        {L"259", L"/S", None(), 1},
        // What the Updater answers when no Park was handed to it ("/park=" missing).
        {L"1792", L"/silent", None(), 1},
        {L"1792", L"/silent /S", None(), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "Updater exit " << c.exitCode << ", " << c.options);
        Updater(c.exitCode, nullptr);
        const LmTest::AnsweredRun run = Run(std::wstring(c.options) + L" " + ArmPark());
        EXPECT_EQ(c.installerExit, run.run.exitCode);
        EXPECT_EQ(c.boxes, run.boxes);
        ExpectNothingLeft();
        EXPECT_TRUE(park_.Ended());
        EXPECT_EQ(0u, ApplicationStarts()) << "Park never starts what the rollback removed";
        park_.Release();
    }
}

TEST_F(InstallerProgram, a_silent_install_whose_step_fails_is_rolled_back)
{
    // The icon cannot be written: a folder stands in its place. Uninstall.exe and PinHook are down
    // by then, and the full installer has run.
    ASSERT_EQ(ERROR_SUCCESS,
              SHCreateDirectoryExW(nullptr, (LmTest::TouchpointFolder() + L"\\Application.ico").c_str(), nullptr));
    const LmTest::AnsweredRun run = Run(L"/silent " + ArmPark());
    EXPECT_EQ(1u, run.run.exitCode);
    EXPECT_EQ(None(), run.boxes);
    ExpectNothingLeft();
    EXPECT_TRUE(park_.Ended()) << "released by the clean-up";
    EXPECT_EQ(0u, ApplicationStarts());
    EXPECT_FALSE(LmTest::FileExists(park_.Path()));
}

TEST_F(InstallerProgram, a_park_file_that_cannot_be_deleted_does_not_fail_a_finished_install)
{
    const std::wstring park = ArmPark();
    // Held as setup holds what it unpacked: runnable, not deletable.
    HANDLE hold = CreateFileW(park_.Path().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hold);
    const LmTest::AnsweredRun run = Run(L"/S " + park);
    CloseHandle(hold);
    EXPECT_EQ(0u, run.run.exitCode);
    EXPECT_EQ(None(), run.boxes);
    ExpectInstalled();
    EXPECT_TRUE(park_.Ended());
    EXPECT_EQ(1u, ApplicationStarts());
    EXPECT_TRUE(LmTest::FileExists(park_.Path())) << "left to the removal of setup's folder";
}

TEST_F(InstallerProgram, a_result_that_never_comes_rolls_back_the_touchpoint_only)
{
    // The package lays the main application down, then never writes its result.
    const LmTest::ScopedTestBound grace(Lm::System::Win32::kInstallSemaphoreGraceTestValue, 1000);
    ASSERT_TRUE(grace.Active()) << "the test environment is off: the shipped bound would count";
    const std::wstring mainUninstaller = LmTest::PlaceStandIn(scratch / L"app\\MainUninstall.exe", true);
    ASSERT_FALSE(mainUninstaller.empty());
    Updater(L"0", nullptr);
    LmTest::SetHandOffStandInPackage(L"UPDATER", nullptr, mainUninstaller.c_str());

    const LmTest::AnsweredRun run = Run(L"/silent " + ArmPark());
    EXPECT_EQ(1u, run.run.exitCode);
    EXPECT_EQ(None(), run.boxes);
    EXPECT_FALSE(LmTest::DirectoryExists(LmTest::TouchpointFolder()));
    EXPECT_FALSE(RegKeyExists(LmTest::kTestTouchpointEntry));
    // Uninstall runs the main application's uninstaller as a copy named Uninstall.exe.
    EXPECT_TRUE(logs.Records(L"Uninstall.exe").empty()) << "the main application was uninstalled";
    EXPECT_EQ(L"\"" + mainUninstaller + L"\"", RegRead(LmTest::kTestMainAppEntry, L"UninstallString").Text());
    EXPECT_TRUE(park_.Ended());
    EXPECT_EQ(0u, ApplicationStarts());
}

TEST_F(InstallerProgram, an_older_touchpoint_is_not_rolled_back_by_a_run_that_failed_before_it_began)
{
    // An earlier installation's uninstaller (a signed stand-in) and a run whose window fails.
    const std::wstring older = LmTest::TouchpointFolder() + L"\\Uninstall.exe";
    ASSERT_FALSE(LmTest::PlaceStandIn(older, true).empty());
    const LmTest::AnsweredRun run = Run(L"/s");
    EXPECT_EQ(Box(Unexpected(L" (Error 4-1)")), run.boxes);
    EXPECT_TRUE(logs.Records(L"Uninstall.exe").empty()) << "the older uninstaller never ran";
    EXPECT_TRUE(LmTest::FileExists(older));
}

TEST_F(InstallerProgram, a_second_installer_gives_way)
{
    HANDLE first = CreateMutexW(nullptr, TRUE, kInstallerMutexName);
    ASSERT_NE(nullptr, first);
    const LmTest::AnsweredRun plain = Run(L"");
    EXPECT_EQ(0u, plain.run.exitCode);
    EXPECT_EQ(Box(Text(kMessageAlreadyRunning)), plain.boxes);
    for (const wchar_t* quiet : {L"/restore", L"/S"}) {
        const LmTest::AnsweredRun run = Run(quiet);
        EXPECT_EQ(0u, run.run.exitCode) << quiet;
        EXPECT_EQ(None(), run.boxes) << quiet;
    }
    CloseHandle(first);
    EXPECT_FALSE(UpdaterRan());
    ExpectNothingLeft();
}

TEST_F(InstallerProgram, windows_older_than_7_is_refused)
{
    const std::wstring name = LmTest::UniqueName(L"InstallerVista") + L".exe";
    const std::wstring appDefaults = kWineAppDefaults + name;
    ASSERT_TRUE(RegSetText(appDefaults, L"Version", L"vista"));
    const LmTest::AnsweredRun run = Run(L"", name);
    const LmTest::AnsweredRun quiet = Run(L"/S", name);
    LmTest::RegDeleteTreeAt(appDefaults);
    EXPECT_EQ(0u, run.run.exitCode);
    EXPECT_EQ(Box(Text(kMessageWindowsTooOld)), run.boxes);
    EXPECT_EQ(0u, quiet.run.exitCode);
    EXPECT_EQ(None(), quiet.boxes) << "a quiet run shows no box";
    EXPECT_FALSE(UpdaterRan());
    ExpectNothingLeft();
}

} // namespace
} // namespace Installer
} // namespace Lm
