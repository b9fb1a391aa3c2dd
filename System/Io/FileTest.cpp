#include "System/Io/File.h"

#include <gtest/gtest.h>

#include "OtherProcessFileLock.h"
#include "System/Exception.h"
#include "System/Io/Directory.h"
#include "TestSupport.h"

using Lm::System::CException;
using Lm::System::IO::CDirectory;
using Lm::System::IO::CFile;
using LmTest::FileExists;

namespace {

TEST(FileTest, existence_tells_files_from_folders)
{
    LmTest::ScratchFolder scratch(L"lmfile");
    const std::wstring file = scratch / L"f.txt";
    LmTest::WriteFileUtf8(file, L"x");
    EXPECT_TRUE(CFile::Exists(file));
    EXPECT_FALSE(CDirectory::Exists(file));
    EXPECT_FALSE(CFile::Exists(scratch.Path()));
    EXPECT_TRUE(CDirectory::Exists(scratch.Path()));
    EXPECT_FALSE(CFile::Exists(scratch / L"missing"));
    EXPECT_FALSE(CDirectory::Exists(scratch / L"missing"));
}

TEST(FileTest, delete_removes_the_file)
{
    LmTest::ScratchFolder scratch(L"lmfile");
    const std::wstring file = scratch / L"f.txt";
    LmTest::WriteFileUtf8(file, L"x");
    EXPECT_TRUE(CFile::DeleteAFile(file, 1));
    EXPECT_FALSE(FileExists(file));
}

TEST(FileTest, delete_of_a_file_that_stays_locked_throws_after_the_last_try)
{
    LmTest::ScratchFolder scratch(L"lmfile");
    const std::wstring file = scratch / L"held.txt";
    LmTest::WriteFileUtf8(file, L"x");
    LmTest::OtherProcessFileLock lock(file);
    ASSERT_TRUE(lock.Locked());
    try {
        CFile::DeleteAFile(file, 3);
        FAIL() << "no throw";
    } catch (const CException& e) {
        EXPECT_EQ(L"Could not DeleteFileW \"" + file + L"\"", e.Message());
        EXPECT_EQ("Lm::System::IO::CFile::DeleteAFile", e.Function());
        EXPECT_EQ(L"Io.File.32", e.GetLocationCode());
        EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), e.LastError());
    }
    EXPECT_TRUE(FileExists(file));
}

DWORD WINAPI ReleaseSoon(void* lock)
{
    ::Sleep(100);
    static_cast<LmTest::OtherProcessFileLock*>(lock)->Release();
    return 0;
}

TEST(FileTest, delete_retries_until_the_other_process_lets_go)
{
    LmTest::ScratchFolder scratch(L"lmfile");
    const std::wstring file = scratch / L"held.txt";
    LmTest::WriteFileUtf8(file, L"x");
    LmTest::OtherProcessFileLock lock(file);
    ASSERT_TRUE(lock.Locked());
    HANDLE releaser = ::CreateThread(nullptr, 0, ReleaseSoon, &lock, 0, nullptr);
    // Twenty tries wait up to 9.5 s in all: far longer than the holder keeps the file.
    EXPECT_TRUE(CFile::DeleteAFile(file, 20));
    EXPECT_FALSE(FileExists(file));
    ::WaitForSingleObject(releaser, 60000);
    ::CloseHandle(releaser);
}

struct TriesCase {
    int tries;
};

class FileTriesTest : public testing::TestWithParam<int> {};

TEST_P(FileTriesTest, missing_file_throws_with_its_error_code)
{
    LmTest::ScratchFolder scratch(L"lmfile");
    const std::wstring file = scratch / L"missing.txt";
    try {
        CFile::DeleteAFile(file, GetParam());
        FAIL() << "no throw";
    } catch (const CException& e) {
        EXPECT_EQ(L"Could not DeleteFileW \"" + file + L"\"", e.Message());
        EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), e.LastError());
    }
}

INSTANTIATE_TEST_SUITE_P(ZeroCountsAsOne, FileTriesTest, testing::Values(0, 1, 2));

TEST(FileTest, read_only_file_fails_every_try)
{
    LmTest::ScratchFolder scratch(L"lmfile");
    const std::wstring file = scratch / L"ro.txt";
    LmTest::WriteFileUtf8(file, L"x");
    ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_THROW(CFile::DeleteAFile(file, 2), CException);
    EXPECT_TRUE(FileExists(file));
    ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(FileTest, copy_replaces_the_destination_only_when_told_to)
{
    LmTest::ScratchFolder scratch(L"lmfile");
    const std::wstring source = scratch / L"source.txt";
    const std::wstring destination = scratch / L"destination.txt";
    LmTest::WriteFileUtf8(source, L"new");
    LmTest::WriteFileUtf8(destination, L"old");
    CFile::Copy(source, destination, false);
    EXPECT_EQ(L"old", LmTest::ReadFileUtf8(destination));
    CFile::Copy(source, destination, true);
    EXPECT_EQ(L"new", LmTest::ReadFileUtf8(destination));
    CFile::Copy(scratch / L"missing", destination, true);
    EXPECT_EQ(L"new", LmTest::ReadFileUtf8(destination));
}

} // namespace
