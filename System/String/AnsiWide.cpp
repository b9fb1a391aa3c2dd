#include "System/String/AnsiWide.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "System/Exception.h"

namespace Lm {

std::wstring AnsiToWide(const char* text)
{
    const size_t bytes = strlen(text);
    std::vector<wchar_t> buffer(2 * bytes + 1, L'\0');
    const size_t converted = mbstowcs(buffer.data(), text, buffer.size());
    if (converted == static_cast<size_t>(-1))
        System::ThrowException("Could not convert ANSI to UTF-16.", "Lm\\System\\String\\AnsiWide.cpp", 22,
                               "Lm::AnsiToWide");
    return std::wstring(buffer.data(), converted);
}

std::wstring AnsiToWide(const std::string& text)
{
    return AnsiToWide(text.c_str());
}

std::string Utf16ToMBCS_CP(UINT codePage, const wchar_t* text, size_t length)
{
    if (length == 0)
        return std::string();
    // Four bytes per UTF-16 unit cover every code page, UTF-8 included (a surrogate pair of two
    // units becomes four bytes).
    std::vector<char> buffer(4 * length + 3, '\0');
    const int written = ::WideCharToMultiByte(codePage, 0, text, static_cast<int>(length), buffer.data(),
                                              static_cast<int>(4 * length + 2), nullptr, nullptr);
    if (written == 0)
        System::ThrowException("Could not convert UTF-16 characters to CP.", "Lm\\System\\String\\AnsiWide.cpp", 81,
                               "Lm::Utf16ToMBCS_CP");
    return std::string(buffer.data(), static_cast<size_t>(written));
}

std::string Utf16ToMBCS_CP(UINT codePage, const std::wstring& text)
{
    return Utf16ToMBCS_CP(codePage, text.c_str(), text.size());
}

std::string Utf16ToUtf8(const std::wstring& text)
{
    return Utf16ToMBCS_CP(CP_UTF8, text);
}

std::string WideToAnsi(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const UINT codePage = ::GetACP();
    // A UTF-8 system code page holds every character and takes neither flag nor default test.
    const bool strict = codePage != CP_UTF8;
    BOOL replaced = FALSE;
    std::vector<char> buffer(4 * text.size() + 3, '\0');
    const int written = ::WideCharToMultiByte(codePage, strict ? WC_NO_BEST_FIT_CHARS : 0, text.data(),
                                              static_cast<int>(text.size()), buffer.data(),
                                              static_cast<int>(buffer.size() - 1), nullptr,
                                              strict ? &replaced : nullptr);
    if (written == 0 || replaced)
        System::ThrowException("Could not convert UTF-16 to ANSI.", "Lm\\System\\String\\AnsiWide.cpp", 38,
                               "Lm::WideToAnsi");
    return std::string(buffer.data(), static_cast<size_t>(written));
}

std::string EscapeUrlBytes(const std::string& text)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(kDigits[byte >> 4]);
            out.push_back(kDigits[byte & 0x0F]);
        }
    }
    return out;
}

std::string Utf16ToUrlUtf8(const std::wstring& text)
{
    return EscapeUrlBytes(Utf16ToUtf8(text));
}

} // namespace Lm
