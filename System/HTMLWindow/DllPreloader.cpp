#include "System/HTMLWindow/DllPreloader.h"

#include "System/Win32/CriticalSectionLock.h"

namespace Lm {
namespace System {
namespace HTMLWindow {

namespace {

const wchar_t* const kLibraries[] = {
    L"mshtml.dll",  L"appHelp.dll",   L"DNSAPI.dll",   L"hnetcfg.dll",  L"jscript.dll",
    L"mlang.dll",   L"msctf.dll",     L"msi.dll",      L"msimtf.dll",   L"mslbui.dll",
    L"mswsock.dll", L"rasadhlp.dll",  L"SETUPAPI.dll", L"shdoclc.dll",  L"shell32.dll",
    L"SXS.DLL",     L"urlmon.dll",    L"wshtcpip.dll", L"wsock32",
};

// The process-wide object; not a counted reference (the holders keep it alive).
CDllPreloader* g_instance = nullptr;

Win32::CCriticalSectionLock& InstanceLock()
{
    static Win32::CCriticalSectionLock* lock = new Win32::CCriticalSectionLock();
    return *lock;
}

} // namespace

CRefPtr<CDllPreloader> CDllPreloader::GetInstance()
{
    Win32::CScopedLock guard(InstanceLock());
    // An object whose last reference just went is on its way out: it is replaced, and its
    // destructor then leaves the pointer alone.
    if (!g_instance || g_instance->GetReferenceCount() == 0)
        g_instance = new CDllPreloader();
    return CRefPtr<CDllPreloader>(g_instance);
}

std::vector<std::wstring> CDllPreloader::GetLibraryPaths()
{
    wchar_t folder[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    std::vector<std::wstring> paths;
    if (length == 0 || length >= MAX_PATH)
        return paths;
    for (const wchar_t* name : kLibraries) {
        std::wstring path = std::wstring(folder, length) + L"\\" + name;
        if (!wcschr(name, L'.'))
            path += L".dll";
        paths.push_back(path);
    }
    return paths;
}

CDllPreloader::CDllPreloader()
{
    for (const std::wstring& path : GetLibraryPaths()) {
        // Dependencies of a library loaded this way are looked up in its own folder first.
        Win32::CModuleHandle module(::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
        if (module)
            m_modules.push_back(std::move(module));
    }
}

std::vector<HMODULE> CDllPreloader::GetModules() const
{
    std::vector<HMODULE> modules;
    for (const Win32::CModuleHandle& module : m_modules)
        modules.push_back(module.Get());
    return modules;
}

CDllPreloader::~CDllPreloader()
{
    Win32::CScopedLock guard(InstanceLock());
    if (g_instance == this)
        g_instance = nullptr;
}

} // namespace HTMLWindow
} // namespace System
} // namespace Lm
