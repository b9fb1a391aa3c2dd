#include "Installer/InstallerOptions.h"

#include <gtest/gtest.h>

namespace Lm {
namespace Installer {
namespace {

TEST(InstallerOptions, each_argument_is_matched_whole_and_with_case)
{
    const wchar_t* argv[] = {L"Installer.exe", L"/s", L"/S", L"/update", L"/dp=first", L"/dp=abc!xyz",
                             L"/nolegacyuninstall", L"/park=C:\\t\\Park.exe", L"/NODESKTOP", L"/nostartmenu",
                             L"/noautorestore ", L"/uselocalpatch", L"/noconsole", L"/nolegacyskuvalues",
                             L"/nolaunchconsole", L"/DP=upper"};
    const CInstallerOptions options(sizeof(argv) / sizeof(argv[0]), argv);
    EXPECT_FALSE(options.silent);
    EXPECT_TRUE(options.S);
    EXPECT_TRUE(options.update);
    EXPECT_FALSE(options.restore);
    EXPECT_FALSE(options.legacyUninstall);
    EXPECT_FALSE(options.launchConsole);
    EXPECT_FALSE(options.legacySkuValues);
    EXPECT_FALSE(options.console);
    EXPECT_TRUE(options.useLocalPatch);
    EXPECT_TRUE(options.autoRestore) << "\"/noautorestore \" is not the option";
    EXPECT_FALSE(options.startMenu);
    EXPECT_TRUE(options.desktop);
    EXPECT_EQ(L"abc!xyz", options.dp);
    EXPECT_EQ(L"C:\\t\\Park.exe", options.park);

    const wchar_t* defaults[] = {L"Installer.exe", L"/silent", L"/restore", L"/dp="};
    const CInstallerOptions other(4, defaults);
    EXPECT_TRUE(other.silent);
    EXPECT_TRUE(other.restore);
    EXPECT_TRUE(other.legacyUninstall && other.launchConsole && other.legacySkuValues && other.console &&
                other.autoRestore && other.startMenu && other.desktop);
    EXPECT_FALSE(other.S || other.update || other.useLocalPatch);
    EXPECT_EQ(L"", other.dp);
    EXPECT_EQ(L"", other.park);
}

} // namespace
} // namespace Installer
} // namespace Lm
