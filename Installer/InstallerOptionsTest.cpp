#include "Installer/InstallerOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Lm::Installer::CInstallerOptions;

namespace {

CInstallerOptions Parse(std::vector<const wchar_t*> arguments)
{
    arguments.insert(arguments.begin(), L"C:\\temp\\setup.exe");
    return CInstallerOptions(static_cast<int>(arguments.size()), arguments.data());
}

// The fields in their order, as one text, so a case shows every field at once.
std::wstring Describe(const CInstallerOptions& o)
{
    std::wstring text;
    for (bool field : {o.silent, o.S, o.update, o.restore, o.legacyUninstall, o.launchConsole, o.legacySkuValues,
                       o.console, o.useLocalPatch, o.autoRestore, o.startMenu, o.desktop})
        text += field ? L'1' : L'0';
    return text + L" dp=" + o.dp + L" park=" + o.park;
}

} // namespace

TEST(InstallerOptions, each_argument_sets_its_field_and_nothing_else)
{
    struct Case {
        std::vector<const wchar_t*> arguments;
        const wchar_t* expected;
    };
    //                                              silent S update restore legacyUninstall launchConsole
    //                                              legacySkuValues console useLocalPatch autoRestore startMenu desktop
    const Case cases[] = {
        {{}, L"000011110111 dp= park="},
        {{L"/silent"}, L"100011110111 dp= park="},
        {{L"/S"}, L"010011110111 dp= park="},
        {{L"/update"}, L"001011110111 dp= park="},
        {{L"/restore"}, L"000111110111 dp= park="},
        {{L"/nolegacyuninstall"}, L"000001110111 dp= park="},
        {{L"/nolaunchconsole"}, L"000010110111 dp= park="},
        {{L"/nolegacyskuvalues"}, L"000011010111 dp= park="},
        {{L"/noconsole"}, L"000011100111 dp= park="},
        {{L"/uselocalpatch"}, L"000011111111 dp= park="},
        {{L"/noautorestore"}, L"000011110011 dp= park="},
        {{L"/nostartmenu"}, L"000011110101 dp= park="},
        {{L"/nodesktop"}, L"000011110110 dp= park="},
        {{L"/dp=abc!xyz"}, L"000011110111 dp=abc!xyz park="},
        {{L"/park=C:\\a b\\Park.exe"}, L"000011110111 dp= park=C:\\a b\\Park.exe"},
    };
    for (const Case& c : cases) {
        const std::wstring shown = c.arguments.empty() ? L"(none)" : c.arguments[0];
        EXPECT_EQ(c.expected, Describe(Parse(c.arguments))) << shown;
    }
}

TEST(InstallerOptions, comparison_is_whole_and_case_sensitive)
{
    // Each of these is some other argument, ignored without a message.
    for (const wchar_t* argument : {L"/s", L"/SILENT", L"/Silent", L"/silent ", L"-silent", L"/silentmode", L"/Update",
                                    L"/DP=abc", L"/Park=x", L"/noconsole2", L"nodesktop", L"", L"/"}) {
        EXPECT_EQ(L"000011110111 dp= park=", Describe(Parse({argument}))) << argument;
    }
}

TEST(InstallerOptions, valued_options_keep_the_last_value_and_may_be_empty)
{
    EXPECT_EQ(L"b", Parse({L"/dp=a", L"/dp=b"}).dp);
    EXPECT_EQ(L"", Parse({L"/dp=a", L"/dp="}).dp);
    EXPECT_EQ(L"=x", Parse({L"/dp==x"}).dp);
    EXPECT_EQ(L"D:\\P2.exe", Parse({L"/park=C:\\P1.exe", L"/park=D:\\P2.exe"}).park);
    // A path with a quote left in it (the command line quoted oddly) is kept as given.
    EXPECT_EQ(L"\"C:\\P.exe", Parse({L"/park=\"C:\\P.exe"}).park);
}

TEST(InstallerOptions, the_program_path_is_not_an_option)
{
    const wchar_t* arguments[] = {L"/silent", L"/update"};
    const CInstallerOptions options(2, arguments);
    EXPECT_FALSE(options.silent);
    EXPECT_TRUE(options.update);
}

TEST(InstallerOptions, setup_command_line_of_a_full_installer_run)
{
    const CInstallerOptions options =
        Parse({L"/update", L"/dp=partner", L"/unknown", L"/update", L"/park=C:\\Temp\\pdtpo-1\\Park.exe"});
    EXPECT_EQ(L"001011110111 dp=partner park=C:\\Temp\\pdtpo-1\\Park.exe", Describe(options));
}
