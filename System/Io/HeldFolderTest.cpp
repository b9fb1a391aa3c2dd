#include "System/Io/HeldFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestProcess.h"
#include "TestSupport.h"

using Lm::System::IO::CHeldFolder;
using LmTest::DirectoryExists;
using LmTest::FileExists;

namespace {

TEST(HeldFolder, takes_over_no_folder_or_file_that_is_there_already)
{
    LmTest::ScratchFolder scratch(L"lmheld");
    CreateDirectoryW((scratch / L"before").c_str(), nullptr);
    LmTest::WriteFileUtf8(scratch / L"before\\kept.txt", L"x");
    LmTest::WriteFileUtf8(scratch / L"file", L"x");
    for (const wchar_t* name : {L"before", L"file"}) {
        CHeldFolder folder;
        EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), folder.Create(scratch / name, nullptr)) << name;
        EXPECT_FALSE(folder.IsHeld());
        folder.Delete(true);
    }
    EXPECT_TRUE(FileExists(scratch / L"before\\kept.txt"));
    EXPECT_TRUE(FileExists(scratch / L"file"));
}

TEST(HeldFolder, is_made_held_and_deleted_with_what_it_holds)
{
    LmTest::ScratchFolder scratch(L"lmheld");
    CHeldFolder folder;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), folder.Create(scratch / L"held\\", nullptr));
    EXPECT_TRUE(folder.IsHeld());
    EXPECT_TRUE(LmTest::SamePath(scratch / L"held", folder.GetPath())) << folder.GetPath();
    EXPECT_FALSE(MoveFileW(folder.GetPath().c_str(), (scratch / L"moved").c_str()));
    EXPECT_FALSE(RemoveDirectoryW(folder.GetPath().c_str()));
    CreateDirectoryW((folder.GetPath() + L"\\sub").c_str(), nullptr);
    LmTest::WriteFileUtf8(folder.GetPath() + L"\\sub\\a.txt", L"x");
    LmTest::WriteFileUtf8(folder.GetPath() + L"\\b.txt", L"x");
    SetFileAttributesW((folder.GetPath() + L"\\b.txt").c_str(), FILE_ATTRIBUTE_READONLY);

    folder.Delete(true);
    EXPECT_FALSE(folder.IsHeld());
    EXPECT_FALSE(DirectoryExists(scratch / L"held"));
    EXPECT_EQ(std::vector<std::wstring>{}, LmTest::FolderEntries(scratch.Path()));
}

TEST(HeldFolder, a_parent_that_is_missing_fails_the_creation)
{
    LmTest::ScratchFolder scratch(L"lmheld");
    CHeldFolder folder;
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), folder.Create(scratch / L"missing\\held", nullptr));
    EXPECT_FALSE(folder.IsHeld());
    EXPECT_FALSE(DirectoryExists(scratch / L"missing"));
}

} // namespace
