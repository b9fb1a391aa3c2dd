// The install steps run in process against the machine's touchpoint places (saved and put back
// by TouchpointMachine). The test executable carries the signed Uninstall (102), a stand-in for
// the Updater (103, tests/tools/HandOffStandIn.cpp) and the touchpoint resources (104, 105).
#include "Installer/InstallSequence.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "AnsweredCall.h"
#include "CaughtException.h"
#include "CommonAppLogic/IniFile.h"
#include "Installer/InstallerContract.h"
#include "Park/ParkContract.h"
#include "System/Io/AdministratorsOwned.h"
#include "StandInLog.h"
#include "InstallerTestSupport.h"
#include "TestRegistry.h"
#include "TestSupport.h"
#include "TouchpointMachine.h"
#include "TrustedTestOwner.h"

namespace Lm {
namespace Installer {
namespace {

using LmTest::RegRead;
using LmTest::RegSetText;

constexpr const wchar_t* kRunOnceKey = L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr const wchar_t* kRunOnceValue = L"{8E2B7C40-5F1A-4D39-B6E8-0A7C3D9F2B64}-larchplay";

const InstallerMessageRow& Row() { return GetInstallerMessageRow(0); }
std::wstring Caption() { return InstallerMessageText(Row(), kMessageCaption); }

using LmTest::RecordingPage;

CInstallerOptions Options(std::vector<const wchar_t*> arguments) { return LmTest::InstallerOptionsOf(arguments); }

std::vector<std::wstring> TouchpointFiles() { return LmTest::FolderEntries(LmTest::TouchpointFolder()); }

class InstallSequence : public testing::Test {
protected:
    LmTest::InstallerMachine machine;
    LmTest::StandInLogFolder logs;
    LmTest::ScratchFolder scratch{L"lmsequence"};

    void SetUp() override { LmTest::ClearTouchpointPlaces(); }
    void TearDown() override { LmTest::ClearHandOffStandIns(); }

    // The Updater stand-in's exit code and the full installer's result (null: none).
    void Updater(const wchar_t* exitCode, const wchar_t* result) { LmTest::SetHandOffStandIn(L"UPDATER", exitCode, result); }

    void MainApplication() { LmTest::InstallMainApplicationEntry(scratch.Path()); }

    // Runs DoInstall, answering its boxes; returns their texts.
    std::vector<std::wstring> Install(CInstallContext& context, bool silent)
    {
        const LmTest::AnsweredCall call = LmTest::CallAnsweringBoxes([&] { DoInstall(context, silent); }, Caption());
        EXPECT_TRUE(call.finished);
        EXPECT_FALSE(call.threw) << call.exception;
        return call.boxes;
    }
};

TEST_F(InstallSequence, silent_install_lays_down_the_touchpoint_and_posts_nothing)
{
    RegSetText(kRunOnceKey, kRunOnceValue, L"cmd.exe /c RD /S /Q \"x\"", REG_SZ, KEY_WOW64_64KEY);
    Updater(L"0", L"Success");
    const CInstallerOptions options = Options({L"/silent"});
    CInstallContext context(options, Row());
    context.dp = context.dpShort = L"larchplay";

    EXPECT_TRUE(Install(context, true).empty());
    EXPECT_FALSE(context.failed);
    EXPECT_EQ((std::vector<std::wstring>{L"Application.ico", L"PinHook.exe", L"Restore.exe", L"Uninstall.exe"}),
              TouchpointFiles());
    EXPECT_TRUE(LmTest::SameFileContent(LmTest::TestDir() + L"..\\payloads\\Uninstall.exe",
                                        LmTest::TouchpointFolder() + L"\\Uninstall.exe"));
    EXPECT_EQ(L"\"" + LmTest::TouchpointFolder() + L"\\Uninstall.exe\"",
              RegRead(LmTest::kTestTouchpointEntry, L"UninstallString").Text());
    EXPECT_FALSE(RegRead(kRunOnceKey, kRunOnceValue, KEY_WOW64_64KEY).exists) << "pending folder removal cancelled";
    EXPECT_FALSE(LmTest::FileExists(LmTest::SharedIniPath())) << "no licence was agreed";
    EXPECT_TRUE(context.uninstallerLaidDown);
    EXPECT_FALSE(context.mainApplicationWasInstalled);
}

TEST_F(InstallSequence, window_install_posts_its_progress_and_records_the_agreement)
{
    // The settings folder counts as the administrators' (under Wine every file is the test user's).
    LmTest::TrustedTestOwner trusted;
    struct Case {
        bool fullMode;
        const wchar_t* eulaAgreed;  // null: no flag written
    } cases[] = {{false, L"true"}, {true, nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fullMode ? "full-installer mode" : "plain window run");
        DeleteFileW(LmTest::SharedIniPath().c_str());
        Updater(L"0", L"Success");
        const CInstallerOptions options = Options({});
        RecordingPage page;
        CInstallContext context(options, Row());
        context.dp = context.dpShort = L"larchplay";
        context.fullMode = c.fullMode;
        context.page = &page;
        EXPECT_TRUE(Install(context, false).empty());
        EXPECT_EQ((std::vector<std::wstring>{L"DownloaderStarted( 0,70,80 );", L"DownloaderEnded();",
                                             L"SetProgressPercent( 90 );", L"SetProgressPercent( 95 );",
                                             L"SetProgressPercent( 98 );"}),
                  page.commands);
        const std::wstring agreed = LmTest::FileExists(LmTest::SharedIniPath())
            ? Lm::CommonAppLogic::ReadIniString(L"Main", L"DownloadEULAAgreed", L"<none>", 64, LmTest::SharedIniPath())
            : L"<none>";
        EXPECT_EQ(c.eulaAgreed ? c.eulaAgreed : L"<none>", agreed);
    }
}

TEST_F(InstallSequence, the_agreement_goes_into_no_settings_folder_that_a_user_made_or_linked)
{
    const std::wstring settings = LmTest::KnownFolder(FOLDERID_ProgramData) + L"\\Larchmeadow";
    const std::wstring aside = settings + L"-" + LmTest::UniqueName(L"aside");
    const bool existed = LmTest::DirectoryExists(settings);
    if (existed) {
        ASSERT_TRUE(MoveFileW(settings.c_str(), aside.c_str()));
    }
    struct PutBack {
        std::wstring settings, aside;
        bool existed;
        ~PutBack()
        {
            LmTest::RemoveTree(settings);
            if (existed)
                MoveFileW(aside.c_str(), settings.c_str());
        }
    } putBack{settings, aside, existed};
    const auto install = [&] {
        Updater(L"0", L"Success");
        const CInstallerOptions options = Options({});
        RecordingPage page;
        CInstallContext context(options, Row());
        context.dp = context.dpShort = L"larchplay";
        context.page = &page;
        EXPECT_TRUE(Install(context, false).empty());
        EXPECT_FALSE(context.failed);
    };

    // A folder a user made first: under Wine every folder is the test user's, as that one would be.
    ASSERT_TRUE(CreateDirectoryW(settings.c_str(), nullptr));
    if (!Lm::System::IO::IsAdministratorsOwned(settings)) {
        install();
        EXPECT_FALSE(LmTest::FileExists(LmTest::SharedIniPath())) << "written into a folder of a user's";
    }
    LmTest::RemoveTree(settings);

    // A link put there, whoever owns what it leads to.
    LmTest::TrustedTestOwner trusted;
    LmTest::ScratchFolder elsewhere(L"lmelsewhere");
    if (!LmTest::MakeFolderLink(settings, elsewhere.Path()))
        GTEST_SKIP() << "no way to make a link to a folder here";
    install();
    LmTest::RemoveFolderLink(settings);
    EXPECT_EQ(std::vector<std::wstring>{}, LmTest::FolderEntries(elsewhere.Path())) << "written through a link";
}

TEST_F(InstallSequence, failed_hand_off_stops_after_the_download_and_rollback_takes_it_back)
{
    Updater(L"259", nullptr);
    const CInstallerOptions options = Options({});
    RecordingPage page;
    CInstallContext context(options, Row());
    context.dp = context.dpShort = L"larchplay";
    context.page = &page;

    EXPECT_EQ(std::vector<std::wstring>{InstallerMessageText(Row(), kMessageDownloadFailed)}, Install(context, false));
    EXPECT_TRUE(context.failed);
    EXPECT_EQ((std::vector<std::wstring>{L"DownloaderStarted( 0,70,80 );", L"close", L"DownloaderEnded();"}),
              page.commands);
    EXPECT_EQ(std::vector<std::wstring>{L"Uninstall.exe"}, TouchpointFiles());

    RollbackInstall(context);
    EXPECT_FALSE(LmTest::DirectoryExists(LmTest::TouchpointFolder()));
}

TEST_F(InstallSequence, rollback_keeps_a_main_application_that_was_there_before)
{
    struct Case {
        bool before;  // the main application was installed before the run
        size_t mainUninstallerRuns;
    } cases[] = {{true, 0}, {false, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before ? "installed before" : "installed by this run");
        logs.Clear(L"Uninstall.exe");
        LmTest::RegDeleteTreeAt(LmTest::kTestMainAppEntry);
        if (c.before)
            MainApplication();
        Updater(L"0", L"Success");
        const CInstallerOptions options = Options({L"/silent"});
        CInstallContext context(options, Row());
        context.dp = context.dpShort = L"larchplay";
        Install(context, true);
        EXPECT_EQ(c.before, context.mainApplicationWasInstalled);
        if (!c.before)
            MainApplication();  // what the full installer laid down
        // A later step failed.
        context.failed = true;
        RollbackInstall(context);
        EXPECT_FALSE(LmTest::DirectoryExists(LmTest::TouchpointFolder()));
        EXPECT_FALSE(LmTest::RegKeyExists(LmTest::kTestTouchpointEntry));
        EXPECT_EQ(c.mainUninstallerRuns, logs.Records(L"Uninstall.exe").size());
    }
}

TEST_F(InstallSequence, rollback_runs_only_an_uninstaller_this_run_laid_down)
{
    // An older touchpoint's Uninstall.exe (a signed stand-in) and a failure before this run began
    // its touchpoint.
    ASSERT_FALSE(LmTest::PlaceStandIn(LmTest::TouchpointFolder() + L"\\Uninstall.exe", true).empty());
    const CInstallerOptions options = Options({});
    CInstallContext context(options, Row());
    context.failed = true;
    RollbackInstall(context);
    EXPECT_TRUE(logs.Records(L"Uninstall.exe").empty());
    EXPECT_TRUE(LmTest::FileExists(LmTest::TouchpointFolder() + L"\\Uninstall.exe"));

    // Laid down by this run but gone since: nothing to run, and no failure.
    LmTest::RemoveTree(LmTest::TouchpointFolder());
    context.uninstallerLaidDown = true;
    RollbackInstall(context);
    EXPECT_FALSE(LmTest::DirectoryExists(LmTest::TouchpointFolder()));
}

// The Park that setup armed, waiting to start a stand-in for the main application.
class ParkRelease : public InstallSequence {
protected:
    void SetUp() override
    {
        InstallSequence::SetUp();
        LmTest::RegSetText(kInstallerStatusKey, L"Install", L"0");
        ASSERT_TRUE(park_.Arm()) << "Park did not arm";
        parkOption_ = L"/park=" + park_.Path();
    }

    LmTest::ArmedPark park_{scratch.Path()};
    std::wstring parkOption_;
};

TEST_F(ParkRelease, finish_starts_the_application_once_and_clean_up_removes_park)
{
    const CInstallerOptions options = Options({parkOption_.c_str()});
    RecordingPage page;
    CInstallContext context(options, Row());
    context.page = &page;
    FinishInstall(context);
    CleanupInstall(context);
    EXPECT_TRUE(park_.Ended());
    const std::vector<LmTest::StandInRecord> started = LmTest::ArmedPark::ApplicationRecords(logs);
    ASSERT_EQ(1u, started.size());
    EXPECT_EQ(L"/src installer /dp larchplay", started[0].arguments);
    EXPECT_EQ(std::vector<std::wstring>{L"SetProgressPercent( 100 );"}, page.commands);
    EXPECT_FALSE(LmTest::FileExists(park_.Path()));
    EXPECT_FALSE(LmTest::RegKeyExists(kInstallerStatusKey));
}

TEST_F(ParkRelease, a_failed_run_releases_park_without_starting_anything)
{
    const CInstallerOptions options = Options({parkOption_.c_str()});
    CInstallContext context(options, Row());
    context.failed = true;
    FinishInstall(context);
    CleanupInstall(context);
    EXPECT_TRUE(park_.Ended());
    EXPECT_EQ(0u, LmTest::ArmedPark::ApplicationStarts(logs));
    EXPECT_FALSE(LmTest::FileExists(park_.Path()));
}

TEST_F(ParkRelease, restore_and_nolaunchconsole_leave_park_alone)
{
    for (const wchar_t* option : {L"/restore", L"/nolaunchconsole"}) {
        SCOPED_TRACE(testing::Message() << option);
        ASSERT_TRUE(park_.Arm());
        LmTest::RegSetText(kInstallerStatusKey, L"Install", L"0");
        const CInstallerOptions options = Options({option, parkOption_.c_str()});
        CInstallContext context(options, Row());
        FinishInstall(context);
        CleanupInstall(context);
        EXPECT_FALSE(LmTest::RegKeyExists(kInstallerStatusKey)) << "the status key goes on every run";
        EXPECT_TRUE(LmTest::FileExists(park_.Path()));
        EXPECT_TRUE(park_.Waiting());
    }
    EXPECT_EQ(0u, LmTest::ArmedPark::ApplicationStarts(logs));
}

TEST_F(ParkRelease, a_missing_park_is_passed_over_and_an_unsigned_one_never_started)
{
    const std::wstring missing = L"/park=" + scratch / L"gone\\Park.exe";
    const CInstallerOptions noPark = Options({missing.c_str()});
    CInstallContext context(noPark, Row());
    FinishInstall(context);
    CleanupInstall(context);
    EXPECT_FALSE(context.executeSignalled);

    const std::wstring unsignedPark = scratch / L"Unsigned\\Park.exe";
    CreateDirectoryW((scratch / L"Unsigned").c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(LmTest::Program(L"Park.exe").c_str(), unsignedPark.c_str(), FALSE));
    const std::wstring parkOption = L"/park=" + unsignedPark;
    const CInstallerOptions options = Options({parkOption.c_str()});
    CInstallContext unsignedContext(options, Row());
    EXPECT_EQ(L"File is not signed", LmTest::CaughtException([&] { FinishInstall(unsignedContext); }).Message());
    EXPECT_EQ(L"File is not signed", LmTest::CaughtException([&] { CleanupInstall(unsignedContext); }).Message());
    EXPECT_TRUE(LmTest::FileExists(unsignedPark));
}

} // namespace
} // namespace Installer
} // namespace Lm
