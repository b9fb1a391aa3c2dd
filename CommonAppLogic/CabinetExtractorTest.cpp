// Cabinets made by gcab in the build (build/tests/cabinets), unpacked from memory: the file comes
// out byte for byte; a damaged or foreign cabinet, or a file that cannot be written, is refused
// and leaves nothing behind.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "CaughtException.h"
#include "CommonAppLogic/CabinetExtractor.h"
#include "TestSupport.h"

using Lm::CommonAppLogic::CCabinetExtractor;

// Allocations of this executable that fail on demand: after FailAllocation(n) the n-th operator
// new of the thread throws std::bad_alloc (once). Off otherwise.
namespace {
thread_local long g_allocationsUntilFailure = 0;
void FailAllocation(long n) { g_allocationsUntilFailure = n; }
} // namespace

// The replacements below pair malloc with free, which GCC cannot see through.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size)
{
    if (g_allocationsUntilFailure > 0 && --g_allocationsUntilFailure == 0)
        throw std::bad_alloc();
    if (void* memory = std::malloc(size != 0 ? size : 1))
        return memory;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

namespace {

std::wstring Cabinet(const wchar_t* name) { return LmTest::TestDir() + L"cabinets\\" + name; }

void Extract(const std::string& cabinet, const std::wstring& path)
{
    CCabinetExtractor(cabinet.data(), static_cast<DWORD>(cabinet.size())).ExtractTo(path);
}

} // namespace

TEST(CabinetExtractorTest, unpacks_the_one_file_byte_for_byte_and_replaces_a_file_there)
{
    const std::string cabinet = LmTest::ReadFileBytes(Cabinet(L"OneFile.cab"));
    const std::string expected = LmTest::ReadFileBytes(LmTest::Tool(L"StandIn.exe"));
    ASSERT_FALSE(cabinet.empty());
    ASSERT_GT(expected.size(), 3 * 32768u) << "the file should span several compressed blocks";
    ASSERT_LT(cabinet.size(), expected.size()) << "the cabinet is not compressed";

    LmTest::ScratchFolder folder(L"lmcab");
    // Unpacked under any name, whatever the cabinet calls the file.
    const std::wstring target = folder / L"Setup-abc-partner.exe";
    LmTest::WriteFileUtf8(target, L"an older file");
    Extract(cabinet, target);
    EXPECT_TRUE(expected == LmTest::ReadFileBytes(target)) << "the unpacked file differs";
    EXPECT_EQ(std::vector<std::wstring>{L"Setup-abc-partner.exe"}, LmTest::FolderEntries(folder.Path()));
}

TEST(CabinetExtractorTest, damaged_and_foreign_cabinets_are_refused_and_leave_nothing)
{
    const std::string cabinet = LmTest::ReadFileBytes(Cabinet(L"OneFile.cab"));
    ASSERT_GT(cabinet.size(), 1000u);
    std::string flippedData = cabinet;
    flippedData[cabinet.size() / 2] ^= 0x5A;
    std::string flippedTail = cabinet;
    flippedTail[cabinet.size() - 10] ^= 0x01;
    struct Case { const char* what; std::string bytes; };
    const Case cases[] = {
        {"empty", std::string()},
        {"header only", cabinet.substr(0, 36)},
        {"cut in the middle", cabinet.substr(0, cabinet.size() / 2)},
        {"last byte missing", cabinet.substr(0, cabinet.size() - 1)},
        {"one byte changed in the middle", flippedData},
        {"one bit changed near the end", flippedTail},
        {"no cabinet", LmTest::ReadFileBytes(LmTest::Tool(L"StandIn.exe"))},
        {"two files", LmTest::ReadFileBytes(Cabinet(L"TwoFiles.cab"))},
    };
    for (const Case& c : cases) {
        LmTest::ScratchFolder folder(L"lmcab");
        const std::wstring target = folder / L"Installer.exe";
        Lm::System::CException e = LmTest::CaughtException([&] { Extract(c.bytes, target); });
        EXPECT_EQ("Lm::CommonAppLogic::CCabinetExtractor::ExtractTo", e.Function()) << c.what;
        EXPECT_TRUE(LmTest::FolderEntries(folder.Path()).empty()) << c.what << ": something was left behind";
    }
}

TEST(CabinetExtractorTest, a_file_that_cannot_be_written_or_put_in_place_fails_and_leaves_nothing)
{
    const std::string cabinet = LmTest::ReadFileBytes(Cabinet(L"OneFile.cab"));
    LmTest::ScratchFolder folder(L"lmcab");

    // No folder to write into.
    Lm::System::CException missing =
        LmTest::CaughtException([&] { Extract(cabinet, folder / L"missing\\Installer.exe"); });
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), missing.LastError());
    EXPECT_TRUE(LmTest::FolderEntries(folder.Path()).empty());

    // The name is taken by a folder: the unpacked file cannot take its place.
    ASSERT_TRUE(CreateDirectoryW((folder / L"Installer.exe").c_str(), nullptr));
    Lm::System::CException taken = LmTest::CaughtException([&] { Extract(cabinet, folder / L"Installer.exe"); });
    EXPECT_NE(0u, taken.LastError());
    EXPECT_EQ(std::vector<std::wstring>{L"Installer.exe"}, LmTest::FolderEntries(folder.Path()));
    EXPECT_TRUE(LmTest::DirectoryExists(folder / L"Installer.exe"));
}

TEST(CabinetExtractorTest, a_callback_that_cannot_allocate_fails_the_extraction_through_fdi_and_leaves_nothing)
{
    // FDI calls back from cabinet.dll's C frames: an exception unwinding through them would end
    // the process. Each allocation of the extraction fails once in turn; every run must end in a
    // reported failure or in the whole file, and leave nothing else.
    const std::string cabinet = LmTest::ReadFileBytes(Cabinet(L"OneFile.cab"));
    const std::string expected = LmTest::ReadFileBytes(LmTest::Tool(L"StandIn.exe"));
    LmTest::ScratchFolder folder(L"lmcab");
    const std::wstring target = folder / L"Installer.exe";
    int reported = 0;
    for (long n = 1; n <= 64; ++n) {
        SCOPED_TRACE(testing::Message() << "allocation " << n << " fails");
        bool failed = false;
        FailAllocation(n);
        try {
            Extract(cabinet, target);
        } catch (const Lm::System::CException&) {
            failed = true;
            ++reported;
        } catch (const std::bad_alloc&) {
            failed = true;   // an allocation of ExtractTo itself, outside cabinet.dll
        }
        const bool allocationsLeft = g_allocationsUntilFailure > 0;
        FailAllocation(0);
        if (failed) {
            EXPECT_TRUE(LmTest::FolderEntries(folder.Path()).empty()) << "a partial file stayed behind";
        } else {
            EXPECT_TRUE(expected == LmTest::ReadFileBytes(target)) << "the unpacked file differs";
            DeleteFileW(target.c_str());
        }
        if (allocationsLeft)
            break;   // the extraction made fewer allocations than n: all were tried
    }
    EXPECT_GT(reported, 0) << "no allocation of a callback failed";
    // cabinet.dll goes on working.
    Extract(cabinet, target);
    EXPECT_TRUE(expected == LmTest::ReadFileBytes(target));
}
