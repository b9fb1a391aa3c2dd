#include "System/Io/FilePath.h"

#include <gtest/gtest.h>

#include <string>

#include "System/Exception.h"
#include "System/Win32/KnownFolders.h"
#include "TestSupport.h"

using Lm::System::IO::CFilePath;

namespace {

enum class Op { DirectoryName, FileName, FileNameWithoutExtension, Combine, FullPathRooted, Normalize,
                ParentDirectory, ParentFolder };

struct PathCase {
    Op op;
    std::wstring a;
    std::wstring b;
    std::wstring expected;
};

std::wstring Apply(const PathCase& c)
{
    switch (c.op) {
    case Op::DirectoryName: return CFilePath::GetDirectoryName(c.a);
    case Op::FileName: return CFilePath::GetFileName(c.a);
    case Op::FileNameWithoutExtension: return CFilePath::GetFileNameWithoutExtension(c.a);
    case Op::Combine: return CFilePath::Combine(c.a, c.b);
    case Op::FullPathRooted: return CFilePath::GetFullPath(c.a);
    case Op::Normalize: return CFilePath::Normalize(c.a);
    case Op::ParentDirectory: return CFilePath::GetParentDirectory(c.a);
    case Op::ParentFolder: return Lm::System::IO::GetParentFolder(c.a);
    }
    return L"?";
}

class FilePathTableTest : public testing::TestWithParam<PathCase> {};

TEST_P(FilePathTableTest, gives_the_documented_result)
{
    const PathCase& c = GetParam();
    EXPECT_EQ(c.expected, Apply(c)) << "a='" << testing::PrintToString(c.a) << "' b='" << testing::PrintToString(c.b) << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Helpers, FilePathTableTest,
    testing::Values(
        PathCase{Op::DirectoryName, L"C:\\a\\b.txt", L"", L"C:\\a"},
        PathCase{Op::DirectoryName, L"C:\\a", L"", L"C:\\"},
        PathCase{Op::DirectoryName, L"C:\\", L"", L""},
        PathCase{Op::DirectoryName, L"Win32\\Event", L"", L"Win32"},
        PathCase{Op::DirectoryName, L"Event.cpp", L"", L""},
        PathCase{Op::DirectoryName, L"\\\\srv\\share\\x", L"", L"\\\\srv\\share"},
        PathCase{Op::DirectoryName, L"a/b/c", L"", L"a/b"},
        PathCase{Op::FileName, L"C:x", L"", L"x"},
        PathCase{Op::FileName, L"C:\\a\\b.txt", L"", L"b.txt"},
        PathCase{Op::FileName, L"a/b", L"", L"b"},
        PathCase{Op::FileName, L"plain", L"", L"plain"},
        PathCase{Op::FileName, L"C:\\a\\", L"", L""},
        PathCase{Op::FileNameWithoutExtension, L"a.b.c", L"", L"a.b"},
        PathCase{Op::FileNameWithoutExtension, L".cfg", L"", L""},
        PathCase{Op::FileNameWithoutExtension, L"d.x\\name", L"", L"name"},
        PathCase{Op::Combine, L"C:", L"x", L"C:x"},
        PathCase{Op::Combine, L"a/", L"b", L"a/b"},
        PathCase{Op::Combine, L"a", L"\\b", L"\\b"},
        PathCase{Op::Combine, L"a", L"D:\\b", L"D:\\b"},
        PathCase{Op::Combine, L"a", L"b", L"a\\b"},
        PathCase{Op::Combine, L"a\\", L"b", L"a\\b"},
        PathCase{Op::Combine, L"", L"b", L"b"},
        PathCase{Op::Combine, L"a", L"", L"a"},
        PathCase{Op::FullPathRooted, L"", L"", L""},
        PathCase{Op::FullPathRooted, L"C:\\x\\..\\y", L"", L"C:\\x\\..\\y"},
        PathCase{Op::FullPathRooted, L"\\x", L"", L"\\x"},
        PathCase{Op::Normalize, L"C:\\Program Files\\X\\..\\Y\\.\\z.exe", L"", L"c:\\program files\\y\\z.exe"},
        PathCase{Op::Normalize, L"..\\a", L"", L"a"},
        PathCase{Op::Normalize, L"\\\\srv\\share\\a\\..", L"", L"\\\\srv\\share"},
        PathCase{Op::Normalize, L"C:/Missing//Dir/", L"", L"c:\\missing\\dir\\"},
        PathCase{Op::Normalize, L"", L"", L""},
        PathCase{Op::ParentDirectory, L"C:\\Missing\\App\\run.exe", L"", L"c:\\missing\\app\\"},
        PathCase{Op::ParentDirectory, L"name", L"", L""},
        PathCase{Op::ParentFolder, L"a\\b", L"", L"a"},
        PathCase{Op::ParentFolder, L"a\\\\b", L"", L"a"},
        PathCase{Op::ParentFolder, L"\\b", L"", L""},
        PathCase{Op::ParentFolder, L"C:\\b", L"", L"C:"},
        PathCase{Op::ParentFolder, L"b", L"", L""}));

struct RootCase {
    std::wstring path;
    size_t length;
};

class FilePathRootTest : public testing::TestWithParam<RootCase> {};

TEST_P(FilePathRootTest, root_length)
{
    EXPECT_EQ(GetParam().length, CFilePath::GetRootLength(GetParam().path)) << testing::PrintToString(GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(Forms, FilePathRootTest,
                         testing::Values(RootCase{L"", 0}, RootCase{L"\\", 1}, RootCase{L"\\a", 1},
                                         RootCase{L"\\\\", 2}, RootCase{L"\\\\srv", 5},
                                         RootCase{L"\\\\server\\share\\x", 14}, RootCase{L"//server/share", 14},
                                         RootCase{L"X:", 2}, RootCase{L"X:a", 2}, RootCase{L"X:\\a", 3},
                                         RootCase{L"X", 0}, RootCase{L"ab\\c", 0}));

TEST(FilePathTest, rooted_paths_and_separators)
{
    EXPECT_TRUE(CFilePath::IsDirectorySeparator(L'\\'));
    EXPECT_TRUE(CFilePath::IsDirectorySeparator(L'/'));
    EXPECT_FALSE(CFilePath::IsDirectorySeparator(L':'));
    EXPECT_TRUE(CFilePath::IsPathRooted(L"/x"));
    EXPECT_TRUE(CFilePath::IsPathRooted(L"C:"));
    EXPECT_FALSE(CFilePath::IsPathRooted(L"x\\y"));
    EXPECT_FALSE(CFilePath::IsPathRooted(L""));
}

TEST(FilePathTest, relative_full_path_is_taken_from_the_program_folder)
{
    const std::wstring folder = Lm::System::Win32::GetModuleDirectory();
    EXPECT_EQ(folder + L"sub\\file.txt", CFilePath::GetFullPath(L"sub\\file.txt"));
    EXPECT_EQ(LmTest::TestDir(), folder);
}

TEST(FilePathTest, normalize_keeps_or_adds_the_backslash_of_an_existing_folder)
{
    LmTest::ScratchFolder folder(L"lmnorm");
    const std::wstring lower = CFilePath::Normalize(folder.Path() + L"\\");
    EXPECT_EQ(lower, CFilePath::Normalize(folder.Path()));
    EXPECT_EQ(L'\\', lower[lower.size() - 1]);
    EXPECT_EQ(lower, CFilePath::Normalize(folder.Path() + L"\\sub\\..\\."));
}

TEST(FilePathTest, temp_path_ends_with_a_backslash)
{
    const std::wstring temp = CFilePath::GetTempPath();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(L'\\', temp[temp.size() - 1]);
}

struct ValidateCase {
    std::wstring path;
    std::wstring message;   // empty: passes
    int line;
};

class ValidatePathTest : public testing::TestWithParam<ValidateCase> {};

TEST_P(ValidatePathTest, rejects_paths_unfit_for_directory_operations)
{
    const ValidateCase& c = GetParam();
    if (c.message.empty()) {
        EXPECT_NO_THROW(CFilePath::ValidatePath(c.path));
        return;
    }
    try {
        CFilePath::ValidatePath(c.path);
        FAIL() << "no throw for " << testing::PrintToString(c.path);
    } catch (const Lm::System::CException& e) {
        EXPECT_EQ(c.message, e.Message());
        EXPECT_EQ(c.line, e.Line());
        EXPECT_EQ("Lm::System::IO::CFilePath::ValidatePath", e.Function());
        EXPECT_EQ(L"Io.FilePath." + std::to_wstring(c.line), e.GetLocationCode());
    }
}

const std::wstring kLongPath = L"C:\\" + std::wstring(258, L'a');   // 261 characters
const std::wstring kLongestPath = L"C:\\" + std::wstring(257, L'a'); // 260 characters

INSTANTIATE_TEST_SUITE_P(
    Cases, ValidatePathTest,
    testing::Values(ValidateCase{L"", L"Empty path", 50},
                    ValidateCase{kLongPath, L"Path was too long: " + kLongPath, 55},
                    ValidateCase{kLongestPath, L"", 0},
                    ValidateCase{L"\"C:\\a", L"Path contains one or more invalid characters: \"C:\\a", 62},
                    ValidateCase{L" <x", L"Path contains one or more invalid characters:  <x", 62},
                    ValidateCase{std::wstring(L"\x19") + L"a", L"Path contains one or more invalid characters: \x19" L"a", 62},
                    ValidateCase{L"   ", L"Path contains only whitespace characters:    ", 71},
                    ValidateCase{L"\t\r\n", L"Path contains only whitespace characters: \t\r\n", 71},
                    ValidateCase{std::wstring(L"\x13") + L"a", L"", 0},
                    ValidateCase{L"C:\\a|b", L"", 0},
                    ValidateCase{L"C:\\ok", L"", 0}));

} // namespace
