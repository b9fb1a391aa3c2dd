#include "System/Net/ResourceStrings.h"

#include <cwctype>
#include <vector>

#include "System/Win32/Handle.h"

namespace Lm {
namespace System {
namespace Net {

namespace {

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(towlower(c));
    return text;
}

// A REG_SZ value of HKLM\<keyPath> in the 32-bit view; false on any error (missing key or value,
// another type). Probing only: a tester's override that cannot be read is no override.
bool ReadDebuggingString(const std::wstring& keyPath, const wchar_t* name, std::wstring& value)
{
    Win32::CRegKeyHandle key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, key.Receive()) !=
        ERROR_SUCCESS)
        return false;
    DWORD type = 0, size = 0;
    bool ok = RegQueryValueExW(key.Get(), name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
              (type == REG_SZ || type == REG_EXPAND_SZ);
    if (ok) {
        std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
        DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        ok = RegQueryValueExW(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &bytes) ==
             ERROR_SUCCESS;
        if (ok)
            value.assign(buffer.data());      // up to the first terminator
    }
    return ok;
}

} // namespace

CResourceStrings::CResourceStrings(const std::wstring& localeOption, const std::wstring& debuggingKeyPath)
{
    if (localeOption.empty())
        m_langId = ChooseUiLocale(GetLocaleNameOverride(GetUserLocaleName(), debuggingKeyPath), m_languageName,
                                  false, debuggingKeyPath);
    else
        m_langId = ChooseUiLocale(localeOption, m_languageName, true, debuggingKeyPath);
}

std::wstring CResourceStrings::LoadString(UINT id) const
{
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW((id >> 4) + 1), m_langId);
    if (found == nullptr)
        return std::wstring();
    HGLOBAL loaded = LoadResource(module, found);
    DWORD size = SizeofResource(module, found);
    const WORD* block = loaded ? static_cast<const WORD*>(LockResource(loaded)) : nullptr;
    if (block == nullptr)
        return std::wstring();
    // 16 entries of a length and that many UTF-16 units; every step stays inside the block.
    const WORD* end = block + size / sizeof(WORD);
    const WORD* entry = block;
    for (UINT i = 0; i < (id & 15); ++i) {
        if (entry >= end)
            return std::wstring();
        entry += 1 + *entry;
    }
    if (entry >= end || *entry > end - entry - 1)
        return std::wstring();
    return std::wstring(reinterpret_cast<const wchar_t*>(entry + 1), *entry);
}

std::wstring CResourceStrings::GetUserLocaleName()
{
    wchar_t buffer[259] = {};
    int n = GetGeoInfoW(GetUserGeoID(GEOCLASS_NATION), GEO_RFC1766, buffer, 259, GetUserDefaultUILanguage());
    if (n <= 0 || buffer[0] == L'\0')
        return L"en-us";
    buffer[258] = L'\0';
    return Lower(buffer);
}

std::wstring CResourceStrings::GetLocaleNameOverride(const std::wstring& name, const std::wstring& debuggingKeyPath)
{
    std::wstring value;
    if (ReadDebuggingString(debuggingKeyPath, kLocaleNameValue, value) && !value.empty())
        return value;
    return name;
}

std::wstring CResourceStrings::GetResourceLocaleOverride(const std::wstring& name,
                                                         const std::wstring& debuggingKeyPath)
{
    std::wstring value;
    if (!ReadDebuggingString(debuggingKeyPath, kResourceLocaleOverrideValue, value))
        value = name;
    return Lower(value);
}

LANGID CResourceStrings::ChooseUiLocale(const std::wstring& name, std::wstring& chosenName, bool strict,
                                        const std::wstring& debuggingKeyPath)
{
    std::wstring n = GetResourceLocaleOverride(name, debuggingKeyPath);
    struct Choice {
        LANGID id;
        const wchar_t* name;
    };
    auto choose = [&chosenName](Choice c) {
        chosenName = c.name;
        return c.id;
    };
    if (n == L"es-es")
        return choose({0x40A, L"es-es"});
    size_t dash = n.find(L'-');
    std::wstring language = n.substr(0, dash);
    std::wstring region = dash == std::wstring::npos ? std::wstring() : n.substr(dash + 1);
    if (language == L"de")
        return choose({0x407, L"de"});
    if (language == L"es")
        return choose({0xC0A, L"es"});
    if (region == L"es" && (language == L"ca" || language == L"eu" || language == L"gl"))
        return choose({0x40A, L"es-es"});
    if (language == L"fr")
        return choose({0x40C, L"fr"});
    if (language == L"it")
        return choose({0x410, L"it"});
    if (language == L"ko")
        return choose({0x412, L"ko"});
    if (language == L"pt")
        return choose({0x416, L"pt-br"});
    if (language == L"zh") {
        bool simplified;
        if (strict) {
            simplified = n == L"zh-cn";
        } else {
            int sub = GetUserDefaultUILanguage() >> 10;
            simplified = sub == 2 || sub == 4;
        }
        return simplified ? choose({0x804, L"zh-cn"}) : choose({0x404, L"zh"});
    }
    return choose({0x409, L"en-us"});
}

} // namespace Net
} // namespace System
} // namespace Lm
