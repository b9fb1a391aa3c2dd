#include "Installer/TouchpointFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "TestRegistry.h"
#include "TouchpointMachine.h"

namespace Lm {
namespace Installer {
namespace {

using LmTest::RegReadValues;
using LmTest::RegSetDword;
using LmTest::RegSetText;
using LmTest::RegValue;

struct Expected {
    std::wstring name;
    DWORD type;
    std::wstring text;   // REG_SZ
    DWORD number;        // REG_DWORD
};

std::vector<Expected> ExpectedEntry(const std::wstring& dp, bool systemComponent)
{
    const std::wstring tp = LmTest::TouchpointFolder();
    const std::wstring app = LmTest::MainAppFolder();
    const std::wstring support = L"https://support.larchmeadow.example/support?dp=" + dp;
    std::vector<Expected> values = {
        {L"Version", REG_SZ, L"4.1.1.132", 0},
        {L"VersionMajor", REG_SZ, L"4", 0},
        {L"VersionMinor", REG_SZ, L"1", 0},
        {L"DisplayName", REG_SZ, L"Larchmeadow Games App", 0},
        {L"DisplayIcon", REG_SZ, tp + L"\\Application.ico", 0},
        {L"UninstallString", REG_SZ, L"\"" + tp + L"\\Uninstall.exe\"", 0},
        {L"TouchpointInstallLocation", REG_SZ, tp, 0},
        {L"Publisher", REG_SZ, L"Larchmeadow", 0},
        {L"URLInfoAbout", REG_SZ, support, 0},
        {L"HelpLink", REG_SZ, support, 0},
        {L"Brand", REG_SZ, L"larchplay", 0},
        {L"DP", REG_SZ, dp, 0},
        {L"NoModify", REG_DWORD, L"", 1},
        {L"NoRepair", REG_DWORD, L"", 1},
    };
    if (systemComponent)
        values.push_back({L"SystemComponent", REG_DWORD, L"", 1});
    values.push_back({L"ConsoleBrand", REG_SZ, L"larchplay", 0});
    values.push_back({L"ConsoleExePath", REG_SZ, app + L"\\Playdeck-lm.exe", 0});
    values.push_back({L"InstallLocation", REG_SZ, app, 0});
    return values;
}

// Wine lists a key's values sorted by name, so the order of writing cannot be seen here: the
// entry is compared value by value.
void ExpectEntry(const std::vector<Expected>& expected, const char* what)
{
    const auto actual = RegReadValues(LmTest::kTestTouchpointEntry);
    EXPECT_EQ(expected.size(), actual.size()) << what;
    for (const Expected& e : expected) {
        const RegValue value = LmTest::RegRead(LmTest::kTestTouchpointEntry, e.name);
        ASSERT_TRUE(value.exists) << what << ": " << e.name;
        EXPECT_EQ(e.type, value.type) << what << ": " << e.name;
        if (e.type == REG_SZ)
            EXPECT_EQ(e.text, value.Text()) << what << ": " << e.name;
        else
            EXPECT_EQ(e.number, value.Dword()) << what << ": " << e.name;
    }
}

TEST(TouchpointEntry, every_value_has_its_type_and_place_and_the_dp_loses_its_suffix)
{
    LmTest::TouchpointMachine machine;
    LmTest::RegDeleteTreeAt(LmTest::kTestTouchpointEntry);
    LmTest::RegDeleteTreeAt(LmTest::kTestMasterEntry);
    WriteTouchpointUninstallEntry(L"partner!x", 0);
    ExpectEntry(ExpectedEntry(L"partner", false), "partner!x");

    // A second write keeps what others added.
    RegSetText(LmTest::kTestTouchpointEntry, L"LegacySKUValuesSet", L"1");
    WriteTouchpointUninstallEntry(L"larchplay", 3);
    std::vector<Expected> expected = ExpectedEntry(L"larchplay", false);
    expected.push_back({L"LegacySKUValuesSet", REG_SZ, L"1", 0});
    ExpectEntry(expected, "second write");
}

TEST(TouchpointEntry, system_component_follows_the_master_entry)
{
    struct Case {
        const char* what;
        bool master;          // the master entry exists
        DWORD type;           // type of "TouchpointInstallerSupport"; REG_NONE: not written
        const wchar_t* text;  // its text (REG_DWORD: 1)
        bool stale;           // an earlier install left "SystemComponent" = 1
        bool hidden;
    } cases[] = {
        {"no master entry", false, REG_NONE, nullptr, false, false},
        {"master without the value", true, REG_NONE, nullptr, false, false},
        {"\"true\"", true, REG_SZ, L"true", false, false},
        {"REG_DWORD 1", true, REG_DWORD, nullptr, false, false},
        {"\"1 \"", true, REG_SZ, L"1 ", false, false},
        {"\"1\"", true, REG_SZ, L"1", false, true},
        {"\"1\" as REG_EXPAND_SZ", true, REG_EXPAND_SZ, L"1", false, true},
        {"\"1\" over a stale value", true, REG_SZ, L"1", true, true},
        {"stale value, no master entry", false, REG_NONE, nullptr, true, false},
        {"stale value, master says \"0\"", true, REG_SZ, L"0", true, false},
        {"stale value, master value of another type", true, REG_DWORD, nullptr, true, false},
    };
    LmTest::TouchpointMachine machine;
    for (const Case& c : cases) {
        LmTest::RegDeleteTreeAt(LmTest::kTestTouchpointEntry);
        LmTest::RegDeleteTreeAt(LmTest::kTestMasterEntry);
        if (c.master)
            RegSetText(LmTest::kTestMasterEntry, L"DisplayName", L"Larchmeadow Games App");
        if (c.type == REG_DWORD)
            RegSetDword(LmTest::kTestMasterEntry, L"TouchpointInstallerSupport", 1);
        else if (c.type != REG_NONE)
            RegSetText(LmTest::kTestMasterEntry, L"TouchpointInstallerSupport", c.text, c.type);
        if (c.stale)
            RegSetDword(LmTest::kTestTouchpointEntry, L"SystemComponent", 1);

        WriteTouchpointUninstallEntry(L"larchplay", 0);
        ExpectEntry(ExpectedEntry(L"larchplay", c.hidden), c.what);
    }
}

TEST(BrandDisplaySuffix, partner_editions_carry_their_suffix_and_this_build_none)
{
    for (int index = -1; index <= 10; ++index) {
        EXPECT_EQ(L"", GetBrandDisplaySuffix(index)) << index;
        EXPECT_EQ(L" (Brightnook Edition)", GetBrandDisplaySuffixFor(L"brightnook", index)) << index;
        EXPECT_EQ(L" - Tallowbay", GetBrandDisplaySuffixFor(L"tallowbay", index)) << index;
        EXPECT_EQ(L"", GetBrandDisplaySuffixFor(L"larchplay", index)) << index;
        EXPECT_EQ(L"", GetBrandDisplaySuffixFor(L"Brightnook", index)) << index;
    }
    struct Case {
        int index;
        const wchar_t* suffix;
    } cases[] = {
        {-1, L""},
        {0, L" for Quillfern PCs"},
        {1, L" f\u00fcr Quillfern-PCs"},
        {2, L" para PC Quillfern"},
        {3, L" para PC Quillfern"},
        {4, L" pour PC Quillfern"},
        {5, L" per PC Quillfern"},
        {6, L" (Quillfern PC\uc6a9)"},
        {7, L" para PC Quillfern"},
        {8, L" (Quillfern PC)"},
        {9, L" (Quillfern PC)"},
        {10, L""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.suffix, GetBrandDisplaySuffixFor(L"quillfern", c.index)) << c.index;
}

} // namespace
} // namespace Installer
} // namespace Lm
