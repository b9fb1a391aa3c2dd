// The desktop.ini beside a link: where it is, when it counts as read-only, and that only its
// read-only bit ever changes.
#include "PinHook/DesktopIni.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "TestSupport.h"

namespace {

using Lm::PinHook::CDesktopIni;

struct PathCase {
    const wchar_t* link;
    const wchar_t* desktopIni;
};

void PrintTo(const PathCase& c, std::ostream* out)
{
    const std::wstring link = c.link;
    *out << std::string(link.begin(), link.end());
}

const PathCase kPaths[] = {
    {L"C:\\Users\\Public\\Desktop\\Larchmeadow Games.lnk", L"C:\\Users\\Public\\Desktop\\desktop.ini"},
    {L"C:\\Larchmeadow Games.lnk", L"C:\\desktop.ini"},
    {L"\\\\server\\share\\Larchmeadow Games.lnk", L"\\\\server\\share\\desktop.ini"},
    {L"Larchmeadow Games.lnk", L"desktop.ini"},
};

class DesktopIniPath : public ::testing::TestWithParam<PathCase> {};

TEST_P(DesktopIniPath, is_in_the_folder_of_the_link)
{
    EXPECT_EQ(GetParam().desktopIni, CDesktopIni(GetParam().link).Path());
}

INSTANTIATE_TEST_SUITE_P(Links, DesktopIniPath, ::testing::ValuesIn(kPaths));

TEST(DesktopIniPath, folders_longer_than_max_path_keep_their_full_name)
{
    const std::wstring folder = L"C:\\" + std::wstring(600, L'f');
    EXPECT_EQ(folder + L"\\desktop.ini", CDesktopIni(folder + L"\\Larchmeadow Games.lnk").Path());
    EXPECT_EQ(folder, CDesktopIni::FolderOf(folder + L"\\Larchmeadow Games.lnk"));
}

class DesktopIniAttributes : public ::testing::Test {
protected:
    std::wstring Link() const { return folder_ / L"Larchmeadow Games.lnk"; }
    std::wstring Ini() const { return folder_ / L"desktop.ini"; }
    void MakeIni(DWORD attributes)
    {
        LmTest::WriteFileUtf8(Ini(), L"[.ShellClassInfo]\r\n");
        ASSERT_TRUE(SetFileAttributesW(Ini().c_str(), attributes));
    }
    DWORD Attributes() const { return GetFileAttributesW(Ini().c_str()); }

    LmTest::ScratchFolder folder_{L"lmdesktopini"};
};

TEST_F(DesktopIniAttributes, missing_file_counts_as_read_only)
{
    EXPECT_TRUE(CDesktopIni(Link()).IsReadOnly());
}

TEST_F(DesktopIniAttributes, read_only_bit_decides_for_an_existing_file)
{
    MakeIni(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    EXPECT_FALSE(CDesktopIni(Link()).IsReadOnly());
    ASSERT_TRUE(SetFileAttributesW(Ini().c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(CDesktopIni(Link()).IsReadOnly());
}

TEST_F(DesktopIniAttributes, clear_and_set_change_only_the_read_only_bit)
{
    const DWORD others = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
    MakeIni(others | FILE_ATTRIBUTE_READONLY);
    CDesktopIni ini(Link());

    EXPECT_TRUE(ini.ClearReadOnly());
    EXPECT_EQ(others, Attributes());
    EXPECT_TRUE(ini.ClearReadOnly());   // already writable
    EXPECT_EQ(others, Attributes());

    EXPECT_TRUE(ini.SetReadOnly());
    EXPECT_EQ(others | FILE_ATTRIBUTE_READONLY, Attributes());
    EXPECT_TRUE(ini.SetReadOnly());     // already read-only
    EXPECT_EQ(others | FILE_ATTRIBUTE_READONLY, Attributes());
}

TEST_F(DesktopIniAttributes, read_only_alone_clears_to_a_plain_file)
{
    MakeIni(FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(CDesktopIni(Link()).ClearReadOnly());
    // Windows reports a plain file as FILE_ATTRIBUTE_NORMAL, Wine as 0.
    const DWORD plain = FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_ARCHIVE;
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, Attributes());
    EXPECT_EQ(0u, Attributes() & ~plain);
}

TEST_F(DesktopIniAttributes, missing_file_stays_missing_through_clear_and_set)
{
    CDesktopIni ini(Link());
    EXPECT_FALSE(ini.ClearReadOnly());
    EXPECT_FALSE(ini.SetReadOnly());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, Attributes());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

} // namespace
