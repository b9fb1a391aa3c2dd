#include "CommonAppLogic/RegionInfo.h"

#include <windows.h>
#include <map>

#include "System/String/StringUtils.h"

namespace Lm {
namespace CommonAppLogic {

namespace {

// The maker's web site; the country's web-domain suffix follows.
const wchar_t kRegionalHostPrefix[] = L"www.larchmeadow.";
const wchar_t kDefaultSuffix[] = L"com";

const std::map<std::wstring, std::wstring>& SuffixMap()
{
    static const std::map<std::wstring, std::wstring> suffixes = {
        {L"AU", L"com.au"}, {L"BR", L"com.br"}, {L"CA", L"ca"}, {L"DE", L"de"}, {L"ES", L"es"},
        {L"EU", L"eu"},     {L"FR", L"fr"},     {L"GB", L"co.uk"}, {L"HK", L"hk"}, {L"IE", L"eu"},
        {L"IN", L"in"},     {L"IT", L"it"},     {L"KR", L"kr"}, {L"MX", L"mx"}, {L"NZ", L"co.nz"},
        {L"PT", L"eu"},     {L"SG", L"sg"},     {L"TW", L"hk"}, {L"US", L"com"},
    };
    return suffixes;
}

std::wstring GeoText(GEOID nation, GEOTYPE type, LANGID language)
{
    wchar_t buffer[259] = {};
    if (GetGeoInfoW(nation, type, buffer, 259, language) <= 0)
        return std::wstring();
    buffer[258] = L'\0';
    return buffer;
}

} // namespace

CRegionInfo::CRegionInfo()
{
    GEOID nation = GetUserGeoID(GEOCLASS_NATION);
    LANGID language = GetUserDefaultUILanguage();
    m_languageAndCountry = Lm::System::String::ToLower(GeoText(nation, GEO_RFC1766, language));
    m_countryCode = GeoText(nation, GEO_ISO2, language);
    m_regionalHost = GetRegionalHostFor(m_countryCode);
}

std::wstring CRegionInfo::GetWebDomainSuffix(const std::wstring& countryCode)
{
    auto found = SuffixMap().find(countryCode);
    return found == SuffixMap().end() ? std::wstring(kDefaultSuffix) : found->second;
}

std::wstring CRegionInfo::GetRegionalHostFor(const std::wstring& countryCode)
{
    return kRegionalHostPrefix + GetWebDomainSuffix(countryCode);
}

} // namespace CommonAppLogic
} // namespace Lm
