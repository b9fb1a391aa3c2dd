#include "System/Win32/KnownFolders.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include "System/Win32/Handle.h"
#include "TestSupport.h"

using namespace Lm::System::Win32;

namespace {

// No folder is registered under this id.
const KNOWNFOLDERID kUnknownFolder = {0x6f1e0b7d, 0x4a2c, 0x4c51, {0x9e, 0x13, 0x55, 0x0a, 0xde, 0x21, 0x77, 0x0c}};

TEST(KnownFoldersTest, unknown_folder_id_gives_an_empty_text)
{
    EXPECT_EQ(L"", GetKnownFolderPath(kUnknownFolder));
}

TEST(KnownFoldersTest, shell_folders_are_found)
{
    const std::wstring programFiles = GetProgramFilesX86Path();
    EXPECT_FALSE(programFiles.empty());
    EXPECT_TRUE(LmTest::DirectoryExists(programFiles)) << programFiles;
    EXPECT_EQ(GetKnownFolderPath(FOLDERID_RoamingAppData), GetRoamingAppDataPath());
    EXPECT_EQ(GetRoamingAppDataKnownFolder(nullptr), GetRoamingAppDataPath(nullptr));
    EXPECT_FALSE(GetRoamingAppDataPath().empty());
    EXPECT_EQ(GetKnownFolderPath(FOLDERID_ProgramData), GetProgramDataPath());
    EXPECT_EQ(GetProgramDataPath(), GetCommonAppDataPath());
}

struct MakerCase {
    int index;
    std::wstring folder;
};

class MakerFolderTest : public testing::TestWithParam<MakerCase> {};

TEST_P(MakerFolderTest, maker_folders_lie_below_program_data)
{
    const MakerCase& c = GetParam();
    EXPECT_EQ(c.folder, GetMakerFolderName(c.index));
    const std::wstring expected = c.folder.empty() ? GetProgramDataPath() : GetProgramDataPath() + L"\\" + c.folder;
    EXPECT_EQ(expected, GetMakerDataFolder(c.index));
}

INSTANTIATE_TEST_SUITE_P(Indexes, MakerFolderTest,
                         testing::Values(MakerCase{0, L"Larchmeadow"},
                                         MakerCase{1, L"Larchmeadow\\Larchmeadow Games\\App"},
                                         MakerCase{2, L"Larchmeadow\\Larchmeadow Games\\Integration"},
                                         MakerCase{3, L""}, MakerCase{-1, L""}));

TEST(KnownFoldersTest, program_data_sub_path_is_combined)
{
    EXPECT_EQ(GetProgramDataPath() + L"\\A\\b.ini", GetProgramDataSubPath(L"A\\b.ini"));
}

TEST(KnownFoldersTest, module_path_splits_into_folder_with_backslash_and_name)
{
    const std::wstring path = GetModulePath();
    const std::wstring folder = GetModuleDirectory();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(L'\\', folder[folder.size() - 1]);
    EXPECT_EQ(LmTest::TestDir(), folder);
    EXPECT_EQ(L"LmSystemTests.exe", GetModuleFileNameOnly());
    EXPECT_EQ(folder + GetModuleFileNameOnly(), path);
}

TEST(KnownFoldersTest, full_access_descriptor_grants_all_to_system_admins_and_everyone)
{
    CLocalMemory descriptor(CreateFullAccessSecurityDescriptor());
    ASSERT_TRUE(descriptor.IsValid());
    LPWSTR text = nullptr;
    ASSERT_TRUE(::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.Get(), SDDL_REVISION_1,
                                                                      DACL_SECURITY_INFORMATION, &text, nullptr));
    CLocalMemory textOwner(text);
    EXPECT_EQ(L"D:P(A;OICI;GA;;;SY)(A;OICI;GA;;;BA)(A;OICI;GA;;;WD)", std::wstring(text));
}

TEST(KnownFoldersTest, full_access_descriptor_applies_to_a_new_folder)
{
    LmTest::ScratchFolder scratch(L"lmsd");
    CLocalMemory descriptor(CreateFullAccessSecurityDescriptor());
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.Get(), FALSE};
    const std::wstring folder = scratch / L"shared";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), &attributes));
    EXPECT_TRUE(LmTest::DirectoryExists(folder));
}

TEST(KnownFoldersTest, refresh_desktop_returns_quietly)
{
    RefreshDesktop();
    SUCCEED();
}

} // namespace
