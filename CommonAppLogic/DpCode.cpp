#include "CommonAppLogic/DpCode.h"

#include <cwchar>
#include <vector>

#include "CommonAppLogic/InstallContract.h"
#include "System/Exception.h"
#include "System/Win32/KnownFolders.h"
#include "System/Win32/RegistryKey.h"

namespace Lm {
namespace CommonAppLogic {

using System::CException;
using System::Win32::CRegistryKey;

namespace {

// Editions of the maker's own brand: the web, store and bundle downloads and the retired codes
// that older installations still carry.
const wchar_t* const kLarchplayCodes[] = {
    L"larchplay",        L"larchplay_web",     L"larchplay_store",   L"larchplay_beta",
    L"larchplay_classic", L"lp_direct",        L"lp_newsletter",     L"lp_search",
    L"lp_social",        L"lp_affiliate",      L"lp_retail",         L"lp_trial",
    L"lp_gift",          L"lp_reengage",       L"lp_upgrade",        L"lp_bundle_2019",
    L"lp_bundle_2020",   L"lp_bundle_2021",    L"lp_bundle_2022",    L"lp.legacy",
    L"lp.console",       L"lp.console.eu",     L"lp.console.apac",   L"meadowarcade",
    L"meadowarcade_eu",  L"meadowpuzzles",     L"meadowcards",       L"larchkids",
    L"larchplay_edu",
};
const wchar_t* const kBrightnookCodes[] = {
    L"brightnook", L"brightnook_oem", L"brightnook_laptop", L"bn_preload", L"bn_recovery",
};
const wchar_t* const kTallowbayCodes[] = {
    L"tallowbay", L"tallowbay_pc", L"tb_desktop", L"tb_allinone",
};
const wchar_t* const kQuillfernCodes[] = {
    L"quillfern", L"qf.retail", L"qf.retail.uk", L"qf.retail.de", L"qf.online", L"qf.kiosk",
    L"qf.student", L"qf.family", L"qf.business",
};
const wchar_t* const kAmbermoorCodes[] = {
    L"ambermoor", L"ambermoor_gaming", L"am_tower",
};
const wchar_t* const kCopperlaneCodes[] = {
    L"copperlane", L"cl_notebook", L"cl_ultra", L"cl_home", L"cl_pro", L"cl_refurb", L"cl_outlet",
};
const wchar_t* const kWrenfieldCodes[] = {
    L"wrenfield", L"wf_tablet", L"wf_convertible", L"wf_desktop",
};
// The one partner whose own name is no edition: its machines ship under two line names.
const wchar_t* const kMistvaleCodes[] = {
    L"mv_horizon", L"mv_summit", L"mv_summit_plus",
};

template <size_t N>
constexpr size_t CountOf(const wchar_t* const (&)[N])
{
    return N;
}

} // namespace

const PartnerCodeRow PartnerCodeTable[] = {
    {L"larchplay", kLarchplayCodes, CountOf(kLarchplayCodes)},
    {L"brightnook", kBrightnookCodes, CountOf(kBrightnookCodes)},
    {L"tallowbay", kTallowbayCodes, CountOf(kTallowbayCodes)},
    {L"quillfern", kQuillfernCodes, CountOf(kQuillfernCodes)},
    {L"ambermoor", kAmbermoorCodes, CountOf(kAmbermoorCodes)},
    {L"copperlane", kCopperlaneCodes, CountOf(kCopperlaneCodes)},
    {L"wrenfield", kWrenfieldCodes, CountOf(kWrenfieldCodes)},
    {L"mistvale", kMistvaleCodes, CountOf(kMistvaleCodes)},
};
const size_t PartnerCodeTableSize = sizeof(PartnerCodeTable) / sizeof(PartnerCodeTable[0]);

const DefaultDpPair DefaultDpMap[] = {
    {L"brightnook", L"brightnook_oem"},
    {L"tallowbay", L"tallowbay_pc"},
    {L"quillfern", L"qf.retail"},
    {L"copperlane", L"cl_home"},
    {L"mistvale", L"mv_horizon"},
};
const size_t DefaultDpMapSize = sizeof(DefaultDpMap) / sizeof(DefaultDpMap[0]);

bool IsSafeDpCode(const std::wstring& code)
{
    if (code.empty() || code.size() > kMaxDpCodeLength)
        return false;
    for (wchar_t c : code) {
        const bool letter = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
        const bool digit = c >= L'0' && c <= L'9';
        if (!letter && !digit && c != L'_' && c != L'.' && c != L'!')
            return false;
    }
    return true;
}

std::wstring GetUninstallListPath()
{
    std::wstring path = CommonAppLogic::kUninstallKeyRoot;
    path.pop_back();
    return path;
}

std::wstring GetShortDpCode(const std::wstring& dp)
{
    return dp.substr(0, dp.find(L'!'));
}

bool IsPartnerCodeOf(const std::wstring& brand, const std::wstring& code)
{
    for (size_t row = 0; row < PartnerCodeTableSize; ++row) {
        if (brand != PartnerCodeTable[row].brand)
            continue;
        for (size_t index = 0; index < PartnerCodeTable[row].codeCount; ++index) {
            if (code == PartnerCodeTable[row].codes[index])
                return true;
        }
        return false;
    }
    return false;
}

std::wstring GetDefaultDp(const std::wstring& brand)
{
    for (size_t index = 0; index < DefaultDpMapSize; ++index) {
        if (brand == DefaultDpMap[index].brand)
            return DefaultDpMap[index].dp;
    }
    return brand;
}

std::wstring GetDpFromFileName(const std::wstring& fileName)
{
    const size_t dash = fileName.rfind(L'-');
    if (dash == std::wstring::npos)
        return std::wstring();
    const std::wstring rest = fileName.substr(dash + 1);
    return rest.substr(0, rest.find_first_of(L". "));
}

std::wstring GetDpFromModuleName()
{
    return GetDpFromFileName(System::Win32::GetModuleFileNameOnly());
}

namespace {

// Whether an entry of the uninstall list is an installed main application whose edition fits
// this build. All four values are read first, so an entry holding one of them in another type
// throws here and is passed over by the caller, whatever its other values say.
bool EntryFitsBuild(CRegistryKey& entry)
{
    const std::wstring displayName = entry.GetString(kConsoleDisplayNameValue, L"");
    const std::wstring brand = entry.GetString(kConsoleBrandValue, L"");
    const std::wstring originalBrand = entry.GetString(kConsoleBrandOriginalValue, L"");
    const std::wstring dp = entry.GetString(kConsoleDpValue, L"");
    if (displayName.empty())
        return false;
    if (!brand.empty())
        return brand == BuildBrand;
    if (!originalBrand.empty())
        return originalBrand == BuildBrand;
    return !dp.empty() && IsPartnerCodeOf(BuildBrand, dp);
}

bool IsExcluded(const std::wstring& name, const std::vector<std::wstring>& excludedNames)
{
    for (const std::wstring& excluded : excludedNames) {
        if (_wcsicmp(name.c_str(), excluded.c_str()) == 0)
            return true;
    }
    return false;
}

} // namespace

std::wstring FindCompatibleConsoleEntryIn(const std::wstring& uninstallListPath,
                                          const std::vector<std::wstring>& excludedNames)
{
    std::vector<std::wstring> names;
    try {
        CRegistryKey list(uninstallListPath, true);
        list.EnumerateSubKeyNames(names);
    } catch (const CException&) {
        // The names listed before the failure are still examined; none when the open failed.
    }
    for (const std::wstring& name : names) {
        if (IsExcluded(name, excludedNames))
            continue;
        try {
            CRegistryKey entry(uninstallListPath + L"\\" + name, true);
            if (EntryFitsBuild(entry))
                return name;
        } catch (const CException&) {
            // Another program's entry that we cannot read (no access, removed meanwhile, values of
            // other types) is not an edition of ours: it must not end the run.
        }
    }
    return std::wstring();
}

std::wstring FindCompatibleConsoleEntry(const std::vector<std::wstring>& excludedNames)
{
    return FindCompatibleConsoleEntryIn(GetUninstallListPath(), excludedNames);
}

std::wstring ResolveDpCodeFrom(const std::wstring& uninstallListPath, const std::wstring& moduleFileName,
                               bool fullInstallerMode, const std::wstring& dpOption)
{
    if (fullInstallerMode) {
        // With no fitting entry the name is empty and the list's own "ConsoleDP" is read, as the
        // editions before this one did.
        const std::wstring name = FindCompatibleConsoleEntryIn(uninstallListPath);
        std::wstring installedDp;
        try {
            CRegistryKey entry(name.empty() ? uninstallListPath : uninstallListPath + L"\\" + name, true);
            installedDp = entry.GetString(kConsoleDpValue, L"");
        } catch (const CException&) {
            // Gone or changed since it was examined: the next source decides.
        }
        if (IsSafeDpCode(installedDp))
            return installedDp;
    }
    if (IsSafeDpCode(dpOption))
        return dpOption;
    const std::wstring fromName = GetDpFromFileName(moduleFileName);
    if (IsSafeDpCode(fromName))
        return fromName;
    return GetDefaultDp(BuildBrand);
}

std::wstring ResolveDpCode(bool fullInstallerMode, const std::wstring& dpOption)
{
    return ResolveDpCodeFrom(GetUninstallListPath(), System::Win32::GetModuleFileNameOnly(), fullInstallerMode,
                             dpOption);
}

} // namespace CommonAppLogic
} // namespace Lm
