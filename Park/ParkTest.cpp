// build/bin/Park.exe run the way setup, the Installer and the Updater run it: one Park armed in
// wait mode, a second one in signal mode, and StandIn.exe (as "Playdeck-lm.exe") as the program
// to start, which records how it was started. Event names are unique per test.
#include <gtest/gtest.h>

#include <windows.h>
#include <wchar.h>

#include <string>
#include <vector>

#include "Park/ParkContract.h"
#include "StandInLog.h"
#include "TestProcess.h"
#include "TestSupport.h"

using namespace LmTest;

namespace {

const DWORD Patience = 30000;   // bound of every wait for a process or a file
const DWORD Settle = 1000;      // time given to a program that must not start

} // namespace

class ParkProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        app_ = folder_ / L"App";
        ASSERT_TRUE(CreateDirectoryW(app_.c_str(), nullptr));
        program_ = InstallStandIn(app_, L"Playdeck-lm.exe");
        ASSERT_FALSE(program_.empty());
        log_ = StandInLogOf(program_);
    }

    // The suite's wait command line, with this test's program and event names.
    std::wstring WaitLine(const std::wstring& launchParams, const std::wstring& program = L"") const
    {
        return L"/Execute \"" + (program.empty() ? program_ : program) + L"\" /LaunchParams \"" + launchParams +
               L"\" /EventTerminate \"" + terminate_ + L"\" /EventExecute \"" + execute_ + L"\"";
    }
    std::wstring TerminateLine() const { return L"/EventTerminate \"" + terminate_ + L"\" /SignalTerminate"; }
    std::wstring ExecuteLine() const { return L"/EventExecute \"" + execute_ + L"\" /SignalExecute"; }

    // Starts Park in wait mode and returns once both of its events exist.
    HANDLE Arm(const std::wstring& arguments, const std::wstring& workingDir = L"") const
    {
        HANDLE park = StartProgram(Program(L"Park.exe"), arguments, workingDir);
        if (park == nullptr)
            return nullptr;
        DWORD start = GetTickCount();
        while (!(NamedEventExists(terminate_) && NamedEventExists(execute_))) {
            if (WaitForSingleObject(park, 20) == WAIT_OBJECT_0 || GetTickCount() - start > Patience)
                break;   // ended or never armed: the caller's checks report it
        }
        return park;
    }

    // Runs a short-lived Park (signal mode, or a wait mode that must end at once); its exit code.
    static DWORD RunPark(const std::wstring& arguments, const std::wstring& workingDir = L"")
    {
        RunResult run = RunProgram(Program(L"Park.exe"), arguments, Patience, workingDir);
        EXPECT_TRUE(run.started);
        EXPECT_TRUE(run.finished) << "Park did not end";
        return run.finished ? run.exitCode : STILL_ACTIVE;
    }

    std::vector<StandInRecord> Launches(size_t atLeast = 1) const { return WaitForStandInRecords(log_, atLeast, Patience); }
    size_t LaunchesAfterSettling() const
    {
        Sleep(Settle);
        return ReadStandInRecords(log_).size();
    }

    ScratchFolder folder_{ L"park" };
    std::wstring app_, program_, log_;
    std::wstring terminate_ = L"Global\\" + UniqueName(L"LmParkTerm-");
    std::wstring execute_ = L"Global\\" + UniqueName(L"LmParkExec-");
};

TEST_F(ParkProgram, execute_signal_starts_the_program_once_with_its_launch_parameters_in_its_own_folder)
{
    const std::wstring params = L"/src installer /dp partner /action download xyz";
    Process waiter(Arm(WaitLine(params)));
    ASSERT_TRUE(waiter.Running()) << "Park did not stay waiting";
    EXPECT_FALSE(NamedEventIsSet(terminate_));
    EXPECT_FALSE(NamedEventIsSet(execute_));
    EXPECT_FALSE(FileExists(log_)) << "started before the signal";

    EXPECT_EQ(0u, RunPark(ExecuteLine()));
    EXPECT_EQ(0u, waiter.WaitExit());

    auto records = Launches();
    ASSERT_EQ(1u, records.size());
    EXPECT_TRUE(SamePath(program_, records[0].exe)) << std::string(records[0].exe.begin(), records[0].exe.end());
    EXPECT_TRUE(SamePath(app_, records[0].workdir)) << std::string(records[0].workdir.begin(), records[0].workdir.end());
    EXPECT_EQ(params, records[0].arguments);

    // A later execute signal finds nobody waiting; the program is not started again.
    EXPECT_EQ(0u, RunPark(ExecuteLine()));
    EXPECT_EQ(1u, LaunchesAfterSettling());
}

TEST_F(ParkProgram, terminate_signal_ends_the_waiter_and_starts_nothing)
{
    Process waiter(Arm(WaitLine(L"/src installer /dp larchplay")));
    ASSERT_TRUE(waiter.Running());

    EXPECT_EQ(0u, RunPark(TerminateLine()));
    EXPECT_EQ(0u, waiter.WaitExit());
    EXPECT_EQ(0u, LaunchesAfterSettling());
}

TEST_F(ParkProgram, when_both_events_are_set_terminate_wins)
{
    Process waiter(Arm(WaitLine(L"/dp larchplay")));
    ASSERT_TRUE(waiter.Running());

    // Both are set while the waiter cannot run; on resuming its one wait sees both at once.
    SuspendProcess(GetProcessId(waiter.Handle()), true);
    SetNamedEvent(execute_);
    SetNamedEvent(terminate_);
    SuspendProcess(GetProcessId(waiter.Handle()), false);

    EXPECT_EQ(0u, waiter.WaitExit());
    EXPECT_EQ(0u, LaunchesAfterSettling());
}

TEST_F(ParkProgram, a_second_waiter_exits_0_at_once_while_the_first_keeps_waiting)
{
    Process first(Arm(WaitLine(L"first")));
    ASSERT_TRUE(first.Running());

    std::wstring other = InstallStandIn(app_, L"Other.exe");
    ASSERT_FALSE(other.empty());
    EXPECT_EQ(0u, RunPark(WaitLine(L"second", other)));
    EXPECT_TRUE(first.Running());
    EXPECT_FALSE(NamedEventIsSet(terminate_));
    EXPECT_FALSE(NamedEventIsSet(execute_));

    EXPECT_EQ(0u, RunPark(ExecuteLine()));
    EXPECT_EQ(0u, first.WaitExit());
    auto records = Launches();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(L"first", records[0].arguments);
    EXPECT_FALSE(FileExists(StandInLogOf(other)));
}

TEST_F(ParkProgram, a_waiter_whose_execute_event_already_exists_exits_0_at_once)
{
    HANDLE taken = CreateEventW(nullptr, TRUE, FALSE, execute_.c_str());
    ASSERT_NE(nullptr, taken);
    EXPECT_EQ(0u, RunPark(WaitLine(L"x")));
    EXPECT_FALSE(NamedEventExists(terminate_)) << "the waiter's own terminate event outlived it";
    CloseHandle(taken);
    EXPECT_EQ(0u, LaunchesAfterSettling());
}

TEST_F(ParkProgram, signals_that_nobody_waits_for_exit_0)
{
    EXPECT_EQ(0u, RunPark(TerminateLine()));
    EXPECT_EQ(0u, RunPark(ExecuteLine()));
    EXPECT_FALSE(NamedEventExists(terminate_));
    EXPECT_FALSE(NamedEventExists(execute_));
}

TEST_F(ParkProgram, wait_mode_without_an_execute_event_does_nothing_and_exits_0)
{
    EXPECT_EQ(0u, RunPark(L"/Execute \"" + program_ + L"\" /LaunchParams x /EventTerminate \"" + terminate_ + L"\""));
    EXPECT_EQ(0u, LaunchesAfterSettling());
}

TEST_F(ParkProgram, signal_terminate_with_signal_execute_sets_neither_event)
{
    Process waiter(Arm(WaitLine(L"x")));
    ASSERT_TRUE(waiter.Running());

    EXPECT_EQ(0u, RunPark(L"/EventTerminate \"" + terminate_ + L"\" /EventExecute \"" + execute_ +
                          L"\" /SignalTerminate /SignalExecute"));
    EXPECT_FALSE(NamedEventIsSet(terminate_));
    EXPECT_FALSE(NamedEventIsSet(execute_));
    EXPECT_TRUE(waiter.Running());

    EXPECT_EQ(0u, RunPark(TerminateLine()));
    EXPECT_EQ(0u, waiter.WaitExit());
    EXPECT_EQ(0u, LaunchesAfterSettling());
}

struct Spelling {
    const wchar_t* name;
    const wchar_t* execute;
    const wchar_t* launchParams;
    const wchar_t* eventTerminate;
    const wchar_t* eventExecute;
    const wchar_t* signalExecute;
};

void PrintTo(const Spelling& s, std::ostream* out)
{
    std::wstring w = s.name;
    *out << std::string(w.begin(), w.end());
}

class ParkSpelling : public ParkProgram, public ::testing::WithParamInterface<Spelling> {};

TEST_P(ParkSpelling, option_names_count_in_any_case_after_a_dash_or_a_slash)
{
    const Spelling& s = GetParam();
    const std::wstring params = L"-a /b c";
    Process waiter(Arm(std::wstring(s.execute) + L" \"" + program_ + L"\" " + s.launchParams + L" \"" + params + L"\" " +
                       s.eventTerminate + L" " + terminate_ + L" " + s.eventExecute + L" \"" + execute_ + L"\""));
    ASSERT_TRUE(waiter.Running());

    EXPECT_EQ(0u, RunPark(std::wstring(s.eventExecute) + L" " + execute_ + L" " + s.signalExecute));
    EXPECT_EQ(0u, waiter.WaitExit());
    auto records = Launches();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(params, records[0].arguments);
}

INSTANTIATE_TEST_SUITE_P(
    Spellings, ParkSpelling,
    ::testing::Values(Spelling{ L"lower_with_dashes", L"-execute", L"-launchparams", L"-eventterminate", L"-eventexecute", L"-signalexecute" },
                      Spelling{ L"upper_with_slashes", L"/EXECUTE", L"/LAUNCHPARAMS", L"/EVENTTERMINATE", L"/EVENTEXECUTE", L"/SIGNALEXECUTE" },
                      Spelling{ L"mixed", L"-ExEcUtE", L"/launchPARAMS", L"-EventTerminate", L"/eventExecute", L"-SignalExecute" }),
    [](const ::testing::TestParamInfo<Spelling>& info) {
        std::wstring w = info.param.name;
        return std::string(w.begin(), w.end());
    });

TEST_F(ParkProgram, an_execute_without_a_backslash_starts_the_program_from_parks_current_folder)
{
    Process waiter(Arm(L"/Execute Playdeck-lm.exe /LaunchParams \"/dp larchplay\" /EventTerminate " + terminate_ +
                           L" /EventExecute " + execute_,
                       app_));
    ASSERT_TRUE(waiter.Running());

    EXPECT_EQ(0u, RunPark(ExecuteLine()));
    EXPECT_EQ(0u, waiter.WaitExit());
    auto records = Launches();
    ASSERT_EQ(1u, records.size());
    EXPECT_TRUE(SamePath(program_, records[0].exe));
    EXPECT_TRUE(SamePath(app_, records[0].workdir));
    EXPECT_EQ(L"/dp larchplay", records[0].arguments);
}

TEST_F(ParkProgram, launch_parameters_of_519_characters_arrive_whole)
{
    const std::wstring params = L"/dp " + std::wstring(Lm::Park::MaxValueLength - 4, L'q');
    Process waiter(Arm(WaitLine(params)));
    ASSERT_TRUE(waiter.Running());
    EXPECT_EQ(0u, RunPark(ExecuteLine()));
    EXPECT_EQ(0u, waiter.WaitExit());
    auto records = Launches();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(params, records[0].arguments);
}

TEST_F(ParkProgram, an_over_long_value_in_wait_mode_arms_nothing_and_exits_with_E_FAIL)
{
    const std::wstring longText(600, L'z');
    const std::wstring lines[] = {
        WaitLine(L"/dp " + longText),
        L"/Execute \"" + app_ + L"\\" + longText + L".exe\" /LaunchParams x /EventTerminate " + terminate_ + L" /EventExecute " + execute_,
        L"/Execute \"" + program_ + L"\" /EventTerminate Global\\" + longText + L" /EventExecute " + execute_,
    };
    for (const std::wstring& line : lines)
        EXPECT_EQ(Lm::Park::ExitFailure, RunPark(line));
    EXPECT_EQ(0u, LaunchesAfterSettling());
}

TEST_F(ParkProgram, an_over_long_value_in_signal_mode_sets_nothing_and_exits_with_E_FAIL)
{
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, execute_.c_str());
    ASSERT_NE(nullptr, event);
    EXPECT_EQ(Lm::Park::ExitFailure, RunPark(ExecuteLine() + L" /LaunchParams \"" + std::wstring(520, L'z') + L"\""));
    EXPECT_NE(WAIT_OBJECT_0, WaitForSingleObject(event, 0));
    CloseHandle(event);
}

// The one test on the suite's own event names and command lines (from the contract header).
TEST_F(ParkProgram, the_suites_own_command_lines_arm_and_release_park)
{
    wchar_t line[2048];
    _snwprintf(line, 2048, Lm::Park::WaitCommandLineFormat, program_.c_str(), L"/src installer /dp larchplay");
    line[2047] = L'\0';
    terminate_ = Lm::Park::EventTerminateName;
    execute_ = Lm::Park::EventExecuteName;
    Process waiter(Arm(line));
    ASSERT_TRUE(waiter.Running());

    EXPECT_EQ(0u, RunPark(Lm::Park::SignalExecuteCommandLine));
    EXPECT_EQ(0u, waiter.WaitExit());
    auto records = Launches();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(L"/src installer /dp larchplay", records[0].arguments);
    EXPECT_EQ(0u, RunPark(Lm::Park::SignalTerminateCommandLine));
}
