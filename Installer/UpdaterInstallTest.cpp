// The hand-off to the Updater, run in process: the test executable carries a stand-in for the
// Updater as resource 103 (tests/tools/HandOffStandIn.cpp), told by the environment which exit
// code to give and which result the "full installer" leaves in InstallSemaphore_1. The boxes are
// answered as a user would; the test looks at their texts, at what the stand-in recorded, at the
// registry value and at the page commands.
#include "Installer/UpdaterInstall.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "AnsweredCall.h"
#include "CommonAppLogic/ParkEvents.h"
#include "PinHook/PinHookContract.h"
#include "System/Win32/DebuggingContract.h"
#include "TestProcess.h"
#include "Installer/InstallerContract.h"
#include "Installer/InstallerWindow.h"
#include "Installer/InstallerMessageTable.h"
#include "InstallerTestSupport.h"
#include "TestRegistry.h"
#include "TouchpointMachine.h"
#include "TestSupport.h"

using namespace Lm::Installer;

namespace {

const InstallerMessageRow& Row() { return GetInstallerMessageRow(0); }
std::wstring Caption() { return InstallerMessageText(Row(), kMessageCaption); }
std::wstring Offline() { return InstallerMessageText(Row(), kMessageDownloadFailed); }
std::wstring Unexpected(const wchar_t* code) { return InstallerMessageText(Row(), kMessageUnexpectedError) + std::wstring(code); }

bool ReadSemaphore(std::wstring& value)
{
    const LmTest::RegValue read = LmTest::RegRead(kLarchmeadowKey, kInstallSemaphoreValue);
    value = read.Text();
    return read.exists;
}

void WriteSemaphore(const std::wstring& value) { ASSERT_TRUE(LmTest::RegSetText(kLarchmeadowKey, kInstallSemaphoreValue, value)); }

void DeleteSemaphore() { LmTest::RegDeleteValueAt(kLarchmeadowKey, kInstallSemaphoreValue); }

// "key=value" lines of a stand-in's record.
std::map<std::wstring, std::wstring> ReadRecord(const std::wstring& path)
{
    std::map<std::wstring, std::wstring> record;
    const std::wstring text = LmTest::ReadFileUtf8(path);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            end = text.size();
        const std::wstring line = text.substr(start, end - start);
        const size_t equals = line.find(L'=');
        if (equals != std::wstring::npos)
            record[line.substr(0, equals)] = line.substr(equals + 1);
        start = end + 1;
    }
    return record;
}

using LmTest::RecordingPage;

CInstallerOptions Options(std::vector<const wchar_t*> arguments) { return LmTest::InstallerOptionsOf(arguments); }

// What one hand-off did.
struct Outcome {
    LmTest::AnsweredCall call;
    bool failed = false;
    std::vector<std::wstring> page;
    std::map<std::wstring, std::wstring> updater;  // the Updater stand-in's record (empty: it never ran)
    std::map<std::wstring, std::wstring> patch;    // the Patch.exe stand-in's record
    bool semaphoreLeft = false;
    bool mainApplicationMayBeInstalled = false;
};

class HandOff : public ::testing::Test {
protected:
    void SetUp() override { DeleteSemaphore(); }
    void TearDown() override { LmTest::ClearHandOffStandIns(); }

    // The Updater stand-in's exit code and the result it leaves (null: none).
    void Updater(const wchar_t* exitCode, const wchar_t* result = nullptr)
    {
        LmTest::SetHandOffStandIn(L"UPDATER", exitCode, result, (scratch_ / L"updater.txt").c_str());
    }

    // A signed Patch.exe stand-in in the folder the Installer runs from.
    void Patch(const wchar_t* exitCode)
    {
        ASSERT_TRUE(CopyFileW(LmTest::Tool(L"installer-signed\\Patch.exe").c_str(), (scratch_ / L"Patch.exe").c_str(), FALSE));
        LmTest::SetHandOffStandIn(L"PATCH", exitCode, nullptr, (scratch_ / L"patch.txt").c_str());
    }

    Outcome Run(const CInstallerOptions& options, const std::wstring& dp = L"larchplay", bool withPage = true,
                bool quiet = false)
    {
        Outcome outcome;
        RecordingPage page;
        CInstallContext context(options, Row());
        context.dp = dp;
        context.page = withPage ? &page : nullptr;
        context.quiet = quiet;
        context.failed = true;  // the hand-off clears it when it runs the Updater
        outcome.call = LmTest::CallAnsweringBoxes([&] { HandOffToUpdater(context, scratch_.Path()); }, Caption());
        outcome.failed = context.failed;
        outcome.mainApplicationMayBeInstalled = context.mainApplicationMayBeInstalled;
        outcome.page = page.commands;
        outcome.updater = ReadRecord(scratch_ / L"updater.txt");
        outcome.patch = ReadRecord(scratch_ / L"patch.txt");
        std::wstring left;
        outcome.semaphoreLeft = ReadSemaphore(left);
        return outcome;
    }

    LmTest::ScratchFolder scratch_{L"lmhandoff"};
};

std::vector<std::wstring> None() { return {}; }
std::vector<std::wstring> Box(const std::wstring& text) { return {text}; }

} // namespace

TEST_F(HandOff, updater_exit_codes_decide_the_route)
{
    struct Case {
        const wchar_t* exitCode;
        const wchar_t* result;  // what the full installer leaves
        bool failed;
        std::vector<std::wstring> boxes;
        std::vector<std::wstring> page;
    };
    const Case cases[] = {
        {L"0", L"Success", false, None(), None()},
        {L"0", L"Failure", true, Box(Unexpected(L" (Error 3-1)")), None()},
        {L"2", nullptr, true, Box(Offline()), {L"close"}},
        {L"259", nullptr, true, Box(Offline()), {L"close"}},
        {L"1", nullptr, true, Box(Unexpected(L" (Error 1-1)")), {L"close"}},
        {L"3", nullptr, true, Box(Unexpected(L" (Error 1-3)")), {L"close"}},
        // A result code that reads negative as a signed number is shown unsigned.
        {L"0xC0000005", nullptr, true, Box(Unexpected(L" (Error 1-3221225477)")), {L"close"}},
        // A failed Updater fails the hand-off, whatever result a full installer left.
        {L"1792", L"Success", true, Box(Unexpected(L" (Error 1-1792)")), {L"close"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "exit " << c.exitCode);
        Updater(c.exitCode, c.result);
        const Outcome outcome = Run(Options({}));
        ASSERT_TRUE(outcome.call.finished);
        EXPECT_FALSE(outcome.call.threw) << outcome.call.exception;
        EXPECT_EQ(c.failed, outcome.failed);
        EXPECT_EQ(c.boxes, outcome.call.boxes);
        EXPECT_EQ(c.page, outcome.page);
        EXPECT_FALSE(outcome.semaphoreLeft) << "the value is deleted when the hand-off ends";
        EXPECT_FALSE(outcome.updater.empty()) << "the Updater ran";
    }
}

TEST_F(HandOff, updater_runs_unpacked_with_the_whole_dp_and_a_park_copy)
{
    LmTest::ScratchFolder parkFolder(L"lmhandoffpark");
    const std::wstring park = parkFolder / L"Park.exe";
    LmTest::WriteFileUtf8(park, L"park");
    Updater(L"0", L"Success");

    const Outcome outcome = Run(Options({}), L"abc!xyz");
    ASSERT_TRUE(outcome.call.finished);
    EXPECT_FALSE(outcome.failed);
    const std::wstring folder = outcome.updater.at(L"workdir");
    EXPECT_NE(std::wstring::npos, folder.find(L"pdtpi-")) << folder;
    EXPECT_EQ(L"\"" + folder + L"\\Updater.exe\" /noprog /noparking /emitdownloadprogress /dp=abc!xyz "
              L"/installerargs=/nolaunchapp",
              outcome.updater.at(L"commandline"));
    EXPECT_EQ(L"no", outcome.updater.at(L"park")) << "no /park= option, no copy";
    EXPECT_FALSE(LmTest::DirectoryExists(folder)) << "the temporary folder goes with the hand-off";

    const std::wstring parkOption = L"/park=" + park;
    const Outcome withPark = Run(Options({parkOption.c_str()}));
    EXPECT_EQ(L"yes", withPark.updater.at(L"park"));
    EXPECT_TRUE(LmTest::FileExists(park)) << "the Park that setup armed stays";
}

TEST_F(HandOff, while_the_updater_runs_its_folder_and_the_park_beside_it_stay_the_installers)
{
    LmTest::ScratchFolder parkFolder(L"lmhandoffpark");
    const std::wstring park = parkFolder / L"Park.exe";
    LmTest::WriteFileUtf8(park, L"the armed park");
    Updater(L"0", L"Success");
    SetEnvironmentVariableW(L"LM_HANDOFF_UPDATER_SWAP", L"1");
    const std::wstring parkOption = L"/park=" + park;
    const Outcome outcome = Run(Options({parkOption.c_str()}));
    SetEnvironmentVariableW(L"LM_HANDOFF_UPDATER_SWAP", nullptr);

    ASSERT_TRUE(outcome.call.finished);
    EXPECT_FALSE(outcome.call.threw) << outcome.call.exception;
    EXPECT_FALSE(outcome.failed) << "the run goes on with its own files";
    EXPECT_EQ(L"kept", outcome.updater.at(L"folder")) << "the folder could be renamed away";
    EXPECT_EQ(L"kept", outcome.updater.at(L"parkfile")) << "the Park copy could be replaced";
    EXPECT_FALSE(LmTest::DirectoryExists(outcome.updater.at(L"workdir")));
}

TEST_F(HandOff, a_leftover_success_cannot_end_the_wait)
{
    WriteSemaphore(L"Success");
    Updater(L"0", L"Failure");
    const Outcome outcome = Run(Options({}));
    EXPECT_EQ(L"<none>", outcome.updater.at(L"semaphore")) << "deleted before the Updater ran";
    EXPECT_TRUE(outcome.failed);
    EXPECT_EQ(Box(Unexpected(L" (Error 3-1)")), outcome.call.boxes);
}

TEST_F(HandOff, result_written_after_the_updater_ended_is_waited_for)
{
    Updater(L"0");
    // The full installer's result arrives 3 s after the Updater started.
    std::thread writer([this] {
        const std::wstring record = scratch_ / L"updater.txt";
        if (LmTest::WaitForFile(record, 60000)) {
            Sleep(3000);
            WriteSemaphore(L"Success");
        }
    });
    const Outcome outcome = Run(Options({}));
    writer.join();
    ASSERT_TRUE(outcome.call.finished);
    EXPECT_FALSE(outcome.failed);
    EXPECT_EQ(None(), outcome.call.boxes);
    EXPECT_FALSE(outcome.semaphoreLeft);
}

TEST_F(HandOff, a_result_that_never_comes_fails_after_the_grace_time)
{
    const LmTest::ScopedTestBound grace(Lm::System::Win32::kInstallSemaphoreGraceTestValue, 2000);
    ASSERT_TRUE(grace.Active()) << "the test environment is off: the shipped bound would count";
    Updater(L"0");
    const DWORD start = GetTickCount();
    const Outcome outcome = Run(Options({}));
    const DWORD elapsed = GetTickCount() - start;
    ASSERT_TRUE(outcome.call.finished);
    EXPECT_TRUE(outcome.failed);
    EXPECT_TRUE(outcome.mainApplicationMayBeInstalled) << "the rollback must keep what the package laid down";
    EXPECT_EQ(Box(Unexpected(L" (Error 3-1)")), outcome.call.boxes);
    EXPECT_GE(elapsed, 2000u);
    EXPECT_EQ(None(), outcome.page) << "the window stays for the finish page";
}

TEST_F(HandOff, a_result_from_a_process_the_package_handed_its_work_to_is_awaited_while_it_runs)
{
    // The result comes well after the grace time, from a process the package started.
    const LmTest::ScopedTestBound grace(Lm::System::Win32::kInstallSemaphoreGraceTestValue, 1000);
    ASSERT_TRUE(grace.Active()) << "the test environment is off: the shipped bound would count";
    Updater(L"0", L"Success");
    LmTest::SetHandOffStandInPackage(L"UPDATER", L"5000");
    const Outcome outcome = Run(Options({}));
    ASSERT_TRUE(outcome.call.finished);
    EXPECT_FALSE(outcome.failed);
    EXPECT_EQ(None(), outcome.call.boxes);
    EXPECT_FALSE(outcome.semaphoreLeft);
}

TEST_F(HandOff, package_processes_that_run_past_their_bound_end_the_wait)
{
    const LmTest::ScopedTestBound tree(Lm::System::Win32::kPackageTreeBoundTestValue, 1500);
    const LmTest::ScopedTestBound grace(Lm::System::Win32::kInstallSemaphoreGraceTestValue, 1000);
    ASSERT_TRUE(grace.Active()) << "the test environment is off: the shipped bound would count";
    Updater(L"0", L"Success");
    LmTest::SetHandOffStandInPackage(L"UPDATER", L"600000");
    const Outcome outcome = Run(Options({}));
    // The process that never reports goes, with the hand-off's folder it runs from.
    const std::wstring folder = outcome.updater.count(L"workdir") ? outcome.updater.at(L"workdir") : L"";
    LmTest::EndProcessesOf(folder + L"\\Updater.exe");
    LmTest::RemoveTree(folder);
    ASSERT_FALSE(folder.empty()) << "the Updater never ran";
    ASSERT_TRUE(outcome.call.finished);
    EXPECT_TRUE(outcome.failed);
    EXPECT_TRUE(outcome.mainApplicationMayBeInstalled);
    EXPECT_EQ(Box(Unexpected(L" (Error 3-1)")), outcome.call.boxes);
}

TEST(ProductBounds, the_shipped_bounds_are_those_of_a_release)
{
    // The waits that end a hung helper: a minute. The wait for the full installer's result:
    // minutes, not seconds, for it decides whether a good install is rolled back.
    EXPECT_EQ(60000u, Lm::PinHook::kPinHookTimeoutMs);
    EXPECT_EQ(60000u, Lm::CommonAppLogic::kParkSignalTimeoutMs);
    EXPECT_EQ(30u * 60 * 1000, kPackageTreeBoundMs);
    EXPECT_EQ(3u * 60 * 1000, kInstallSemaphoreGraceMs);
    // The page gets a minute to say it has loaded; the window tests shorten it in process.
    EXPECT_EQ(60000u, kPageLoadTimeoutMs);
}

TEST_F(HandOff, local_patch_takes_the_place_of_the_download)
{
    struct Case {
        const wchar_t* updaterExit;
        bool useLocalPatch;
        const wchar_t* patchExit;  // null: no Patch.exe
        bool failed;
        std::vector<std::wstring> boxes;
        std::vector<std::wstring> page;
        bool patchRan;
    };
    const Case cases[] = {
        {L"1", true, L"0", false, None(), None(), true},
        {L"1", true, L"5", true, Box(Unexpected(L" (Error 2-5)")), None(), true},
        {L"259", true, L"0", false, None(), None(), true},
        {L"2", false, L"0", true, Box(Offline()), {L"close"}, false},  // not asked for: never run
        {L"7", true, nullptr, true, Box(Offline()), {L"close"}, false},
        // Exit 0 polls; the local patch is not looked at.
        {L"0", true, L"0", false, None(), None(), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "exit " << c.updaterExit << (c.useLocalPatch ? " /uselocalpatch" : "")
                                        << " patch " << (c.patchExit ? c.patchExit : L"none"));
        DeleteFileW((scratch_ / L"Patch.exe").c_str());
        DeleteFileW((scratch_ / L"patch.txt").c_str());
        Updater(c.updaterExit, L"Success");
        if (c.patchExit)
            Patch(c.patchExit);
        const Outcome outcome = Run(c.useLocalPatch ? Options({L"/uselocalpatch", L"/park=C:\\P 1\\Park.exe"}) : Options({}));
        ASSERT_TRUE(outcome.call.finished);
        EXPECT_FALSE(outcome.call.threw) << outcome.call.exception;
        EXPECT_EQ(c.failed, outcome.failed);
        EXPECT_EQ(c.boxes, outcome.call.boxes);
        EXPECT_EQ(c.page, outcome.page);
        EXPECT_EQ(c.patchRan, !outcome.patch.empty());
        if (c.patchRan) {
            EXPECT_EQ(L"\"" + scratch_.Path() + L"\\Patch.exe\" /park=\"C:\\P 1\\Park.exe\" /installerargs=/nolaunchapp",
                      outcome.patch.at(L"commandline"));
            EXPECT_EQ(scratch_.Path(), outcome.patch.at(L"workdir"));
        }
    }
}

TEST_F(HandOff, an_unsigned_patch_is_never_started)
{
    // The unsigned stand-in itself as Patch.exe.
    ASSERT_TRUE(CopyFileW(LmTest::Tool(L"HandOffStandIn.exe").c_str(), (scratch_ / L"Patch.exe").c_str(), FALSE));
    LmTest::SetHandOffStandIn(L"PATCH", L"0", nullptr, (scratch_ / L"patch.txt").c_str());
    Updater(L"259");
    const Outcome outcome = Run(Options({L"/uselocalpatch"}));
    ASSERT_TRUE(outcome.call.finished);
    EXPECT_TRUE(outcome.call.threw);
    EXPECT_EQ(L"File is not signed", outcome.call.exception);
    EXPECT_TRUE(outcome.patch.empty());
}

TEST_F(HandOff, silent_path_posts_nothing_and_a_quiet_run_shows_no_box)
{
    Updater(L"259");
    const Outcome outcome = Run(Options({}), L"larchplay", false);
    EXPECT_TRUE(outcome.failed);
    EXPECT_EQ(Box(Offline()), outcome.call.boxes);

    for (const wchar_t* exitCode : {L"259", L"1792"}) {
        SCOPED_TRACE(testing::Message() << "exit " << exitCode);
        Updater(exitCode);
        const Outcome quiet = Run(Options({L"/silent"}), L"larchplay", false, true);
        ASSERT_TRUE(quiet.call.finished);
        EXPECT_TRUE(quiet.failed);
        EXPECT_EQ(None(), quiet.call.boxes);
    }
}

TEST_F(HandOff, no_updater_when_the_application_is_there_or_not_wanted)
{
    LmTest::TouchpointMachine machine;
    Updater(L"1");
    const auto runs = [&](const CInstallerOptions& options) {
        DeleteFileW((scratch_ / L"updater.txt").c_str());
        CInstallContext context(options, Row());
        context.dp = L"larchplay";
        const LmTest::AnsweredCall call =
            LmTest::CallAnsweringBoxes([&] { RunUpdaterInstall(context); }, Caption());
        EXPECT_TRUE(call.finished);
        EXPECT_EQ(None(), call.boxes);
        EXPECT_FALSE(context.failed) << "left as it was";
        return LmTest::FileExists(scratch_ / L"updater.txt");
    };
    LmTest::RegDeleteTreeAt(LmTest::kTestMainAppEntry);
    EXPECT_FALSE(runs(Options({L"/noconsole"})));
    EXPECT_FALSE(runs(Options({L"/restore"})));

    // The main application is installed: its entry names an existing program.
    const std::wstring uninstaller = scratch_ / L"unins000.exe";
    LmTest::WriteFileUtf8(uninstaller, L"x");
    ASSERT_TRUE(LmTest::RegSetText(LmTest::kTestMainAppEntry, L"UninstallString", L"\"" + uninstaller + L"\" /x"));
    EXPECT_FALSE(runs(Options({})));

    // An entry whose program is gone does not count: the Updater runs (and fails here with 1).
    DeleteFileW(uninstaller.c_str());
    const CInstallerOptions plain = Options({});
    CInstallContext context(plain, Row());
    context.dp = L"larchplay";
    const LmTest::AnsweredCall call = LmTest::CallAnsweringBoxes([&] { RunUpdaterInstall(context); }, Caption());
    EXPECT_TRUE(LmTest::FileExists(scratch_ / L"updater.txt"));
    EXPECT_TRUE(context.failed);
    EXPECT_EQ(Box(Unexpected(L" (Error 1-1)")), call.boxes);
}
