// What setup makes of its arguments and its own file name: the options, the Installer's file name
// and command line, the main application's launch parameters and the probe key.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "Setup/SetupCommandLines.h"
#include "Setup/SetupOptions.h"

using namespace Lm::Setup;

namespace {

CSetupOptions Parse(std::vector<const wchar_t*> arguments)
{
    arguments.insert(arguments.begin(), L"C:\\Downloads\\setup.exe");
    return ParseSetupOptions(static_cast<int>(arguments.size()), arguments.data());
}

// What the receiving program's parse makes of "prog.exe " + the text.
std::vector<std::wstring> ParsedArguments(const std::wstring& text)
{
    const std::wstring line = L"prog.exe " + text;
    int count = 0;
    LPWSTR* list = CommandLineToArgvW(line.c_str(), &count);
    std::vector<std::wstring> arguments;
    for (int i = 1; list && i < count; ++i)
        arguments.push_back(list[i]);
    LocalFree(list);
    return arguments;
}

} // namespace

TEST(SetupOptions, every_argument_is_passed_on_and_only_exact_names_count)
{
    const CSetupOptions none = Parse({});
    EXPECT_FALSE(none.update);
    EXPECT_TRUE(none.launchConsole);
    EXPECT_FALSE(none.restore);
    EXPECT_FALSE(none.useLocalPatch);
    EXPECT_EQ(L"", none.dp);
    EXPECT_EQ(L"", none.allArgs);

    const CSetupOptions all = Parse({L"/update", L"/nolaunchconsole", L"/restore", L"/uselocalpatch", L"/dp=a"});
    EXPECT_TRUE(all.update);
    EXPECT_FALSE(all.launchConsole);
    EXPECT_TRUE(all.restore);
    EXPECT_TRUE(all.useLocalPatch);
    EXPECT_EQ(L"a", all.dp);
    EXPECT_EQ(L"/update /nolaunchconsole /restore /uselocalpatch /dp=a", all.allArgs);

    // Other spellings and unknown words have no effect of their own but still go to the Installer.
    const CSetupOptions other = Parse({L"/Update", L"-restore", L"/nolaunchconsole2", L"/DP=x", L"/silent", L"/S"});
    EXPECT_FALSE(other.update);
    EXPECT_FALSE(other.restore);
    EXPECT_TRUE(other.launchConsole);
    EXPECT_EQ(L"", other.dp);
    EXPECT_EQ(L"/Update -restore /nolaunchconsole2 /DP=x /silent /S", other.allArgs);
}

TEST(SetupOptions, the_last_dp_option_counts_and_may_be_empty)
{
    EXPECT_EQ(L"second", Parse({L"/dp=first", L"/dp=second"}).dp);
    EXPECT_EQ(L"", Parse({L"/dp=first", L"/dp="}).dp);

    const CSetupOptions blank = Parse({L"/dp=a b"});
    EXPECT_EQ(L"a b", blank.dp);
    EXPECT_EQ(L"\"/dp=a b\"", blank.allArgs);
}

TEST(SetupOptions, the_installer_parses_exactly_the_arguments_setup_was_given)
{
    const std::vector<std::vector<const wchar_t*>> cases = {
        {L"/dp=\"q"},                                    // a lone quote would swallow the rest
        {L"/dp=\"q", L"/silent"},
        {L"/dp=a b", L"/S"},
        {L"\"", L"\"\"", L"a\"b\"c"},
        {L"C:\\Program Files\\", L"/x"},             // backslashes before the closing quote
        {L"a\\\"b", L"a\\\\\"b", L"a\\b\\"},      // backslashes before a quote, and plain ones
        {L"", L"/S", L""},                               // empty arguments stay arguments
        {L"tab\there", L"line\nbreak", L"/park=C:\\x"},
    };
    for (const std::vector<const wchar_t*>& given : cases) {
        const CSetupOptions options = Parse(given);
        const std::vector<std::wstring> expected(given.begin(), given.end());
        EXPECT_EQ(expected, ParsedArguments(options.allArgs)) << testing::PrintToString(options.allArgs);
        // The Installer's own "/park=" argument still comes out whole after them.
        std::vector<std::wstring> withPark = expected;
        withPark.push_back(L"/park=C:\\T 1\\Park.exe");
        EXPECT_EQ(withPark, ParsedArguments(InstallerCommandLine(options.allArgs, false, L"C:\\T 1\\Park.exe")));
    }
    EXPECT_EQ(L"/dp=partner", QuoteArgument(L"/dp=partner"));
    EXPECT_EQ(L"\"/dp=\\\"q\"", QuoteArgument(L"/dp=\"q"));
    EXPECT_EQ(L"\"C:\\a b\\\\\"", QuoteArgument(L"C:\\a b\\"));
    EXPECT_EQ(L"\"\"", QuoteArgument(L""));
}

TEST(SetupCommandLines, full_installer_mode_needs_update_or_the_exact_full_installer_name)
{
    CSetupOptions plain, update;
    update.update = true;
    EXPECT_TRUE(IsFullInstallerMode(plain, L"SetupArcadeKit.exe"));
    EXPECT_FALSE(IsFullInstallerMode(plain, L"setuparcadekit.exe"));
    EXPECT_FALSE(IsFullInstallerMode(plain, L"SetupArcadeKit (1).exe"));
    EXPECT_FALSE(IsFullInstallerMode(plain, L"setup.exe"));
    EXPECT_TRUE(IsFullInstallerMode(update, L"setup.exe"));
}

TEST(SetupCommandLines, the_installer_takes_the_own_name_unless_park_or_the_patch_would_overwrite_it)
{
    struct Case { const wchar_t* own; const wchar_t* installer; } cases[] = {
        {L"setup.exe", L"setup.exe"},
        {L"Setup-xyz-partner.exe", L"Setup-xyz-partner.exe"},
        {L"SetupArcadeKit.exe", L"SetupArcadeKit.exe"},
        {L"Park.exe", L"Installer.exe"},
        {L"PARK.EXE", L"Installer.exe"},
        {L"Patch.exe", L"Installer.exe"},
        {L"pAtCh.exe", L"Installer.exe"},
        {L"Park.exe.exe", L"Park.exe.exe"},
        {L"Park", L"Park"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.installer, InstallerFileName(c.own)) << std::string(c.own, c.own + wcslen(c.own));
}

TEST(SetupCommandLines, launch_parameters_carry_the_dp_and_the_token_of_three_piece_names)
{
    struct Case { const wchar_t* own; const wchar_t* params; } cases[] = {
        {L"setup.exe", L"/src installer /dp DP"},
        {L"Setup-xyz-partner.exe", L"/src installer /dp DP /action download xyz"},
        {L"setup-xyz-partner.exe", L"/src installer /dp DP /action download xyz"},
        {L"SETUP-xyz-partner.exe", L"/src installer /dp DP /action download xyz"},
        {L"SeTup-xyz-partner.exe", L"/src installer /dp DP"},     // only three spellings count
        {L"Setup-partner.exe", L"/src installer /dp DP"},         // two pieces
        {L"Setup-a-b-c.exe", L"/src installer /dp DP"},           // four pieces
        {L"Setup--a--b.exe", L"/src installer /dp DP /action download a"},   // empty pieces dropped
        {L"Setup-a b-c.exe", L"/src installer /dp DP /action download a b"},
        {L"Setup", L"/src installer /dp DP"},                     // shorter than six
        {L"Setup-", L"/src installer /dp DP"},
        {L"My-Setup-x-y.exe", L"/src installer /dp DP"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.params, ConsoleLaunchParams(L"DP", c.own)) << std::string(c.own, c.own + wcslen(c.own));
}

TEST(SetupCommandLines, installer_command_line_is_all_arguments_then_update_then_park)
{
    const std::wstring park = L"C:\\T\\pdtpo-1\\Park.exe";
    EXPECT_EQ(L"/park=\"C:\\T\\pdtpo-1\\Park.exe\"", InstallerCommandLine(L"", false, park));
    EXPECT_EQ(L"/update /park=\"C:\\T\\pdtpo-1\\Park.exe\"", InstallerCommandLine(L"", true, park));
    EXPECT_EQ(L"/update /update /park=\"C:\\T\\pdtpo-1\\Park.exe\"", InstallerCommandLine(L"/update", true, park));
    EXPECT_EQ(L"/silent /dp=a b /park=\"C:\\T\\pdtpo-1\\Park.exe\"", InstallerCommandLine(L"/silent /dp=a b", false, park));
    // A run that armed no Park the Installer may signal names none.
    EXPECT_EQ(L"/silent /update", InstallerCommandLine(L"/silent", true, L""));
    EXPECT_EQ(L"", InstallerCommandLine(L"", false, L""));
}

TEST(SetupCommandLines, park_waits_to_start_the_main_application_with_its_parameters)
{
    EXPECT_EQ(L"/Execute \"C:\\Program Files (x86)\\Larchmeadow Games\\App\\Playdeck-lm.exe\" "
              L"/LaunchParams \"/src installer /dp larchplay\" "
              L"/EventTerminate \"Global\\LMPARKTERM\" /EventExecute \"Global\\LMPARKEXEC\"",
              ParkWaitCommandLine(L"C:\\Program Files (x86)\\Larchmeadow Games\\App\\Playdeck-lm.exe",
                                  L"/src installer /dp larchplay"));
}

TEST(SetupCommandLines, the_probe_key_is_the_touchpoint_key_marked_temporary)
{
    EXPECT_EQ(L"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
              L"{3C5E9A12-7B4D-4f21-8E6A-5D2B9C0F4E71}.Larchmeadow Games App-Temporary",
              TemporaryUninstallKeyName());
}
