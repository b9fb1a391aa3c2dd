#include "CommonAppLogic/IniFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "System/Exception.h"
#include "TestSupport.h"

namespace Lm {
namespace CommonAppLogic {
namespace {

std::string ReadRaw(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteRaw(const std::wstring& path, const std::string& bytes)
{
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// UTF-16 with byte-order mark, as Save writes it.
std::string Utf16File(const std::wstring& text)
{
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    return bytes;
}

std::wstring ProfileString(const std::wstring& file, const wchar_t* section, const wchar_t* key)
{
    wchar_t buffer[4096] = {};
    GetPrivateProfileStringW(section, key, L"<missing>", buffer, 4096, file.c_str());
    return buffer;
}

size_t FilesIn(const std::wstring& folder)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    size_t count = 0;
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            ++count;
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return count;
}

TEST(IniFileTest, load_and_save_sort_sections_and_keys_and_drop_comments)
{
    LmTest::ScratchFolder folder(L"lmini");
    const std::wstring path = folder / L"settings.ini";
    WriteRaw(path, "; a comment\r\n[Main]\r\nzeta=1\r\n\r\nalpha = two words \r\n# not a key\r\n"
                   "[Extra]\r\nEmpty=\r\nb=2\r\n");
    CIniFile ini(path);
    EXPECT_EQ(L"two words", ini.GetValue(L"Main", L"alpha"));
    EXPECT_EQ(L"1", ini.GetValue(L"Main", L"zeta"));
    EXPECT_EQ(L"", ini.GetValue(L"Extra", L"Empty"));
    ini.Save();
    EXPECT_EQ(Utf16File(L"[Extra]\r\nEmpty=\r\nb=2\r\n[Main]\r\nalpha=two words\r\nzeta=1\r\n"), ReadRaw(path));
}

TEST(IniFileTest, saved_file_is_utf16_with_byte_order_mark_in_sorted_order)
{
    LmTest::ScratchFolder folder(L"lmini");
    const std::wstring path = folder / L"settings.ini";
    CIniFile ini(path);
    ini.SetValue(L"b", L"y", L"2");
    ini.SetValue(L"b", L"X", L"1");
    ini.SetValue(L"a", L"k", L"v");
    ini.Save();
    EXPECT_EQ(Utf16File(L"[a]\r\nk=v\r\n[b]\r\nX=1\r\ny=2\r\n"), ReadRaw(path));
}

TEST(IniFileTest, non_ascii_values_read_back_unchanged_by_both_readers)
{
    LmTest::ScratchFolder folder(L"lmini");
    const std::wstring path = folder / L"settings.ini";
    const std::wstring value = L"Jeux vid\x00E9o \x6E38\x620F \xD83C\xDFAE \x0416";
    {
        CIniFile ini(path);
        ini.SetValue(L"Main", L"StartMenuFolder", value);
        ini.SetValue(L"Sp\x00E9" L"cial", L"Cl\x00E9", L"x");
        ini.Save();
    }
    EXPECT_EQ(value, ProfileString(path, L"Main", L"StartMenuFolder"));
    EXPECT_EQ(L"x", ProfileString(path, L"Sp\x00E9" L"cial", L"Cl\x00E9"));
    CIniFile again(path);
    EXPECT_EQ(value, again.GetValue(L"Main", L"StartMenuFolder"));
    EXPECT_EQ(L"x", again.GetValue(L"Sp\x00E9" L"cial", L"Cl\x00E9"));
}

TEST(IniFileTest, values_with_blanks_and_quotes_at_their_ends_round_trip)
{
    LmTest::ScratchFolder folder(L"lmini");
    const std::wstring path = folder / L"settings.ini";
    const wchar_t* values[] = {L" lead", L"trail ", L"\"quoted\"", L"'single'", L"a \"mid\" b", L"=", L";x"};
    {
        CIniFile ini(path);
        for (size_t i = 0; i < sizeof(values) / sizeof(values[0]); ++i)
            ini.SetValue(L"Main", L"k" + std::to_wstring(i), values[i]);
        ini.Save();
    }
    CIniFile again(path);
    for (size_t i = 0; i < sizeof(values) / sizeof(values[0]); ++i) {
        EXPECT_EQ(values[i], again.GetValue(L"Main", L"k" + std::to_wstring(i))) << i;
        EXPECT_EQ(values[i], ProfileString(path, L"Main", (L"k" + std::to_wstring(i)).c_str())) << i;
    }
}

TEST(IniFileTest, line_breaks_in_values_cannot_make_up_keys)
{
    LmTest::ScratchFolder folder(L"lmini");
    const std::wstring path = folder / L"settings.ini";
    {
        CIniFile ini(path);
        ini.SetValue(L"Main", L"StartMenuFolder", L"x\r\n[Main]\r\nShortcutInStartMenuFolder=false");
        ini.Save();
    }
    CIniFile again(path);
    EXPECT_EQ(1u, again.GetSections().size());
    EXPECT_EQ(1u, again.GetSections().at(L"Main").size());
    EXPECT_EQ(L"<missing>", ProfileString(path, L"Main", L"ShortcutInStartMenuFolder"));
}

TEST(IniFileTest, asking_for_a_missing_key_adds_it_with_an_empty_value)
{
    LmTest::ScratchFolder folder(L"lmini");
    const std::wstring path = folder / L"settings.ini";
    CIniFile ini(path);
    EXPECT_EQ(L"", ini.GetValue(L"Main", L"DownloadEULAAgreed"));
    ini.Save();
    EXPECT_EQ(Utf16File(L"[Main]\r\nDownloadEULAAgreed=\r\n"), ReadRaw(path));
}

TEST(IniFileTest, long_values_and_long_lists_are_read_whole)
{
    LmTest::ScratchFolder folder(L"lmini");
    const std::wstring path = folder / L"settings.ini";
    const std::wstring longValue(3000, L'v');
    {
        CIniFile ini(path);
        ini.SetValue(L"Main", L"long", longValue);
        for (int i = 0; i < 300; ++i)
            ini.SetValue(L"Keys", L"key_number_" + std::to_wstring(1000 + i), std::to_wstring(i));
        for (int i = 0; i < 200; ++i)
            ini.SetValue(L"Section_number_" + std::to_wstring(1000 + i), L"k", L"v");
        ini.Save();
    }
    CIniFile again(path);
    EXPECT_EQ(longValue, again.GetValue(L"Main", L"long"));
    EXPECT_EQ(300u, again.GetSections().at(L"Keys").size());
    EXPECT_EQ(L"299", again.GetValue(L"Keys", L"key_number_1299"));
    EXPECT_EQ(202u, again.GetSections().size());
    EXPECT_EQ(L"v", again.GetValue(L"Section_number_1199", L"k"));
    EXPECT_EQ(longValue, ReadIniString(L"Main", L"long", L"", 10, path));
}

TEST(IniFileTest, save_replaces_the_file_and_leaves_no_temporary_file)
{
    LmTest::ScratchFolder folder(L"lmini");
    const std::wstring path = folder / L"settings.ini";
    WriteRaw(path, "[Old]\r\nk=v\r\n");
    CIniFile ini(path);
    ini.SetValue(L"Old", L"k", L"new");
    ini.Save();
    EXPECT_EQ(L"new", ProfileString(path, L"Old", L"k"));
    EXPECT_EQ(1u, FilesIn(folder.Path()));
}

TEST(IniFileTest, failed_save_leaves_the_old_file_whole)
{
    LmTest::ScratchFolder folder(L"lmini");
    const std::wstring path = folder / L"settings.ini";
    WriteRaw(path, "[Old]\r\nk=v\r\n");
    CIniFile ini(path);
    ini.SetValue(L"Old", L"k", L"new");
    {
        // Another reader that allows no replacing keeps the file where it is.
        HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, reader);
        ini.Save();
        CloseHandle(reader);
    }
    EXPECT_EQ("[Old]\r\nk=v\r\n", ReadRaw(path));
    EXPECT_EQ(1u, FilesIn(folder.Path()));
}

TEST(IniFileTest, save_writes_through_no_file_planted_beside_the_target)
{
    // Users may create files in the folder of the shared settings. One plants, under the name a
    // predictable scheme would give the temporary file (<file>.<process id>.tmp), a link to a file
    // that the elevated program may write and the user may not.
    LmTest::ScratchFolder folder(L"lmini");
    const std::wstring path = folder / L"settings.ini";
    const std::wstring victim = folder / L"victim.txt";
    const std::wstring planted = path + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    WriteRaw(path, "[Old]\r\nk=v\r\n");
    WriteRaw(victim, "someone else's file");
    ASSERT_TRUE(CreateHardLinkW(planted.c_str(), victim.c_str(), nullptr)) << GetLastError();

    CIniFile ini(path);
    ini.SetValue(L"Old", L"k", L"new");
    ini.Save();
    EXPECT_EQ(L"new", ProfileString(path, L"Old", L"k"));
    EXPECT_EQ("someone else's file", ReadRaw(victim));
    EXPECT_EQ("someone else's file", ReadRaw(planted));
    // The target, the other file and the planted link; no temporary file is left.
    EXPECT_EQ(3u, FilesIn(folder.Path()));
}

TEST(IniFileTest, missing_file_gives_an_empty_object_and_load_throws)
{
    LmTest::ScratchFolder folder(L"lmini");
    CIniFile ini(folder / L"missing.ini");
    EXPECT_TRUE(ini.GetSections().empty());
    try {
        ini.LoadFile();
        FAIL() << "LoadFile of a missing file returned";
    } catch (const Lm::System::CException& e) {
        EXPECT_EQ(L"File does not exist in CIniFile::LoadFile", e.Message());
        EXPECT_EQ("Lm\\CommonAppLogic\\IniFile.cpp", e.SourceFile());
        EXPECT_EQ(153, e.Line());
        EXPECT_EQ("Lm::CommonAppLogic::CIniFile::LoadFile", e.Function());
    }
}

TEST(IniFileTest, readers_give_defaults_for_missing_files_sections_and_keys)
{
    LmTest::ScratchFolder folder(L"lmini");
    const std::wstring path = folder / L"settings.ini";
    EXPECT_EQ(L"dflt", ReadIniString(L"Main", L"k", L"dflt", 260, path));
    EXPECT_TRUE(ReadIniSectionKeys(L"Main", 1298, path).empty());
    WriteRaw(path, "[Main]\r\nk=v\r\nother=\r\n");
    EXPECT_EQ(L"dflt", ReadIniString(L"None", L"k", L"dflt", 260, path));
    EXPECT_EQ(L"", ReadIniString(L"Main", L"other", L"dflt", 260, path));
    EXPECT_EQ((std::vector<std::wstring>{L"k", L"other"}), ReadIniSectionKeys(L"Main", 1298, path));
}

} // namespace
} // namespace CommonAppLogic
} // namespace Lm
