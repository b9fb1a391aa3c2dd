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

} // namespace Win32
} // namespace System
} // namespace Lm
