#include "CommonAppLogic/UILanguage.h"

#include <windows.h>

#include "CommonAppLogic/RegionInfo.h"
#include "System/String/StringUtils.h"

namespace Lm {
namespace CommonAppLogic {

namespace {

const wchar_t* const kLanguageTags[kUILanguageCount] = {
    L"en-us", L"de", L"es", L"es-es", L"fr", L"it", L"ko", L"pt", L"zh-chs", L"zh-cht",
};

// The text before the n-th '-' (n = 1 or 2), or all of it when there are fewer.
std::wstring BeforeHyphen(const std::wstring& text, int n)
{
    size_t at = text.find(L'-');
    if (n == 2 && at != std::wstring::npos)
        at = text.find(L'-', at + 1);
    return at == std::wstring::npos ? text : text.substr(0, at);
}

// -1 when the candidate names none of the ten languages.
int IndexOfCandidate(const std::wstring& candidate, bool userInSpain)
{
    const std::wstring name = Lm::System::String::ToLower(candidate);
    const std::wstring primary = BeforeHyphen(name, 1);
    const std::wstring pair = BeforeHyphen(name, 2);
    if (primary == L"en") return 0;
    if (primary == L"de") return 1;
    if (primary == L"fr") return 4;
    if (primary == L"it") return 5;
    if (primary == L"ko") return 6;
    if (primary == L"pt") return 7;
    if (userInSpain && (primary == L"ca" || primary == L"gl" || primary == L"eu"))
        return 3;
    if (primary == L"es")
        return pair == L"es-es" ? 3 : 2;
    if (primary == L"zh") {
        for (const wchar_t* simplified : {L"zh-cn", L"zh-sg", L"zh-my", L"zh-hans", L"zh-chs"}) {
            if (pair == simplified)
                return 8;
        }
        return 9;
    }
    return -1;
}

} // namespace

std::vector<std::wstring> GetPreferredUILanguages()
{
    const DWORD flags = MUI_LANGUAGE_NAME | MUI_MERGE_SYSTEM_FALLBACK | MUI_MERGE_USER_FALLBACK;
    ULONG count = 0, size = 0;
    std::vector<std::wstring> names;
    if (GetThreadPreferredUILanguages(flags, &count, nullptr, &size) && size > 0) {
        std::vector<wchar_t> buffer(size + 2, L'\0');
        if (GetThreadPreferredUILanguages(flags, &count, buffer.data(), &size)) {
            for (const wchar_t* name = buffer.data(); *name; name += wcslen(name) + 1)
                names.push_back(name);
            return names;
        }
    }
    return {L"en-US", L"en"};
}

int GetUILanguageIndexFor(const std::vector<std::wstring>& candidates, const std::wstring& countryCode)
{
    const bool userInSpain = Lm::System::String::ToLower(countryCode) == L"es";
    for (const auto& candidate : candidates) {
        int index = IndexOfCandidate(candidate, userInSpain);
        if (index >= 0)
            return index;
    }
    return 0;
}

int GetUILanguageIndex(const std::wstring& languageTag)
{
    CRegionInfo region;
    std::vector<std::wstring> candidates;
    if (!languageTag.empty())
        candidates.push_back(languageTag);
    else
        candidates = GetPreferredUILanguages();
    return GetUILanguageIndexFor(candidates, region.GetCountryCode());
}

std::wstring GetLanguageTag(int index)
{
    if (index < 0 || index >= kUILanguageCount)
        return std::wstring();
    return kLanguageTags[index];
}

} // namespace CommonAppLogic
} // namespace Lm
