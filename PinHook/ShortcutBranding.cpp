#include "PinHook/ShortcutBranding.h"

#include "PinHook/DesktopIni.h"
#include "PinHook/PinHookContract.h"
#include "PinHook/WritableDesktopIniScope.h"
#include "System/Win32/Handle.h"

#include <windows.h>
#include <objbase.h>
#include <propidl.h>
#include <propsys.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include <cstring>
#include <cwchar>
#include <new>
#include <string>

using Lm::System::Win32::CComPtrT;

namespace Lm { namespace PinHook {

namespace {

// PKEY_AppUserModel_ID ({9F4C2855-9F79-4B39-A8D0-E1D42DE1D5F3}, 5); the mingw-w64 headers lack it.
const PROPERTYKEY kAppUserModelIdKey = {
    {0x9F4C2855, 0x9F79, 0x4B39, {0xA8, 0xD0, 0xE1, 0xD4, 0x2D, 0xE1, 0xD5, 0xF3}}, 5};

CComPtrT<IShellLinkW> CreateShellLink()
{
    // A failed call leaves the pointer null.
    CComPtrT<IShellLinkW> link;
    CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                     reinterpret_cast<void**>(link.Receive()));
    return link;
}

// The link file through the shell link's IPersistFile, loaded for reading; null when the shell
// cannot read the file as a link.
CComPtrT<IPersistFile> LoadLink(IShellLinkW* link, const std::wstring& linkPath)
{
    CComPtrT<IPersistFile> file;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Receive()))) &&
        FAILED(file->Load(linkPath.c_str(), STGM_READ)))
        file.Reset();
    return file;
}

void NotifyRenamed(const std::wstring& linkPath)
{
    SHChangeNotify(SHCNE_RENAMEITEM, SHCNF_PATHW | SHCNF_FLUSH, linkPath.c_str(), nullptr);
}

} // namespace

CShortcutBranding::CShortcutBranding(const std::wstring& linkPath) : m_linkPath(linkPath)
{
}

std::wstring CShortcutBranding::DescriptionFor(const std::wstring& modulePath)
{
    return L"@" + modulePath + L",-" + std::to_wstring(IDS_PINHOOK_DESCRIPTION);
}

void CShortcutBranding::Brand(const std::wstring& modulePath, const std::wstring& iconPath) const
{
    const std::wstring description = DescriptionFor(modulePath);

    // The result is not needed: an apartment that already exists serves as well, and without
    // one the shell calls below fail and are skipped. The process ends without uninitialising.
    CoInitialize(nullptr);
    CComPtrT<IShellLinkW> link = CreateShellLink();
    if (link) {
        if (CComPtrT<IPersistFile> file = LoadLink(link.Get(), m_linkPath)) {
            // Not examined: a link the shell cannot change keeps its old look and the
            // localized name and user-model id below are written all the same.
            link->SetDescription(description.c_str());
            link->SetIconLocation(iconPath.c_str(), 0);
            file->Save(nullptr, TRUE);
            file->SaveCompleted(m_linkPath.c_str());
        }
    }

    RemoveLocalizedName();
    SetLocalizedName(modulePath);
    SetAppUserModelId();
    NotifyFolderUpdated();
}

void CShortcutBranding::Clear() const
{
    // See Brand for the apartment.
    CoInitialize(nullptr);
    CComPtrT<IShellLinkW> link = CreateShellLink();
    if (link) {
        if (CComPtrT<IPersistFile> file = LoadLink(link.Get(), m_linkPath)) {
            link->SetDescription(L"");
            if (SUCCEEDED(link->SetIconLocation(L"", 0)))
                file->Save(m_linkPath.c_str(), TRUE);
        }
    }
    RemoveLocalizedName();
}

void CShortcutBranding::RemoveLocalizedName() const
{
    CWritableDesktopIniScope writable(m_linkPath);
    // Not examined: a link without a localized name answers with a failure, which is the state
    // wanted here.
    SHRemoveLocalizedName(m_linkPath.c_str());
    NotifyRenamed(m_linkPath);
}

void CShortcutBranding::SetLocalizedName(const std::wstring& modulePath) const
{
    // The shell records in the folder's desktop.ini that the link's display name is string 105
    // of the module; a desktop.ini it creates here is marked read-only when the scope ends.
    CWritableDesktopIniScope writable(m_linkPath);
    SHSetLocalizedName(m_linkPath.c_str(), modulePath.c_str(), IDS_PINHOOK_DISPLAY_NAME);
    NotifyRenamed(m_linkPath);
}

void CShortcutBranding::SetAppUserModelId() const
{
    CComPtrT<IPropertyStore> store;
    if (FAILED(SHGetPropertyStoreFromParsingName(m_linkPath.c_str(), nullptr, GPS_READWRITE, IID_IPropertyStore,
                                                 reinterpret_cast<void**>(store.Receive()))))
        return;

    const size_t bytes = (std::wcslen(kAppUserModelId) + 1) * sizeof(wchar_t);
    PROPVARIANT value;
    PropVariantInit(&value);
    value.vt = VT_LPWSTR;
    value.pwszVal = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (!value.pwszVal)
        throw std::bad_alloc();
    std::memcpy(value.pwszVal, kAppUserModelId, bytes);
    // Not examined: the link is branded as far as the shell lets it be.
    store->SetValue(kAppUserModelIdKey, value);
    store->Commit();
    PropVariantClear(&value);
}

void CShortcutBranding::NotifyFolderUpdated() const
{
    const std::wstring folder = CDesktopIni::FolderOf(m_linkPath);
    if (PathFileExistsW(folder.c_str()))
        SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHW | SHCNF_FLUSH, folder.c_str(), nullptr);
}

}} // namespace Lm::PinHook
