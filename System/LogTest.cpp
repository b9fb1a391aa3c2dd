// The process log: header lines in the file it names, its default file name and folder, and the
// paths with which it must quietly write nothing.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "System/DateTime.h"
#include "System/Log.h"
#include "System/Win32/KnownFolders.h"
#include "System/Win32/Thread.h"
#include "TestSupport.h"

using Lm::System::CDateTime;
using Lm::System::CLog;

namespace {

std::vector<std::wstring> Lines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos) {
            lines.push_back(text.substr(start)); // an unterminated last line
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// A header line: 80 '-' and a date text such as "Tue, 8 Dec 2026 08:00:55 UT" of the current year.
::testing::AssertionResult IsHeader(const std::wstring& line)
{
    if (line.size() < 80 + 20 || line.compare(0, 80, std::wstring(80, L'-')) != 0 || line[80] == L'-')
        return ::testing::AssertionFailure() << "not 80 dashes and a date: '" << ::testing::PrintToString(line) << "'";
    const std::wstring date = line.substr(80);
    const std::wstring year = L" " + std::to_wstring(CDateTime::Now().GetYear()) + L" ";
    if (date.find(year) == std::wstring::npos || date.compare(date.size() - 3, 3, L" UT") != 0 || date[3] != L',')
        return ::testing::AssertionFailure() << "unexpected date text: '" << ::testing::PrintToString(date) << "'";
    return ::testing::AssertionSuccess();
}

// Each line is a header, the file uses CR LF throughout and ends in one.
::testing::AssertionResult HoldsHeaders(const std::wstring& path, size_t count)
{
    const std::wstring text = LmTest::ReadFileUtf8(path);
    const std::vector<std::wstring> lines = Lines(text);
    if (lines.size() != count)
        return ::testing::AssertionFailure() << "expected " << count << " lines, found " << lines.size() << " in "
                                             << ::testing::PrintToString(text);
    if (count && (text.size() < 2 || text.compare(text.size() - 2, 2, L"\r\n") != 0))
        return ::testing::AssertionFailure() << "the file does not end in CR LF";
    for (const std::wstring& line : lines) {
        ::testing::AssertionResult header = IsHeader(line);
        if (!header)
            return header;
    }
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(Log, header_line_is_80_dashes_and_the_local_date)
{
    const std::wstring line = CLog::MakeHeaderLine();
    ASSERT_FALSE(line.empty());
    EXPECT_EQ(L'\n', line.back());
    EXPECT_TRUE(IsHeader(line.substr(0, line.size() - 1)));
}

TEST(Log, setting_the_path_makes_the_folders_and_stamps_one_header)
{
    LmTest::ScratchFolder scratch(L"LmLogTest");
    const std::wstring path = scratch / L"a\\b\\Program.exe.log";
    CLog& log = CLog::GetInstance();
    log._SetOutputFile(path, false);
    EXPECT_EQ(path, log.GetOutputPath());
    EXPECT_TRUE(HoldsHeaders(path, 1));

    // The same path again adds a line; deleteOld starts the file afresh.
    log._SetOutputFile(path, false);
    EXPECT_TRUE(HoldsHeaders(path, 2));
    CLog::Init(path, true);
    EXPECT_TRUE(HoldsHeaders(path, 1));
    log._SetOutputFile(L"", false);
}

TEST(Log, empty_path_turns_the_log_off_without_failing)
{
    LmTest::ScratchFolder scratch(L"LmLogTest");
    const std::wstring path = scratch / L"before.log";
    CLog& log = CLog::GetInstance();
    log._SetOutputFile(path, false);
    EXPECT_NO_THROW(log._SetOutputFile(L"", false));
    EXPECT_NO_THROW(log._SetOutputFile(L"", true));
    EXPECT_EQ(L"", log.GetOutputPath());
    EXPECT_TRUE(HoldsHeaders(path, 1)) << "the empty path wrote into the previous file";
}

TEST(Log, folder_that_cannot_be_made_is_not_fatal)
{
    LmTest::ScratchFolder scratch(L"LmLogTest");
    // A file stands where the folder would have to be.
    LmTest::WriteFileUtf8(scratch / L"blocker", L"x");
    const std::wstring path = scratch / L"blocker\\sub\\x.log";
    CLog& log = CLog::GetInstance();
    EXPECT_NO_THROW(log._SetOutputFile(path, false));
    EXPECT_EQ(path, log.GetOutputPath());
    EXPECT_FALSE(LmTest::FileExists(path));
    EXPECT_EQ(L"x", LmTest::ReadFileUtf8(scratch / L"blocker"));
    log._SetOutputFile(L"", false);
}

TEST(Log, default_file_is_the_program_name_in_the_roaming_logs_folder)
{
    const std::wstring roaming = Lm::System::Win32::GetRoamingAppDataPath();
    ASSERT_FALSE(roaming.empty());
    EXPECT_EQ(roaming + L"\\Larchmeadow\\Logs\\LmSystemTests.exe.log", CLog::GetDefaultPath());
}

namespace {

const wchar_t* const LogChildMarker = L"LM_LOG_CHILD";

class CQuickThread : public Lm::System::Win32::CThread {
protected:
    DWORD Execute() override { return 0; }
};

} // namespace

TEST(Log, default_log_of_a_program_run_holds_one_header_per_run)
{
    wchar_t value[8] = {};
    if (GetEnvironmentVariableW(LogChildMarker, value, 8) > 0) {
        // The child run: the first use of the log comes from a thread object going away, as in
        // the Installer, and the program ends right after.
        {
            CQuickThread thread;
            thread.ThreadStart();
            thread.Join();
        }
        std::exit(CLog::GetInstance().GetOutputPath() == CLog::GetDefaultPath() ? 0 : 2);
    }

    // A copy of this program under a name of its own, so that its log file is its alone.
    LmTest::ScratchFolder scratch(L"LmLogTest");
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring name = LmTest::UniqueName(L"LmLogProbe") + L".exe";
    const std::wstring copy = scratch / name;
    ASSERT_TRUE(CopyFileW(self, copy.c_str(), FALSE));
    const std::wstring logs = Lm::System::Win32::GetRoamingAppDataPath() + L"\\Larchmeadow\\Logs";
    const std::wstring logFile = logs + L"\\" + name + L".log";

    SetEnvironmentVariableW(LogChildMarker, L"1");
    for (size_t run = 1; run <= 2; ++run) {
        LmTest::RunResult result =
            LmTest::RunProgram(copy, L"--gtest_filter=Log.default_log_of_a_program_run_holds_one_header_per_run", 60000);
        ASSERT_TRUE(result.started);
        ASSERT_TRUE(result.finished);
        EXPECT_EQ(0u, result.exitCode);
        EXPECT_TRUE(LmTest::DirectoryExists(logs));
        EXPECT_TRUE(HoldsHeaders(logFile, run)) << logFile;
    }
    SetEnvironmentVariableW(LogChildMarker, nullptr);
    DeleteFileW(logFile.c_str());
}
