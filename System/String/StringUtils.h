// Text helpers shared by the library and the programs: splitting, trimming, case mapping,
// replace-all, printf-style formatting with the Microsoft C runtime's rules, GUID text and
// Win32 error text. Wide text is UTF-16. None of them keeps state.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdint>
#include <string>
#include <vector>

namespace Lm {
namespace System {
namespace String {

// Appends the non-empty tokens of text separated by any of the delimiter characters (runs of
// delimiters count as one); the vector is not cleared. Returns the vector's size after the call.
size_t SplitString(std::vector<std::wstring>& out, const std::wstring& text, const std::wstring& delimiters);
size_t SplitString(std::vector<std::string>& out, const std::string& text, const std::string& delimiters);

// Removes the characters of the set from both ends.
std::wstring TrimChars(const std::wstring& text, const std::wstring& characters);
std::string TrimChars(const std::string& text, const std::string& characters);
// TrimChars with blank, TAB, CR and LF.
std::wstring Trim(const std::wstring& text);
std::string Trim(const std::string& text);

// Each character mapped by towlower / towupper; the length never changes.
std::wstring ToLower(const std::wstring& text);
std::wstring ToUpper(const std::wstring& text);

// Replaces every occurrence of what by with, searching on after each inserted text. Returns the
// number of replacements, or -1 (text unchanged) when what is empty or equal to with.
int ReplaceAll(std::wstring& text, const std::wstring& what, const std::wstring& with);
int ReplaceAll(std::string& text, const std::string& what, const std::string& with);

// printf-style formatting with the Microsoft C runtime's wide conversions: "%s" is a wide string,
// "%S" a narrow one. The buffer grows until the whole text fits.
std::wstring FormatString(const wchar_t* format, ...);
std::wstring FormatStringV(const wchar_t* format, va_list args);

// Lower-case 8-4-4-4-12 text of a GUID, without braces (36 characters).
std::string GuidToString(const GUID& guid);
// Write 4 / 2 lower-case hexadecimal digits, most significant first (no terminator).
void WordToHex(uint16_t value, char* destination);
void ByteToHex(uint8_t value, char* destination);

// Narrow counterparts. Format: printf-style into a buffer of max(2 x format length, 1024) bytes
// that doubles until the text fits. ToLower: ASCII A-Z only. ByteToHex: two upper-case digits,
// high nibble first. EqualsNoCase: same length and equal after ASCII upper-casing.
std::string Format(const char* format, ...);
std::string ToLower(const std::string& text);
std::string ByteToHex(uint8_t value);
bool EqualsNoCase(const std::string& a, const std::string& b);

// The system's text for a Win32 error code, with its trailing line break, or
// "(No Error Description)\r\n". The thread's last error is left as it was.
std::string GetWin32ErrorTextA(DWORD code);
std::wstring GetWin32ErrorText(DWORD code);

} // namespace String
} // namespace System
} // namespace Lm
