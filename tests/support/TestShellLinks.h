// Shell links for tests: make a real .lnk with IShellLinkW/IPersistFile and read one back the
// way the shell does. Header only; link the test with ole32, shell32 and uuid.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>

#include "System/Win32/Handle.h"

namespace LmTest {

// COM for the calling thread in the multithreaded apartment, for the scope. The shell link
// object lives in either apartment; the multithreaded one creates no apartment window, so the
// test process never loads Wine's display driver, whose slow exit under a loaded machine gets
// the process killed (exit status 137) after its tests have passed.
class ComApartment {
public:
    ComApartment() : initialized_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
    ~ComApartment() { if (initialized_) CoUninitialize(); }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
private:
    bool initialized_;
};

// What a link holds, as the shell reads it.
struct ShellLinkData {
    std::wstring target;
    std::wstring arguments;
    std::wstring workingFolder;
    std::wstring description;
    std::wstring iconPath;
    int iconIndex = 0;
};

// Writes a new link file at linkPath. Needs COM on the thread. Returns false on any failure.
inline bool CreateShellLink(const std::wstring& linkPath, const ShellLinkData& data)
{
    Lm::System::Win32::CComPtrT<IShellLinkW> link;
    Lm::System::Win32::CComPtrT<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(link.Receive()))))
        return false;
    if (FAILED(link->SetPath(data.target.c_str())) || FAILED(link->SetArguments(data.arguments.c_str())) ||
        FAILED(link->SetWorkingDirectory(data.workingFolder.c_str())) ||
        FAILED(link->SetDescription(data.description.c_str())) ||
        FAILED(link->SetIconLocation(data.iconPath.c_str(), data.iconIndex)))
        return false;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Receive()))))
        return false;
    return SUCCEEDED(file->Save(linkPath.c_str(), TRUE));
}

// Loads the link file at linkPath into out. Needs COM on the thread. Returns false when the
// shell cannot load it.
inline bool ReadShellLink(const std::wstring& linkPath, ShellLinkData& out)
{
    Lm::System::Win32::CComPtrT<IShellLinkW> link;
    Lm::System::Win32::CComPtrT<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(link.Receive()))))
        return false;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Receive()))) ||
        FAILED(file->Load(linkPath.c_str(), STGM_READ)))
        return false;
    wchar_t buffer[INFOTIPSIZE + 1];
    auto text = [&buffer](HRESULT hr) { return SUCCEEDED(hr) ? std::wstring(buffer) : std::wstring(); };
    out = ShellLinkData();
    // SLGP_RAWPATH: the target as written, without resolving the link.
    buffer[0] = 0;
    out.target = text(link->GetPath(buffer, MAX_PATH, nullptr, SLGP_RAWPATH));
    buffer[0] = 0;
    out.arguments = text(link->GetArguments(buffer, INFOTIPSIZE));
    buffer[0] = 0;
    out.workingFolder = text(link->GetWorkingDirectory(buffer, MAX_PATH));
    buffer[0] = 0;
    out.description = text(link->GetDescription(buffer, INFOTIPSIZE));
    buffer[0] = 0;
    int index = 0;
    out.iconPath = text(link->GetIconLocation(buffer, MAX_PATH, &index));
    out.iconIndex = index;
    return true;
}

} // namespace LmTest
