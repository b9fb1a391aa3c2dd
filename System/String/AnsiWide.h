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

// wcstombs in the current locale into a buffer of 4 x length + 3 bytes. Throws "Could not convert
// UTF-16 to ANSI." when the runtime rejects the text (in the default "C" locale: any character
// above 255).
std::string WideToAnsi(const std::wstring& text);

} // namespace Lm
