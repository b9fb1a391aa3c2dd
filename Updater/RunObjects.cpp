#include "Updater/RunObjects.h"

#include <windows.h>

#include "System/String/StringUtils.h"
#include "Updater/ExitCodeException.h"
#include "Updater/PatchDownload.h"
#include "Updater/UpdaterContract.h"
#include "Updater/UpdaterResult.h"

namespace Lm {
namespace Updater {

using System::Win32::CEvent;
using System::Win32::CHandleGuard;

namespace {

// Creates the named mutex owned; false when it cannot be made or another process made it first.
bool CreateOwnedMutex(const std::wstring& name, CHandleGuard& mutex)
{
    HANDLE created = CreateMutexW(nullptr, TRUE, name.c_str());
    const DWORD error = GetLastError();
    mutex.Reset(created);
    if (mutex && error != ERROR_ALREADY_EXISTS)
        return true;
    mutex.Reset();
    return false;
}

} // namespace

std::wstring GetUpdaterMutexName(const std::wstring& product, bool withFrom)
{
    return (withFrom ? kMutexPrefixWithFrom : kMutexPrefixWithoutFrom) + product;
}

std::wstring GetUpdateNoEventName(const std::wstring& product) { return kUpdateNoEventPrefix + product; }
std::wstring GetUpdateYesEventName(const std::wstring& product) { return kUpdateYesEventPrefix + product; }
std::wstring GetUpdateDenyEventName(const std::wstring& product) { return kUpdateDenyEventPrefix + product; }

std::wstring GetWorkFolderMutexName(const std::wstring& folder)
{
    CHandleGuard handle(CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!handle || !GetFileInformationByHandle(handle.Get(), &information))
        throw CExitCodeException(FailureMainMutex);
    return System::String::FormatString(L"%ls%08lx-%08lx%08lx", kWorkFolderMutexPrefix,
                                        information.dwVolumeSerialNumber, information.nFileIndexHigh,
                                        information.nFileIndexLow);
}

void CRunObjects::TakeSingleInstance(const std::wstring& product, bool withFrom)
{
    if (!CreateOwnedMutex(GetUpdaterMutexName(product, withFrom), m_mutex))
        throw CExitCodeException(FailureMainMutex);
    if (!CreateOwnedMutex(GetWorkFolderMutexName(GetUpdaterFolder(product)), m_folderMutex))
        throw CExitCodeException(FailureMainMutex);
}

void CRunObjects::CreateEvents(const std::wstring& product)
{
    m_updateNo = new CEvent(false, false, GetUpdateNoEventName(product));
    m_updateYes = new CEvent(false, false, GetUpdateYesEventName(product));
    m_updateDeny = new CEvent(false, false, GetUpdateDenyEventName(product));
}

void CRunObjects::ReleaseMutexes()
{
    m_folderMutex.Reset();
    m_mutex.Reset();
}

void CRunObjects::Set(const System::CRefPtr<CEvent>& event)
{
    if (event)
        event->Set();
}

} // namespace Updater
} // namespace Lm
