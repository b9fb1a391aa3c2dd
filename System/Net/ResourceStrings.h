// The Updater's user-interface language, chosen once at start-up, and its texts, loaded from the
// program's own string table (RT_STRING, Updater/UpdaterStrings.rc) in that language.
#pragma once

#include <windows.h>

#include <string>

#include "System/ReferenceCounted.h"
#include "System/Win32/DebuggingContract.h"

namespace Lm {
namespace System {
namespace Net {

// A tester's overrides of the choice sit in the maker's Debugging key (DebuggingContract.h):
// "LocaleName" replaces the user's locale name, "ResourceLocaleOverride" every choice.
constexpr const wchar_t* kDebuggingKeyPath = Win32::kDebuggingSubKey;
using Win32::kLocaleNameValue;
using Win32::kResourceLocaleOverrideValue;

class CResourceStrings : public CReferenceCounted {
public:
    // localeOption: the text of the command line's "/locale=". Empty: the user's locale (or the
    // "LocaleName" override) decides, Chinese by the UI language; else the option decides.
    // debuggingKeyPath: the key under HKLM with the overrides (tests give a key of their own).
    explicit CResourceStrings(const std::wstring& localeOption,
                              const std::wstring& debuggingKeyPath = kDebuggingKeyPath);

    LANGID GetLangId() const { return m_langId; }
    const std::wstring& GetLanguageName() const { return m_languageName; }

    // The text of id in the chosen language from this program's string table; empty when the
    // table has no such block or entry (no fallback to another language).
    std::wstring LoadString(UINT id) const;

    // lower-cased GEO_RFC1766 name of the user's nation, "en-us" when there is none.
    static std::wstring GetUserLocaleName();
    // name, replaced by a non-empty "LocaleName" value of the debugging key.
    static std::wstring GetLocaleNameOverride(const std::wstring& name,
                                              const std::wstring& debuggingKeyPath = kDebuggingKeyPath);
    // The "ResourceLocaleOverride" value (name when there is none), lower-cased.
    static std::wstring GetResourceLocaleOverride(const std::wstring& name,
                                                  const std::wstring& debuggingKeyPath = kDebuggingKeyPath);
    // One of the ten languages of the string table for a locale name; chosenName receives its name.
    static LANGID ChooseUiLocale(const std::wstring& name, std::wstring& chosenName, bool strict,
                                 const std::wstring& debuggingKeyPath = kDebuggingKeyPath);

private:
    LANGID m_langId = 0x409;
    std::wstring m_languageName;
};

} // namespace Net
} // namespace System
} // namespace Lm
