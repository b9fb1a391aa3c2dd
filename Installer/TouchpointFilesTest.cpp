#include "Installer/TouchpointFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CaughtException.h"
#include "PinHook/PinHookContract.h"
#include "TestShellLinks.h"
#include "TouchpointMachine.h"

namespace Lm {
namespace Installer {
namespace {

using LmTest::FileExists;

std::wstring HandlerFolder() { return LmTest::MainAppFolder() + L"\\BrowserIntegration"; }
std::wstring HandlerPath() { return HandlerFolder() + L"\\lmapp_ProtocolHandler.exe"; }
std::wstring BuiltResource(const wchar_t* name)
{
    return LmTest::TestDir() + L"..\\Installer\\resources\\" + name;
}

class TouchpointFiles : public testing::Test {
protected:
    LmTest::TouchpointMachine machine;
    LmTest::StandInLogFolder logs;
    LmTest::ComApartment com;

    void SetUp() override
    {
        for (const std::wstring& link : {LmTest::StartMenuGamesFolder() + L"\\Larchmeadow Games.lnk",
                                         LmTest::PublicDesktopLink()})
            DeleteFileW(link.c_str());
        LmTest::RemoveTree(LmTest::GamesFolder());
        LmTest::RegDeleteTreeAt(LmTest::kTestTouchpointEntry);
        LmTest::RegDeleteTreeAt(LmTest::kTestMasterEntry);
        ASSERT_FALSE(LmTest::PlaceStandIn(HandlerPath(), true).empty());
    }
};

TEST_F(TouchpointFiles, install_lays_down_the_files_branded_links_the_entry_and_registers_the_handler)
{
    const LmTest::StepResult result = LmTest::RunTouchpointStep(L"files", L"/dp=partner!x /restore /lang=0");
    ASSERT_EQ(0u, result.run.exitCode) << result.error;
    const std::wstring tp = LmTest::TouchpointFolder();

    EXPECT_TRUE(LmTest::SameFileContent(BuiltResource(L"InstallerPinHook.exe"), tp + L"\\PinHook.exe"));
    EXPECT_TRUE(LmTest::SameFileContent(BuiltResource(L"Application.ico"), tp + L"\\Application.ico"));
    std::string icon;
    ASSERT_TRUE(LmTest::ReadWholeFile(tp + L"\\Application.ico", icon));
    EXPECT_EQ(174854u, icon.size());
    EXPECT_EQ(std::string("\0\0\1\0", 4), icon.substr(0, 4)) << "an icon file";
    EXPECT_TRUE(LmTest::SameFileContent(LmTest::Tool(L"TouchpointSteps.exe"), tp + L"\\Restore.exe"));

    // The real PinHook branded both links: its own texts and the icon.
    for (const std::wstring& path : {LmTest::StartMenuGamesFolder() + L"\\Larchmeadow Games.lnk",
                                     LmTest::PublicDesktopLink()}) {
        LmTest::ShellLinkData link;
        ASSERT_TRUE(LmTest::ReadShellLink(path, link)) << path;
        EXPECT_EQ(LmTest::MainAppFolder() + L"\\Playdeck-lm.exe", link.target) << path;
        EXPECT_EQ(L"@" + tp + L"\\PinHook.exe,-107", link.description) << path;
        EXPECT_EQ(tp + L"\\Application.ico", link.iconPath) << path;
        EXPECT_NE(std::wstring::npos, link.arguments.find(L"/dp partner")) << path;
    }

    EXPECT_EQ(L"partner", LmTest::RegRead(LmTest::kTestTouchpointEntry, L"DP").Text());
    EXPECT_EQ(L"https://support.larchmeadow.example/support?dp=partner",
              LmTest::RegRead(LmTest::kTestTouchpointEntry, L"HelpLink").Text());
    const auto handler = logs.Records(L"lmapp_ProtocolHandler.exe");
    ASSERT_EQ(1u, handler.size());
    EXPECT_EQ(L"/reg", handler[0].arguments);
    EXPECT_EQ(HandlerFolder(), handler[0].workdir);
}

TEST_F(TouchpointFiles, without_automatic_restore_only_the_files_are_laid_down)
{
    const LmTest::StepResult result = LmTest::RunTouchpointStep(L"files", L"/dp=larchplay /restore /noautorestore");
    ASSERT_EQ(0u, result.run.exitCode) << result.error;
    const std::wstring tp = LmTest::TouchpointFolder();
    for (const wchar_t* file : {L"\\PinHook.exe", L"\\Application.ico", L"\\Restore.exe"})
        EXPECT_TRUE(FileExists(tp + file)) << file;
    EXPECT_FALSE(FileExists(LmTest::StartMenuGamesFolder() + L"\\Larchmeadow Games.lnk"));
    EXPECT_FALSE(FileExists(LmTest::PublicDesktopLink()));
    EXPECT_FALSE(LmTest::RegKeyExists(LmTest::kTestTouchpointEntry));
    EXPECT_TRUE(logs.Records(L"lmapp_ProtocolHandler.exe").empty());
}

CInstallerOptions Options(std::vector<const wchar_t*> arguments)
{
    arguments.insert(arguments.begin(), L"Installer.exe");
    return CInstallerOptions(static_cast<int>(arguments.size()), arguments.data());
}

class ProtocolHandler : public testing::Test {
protected:
    LmTest::TouchpointMachine machine;
    LmTest::StandInLogFolder logs;
    void SetUp() override { LmTest::RemoveTree(LmTest::GamesFolder()); }
};

TEST_F(ProtocolHandler, runs_with_reg_only_in_restore_mode_and_only_when_signed)
{
    RegisterProtocolHandler(Options({L"/restore"}));   // not installed: nothing, silently
    ASSERT_FALSE(LmTest::PlaceStandIn(HandlerPath(), true).empty());
    RegisterProtocolHandler(Options({}));
    RegisterProtocolHandler(Options({L"/silent", L"/update"}));
    EXPECT_TRUE(logs.Records(L"lmapp_ProtocolHandler.exe").empty()) << "never without /restore";

    RegisterProtocolHandler(Options({L"/restore"}));
    const auto runs = logs.Records(L"lmapp_ProtocolHandler.exe");
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ(L"/reg", runs[0].arguments);
    EXPECT_EQ(HandlerFolder(), runs[0].workdir);

    ASSERT_FALSE(LmTest::PlaceStandIn(HandlerPath(), false).empty());
    const std::wstring caught = LmTest::CaughtException([] { RegisterProtocolHandler(Options({L"/restore"})); }).Message();
    EXPECT_NE(std::wstring::npos, caught.find(L"File is not signed")) << caught;
    EXPECT_EQ(1u, logs.Records(L"lmapp_ProtocolHandler.exe").size());
}

} // namespace
} // namespace Installer
} // namespace Lm
