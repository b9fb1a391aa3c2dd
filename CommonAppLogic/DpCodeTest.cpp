#include "CommonAppLogic/DpCode.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "TestRegistry.h"
#include "TestSupport.h"

namespace Lm {
namespace CommonAppLogic {
namespace {

using LmTest::RegSetDword;
using LmTest::RegSetText;
using LmTest::ScopedRegistryKey;

// A private uninstall list of the current user, so these cases never meet the machine's.
struct PrivateList {
    ScopedRegistryKey list{L"HKCU\\Software\\LmTest", L"UninstallList"};

    // An entry with the four values; a null leaves the value out.
    std::wstring AddEntry(const std::wstring& name, const wchar_t* displayName, const wchar_t* brand,
                          const wchar_t* originalBrand, const wchar_t* dp)
    {
        const std::wstring path = list / name;
        RegSetText(path, L"DisplayName", name);
        if (displayName)
            RegSetText(path, kConsoleDisplayNameValue, displayName);
        if (brand)
            RegSetText(path, kConsoleBrandValue, brand);
        if (originalBrand)
            RegSetText(path, kConsoleBrandOriginalValue, originalBrand);
        if (dp)
            RegSetText(path, kConsoleDpValue, dp);
        return path;
    }
};

TEST(DpCodeTest, file_names_carry_the_text_after_their_last_dash)
{
    struct Case {
        const wchar_t* fileName;
        const wchar_t* fromName;   // GetDpFromFileName
        const wchar_t* resolved;   // ResolveDpCode without "/dp=" outside full-installer mode
    } cases[] = {
        {L"Setup-abc-partner.exe", L"partner", L"partner"},
        {L"Setup-abc-partner (2).exe", L"partner", L"partner"},
        {L"Setup.exe", L"", L"larchplay"},
        {L"Setup-.exe", L"", L"larchplay"},
        {L"-x.exe", L"x", L"x"},
        {L"", L"", L"larchplay"},
        {L"Setup-qf.retail.exe", L"qf", L"qf"},
        {L"Setup-Partner!oem.exe", L"Partner!oem", L"Partner!oem"},
        {L"Setup-par%tner.exe", L"par%tner", L"larchplay"},
        {L"Setup-&calc.exe", L"&calc", L"larchplay"},
    };
    PrivateList registry;
    for (const Case& c : cases) {
        EXPECT_EQ(c.fromName, GetDpFromFileName(c.fileName)) << c.fileName;
        EXPECT_EQ(c.resolved, ResolveDpCodeFrom(registry.list.Path(), c.fileName, false, L"")) << c.fileName;
    }
}

TEST(DpCodeTest, dp_option_wins_over_the_file_name_and_loses_to_the_installed_edition_in_full_mode)
{
    PrivateList registry;
    const std::wstring list = registry.list.Path();
    EXPECT_EQ(L"fromoption", ResolveDpCodeFrom(list, L"Setup-partner.exe", false, L"fromoption"));
    EXPECT_EQ(L"fromoption", ResolveDpCodeFrom(list, L"Setup-partner.exe", true, L"fromoption"))
        << "no installed edition yet";

    registry.AddEntry(L"{app}.Larchmeadow Games App", L"Larchmeadow Games App", nullptr, nullptr, L"lp_retail");
    EXPECT_EQ(L"lp_retail", ResolveDpCodeFrom(list, L"Setup-partner.exe", true, L"fromoption"));
    EXPECT_EQ(L"fromoption", ResolveDpCodeFrom(list, L"Setup-partner.exe", false, L"fromoption"))
        << "outside full-installer mode the registry is not read";
    EXPECT_EQ(L"partner", ResolveDpCodeFrom(list, L"Setup-partner.exe", false, L""));
}

TEST(DpCodeTest, brand_rules_decide_which_installed_entry_fits)
{
    struct Case {
        const char* what;
        const wchar_t* displayName;
        const wchar_t* brand;
        const wchar_t* originalBrand;
        const wchar_t* dp;
        bool fits;
    } cases[] = {
        {"own brand", L"App", L"larchplay", nullptr, nullptr, true},
        {"own brand, partner DP", L"App", L"larchplay", nullptr, L"cl_home", true},
        {"other brand beats a fitting original brand and DP", L"App", L"copperlane", L"larchplay", L"larchplay", false},
        {"other letter case", L"App", L"LarchPlay", nullptr, L"larchplay", false},
        {"original brand when the brand is empty", L"App", L"", L"larchplay", nullptr, true},
        {"other original brand beats a fitting DP", L"App", nullptr, L"tallowbay", L"larchplay", false},
        {"code of the build's row", L"App", nullptr, nullptr, L"lp_bundle_2021", true},
        {"the brand's own name as code", L"App", nullptr, nullptr, L"larchplay", true},
        {"code of a partner's row only", L"App", nullptr, nullptr, L"qf.retail", false},
        {"code in other letter case", L"App", nullptr, nullptr, L"LP-RETAIL", false},
        {"no DP at all", L"App", nullptr, nullptr, nullptr, false},
        {"empty display name", L"", L"larchplay", L"larchplay", L"larchplay", false},
        {"no display name", nullptr, L"larchplay", L"larchplay", L"larchplay", false},
    };
    for (const Case& c : cases) {
        PrivateList registry;
        registry.AddEntry(L"Entry", c.displayName, c.brand, c.originalBrand, c.dp);
        EXPECT_EQ(c.fits ? L"Entry" : L"", FindCompatibleConsoleEntryIn(registry.list.Path())) << c.what;
    }
}

TEST(DpCodeTest, first_fitting_entry_in_the_registry_order_wins)
{
    PrivateList registry;
    registry.AddEntry(L"Zulu.Larchmeadow Games App", L"App", nullptr, nullptr, L"lp_gift");
    registry.AddEntry(L"Alpha.Other", L"", L"larchplay", nullptr, L"lp_trial");
    registry.AddEntry(L"Mike.Larchmeadow Games App", L"App", L"larchplay", nullptr, L"lp_search");
    std::wstring first;
    for (const std::wstring& name : LmTest::RegSubKeyNames(registry.list.Path())) {
        if (name != L"Alpha.Other") {
            first = name;
            break;
        }
    }
    EXPECT_EQ(first, FindCompatibleConsoleEntryIn(registry.list.Path()));
    const std::wstring second = first == L"Mike.Larchmeadow Games App" ? L"Zulu.Larchmeadow Games App"
                                                                      : L"Mike.Larchmeadow Games App";
    EXPECT_EQ(L"", FindCompatibleConsoleEntryIn(registry.list.Path(), {L"mike.LARCHMEADOW games app",
                                                                       L"zulu.larchmeadow games app"}))
        << "excluded names compare without case";
    EXPECT_EQ(second, FindCompatibleConsoleEntryIn(registry.list.Path(), {first}));
    EXPECT_EQ(first == L"Zulu.Larchmeadow Games App" ? L"lp_gift" : L"lp_search",
              ResolveDpCodeFrom(registry.list.Path(), L"Setup.exe", true, L""));
}

TEST(DpCodeTest, unsafe_candidates_are_passed_over_for_the_next_source)
{
    const std::wstring longest(kMaxDpCodeLength, L'a');
    const std::wstring tooLong(kMaxDpCodeLength + 1, L'a');
    struct Case {
        std::wstring candidate;
        bool safe;
    } cases[] = {
        {L"larchplay", true},
        {L"Az09_.!", true},
        {longest, true},
        {tooLong, false},
        {L"", false},
        {L"lp retail", false},
        {L"lp\"retail", false},
        {L"lp\" /installerargs=/x", false},
        {L"lp&calc", false},
        {L"lp;x", false},
        {L"lp\\..\\x", false},
        {L"lp/x", false},
        // Park takes '-' and '/' anywhere in its command line as an option's start.
        {L"a-LaunchParams", false},
        {L"a-Execute", false},
        {L"lp-retail", false},
        {L"-", false},
        {L"lp%TEMP%", false},
        {L"lp?a=b", false},
        {L"lp#x", false},
        {L"lp\tx", false},
        {L"lp\r\nx", false},
        {L"lp\u00e9", false},
        {L"lp\uff41", false},
    };
    PrivateList registry;
    const std::wstring entry =
        registry.AddEntry(L"{app}.Larchmeadow Games App", L"App", L"larchplay", nullptr, L"placeholder");
    for (const Case& c : cases) {
        EXPECT_EQ(c.safe, IsSafeDpCode(c.candidate)) << testing::PrintToString(c.candidate);
        if (c.candidate.empty())
            continue;
        // As the installed edition's DP, as the option and as the file name's DP.
        RegSetText(entry, kConsoleDpValue, c.candidate);
        EXPECT_EQ(c.safe ? c.candidate : L"fromoption",
                  ResolveDpCodeFrom(registry.list.Path(), L"Setup.exe", true, L"fromoption"));
        EXPECT_EQ(c.safe ? c.candidate : L"fromname",
                  ResolveDpCodeFrom(registry.list.Path(), L"Setup-fromname.exe", false, c.candidate));
        // A file name's DP ends at its last '-' and before its first '.' or blank.
        if (c.candidate.find_first_of(L". -") == std::wstring::npos) {
            EXPECT_EQ(c.safe ? c.candidate : L"larchplay",
                      ResolveDpCodeFrom(registry.list.Path(), L"Setup-" + c.candidate + L".exe", false, L""));
        }
    }
}

TEST(DpCodeTest, unreadable_foreign_entries_are_skipped)
{
    struct Case {
        const char* what;
        const wchar_t* value;
        DWORD type;   // REG_DWORD is written as a number, anything else as text of that type
    } cases[] = {
        {"display name as a number", kConsoleDisplayNameValue, REG_DWORD},
        {"brand as binary", kConsoleBrandValue, REG_BINARY},
        {"original brand as a list", kConsoleBrandOriginalValue, REG_MULTI_SZ},
        {"DP as a number", kConsoleDpValue, REG_DWORD},
    };
    for (const Case& c : cases) {
        PrivateList registry;
        // Listed first, then the edition that fits.
        const std::wstring foreign = registry.AddEntry(L"A-foreign", L"App", L"larchplay", nullptr, L"lp_gift");
        registry.AddEntry(L"B-ours", L"App", L"larchplay", nullptr, L"lp_search");
        if (c.type == REG_DWORD)
            RegSetDword(foreign, c.value, 1);
        else
            RegSetText(foreign, c.value, L"larchplay", c.type);
        ASSERT_EQ(L"A-foreign", LmTest::RegSubKeyNames(registry.list.Path()).front());
        EXPECT_EQ(L"B-ours", FindCompatibleConsoleEntryIn(registry.list.Path())) << c.what;
        EXPECT_EQ(L"lp_search", ResolveDpCodeFrom(registry.list.Path(), L"Setup.exe", true, L"")) << c.what;
    }

    // A list that cannot be opened at all gives no entry, and the other sources decide.
    PrivateList registry;
    const std::wstring missing = registry.list / L"missing";
    EXPECT_EQ(L"", FindCompatibleConsoleEntryIn(missing));
    EXPECT_EQ(L"partner", ResolveDpCodeFrom(missing, L"Setup-partner.exe", true, L""));
}

TEST(DpCodeTest, fitting_entry_without_a_usable_dp_leaves_the_choice_to_the_next_source)
{
    PrivateList registry;
    const std::wstring entry = registry.AddEntry(L"{app}.Larchmeadow Games App", L"App", L"larchplay", nullptr, L"");
    EXPECT_EQ(L"{app}.Larchmeadow Games App", FindCompatibleConsoleEntryIn(registry.list.Path()));
    EXPECT_EQ(L"fromoption", ResolveDpCodeFrom(registry.list.Path(), L"Setup.exe", true, L"fromoption"));
    EXPECT_EQ(L"larchplay", ResolveDpCodeFrom(registry.list.Path(), L"Setup.exe", true, L""));
}

TEST(DpCodeTest, short_dp_ends_before_the_first_exclamation_mark)
{
    EXPECT_EQ(L"partner", GetShortDpCode(L"partner!x"));
    EXPECT_EQ(L"abc", GetShortDpCode(L"abc!xyz!w"));
    EXPECT_EQ(L"larchplay", GetShortDpCode(L"larchplay"));
    EXPECT_EQ(L"", GetShortDpCode(L"!x"));
    EXPECT_EQ(L"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", GetUninstallListPath());
}

TEST(DpCodeTest, partner_tables_keep_their_shape)
{
    ASSERT_EQ(8u, PartnerCodeTableSize);
    EXPECT_STREQ(BuildBrand, PartnerCodeTable[0].brand);
    EXPECT_EQ(29u, PartnerCodeTable[0].codeCount);
    EXPECT_TRUE(IsPartnerCodeOf(BuildBrand, BuildBrand));
    int partnersNamingThemselves = 0;
    std::set<std::wstring> brands;
    for (size_t row = 0; row < PartnerCodeTableSize; ++row) {
        brands.insert(PartnerCodeTable[row].brand);
        if (row > 0) {
            EXPECT_GE(PartnerCodeTable[row].codeCount, 3u);
            EXPECT_LE(PartnerCodeTable[row].codeCount, 9u);
            if (IsPartnerCodeOf(PartnerCodeTable[row].brand, PartnerCodeTable[row].brand))
                ++partnersNamingThemselves;
        }
        for (size_t index = 0; index < PartnerCodeTable[row].codeCount; ++index)
            EXPECT_TRUE(IsSafeDpCode(PartnerCodeTable[row].codes[index])) << PartnerCodeTable[row].codes[index];
    }
    EXPECT_EQ(6, partnersNamingThemselves);
    EXPECT_EQ(8u, brands.size());

    ASSERT_EQ(5u, DefaultDpMapSize);
    for (size_t index = 0; index < DefaultDpMapSize; ++index) {
        EXPECT_STRNE(BuildBrand, DefaultDpMap[index].brand);
        EXPECT_TRUE(IsSafeDpCode(DefaultDpMap[index].dp));
        EXPECT_EQ(DefaultDpMap[index].dp, GetDefaultDp(DefaultDpMap[index].brand));
    }
    EXPECT_EQ(L"larchplay", GetDefaultDp(BuildBrand));
    EXPECT_EQ(L"ambermoor", GetDefaultDp(L"ambermoor")) << "a brand not in the map is its own default";
}

// The probe copied under a download's file names, run under Wine against the machine's own
// uninstall list: what setup would resolve.
class DpProbeRun : public testing::Test {
protected:
    LmTest::ScratchFolder folder{L"lmdp"};

    std::wstring Run(const std::wstring& fileName, const std::wstring& arguments)
    {
        const std::wstring copy = folder / fileName;
        if (!CopyFileW(LmTest::Tool(L"DpProbe.exe").c_str(), copy.c_str(), FALSE))
            return L"<no copy>";
        const std::wstring out = folder / L"dp.txt";
        DeleteFileW(out.c_str());
        const LmTest::RunResult result = LmTest::RunProgram(copy, arguments + L" \"/out=" + out + L"\"", 60000);
        if (!result.finished || result.exitCode != 0)
            return L"<exit " + std::to_wstring(result.exitCode) + L">";
        return LmTest::ReadFileUtf8(out);
    }
};

TEST_F(DpProbeRun, resolves_the_dp_of_its_file_name_and_options)
{
    struct Case {
        const wchar_t* fileName;
        const wchar_t* arguments;
        const wchar_t* dp;
    } cases[] = {
        {L"Setup-abc-partner.exe", L"", L"partner"},
        {L"Setup-abc-partner (2).exe", L"", L"partner"},
        {L"Setup.exe", L"", L"larchplay"},
        {L"Setup-.exe", L"", L"larchplay"},
        {L"-x.exe", L"", L"x"},
        {L"Setup-abc-partner.exe", L"/dp=fromoption", L"fromoption"},
        {L"Setup.exe", L"\"/dp=a b\"", L"larchplay"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.dp, Run(c.fileName, c.arguments)) << c.fileName << L" " << c.arguments;
}

TEST_F(DpProbeRun, full_mode_takes_the_installed_editions_dp)
{
    const std::wstring list = GetUninstallListPath();
    ScopedRegistryKey foreign(list, L"A-LmTestForeign");
    ScopedRegistryKey ours(list, L"B-LmTestApp");
    RegSetText(foreign.Path(), kConsoleDisplayNameValue, L"App");
    RegSetDword(foreign.Path(), kConsoleBrandValue, 7);   // not ours: skipped, not fatal
    RegSetText(ours.Path(), kConsoleDisplayNameValue, L"Larchmeadow Games App");
    RegSetText(ours.Path(), kConsoleBrandOriginalValue, L"larchplay");
    RegSetText(ours.Path(), kConsoleDpValue, L"lp_upgrade");

    EXPECT_EQ(L"lp_upgrade", Run(L"Setup-partner.exe", L"/full /dp=fromoption"));
    EXPECT_EQ(L"fromoption", Run(L"Setup-partner.exe", L"/dp=fromoption"));

    RegSetText(ours.Path(), kConsoleDpValue, L"lp_upgrade\" /installerargs=");
    EXPECT_EQ(L"fromoption", Run(L"Setup-partner.exe", L"/full /dp=fromoption"));
}

} // namespace
} // namespace CommonAppLogic
} // namespace Lm
