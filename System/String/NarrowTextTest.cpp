// The narrow-text helpers beside their wide counterparts.
#include <gtest/gtest.h>

#include "System/Exception.h"
#include "System/String/AnsiWide.h"
#include "System/String/StringUtils.h"

using namespace Lm::System::String;

TEST(NarrowText, format_returns_exactly_the_written_text_and_grows_for_long_results)
{
    EXPECT_EQ("a=1 b=two c=3.50", Format("a=%d b=%s c=%.2f", 1, "two", 3.5));
    EXPECT_EQ("", Format("%s", ""));
    const std::string longText(5000, 'x');
    const std::string result = Format("[%s]", longText.c_str());
    EXPECT_EQ(5002u, result.size());
    EXPECT_EQ("[" + longText + "]", result);
    // Exactly the buffer's first size: 1023 characters fit, 1024 make it grow.
    EXPECT_EQ(std::string(1023, 'y'), Format("%s", std::string(1023, 'y').c_str()));
    EXPECT_EQ(std::string(1024, 'y'), Format("%s", std::string(1024, 'y').c_str()));
}

TEST(NarrowText, to_lower_maps_ascii_letters_only)
{
    EXPECT_EQ("abc xyz 09 [\\]", ToLower("ABC xYz 09 [\\]"));
    EXPECT_EQ("\xC4\xD6", ToLower("\xC4\xD6"));  // bytes above 127 stay as they are
}

TEST(NarrowText, byte_to_hex_gives_two_upper_case_digits)
{
    struct { uint8_t value; const char* text; } cases[] = {{0x00, "00"}, {0x0F, "0F"}, {0xA5, "A5"}, {0xFF, "FF"}, {0x10, "10"}};
    for (auto& c : cases)
        EXPECT_EQ(c.text, ByteToHex(c.value));
}

TEST(NarrowText, equals_no_case_compares_ascii_without_case)
{
    EXPECT_TRUE(EqualsNoCase("Content-Length", "content-LENGTH"));
    EXPECT_TRUE(EqualsNoCase("", ""));
    EXPECT_FALSE(EqualsNoCase("abc", "abcd"));
    EXPECT_FALSE(EqualsNoCase("abc", "abd"));
    EXPECT_FALSE(EqualsNoCase("[", "{"));  // not letters: no case to ignore
}

TEST(NarrowText, wide_to_ansi_converts_to_the_ansi_code_page_and_throws_on_what_it_cannot_hold)
{
    EXPECT_EQ("plain text", Lm::WideToAnsi(L"plain text"));
    EXPECT_EQ("", Lm::WideToAnsi(L""));
    // The system's code page, not the C runtime's locale (whose default "C" knows nothing above
    // 255): the euro sign is a character of code page 1252.
    if (GetACP() == 1252) {
        EXPECT_EQ("\x80 caf\xE9", Lm::WideToAnsi(L"\u20AC caf\u00E9"));
    }
    // Nothing is approximated: a character without a form of its own throws (a best-fit "A" for
    // an A with a ring below, "?" for Korean).
    for (const wchar_t* text : {L"Korean \uC81C\uAC70", L"\u1E00"}) {
        if (GetACP() == CP_UTF8)
            break;
        try {
            Lm::WideToAnsi(text);
            ADD_FAILURE() << "no exception";
        } catch (const Lm::System::CException& e) {
            EXPECT_EQ(L"Could not convert UTF-16 to ANSI.", e.Message());
            EXPECT_EQ("Lm::WideToAnsi", e.Function());
            EXPECT_EQ(L"String.AnsiWide.38", e.GetLocationCode());
        }
    }
}

TEST(NarrowText, url_text_escapes_what_a_url_cannot_carry_and_nothing_else)
{
    EXPECT_EQ("a b&c=%25?/~", Lm::EscapeUrlBytes("a b&c=%25?/~"));
    EXPECT_EQ("%00%09%1F%7F%80%FF", Lm::EscapeUrlBytes(std::string("\0\t\x1F\x7F\x80\xFF", 6)));
    // Cyrillic, CJK and a character outside the BMP as their UTF-8 bytes.
    EXPECT_EQ("%D0%9A%E6%B5%8B%F0%9F%98%80x", Lm::Utf16ToUrlUtf8(L"\u041A\u6D4B\U0001F600x"));
    EXPECT_EQ("", Lm::Utf16ToUrlUtf8(L""));
}
