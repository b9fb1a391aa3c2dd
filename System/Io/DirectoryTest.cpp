#include "System/Io/Directory.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <string>
#include <vector>

#include "AccessList.h"
#include "OtherProcessFileLock.h"
#include "System/Exception.h"
#include "System/String/StringUtils.h"
#include "TestSupport.h"

using Lm::System::CException;
using Lm::System::IO::CDirectory;
using LmTest::DirectoryExists;
using LmTest::FileExists;

namespace {

void MakeTree(const std::wstring& root, const std::vector<std::wstring>& files)
{
    for (const std::wstring& file : files) {
        const std::wstring path = root + L"\\" + file;
        CDirectory::CreateParent(path);
        LmTest::WriteFileUtf8(path, L"data");
    }
}

void MakeReadOnly(const std::wstring& path)
{
    ::SetFileAttributesW(path.c_str(), ::GetFileAttributesW(path.c_str()) | FILE_ATTRIBUTE_READONLY);
}

TEST(DirectoryTest, create_makes_every_missing_level)
{
    LmTest::ScratchFolder scratch(L"lmdir");
    const std::wstring deepest = scratch / L"x\\y\\z";
    CDirectory::Create(deepest);
    EXPECT_TRUE(DirectoryExists(scratch / L"x"));
    EXPECT_TRUE(DirectoryExists(scratch / L"x\\y"));
    EXPECT_TRUE(DirectoryExists(deepest));
}

TEST(DirectoryTest, create_of_an_existing_folder_succeeds)
{
    LmTest::ScratchFolder scratch(L"lmdir");
    EXPECT_NO_THROW(CDirectory::Create(scratch.Path()));
    EXPECT_NO_THROW(CDirectory::Create(scratch.Path() + L"\\"));
}

TEST(DirectoryTest, create_with_security_attributes_passes_them_on)
{
    // A list for the system and the administrators only, against the scratch folder's, which lets
    // everyone read: each level that Create makes must carry the list it was given.
    LmTest::ScratchFolder scratch(L"lmdir");
    const LmTest::AccessList parent = LmTest::ReadAccessList(scratch.Path());
    ASSERT_TRUE(parent.read);
    ASSERT_TRUE(LmTest::HasEntryFor(parent, L"S-1-1-0")) << "the scratch folder lets everyone in";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)",
                                                                     SDDL_REVISION_1, &descriptor, nullptr));
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
    CDirectory::Create(scratch / L"a\\b", &attributes);
    LocalFree(descriptor);
    const bool keepsFlag = LmTest::KeepsProtectedAccessLists(scratch.Path());
    for (const std::wstring& level : {scratch / L"a", scratch / L"a\\b"}) {
        SCOPED_TRACE(testing::PrintToString(level));
        EXPECT_TRUE(DirectoryExists(level));
        const LmTest::AccessList list = LmTest::ReadAccessList(level);
        ASSERT_TRUE(list.read);
        EXPECT_FALSE(LmTest::HasEntryFor(list, L"S-1-1-0"));
        EXPECT_TRUE(LmTest::HasEntryFor(list, L"S-1-5-18"));
        if (keepsFlag) {
            EXPECT_TRUE(list.protectedList);
        }
    }
}

TEST(DirectoryTest, create_over_a_file_throws_already_exists_as_a_file)
{
    LmTest::ScratchFolder scratch(L"lmdir");
    const std::wstring file = scratch / L"taken";
    LmTest::WriteFileUtf8(file, L"x");
    try {
        CDirectory::Create(file);
        FAIL() << "no throw";
    } catch (const CException& e) {
        EXPECT_EQ(L"Cannot create the directory; it already exists as a file: \"" + file + L"\"", e.Message());
        EXPECT_EQ("Lm::System::IO::CDirectory::Create", e.Function());
        EXPECT_EQ(L"Io.Directory.62", e.GetLocationCode());
        EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), e.LastError());
    }
}

TEST(DirectoryTest, create_of_an_empty_path_fails_validation)
{
    try {
        CDirectory::Create(L"");
        FAIL() << "no throw";
    } catch (const CException& e) {
        EXPECT_EQ(L"Empty path", e.Message());
        EXPECT_EQ(L"Io.FilePath.50", e.GetLocationCode());
    }
}

TEST(DirectoryTest, create_failure_of_another_kind_carries_the_system_text_alone)
{
    LmTest::ScratchFolder scratch(L"lmdir");
    try {
        CDirectory::Create(scratch / L"bad*name");
        FAIL() << "no throw";
    } catch (const CException& e) {
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), e.LastError());
        EXPECT_EQ(Lm::System::String::GetWin32ErrorText(ERROR_INVALID_NAME), e.Message());
        EXPECT_EQ(L"Io.Directory.71", e.GetLocationCode());
    }
}

TEST(DirectoryTest, create_parent_makes_the_folder_that_will_hold_a_file)
{
    LmTest::ScratchFolder scratch(L"lmdir");
    CDirectory::CreateParent(scratch / L"p\\q\\file.txt");
    EXPECT_TRUE(DirectoryExists(scratch / L"p\\q"));
    EXPECT_FALSE(FileExists(scratch / L"p\\q\\file.txt"));
}

struct ParentCase {
    std::wstring path;
    std::wstring parent;
};

class DirectoryParentTest : public testing::TestWithParam<ParentCase> {};

TEST_P(DirectoryParentTest, parent_path_ignores_one_trailing_separator)
{
    EXPECT_EQ(GetParam().parent, CDirectory::GetParentPath(GetParam().path));
}

INSTANTIATE_TEST_SUITE_P(Forms, DirectoryParentTest,
                         testing::Values(ParentCase{L"C:\\a\\b\\", L"C:\\a"}, ParentCase{L"C:\\a", L"C:"},
                                         ParentCase{L"a\\\\b", L"a"}, ParentCase{L"a/b", L"a"},
                                         ParentCase{L"name", L""}, ParentCase{L"", L""},
                                         ParentCase{L"\\", L""}));

TEST(DirectoryTest, delete_removes_a_tree_with_read_only_files_when_asked_to_clear_them)
{
    LmTest::ScratchFolder scratch(L"lmdir");
    const std::wstring root = scratch / L"tree";
    MakeTree(root, {L"a.txt", L"sub\\b.txt", L"sub\\deeper\\c.txt"});
    MakeReadOnly(root + L"\\sub\\b.txt");
    MakeReadOnly(root + L"\\sub\\deeper\\c.txt");
    MakeReadOnly(root + L"\\sub\\deeper");
    CDirectory::Delete(root, true);
    EXPECT_FALSE(DirectoryExists(root));
}

TEST(DirectoryTest, delete_without_clearing_leaves_read_only_files_and_their_folders)
{
    LmTest::ScratchFolder scratch(L"lmdir");
    const std::wstring root = scratch / L"tree";
    MakeTree(root, {L"a.txt", L"keep\\ro.txt", L"gone\\b.txt"});
    MakeReadOnly(root + L"\\keep\\ro.txt");
    CDirectory::Delete(root, false);
    EXPECT_TRUE(FileExists(root + L"\\keep\\ro.txt"));
    EXPECT_FALSE(FileExists(root + L"\\a.txt"));
    EXPECT_FALSE(DirectoryExists(root + L"\\gone"));
    CDirectory::Delete(root, true);
    EXPECT_FALSE(DirectoryExists(root));
}

TEST(DirectoryTest, delete_of_a_tree_with_a_file_held_open_elsewhere_leaves_that_file_and_its_folders)
{
    LmTest::ScratchFolder scratch(L"lmdir");
    const std::wstring root = scratch / L"tree";
    MakeTree(root, {L"free.txt", L"busy\\held.txt", L"busy\\free2.txt", L"other\\c.txt"});
    LmTest::OtherProcessFileLock lock(root + L"\\busy\\held.txt");
    ASSERT_TRUE(lock.Locked());

    CDirectory::Delete(root, true);
    EXPECT_TRUE(FileExists(root + L"\\busy\\held.txt"));
    EXPECT_FALSE(FileExists(root + L"\\busy\\free2.txt"));
    EXPECT_FALSE(FileExists(root + L"\\free.txt"));
    EXPECT_FALSE(DirectoryExists(root + L"\\other"));

    lock.Release();
    CDirectory::Delete(root, true);
    EXPECT_FALSE(DirectoryExists(root));
}

TEST(DirectoryTest, delete_of_a_file_or_a_missing_path_does_nothing)
{
    LmTest::ScratchFolder scratch(L"lmdir");
    const std::wstring file = scratch / L"file.txt";
    LmTest::WriteFileUtf8(file, L"x");
    CDirectory::Delete(file, true);
    EXPECT_TRUE(FileExists(file));
    EXPECT_NO_THROW(CDirectory::Delete(scratch / L"missing", true));
    EXPECT_NO_THROW(CDirectory::Delete(L"", true));
}

TEST(DirectoryTest, delete_removes_a_link_to_a_folder_without_entering_it)
{
    LmTest::ScratchFolder scratch(L"lmdir");
    const std::wstring outside = scratch / L"outside";
    MakeTree(outside, {L"precious.txt", L"sub\\precious2.txt"});
    const std::wstring root = scratch / L"tree";
    MakeTree(root, {L"a.txt"});
    const std::wstring link = root + L"\\link";
    bool junction = false;
    if (!LmTest::MakeFolderLink(link, outside, &junction))
        GTEST_SKIP() << "no way to make a link to a folder here";
    ASSERT_TRUE(FileExists(link + L"\\precious.txt")) << "the link leads to the outside folder";

    CDirectory::Delete(root, true);
    EXPECT_TRUE(FileExists(outside + L"\\precious.txt"));
    EXPECT_TRUE(FileExists(outside + L"\\sub\\precious2.txt"));
    if (junction) {
        // Windows removes the junction itself, and with it the tree.
        EXPECT_FALSE(DirectoryExists(root));
    } else {
        // Wine's RemoveDirectoryW acts on the link's target (which is not empty), so the link stays.
        EXPECT_FALSE(FileExists(root + L"\\a.txt"));
        LmTest::RemoveFolderLink(link);
    }
}

TEST(DirectoryTest, delete_pass_that_must_throw_names_the_file_it_could_not_delete)
{
    LmTest::ScratchFolder scratch(L"lmdir");
    const std::wstring root = scratch / L"tree";
    MakeTree(root, {L"ro.txt"});
    MakeReadOnly(root + L"\\ro.txt");
    bool leftover = false;
    try {
        CDirectory::DeleteAux(root, false, true, leftover);
        FAIL() << "no throw";
    } catch (const CException& e) {
        EXPECT_EQ(L"Could not DeleteFileW \"" + root + L"\\ro.txt\"", e.Message());
        EXPECT_EQ(L"Io.File.32", e.GetLocationCode());
    }
    EXPECT_FALSE(leftover);
}

TEST(DirectoryTest, delete_pass_that_must_throw_reports_a_folder_it_could_not_remove)
{
    LmTest::ScratchFolder scratch(L"lmdir");
    const std::wstring root = scratch / L"tree";
    MakeTree(root, {L"a.txt"});
    // The folder itself held open without delete sharing: its files go, the folder cannot.
    HANDLE folder = ::CreateFileW(root.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, folder);
    bool leftover = false;
    try {
        CDirectory::DeleteAux(root, true, true, leftover);
        ADD_FAILURE() << "no throw";
    } catch (const CException& e) {
        EXPECT_EQ(L"Could not remove directory: \"" + root + L"\"", e.Message());
        EXPECT_EQ("Lm::System::IO::CDirectory::DeleteAux", e.Function());
        EXPECT_EQ(L"Io.Directory.204", e.GetLocationCode());
    }
    leftover = false;
    CDirectory::DeleteAux(root, true, false, leftover);
    EXPECT_TRUE(leftover);
    ::CloseHandle(folder);
    EXPECT_FALSE(FileExists(root + L"\\a.txt"));
}

} // namespace
