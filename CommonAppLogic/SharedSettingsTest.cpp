#include "CommonAppLogic/SharedSettings.h"

#include "CommonAppLogic/IniFile.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <knownfolders.h>

#include <cstdio>
#include <fstream>
#include <vector>

#include "System/Win32/KnownFolders.h"
#include "AccessList.h"
#include "System/Io/AdministratorsOwned.h"
#include "TestSupport.h"
#include "TrustedTestOwner.h"

namespace Lm {
namespace CommonAppLogic {
namespace {

void WriteRaw(const std::wstring& path, const std::string& bytes)
{
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The ini file as the Installer's CIniFile writes it: UTF-16 with a byte-order mark.
void WriteIni(const std::wstring& path, const std::wstring& text)
{
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    WriteRaw(path, bytes);
}

struct SettingsFiles {
    LmTest::ScratchFolder folder{L"lmset"};
    std::wstring text = folder / L"Larchmeadow.txt";
    std::wstring ini = folder / L"Larchmeadow.ini";
};

TEST(SharedSettingsTest, start_menu_folder_name_comes_from_the_text_file_then_the_ini_file_then_the_default)
{
    LmTest::TrustedTestOwner trusted;
    struct Case {
        const wchar_t* text;  // null: no text file
        const wchar_t* ini;   // null: no ini file
        const wchar_t* name;
    };
    const Case cases[] = {
        {nullptr, nullptr, L"Games"},
        {nullptr, L"[Main]\r\nStartMenuFolder=Arcade\r\n", L"Arcade"},
        {L"StartMenuFolderUnicode=Spiele \x00E4\x00F6\x00FC \xD83C\xDFB2\n", L"[Main]\r\nStartMenuFolder=Arcade\r\n",
         L"Spiele \x00E4\x00F6\x00FC \xD83C\xDFB2"},
        {L"StartMenuFolderUnicode= \t \r\n", L"[Main]\r\nStartMenuFolder=Arcade\r\n", L"Arcade"},
        {L"StartMenuFolderUnicode=  Padded\t\n", nullptr, L"Padded"},
        {L"Other=Value\nno equals sign\n", L"[Main]\r\nStartMenuFolder=Arcade\r\n", L"Arcade"},
        {L"StartMenuFolderUnicode=First\nStartMenuFolderUnicode=Second\n", nullptr, L"Second"},
        {L"StartMenuFolderUnicode=Jeux\n", nullptr, L"Jeux"},
        {nullptr, L"[Main]\r\nStartMenuFolder=\r\n", L"Games"},
        {nullptr, L"[Other]\r\nStartMenuFolder=Arcade\r\n", L"Games"},
    };
    for (const auto& c : cases) {
        SettingsFiles files;
        if (c.text)
            LmTest::WriteFileUtf8(files.text, c.text);
        if (c.ini)
            WriteIni(files.ini, c.ini);
        EXPECT_EQ(c.name, GetStartMenuFolderNameFrom(files.text, files.ini))
            << (c.text ? c.text : L"-") << " / " << (c.ini ? c.ini : L"-");
    }
}

TEST(SharedSettingsTest, start_menu_folder_names_that_are_not_one_plain_folder_give_the_default)
{
    LmTest::TrustedTestOwner trusted;
    const std::wstring rejected[] = {
        L"..\\..\\Windows", L"..", L".", L" . ", L"a\\b", L"a/b", L"C:\\Games", L"C:x", L"a..b", L"a|b", L"a*b",
        L"a?b", L"<x>", L"a\"b", L"tab\there",
    };
    for (const auto& name : rejected) {
        SettingsFiles viaText;
        LmTest::WriteFileUtf8(viaText.text, L"StartMenuFolderUnicode=" + name + L"\n");
        EXPECT_EQ(L"Games", GetStartMenuFolderNameFrom(viaText.text, viaText.ini)) << name;

        SettingsFiles viaIni;
        WriteIni(viaIni.ini, L"[Main]\r\nStartMenuFolder=" + name + L"\r\n");
        EXPECT_EQ(L"Games", GetStartMenuFolderNameFrom(viaIni.text, viaIni.ini)) << name;
    }
    // Longer than a path may be (the text file's lines are cut long before that).
    SettingsFiles tooLong;
    WriteIni(tooLong.ini, L"[Main]\r\nStartMenuFolder=" + std::wstring(300, L'g') + L"\r\n");
    EXPECT_EQ(L"Games", GetStartMenuFolderNameFrom(tooLong.text, tooLong.ini));

    for (const wchar_t* name : {L"Games", L"My Games", L"Larchmeadow Games.", L"x.y", L"\x6E38\x620F"})
        EXPECT_TRUE(IsPlainFolderName(name)) << name;
}

TEST(SharedSettingsTest, shortcut_goes_into_the_folder_only_for_exactly_true)
{
    LmTest::TrustedTestOwner trusted;
    struct Case { const wchar_t* ini; bool inFolder; };
    const Case cases[] = {
        {nullptr, true},
        {L"[Main]\r\nShortcutInStartMenuFolder=true\r\n", true},
        {L"[Main]\r\nShortcutInStartMenuFolder=True\r\n", false},
        {L"[Main]\r\nShortcutInStartMenuFolder=false\r\n", false},
        {L"[Main]\r\nShortcutInStartMenuFolder=\r\n", false},
        {L"[Main]\r\nOther=1\r\n", true},
    };
    for (const auto& c : cases) {
        SettingsFiles files;
        if (c.ini)
            WriteIni(files.ini, c.ini);
        EXPECT_EQ(c.inFolder, IsShortcutInStartMenuFolderIn(files.ini)) << (c.ini ? c.ini : L"-");
    }
}

TEST(SharedSettingsTest, names_of_windows_own_shell_folders_give_the_default)
{
    LmTest::TrustedTestOwner trusted;
    const std::wstring startup = Lm::System::Win32::GetKnownFolderPath(FOLDERID_CommonStartup);
    ASSERT_FALSE(startup.empty());
    const std::wstring startupName = startup.substr(startup.rfind(L'\\') + 1);
    std::vector<std::wstring> names{startupName, L"Startup", L"STARTUP", L"Startup.", L"Startup  ",
                                    L"Administrative Tools", L"CON", L"nul.txt", L"com1"};
    wchar_t shortForm[MAX_PATH] = {};
    const DWORD length = GetShortPathNameW(startup.c_str(), shortForm, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        const std::wstring text(shortForm, length);
        names.push_back(text.substr(text.rfind(L'\\') + 1));
    }
    for (const std::wstring& name : names) {
        EXPECT_TRUE(IsWindowsShellFolderName(name)) << name;
        SettingsFiles viaIni;
        WriteIni(viaIni.ini, L"[Main]\r\nStartMenuFolder=" + name + L"\r\n");
        EXPECT_EQ(L"Games", GetStartMenuFolderNameFrom(viaIni.text, viaIni.ini)) << name;
        SettingsFiles viaText;
        LmTest::WriteFileUtf8(viaText.text, L"StartMenuFolderUnicode=" + name + L"\n");
        EXPECT_EQ(L"Games", GetStartMenuFolderNameFrom(viaText.text, viaText.ini)) << name;
    }
    for (const wchar_t* name : {L"Games", L"Larchmeadow Games", L"Arcade", L"Startup Games"})
        EXPECT_FALSE(IsWindowsShellFolderName(name)) << name;
}

TEST(SharedSettingsTest, planted_settings_files_decide_nothing)
{
    const std::wstring planted = L"[Main]\r\nStartMenuFolder=Planted\r\nShortcutInStartMenuFolder=false\r\n";
    LmTest::ScratchFolder outside(L"lmplanted");
    WriteIni(outside / L"Larchmeadow.ini", planted);
    LmTest::WriteFileUtf8(outside / L"Larchmeadow.txt", L"StartMenuFolderUnicode=Planted\n");

    // Files of an ordinary user's. Without the stand-in owner this test's own files are such
    // files under Wine; on Windows, where the test runs elevated, they belong to Administrators.
    SettingsFiles files;
    WriteIni(files.ini, planted);
    LmTest::WriteFileUtf8(files.text, L"StartMenuFolderUnicode=Planted\n");
    if (!Lm::System::IO::IsAdministratorsOwned(files.ini)) {
        EXPECT_FALSE(IsTrustedSettingsFile(files.ini));
        EXPECT_EQ(L"Games", GetStartMenuFolderNameFrom(files.text, files.ini));
        EXPECT_TRUE(IsShortcutInStartMenuFolderIn(files.ini));
    }

    // A folder that is a link, or a second name of another file, decides nothing whoever owns it.
    LmTest::TrustedTestOwner trusted;
    ASSERT_TRUE(IsTrustedSettingsFile(files.ini));
    EXPECT_EQ(L"Planted", GetStartMenuFolderNameFrom(files.text, files.ini)) << "the files themselves are read";
    const std::wstring link = files.folder / L"linked";
    if (LmTest::MakeFolderLink(link, outside.Path())) {
        EXPECT_FALSE(IsTrustedSettingsFile(link + L"\\Larchmeadow.ini"));
        EXPECT_EQ(L"Games", GetStartMenuFolderNameFrom(link + L"\\Larchmeadow.txt", link + L"\\Larchmeadow.ini"));
        EXPECT_TRUE(IsShortcutInStartMenuFolderIn(link + L"\\Larchmeadow.ini"));
        LmTest::RemoveFolderLink(link);
    } else {
        std::printf("note: no link to a folder can be made here\n");
    }
    const std::wstring secondIni = files.folder / L"second.ini", secondText = files.folder / L"second.txt";
    ASSERT_TRUE(CreateHardLinkW(secondIni.c_str(), (outside / L"Larchmeadow.ini").c_str(), nullptr));
    ASSERT_TRUE(CreateHardLinkW(secondText.c_str(), (outside / L"Larchmeadow.txt").c_str(), nullptr));
    EXPECT_FALSE(IsTrustedSettingsFile(secondIni));
    EXPECT_EQ(L"Games", GetStartMenuFolderNameFrom(secondText, secondIni));
    EXPECT_TRUE(IsShortcutInStartMenuFolderIn(secondIni));
}

TEST(SharedSettingsTest, a_setting_is_written_only_into_a_folder_of_the_administrators)
{
    LmTest::ScratchFolder root(L"lmsetwrite");
    const std::wstring folder = root / L"Larchmeadow";
    const std::wstring ini = folder + L"\\Larchmeadow.ini";
    // Under Wine the folder it makes belongs to this test's user: as a folder a user made first.
    if (!Lm::System::IO::IsAdministratorsOwned(root.Path())) {
        EXPECT_FALSE(WriteSettingsValue(ini, L"Main", L"DownloadEULAAgreed", L"true"));
        EXPECT_FALSE(LmTest::FileExists(ini));
        LmTest::RemoveTree(folder);
    }

    LmTest::TrustedTestOwner trusted;
    EXPECT_TRUE(WriteSettingsValue(ini, L"Main", L"DownloadEULAAgreed", L"true"));
    EXPECT_TRUE(WriteSettingsValue(ini, L"Main", L"OEMEULAAgreed", L"TRUE"));
    EXPECT_EQ(L"true", ReadIniString(L"Main", L"DownloadEULAAgreed", L"-", 64, ini)) << "the other value stays";
    EXPECT_EQ(L"TRUE", ReadIniString(L"Main", L"OEMEULAAgreed", L"-", 64, ini));
    // The folder it made lets nobody but SYSTEM and Administrators add or change anything.
    const LmTest::AccessList list = LmTest::ReadAccessList(folder);
    ASSERT_TRUE(list.read && list.present);
    if (LmTest::KeepsProtectedAccessLists(root.Path())) {
        EXPECT_TRUE(list.protectedList);
        EXPECT_EQ((std::vector<std::wstring>{L"0/03/001f01ff/S-1-5-18", L"0/03/001f01ff/S-1-5-32-544",
                                             L"0/03/001200a9/S-1-5-32-545"}),
                  list.entries);
    } else {
        EXPECT_FALSE(LmTest::HasEntryFor(list, L"S-1-1-0")) << "everyone may read or write it";
    }

    // A second name of another file put there goes, unread, and the suite's own file takes its place.
    LmTest::ScratchFolder outside(L"lmoutside");
    const std::wstring precious = outside / L"precious.ini";
    WriteIni(precious, L"[Main]\r\nPrecious=1\r\n");
    const std::string preciousBytes = LmTest::ReadFileBytes(precious);
    ASSERT_TRUE(DeleteFileW(ini.c_str()));
    ASSERT_TRUE(CreateHardLinkW(ini.c_str(), precious.c_str(), nullptr));
    EXPECT_TRUE(WriteSettingsValue(ini, L"Main", L"DownloadEULAAgreed", L"true"));
    EXPECT_EQ(preciousBytes, LmTest::ReadFileBytes(precious));
    EXPECT_EQ(L"-", ReadIniString(L"Main", L"Precious", L"-", 64, ini));
    EXPECT_TRUE(IsTrustedSettingsFile(ini));

    // A folder that is a link takes nothing.
    LmTest::RemoveTree(folder);
    if (LmTest::MakeFolderLink(folder, outside.Path())) {
        EXPECT_FALSE(WriteSettingsValue(ini, L"Main", L"DownloadEULAAgreed", L"true"));
        LmTest::RemoveFolderLink(folder);
        EXPECT_EQ(std::vector<std::wstring>{L"precious.ini"}, LmTest::FolderEntries(outside.Path()));
        EXPECT_EQ(preciousBytes, LmTest::ReadFileBytes(precious));
    } else {
        std::printf("note: no link to a folder can be made here\n");
    }
}

TEST(SharedSettingsTest, key_value_file_reads_lines_and_pieces_of_long_lines)
{
    SettingsFiles files;
    std::map<std::wstring, std::wstring> values{{L"stale", L"1"}};
    EXPECT_FALSE(ReadKeyValueTextFile(values, files.text));
    // A byte-order mark, Windows line ends, a value holding '=' and a line longer than the buffer.
    std::wstring longLine = L"long=" + std::wstring(300, L'x');
    LmTest::WriteFileUtf8(files.text, L"\xFEFF" L"a=1\r\nb=x=y\r\n" + longLine + L"\r\n=empty key\r\nplain\r\n");
    ASSERT_TRUE(ReadKeyValueTextFile(values, files.text));
    EXPECT_EQ(L"1", GetMapValueOrDefault(values, L"a", L"-"));
    EXPECT_EQ(L"x=y", GetMapValueOrDefault(values, L"b", L"-"));
    EXPECT_EQ(std::wstring(250, L'x'), GetMapValueOrDefault(values, L"long", L"-"));
    EXPECT_EQ(L"empty key", GetMapValueOrDefault(values, L"", L"-"));
    EXPECT_EQ(L"-", GetMapValueOrDefault(values, L"stale", L"-"));
    EXPECT_EQ(L"-", GetMapValueOrDefault(values, L"plain", L"-"));
}

TEST(SharedSettingsTest, settings_files_lie_in_the_makers_programdata_folder)
{
    const std::wstring programData = Lm::System::Win32::GetProgramDataPath();
    ASSERT_FALSE(programData.empty());
    std::wstring folder = programData;
    if (folder.back() != L'\\')
        folder += L'\\';
    EXPECT_EQ(folder + L"Larchmeadow\\Larchmeadow.ini", GetSharedSettingsIniPath());
    EXPECT_EQ(folder + L"Larchmeadow\\Larchmeadow.txt", GetSettingsTextFilePath());
    EXPECT_EQ(GetStartMenuFolderNameFrom(GetSettingsTextFilePath(), GetSharedSettingsIniPath()),
              GetStartMenuFolderName());
    std::wstring programs = Lm::System::Win32::GetKnownFolderPath(FOLDERID_CommonPrograms);
    ASSERT_FALSE(programs.empty());
    EXPECT_EQ(programs + L"\\" + GetStartMenuFolderName(), GetStartMenuFolderPath());
}

} // namespace
} // namespace CommonAppLogic
} // namespace Lm
