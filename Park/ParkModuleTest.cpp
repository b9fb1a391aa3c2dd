// How Park reads its command line, in process: which options a text sets, and what a value holds.
#include <gtest/gtest.h>

#include <string>

#include "Park/ParkContract.h"
#include "Park/ParkModule.h"

namespace {

std::wstring Text(const wchar_t* value) { return value ? value : L"<null>"; }

CParkModule Parse(const std::wstring& commandLine)
{
    CParkModule module = {};
    module.ParseCommandLine(commandLine.c_str());
    return module;
}

std::wstring FullPath(const std::wstring& path)
{
    wchar_t buffer[1024];
    DWORD n = GetFullPathNameW(path.c_str(), 1024, buffer, nullptr);
    return std::wstring(buffer, n);
}

struct ParseCase {
    const wchar_t* name;
    const wchar_t* commandLine;
    const wchar_t* launchParams;
    const wchar_t* eventTerminate;
    const wchar_t* eventExecute;
    bool signalTerminate;
    bool signalExecute;
};

// Test names show the case's name rather than its bytes.
void PrintTo(const ParseCase& c, std::ostream* out)
{
    std::wstring w = c.name;
    *out << std::string(w.begin(), w.end());
}

} // namespace

class ParkParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParkParse, sets_the_options_the_text_names)
{
    const ParseCase& c = GetParam();
    CParkModule module = Parse(c.commandLine);
    EXPECT_EQ(Text(c.launchParams), Text(module.launchParams));
    EXPECT_EQ(Text(c.eventTerminate), Text(module.eventTerminate));
    EXPECT_EQ(Text(c.eventExecute), Text(module.eventExecute));
    EXPECT_EQ(c.signalTerminate, module.signalTerminate);
    EXPECT_EQ(c.signalExecute, module.signalExecute);
    EXPECT_FALSE(module.valueTooLong);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, ParkParse,
    ::testing::Values(
        ParseCase{ L"suite_terminate_signal", L"\"C:\\T\\Park.exe\" /EventTerminate \"Global\\LMPARKTERM\" /SignalTerminate",
                   nullptr, L"Global\\LMPARKTERM", nullptr, true, false },
        ParseCase{ L"suite_execute_signal", L"Park.exe /EventExecute \"Global\\LMPARKEXEC\" /SignalExecute",
                   nullptr, nullptr, L"Global\\LMPARKEXEC", false, true },
        ParseCase{ L"any_case_after_either_marker", L"Park.exe -eventterminate A /EVENTEXECUTE B -SiGnAlExEcUtE /launchparams x",
                   L"x", L"A", L"B", false, true },
        ParseCase{ L"longer_word_is_no_option", L"Park.exe /EventTerminateNow A /SignalExecuteX -LaunchParams: y",
                   nullptr, nullptr, nullptr, false, false },
        ParseCase{ L"option_name_ends_at_tab", L"Park.exe /EventTerminate\tA\t/SignalTerminate\t", nullptr, L"A", nullptr, true, false },
        ParseCase{ L"quoted_value_keeps_blanks_and_markers",
                   L"Park.exe /LaunchParams \"/src installer /dp partner /action download xyz\" /EventExecute E",
                   L"/src installer /dp partner /action download xyz", nullptr, L"E", false, false },
        ParseCase{ L"unclosed_quote_runs_to_the_end", L"Park.exe /LaunchParams \"-a b", L"-a b", nullptr, nullptr, false, false },
        ParseCase{ L"unquoted_value_ends_at_blank", L"Park.exe /LaunchParams -a b", L"-a", nullptr, nullptr, false, false },
        ParseCase{ L"marker_and_option_inside_a_value_count_too",
                   L"Park.exe /LaunchParams \"x /SignalTerminate y\" /EventTerminate T",
                   L"x /SignalTerminate y", L"T", nullptr, true, false },
        ParseCase{ L"repeated_option_keeps_the_last_value", L"Park.exe /EventExecute A /EventExecute B", nullptr, nullptr, L"B", false, false },
        ParseCase{ L"empty_value_keeps_the_earlier_one", L"Park.exe /EventExecute A /EventExecute \"\"", nullptr, nullptr, L"A", false, false },
        ParseCase{ L"value_missing_at_the_end", L"Park.exe /EventExecute   ", nullptr, nullptr, nullptr, false, false },
        ParseCase{ L"dash_in_own_path_is_skipped", L"\"C:\\pdtpo-1234\\Park-x.exe\" /EventTerminate T", nullptr, L"T", nullptr, false, false },
        ParseCase{ L"doubled_marker", L"Park.exe --EventTerminate T //SignalTerminate", nullptr, L"T", nullptr, true, false },
        ParseCase{ L"other_words_are_skipped", L"Park.exe hello /world -EventExecute E there", nullptr, nullptr, L"E", false, false }),
    [](const ::testing::TestParamInfo<ParseCase>& info) {
        std::wstring w = info.param.name;
        return std::string(w.begin(), w.end());
    });

TEST(ParkParse, execute_is_made_absolute_against_the_current_folder)
{
    CParkModule module = Parse(L"Park.exe /Execute Playdeck-lm.exe");
    EXPECT_EQ(FullPath(L"Playdeck-lm.exe"), Text(module.execute));

    module = Parse(L"Park.exe /EXECUTE \"C:\\Program Files (x86)\\Larchmeadow Games\\App\\..\\App\\Playdeck-lm.exe\"");
    EXPECT_EQ(L"C:\\Program Files (x86)\\Larchmeadow Games\\App\\Playdeck-lm.exe", Text(module.execute));
}

TEST(ParkParse, execute_now_is_no_option)
{
    CParkModule module = Parse(L"Park.exe /ExecuteNow C:\\x.exe -execute: C:\\y.exe");
    EXPECT_EQ(nullptr, module.execute);
}

TEST(ParkParse, a_word_with_an_option_name_in_the_own_path_counts)
{
    // "-Execute" followed by a blank inside Park's own quoted path is an option like any other.
    CParkModule module = Parse(L"\"C:\\x -Execute C:\\y.exe\\Park.exe\" /EventTerminate T");
    EXPECT_EQ(L"C:\\y.exe\\Park.exe\"", Text(module.execute));
}

TEST(ParkValueLimit, values_of_up_to_519_characters_are_kept_whole)
{
    std::wstring value(Lm::Park::MaxValueLength, L'p');
    CParkModule module = Parse(L"Park.exe /LaunchParams \"" + value + L"\" /EventExecute " + value);
    EXPECT_FALSE(module.valueTooLong);
    EXPECT_EQ(value, Text(module.launchParams));
    EXPECT_EQ(value, Text(module.eventExecute));
}

TEST(ParkValueLimit, a_longer_value_refuses_the_command_line_without_storing_it)
{
    for (const wchar_t* option : { L"LaunchParams", L"EventTerminate", L"EventExecute", L"Execute" }) {
        for (size_t length : { size_t(520), size_t(521), size_t(4000) }) {
            std::wstring value(length, L'v');
            CParkModule module = Parse(std::wstring(L"Park.exe /") + option + L" \"" + value + L"\" /SignalExecute");
            EXPECT_TRUE(module.valueTooLong) << option << " " << length;
            EXPECT_EQ(nullptr, module.launchParams);
            EXPECT_EQ(nullptr, module.eventTerminate);
            EXPECT_EQ(nullptr, module.eventExecute);
            EXPECT_EQ(nullptr, module.execute);
            EXPECT_EQ(E_FAIL, module.Run()) << option << " " << length;
        }
    }
}

TEST(ParkValueLimit, an_execute_whose_full_path_exceeds_518_characters_refuses_the_command_line)
{
    // A relative value that fits the value area but not the full-path area once made absolute.
    std::wstring current = FullPath(L".");
    ASSERT_LT(current.size(), 400u);
    std::wstring fits(Lm::Park::MaxExecuteFullLength - current.size() - 1, L'f');   // current + '\' + fits = 518
    CParkModule module = Parse(L"Park.exe /Execute " + fits);
    EXPECT_FALSE(module.valueTooLong);
    EXPECT_EQ(Lm::Park::MaxExecuteFullLength, std::wstring(Text(module.execute)).size());

    module = Parse(L"Park.exe /Execute " + fits + L"f");
    EXPECT_TRUE(module.valueTooLong);
    EXPECT_EQ(nullptr, module.execute);
}

TEST(ParkReadOptionValue, copies_no_more_than_the_area_holds)
{
    wchar_t area[8 + 4];
    wmemset(area, L'#', 12);
    EXPECT_EQ(ParkValue::Read, ReadOptionValue(L"  \t1234567 rest", area, 8));
    EXPECT_STREQ(L"1234567", area);
    EXPECT_EQ(L'#', area[8]);

    wmemset(area, L'#', 12);
    EXPECT_EQ(ParkValue::TooLong, ReadOptionValue(L"\"12345678\"", area, 8));
    EXPECT_EQ(L'\0', area[0]);
    EXPECT_EQ(L'#', area[1]);

    EXPECT_EQ(ParkValue::Empty, ReadOptionValue(L" \"\" x", area, 8));
    EXPECT_EQ(ParkValue::Empty, ReadOptionValue(L" \t", area, 8));
}

TEST(ParkWorkingFolder, is_the_path_up_to_and_with_its_last_backslash)
{
    wchar_t folder[520];
    EXPECT_TRUE(WorkingFolderOf(L"C:\\Program Files (x86)\\App\\Playdeck-lm.exe", folder, 520));
    EXPECT_STREQ(L"C:\\Program Files (x86)\\App\\", folder);
    EXPECT_FALSE(WorkingFolderOf(L"Playdeck-lm.exe", folder, 520));
    EXPECT_STREQ(L"", folder);
    EXPECT_FALSE(WorkingFolderOf(L"C:\\abcdefgh\\x.exe", folder, 8));
    EXPECT_STREQ(L"", folder);
}

TEST(ParkContract, signal_command_lines_are_the_suites)
{
    EXPECT_EQ(52u, wcslen(Lm::Park::SignalTerminateCommandLine));
    EXPECT_EQ(48u, wcslen(Lm::Park::SignalExecuteCommandLine));
    CParkModule module = Parse(std::wstring(L"Park.exe ") + Lm::Park::SignalExecuteCommandLine);
    EXPECT_EQ(std::wstring(Lm::Park::EventExecuteName), Text(module.eventExecute));
    EXPECT_TRUE(module.signalExecute);
}
