// Registry helpers of the tests, on the plain Win32 calls (never on the code under test): write
// values of any type, read them back with their types in the order the key lists them, and keys
// that remove themselves. Paths start with the root's short or long name ("HKLM\Software\...").
// view: 0 for the test's own view (32-bit, as the programs), KEY_WOW64_64KEY for the 64-bit one.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"

namespace LmTest {

inline HKEY RegRootOf(const std::wstring& path, std::wstring& subkey)
{
    const size_t slash = path.find(L'\\');
    const std::wstring root = path.substr(0, slash);
    subkey = slash == std::wstring::npos ? std::wstring() : path.substr(slash + 1);
    if (_wcsicmp(root.c_str(), L"HKLM") == 0 || _wcsicmp(root.c_str(), L"HKEY_LOCAL_MACHINE") == 0)
        return HKEY_LOCAL_MACHINE;
    if (_wcsicmp(root.c_str(), L"HKCU") == 0 || _wcsicmp(root.c_str(), L"HKEY_CURRENT_USER") == 0)
        return HKEY_CURRENT_USER;
    if (_wcsicmp(root.c_str(), L"HKCR") == 0 || _wcsicmp(root.c_str(), L"HKEY_CLASSES_ROOT") == 0)
        return HKEY_CLASSES_ROOT;
    if (_wcsicmp(root.c_str(), L"HKU") == 0 || _wcsicmp(root.c_str(), L"HKEY_USERS") == 0)
        return HKEY_USERS;
    return nullptr;
}

// Creates the key (and its parents); null on failure. The caller closes it.
inline HKEY RegCreate(const std::wstring& path, REGSAM view = 0)
{
    std::wstring subkey;
    HKEY root = RegRootOf(path, subkey);
    HKEY key = nullptr;
    if (root == nullptr || RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                                           nullptr) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

inline HKEY RegOpenRead(const std::wstring& path, REGSAM view = 0)
{
    std::wstring subkey;
    HKEY root = RegRootOf(path, subkey);
    HKEY key = nullptr;
    if (root == nullptr || RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

inline bool RegSetRaw(const std::wstring& path, const std::wstring& name, DWORD type, const void* data, DWORD size,
                      REGSAM view = 0)
{
    HKEY key = RegCreate(path, view);
    if (key == nullptr)
        return false;
    const bool ok = RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

// REG_SZ by default; REG_EXPAND_SZ and REG_MULTI_SZ take the text as it is (plus its zero).
inline bool RegSetText(const std::wstring& path, const std::wstring& name, const std::wstring& value,
                       DWORD type = REG_SZ, REGSAM view = 0)
{
    return RegSetRaw(path, name, type, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)), view);
}

inline bool RegSetDword(const std::wstring& path, const std::wstring& name, DWORD value, REGSAM view = 0)
{
    return RegSetRaw(path, name, REG_DWORD, &value, sizeof(value), view);
}

struct RegValue {
    bool exists = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;

    // The text of a REG_SZ/REG_EXPAND_SZ value without its terminating zero.
    std::wstring Text() const
    {
        std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0')
            text.pop_back();
        return text;
    }
    DWORD Dword() const { return data.size() == sizeof(DWORD) ? *reinterpret_cast<const DWORD*>(data.data()) : 0; }
};

inline RegValue RegRead(const std::wstring& path, const std::wstring& name, REGSAM view = 0)
{
    RegValue value;
    HKEY key = RegOpenRead(path, view);
    if (key == nullptr)
        return value;
    DWORD size = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        value.data.resize(size);
        value.exists = RegQueryValueExW(key, name.c_str(), nullptr, &value.type, value.data.data(), &size) ==
                       ERROR_SUCCESS;
        value.data.resize(size);
    }
    RegCloseKey(key);
    return value;
}

// Every value of the key in the order the key lists them.
inline std::vector<std::pair<std::wstring, RegValue>> RegReadValues(const std::wstring& path, REGSAM view = 0)
{
    std::vector<std::pair<std::wstring, RegValue>> values;
    HKEY key = RegOpenRead(path, view);
    if (key == nullptr)
        return values;
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];
        DWORD nameLength = 16384;
        RegValue value;
        DWORD size = 0;
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS)
            break;
        value.data.resize(size);
        nameLength = 16384;
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &value.type, value.data.data(), &size) !=
            ERROR_SUCCESS)
            break;
        value.data.resize(size);
        value.exists = true;
        values.emplace_back(std::wstring(name, nameLength), value);
    }
    RegCloseKey(key);
    return values;
}

inline std::vector<std::wstring> RegSubKeyNames(const std::wstring& path, REGSAM view = 0)
{
    std::vector<std::wstring> names;
    HKEY key = RegOpenRead(path, view);
    if (key == nullptr)
        return names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    RegCloseKey(key);
    return names;
}

inline bool RegKeyExists(const std::wstring& path, REGSAM view = 0)
{
    HKEY key = RegOpenRead(path, view);
    if (key == nullptr)
        return false;
    RegCloseKey(key);
    return true;
}

inline void RegDeleteTreeAt(const std::wstring& path, REGSAM view = 0)
{
    const size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos)
        return;
    std::wstring parentSub;
    HKEY root = RegRootOf(path.substr(0, slash), parentSub);
    if (root == nullptr)
        return;
    HKEY parent = nullptr;
    if (RegOpenKeyExW(root, parentSub.c_str(), 0, KEY_ALL_ACCESS | view, &parent) != ERROR_SUCCESS)
        return;
    const std::wstring name = path.substr(slash + 1);
    RegDeleteTreeW(parent, name.c_str());
    RegDeleteKeyExW(parent, name.c_str(), view, 0);
    RegCloseKey(parent);
}

// Deletes one value; a missing key or value is fine.
inline void RegDeleteValueAt(const std::wstring& path, const std::wstring& name, REGSAM view = 0)
{
    std::wstring subkey;
    HKEY root = RegRootOf(path, subkey);
    HKEY key = nullptr;
    if (root == nullptr || RegOpenKeyExW(root, subkey.c_str(), 0, KEY_SET_VALUE | view, &key) != ERROR_SUCCESS)
        return;
    RegDeleteValueW(key, name.c_str());
    RegCloseKey(key);
}

// A key of a unique name below a parent, created now and removed with its tree when it goes.
class ScopedRegistryKey {
public:
    ScopedRegistryKey(const std::wstring& parent, const std::wstring& prefix, REGSAM view = 0)
        : path_(parent + L"\\" + UniqueName(prefix)), view_(view)
    {
        HKEY key = RegCreate(path_, view_);
        if (key != nullptr)
            RegCloseKey(key);
    }
    ~ScopedRegistryKey() { RegDeleteTreeAt(path_, view_); }
    ScopedRegistryKey(const ScopedRegistryKey&) = delete;
    ScopedRegistryKey& operator=(const ScopedRegistryKey&) = delete;
    const std::wstring& Path() const { return path_; }
    std::wstring Name() const { return path_.substr(path_.rfind(L'\\') + 1); }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
    REGSAM view_;
};

// One of the product's bounds shortened for a test through its Debugging value (the names are in
// System/Win32/DebuggingContract.h), removed again when the object goes. The value counts only
// while "UseTestEnvironment" is on: a test that sets one runs with the CTest fixture that turns it
// on (lm_tests_test_environment) and asserts Active() first, so that it never waits out the
// shipped bound.
class ScopedTestBound {
public:
    ScopedTestBound(const wchar_t* valueName, DWORD ms) : valueName_(valueName)
    {
        RegSetDword(kDebuggingKey, valueName_, ms);
    }
    ~ScopedTestBound() { RegDeleteValueAt(kDebuggingKey, valueName_); }
    ScopedTestBound(const ScopedTestBound&) = delete;
    ScopedTestBound& operator=(const ScopedTestBound&) = delete;
    static bool Active()
    {
        const RegValue on = RegRead(kDebuggingKey, L"UseTestEnvironment");
        return on.exists && on.type == REG_DWORD && on.Dword() != 0;
    }

private:
    static constexpr const wchar_t* kDebuggingKey = L"HKLM\\SOFTWARE\\Larchmeadow\\Debugging";
    std::wstring valueName_;
};

// Saves a key's tree (when it exists) and puts it back as it was when it goes: for the fixed
// machine-wide keys that a test must write (uninstall entries, COM registrations).
class RegistryKeySnapshot {
public:
    explicit RegistryKeySnapshot(const std::wstring& path, REGSAM view = 0) : path_(path), view_(view)
    {
        existed_ = RegKeyExists(path_, view_);
        if (existed_)
            Save(path_, tree_);
    }
    ~RegistryKeySnapshot()
    {
        RegDeleteTreeAt(path_, view_);
        if (existed_)
            Restore(path_, tree_);
    }
    RegistryKeySnapshot(const RegistryKeySnapshot&) = delete;
    RegistryKeySnapshot& operator=(const RegistryKeySnapshot&) = delete;
    const std::wstring& Path() const { return path_; }

private:
    struct Node {
        std::vector<std::pair<std::wstring, RegValue>> values;
        std::vector<std::pair<std::wstring, Node>> children;
    };
    void Save(const std::wstring& path, Node& node)
    {
        node.values = RegReadValues(path, view_);
        for (const std::wstring& name : RegSubKeyNames(path, view_)) {
            node.children.emplace_back(name, Node());
            Save(path + L"\\" + name, node.children.back().second);
        }
    }
    void Restore(const std::wstring& path, const Node& node)
    {
        HKEY key = RegCreate(path, view_);
        if (key != nullptr)
            RegCloseKey(key);
        for (const auto& value : node.values)
            RegSetRaw(path, value.first, value.second.type, value.second.data.data(),
                      static_cast<DWORD>(value.second.data.size()), view_);
        for (const auto& child : node.children)
            Restore(path + L"\\" + child.first, child.second);
    }

    std::wstring path_;
    REGSAM view_;
    bool existed_ = false;
    Node tree_;
};

} // namespace LmTest
