#include "System/Win32/KnownFolders.h"

#include <sddl.h>

#include "System/Io/FilePath.h"

namespace Lm {
namespace System {
namespace Win32 {

namespace {

// Filled on first use from the main thread; a second fill would write the same text.
std::wstring g_programDataPath;
bool g_programDataPathDone = false;

void InitProgramDataPath()
{
    if (g_programDataPathDone)
        return;
    g_programDataPath = GetKnownFolderPath(FOLDERID_ProgramData);
    g_programDataPathDone = true;
}

const wchar_t* const kMakerFolderNames[] = {
    L"Larchmeadow",
    L"Larchmeadow\\Larchmeadow Games\\App",
    L"Larchmeadow\\Larchmeadow Games\\Integration",
};

} // namespace

std::wstring GetKnownFolderPath(REFKNOWNFOLDERID folderId, HANDLE token)
{
    PWSTR path = nullptr;
    std::wstring result;
    if (SUCCEEDED(::SHGetKnownFolderPath(folderId, 0, token, &path)) && path != nullptr)
        result = path;
    ::CoTaskMemFree(path);
    return result;
}

std::wstring GetProgramFilesX86Path()
{
    return GetKnownFolderPath(FOLDERID_ProgramFilesX86);
}

std::wstring GetRoamingAppDataKnownFolder(HANDLE token)
{
    return GetKnownFolderPath(FOLDERID_RoamingAppData, token);
}

std::wstring GetRoamingAppDataPath(HANDLE token)
{
    return GetRoamingAppDataKnownFolder(token);
}

std::wstring GetProgramDataPath()
{
    InitProgramDataPath();
    return g_programDataPath;
}

std::wstring GetCommonAppDataPath()
{
    return GetProgramDataPath();
}

std::wstring GetProgramDataSubPath(const std::wstring& subPath)
{
    return IO::CFilePath::Combine(GetProgramDataPath(), subPath);
}

std::wstring GetMakerFolderName(int index)
{
    if (index < 0 || index >= static_cast<int>(sizeof(kMakerFolderNames) / sizeof(kMakerFolderNames[0])))
        return std::wstring();
    return kMakerFolderNames[index];
}

std::wstring GetMakerDataFolder(int index)
{
    return GetProgramDataSubPath(GetMakerFolderName(index));
}

std::wstring GetModulePath()
{
    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        // Longer than the classic limit (or failed): ask again with room to spare.
        std::wstring longPath(32768, L'\0');
        const DWORD longLength = ::GetModuleFileNameW(nullptr, &longPath[0], static_cast<DWORD>(longPath.size()));
        if (longLength == 0 || longLength >= longPath.size())
            return std::wstring();
        longPath.resize(longLength);
        return longPath;
    }
    return std::wstring(buffer, length);
}

std::wstring GetModuleDirectory()
{
    const std::wstring path = GetModulePath();
    const size_t position = path.rfind(L'\\');
    return position == std::wstring::npos ? std::wstring() : path.substr(0, position + 1);
}

std::wstring GetModuleFileNameOnly()
{
    const std::wstring path = GetModulePath();
    const size_t position = path.rfind(L'\\');
    return position == std::wstring::npos ? std::wstring() : path.substr(position + 1);
}

PSECURITY_DESCRIPTOR CreateFullAccessSecurityDescriptor()
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:P(A;OICI;GA;;;SY)(A;OICI;GA;;;BA)(A;OICI;GA;;;WD)", SDDL_REVISION_1, &descriptor, nullptr))
        return nullptr;
    return descriptor;
}

void RefreshDesktop()
{
    ::SHChangeNotify(SHCNE_ASSOCCHANGED, 0, nullptr, nullptr);
    HWND progman = ::FindWindowW(L"Progman", L"Program Manager");
    if (!progman)
        return;
    HWND view = ::FindWindowExW(progman, nullptr, L"SHELLDLL_DefView", nullptr);
    if (!view)
        return;
    HWND list = ::FindWindowExW(view, nullptr, L"SysListView32", nullptr);
    if (!list)
        return;
    ::PostMessageW(list, WM_KEYDOWN, VK_F5, 0);
    ::PostMessageW(list, WM_KEYUP, VK_F5, static_cast<LPARAM>(0x80000000u));
}

} // namespace Win32
} // namespace System
} // namespace Lm
