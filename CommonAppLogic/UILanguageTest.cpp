#include "CommonAppLogic/UILanguage.h"
#include "CommonAppLogic/RegionInfo.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <cwctype>

namespace Lm {
namespace CommonAppLogic {
namespace {

TEST(UILanguageTest, maps_language_tags_to_their_index)
{
    struct Case { const wchar_t* tag; int index; };
    const Case cases[] = {
        {L"en-US", 0}, {L"en-GB", 0}, {L"EN", 0}, {L"de", 1}, {L"de-AT", 1}, {L"es", 2}, {L"es-MX", 2},
        {L"es-419", 2}, {L"es-ES", 3}, {L"ES-es-tradnl", 3}, {L"fr-CA", 4}, {L"it-IT", 5}, {L"ko-KR", 6},
        {L"pt-BR", 7}, {L"pt-PT", 7}, {L"zh-CN", 8}, {L"zh-SG", 8}, {L"zh-MY", 8}, {L"zh-Hans", 8},
        {L"zh-Hans-HK", 8}, {L"zh-CHS", 8}, {L"zh-TW", 9}, {L"zh-HK", 9}, {L"zh-Hant", 9}, {L"zh", 9},
        {L"ja-JP", 0}, {L"nl-NL", 0}, {L"english", 0}, {L"", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.index, GetUILanguageIndexFor({c.tag}, L"US")) << c.tag;
}

TEST(UILanguageTest, regional_languages_of_spain_count_as_spanish_of_spain_only_in_spain)
{
    for (const wchar_t* tag : {L"ca-ES", L"gl-ES", L"eu-ES", L"ca"}) {
        EXPECT_EQ(3, GetUILanguageIndexFor({tag}, L"ES")) << tag;
        EXPECT_EQ(3, GetUILanguageIndexFor({tag}, L"es")) << tag;
        // Elsewhere the language is skipped and the next candidate decides.
        EXPECT_EQ(0, GetUILanguageIndexFor({tag}, L"FR")) << tag;
        EXPECT_EQ(4, GetUILanguageIndexFor({tag, L"fr-FR"}, L"FR")) << tag;
    }
}

TEST(UILanguageTest, first_matching_candidate_wins)
{
    EXPECT_EQ(1, GetUILanguageIndexFor({L"ja-JP", L"nl", L"de-DE", L"fr-FR"}, L"US"));
    EXPECT_EQ(0, GetUILanguageIndexFor({L"ja-JP"}, L"JP"));
    EXPECT_EQ(0, GetUILanguageIndexFor({}, L"US"));
}

TEST(UILanguageTest, gives_the_tag_of_each_index)
{
    const wchar_t* tags[] = {L"en-us", L"de", L"es", L"es-es", L"fr", L"it", L"ko", L"pt", L"zh-chs", L"zh-cht"};
    for (int i = 0; i < kUILanguageCount; ++i)
        EXPECT_EQ(tags[i], GetLanguageTag(i));
    EXPECT_EQ(L"", GetLanguageTag(-1));
    EXPECT_EQ(L"", GetLanguageTag(10));
    // Every tag leads back to its own index.
    for (int i = 0; i < kUILanguageCount; ++i)
        EXPECT_EQ(i, GetUILanguageIndex(GetLanguageTag(i))) << i;
}

TEST(UILanguageTest, explicit_tag_overrides_the_users_languages)
{
    EXPECT_EQ(6, GetUILanguageIndex(L"ko"));
    EXPECT_EQ(9, GetUILanguageIndex(L"zh-TW"));
}

TEST(UILanguageTest, preferred_languages_come_from_the_system)
{
    std::vector<std::wstring> names = GetPreferredUILanguages();
    ASSERT_FALSE(names.empty());
    for (const auto& name : names)
        EXPECT_FALSE(name.empty());
    EXPECT_EQ(GetUILanguageIndexFor(names, CRegionInfo().GetCountryCode()), GetUILanguageIndex(L""));
}

TEST(RegionInfoTest, maps_countries_to_web_domain_suffixes)
{
    struct Case { const wchar_t* country; const wchar_t* suffix; };
    const Case cases[] = {
        {L"AU", L"com.au"}, {L"BR", L"com.br"}, {L"CA", L"ca"}, {L"DE", L"de"}, {L"ES", L"es"}, {L"EU", L"eu"},
        {L"FR", L"fr"}, {L"GB", L"co.uk"}, {L"HK", L"hk"}, {L"IE", L"eu"}, {L"IN", L"in"}, {L"IT", L"it"},
        {L"KR", L"kr"}, {L"MX", L"mx"}, {L"NZ", L"co.nz"}, {L"PT", L"eu"}, {L"SG", L"sg"}, {L"TW", L"hk"},
        {L"US", L"com"}, {L"JP", L"com"}, {L"gb", L"com"}, {L"", L"com"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.suffix, CRegionInfo::GetWebDomainSuffix(c.country)) << c.country;
        EXPECT_EQ(std::wstring(L"www.larchmeadow.") + c.suffix, CRegionInfo::GetRegionalHostFor(c.country));
    }
}

TEST(RegionInfoTest, reads_the_users_nation)
{
    CRegionInfo region;
    ASSERT_EQ(2u, region.GetCountryCode().size());
    for (wchar_t c : region.GetCountryCode())
        EXPECT_TRUE(iswupper(c)) << region.GetCountryCode();
    // The language-and-country text is the system's, lower-cased (Wine 8 answers
    // ERROR_CALL_NOT_IMPLEMENTED for GEO_RFC1766, and the text stays empty).
    wchar_t expected[259] = {};
    if (GetGeoInfoW(GetUserGeoID(GEOCLASS_NATION), GEO_RFC1766, expected, 259, GetUserDefaultUILanguage()) > 0) {
        ASSERT_FALSE(region.GetLanguageAndCountry().empty());
        EXPECT_EQ(0, _wcsicmp(expected, region.GetLanguageAndCountry().c_str()));
    } else {
        EXPECT_EQ(L"", region.GetLanguageAndCountry());
    }
    for (wchar_t c : region.GetLanguageAndCountry())
        EXPECT_FALSE(iswupper(c)) << region.GetLanguageAndCountry();
    EXPECT_EQ(CRegionInfo::GetRegionalHostFor(region.GetCountryCode()), region.GetRegionalHost());
}

} // namespace
} // namespace CommonAppLogic
} // namespace Lm
