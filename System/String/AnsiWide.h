// Conversions between the narrow forms (ANSI of the C runtime's locale, a code page, UTF-8) and
// UTF-16. Failures throw Lm::System::CException.
#pragma once

#include <windows.h>

#include <string>

namespace Lm {

// mbstowcs in the current locale (the default "C" locale maps each byte to the character of the
// same value). Throws "Could not convert ANSI to UTF-16." when the runtime rejects the text.
std::wstring AnsiToWide(const std::string& text);
std::wstring AnsiToWide(const char* text);

// WideCharToMultiByte into the code page; exactly the bytes written. Throws "Could not convert
// UTF-16 characters to CP." when a non-empty text cannot be converted.
std::string Utf16ToMBCS_CP(UINT codePage, const wchar_t* text, size_t length);
std::string Utf16ToMBCS_CP(UINT codePage, const std::wstring& text);

// Utf16ToMBCS_CP with CP_UTF8 (65001).
std::string Utf16ToUtf8(const std::wstring& text);

// The text in the system's ANSI code page (CP_ACP), through WideCharToMultiByte and never through
// the C runtime's locale. Nothing is replaced or approximated: throws "Could not convert UTF-16 to
// ANSI." when a character has no form of its own in that code page. A text that may hold any
// character (an option, a name) goes to UTF-8 instead.
std::string WideToAnsi(const std::wstring& text);

// A narrow text written into a URL: every byte outside printable ASCII (controls, blank excepted,
// and bytes of 0x80 and above, so UTF-8 sequences) as "%" and two upper-case hexadecimal digits;
// every other byte, '%', '&' and the blank among them, as it is.
std::string EscapeUrlBytes(const std::string& text);
// Utf16ToUtf8, then EscapeUrlBytes: a wide text as it goes into a URL.
std::string Utf16ToUrlUtf8(const std::wstring& text);

} // namespace Lm
