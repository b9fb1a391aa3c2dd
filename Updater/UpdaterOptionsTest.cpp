// The Updater's command line: every row, its order, and the raw "/installerargs=" search.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include "System/Exception.h"
#include "Updater/UpdaterOptions.h"

using namespace Lm::Updater;

namespace {

// The options of a command line as the program would see it (the line split as the system does).
UpdaterOptions Parse(const std::wstring& arguments)
{
    const std::wstring line = L"\"C:\\x\\Updater.exe\" " + arguments;
    int count = 0;
    LPWSTR* list = CommandLineToArgvW(line.c_str(), &count);
    std::vector<std::wstring> argv(list, list + count);
    LocalFree(list);
    return ParseUpdaterOptions(line, argv);
}

} // namespace

TEST(UpdaterOptions, no_arguments_give_the_defaults)
{
    const UpdaterOptions o = Parse(L"");
    EXPECT_EQ(L"PellorGamesApp", o.product);
    EXPECT_EQ(L"larchplay", o.dp);
    EXPECT_EQ("live", o.channel);
    EXPECT_TRUE(o.locale.empty() && o.from.empty() && o.patchUrl.empty() && o.appArgs.empty() &&
                o.parkPath.empty() && o.installerArgs.empty());
    EXPECT_FALSE(o.dev || o.prompt || o.notify || o.emitDownloadProgress);
    EXPECT_TRUE(o.showProgress && o.parking);
}

TEST(UpdaterOptions, every_row_sets_its_value)
{
    const UpdaterOptions o = Parse(L"/PRODUCT=Games /Channel=beta /DEV /locale=de-de /from=\"C:\\a b\\app.exe\" "
                                   L"/patchurl=http://h/p.exe /appargs=/x /Prompt /NOTIFY /noProg "
                                   L"/parkpath=C:\\p\\Park.exe /NoParking /EmitDownloadProgress /dp=partner");
    EXPECT_EQ(L"Games", o.product);
    EXPECT_EQ("beta", o.channel);
    EXPECT_TRUE(o.dev);
    EXPECT_EQ(L"de-de", o.locale);
    EXPECT_EQ(L"C:\\a b\\app.exe", o.from);
    EXPECT_EQ(L"http://h/p.exe", o.patchUrl);
    EXPECT_EQ(L"/x", o.appArgs);
    EXPECT_TRUE(o.prompt && o.notify);
    EXPECT_FALSE(o.showProgress);
    EXPECT_EQ(L"C:\\p\\Park.exe", o.parkPath);
    EXPECT_FALSE(o.parking);
    EXPECT_TRUE(o.emitDownloadProgress);
    EXPECT_EQ(L"partner", o.dp);
}

TEST(UpdaterOptions, edge_cases_of_the_rows)
{
    struct Case {
        const wchar_t* line;
        const wchar_t* product;
        const wchar_t* dp;
        bool showProgress;
        const wchar_t* installerArgs;
    } cases[] = {
        {L"/product=", L"", L"larchplay", true, L""},
        {L"/product=a /product=b", L"b", L"larchplay", true, L""},              // the later one wins
        {L"/dp", L"PellorGamesApp", L"larchplay", true, L""},                    // last: nothing changes
        {L"/dp /noprog", L"PellorGamesApp", L"/noprog", false, L""},             // the word is tested too
        {L"/dpcode word", L"PellorGamesApp", L"word", true, L""},               // any "/dp..." but "/dp="
        {L"/noprogress", L"PellorGamesApp", L"larchplay", true, L""},           // whole rows are whole
        {L"/unknown /product=x", L"x", L"larchplay", true, L""},
        {L"/installerargs=/nolaunchapp /noprog", L"PellorGamesApp", L"larchplay", true, L"/nolaunchapp /noprog"},
        {L"/INSTALLERARGS=/nolaunchapp /noprog", L"PellorGamesApp", L"larchplay", true, L""},
        {L"/installerargs=/a \"b c\"  d", L"PellorGamesApp", L"larchplay", true, L"/a \"b c\"  d"},
        {L"/noparking /noprog /emitdownloadprogress /dp=partner /installerargs=/nolaunchapp", L"PellorGamesApp",
         L"partner", false, L"/nolaunchapp"},
    };
    for (const Case& c : cases) {
        const UpdaterOptions o = Parse(c.line);
        EXPECT_EQ(c.product, o.product) << c.line;
        EXPECT_EQ(c.dp, o.dp) << c.line;
        EXPECT_EQ(c.showProgress, o.showProgress) << c.line;
        EXPECT_EQ(c.installerArgs, o.installerArgs) << c.line;
    }
}

TEST(UpdaterOptions, a_channel_in_any_script_is_kept_as_utf8)
{
    EXPECT_EQ("\xC4\x80x", Parse(L"/channel=\u0100x").channel);
    EXPECT_EQ("\xD0\x91\xE6\xB5\x8B", Parse(L"/channel=\u0411\u6D4B").channel);   // Б测
}
