#include "Installer/OlderInstallations.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CaughtException.h"
#include "TestRegistry.h"
#include "TouchpointMachine.h"

namespace Lm {
namespace Installer {
namespace {

using LmTest::RegKeyExists;
using LmTest::RegRead;
using LmTest::RegSetDword;
using LmTest::RegSetText;

TEST(UninstallerArguments, silent_is_added_unless_the_text_holds_it_with_case)
{
    struct Case {
        const wchar_t* arguments;
        const wchar_t* result;
    } cases[] = {
        {L"", L"/silent"},
        {L"/x", L"/x /silent"},
        {L" /x", L" /x /silent"},
        {L"/SILENT", L"/SILENT /silent"},
        {L"/silentmode", L"/silentmode"},
        {L"/a /silent /b", L"/a /silent /b"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.result, AddSilentOption(c.arguments)) << c.arguments;
}

class OlderInstallations : public testing::Test {
protected:
    LmTest::TouchpointMachine machine;
    LmTest::StandInLogFolder logs;
    LmTest::ScratchFolder programs{L"lmold"};

    void SetUp() override
    {
        for (const wchar_t* key : {LmTest::kTestTouchpointEntry, LmTest::kTestMainAppEntry, LmTest::kTestInterfaceKey,
                                   LmTest::kTestAppIdKey})
            LmTest::RegDeleteTreeAt(key);
        LmTest::RemoveTree(LmTest::TouchpointFolder());
    }

    // A touchpoint of the given version ("": none) whose entry points at an existing Uninstall.exe.
    void OldTouchpoint(const wchar_t* version)
    {
        const std::wstring uninstaller = LmTest::TouchpointFolder() + L"\\Uninstall.exe";
        ASSERT_FALSE(LmTest::PlaceStandIn(uninstaller, false).empty());
        RegSetText(LmTest::kTestTouchpointEntry, L"UninstallString", L"\"" + uninstaller + L"\"");
        if (version != nullptr)
            RegSetText(LmTest::kTestTouchpointEntry, L"Version", version);
    }
    // The main application's uninstaller, a stand-in signed as the maker or not.
    std::wstring MainUninstaller(bool signedAsMaker)
    {
        const std::wstring path = programs / L"app\\MainUninstall.exe";
        EXPECT_FALSE(LmTest::PlaceStandIn(path, signedAsMaker).empty());
        const std::wstring command = L"\"" + path + L"\" /own-arguments";
        RegSetText(LmTest::kTestMainAppEntry, L"UninstallString", command);
        return command;
    }
};

TEST_F(OlderInstallations, an_entry_is_valid_when_its_uninstall_string_names_an_existing_file)
{
    const std::wstring file = LmTest::PlaceStandIn(programs / L"unins000.exe", false);
    const std::wstring entry = std::wstring(LmTest::kTestUninstallRoot) + L"\\" + LmTest::UniqueName(L"LmTestEntry");
    struct Case {
        const char* what;
        DWORD type;   // REG_NONE: no value; REG_DWORD: a number
        std::wstring value;
        bool valid;
    } cases[] = {
        {"quoted program with arguments", REG_SZ, L"\"" + file + L"\" /S", true},
        {"unquoted program", REG_SZ, file, true},
        {"unquoted program with arguments", REG_SZ, file + L" /S", false},
        {"expandable text", REG_EXPAND_SZ, L"\"" + file + L"\"", true},
        {"quoted folder", REG_SZ, L"\"" + programs.Path() + L"\"", false},
        {"missing program", REG_SZ, L"\"" + programs / L"gone.exe" + L"\"", false},
        {"empty text", REG_SZ, L"", false},
        {"no value", REG_NONE, L"", false},
        {"a number", REG_DWORD, L"", false},
    };
    const std::wstring name = entry.substr(entry.rfind(L'\\') + 1);
    EXPECT_FALSE(IsUninstallEntryValid(name)) << "no entry";
    for (const Case& c : cases) {
        LmTest::RegDeleteTreeAt(entry);
        HKEY key = LmTest::RegCreate(entry);
        RegCloseKey(key);
        if (c.type == REG_DWORD)
            RegSetDword(entry, L"UninstallString", 1);
        else if (c.type != REG_NONE)
            RegSetText(entry, L"UninstallString", c.value, c.type);
        EXPECT_EQ(c.valid, IsUninstallEntryValid(name)) << c.what;
    }
    LmTest::RegDeleteTreeAt(entry);
}

TEST_F(OlderInstallations, an_old_touchpoint_is_removed_by_the_main_uninstaller_whose_command_is_kept)
{
    struct Case {
        const char* what;
        const wchar_t* version;   // null: no "Version"
        bool restoreCopy;         // Restore.exe in the touchpoint folder
        bool runs;
    } cases[] = {
        {"older version", L"4.0.3.56", false, true},
        {"no version", nullptr, false, true},
        {"version as a number counts as none", L"", false, true},
        {"the version itself", L"4.0.3.57", false, false},
        {"newer version", L"4.1", false, false},
        {"old, but Restore.exe is there", L"4.0.2", true, false},
    };
    for (const Case& c : cases) {
        SetUp();
        logs.Clear(L"MainUninstall.exe");
        OldTouchpoint(c.version);
        if (c.version != nullptr && c.version[0] == 0)
            RegSetDword(LmTest::kTestTouchpointEntry, L"Version", 4);
        if (c.restoreCopy)
            LmTest::PlaceStandIn(LmTest::TouchpointFolder() + L"\\Restore.exe", false);
        const std::wstring command = MainUninstaller(true);

        UpgradeLegacyUninstall();
        const auto records = logs.Records(L"MainUninstall.exe");
        ASSERT_EQ(c.runs ? 1u : 0u, records.size()) << c.what;
        if (c.runs) {
            EXPECT_EQ(L"/silent /S /InitiatedFromAnInstaller", records[0].arguments) << c.what;
            EXPECT_EQ(programs / L"app", records[0].workdir) << c.what;
        }
        EXPECT_EQ(command, RegRead(LmTest::kTestMainAppEntry, L"UninstallString").Text()) << c.what;
    }
}

TEST_F(OlderInstallations, nothing_runs_without_a_valid_touchpoint_or_a_main_entry)
{
    // No touchpoint entry at all.
    MainUninstaller(true);
    UpgradeLegacyUninstall();
    EXPECT_TRUE(logs.Records(L"MainUninstall.exe").empty());

    // An old touchpoint, but no main application's entry: none is made.
    LmTest::RegDeleteTreeAt(LmTest::kTestMainAppEntry);
    OldTouchpoint(L"4.0.1");
    UpgradeLegacyUninstall();
    EXPECT_FALSE(RegKeyExists(LmTest::kTestMainAppEntry));

    // A main application's entry without a command, or with one of another type.
    RegSetText(LmTest::kTestMainAppEntry, L"UninstallString", L"");
    UpgradeLegacyUninstall();
    RegSetDword(LmTest::kTestMainAppEntry, L"UninstallString", 3);
    UpgradeLegacyUninstall();
    EXPECT_EQ(3u, RegRead(LmTest::kTestMainAppEntry, L"UninstallString").Dword());
    EXPECT_TRUE(logs.Records(L"MainUninstall.exe").empty());
}

TEST_F(OlderInstallations, the_command_is_written_back_when_the_uninstaller_may_not_run)
{
    OldTouchpoint(L"4.0.1");
    const std::wstring command = MainUninstaller(false);
    const std::wstring caught = LmTest::CaughtException([] { UpgradeLegacyUninstall(); }).Message();
    EXPECT_NE(std::wstring::npos, caught.find(L"File is not signed")) << caught;
    EXPECT_EQ(command, RegRead(LmTest::kTestMainAppEntry, L"UninstallString").Text());
    EXPECT_TRUE(logs.Records(L"MainUninstall.exe").empty());

    const std::wstring missing = L"\"" + programs / L"gone\\MainUninstall.exe" + L"\"";
    RegSetText(LmTest::kTestMainAppEntry, L"UninstallString", missing);
    const std::wstring gone = LmTest::CaughtException([] { UpgradeLegacyUninstall(); }).Message();
    EXPECT_NE(std::wstring::npos, gone.find(L"File does not exist: ")) << gone;
    EXPECT_EQ(missing, RegRead(LmTest::kTestMainAppEntry, L"UninstallString").Text());
}

TEST_F(OlderInstallations, the_legacy_helper_registration_is_repaired_only_when_its_interface_is_there)
{
    struct Case {
        const char* what;
        const wchar_t* interfaceName;   // null: no interface key
        bool repaired;
    } cases[] = {
        {"no interface key", nullptr, false},
        {"another interface", L"IOtherDispatcher", false},
        {"other letter case", L"iinstalldispatcher", false},
        {"the helper's interface", L"IInstallDispatcher", true},
    };
    for (const Case& c : cases) {
        LmTest::RegDeleteTreeAt(LmTest::kTestInterfaceKey);
        LmTest::RegDeleteTreeAt(LmTest::kTestAppIdKey);
        if (c.interfaceName != nullptr)
            RegSetText(LmTest::kTestInterfaceKey, L"", c.interfaceName);
        RemoveLegacyConsole();
        EXPECT_EQ(c.repaired, RegKeyExists(LmTest::kTestAppIdKey)) << c.what;
        if (c.repaired) {
            EXPECT_EQ(L"LMInstallHelper", RegRead(LmTest::kTestAppIdKey, L"").Text());
            EXPECT_EQ(L"PlaydeckService", RegRead(LmTest::kTestAppIdKey, L"LocalService").Text());
        }
    }
    // A broken AppID value is overwritten; other values stay.
    RegSetDword(LmTest::kTestAppIdKey, L"LocalService", 5);
    RegSetText(LmTest::kTestAppIdKey, L"RunAs", L"Interactive User");
    RemoveLegacyConsole();
    EXPECT_EQ(L"PlaydeckService", RegRead(LmTest::kTestAppIdKey, L"LocalService").Text());
    EXPECT_EQ(L"Interactive User", RegRead(LmTest::kTestAppIdKey, L"RunAs").Text());
}

// An older edition's entry in the machine's uninstall list, removed after the test.
struct LegacyEntry {
    LmTest::ScopedRegistryKey key{LmTest::kTestUninstallRoot, L"LmTestQuollConsole"};
    LegacyEntry()
    {
        RegSetText(key.Path(), L"LarchmeadowUninstallDisplayName", L"Quoll Console");
        RegSetText(key.Path(), L"ConsoleBrand-Original", L"larchplay");
    }
};

TEST_F(OlderInstallations, the_older_edition_runs_the_first_uninstaller_that_exists_from_a_signed_copy)
{
    const std::wstring uninstaller = LmTest::PlaceStandIn(programs / L"quoll\\QuollUninstall.exe", true);
    LegacyEntry legacy;
    RegSetText(legacy.key.Path(), L"LMIntegratedUninstall", L"\"" + programs / L"quoll\\gone.exe" + L"\" /i");
    RegSetText(legacy.key.Path(), L"UninstallString", L"\"" + uninstaller + L"\" /x");
    RegSetText(legacy.key.Path(), L"InstallLocation", programs / L"quoll");

    RemoveLegacyConsole();
    const auto records = logs.Records(L"Uninstall.exe");
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(L"/x /silent", records[0].arguments);
    EXPECT_EQ(programs / L"quoll", records[0].workdir);
    // The copy ran from a temporary folder of its own, which is gone again.
    EXPECT_NE(uninstaller, records[0].exe);
    EXPECT_NE(std::wstring::npos, records[0].exe.find(L"\\pdtpi-")) << records[0].exe;
    EXPECT_FALSE(LmTest::FileExists(records[0].exe));
    EXPECT_TRUE(logs.Records(L"QuollUninstall.exe").empty());
}

TEST_F(OlderInstallations, an_older_edition_with_no_existing_uninstaller_or_an_unsigned_one)
{
    LegacyEntry legacy;
    RegSetText(legacy.key.Path(), L"UninstallString", L"\"" + programs / L"gone.exe" + L"\"");
    RegSetText(legacy.key.Path(), L"InstallLocation", programs.Path());
    RemoveLegacyConsole();
    EXPECT_TRUE(logs.Records(L"Uninstall.exe").empty()) << "a folder is no program";

    const std::wstring unsignedUninstaller = LmTest::PlaceStandIn(programs / L"QuollUninstall.exe", false);
    RegSetText(legacy.key.Path(), L"UninstallString", L"\"" + unsignedUninstaller + L"\"");
    const std::wstring caught = LmTest::CaughtException([] { RemoveLegacyConsole(); }).Message();
    EXPECT_NE(std::wstring::npos, caught.find(L"File is not signed")) << caught;
    EXPECT_TRUE(logs.Records(L"Uninstall.exe").empty());
}

TEST_F(OlderInstallations, the_application_just_installed_and_the_touchpoint_are_never_taken_for_older_editions)
{
    const std::wstring uninstaller = LmTest::PlaceStandIn(programs / L"AppUninstall.exe", true);
    for (const wchar_t* entry : {LmTest::kTestMainAppEntry, LmTest::kTestTouchpointEntry}) {
        RegSetText(entry, L"LarchmeadowUninstallDisplayName", L"Larchmeadow Games App");
        RegSetText(entry, L"ConsoleBrand", L"larchplay");
        RegSetText(entry, L"ConsoleDP", L"larchplay");
        RegSetText(entry, L"UninstallString", L"\"" + uninstaller + L"\"");
    }
    RemoveLegacyConsole();
    EXPECT_TRUE(logs.Records(L"Uninstall.exe").empty());

    // An older edition beside them is still found.
    LegacyEntry legacy;
    RegSetText(legacy.key.Path(), L"UninstallString", L"\"" + uninstaller + L"\" /old");
    RemoveLegacyConsole();
    const auto records = logs.Records(L"Uninstall.exe");
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(L"/old /silent", records[0].arguments);
}

} // namespace
} // namespace Installer
} // namespace Lm
