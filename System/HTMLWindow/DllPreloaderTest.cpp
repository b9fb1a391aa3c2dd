// The preloader: 19 system libraries, each by its full path in the system folder, one shared
// object per process.
#include <gtest/gtest.h>

#include <shlwapi.h>

#include <string>

#include "System/HTMLWindow/DllPreloader.h"
#include "TestSupport.h"

using namespace Lm::System::HTMLWindow;

namespace {

std::wstring SystemFolder()
{
    wchar_t folder[MAX_PATH] = {};
    GetSystemDirectoryW(folder, MAX_PATH);
    return folder;
}

std::wstring Wow64Folder()
{
    wchar_t folder[MAX_PATH] = {};
    return GetSystemWow64DirectoryW(folder, MAX_PATH) ? std::wstring(folder) : std::wstring();
}

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix)
{
    return !prefix.empty() && text.size() > prefix.size() &&
           CompareStringOrdinal(text.c_str(), static_cast<int>(prefix.size()), prefix.c_str(),
                                static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

std::wstring ModulePath(HMODULE module)
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    return path;
}

} // namespace

TEST(DllPreloader, nineteen_full_paths_in_the_system_folder_in_order)
{
    const std::vector<std::wstring> paths = CDllPreloader::GetLibraryPaths();
    const wchar_t* const names[] = {
        L"mshtml.dll",  L"appHelp.dll",  L"DNSAPI.dll",   L"hnetcfg.dll", L"jscript.dll", L"mlang.dll",
        L"msctf.dll",   L"msi.dll",      L"msimtf.dll",   L"mslbui.dll",  L"mswsock.dll", L"rasadhlp.dll",
        L"SETUPAPI.dll", L"shdoclc.dll", L"shell32.dll",  L"SXS.DLL",     L"urlmon.dll",  L"wshtcpip.dll",
        L"wsock32.dll"};
    ASSERT_EQ(19u, paths.size());
    for (size_t i = 0; i < paths.size(); ++i)
        EXPECT_EQ(SystemFolder() + L"\\" + names[i], paths[i]);
}

TEST(DllPreloader, one_shared_object_and_a_new_one_after_the_last_release)
{
    Lm::System::CRefPtr<CDllPreloader> first = CDllPreloader::GetInstance();
    Lm::System::CRefPtr<CDllPreloader> second = CDllPreloader::GetInstance();
    EXPECT_EQ(first.Get(), second.Get());
    EXPECT_FALSE(first->GetModules().empty()) << "Wine has most of these libraries";
    for (HMODULE module : first->GetModules()) {
        const std::wstring path = ModulePath(module);
        EXPECT_TRUE(StartsWithNoCase(path, SystemFolder()) || StartsWithNoCase(path, Wow64Folder())) << path;
    }
    first = nullptr;
    second = nullptr;
    Lm::System::CRefPtr<CDllPreloader> again = CDllPreloader::GetInstance();
    EXPECT_TRUE(again.IsSet());
    EXPECT_EQ(1, again->GetReferenceCount());
}

TEST(DllPreloader, a_library_planted_in_the_search_path_is_never_loaded)
{
    LmTest::ScratchFolder folder(L"lmplant");
    const std::wstring planted = folder / L"mslbui.dll";
    ASSERT_TRUE(CopyFileW(LmTest::Tool(L"PlantedLibrary.dll").c_str(), planted.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(LmTest::Tool(L"PlantedLibrary.dll").c_str(), (folder / L"shdoclc.dll").c_str(), FALSE));
    ASSERT_TRUE(SetDllDirectoryW(folder.Path().c_str()));

    // The plant works: a load by the bare name takes it.
    HMODULE bare = LoadLibraryW(L"mslbui.dll");
    ASSERT_NE(nullptr, bare);
    EXPECT_NE(nullptr, GetProcAddress(bare, "PlantedLibraryMarker"));
    FreeLibrary(bare);
    ASSERT_EQ(nullptr, GetModuleHandleW(planted.c_str()));

    {
        Lm::System::CRefPtr<CDllPreloader> preloader = CDllPreloader::GetInstance();
        EXPECT_EQ(nullptr, GetModuleHandleW(planted.c_str()));
        EXPECT_EQ(nullptr, GetModuleHandleW((folder / L"shdoclc.dll").c_str()));
        for (HMODULE module : preloader->GetModules()) {
            EXPECT_EQ(nullptr, GetProcAddress(module, "PlantedLibraryMarker")) << ModulePath(module);
            EXPECT_FALSE(StartsWithNoCase(ModulePath(module), folder.Path()));
        }
    }
    SetDllDirectoryW(nullptr);
}
