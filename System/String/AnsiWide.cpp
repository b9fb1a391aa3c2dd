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
    std::vector<char> buffer(4 * text.size() + 3, '\0');
    const size_t converted = wcstombs(buffer.data(), text.c_str(), buffer.size() - 1);
    if (converted == static_cast<size_t>(-1))
        System::ThrowException("Could not convert UTF-16 to ANSI.", "Lm\\System\\String\\AnsiWide.cpp", 38,
                               "Lm::WideToAnsi");
    return std::string(buffer.data(), converted);
}

} // namespace Lm
