// The library search of a process limited to the system folder, system libraries loaded by their
// full path, and the delay-load hook, in this test process: a stand-in planted where a bare-name
// load finds it (tests/tools/PlantedLibrary.cpp) is never the library loaded. (Under Wine a copy
// planted under the name of a library Wine has is only taken when that name is set to native
// first; the program tests of tests/planted do that.)
#include <gtest/gtest.h>

#include <windows.h>
#include <delayimp.h>

#include <string>

#include "System/Win32/SystemLibrary.h"
#include "TestSupport.h"

using namespace Lm::System::Win32;

namespace {

// Only the planted copy has this name.
constexpr const wchar_t* kPlantedOnly = L"LmPlantedOnly.dll";

std::wstring ModulePath(HMODULE module)
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    return path;
}

bool InSystemFolder(HMODULE module)
{
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    const std::wstring path = ModulePath(module);
    return length > 0 && path.size() > length && path[length] == L'\\' &&
           _wcsnicmp(folder, path.c_str(), length) == 0;
}

bool IsPlanted(HMODULE module) { return module != nullptr && GetProcAddress(module, "PlantedLibraryMarker") != nullptr; }

class SystemLibrary : public testing::Test {
protected:
    void SetUp() override
    {
        for (const wchar_t* name : {kPlantedOnly, L"cabinet.dll"})
            ASSERT_TRUE(CopyFileW(LmTest::Tool(L"PlantedLibrary.dll").c_str(), (folder_ / name).c_str(), FALSE));
        ASSERT_TRUE(SetDllDirectoryW(folder_.Path().c_str()));
    }
    void TearDown() override { SetDllDirectoryW(nullptr); }

    // The plant works: a bare-name load takes it.
    void ExpectBareLoadTakesThePlant()
    {
        HMODULE bare = LoadLibraryW(kPlantedOnly);
        EXPECT_TRUE(IsPlanted(bare));
        if (bare)
            FreeLibrary(bare);
    }

    LmTest::ScratchFolder folder_{L"lmsyslib"};
};

} // namespace

TEST_F(SystemLibrary, loads_the_system_folders_copy_never_one_on_the_search_path)
{
    ExpectBareLoadTakesThePlant();
    EXPECT_EQ(nullptr, LoadSystemLibrary(kPlantedOnly));

    HMODULE module = LoadSystemLibrary(L"cabinet.dll");
    ASSERT_NE(nullptr, module);
    EXPECT_FALSE(IsPlanted(module));
    EXPECT_TRUE(InSystemFolder(module)) << testing::PrintToString(ModulePath(module));
    FreeLibrary(module);
}

TEST_F(SystemLibrary, refuses_what_is_no_plain_file_name)
{
    const std::wstring planted = folder_ / kPlantedOnly;
    for (const wchar_t* name : {L"", L"..\\cabinet.dll", L"a/cabinet.dll", L"C:cabinet.dll", planted.c_str()})
        EXPECT_EQ(nullptr, LoadSystemLibrary(name)) << testing::PrintToString(std::wstring(name));
    EXPECT_EQ(nullptr, LoadSystemLibrary(nullptr));
}

TEST_F(SystemLibrary, the_delay_load_hook_hands_the_helper_the_system_folders_copy)
{
    DelayLoadInfo info = {};
    info.cb = sizeof(info);
    info.szDll = "Cabinet.dll";
    ASSERT_NE(nullptr, __pfnDliNotifyHook2) << "the runtime's empty default hook is in place of the suite's";
    HMODULE module = reinterpret_cast<HMODULE>(__pfnDliNotifyHook2(dliNotePreLoadLibrary, &info));
    ASSERT_NE(nullptr, module);
    EXPECT_FALSE(IsPlanted(module));
    EXPECT_TRUE(InSystemFolder(module)) << testing::PrintToString(ModulePath(module));
    FreeLibrary(module);
    // The other notifications are left to the helper.
    EXPECT_EQ(nullptr, __pfnDliNotifyHook2(dliStartProcessing, &info));
}

TEST_F(SystemLibrary, a_limited_search_leaves_out_the_added_and_the_current_folder)
{
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    ASSERT_TRUE(SetCurrentDirectoryW(folder_.Path().c_str()));
    ExpectBareLoadTakesThePlant();
    EXPECT_FALSE(IsDllSearchRestricted()) << "only a program's start limits it";

    // Wine has SetDefaultDllDirectories, as Windows 8 and later and Windows 7 with its update do.
    EXPECT_TRUE(RestrictDllSearchToSystemFolder());
    EXPECT_TRUE(IsDllSearchRestricted());
    EXPECT_TRUE(SetDllDirectoryW(folder_.Path().c_str())) << "added again, and still not searched";
    EXPECT_EQ(nullptr, LoadLibraryW(kPlantedOnly));
    HMODULE module = LoadSystemLibrary(L"cabinet.dll");
    EXPECT_TRUE(InSystemFolder(module)) << testing::PrintToString(ModulePath(module));
    if (module)
        FreeLibrary(module);
    SetCurrentDirectoryW(current);
}
