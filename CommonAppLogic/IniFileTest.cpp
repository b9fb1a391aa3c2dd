#include "CommonAppLogic/IniFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>

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


// The object as the earlier reader filled it: one private-profile call per section and key.
std::map<std::wstring, CIniFile::Section> ThroughProfileCalls(const std::wstring& path)
{
    std::map<std::wstring, CIniFile::Section> sections;
    for (const std::wstring& name : ReadIniSectionNames(1299, path))
        sections[name];
    for (auto& section : sections) {
        for (const std::wstring& key : ReadIniSectionKeys(section.first, 1298, path))
            section.second[key] = ReadIniString(section.first, key, L"", 519, path);
    }
    return sections;
}

std::string Utf16Be(const std::wstring& text)
{
    std::string bytes = "\xFE\xFF";
    for (wchar_t c : text) {
        bytes += static_cast<char>(c >> 8);
        bytes += static_cast<char>(c & 0xFF);
    }
    return bytes;
}

std::string InCodePage(UINT codePage, const std::wstring& text)
{
    std::string bytes(text.size() * 4 + 4, '\0');
    const int length = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &bytes[0],
                                           static_cast<int>(bytes.size()), nullptr, nullptr);
    bytes.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return bytes;
}

const wchar_t kWithNul[] = L"[Main]\r\nk=ab\0cd\r\nn\0x=1\r\n[S\0T]\r\nk=2\r\n";

struct ReaderCase {
    const char* name;
    std::wstring text;
};

const ReaderCase kReaderCases[] = {
    {"comments, blanks, quotes and lines without '='",
     L"; comment\r\n# hash line\r\n#hash=1\r\n\r\n  [Main]  \r\n  Key One  =  value one  \r\nkey two=\"quoted\"\r\n"
     L"three='single'\r\nfour=\"half'\r\nfive=\"\"\r\nsix=\"\r\nseven=a=b\r\n;not=key\r\n  ;indented=comment\r\n"
     L"novalue\r\n\tTab\t=\tx\t\r\nempty=\r\nvalue with blanks = a  b \r\n"},
    {"duplicate and case-variant sections and keys",
     L"[A]\r\nk=1\r\nK=2\r\nk=3\r\n[B]\r\nx=1\r\n[a]\r\nk=9\r\nj=8\r\n[A]\r\nz=7\r\n[b]\r\n[C]\r\n[c]\r\nq=1\r\n"},
    {"section lines",
     L"top=1\r\n[Broken\r\n[Broken2=v\r\n[a]b]\r\nk=1\r\n[c] trailing\r\nk=2\r\n[ spaced ]\r\nk=3\r\n[spaced]\r\n"
     L"k=4\r\n[]\r\nk=5\r\n[ ]\r\nk=6\r\n[tail]"},
    {"line ends and Ctrl-Z", L"[Main]\rk=1\rj=2\n\n[Other]\n\rk=3\r\n\x1A\r\n[Last]\nk=\x1A4\x1A"},
    {"a key without '=' before the same key with one", L"[Main]\r\nFoo\r\nFoo=bar\r\nnext=1\r\nNEXT=2\r\n"},
    {"non-ASCII names and blanks",
     L"[\x00C4rger]\r\nSchl\x00FCssel=W\x00E9rt\r\n[\x00E4rger]\r\nk=2\r\n\x3000[\x6E38\x620F]\x3000\r\n"
     L"\x00A0key\x00A0=\x00A0v\x00A0\r\n\x0416=\x0436\r\n"},
    {"NUL inside names and values", std::wstring(kWithNul, sizeof(kWithNul) / sizeof(kWithNul[0]) - 1)},
};

// Every encoding the readers take: UTF-16 of both byte orders and UTF-8 after their byte-order
// marks, the ANSI code page without one (also a UTF-8 text without a mark, read as ANSI).
TEST(IniFileTest, the_one_pass_reader_gives_what_the_private_profile_calls_gave)
{
    LmTest::ScratchFolder folder(L"lmini");
    int file = 0;
    for (const ReaderCase& c : kReaderCases) {
        const std::pair<const char*, std::string> encodings[] = {
            {"UTF-16", Utf16File(c.text)},
            {"UTF-16 big-endian", Utf16Be(c.text)},
            {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF" + InCodePage(CP_UTF8, c.text)},
            {"ANSI", InCodePage(CP_ACP, c.text)},
            {"UTF-8 without a byte-order mark", InCodePage(CP_UTF8, c.text)},
        };
        for (const auto& encoding : encodings) {
            SCOPED_TRACE(std::string(c.name) + ", " + encoding.first);
            const std::wstring path = folder / (L"case" + std::to_wstring(++file) + L".ini");
            WriteRaw(path, encoding.second);
            EXPECT_EQ(ThroughProfileCalls(path), CIniFile(path).GetSections());
        }
    }
}

TEST(IniFileTest, a_key_line_without_a_name_hides_none_of_the_keys_after_it)
{
    LmTest::ScratchFolder folder(L"lmini");
    const std::wstring path = folder / L"settings.ini";
    WriteRaw(path, "[Main]\r\na=1\r\n=lost\r\nb=2\r\n");
    CIniFile ini(path);
    EXPECT_EQ((CIniFile::Section{{L"a", L"1"}, {L"b", L"2"}}), ini.GetSections().at(L"Main"));
}

TEST(IniFileTest, load_section_reads_again_only_the_sections_it_knows)
{
    LmTest::ScratchFolder folder(L"lmini");
    const std::wstring path = folder / L"settings.ini";
    CIniFile ini(path);
    ini.SetValue(L"Main", L"kept", L"mine");
    WriteRaw(path, "[main]\r\nk=1\r\n[Main]\r\nk=2\r\n[Other]\r\nx=1\r\n");
    ini.LoadSection();
    EXPECT_EQ(1u, ini.GetSections().size());
    EXPECT_EQ((CIniFile::Section{{L"k", L"1"}, {L"kept", L"mine"}}), ini.GetSections().at(L"Main"));
}

// A damaged settings file of many small sections: the earlier reader's time grew with the square
// of the file (one private-profile call per section and key, each searching the whole file
// again; 50,000 sections took it minutes). The bound only catches such a reader.
TEST(IniFileTest, a_damaged_file_of_fifty_thousand_sections_is_read_whole)
{
    LmTest::ScratchFolder folder(L"lmini");
    const std::wstring path = folder / L"settings.ini";
    std::string text;
    for (int i = 0; i < 50000; ++i) {
        text += "[" + std::to_string(i) + "]\r\nk=" + std::to_string(i) + "\r\n";
        if (i == 25000)
            text += "[Analytics]\r\nVisitorID=0badc0de-1111-4222-8333-444455556666\r\n";
    }
    WriteRaw(path, text);
    const ULONGLONG start = GetTickCount64();
    CIniFile ini(path);
    EXPECT_LT(GetTickCount64() - start, 60000u);
    EXPECT_EQ(50001u, ini.GetSections().size());
    EXPECT_EQ(L"0badc0de-1111-4222-8333-444455556666", ini.GetValue(L"Analytics", L"VisitorID"));
    EXPECT_EQ(L"49999", ini.GetValue(L"49999", L"k"));
    ini.Save();
    CIniFile again(path);
    EXPECT_EQ(ini.GetSections(), again.GetSections());
}

} // namespace
} // namespace CommonAppLogic
} // namespace Lm
