// PinHook.exe branding and clearing real links in the test prefix, read back through the shell.
#include "PinHook/ShortcutBranding.h"

#include <gtest/gtest.h>

#include "TestShellLinks.h"
#include "TestSupport.h"

namespace {

using LmTest::ShellLinkData;

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

class ShortcutBrandingTest : public ::testing::Test {
protected:
    // A link to a program of the test prefix, with arguments, description and icon of its own.
    ShellLinkData Original() const
    {
        ShellLinkData data;
        data.target = L"C:\\windows\\system32\\notepad.exe";
        data.arguments = L"/dp=larchplay /from \"desktop link\"";
        data.workingFolder = L"C:\\windows";
        data.description = L"Old description";
        data.iconPath = L"C:\\windows\\system32\\shell32.dll";
        data.iconIndex = 3;
        return data;
    }

    std::wstring MakeLink(const std::wstring& name)
    {
        std::wstring path = folder_ / name;
        EXPECT_TRUE(LmTest::CreateShellLink(path, Original())) << "could not create " << std::string(path.begin(), path.end());
        return path;
    }

    ShellLinkData Read(const std::wstring& path)
    {
        ShellLinkData data;
        EXPECT_TRUE(LmTest::ReadShellLink(path, data));
        return data;
    }

    LmTest::RunResult Run(const std::wstring& arguments)
    {
        return LmTest::RunProgram(LmTest::Program(L"PinHook.exe"), arguments);
    }

    LmTest::ComApartment com_;
    LmTest::ScratchFolder folder_{L"lmpinhook"};
};

TEST_F(ShortcutBrandingTest, brand_sets_description_reference_and_icon_and_keeps_target)
{
    const std::wstring link = MakeLink(L"Larchmeadow Games.lnk");
    const std::wstring module = LmTest::Program(L"PinHook.exe");
    const std::wstring icon = folder_ / L"Larchmeadow Games.ico";

    LmTest::RunResult run = Run(Quoted(link) + L" " + Quoted(module) + L" " + Quoted(icon) + L" S8");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);

    ShellLinkData after = Read(link);
    EXPECT_EQ(L"@" + module + L",-107", after.description);
    EXPECT_EQ(icon, after.iconPath);
    EXPECT_EQ(0, after.iconIndex);
    EXPECT_EQ(Original().target, after.target);
    EXPECT_EQ(Original().arguments, after.arguments);
    EXPECT_EQ(Original().workingFolder, after.workingFolder);
}

TEST_F(ShortcutBrandingTest, clear_empties_description_and_icon_and_keeps_target)
{
    const std::wstring link = MakeLink(L"Larchmeadow Games.lnk");

    LmTest::RunResult run = Run(Quoted(link));
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);

    ShellLinkData after = Read(link);
    EXPECT_EQ(L"", after.description);
    EXPECT_EQ(L"", after.iconPath);
    EXPECT_EQ(Original().target, after.target);
    EXPECT_EQ(Original().arguments, after.arguments);
}

} // namespace
