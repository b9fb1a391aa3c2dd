#include "System/Win32/SystemLibrary.h"

#include <delayimp.h>

namespace Lm {
namespace System {
namespace Win32 {

namespace {

// Set once, on the main thread, before any other thread exists; a plain zero-initialised flag,
// since it is written before the C runtime has started.
bool g_searchRestricted = false;

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

} // namespace

bool RestrictDllSearchToSystemFolder()
{
    // Takes the current folder out of the search of LoadLibrary and of LOAD_WITH_ALTERED_SEARCH_PATH;
    // the program's own folder stays in it unless SetDefaultDllDirectories is there.
    ::SetDllDirectoryW(L"");
    const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    const auto setDefaultDllDirectories = kernel == nullptr ? nullptr
        : reinterpret_cast<SetDefaultDllDirectoriesFunction>(
              reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
    g_searchRestricted = setDefaultDllDirectories != nullptr &&
                         setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
    return g_searchRestricted;
}

bool IsDllSearchRestricted()
{
    return g_searchRestricted;
}

HMODULE LoadSystemLibrary(const wchar_t* fileName)
{
    if (fileName == nullptr || *fileName == L'\0')
        return nullptr;
    wchar_t path[MAX_PATH];
    const UINT folderLength = ::GetSystemDirectoryW(path, MAX_PATH);
    if (folderLength == 0 || folderLength >= MAX_PATH)
        return nullptr;
    UINT length = folderLength;
    path[length++] = L'\\';
    for (const wchar_t* c = fileName; *c != L'\0'; ++c) {
        // A path, a drive or a stream would lead out of the system folder.
        if (*c == L'\\' || *c == L'/' || *c == L':' || length + 1 >= MAX_PATH)
            return nullptr;
        path[length++] = *c;
    }
    path[length] = L'\0';
    // With the search limited, the library's own imports come from the system folder only;
    // without, the altered search order begins in the library's folder (the system folder) and
    // leaves out the program's folder.
    return ::LoadLibraryExW(path, nullptr,
                            g_searchRestricted ? LOAD_LIBRARY_SEARCH_SYSTEM32 : LOAD_WITH_ALTERED_SEARCH_PATH);
}

namespace {

// The delay-load helper of the C runtime asks this hook before it loads a delay-loaded library.
// Left to itself, the helper loads it by its bare name, which searches the program's folder
// wherever SetDefaultDllDirectories is missing; the hook hands it the system folder's copy.
FARPROC WINAPI LoadDelayLoadedLibrary(unsigned notification, PDelayLoadInfo info)
{
    if (notification != dliNotePreLoadLibrary || info == nullptr || info->szDll == nullptr)
        return nullptr;
    wchar_t name[MAX_PATH];
    HMODULE module = nullptr;
    if (::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, info->szDll, -1, name, MAX_PATH) > 0)
        module = LoadSystemLibrary(name);
    if (module == nullptr) {
        // A null answer would send the helper to its bare-name load. End as a failed delay load
        // ends (the helper's own exception), and never come back to it.
        info->dwLastError = ::GetLastError();
        ULONG_PTR arguments[] = {reinterpret_cast<ULONG_PTR>(info)};
        ::RaiseException(VcppException(ERROR_SEVERITY_ERROR, ERROR_MOD_NOT_FOUND), EXCEPTION_NONCONTINUABLE, 1,
                         arguments);
    }
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(module));
}

} // namespace

} // namespace Win32
} // namespace System
} // namespace Lm

// The C runtime's delay-load helper reads this hook (declared in <delayimp.h>). It is defined in
// this file, beside RestrictDllSearchToSystemFolder, so that every program, whose start calls that
// function, has it in place of the runtime's empty default.
PfnDliHook __pfnDliNotifyHook2 = Lm::System::Win32::LoadDelayLoadedLibrary;
