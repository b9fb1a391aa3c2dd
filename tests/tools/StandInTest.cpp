// StandIn.exe records where and how it was started, and exits with the code it is told.
#include <gtest/gtest.h>

#include "StandInLog.h"
#include "TestSupport.h"

using namespace LmTest;

TEST(StandIn, records_its_path_working_folder_and_command_line_and_exits_with_the_given_code)
{
    ScratchFolder folder(L"standin");
    CreateDirectoryW((folder / L"work").c_str(), nullptr);
    std::wstring copy = InstallStandIn(folder.Path(), L"Some Program.exe");
    ASSERT_FALSE(copy.empty());

    RunResult run = RunProgram(copy, L"/a \"b c\" -d /standin-exit=7", 30000, folder / L"work");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(7u, run.exitCode);

    auto records = ReadStandInRecords(StandInLogOf(copy));
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(copy, records[0].exe);
    EXPECT_EQ(folder / L"work", records[0].workdir);
    EXPECT_EQ(L"\"" + copy + L"\" /a \"b c\" -d /standin-exit=7", records[0].commandLine);
    EXPECT_EQ(L"/a \"b c\" -d /standin-exit=7", records[0].arguments);
}

TEST(StandIn, appends_one_record_per_run_into_the_folder_named_by_the_environment)
{
    ScratchFolder folder(L"standin");
    ScratchFolder logs(L"standinlogs");
    std::wstring copy = InstallStandIn(folder.Path(), L"Playdeck-lm.exe");
    ASSERT_FALSE(copy.empty());

    SetEnvironmentVariableW(L"LM_STANDIN_LOG_DIR", logs.Path().c_str());
    RunResult first = RunProgram(copy, L"first");
    RunResult second = RunProgram(copy, L"second /standin-exit=0x10");
    SetEnvironmentVariableW(L"LM_STANDIN_LOG_DIR", nullptr);
    EXPECT_EQ(0u, first.exitCode);
    EXPECT_EQ(16u, second.exitCode);

    EXPECT_FALSE(FileExists(StandInLogOf(copy)));
    auto records = ReadStandInRecords(logs / L"Playdeck-lm.exe.log");
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(L"first", records[0].arguments);
    EXPECT_EQ(L"second /standin-exit=0x10", records[1].arguments);
}
