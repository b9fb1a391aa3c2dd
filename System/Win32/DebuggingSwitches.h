// Switches for testing a build in the field, read from the maker's Debugging key. Set by hand (or
// by a support tool) on a test machine; read by the Updater. A missing key or value is "off".
#pragma once

#include <string>

namespace Lm {
namespace System {
namespace Win32 {

// HKLM\SOFTWARE\Larchmeadow\Debugging (32-bit view).
constexpr const wchar_t* kDebuggingKey = L"HKLM\\SOFTWARE\\Larchmeadow\\Debugging";
// REG_DWORD, non-zero: the update check asks the test client-services endpoint.
constexpr const wchar_t* kUseTestEnvironmentValue = L"UseTestEnvironment";

// The REG_DWORD value of the Debugging key is non-zero. Never throws: a missing key, a missing
// value or a value of another type is false.
bool ReadDebuggingFlag(const std::wstring& valueName);
// The same for a key given by its path.
bool ReadDebuggingFlagFrom(const std::wstring& keyPath, const std::wstring& valueName);
bool IsTestEnvironmentEnabled();

// The text of a REG_SZ value of the Debugging key; empty when the key or the value is missing or
// the value is of another type. Never throws.
std::wstring ReadDebuggingString(const std::wstring& valueName);
std::wstring ReadDebuggingStringFrom(const std::wstring& keyPath, const std::wstring& valueName);

} // namespace Win32
} // namespace System
} // namespace Lm
