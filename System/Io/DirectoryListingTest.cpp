// Listing a folder: files only (full paths) or names of files and folders, on real folders.
#include <gtest/gtest.h>

#include "System/Exception.h"
#include "System/Io/Directory.h"
#include "TestSupport.h"

#include <algorithm>

using Lm::System::IO::CDirectory;

namespace {

std::vector<std::wstring> Sorted(std::vector<std::wstring> list)
{
    std::sort(list.begin(), list.end());
    return list;
}

} // namespace

TEST(DirectoryListing, get_files_lists_matching_files_with_their_paths_and_never_folders)
{
    LmTest::ScratchFolder folder(L"listing");
    LmTest::WriteFileUtf8(folder / L"Launch One.lnk", L"1");
    LmTest::WriteFileUtf8(folder / L"Launch Two.lnk", L"2");
    LmTest::WriteFileUtf8(folder / L"Other.lnk", L"3");
    CreateDirectoryW((folder / L"Launch Folder.lnk").c_str(), nullptr);

    EXPECT_EQ(Sorted({folder / L"Launch One.lnk", folder / L"Launch Two.lnk"}),
              Sorted(CDirectory::GetFiles(folder.Path(), L"Launch *.lnk")));
    EXPECT_EQ(Sorted({folder / L"Launch One.lnk", folder / L"Launch Two.lnk", folder / L"Other.lnk"}),
              Sorted(CDirectory::GetFiles(folder.Path())));
    // A trailing separator is not doubled.
    EXPECT_EQ(Sorted({folder / L"Other.lnk"}), Sorted(CDirectory::GetFiles(folder.Path() + L"\\", L"O*")));
    EXPECT_EQ(Sorted({folder.Path() + L"/Other.lnk"}), Sorted(CDirectory::GetFiles(folder.Path() + L"/", L"O*")));
    EXPECT_TRUE(CDirectory::GetFiles(folder.Path(), L"*.none").empty());
}

TEST(DirectoryListing, empty_folder_gives_empty_lists)
{
    LmTest::ScratchFolder folder(L"listing");
    EXPECT_TRUE(CDirectory::GetFiles(folder.Path()).empty());
    EXPECT_TRUE(CDirectory::GetFilesAndDirectories(folder.Path()).empty());
}

TEST(DirectoryListing, get_files_and_directories_gives_names_of_both_without_dot_entries)
{
    LmTest::ScratchFolder folder(L"listing");
    LmTest::WriteFileUtf8(folder / L"a.txt", L"a");
    CreateDirectoryW((folder / L"larchplay").c_str(), nullptr);
    CreateDirectoryW((folder / L"otherdp").c_str(), nullptr);
    EXPECT_EQ(Sorted({L"a.txt", L"larchplay", L"otherdp"}), Sorted(CDirectory::GetFilesAndDirectories(folder.Path())));
    EXPECT_EQ(std::vector<std::wstring>{L"larchplay"}, CDirectory::GetFilesAndDirectories(folder.Path(), L"l*"));
}

TEST(DirectoryListing, a_missing_folder_throws_with_its_path)
{
    LmTest::ScratchFolder folder(L"listing");
    const std::wstring missing = folder / L"gone";
    LmTest::WriteFileUtf8(folder / L"file", L"x");
    for (const std::wstring& path : {missing, folder / L"file"}) {
        try {
            CDirectory::GetFiles(path, L"*");
            ADD_FAILURE() << "no exception";
        } catch (const Lm::System::CException& e) {
            EXPECT_EQ(L"Directory does not exist" + path, e.Message());   // no separator before the path
            EXPECT_EQ(L"Io.Directory.298", e.GetLocationCode());
        }
        try {
            CDirectory::GetFilesAndDirectories(path);
            ADD_FAILURE() << "no exception";
        } catch (const Lm::System::CException& e) {
            EXPECT_EQ(L"Directory does not exist: " + path, e.Message());
            EXPECT_EQ(L"Io.Directory.338", e.GetLocationCode());
        }
    }
}
