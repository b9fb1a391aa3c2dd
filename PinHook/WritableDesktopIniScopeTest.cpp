// A read-only desktop.ini is writable inside the scope and read-only again after it, with its
// other attributes kept; the attributes are read afresh at each end of the scope.
#include "PinHook/WritableDesktopIniScope.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "TestSupport.h"

namespace {

using Lm::PinHook::CWritableDesktopIniScope;

const DWORD kShellIniAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

class WritableDesktopIniScopeTest : public ::testing::Test {
protected:
    std::wstring Link() const { return folder_ / L"Larchmeadow Games.lnk"; }
    std::wstring Ini() const { return folder_ / L"desktop.ini"; }
    DWORD Attributes() const { return GetFileAttributesW(Ini().c_str()); }
    // Writes the file the way the shell does when it records a localized name.
    bool WriteIni() const
    {
        HANDLE file = CreateFileW(Ini().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, kShellIniAttributes, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        DWORD written = 0;
        BOOL ok = WriteFile(file, "[LocalizedFileNames]\r\n", 22, &written, nullptr);
        CloseHandle(file);
        return ok && written == 22;
    }

    LmTest::ScratchFolder folder_{L"lmdesktopini"};
};

TEST_F(WritableDesktopIniScopeTest, read_only_file_is_writable_inside_and_read_only_after)
{
    ASSERT_TRUE(WriteIni());
    ASSERT_TRUE(SetFileAttributesW(Ini().c_str(), kShellIniAttributes | FILE_ATTRIBUTE_READONLY));
    {
        CWritableDesktopIniScope writable(Link());
        EXPECT_TRUE(writable.WasReadOnly());
        EXPECT_EQ(kShellIniAttributes, Attributes());
        EXPECT_TRUE(WriteIni());
    }
    EXPECT_EQ(kShellIniAttributes | FILE_ATTRIBUTE_READONLY, Attributes());
}

TEST_F(WritableDesktopIniScopeTest, writable_file_is_left_as_it_is)
{
    ASSERT_TRUE(WriteIni());
    {
        CWritableDesktopIniScope writable(Link());
        EXPECT_FALSE(writable.WasReadOnly());
        EXPECT_EQ(kShellIniAttributes, Attributes());
    }
    EXPECT_EQ(kShellIniAttributes, Attributes());
}

TEST_F(WritableDesktopIniScopeTest, file_created_inside_the_scope_is_read_only_after)
{
    {
        CWritableDesktopIniScope writable(Link());
        EXPECT_TRUE(writable.WasReadOnly());   // a missing file counts as read-only
        ASSERT_TRUE(WriteIni());
    }
    // Its own attributes with the read-only bit added, nothing else.
    EXPECT_EQ(kShellIniAttributes | FILE_ATTRIBUTE_READONLY, Attributes());
}

TEST_F(WritableDesktopIniScopeTest, missing_file_that_nobody_creates_stays_missing)
{
    { CWritableDesktopIniScope writable(Link()); }
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, Attributes());
    EXPECT_FALSE(LmTest::DirectoryExists(Ini()));
}

TEST_F(WritableDesktopIniScopeTest, read_only_comes_back_when_an_exception_passes)
{
    ASSERT_TRUE(WriteIni());
    ASSERT_TRUE(SetFileAttributesW(Ini().c_str(), kShellIniAttributes | FILE_ATTRIBUTE_READONLY));
    try {
        CWritableDesktopIniScope writable(Link());
        throw std::runtime_error("passing");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(kShellIniAttributes | FILE_ATTRIBUTE_READONLY, Attributes());
}

} // namespace
