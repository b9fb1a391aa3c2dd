#include "System/Win32/RegistryKey.h"

#include <cwchar>

#include "System/Exception.h"

namespace Lm {
namespace System {
namespace Win32 {

namespace {

const char kSource[] = "Lm\\System\\Win32\\RegistryKey.cpp";
const char kConstructor[] = "Lm::System::Win32::CRegistryKey::CRegistryKey";

// Splits "ROOT\sub\key" at its first backslash; hasSubkey is false for a root alone.
void SplitPath(const std::wstring& path, std::wstring& rootName, std::wstring& subkey, bool& hasSubkey)
{
    const size_t separator = path.find(L'\\');
    hasSubkey = separator != std::wstring::npos;
    rootName = hasSubkey ? path.substr(0, separator) : path;
    subkey = hasSubkey ? path.substr(separator + 1) : std::wstring();
}

// The registry calls return their error instead of setting it: the exception records that code
// as its LastError, so the text it formats names the real failure.
[[noreturn]] void ThrowRegistryFailure(LONG result, const std::wstring& message, int line, const char* function)
{
    ::SetLastError(static_cast<DWORD>(result));
    ThrowException(message, kSource, line, function);
}

// Rejected delete of a key with subkeys aside, the one deletion call of the view.
LONG DeleteSingleKey(HKEY parent, const std::wstring& subkey, REGSAM extraAccess)
{
    if (extraAccess & (KEY_WOW64_64KEY | KEY_WOW64_32KEY))
        return ::RegDeleteKeyExW(parent, subkey.c_str(), extraAccess & (KEY_WOW64_64KEY | KEY_WOW64_32KEY), 0);
    return ::RegDeleteKeyW(parent, subkey.c_str());
}

} // namespace

CRegistryKey::CRegistryKey(const std::wstring& path, bool readOnly, REGSAM extraAccess) : m_path(path)
{
    std::wstring rootName, subkey;
    bool hasSubkey;
    SplitPath(path, rootName, subkey, hasSubkey);
    HKEY root = GetPredefinedKey(rootName);
    if (root == nullptr)
        ThrowException(L"Base key in '" + path + L"'is not a predefined key.", kSource, 45, kConstructor);
    if (!hasSubkey) {
        m_predefined = true;
        m_key = root;
        return;
    }
    if (readOnly) {
        const LONG result = ::RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ | extraAccess, m_ownedKey.Receive());
        if (result != ERROR_SUCCESS)
            ThrowRegistryFailure(result, L"RegOpenKeyExW failure opening registry key '" + path + L"'.", 62,
                                 kConstructor);
    } else {
        const LONG result = ::RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                              KEY_ALL_ACCESS | extraAccess, nullptr, m_ownedKey.Receive(), nullptr);
        if (result != ERROR_SUCCESS)
            ThrowRegistryFailure(result, L"RegCreateKeyEx failure creating registry key '" + path + L"'.", 71,
                                 kConstructor);
    }
    m_key = m_ownedKey.Get();
}

// The owned key closes itself; a root is never closed.
CRegistryKey::~CRegistryKey() = default;

DWORD CRegistryKey::GetUint32(const std::wstring& name, DWORD defaultValue)
{
    const char* function = "Lm::System::Win32::CRegistryKey::GetUint32";
    const std::wstring valuePath = m_path + L"\\" + name;
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    const LONG result = ::RegQueryValueExW(m_key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    if (result == ERROR_FILE_NOT_FOUND || result == ERROR_KEY_DELETED)
        return defaultValue;
    if (result != ERROR_SUCCESS)
        ThrowRegistryFailure(result, L"RegQueryValueEx failure reading registry value '" + valuePath + L"'.", 323,
                             function);
    if (type != REG_DWORD)
        ThrowException(L"Unexpected type for registry value '" + valuePath + L"'. REG_DWORD expected.", kSource, 331,
                       function);
    return value;
}

bool CRegistryKey::ValueExists(const std::wstring& name)
{
    return ::RegQueryValueExW(m_key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

DWORD CRegistryKey::ReadUint32(const std::wstring& path, const std::wstring& name, DWORD defaultValue)
{
    CRegistryKey key(path, true);
    return key.GetUint32(name, defaultValue);
}

bool CRegistryKey::ReadBool(const std::wstring& path, const std::wstring& name, bool defaultValue)
{
    return ReadUint32(path, name, defaultValue ? 1 : 0) != 0;
}

std::wstring CRegistryKey::GetString(const std::wstring& name, const std::wstring& defaultValue)
{
    const char* function = "Lm::System::Win32::CRegistryKey::GetString";
    const std::wstring valuePath = m_path + L"\\" + name;
    const std::wstring readFailure = L"RegQueryValueEx failure reading registry value '" + valuePath + L"'.";
    const std::wstring typeFailure =
        L"Unexpected type for registry value '" + valuePath + L"'. REG_SZ or REG_EXPAND_SZ expected.";

    DWORD type = 0;
    DWORD size = 0;
    LONG result = ::RegQueryValueExW(m_key, name.c_str(), nullptr, &type, nullptr, &size);
    if (result == ERROR_FILE_NOT_FOUND || result == ERROR_KEY_DELETED)
        return defaultValue;
    // The value may grow between the two queries: ask again for its new size a few times.
    for (int attempt = 0;; ++attempt) {
        if (result != ERROR_SUCCESS)
            ThrowRegistryFailure(result, readFailure, 269, function);
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            ThrowException(typeFailure, kSource, 277, function);
        if (size == 0)
            return std::wstring();
        // Rounded up to whole characters and zero-filled: data of an odd size, or without a
        // terminating zero, never reads past what the system wrote.
        std::wstring buffer((size + 1) / 2, L'\0');
        DWORD dataSize = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        result = ::RegQueryValueExW(m_key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&buffer[0]),
                                    &dataSize);
        if (result == ERROR_MORE_DATA && attempt < 3) {
            size = dataSize;
            result = ERROR_SUCCESS;
            continue;
        }
        if (result != ERROR_SUCCESS)
            ThrowRegistryFailure(result, readFailure, 269, function);
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            ThrowException(typeFailure, kSource, 277, function);
        buffer.resize((dataSize + 1) / 2);
        if (!buffer.empty() && buffer[buffer.size() - 1] == L'\0')
            buffer.pop_back();
        return buffer;
    }
}

void CRegistryKey::SetString(const std::wstring& name, const std::wstring& value)
{
    const LONG result = ::RegSetValueExW(m_key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                         static_cast<DWORD>(2 * value.size() + 2));
    if (result != ERROR_SUCCESS)
        ThrowRegistryFailure(result, L"RegSetValueEx failure writing registry value '" + m_path + L"\\" + name + L"'.",
                             301, "Lm::System::Win32::CRegistryKey::SetString");
}

void CRegistryKey::SetUint32(const std::wstring& name, DWORD value)
{
    const LONG result =
        ::RegSetValueExW(m_key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    if (result != ERROR_SUCCESS)
        ThrowRegistryFailure(result, L"RegSetValueEx failure writing registry value '" + m_path + L"\\" + name + L"'.",
                             348, "Lm::System::Win32::CRegistryKey::SetUint32");
}

void CRegistryKey::EnumerateSubKeyNames(std::vector<std::wstring>& names)
{
    const char* function = "Lm::System::Win32::CRegistryKey::EnumerateSubKeyNames";
    DWORD count = 0;
    DWORD longest = 0;
    LONG result = ::RegQueryInfoKeyW(m_key, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr,
                                     nullptr, nullptr, nullptr);
    if (result != ERROR_SUCCESS)
        ThrowRegistryFailure(result, L"RegQueryInfoKeyW failure reading registry key info '" + m_path + L"'.", 413,
                             function);
    std::wstring buffer(longest + 1, L'\0');
    for (DWORD index = 0; index < count; ++index) {
        DWORD size = longest + 1;
        result = ::RegEnumKeyExW(m_key, index, &buffer[0], &size, nullptr, nullptr, nullptr, nullptr);
        if (result != ERROR_SUCCESS)
            ThrowRegistryFailure(result, L"RegEnumKeyExW failure reading registry names '" + m_path + L"'.", 427,
                                 function);
        names.push_back(buffer.substr(0, size));
    }
}

HKEY CRegistryKey::GetPredefinedKey(const std::wstring& rootName)
{
    struct Root {
        const wchar_t* longName;
        const wchar_t* shortName;
        HKEY key;
    };
    static const Root roots[] = {
        {L"HKEY_LOCAL_MACHINE", L"HKLM", HKEY_LOCAL_MACHINE},
        {L"HKEY_CURRENT_USER", L"HKCU", HKEY_CURRENT_USER},
        {L"HKEY_CLASSES_ROOT", L"HKCR", HKEY_CLASSES_ROOT},
        {L"HKEY_CURRENT_CONFIG", L"HKCC", HKEY_CURRENT_CONFIG},
        {L"HKEY_USERS", L"HKU", HKEY_USERS},
    };
    for (const Root& root : roots) {
        if (_wcsicmp(rootName.c_str(), root.longName) == 0 || _wcsicmp(rootName.c_str(), root.shortName) == 0)
            return root.key;
    }
    return nullptr;
}

bool CRegistryKey::KeyExists(const std::wstring& path, REGSAM extraAccess)
{
    std::wstring rootName, subkey;
    bool hasSubkey;
    SplitPath(path, rootName, subkey, hasSubkey);
    HKEY root = GetPredefinedKey(rootName);
    if (root == nullptr)
        return false;
    if (!hasSubkey)
        return true;
    CRegKeyHandle key;
    return ::RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ | extraAccess, key.Receive()) == ERROR_SUCCESS;
}

void CRegistryKey::DeleteValue(const std::wstring& path, const std::wstring& valueName)
{
    std::wstring rootName, subkey;
    bool hasSubkey;
    SplitPath(path, rootName, subkey, hasSubkey);
    HKEY root = GetPredefinedKey(rootName);
    if (root == nullptr)
        return;
    if (!hasSubkey) {
        ::RegDeleteValueW(root, valueName.c_str());
        return;
    }
    // Opened by creation, as the callers have always relied on: a missing key is created.
    CRegKeyHandle key;
    if (::RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                          key.Receive(), nullptr) == ERROR_SUCCESS)
        ::RegDeleteValueW(key.Get(), valueName.c_str());
}

void CRegistryKey::DeleteKeyTree(const std::wstring& path, REGSAM extraAccess)
{
    std::wstring rootName, subkey;
    bool hasSubkey;
    SplitPath(path, rootName, subkey, hasSubkey);
    HKEY root = GetPredefinedKey(rootName);
    if (root == nullptr || !hasSubkey)
        return;
    DeleteKeyRecursive(root, subkey, extraAccess);
}

void CRegistryKey::DeleteKeyRecursive(HKEY parent, const std::wstring& subkey, REGSAM extraAccess)
{
    if (DeleteSingleKey(parent, subkey, extraAccess) == ERROR_SUCCESS)
        return;
    CRegKeyHandle key;
    if (::RegOpenKeyExW(parent, subkey.c_str(), 0, KEY_READ | extraAccess, key.Receive()) != ERROR_SUCCESS)
        return;
    const std::wstring prefix =
        !subkey.empty() && subkey[subkey.size() - 1] == L'\\' ? subkey : subkey + L"\\";

    // Children are taken from the front while they go away. A child that survives its deletion
    // is stepped over, and an enumeration that keeps failing is given up after a few tries, so
    // the loop always ends.
    DWORD index = 0;
    int failures = 0;
    for (;;) {
        wchar_t name[2000];
        DWORD size = 2000;
        const LONG result = ::RegEnumKeyExW(key.Get(), index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result != ERROR_SUCCESS) {
            if (++failures >= 3)
                break;
            continue;
        }
        const std::wstring child = prefix + std::wstring(name, size);
        DeleteKeyRecursive(parent, child, extraAccess);
        CRegKeyHandle survivor;
        if (::RegOpenKeyExW(parent, child.c_str(), 0, KEY_READ | extraAccess, survivor.Receive()) == ERROR_SUCCESS)
            ++index;
    }
    key.Close();
    DeleteSingleKey(parent, subkey, extraAccess);
}

} // namespace Win32
} // namespace System
} // namespace Lm
