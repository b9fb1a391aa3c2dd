#include "System/String/StringUtils.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <cwctype>

#include "System/String/AnsiWide.h"

namespace Lm {
namespace System {
namespace String {

namespace {

// Membership test for a set of characters: a 256-entry table when every character of the set is
// below 256, a scan of the set otherwise.
template <typename Char>
class CCharacterSet {
public:
    explicit CCharacterSet(const std::basic_string<Char>& set) : m_set(set)
    {
        for (Char c : set) {
            const auto code = static_cast<typename std::make_unsigned<Char>::type>(c);
            if (code >= 256) {
                m_useTable = false;
                return;
            }
            m_table[code] = true;
        }
    }

    bool Contains(Char c) const
    {
        const auto code = static_cast<typename std::make_unsigned<Char>::type>(c);
        if (m_useTable)
            return code < 256 && m_table[code];
        return m_set.find(c) != std::basic_string<Char>::npos;
    }

private:
    const std::basic_string<Char>& m_set;
    bool m_useTable = true;
    bool m_table[256] = {};
};

template <typename Char>
size_t SplitStringT(std::vector<std::basic_string<Char>>& out, const std::basic_string<Char>& text,
                    const std::basic_string<Char>& delimiters)
{
    const CCharacterSet<Char> set(delimiters);
    size_t position = 0;
    const size_t length = text.size();
    for (;;) {
        while (position < length && set.Contains(text[position]))
            ++position;
        if (position >= length)
            break;
        size_t end = position;
        while (end < length && !set.Contains(text[end]))
            ++end;
        out.push_back(text.substr(position, end - position));
        position = end;
    }
    return out.size();
}

template <typename Char>
std::basic_string<Char> TrimCharsT(const std::basic_string<Char>& text, const std::basic_string<Char>& characters)
{
    const CCharacterSet<Char> set(characters);
    size_t first = 0;
    size_t last = text.size();
    while (first < last && set.Contains(text[first]))
        ++first;
    while (last > first && set.Contains(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

template <typename Char>
int ReplaceAllT(std::basic_string<Char>& text, const std::basic_string<Char>& what, const std::basic_string<Char>& with)
{
    if (what.empty() || what == with)
        return -1;
    int count = 0;
    size_t position = text.find(what, 0);
    while (position != std::basic_string<Char>::npos) {
        text.replace(position, what.size(), with);
        ++count;
        position = text.find(what, position + with.size());
    }
    return count;
}

const char kHexDigits[] = "0123456789abcdef";

} // namespace

size_t SplitString(std::vector<std::wstring>& out, const std::wstring& text, const std::wstring& delimiters)
{
    return SplitStringT(out, text, delimiters);
}

size_t SplitString(std::vector<std::string>& out, const std::string& text, const std::string& delimiters)
{
    return SplitStringT(out, text, delimiters);
}

std::wstring TrimChars(const std::wstring& text, const std::wstring& characters)
{
    return TrimCharsT(text, characters);
}

std::string TrimChars(const std::string& text, const std::string& characters)
{
    return TrimCharsT(text, characters);
}

std::wstring Trim(const std::wstring& text)
{
    return TrimCharsT(text, std::wstring(L" \t\r\n"));
}

std::string Trim(const std::string& text)
{
    return TrimCharsT(text, std::string(" \t\r\n"));
}

std::wstring ToLower(const std::wstring& text)
{
    std::wstring result(text);
    for (wchar_t& c : result)
        c = static_cast<wchar_t>(towlower(c));
    return result;
}

std::wstring ToUpper(const std::wstring& text)
{
    std::wstring result(text);
    for (wchar_t& c : result)
        c = static_cast<wchar_t>(towupper(c));
    return result;
}

int ReplaceAll(std::wstring& text, const std::wstring& what, const std::wstring& with)
{
    return ReplaceAllT(text, what, with);
}

int ReplaceAll(std::string& text, const std::string& what, const std::string& with)
{
    return ReplaceAllT(text, what, with);
}

std::wstring FormatString(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    std::wstring result = FormatStringV(format, args);
    va_end(args);
    return result;
}

std::wstring FormatStringV(const wchar_t* format, va_list args)
{
    // The C runtime's counted formatter reports -1 when the text does not fit. Each try formats
    // from a fresh copy of the argument list (a used va_list cannot be read again), and the buffer
    // grows only while the text is too long for it: _vscwprintf tells the length needed, so a
    // format the runtime cannot render at all (it reports -1 there too) does not grow forever.
    size_t size = std::max<size_t>(1024, 2 * wcslen(format));
    for (;;) {
        std::wstring buffer(size, L'\0');
        va_list copy;
        va_copy(copy, args);
        const int written = _vsnwprintf(&buffer[0], size - 1, format, copy);
        va_end(copy);
        if (written >= 0) {
            buffer.resize(static_cast<size_t>(written));
            return buffer;
        }
        va_copy(copy, args);
        const int needed = _vscwprintf(format, copy);
        va_end(copy);
        if (needed < 0 || static_cast<size_t>(needed) < size - 1) {
            // Not a matter of room: keep what the formatter produced.
            buffer.resize(wcslen(buffer.c_str()));
            return buffer;
        }
        size = std::max(size * 2, static_cast<size_t>(needed) + 2);
    }
}

void WordToHex(uint16_t value, char* destination)
{
    destination[0] = kHexDigits[(value >> 12) & 0xF];
    destination[1] = kHexDigits[(value >> 8) & 0xF];
    destination[2] = kHexDigits[(value >> 4) & 0xF];
    destination[3] = kHexDigits[value & 0xF];
}

void ByteToHex(uint8_t value, char* destination)
{
    destination[0] = kHexDigits[(value >> 4) & 0xF];
    destination[1] = kHexDigits[value & 0xF];
}

std::string GuidToString(const GUID& guid)
{
    char text[36];
    WordToHex(static_cast<uint16_t>(guid.Data1 >> 16), text);
    WordToHex(static_cast<uint16_t>(guid.Data1 & 0xFFFF), text + 4);
    text[8] = '-';
    WordToHex(guid.Data2, text + 9);
    text[13] = '-';
    WordToHex(guid.Data3, text + 14);
    text[18] = '-';
    ByteToHex(guid.Data4[0], text + 19);
    ByteToHex(guid.Data4[1], text + 21);
    text[23] = '-';
    for (int i = 0; i < 6; ++i)
        ByteToHex(guid.Data4[2 + i], text + 24 + 2 * i);
    return std::string(text, sizeof(text));
}

std::string GetWin32ErrorTextA(DWORD code)
{
    // FormatMessageA sets an error of its own when it has no text for the code; callers build
    // exceptions right after this call, and those must record the failure's code, not that one.
    const DWORD lastError = ::GetLastError();
    char buffer[1024] = {};
    const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                          MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer,
                                          static_cast<DWORD>(sizeof(buffer)), nullptr);
    std::string text = length == 0 ? std::string("(No Error Description)\r\n") : std::string(buffer);
    ::SetLastError(lastError);
    return text;
}

std::wstring GetWin32ErrorText(DWORD code)
{
    const DWORD lastError = ::GetLastError();
    std::wstring text = Lm::AnsiToWide(GetWin32ErrorTextA(code));
    ::SetLastError(lastError);
    return text;
}

std::string Format(const char* format, ...)
{
    // As FormatStringV, with the narrow counted formatter: -1 means the text did not fit.
    size_t size = std::max<size_t>(1024, 2 * strlen(format));
    for (;;) {
        std::string buffer(size, '\0');
        va_list args;
        va_start(args, format);
        const int written = _vsnprintf(&buffer[0], size - 1, format, args);
        va_end(args);
        if (written >= 0) {
            buffer.resize(static_cast<size_t>(written));
            return buffer;
        }
        va_start(args, format);
        const int needed = _vscprintf(format, args);
        va_end(args);
        if (needed < 0 || static_cast<size_t>(needed) < size - 1) {
            // Not a matter of room: keep what the formatter produced.
            buffer.resize(strlen(buffer.c_str()));
            return buffer;
        }
        size *= 2;
    }
}

std::string ToLower(const std::string& text)
{
    std::string result = text;
    for (char& c : result)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return result;
}

std::string ByteToHex(uint8_t value)
{
    static const char kDigits[] = "0123456789ABCDEF";
    return std::string{kDigits[value >> 4], kDigits[value & 0x0F]};
}

bool EqualsNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const char x = (a[i] >= 'a' && a[i] <= 'z') ? static_cast<char>(a[i] - 'a' + 'A') : a[i];
        const char y = (b[i] >= 'a' && b[i] <= 'z') ? static_cast<char>(b[i] - 'a' + 'A') : b[i];
        if (x != y)
            return false;
    }
    return true;
}

} // namespace String
} // namespace System
} // namespace Lm
