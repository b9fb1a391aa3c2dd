// Stands in for a library that someone planted where a bare-name load would find it first: the
// tests copy it under the name of a system library and check that it is never the one loaded.
// It forwards nothing. Once loaded, it appends "<its own path> in <the program's path>" to
// PlantedLibrary.log in its own folder, so that a test sees a load even when the program's
// start then fails for want of the functions the real library has.
#include <windows.h>

#include <string>

#include "ToolSupport.h"

namespace {

std::wstring OwnPath(HINSTANCE instance)
{
    wchar_t path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(instance, path, MAX_PATH);
    return std::wstring(path, n < MAX_PATH ? n : 0);
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    const std::wstring own = OwnPath(instance);
    const size_t slash = own.find_last_of(L'\\');
    if (slash != std::wstring::npos)
        LmTool::AppendUtf8(own.substr(0, slash + 1) + L"PlantedLibrary.log",
                           own + L" in " + LmTool::ModulePath() + L"\r\n");
    return TRUE;
}

extern "C" __declspec(dllexport) int PlantedLibraryMarker()
{
    return 0x504C4E54;
}
