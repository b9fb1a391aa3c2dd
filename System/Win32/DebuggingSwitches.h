// Switches for testing a build in the field, read from the maker's Debugging key
// (DebuggingContract.h). A missing key or value is "off".
#pragma once

#include <windows.h>

#include <string>

#include "System/Win32/DebuggingContract.h"

namespace Lm {
namespace System {
namespace Win32 {

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

// A bound of the product, in milliseconds, that a test run may shorten so that a test sees the
// bound end a wait without waiting it out: the REG_DWORD value of the Debugging key when
// "UseTestEnvironment" is on and the value is non-zero and below the shipped bound; else the
// shipped bound. A test value never lengthens a bound. Never throws.
DWORD ReadTestBoundMs(const std::wstring& valueName, DWORD shippedMs);
DWORD ReadTestBoundMsFrom(const std::wstring& keyPath, const std::wstring& valueName, DWORD shippedMs);

} // namespace Win32
} // namespace System
} // namespace Lm
