// The test platform itself: a 64-bit Windows in which these 32-bit programs run under WoW64,
// with the two registry views and the two Program Files folders a user's 64-bit Windows has.
#include <windows.h>
#include <shlobj.h>
#include <knownfolders.h>
#include <gtest/gtest.h>

#include "TestSupport.h"

namespace {

std::wstring KnownFolder(REFKNOWNFOLDERID id)
{
    PWSTR path = nullptr;
    std::wstring result;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path)))
        result = path;
    CoTaskMemFree(path);
    return result;
}

bool ReadValue(REGSAM view, const std::wstring& key, const std::wstring& name, std::wstring& out)
{
    HKEY h;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | view, &h) != ERROR_SUCCESS)
        return false;
    wchar_t buffer[256] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t), type = 0;
    LONG rc = RegQueryValueExW(h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(h);
    if (rc != ERROR_SUCCESS)
        return false;
    out = buffer;
    return true;
}

void WriteValue(REGSAM view, const std::wstring& key, const std::wstring& name, const std::wstring& value)
{
    HKEY h;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS | view, nullptr, &h, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(h, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))));
    RegCloseKey(h);
}

void DeleteKey(REGSAM view, const std::wstring& key)
{
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), view, 0);
}

} // namespace

TEST(Platform, runs_as_a_32_bit_process_under_wow64)
{
    BOOL wow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    EXPECT_TRUE(wow64);
    EXPECT_EQ(4u, sizeof(void*));
}

TEST(Platform, program_files_x86_is_the_32_bit_program_folder)
{
    std::wstring x86 = KnownFolder(FOLDERID_ProgramFilesX86);
    std::wstring native = KnownFolder(FOLDERID_ProgramFiles);
    EXPECT_NE(std::wstring::npos, x86.find(L"Program Files (x86)")) << x86;
    // A 32-bit process is given the x86 folder for "Program Files" too.
    EXPECT_EQ(x86, native);
}

TEST(Platform, registry_views_are_separate_under_software)
{
    const std::wstring key = L"Software\\" + LmTest::UniqueName(L"LmPlatformTest-");
    WriteValue(0, key, L"View", L"32");
    std::wstring seen;
    EXPECT_TRUE(ReadValue(0, key, L"View", seen));
    EXPECT_EQ(L"32", seen);
    EXPECT_FALSE(ReadValue(KEY_WOW64_64KEY, key, L"View", seen)) << "32-bit value visible in the 64-bit view";

    WriteValue(KEY_WOW64_64KEY, key, L"View", L"64");
    EXPECT_TRUE(ReadValue(KEY_WOW64_64KEY, key, L"View", seen));
    EXPECT_EQ(L"64", seen);
    EXPECT_TRUE(ReadValue(0, key, L"View", seen));
    EXPECT_EQ(L"32", seen) << "the 64-bit write changed the 32-bit view";

    DeleteKey(0, key);
    DeleteKey(KEY_WOW64_64KEY, key);
    EXPECT_FALSE(ReadValue(0, key, L"View", seen));
    EXPECT_FALSE(ReadValue(KEY_WOW64_64KEY, key, L"View", seen));
}

TEST(Platform, a_display_is_there_for_windows)
{
    HWND w = CreateWindowExW(0, L"STATIC", L"probe", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(nullptr, w) << "no display: run the tests through tools/wine-session.sh";
    if (w)
        DestroyWindow(w);
}
