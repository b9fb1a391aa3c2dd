#include "Installer/LegacySkus.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "TestRegistry.h"
#include "TouchpointMachine.h"

namespace Lm {
namespace Installer {
namespace {

using LmTest::RegKeyExists;
using LmTest::RegRead;
using LmTest::RegSetDword;
using LmTest::RegSetText;

std::wstring SkuKey(const std::wstring& name)
{
    return std::wstring(LmTest::kTestInstalledSkus) + L"\\" + name;
}

std::wstring GameEntry(const std::wstring& uninstallKey)
{
    return std::wstring(LmTest::kTestUninstallRoot) + L"\\" + uninstallKey;
}

CInstallerOptions Options(std::vector<const wchar_t*> arguments)
{
    arguments.insert(arguments.begin(), L"Installer.exe");
    return CInstallerOptions(static_cast<int>(arguments.size()), arguments.data());
}

// The touchpoint state with a touchpoint entry, no flag, and the table's games' keys cleared.
class LegacySkus : public testing::Test {
protected:
    LmTest::TouchpointMachine machine;
    std::vector<std::unique_ptr<LmTest::RegistryKeySnapshot>> gameEntries;
    LmTest::ScratchFolder games{L"lmgames"};

    void SetUp() override
    {
        LmTest::RegDeleteTreeAt(LmTest::kTestInstalledSkus);
        for (size_t index = 0; index < LegacySkuTableSize; ++index) {
            gameEntries.emplace_back(new LmTest::RegistryKeySnapshot(GameEntry(LegacySkuTable[index].uninstallKey)));
            LmTest::RegDeleteTreeAt(GameEntry(LegacySkuTable[index].uninstallKey));
        }
        LmTest::RegDeleteTreeAt(LmTest::kTestTouchpointEntry);
        RegSetText(LmTest::kTestTouchpointEntry, L"Version", L"4.1.1.132");
    }
    void TearDown() override { gameEntries.clear(); }

    static const LegacySkuRow& Row(size_t index) { return LegacySkuTable[index]; }
    // An older edition's listing of the game: its key below InstalledSKUs, named after its
    // uninstall key, without values.
    static void ListGame(size_t index)
    {
        HKEY key = LmTest::RegCreate(SkuKey(Row(index).uninstallKey));
        ASSERT_NE(nullptr, key);
        RegCloseKey(key);
    }
    static std::wstring Value(size_t index, const wchar_t* name)
    {
        return RegRead(SkuKey(Row(index).uninstallKey), name).Text();
    }
};

TEST_F(LegacySkus, table_has_twenty_two_distinct_games_of_the_fixed_shape)
{
    ASSERT_EQ(22u, LegacySkuTableSize);
    std::set<std::wstring> codes, keys, names;
    for (size_t index = 0; index < LegacySkuTableSize; ++index) {
        const std::wstring sku = Row(index).skuCode;
        ASSERT_EQ(43u, sku.size()) << sku;
        EXPECT_EQ(L"lmbbdl-", sku.substr(0, 7));
        for (size_t at = 7; at < sku.size(); ++at) {
            const bool dash = at == 15 || at == 20 || at == 25 || at == 30;
            EXPECT_TRUE(dash ? sku[at] == L'-' : iswxdigit(sku[at]) && !iswupper(sku[at])) << sku;
        }
        codes.insert(sku);
        keys.insert(Row(index).uninstallKey);
        names.insert(Row(index).productCodeName);
    }
    EXPECT_EQ(22u, codes.size());
    EXPECT_EQ(22u, keys.size());
    EXPECT_EQ(22u, names.size());
}

TEST_F(LegacySkus, listed_games_are_completed_once_from_their_own_uninstall_entries)
{
    const std::wstring folderA = games / L"A";
    const std::wstring folderB = games / L"B";
    CreateDirectoryW(folderA.c_str(), nullptr);
    CreateDirectoryW(folderB.c_str(), nullptr);
    struct Case {
        const char* what;
        const wchar_t* valueName;  // null: the game has no uninstall entry
        std::wstring value;
        std::wstring folder;       // the InstallDirectory expected
    } cases[] = {
        {"existing folder with a trailing backslash", L"InstallLocation", folderA + L"\\", folderA},
        {"existing folder without one", L"InstallDir", folderB, folderB},
        {"folder that is gone, trailing backslash", L"InstallDirectory", L"D:\\Games\\X\\", L"D:\\Games\\X"},
        {"folder that is gone, no trailing backslash", L"InstallLocation", L"D:\\Games\\X", L"D:\\Games"},
        {"icon with an index", L"DisplayIcon", L"D:\\Games\\X\\x.exe,0", L"D:\\Games\\X"},
        {"quoted icon with an index", L"DisplayIcon", L"\"D:\\Games\\Y\\y.exe\",0", L"D:\\Games\\Y"},
        {"uninstaller command", L"UninstallString", L"\"D:\\Games\\Z\\unins000.exe\" /SILENT", L"D:\\Games\\Z"},
        {"no uninstall entry", nullptr, L"", L""},
    };
    const size_t caseCount = sizeof(cases) / sizeof(cases[0]);
    for (size_t index = 0; index < caseCount; ++index) {
        ListGame(index);
        if (cases[index].valueName != nullptr) {
            // Empty values before it are passed over.
            RegSetText(GameEntry(Row(index).uninstallKey), L"InstallLocation", L"");
            RegSetText(GameEntry(Row(index).uninstallKey), cases[index].valueName, cases[index].value);
        }
    }
    RegisterLegacySkus(Options({}));

    for (size_t index = 0; index < caseCount; ++index) {
        const LegacySkuRow& row = Row(index);
        const std::wstring key = SkuKey(row.uninstallKey);
        EXPECT_EQ(15u, LmTest::RegReadValues(key).size()) << cases[index].what;
        EXPECT_EQ(cases[index].folder, Value(index, L"InstallDirectory")) << cases[index].what;
        const struct {
            const wchar_t* name;
            std::wstring text;
        } values[] = {
            {L"ProductCodeName", row.productCodeName},
            {L"InstallerKey", row.uninstallKey},
            {L"ExeName", row.exeName},
            {L"RuntimeExeName", row.exeName},
            {L"LaunchExeName", row.exeName},
            {L"ProductDisplayName", row.displayName},
            {L"ProductName", row.displayName},
            {L"esrb", row.ratingLetter},
            {L"lmRating", row.ratingDigit},
            {L"DPCodeName", L"larchplay"},
            {L"BrandCodeName", L"larchplay"},
            {L"HideBuyButton", L"0"},
            {L"UseHOTTracking", L"True"},
            {L"BuyURL", L"http://store.larchmeadow.example/product/buy.aspx?ProductCodeName=" +
                            std::wstring(row.productCodeName) + L"&DPCodeName=larchplay"},
        };
        for (const auto& value : values) {
            const LmTest::RegValue read = RegRead(key, value.name);
            EXPECT_EQ(static_cast<DWORD>(REG_SZ), read.type) << cases[index].what << ": " << value.name;
            EXPECT_EQ(value.text, read.Text()) << cases[index].what << ": " << value.name;
        }
    }
    // Games that no older edition listed get nothing.
    for (size_t index = caseCount; index < LegacySkuTableSize; ++index)
        EXPECT_FALSE(RegKeyExists(SkuKey(Row(index).uninstallKey))) << index;
    EXPECT_EQ(L"1", RegRead(LmTest::kTestTouchpointEntry, L"LegacySKUValuesSet").Text());

    // Once applied, a second run changes nothing, even for games listed since.
    RegSetText(SkuKey(Row(0).uninstallKey), L"InstallDirectory", L"changed by the application");
    ListGame(caseCount);
    RegisterLegacySkus(Options({}));
    EXPECT_EQ(L"changed by the application", Value(0, L"InstallDirectory"));
    EXPECT_EQ(0u, LmTest::RegReadValues(SkuKey(Row(caseCount).uninstallKey)).size());
}

TEST_F(LegacySkus, old_sku_code_keys_go_and_registered_products_are_left_alone)
{
    // Row 0: not listed, but an old SKU-code key. Row 1: listed, its product already registered
    // under another name. Row 2: listed, an old SKU-code key too.
    RegSetText(SkuKey(Row(0).skuCode), L"ProductCodeName", L"stale");
    RegSetText(SkuKey(Row(0).skuCode) + L"\\Sub", L"x", L"y");
    ListGame(1);
    RegSetText(SkuKey(L"current-entry"), L"ProductCodeName", Row(1).productCodeName);
    ListGame(2);
    RegSetText(SkuKey(Row(2).skuCode), L"ProductCodeName", L"stale");
    // Entries of the main application that cannot be read name no product and stop nothing.
    RegSetDword(SkuKey(L"aa-number"), L"ProductCodeName", 7);

    RegisterLegacySkus(Options({}));
    EXPECT_FALSE(RegKeyExists(SkuKey(Row(0).skuCode)));
    EXPECT_FALSE(RegKeyExists(SkuKey(Row(0).uninstallKey)));
    EXPECT_EQ(0u, LmTest::RegReadValues(SkuKey(Row(1).uninstallKey)).size()) << "already registered";
    EXPECT_EQ(Row(1).productCodeName, RegRead(SkuKey(L"current-entry"), L"ProductCodeName").Text());
    EXPECT_FALSE(RegKeyExists(SkuKey(Row(2).skuCode)));
    EXPECT_EQ(Row(2).productCodeName, Value(2, L"ProductCodeName"));
    EXPECT_EQ(L"", Value(2, L"InstallDirectory")) << "its own uninstall entry is gone";
    EXPECT_EQ(L"1", RegRead(LmTest::kTestTouchpointEntry, L"LegacySKUValuesSet").Text());
}

TEST_F(LegacySkus, options_and_a_missing_touchpoint_entry_leave_everything_untouched)
{
    struct Case {
        const char* what;
        std::vector<const wchar_t*> arguments;
        bool entry;
    } cases[] = {
        {"/nolegacyskuvalues", {L"/nolegacyskuvalues"}, true},
        {"/restore", {L"/restore"}, true},
        {"no touchpoint entry", {}, false},
    };
    for (const Case& c : cases) {
        LmTest::RegDeleteTreeAt(LmTest::kTestTouchpointEntry);
        if (c.entry)
            RegSetText(LmTest::kTestTouchpointEntry, L"Version", L"4.1.1.132");
        ListGame(0);
        RegSetText(SkuKey(Row(1).skuCode), L"ProductCodeName", L"stale");

        RegisterLegacySkus(Options(c.arguments));
        EXPECT_EQ(c.entry, RegKeyExists(LmTest::kTestTouchpointEntry)) << c.what << ": no bare entry is made";
        EXPECT_FALSE(RegRead(LmTest::kTestTouchpointEntry, L"LegacySKUValuesSet").exists) << c.what;
        EXPECT_EQ(0u, LmTest::RegReadValues(SkuKey(Row(0).uninstallKey)).size()) << c.what;
        EXPECT_TRUE(RegKeyExists(SkuKey(Row(1).skuCode))) << c.what;
    }
}

} // namespace
} // namespace Installer
} // namespace Lm
