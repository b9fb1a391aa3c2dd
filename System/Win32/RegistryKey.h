// A registry key opened or created from one text path whose first component names the root
// ("HKLM\Software\Larchmeadow", "HKEY_CURRENT_USER\..."), with string and 32-bit values and
// the list of its subkeys; static helpers delete values and key trees and test existence.
//
// extraAccess is ORed into every access mask: 0 for the process's own registry view (the 32-bit
// view for these programs), KEY_WOW64_64KEY for the 64-bit view.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "System/ReferenceCounted.h"
#include "System/Win32/Handle.h"

namespace Lm {
namespace System {
namespace Win32 {

class CRegistryKey : public CReferenceCounted {
public:
    // readOnly: the key must exist and is opened with KEY_READ; otherwise it is created, with its
    // missing parents, and opened with KEY_ALL_ACCESS. A root alone ("HKLM") holds the root itself.
    CRegistryKey(const std::wstring& path, bool readOnly, REGSAM extraAccess = 0);
    ~CRegistryKey() override;

    // The value's text (REG_SZ or REG_EXPAND_SZ, unexpanded), or defaultValue when it is missing.
    std::wstring GetString(const std::wstring& name, const std::wstring& defaultValue);
    // An empty name writes the key's default value. The terminating zero is stored.
    void SetString(const std::wstring& name, const std::wstring& value);
    void SetUint32(const std::wstring& name, DWORD value);
    // The REG_DWORD value, or defaultValue when it is missing; another type throws.
    DWORD GetUint32(const std::wstring& name, DWORD defaultValue);
    // The value exists (of any type).
    bool ValueExists(const std::wstring& name);
    // Appends the names of the subkeys; the vector is not cleared.
    void EnumerateSubKeyNames(std::vector<std::wstring>& names);

    const std::wstring& GetPath() const { return m_path; }
    HKEY GetKey() const { return m_key; }
    bool IsPredefined() const { return m_predefined; }

    // The root for "HKEY_LOCAL_MACHINE"/"HKLM", "HKEY_CURRENT_USER"/"HKCU", "HKEY_CLASSES_ROOT"/"HKCR",
    // "HKEY_CURRENT_CONFIG"/"HKCC", "HKEY_USERS"/"HKU", in any case; null for any other name.
    static HKEY GetPredefinedKey(const std::wstring& rootName);
    // Probes: never throw.
    static bool KeyExists(const std::wstring& path, REGSAM extraAccess = 0);
    // Clean-up: never throw, report nothing. DeleteValue creates a missing key (and deletes nothing).
    static void DeleteValue(const std::wstring& path, const std::wstring& valueName);
    // Deletes the key with everything below it, deepest first. extraAccess selects the view.
    static void DeleteKeyTree(const std::wstring& path, REGSAM extraAccess = 0);
    static void DeleteKeyRecursive(HKEY parent, const std::wstring& subkey, REGSAM extraAccess = 0);
    // Open the key read-only and read one REG_DWORD value (a missing key throws as the constructor).
    static DWORD ReadUint32(const std::wstring& path, const std::wstring& name, DWORD defaultValue);
    static bool ReadBool(const std::wstring& path, const std::wstring& name, bool defaultValue);

private:
    std::wstring m_path;
    bool m_predefined = false;
    HKEY m_key = nullptr;
    CRegKeyHandle m_ownedKey;   // the opened key; empty when the object holds a root
};

} // namespace Win32
} // namespace System
} // namespace Lm
