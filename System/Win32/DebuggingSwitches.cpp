#include "System/Win32/DebuggingSwitches.h"

#include "System/Exception.h"
#include "System/Win32/RegistryKey.h"

namespace Lm {
namespace System {
namespace Win32 {

bool ReadDebuggingFlagFrom(const std::wstring& keyPath, const std::wstring& valueName)
{
    // A probe: the key's constructor throws when the key is missing and GetUint32 when the value
    // is not a REG_DWORD; either way the switch is simply off.
    try {
        CRegistryKey key(keyPath, true);
        return key.GetUint32(valueName, 0) != 0;
    } catch (const CException&) {
        return false;
    }
}

bool ReadDebuggingFlag(const std::wstring& valueName)
{
    return ReadDebuggingFlagFrom(kDebuggingKey, valueName);
}

bool IsTestEnvironmentEnabled()
{
    return ReadDebuggingFlag(kUseTestEnvironmentValue);
}

std::wstring ReadDebuggingStringFrom(const std::wstring& keyPath, const std::wstring& valueName)
{
    // A probe as above: a missing key throws in the constructor, a value that is not text in
    // GetString; the value is then simply not set.
    try {
        CRegistryKey key(keyPath, true);
        return key.GetString(valueName, std::wstring());
    } catch (const CException&) {
        return std::wstring();
    }
}

std::wstring ReadDebuggingString(const std::wstring& valueName)
{
    return ReadDebuggingStringFrom(kDebuggingKey, valueName);
}

DWORD ReadTestBoundMsFrom(const std::wstring& keyPath, const std::wstring& valueName, DWORD shippedMs)
{
    if (!ReadDebuggingFlagFrom(keyPath, kUseTestEnvironmentValue))
        return shippedMs;
    // A probe as above: a missing key or a value that is not a REG_DWORD keeps the shipped bound.
    try {
        CRegistryKey key(keyPath, true);
        const DWORD value = key.GetUint32(valueName, 0);
        return value != 0 && value < shippedMs ? value : shippedMs;
    } catch (const CException&) {
        return shippedMs;
    }
}

DWORD ReadTestBoundMs(const std::wstring& valueName, DWORD shippedMs)
{
    return ReadTestBoundMsFrom(kDebuggingKey, valueName, shippedMs);
}

} // namespace Win32
} // namespace System
} // namespace Lm
