#include "System/String/AnsiWide.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "System/Exception.h"

namespace {

TEST(AnsiWideTest, default_locale_maps_each_byte_to_the_same_character)
{
    EXPECT_EQ(L"abc", Lm::AnsiToWide(std::string("abc")));
    EXPECT_EQ(std::wstring(L"\u00e9\u00ff\u0080"), Lm::AnsiToWide(std::string("\xe9\xff\x80")));
    EXPECT_EQ(L"", Lm::AnsiToWide(std::string()));
}

TEST(AnsiWideTest, utf8_of_surrogate_pairs_is_four_bytes_each)
{
    // U+1F600 and U+10348 outside the BMP, between characters of one, two and three bytes.
    const std::wstring text = L"a\xD83D\xDE00\u00e9\xD800\xDF48\u20ac";
    EXPECT_EQ(std::string("a\xF0\x9F\x98\x80\xC3\xA9\xF0\x90\x8D\x88\xE2\x82\xAC"), Lm::Utf16ToUtf8(text));
}

TEST(AnsiWideTest, buffer_of_four_bytes_per_unit_suffices_for_the_longest_forms)
{
    std::wstring pairs;
    for (int i = 0; i < 600; ++i)
        pairs += L"\xDBFF\xDFFF";   // U+10FFFF, four bytes from two units
    EXPECT_EQ(2400u, Lm::Utf16ToUtf8(pairs).size());
    const std::wstring euros(700, L'\u20ac');
    EXPECT_EQ(2100u, Lm::Utf16ToUtf8(euros).size());
}

TEST(AnsiWideTest, empty_input_gives_empty_output)
{
    EXPECT_EQ("", Lm::Utf16ToUtf8(L""));
    EXPECT_EQ("", Lm::Utf16ToMBCS_CP(1252, L"", 0));
}

TEST(AnsiWideTest, code_page_conversion_writes_exactly_the_bytes)
{
    EXPECT_EQ(std::string("caf\xe9", 4), Lm::Utf16ToMBCS_CP(1252, std::wstring(L"caf\u00e9")));
    const wchar_t withZero[] = {L'a', 0, L'b'};
    EXPECT_EQ(std::string("a\0b", 3), Lm::Utf16ToMBCS_CP(CP_UTF8, withZero, 3));
}

TEST(AnsiWideTest, unknown_code_page_throws_conversion_failure)
{
    try {
        Lm::Utf16ToMBCS_CP(54321, std::wstring(L"abc"));
        FAIL() << "no throw";
    } catch (const Lm::System::CException& e) {
        EXPECT_EQ(L"Could not convert UTF-16 characters to CP.", e.Message());
        EXPECT_EQ("Lm::Utf16ToMBCS_CP", e.Function());
        EXPECT_EQ(L"String.AnsiWide.81", e.GetLocationCode());
    }
}

TEST(AnsiWideTest, text_invalid_in_the_locale_code_page_throws)
{
    // A lead byte of code page 932 without its trail byte is rejected by mbstowcs.
    const char* previous = setlocale(LC_CTYPE, nullptr);
    const std::string saved = previous ? previous : "C";
    if (setlocale(LC_CTYPE, ".932") == nullptr)
        GTEST_SKIP() << "code page 932 locale not available";
    bool thrown = false;
    try {
        Lm::AnsiToWide(std::string("a\x81"));
    } catch (const Lm::System::CException& e) {
        thrown = true;
        EXPECT_EQ(L"Could not convert ANSI to UTF-16.", e.Message());
        EXPECT_EQ(L"String.AnsiWide.22", e.GetLocationCode());
    }
    setlocale(LC_CTYPE, saved.c_str());
    EXPECT_TRUE(thrown);
}

} // namespace
