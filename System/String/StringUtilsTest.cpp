#include "System/String/StringUtils.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Lm::System::String;

namespace {

struct SplitCase {
    std::wstring text;
    std::wstring delimiters;
    std::vector<std::wstring> tokens;
};

class SplitStringTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitStringTest, appends_non_empty_tokens_after_what_was_there)
{
    const SplitCase& c = GetParam();
    std::vector<std::wstring> out{L"kept"};
    const size_t count = SplitString(out, c.text, c.delimiters);
    std::vector<std::wstring> expected{L"kept"};
    expected.insert(expected.end(), c.tokens.begin(), c.tokens.end());
    EXPECT_EQ(expected, out);
    EXPECT_EQ(expected.size(), count);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitStringTest,
    testing::Values(SplitCase{L",,a,,b,", L",", {L"a", L"b"}},
                    SplitCase{L"", L",", {}},
                    SplitCase{L",;,;", L",;", {}},
                    SplitCase{L"one two\tthree", L" \t", {L"one", L"two", L"three"}},
                    SplitCase{L"solo", L",", {L"solo"}},
                    // A delimiter set with a character above 255 takes the scan path.
                    SplitCase{L"a\u2014b\u2014\u2014c", L"\u2014", {L"a", L"b", L"c"}},
                    SplitCase{L"a\u0100b", L",", {L"a\u0100b"}}));

TEST(StringUtilsTest, split_narrow_text)
{
    std::vector<std::string> out;
    EXPECT_EQ(2u, SplitString(out, std::string("x=1&y=2"), std::string("&")));
    EXPECT_EQ((std::vector<std::string>{"x=1", "y=2"}), out);
}

struct TrimCase {
    std::wstring text;
    std::wstring set;   // empty: Trim
    std::wstring expected;
};

class TrimTest : public testing::TestWithParam<TrimCase> {};

TEST_P(TrimTest, removes_the_set_from_both_ends)
{
    const TrimCase& c = GetParam();
    EXPECT_EQ(c.expected, c.set.empty() ? Trim(c.text) : TrimChars(c.text, c.set));
}

INSTANTIATE_TEST_SUITE_P(Cases, TrimTest,
                         testing::Values(TrimCase{L" \t\r\n \n", L"", L""},
                                         TrimCase{L"", L"", L""},
                                         TrimCase{L"  a b \r\n", L"", L"a b"},
                                         TrimCase{L"xxaxx", L"x", L"a"},
                                         TrimCase{L"xxxx", L"x", L""},
                                         TrimCase{L"\u2014a\u2014", L"\u2014", L"a"}));

TEST(StringUtilsTest, trim_narrow_text)
{
    EXPECT_EQ("v", Trim(std::string(" \tv\r\n")));
}

struct ReplaceCase {
    std::wstring text;
    std::wstring what;
    std::wstring with;
    int count;
    std::wstring expected;
};

class ReplaceAllTest : public testing::TestWithParam<ReplaceCase> {};

TEST_P(ReplaceAllTest, replaces_each_hit_once_and_counts)
{
    const ReplaceCase& c = GetParam();
    std::wstring text = c.text;
    EXPECT_EQ(c.count, ReplaceAll(text, c.what, c.with));
    EXPECT_EQ(c.expected, text);
}

INSTANTIATE_TEST_SUITE_P(Cases, ReplaceAllTest,
                         testing::Values(ReplaceCase{L"aaa", L"a", L"aa", 3, L"aaaaaa"},
                                         ReplaceCase{L"aaa", L"", L"b", -1, L"aaa"},
                                         ReplaceCase{L"aaa", L"a", L"a", -1, L"aaa"},
                                         ReplaceCase{L"abc", L"x", L"y", 0, L"abc"},
                                         ReplaceCase{L"a\r\nb\r\n", L"\r\n", L"\r\n\t", 2, L"a\r\n\tb\r\n\t"},
                                         ReplaceCase{L"abab", L"ab", L"", 2, L""}));

TEST(StringUtilsTest, case_mapping_keeps_the_length)
{
    EXPECT_EQ(L"abc-xyz 09", ToLower(L"ABC-xyz 09"));
    EXPECT_EQ(L"ABC-XYZ 09", ToUpper(L"ABC-xyz 09"));
}

TEST(StringUtilsTest, format_uses_microsoft_conversions_for_s_and_capital_s)
{
    EXPECT_EQ(L"wide=W narrow=N 42 0000002a", FormatString(L"wide=%s narrow=%S %d %08x", L"W", "N", 42, 42));
    EXPECT_EQ(L"'C:\\a'", FormatString(L"'%ls'", L"C:\\a"));
    EXPECT_EQ(L"", FormatString(L""));
}

TEST(StringUtilsTest, format_result_longer_than_1023_characters_comes_back_whole)
{
    for (size_t length : {1023u, 1024u, 1025u, 5000u}) {
        const std::wstring big(length, L'x');
        EXPECT_EQ(L"[" + big + L"]", FormatString(L"[%s]", big.c_str())) << length;
    }
    const std::string narrow(3000, 'y');
    EXPECT_EQ(std::wstring(3000, L'y'), FormatString(L"%S", narrow.c_str()));
}

TEST(StringUtilsTest, format_with_a_long_format_text)
{
    const std::wstring format = std::wstring(1500, L'f') + L"%d";
    EXPECT_EQ(std::wstring(1500, L'f') + L"7", FormatString(format.c_str(), 7));
}

TEST(StringUtilsTest, guid_text_is_lower_case_without_braces)
{
    const GUID guid = {0xABCD, 0x12EF, 0xA0B1, {0xC2, 0xD3, 0xE4, 0xF5, 0x06, 0x17, 0x28, 0x39}};
    const std::string text = GuidToString(guid);
    EXPECT_EQ("0000abcd-12ef-a0b1-c2d3-e4f506172839", text);
    EXPECT_EQ(36u, text.size());
}

TEST(StringUtilsTest, hex_helpers_write_most_significant_digit_first)
{
    char word[4];
    WordToHex(0xBEEF, word);
    EXPECT_EQ("beef", std::string(word, 4));
    char byte[2];
    ByteToHex(0x0A, byte);
    EXPECT_EQ("0a", std::string(byte, 2));
}

TEST(StringUtilsTest, error_text_ends_in_a_line_break_or_reads_no_error_description)
{
    const std::string known = GetWin32ErrorTextA(ERROR_ACCESS_DENIED);
    ASSERT_GE(known.size(), 2u);
    EXPECT_EQ("\r\n", known.substr(known.size() - 2));
    EXPECT_EQ("(No Error Description)\r\n", GetWin32ErrorTextA(0x20001234));
    EXPECT_EQ(L"(No Error Description)\r\n", GetWin32ErrorText(0x20001234));
}

TEST(StringUtilsTest, error_text_leaves_the_last_error_as_it_found_it)
{
    ::SetLastError(ERROR_SHARING_VIOLATION);
    GetWin32ErrorTextA(0x20001234);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), ::GetLastError());
    GetWin32ErrorText(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), ::GetLastError());
}

} // namespace
