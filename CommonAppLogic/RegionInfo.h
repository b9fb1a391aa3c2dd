// The user's country as the language choice and the update check see it.
#pragma once

#include <string>

namespace Lm {
namespace CommonAppLogic {

class CRegionInfo {
public:
    // Reads the user's nation (GetUserGeoID) and fills the three texts.
    CRegionInfo();

    // Language-and-country text of the user's nation (GEO_RFC1766), lower case, e.g. "en-us".
    const std::wstring& GetLanguageAndCountry() const { return m_languageAndCountry; }
    // Two-letter country code as the system gives it (GEO_ISO2), e.g. "US".
    const std::wstring& GetCountryCode() const { return m_countryCode; }
    // Host name of the maker's web site for that country, e.g. "www.larchmeadow.co.uk".
    const std::wstring& GetRegionalHost() const { return m_regionalHost; }

    // Web-domain suffix of an upper-case country code ("com" for a country not listed).
    static std::wstring GetWebDomainSuffix(const std::wstring& countryCode);
    // The regional host for a country code: the maker's host prefix and the country's suffix.
    static std::wstring GetRegionalHostFor(const std::wstring& countryCode);

private:
    std::wstring m_languageAndCountry;
    std::wstring m_countryCode;
    std::wstring m_regionalHost;
};

} // namespace CommonAppLogic
} // namespace Lm
