// The UI language index that every message table of the suite is indexed by:
// 0 English, 1 German, 2 Spanish, 3 Spanish of Spain, 4 French, 5 Italian, 6 Korean,
// 7 Portuguese, 8 Chinese (Simplified), 9 Chinese (Traditional).
#pragma once

#include <string>
#include <vector>

namespace Lm {
namespace CommonAppLogic {

const int kUILanguageCount = 10;

// The index for an explicit language tag, or (tag empty) for the user's preferred UI languages;
// 0 when nothing matches.
int GetUILanguageIndex(const std::wstring& languageTag);

// The first of the candidate language names that names one of the ten languages, or 0.
// Catalan, Galician and Basque count as Spanish of Spain for a user in Spain.
int GetUILanguageIndexFor(const std::vector<std::wstring>& candidates, const std::wstring& countryCode);

// "en-us", "de", "es", "es-es", "fr", "it", "ko", "pt", "zh-chs", "zh-cht"; empty outside 0-9.
std::wstring GetLanguageTag(int index);

// The user's preferred UI language names with the system's fallbacks, most preferred first;
// "en-US", "en" when the system cannot say.
std::vector<std::wstring> GetPreferredUILanguages();

} // namespace CommonAppLogic
} // namespace Lm
