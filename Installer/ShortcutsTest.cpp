#include "Installer/Shortcuts.h"

#include <gtest/gtest.h>
#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "System/Win32/DebuggingContract.h"
#include "TestProcess.h"
#include "TestRegistry.h"
#include "TestShellLinks.h"
#include "TouchpointMachine.h"

namespace Lm {
namespace Installer {
namespace {

using LmTest::FileExists;

std::wstring StartMenuLink() { return LmTest::StartMenuGamesFolder() + L"\\Larchmeadow Games.lnk"; }
std::wstring ProgramsLink() { return LmTest::KnownFolder(FOLDERID_CommonPrograms) + L"\\Larchmeadow Games.lnk"; }
std::wstring PinHookPath() { return LmTest::TouchpointFolder() + L"\\PinHook.exe"; }
std::wstring IconPath() { return LmTest::TouchpointFolder() + L"\\Application.ico"; }
std::wstring Target() { return LmTest::MainAppFolder() + L"\\Playdeck-lm.exe"; }

// Links written by the step driver, branded by a PinHook stand-in whose command lines are read.
class Shortcuts : public testing::Test {
protected:
    LmTest::TouchpointMachine machine;
    LmTest::StandInLogFolder logs;
    LmTest::ComApartment com;

    void SetUp() override
    {
        for (const std::wstring& link : {StartMenuLink(), ProgramsLink(), LmTest::PublicDesktopLink()}) {
            SetFileAttributesW(link.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(link.c_str());
        }
        LmTest::RemoveTree(LmTest::TouchpointFolder());
        ASSERT_FALSE(LmTest::PlaceStandIn(PinHookPath(), true).empty());
        LmTest::WriteFileUtf8(IconPath(), L"icon");
    }

    static LmTest::StepResult Step(const std::wstring& step, const std::wstring& arguments)
    {
        return LmTest::RunTouchpointStep(step, arguments);
    }
    std::vector<LmTest::StandInRecord> PinHookRuns() const { return logs.Records(L"PinHook.exe"); }

    static std::wstring PinHookArguments(const std::wstring& link, const wchar_t* tag)
    {
        return L"\"" + link + L"\" \"" + PinHookPath() + L"\" \"" + IconPath() + L"\" " + tag;
    }
};

TEST_F(Shortcuts, links_start_the_application_with_the_dp_and_carry_the_tagline_of_the_ui_language)
{
    for (int language : {0, 4, 6, 9}) {
        logs.Clear(L"PinHook.exe");
        DeleteFileW(StartMenuLink().c_str());
        DeleteFileW(LmTest::PublicDesktopLink().c_str());
        const std::wstring arguments = L"/dp=partner!x /lang=" + std::to_wstring(language);
        ASSERT_EQ(0u, Step(L"startmenu", arguments).run.exitCode) << language;
        ASSERT_EQ(0u, Step(L"desktop", arguments).run.exitCode) << language;

        const std::wstring tagline = InstallerMessageText(GetInstallerMessageRow(language), kMessageTagline);
        struct {
            std::wstring link;
            const wchar_t* arguments;
        } links[] = {{StartMenuLink(), L"/src gamesmenu /dp partner"},
                     {LmTest::PublicDesktopLink(), L"/src desktop /dp partner"}};
        for (const auto& expected : links) {
            LmTest::ShellLinkData link;
            ASSERT_TRUE(LmTest::ReadShellLink(expected.link, link)) << expected.link;
            EXPECT_EQ(Target(), link.target);
            EXPECT_EQ(expected.arguments, link.arguments);
            EXPECT_EQ(IconPath(), link.iconPath);
            EXPECT_EQ(0, link.iconIndex);
            EXPECT_EQ(L"", link.workingFolder);
            EXPECT_EQ(tagline, link.description) << language;
        }
        const auto runs = PinHookRuns();
        ASSERT_EQ(2u, runs.size()) << language;
        EXPECT_EQ(PinHookArguments(StartMenuLink(), L"S8"), runs[0].arguments);
        EXPECT_EQ(PinHookArguments(LmTest::PublicDesktopLink(), L"DT"), runs[1].arguments);
        for (const auto& run : runs) {
            EXPECT_EQ(LmTest::TouchpointFolder(), run.workdir);
            EXPECT_EQ(L"\"" + PinHookPath() + L"\"", run.commandLine.substr(0, PinHookPath().size() + 2));
        }
    }
}

TEST_F(Shortcuts, an_existing_link_is_left_as_it_is_but_branded_again)
{
    const LmTest::ShellLinkData old{L"C:\\windows\\notepad.exe", L"/old", L"", L"an older link", L"", 0};
    CreateDirectoryW(LmTest::StartMenuGamesFolder().c_str(), nullptr);
    ASSERT_TRUE(LmTest::CreateShellLink(StartMenuLink(), old));
    ASSERT_TRUE(LmTest::CreateShellLink(LmTest::PublicDesktopLink(), old));
    SetFileAttributesW(LmTest::PublicDesktopLink().c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);

    ASSERT_EQ(0u, Step(L"startmenu", L"/dp=larchplay").run.exitCode);
    ASSERT_EQ(0u, Step(L"desktop", L"/dp=larchplay").run.exitCode);
    for (const std::wstring& path : {StartMenuLink(), LmTest::PublicDesktopLink()}) {
        LmTest::ShellLinkData link;
        ASSERT_TRUE(LmTest::ReadShellLink(path, link)) << path;
        EXPECT_EQ(L"/old", link.arguments) << path;
        EXPECT_EQ(L"an older link", link.description) << path;
    }
    EXPECT_EQ(2u, PinHookRuns().size());
    const DWORD attributes = GetFileAttributesW(LmTest::PublicDesktopLink().c_str());
    EXPECT_EQ(0u, attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)) << std::hex << attributes;
}

TEST_F(Shortcuts, options_and_the_folder_setting_choose_which_links_are_made_where)
{
    struct Case {
        const char* what;
        const wchar_t* option;
        const wchar_t* ini;   // the shared ini file's text, or null for none
        bool startMenuFolderLink;
        bool programsLink;
        bool desktopLink;
    } cases[] = {
        {"defaults", L"", nullptr, true, false, true},
        {"/nostartmenu", L"/nostartmenu", nullptr, false, false, true},
        {"/nodesktop", L"/nodesktop", nullptr, true, false, false},
        {"both", L"/nostartmenu /nodesktop", nullptr, false, false, false},
        {"folder setting off", L"", L"[Main]\r\nShortcutInStartMenuFolder=false\r\n", false, true, true},
        {"folder setting on", L"", L"[Main]\r\nShortcutInStartMenuFolder=true\r\n", true, false, true},
    };
    for (const Case& c : cases) {
        SetUp();
        logs.Clear(L"PinHook.exe");
        LmTest::RemoveTree(LmTest::StartMenuGamesFolder());
        DeleteFileW(LmTest::SharedIniPath().c_str());
        if (c.ini != nullptr) {
            SHCreateDirectoryExW(nullptr, LmTest::KnownFolder(FOLDERID_ProgramData).append(L"\\Larchmeadow").c_str(),
                                 nullptr);
            LmTest::WriteFileUtf8(LmTest::SharedIniPath(), c.ini);
        }
        ASSERT_EQ(0u, Step(L"startmenu", std::wstring(L"/dp=larchplay ") + c.option).run.exitCode) << c.what;
        ASSERT_EQ(0u, Step(L"desktop", std::wstring(L"/dp=larchplay ") + c.option).run.exitCode) << c.what;
        EXPECT_EQ(c.startMenuFolderLink, FileExists(StartMenuLink())) << c.what;
        EXPECT_EQ(c.programsLink, FileExists(ProgramsLink())) << c.what;
        EXPECT_EQ(c.desktopLink, FileExists(LmTest::PublicDesktopLink())) << c.what;
        const bool startMenu = c.startMenuFolderLink || c.programsLink;
        EXPECT_EQ(startMenu, LmTest::DirectoryExists(LmTest::StartMenuGamesFolder()))
            << c.what << ": the folder is made whichever folder gets the link";
        EXPECT_EQ((startMenu ? 1u : 0u) + (c.desktopLink ? 1u : 0u), PinHookRuns().size()) << c.what;
    }
}

TEST_F(Shortcuts, a_missing_pinhook_leaves_the_start_menu_link_silent_and_fails_the_desktop_link)
{
    DeleteFileW(PinHookPath().c_str());
    const LmTest::StepResult startMenu = Step(L"startmenu", L"/dp=larchplay");
    EXPECT_EQ(0u, startMenu.run.exitCode);
    EXPECT_TRUE(FileExists(StartMenuLink()));
    const LmTest::StepResult desktop = Step(L"desktop", L"/dp=larchplay");
    EXPECT_EQ(1u, desktop.run.exitCode);
    EXPECT_NE(std::wstring::npos, desktop.error.find(L"File does not exist: " + PinHookPath())) << desktop.error;
    EXPECT_TRUE(FileExists(LmTest::PublicDesktopLink())) << "the link is written before PinHook runs";

    // An unsigned PinHook brands the Start-menu link, never the desktop one.
    DeleteFileW(StartMenuLink().c_str());
    DeleteFileW(LmTest::PublicDesktopLink().c_str());
    ASSERT_FALSE(LmTest::PlaceStandIn(PinHookPath(), false).empty());
    EXPECT_EQ(0u, Step(L"startmenu", L"/dp=larchplay").run.exitCode);
    const LmTest::StepResult unsignedDesktop = Step(L"desktop", L"/dp=larchplay");
    EXPECT_EQ(1u, unsignedDesktop.run.exitCode);
    EXPECT_NE(std::wstring::npos, unsignedDesktop.error.find(L"File is not signed")) << unsignedDesktop.error;
    const auto runs = PinHookRuns();
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ(PinHookArguments(StartMenuLink(), L"S8"), runs[0].arguments);
}

TEST_F(Shortcuts, a_pinhook_that_does_not_end_is_ended_within_its_bound)
{
    const LmTest::ScopedTestBound bound(System::Win32::kPinHookTimeoutTestValue, 3000);
    ASSERT_TRUE(bound.Active()) << "the test environment is off: the shipped bound would count";
    struct EndHungPinHooks {
        ~EndHungPinHooks() { LmTest::EndProcessesOf(PinHookPath()); }
    } endHungPinHooks;
    SetEnvironmentVariableW(L"LM_STANDIN_SLEEP", L"PinHook.exe:600000");
    const LmTest::StepResult startMenu = Step(L"startmenu", L"/dp=larchplay");
    const LmTest::StepResult desktop = Step(L"desktop", L"/dp=larchplay");
    SetEnvironmentVariableW(L"LM_STANDIN_SLEEP", nullptr);

    // The Start-menu link stays unbranded without a report; the desktop link's PinHook fails the step.
    ASSERT_TRUE(startMenu.run.finished) << "the Start-menu link waited for PinHook without end";
    EXPECT_EQ(0u, startMenu.run.exitCode) << startMenu.error;
    EXPECT_TRUE(FileExists(StartMenuLink()));
    ASSERT_TRUE(desktop.run.finished) << "the desktop link waited for PinHook without end";
    EXPECT_EQ(1u, desktop.run.exitCode);
    EXPECT_NE(std::wstring::npos, desktop.error.find(L"Process did not end in time")) << desktop.error;
    EXPECT_TRUE(LmTest::RunningProcessesOf(PinHookPath()).empty()) << "a hung PinHook was left running";
}

// Whether an access-allowed entry of the folder's access list lets Everyone add or change files.
bool EveryoneMayWrite(const std::wstring& folder, std::wstring& descriptorText)
{
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &descriptor) != ERROR_SUCCESS)
        return true;
    LPWSTR text = nullptr;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                             &text, nullptr)) {
        descriptorText = text;
        LocalFree(text);
    }
    bool mayWrite = dacl == nullptr;   // no list at all lets everyone in
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    const ACCESS_MASK write = GENERIC_ALL | GENERIC_WRITE | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_WRITE_DATA |
                              WRITE_DAC | WRITE_OWNER | DELETE;
    for (DWORD index = 0; dacl != nullptr && index < dacl->AceCount; ++index) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, index, reinterpret_cast<void**>(&header)) || header->AceType != ACCESS_ALLOWED_ACE_TYPE)
            continue;
        auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        if (EqualSid(reinterpret_cast<PSID>(&ace->SidStart), everyone) && (ace->Mask & write) != 0)
            mayWrite = true;
    }
    FreeSid(everyone);
    LocalFree(descriptor);
    return mayWrite;
}

// Wine derives a folder's access list from its Unix mode and keeps no descriptor given at its
// creation, so a folder made with full access for Everyone passes here too; Windows shows it.
TEST_F(Shortcuts, the_start_menu_folder_lets_no_ordinary_user_plant_links)
{
    LmTest::RemoveTree(LmTest::StartMenuGamesFolder());
    ASSERT_EQ(0u, Step(L"startmenu", L"/dp=larchplay").run.exitCode);
    ASSERT_TRUE(LmTest::DirectoryExists(LmTest::StartMenuGamesFolder()));
    std::wstring descriptor;
    EXPECT_FALSE(EveryoneMayWrite(LmTest::StartMenuGamesFolder(), descriptor)) << descriptor;

}

} // namespace
} // namespace Installer
} // namespace Lm
