// The maker's Debugging key: switches and overrides for testing a build on a test machine, in the
// 32-bit registry view. Written by testers by hand (or by a support tool, and by the tests'
// fixtures); read by the Updater through the library (DebuggingSwitches.h, CResourceStrings).
// A missing key or value means "off" / "no override".
#pragma once

namespace Lm {
namespace System {
namespace Win32 {

// HKLM\SOFTWARE\Larchmeadow\Debugging: below HKLM, and as the whole path that CRegistryKey takes.
#define LM_DEBUGGING_SUBKEY L"SOFTWARE\\Larchmeadow\\Debugging"
constexpr const wchar_t* kDebuggingSubKey = LM_DEBUGGING_SUBKEY;
constexpr const wchar_t* kDebuggingKey = L"HKLM\\" LM_DEBUGGING_SUBKEY;
#undef LM_DEBUGGING_SUBKEY

// REG_DWORD, non-zero: the update check asks the test client-services endpoint.
constexpr const wchar_t* kUseTestEnvironmentValue = L"UseTestEnvironment";
// REG_SZ: replaces the user's locale name in the Updater's choice of language.
constexpr const wchar_t* kLocaleNameValue = L"LocaleName";
// REG_SZ: replaces every choice of the Updater's language.
constexpr const wchar_t* kResourceLocaleOverrideValue = L"ResourceLocaleOverride";

// REG_DWORD, milliseconds, read only while "UseTestEnvironment" is on (ReadTestBoundMs): a test
// build's run shortens one of the product's bounds with it, never lengthens it. Each value names
// the bound it replaces; a missing value keeps the shipped bound.
// The package download's stall bound (kDownloadStallBoundMs, 30000: no progress for this long
// fails the download; its WinINet send and receive time-outs follow it down).
constexpr const wchar_t* kDownloadStallBoundValue = L"DownloadStallBoundMs";

} // namespace Win32
} // namespace System
} // namespace Lm
