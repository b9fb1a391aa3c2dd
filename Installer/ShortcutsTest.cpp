#include "Installer/Shortcuts.h"

#include <gtest/gtest.h>
#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "AccessList.h"
#include "TestShellLinks.h"
#include "TouchpointMachine.h"
#include "TrustedTestOwner.h"

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
    // The settings file the test writes counts as the administrators' (under Wine every file is
    // the test user's).
    LmTest::TrustedTestOwner trusted;
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

TEST_F(Shortcuts, the_start_menu_folder_lets_users_add_links_and_change_none_of_the_suites)
{
    LmTest::RemoveTree(LmTest::StartMenuGamesFolder());
    ASSERT_EQ(0u, Step(L"startmenu", L"/dp=larchplay").run.exitCode);
    const LmTest::AccessList list = LmTest::ReadAccessList(LmTest::StartMenuGamesFolder());
    ASSERT_TRUE(list.read);
    ASSERT_TRUE(list.present) << "no list lets everyone in";
    std::wstring entries;
    for (const std::wstring& entry : list.entries)
        entries += entry + L" ";
    if (LmTest::KeepsProtectedAccessLists(LmTest::KnownFolder(FOLDERID_CommonPrograms))) {
        // SYSTEM and Administrators everything; users read and add files (no folders); each file
        // is its maker's; nothing of the Programs folder's list.
        EXPECT_TRUE(list.protectedList);
        EXPECT_EQ((std::vector<std::wstring>{L"0/03/001f01ff/S-1-5-18", L"0/03/001f01ff/S-1-5-32-544",
                                             L"0/03/001200a9/S-1-5-32-545", L"0/00/00000002/S-1-5-32-545",
                                             L"0/09/001f01ff/S-1-3-0"}),
                  list.entries);
    } else {
        // Wine makes the list up from the file mode: the inherited list shows everyone's reading
        // there, a list that gives everyone full control everyone's writing, this one neither.
        EXPECT_FALSE(LmTest::HasEntryFor(list, L"S-1-1-0")) << entries;
    }
}

TEST_F(Shortcuts, a_start_menu_folder_that_is_a_link_takes_no_link)
{
    LmTest::ScratchFolder elsewhere(L"lmelsewhere");
    LmTest::RemoveTree(LmTest::StartMenuGamesFolder());
    if (!LmTest::MakeFolderLink(LmTest::StartMenuGamesFolder(), elsewhere.Path()))
        GTEST_SKIP() << "no way to make a link to a folder here";
    const LmTest::StepResult step = Step(L"startmenu", L"/dp=larchplay");
    LmTest::RemoveFolderLink(LmTest::StartMenuGamesFolder());
    EXPECT_EQ(0u, step.run.exitCode);
    EXPECT_EQ(std::vector<std::wstring>{}, LmTest::FolderEntries(elsewhere.Path())) << "a link went through it";
    EXPECT_TRUE(PinHookRuns().empty());
}

TEST_F(Shortcuts, a_planted_second_name_of_another_file_is_replaced_not_written_through)
{
    // Users may add files to the Start-menu folder: one may name another file of the machine
    // under the link's name before the suite writes its link.
    LmTest::ScratchFolder elsewhere(L"lmelsewhere");
    const std::wstring precious = elsewhere / L"precious.dat";
    LmTest::WriteFileUtf8(precious, L"precious");
    CreateDirectoryW(LmTest::StartMenuGamesFolder().c_str(), nullptr);
    DeleteFileW(StartMenuLink().c_str());
    ASSERT_TRUE(CreateHardLinkW(StartMenuLink().c_str(), precious.c_str(), nullptr)) << GetLastError();

    ASSERT_EQ(0u, Step(L"startmenu", L"/dp=larchplay").run.exitCode);
    EXPECT_EQ(L"precious", LmTest::ReadFileUtf8(precious));
    LmTest::ShellLinkData link;
    ASSERT_TRUE(LmTest::ReadShellLink(StartMenuLink(), link)) << "the suite's link is not there";
    EXPECT_EQ(Target(), link.target);
    EXPECT_EQ(1u, PinHookRuns().size());
}

} // namespace
} // namespace Installer
} // namespace Lm
