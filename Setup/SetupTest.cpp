// setup run as a user runs it, under the names a download carries. The test builds of setup
// (build/tests/setup) carry InstallerStandIn.exe as the Installer, which records its command line,
// its folder and whether a Park waited when it started, and finishes by signalling that Park as
// the Installer does (LM_INSTALLER_STANDIN_FINISH=1); Park is the real one, signed as the maker.
// StandIn.exe as "Playdeck-lm.exe" in the main application's folder records what Park starts.
// Park's events are the machine-wide ones, so these tests run one at a time.
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <shlobj.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "CommonAppLogic/CabinetExtractor.h"
#include "Park/ParkContract.h"
#include "Setup/SetupCommandLines.h"
#include "StandInLog.h"
#include "System/Win32/KnownFolders.h"
#include "System/Win32/RegistryKey.h"
#include "TestProcess.h"
#include "TestSupport.h"

using namespace LmTest;

namespace {

const DWORD Patience = 60000;   // bound of every wait for a program, a file or an event
const DWORD Settle = 1000;      // time given to a program that must not start

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }
std::wstring NameOf(const std::wstring& path) { return path.substr(path.rfind(L'\\') + 1); }

bool WaitUntil(const std::function<bool()>& condition) { return LmTest::WaitUntil(condition, Patience, 20); }

bool ParkWaits()
{
    return NamedEventExists(Lm::Park::EventTerminateName) && NamedEventExists(Lm::Park::EventExecuteName);
}

bool ParkGone()
{
    return !NamedEventExists(Lm::Park::EventTerminateName) && !NamedEventExists(Lm::Park::EventExecuteName);
}

std::wstring TemporaryFolder()
{
    wchar_t buffer[MAX_PATH + 1] = {};
    DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    std::wstring path(buffer, n);
    return path.substr(0, path.size() - 1);
}

// setup's temporary folders ("pdtpo-<GUID>") in the user's temporary folder.
std::set<std::wstring> SetupFolders()
{
    std::set<std::wstring> folders;
    const std::wstring temporary = TemporaryFolder();
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((temporary + L"\\pdtpo-*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return folders;
    do {
        folders.insert(temporary + L"\\" + data.cFileName);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return folders;
}

// Ends a Park that waits on the suite's events, as setup does, and waits until they are gone.
void EndWaitingPark()
{
    if (ParkGone())
        return;
    RunProgram(Program(L"Park.exe"), Lm::Park::SignalTerminateCommandLine, Patience);
    EXPECT_TRUE(WaitUntil(ParkGone)) << "a Park still holds the suite's events";
}

} // namespace

class SetupProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        EndWaitingPark();   // one left over would take this run's events
        SetEnvironmentVariableW(L"LM_STANDIN_LOG_DIR", logs_.Path().c_str());
        SetEnvironmentVariableW(L"LM_INSTALLER_STANDIN_FINISH", L"1");

        app_ = Lm::System::Win32::GetProgramFilesX86Path() + L"\\Larchmeadow Games\\App\\Playdeck-lm.exe";
        gamesFolderExisted_ = DirectoryExists(FolderOf(FolderOf(app_)));
        appFolderExisted_ = DirectoryExists(FolderOf(app_));
        if (!FileExists(app_)) {
            SHCreateDirectoryExW(nullptr, FolderOf(app_).c_str(), nullptr);
            ASSERT_TRUE(DirectoryExists(FolderOf(app_)));
            ASSERT_FALSE(InstallStandIn(FolderOf(app_), L"Playdeck-lm.exe").empty());
            madeApp_ = true;
        }
        before_ = SetupFolders();
    }

    void TearDown() override
    {
        EndWaitingPark();
        for (const std::wstring& folder : SetupFolders())
            if (!before_.count(folder))
                RemoveTree(folder);
        if (madeApp_) {
            DeleteFileW(app_.c_str());
            if (!appFolderExisted_)
                RemoveDirectoryW(FolderOf(app_).c_str());
            if (!gamesFolderExisted_)
                RemoveDirectoryW(FolderOf(FolderOf(app_)).c_str());
        }
        SetEnvironmentVariableW(L"LM_STANDIN_LOG_DIR", nullptr);
        SetEnvironmentVariableW(L"LM_INSTALLER_STANDIN_FINISH", nullptr);
    }

    // A test build of setup copied beside this test's files under the given name.
    std::wstring SetupCopy(const std::wstring& build, const std::wstring& name)
    {
        const std::wstring copy = folder_ / name;
        EXPECT_TRUE(CopyFileW((TestDir() + L"setup\\" + build + L".exe").c_str(), copy.c_str(), FALSE))
            << Narrow(build);
        return copy;
    }

    // Runs setup to its end; its exit code.
    DWORD RunSetup(const std::wstring& program, const std::wstring& arguments)
    {
        RunResult run = RunProgram(program, arguments, Patience, folder_.Path());
        EXPECT_TRUE(run.started);
        EXPECT_TRUE(run.finished) << "setup did not end";
        return run.finished ? run.exitCode : STILL_ACTIVE;
    }

    std::vector<StandInRecord> InstallerRuns() const { return ReadStandInRecords(logs_ / L"InstallerStandIn.log"); }
    std::vector<StandInRecord> AppLaunches(size_t atLeast = 1) const
    {
        return WaitForStandInRecords(logs_ / L"Playdeck-lm.exe.log", atLeast, Patience);
    }
    size_t LaunchesAfterSettling(const std::wstring& programName = L"Playdeck-lm.exe") const
    {
        Sleep(Settle);
        return ReadStandInRecords(logs_ / (programName + L".log")).size();
    }
    bool NewSetupFolderLeft() const
    {
        for (const std::wstring& folder : SetupFolders())
            if (!before_.count(folder))
                return true;
        return false;
    }

    // A Park of an earlier run, waiting on the suite's events to start StandIn as "Old.exe".
    HANDLE ArmOlderPark()
    {
        const std::wstring old = InstallStandIn(folder_.Path(), L"Old.exe");
        HANDLE park = StartProgram(Program(L"Park.exe"),
                                   Lm::Setup::ParkWaitCommandLine(old, L"/src older"), folder_.Path());
        EXPECT_TRUE(WaitUntil(ParkWaits)) << "the older Park did not arm";
        return park;
    }

    // Starts setup while the older Park is held still: it keeps its events, so setup, once it
    // has signalled it, waits for it to go, between unpacking and arming its own Park. The
    // caller lets the older Park go on (SuspendProcess false).
    HANDLE StartSetupBehindHeldPark(const Process& older)
    {
        SuspendProcess(GetProcessId(older.Handle()), true);
        HANDLE setup = StartProgram(SetupCopy(L"SetupTestPayload", L"setup.exe"), L"", folder_.Path());
        EXPECT_NE(nullptr, setup);
        EXPECT_TRUE(WaitUntil([] { return NamedEventIsSet(Lm::Park::EventTerminateName); }))
            << "setup never signalled the older Park";
        return setup;
    }

    ScratchFolder folder_{L"setup"};
    ScratchFolder logs_{L"setuplogs"};
    std::wstring app_;
    bool madeApp_ = false, appFolderExisted_ = false, gamesFolderExisted_ = false;
    std::set<std::wstring> before_;
};

// --- names and options ------------------------------------------------------------------------

struct NameCase {
    const char* label;
    const wchar_t* ownName;              // setup's file name
    const wchar_t* arguments;            // given to setup
    const wchar_t* installerArguments;   // what the Installer gets before the /park= argument
    const wchar_t* launchParams;         // what Park hands the main application; null: no Park armed
    const wchar_t* installerName;        // the Installer's file name in T
};

const NameCase kNameCases[] = {
    {"no_arguments", L"setup.exe", L"", L"", L"/src installer /dp larchplay", L"setup.exe"},
    {"token_and_dp_from_the_name", L"Setup-xyz-partner.exe", L"", L"",
     L"/src installer /dp partner /action download xyz", L"Setup-xyz-partner.exe"},
    {"lower_case_token_prefix", L"setup-xyz-partner.exe", L"", L"",
     L"/src installer /dp partner /action download xyz", L"setup-xyz-partner.exe"},
    {"two_pieces_no_token", L"Setup-partner.exe", L"", L"", L"/src installer /dp partner", L"Setup-partner.exe"},
    {"empty_pieces_dropped", L"Setup--a--b.exe", L"", L"", L"/src installer /dp b /action download a",
     L"Setup--a--b.exe"},
    {"other_spelling_no_token", L"SeTup-a-b.exe", L"", L"", L"/src installer /dp b", L"SeTup-a-b.exe"},
    {"full_installer_name", L"SetupArcadeKit.exe", L"", L"/update", L"/src installer /dp larchplay",
     L"SetupArcadeKit.exe"},
    {"full_installer_name_other_case", L"setuparcadekit.exe", L"", L"", L"/src installer /dp larchplay",
     L"setuparcadekit.exe"},
    {"update_given_and_added", L"setup.exe", L"/update", L"/update /update", L"/src installer /dp larchplay",
     L"setup.exe"},
    {"dp_option", L"setup.exe", L"/dp=partner", L"/dp=partner", L"/src installer /dp partner", L"setup.exe"},
    {"dp_option_wins_over_the_name", L"Setup-xyz-partner.exe", L"/dp=other", L"/dp=other",
     L"/src installer /dp other /action download xyz", L"Setup-xyz-partner.exe"},
    {"empty_dp_option", L"Setup-xyz-partner.exe", L"/dp=", L"/dp=",
     L"/src installer /dp partner /action download xyz", L"Setup-xyz-partner.exe"},
    {"quoted_argument_reaches_the_installer_as_words", L"setup.exe", L"\"/dp=a b\"", L"/dp=a b",
     L"/src installer /dp larchplay", L"setup.exe"},
    {"hostile_dp_falls_to_the_name", L"Setup-xyz-partner.exe", L"/dp=x/Execute", L"/dp=x/Execute",
     L"/src installer /dp partner /action download xyz", L"Setup-xyz-partner.exe"},
    {"unknown_options_passed_on", L"setup.exe", L"/silent /S -x /Restore", L"/silent /S -x /Restore",
     L"/src installer /dp larchplay", L"setup.exe"},
    {"nolaunchconsole", L"setup.exe", L"/nolaunchconsole", L"/nolaunchconsole", nullptr, L"setup.exe"},
    {"restore", L"Setup-xyz-partner.exe", L"/restore /silent", L"/restore /silent", nullptr,
     L"Setup-xyz-partner.exe"},
    {"own_name_park", L"Park.exe", L"", L"", L"/src installer /dp larchplay", L"Installer.exe"},
    {"own_name_patch_any_case", L"pATCH.EXE", L"/uselocalpatch", L"/uselocalpatch", L"/src installer /dp larchplay",
     L"Installer.exe"},
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.label; }

class SetupProgramNames : public SetupProgram, public ::testing::WithParamInterface<NameCase> {};

TEST_P(SetupProgramNames, arm_park_and_run_the_installer_as_the_name_and_options_say)
{
    const NameCase& c = GetParam();
    const std::wstring setup = SetupCopy(L"SetupTestPayload", c.ownName);
    EXPECT_EQ(0u, RunSetup(setup, c.arguments));

    const std::vector<StandInRecord> runs = InstallerRuns();
    ASSERT_EQ(1u, runs.size()) << "the Installer ran " << runs.size() << " times";
    const StandInRecord& run = runs[0];
    const std::wstring folder = FolderOf(run.exe);
    EXPECT_EQ(c.installerName, NameOf(run.exe));
    EXPECT_TRUE(SamePath(TemporaryFolder(), FolderOf(folder))) << Narrow(folder);
    EXPECT_EQ(0u, NameOf(folder).find(L"pdtpo-")) << Narrow(folder);
    EXPECT_TRUE(SamePath(folder, run.workdir)) << Narrow(run.workdir);
    EXPECT_EQ(L"1", run.values.at(L"parkfile"));

    std::wstring expected = c.installerArguments;
    expected += (expected.empty() ? L"" : L" ") + std::wstring(L"/park=\"") + folder + L"\\Park.exe\"";
    EXPECT_EQ(expected, run.arguments);

    if (c.launchParams) {
        EXPECT_EQ(L"1", run.values.at(L"parkwaiting")) << "no Park waited while the Installer ran";
        const std::vector<StandInRecord> launches = AppLaunches();
        ASSERT_EQ(1u, launches.size());
        EXPECT_EQ(c.launchParams, launches[0].arguments);
        EXPECT_TRUE(SamePath(app_, launches[0].exe)) << Narrow(launches[0].exe);
        EXPECT_TRUE(SamePath(FolderOf(app_), launches[0].workdir)) << Narrow(launches[0].workdir);
    } else {
        EXPECT_EQ(L"0", run.values.at(L"parkwaiting")) << "a Park was armed";
        EXPECT_EQ(0u, LaunchesAfterSettling());
    }
    EXPECT_TRUE(ParkGone());
    EXPECT_FALSE(DirectoryExists(folder)) << "the temporary folder stayed behind";
    EXPECT_FALSE(Lm::System::Win32::CRegistryKey::KeyExists(Lm::Setup::TemporaryUninstallKeyName()));
}

INSTANTIATE_TEST_SUITE_P(SetupProgram, SetupProgramNames, ::testing::ValuesIn(kNameCases),
                         [](const ::testing::TestParamInfo<NameCase>& info) { return std::string(info.param.label); });

// --- an older Park --------------------------------------------------------------------------------

TEST_F(SetupProgram, older_waiting_park_is_ended_first_even_when_it_is_slow_to_go)
{
    Process older(ArmOlderPark());
    ASSERT_TRUE(older.Running());
    // Held still until well after setup's terminate signal: it keeps its events meanwhile, and a
    // new Park that found them would quit at once.
    Process setup(StartSetupBehindHeldPark(older));
    ASSERT_TRUE(setup.Started());
    Sleep(1500);
    SuspendProcess(GetProcessId(older.Handle()), false);

    EXPECT_EQ(0u, setup.WaitExit(Patience));
    EXPECT_EQ(0u, older.WaitExit(Patience)) << "the older Park did not quit";
    const std::vector<StandInRecord> launches = AppLaunches();
    ASSERT_EQ(1u, launches.size()) << "the new Park did not start the application";
    EXPECT_EQ(L"/src installer /dp larchplay", launches[0].arguments);
    EXPECT_EQ(0u, LaunchesAfterSettling(L"Old.exe"));
}

TEST_F(SetupProgram, restore_and_nolaunchconsole_leave_an_older_waiting_park_alone)
{
    // As the real Installer in these runs, the stand-in sends Park no signal.
    SetEnvironmentVariableW(L"LM_INSTALLER_STANDIN_FINISH", nullptr);
    for (const wchar_t* option : {L"/restore", L"/nolaunchconsole"}) {
        SCOPED_TRACE(Narrow(option));
        Process older(ArmOlderPark());
        EXPECT_EQ(0u, RunSetup(SetupCopy(L"SetupTestPayload", L"setup.exe"), option));
        EXPECT_TRUE(older.Running()) << "the older Park was told to quit";
        EndWaitingPark();
        EXPECT_EQ(0u, older.WaitExit(Patience));
    }
    EXPECT_EQ(2u, InstallerRuns().size());
    EXPECT_EQ(0u, LaunchesAfterSettling(L"Old.exe"));
    EXPECT_EQ(0u, LaunchesAfterSettling());
}

// --- the temporary folder -----------------------------------------------------------------------

TEST_F(SetupProgram, what_it_unpacked_cannot_be_swapped_before_it_runs)
{
    // An older Park held still keeps setup waiting between unpacking and starting the Installer.
    Process older(ArmOlderPark());
    ASSERT_TRUE(older.Running());
    Process setup(StartSetupBehindHeldPark(older));
    ASSERT_TRUE(setup.Started());
    std::wstring unpacked;
    for (const std::wstring& folder : SetupFolders())
        if (!before_.count(folder))
            unpacked = folder;

    // What the user whose temporary folder holds it may try: take the folder away, or put other
    // programs in place of the ones setup is about to run.
    EXPECT_FALSE(unpacked.empty()) << "no temporary folder of setup's";
    if (!unpacked.empty()) {
        EXPECT_FALSE(MoveFileW(unpacked.c_str(), (unpacked + L"-moved").c_str())) << "the folder was renamed";
        for (const wchar_t* name : {L"setup.exe", L"Park.exe"}) {
            SCOPED_TRACE(Narrow(name));
            const std::wstring program = unpacked + L"\\" + name;
            const std::wstring planted = InstallStandIn(folder_.Path(), std::wstring(L"planted-") + name);
            ASSERT_FALSE(planted.empty());
            EXPECT_FALSE(MoveFileExW(planted.c_str(), program.c_str(), MOVEFILE_REPLACE_EXISTING)) << "replaced";
            EXPECT_FALSE(DeleteFileW(program.c_str())) << "deleted";
            HANDLE writer = CreateFileW(program.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        0, nullptr);
            EXPECT_EQ(INVALID_HANDLE_VALUE, writer) << "opened for writing";
            if (writer != INVALID_HANDLE_VALUE)
                CloseHandle(writer);
        }
    }
    SuspendProcess(GetProcessId(older.Handle()), false);

    // The run goes on with its own files.
    EXPECT_EQ(0u, setup.WaitExit(Patience));
    EXPECT_EQ(0u, older.WaitExit(Patience));
    const std::vector<StandInRecord> runs = InstallerRuns();
    ASSERT_EQ(1u, runs.size()) << "the Installer setup unpacked did not run";
    EXPECT_TRUE(SamePath(unpacked + L"\\setup.exe", runs[0].exe)) << Narrow(runs[0].exe);
    const std::vector<StandInRecord> launches = AppLaunches();
    ASSERT_EQ(1u, launches.size());
    EXPECT_EQ(L"/src installer /dp larchplay", launches[0].arguments);
    EXPECT_FALSE(DirectoryExists(unpacked)) << "the temporary folder stayed behind";
}

// --- the Installer's end ----------------------------------------------------------------------------

TEST_F(SetupProgram, installer_ending_with_a_failure_code_ends_the_waiting_park)
{
    // The stand-in ends without any Park signal, as an Installer that an exception ended.
    SetEnvironmentVariableW(L"LM_INSTALLER_STANDIN_FINISH", nullptr);
    struct Case { DWORD exitCode; bool parkWaitsAfter; } cases[] = {{0, true}, {1, false}, {2, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.exitCode);
        EXPECT_EQ(0u, RunSetup(SetupCopy(L"SetupTestPayload", L"setup.exe"),
                               L"/standin-exit=" + std::to_wstring(c.exitCode)));
        const std::vector<StandInRecord> runs = InstallerRuns();
        ASSERT_FALSE(runs.empty());
        EXPECT_EQ(L"1", runs.back().values.at(L"parkwaiting"));
        if (c.parkWaitsAfter) {
            EXPECT_TRUE(ParkWaits()) << "Park no longer waits for the Installer's signal";
            EndWaitingPark();
        } else {
            EXPECT_TRUE(WaitUntil(ParkGone)) << "Park still waits after the Installer failed";
            EXPECT_FALSE(DirectoryExists(FolderOf(runs.back().exe))) << "the temporary folder stayed behind";
        }
    }
    EXPECT_EQ(0u, LaunchesAfterSettling());
}

TEST_F(SetupProgram, installer_that_cannot_start_ends_the_waiting_park_and_setup_still_exits_0)
{
    EXPECT_EQ(0u, RunSetup(SetupCopy(L"SetupBrokenInstaller", L"setup.exe"), L""));
    EXPECT_TRUE(WaitUntil(ParkGone)) << "Park still waits";
    EXPECT_EQ(0u, LaunchesAfterSettling());
    EXPECT_FALSE(NewSetupFolderLeft());
}

TEST_F(SetupProgram, damaged_installer_cabinet_ends_the_run_with_1_before_park_or_the_installer)
{
    EXPECT_EQ(1u, RunSetup(SetupCopy(L"SetupDamagedInstaller", L"setup.exe"), L""));
    EXPECT_TRUE(InstallerRuns().empty()) << "the Installer ran";
    EXPECT_TRUE(ParkGone()) << "Park was armed";
    EXPECT_EQ(0u, LaunchesAfterSettling());
    EXPECT_FALSE(NewSetupFolderLeft());
}

// --- refusals ----------------------------------------------------------------------------------------

TEST_F(SetupProgram, unsigned_park_is_never_started)
{
    EXPECT_EQ(1u, RunSetup(SetupCopy(L"SetupUnsignedPark", L"setup.exe"), L""));
    EXPECT_TRUE(InstallerRuns().empty()) << "the Installer ran";
    EXPECT_TRUE(ParkGone());
    EXPECT_EQ(0u, LaunchesAfterSettling());
    EXPECT_FALSE(NewSetupFolderLeft());
}

TEST_F(SetupProgram, registry_probe_refused_ends_the_run_before_anything_is_unpacked)
{
    // The probe key already there, readable by all and writable by none.
    const std::wstring path = Lm::Setup::TemporaryUninstallKeyName();
    const std::wstring subKey = path.substr(path.find(L'\\') + 1);
    EXPLICIT_ACCESS_W access = {};
    wchar_t everyone[] = L"EVERYONE";
    BuildExplicitAccessWithNameW(&access, everyone, KEY_READ, SET_ACCESS, NO_INHERITANCE);
    PACL acl = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, SetEntriesInAclW(1, &access, nullptr, &acl));
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), &descriptor, FALSE};
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, nullptr, 0, KEY_READ, &attributes,
                                             &key, nullptr));
    RegCloseKey(key);
    LocalFree(acl);
    struct Restore {
        std::wstring subKey;
        ~Restore()
        {
            HKEY key = nullptr;
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, WRITE_DAC, &key) == ERROR_SUCCESS) {
                SECURITY_DESCRIPTOR open;
                InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION);
                SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE);
                RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &open);
                RegCloseKey(key);
            }
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, subKey.c_str());
        }
    } restore{subKey};
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        RegCloseKey(key);
        GTEST_SKIP() << "this system grants write access to a key whose access list refuses it";
    }

    EXPECT_EQ(1u, RunSetup(SetupCopy(L"SetupTestPayload", L"setup.exe"), L""));
    EXPECT_TRUE(InstallerRuns().empty()) << "the Installer ran";
    EXPECT_TRUE(ParkGone());
    EXPECT_FALSE(NewSetupFolderLeft()) << "something was unpacked";
}

// --- the local patch ---------------------------------------------------------------------------------

TEST_F(SetupProgram, local_patch_reaches_the_installer_only_when_asked_for_and_signed_as_the_maker)
{
    struct Case { const char* label; std::wstring patch; const wchar_t* arguments; const wchar_t* found; } cases[] = {
        {"signed_by_the_maker", TestDir() + L"signed\\StandIn-LarchmeadowInc.exe", L"/uselocalpatch", L"1"},
        {"not_asked_for", TestDir() + L"signed\\StandIn-LarchmeadowInc.exe", L"", L"0"},
        {"signed_by_another", TestDir() + L"signed\\StandIn-LarchmeadowGamesInc.exe", L"/uselocalpatch", L"0"},
        {"unsigned", Tool(L"StandIn.exe"), L"/uselocalpatch", L"0"},
        {"missing", L"", L"/uselocalpatch", L"0"},
    };
    const std::wstring setup = SetupCopy(L"SetupTestPayload", L"setup.exe");
    const std::wstring patch = folder_ / L"Patch.exe";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        DeleteFileW(patch.c_str());
        if (!c.patch.empty()) {
            ASSERT_TRUE(CopyFileW(c.patch.c_str(), patch.c_str(), FALSE));
        }
        const size_t before = InstallerRuns().size();
        EXPECT_EQ(0u, RunSetup(setup, std::wstring(L"/nolaunchconsole ") + c.arguments));
        const std::vector<StandInRecord> runs = InstallerRuns();
        ASSERT_EQ(before + 1, runs.size());
        EXPECT_EQ(c.found, runs.back().values.at(L"patchfile"));
        EXPECT_FALSE(DirectoryExists(FolderOf(runs.back().exe)));
    }
}

// --- the DP of an installed edition --------------------------------------------------------------

TEST_F(SetupProgram, full_installer_takes_the_dp_of_the_installed_edition)
{
    const std::wstring entry = L"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" +
                               UniqueName(L"LmSetupTestEdition-");
    {
        Lm::System::Win32::CRegistryKey key(entry, false);
        key.SetString(L"LarchmeadowUninstallDisplayName", L"Larchmeadow Games App");
        key.SetString(L"ConsoleBrand", L"larchplay");
        key.SetString(L"ConsoleDP", L"lp-retail");
    }
    struct Remove { std::wstring path; ~Remove() { Lm::System::Win32::CRegistryKey::DeleteKeyTree(path); } } remove{entry};

    EXPECT_EQ(0u, RunSetup(SetupCopy(L"SetupTestPayload", L"SetupArcadeKit.exe"), L"/dp=other"));
    const std::vector<StandInRecord> launches = AppLaunches();
    ASSERT_EQ(1u, launches.size());
    EXPECT_EQ(L"/src installer /dp lp-retail", launches[0].arguments);
    ASSERT_EQ(1u, InstallerRuns().size());
    EXPECT_EQ(0u, InstallerRuns()[0].arguments.find(L"/dp=other /update /park=\""));
}

// --- what the program carries ---------------------------------------------------------------------

namespace {

std::string ResourceBytes(HMODULE module, LPCWSTR type, WORD id)
{
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), type);
    if (resource == nullptr)
        return std::string();
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(module, resource)));
    return bytes ? std::string(bytes, SizeofResource(module, resource)) : std::string();
}

} // namespace

TEST(SetupBuild, carries_its_icon_version_manifest_and_both_programs_byte_for_byte)
{
    const std::wstring setup = TestDir() + L"setup\\SetupTestPayload.exe";
    HMODULE module = LoadLibraryExW(setup.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(nullptr, module);

    EXPECT_NE(nullptr, FindResourceW(module, MAKEINTRESOURCEW(101), RT_GROUP_ICON));
    const std::string manifest = ResourceBytes(module, RT_MANIFEST, 1);
    EXPECT_NE(std::string::npos, manifest.find("level=\"requireAdministrator\""));
    for (const char* os : {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
                           "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
        EXPECT_NE(std::string::npos, manifest.find(os)) << os;

    // 102 is a cabinet; what setup unpacks from it is the Installer as it was packed.
    const std::string cabinet = ResourceBytes(module, RT_RCDATA, 102);
    const std::string park = ResourceBytes(module, RT_RCDATA, 103);
    ASSERT_FALSE(cabinet.empty());
    EXPECT_EQ(0u, cabinet.compare(0, 4, "MSCF")) << "resource 102 is no cabinet";
    EXPECT_FALSE(park.empty());
    ScratchFolder folder(L"lmsetupres");
    Lm::CommonAppLogic::CCabinetExtractor(cabinet.data(), static_cast<DWORD>(cabinet.size()))
        .ExtractTo(folder / L"setup.exe");
    const std::string installer = ReadFileBytes(Tool(L"InstallerStandIn.exe"));
    EXPECT_LT(cabinet.size(), installer.size()) << "the Installer is not compressed";
    EXPECT_TRUE(ReadFileBytes(folder / L"setup.exe") == installer) << "resource 102 does not unpack to the Installer";
    EXPECT_TRUE(park == ReadFileBytes(TestDir() + L"..\\payload\\Park.exe")) << "resource 103 is not the signed Park";
    FreeLibrary(module);

    DWORD ignored = 0;
    std::vector<char> version(GetFileVersionInfoSizeW(setup.c_str(), &ignored));
    ASSERT_FALSE(version.empty());
    ASSERT_TRUE(GetFileVersionInfoW(setup.c_str(), 0, static_cast<DWORD>(version.size()), version.data()));
    wchar_t* product = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(version.data(), L"\\StringFileInfo\\040904b0\\ProductName",
                               reinterpret_cast<void**>(&product), &length));
    EXPECT_STREQ(L"Larchmeadow Games App", product);
}
