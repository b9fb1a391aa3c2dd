#include "CommonAppLogic/SharedSettings.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <knownfolders.h>

#include <fstream>

#include "System/Win32/KnownFolders.h"
#include "TestSupport.h"

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
