// The named kernel objects of one run: the single-instance mutex of the starters' contract, the
// work folder's mutex (one run per folder, whatever the options), and the three update events
// that tell the caller what happened.
#pragma once

#include <string>

#include "System/RefPtr.h"
#include "System/Win32/Event.h"
#include "System/Win32/Handle.h"

namespace Lm {
namespace Updater {

// The kernel-object names of a run (name prefix + product).
std::wstring GetUpdaterMutexName(const std::wstring& product, bool withFrom);
std::wstring GetUpdateNoEventName(const std::wstring& product);
std::wstring GetUpdateYesEventName(const std::wstring& product);
std::wstring GetUpdateDenyEventName(const std::wstring& product);
// The work folder's mutex: named after the file system's identity of the folder, so that names
// that differ in case only, a short name or a trailing dot meet at the same mutex. Throws
// CExitCodeException 258 when the folder cannot be asked.
std::wstring GetWorkFolderMutexName(const std::wstring& folder);

class CRunObjects {
public:
    CRunObjects() = default;
    CRunObjects(const CRunObjects&) = delete;
    CRunObjects& operator=(const CRunObjects&) = delete;

    // Both mutexes, owned: the product's mutex for this kind of caller ("/from=" given or not),
    // then the mutex of the product's work folder (created when missing). Throws
    // CExitCodeException 258 when either exists already or cannot be made, 1024 when there is no
    // work folder. Comes before the events, so that a run which gives way sets nothing that the
    // running one's caller waits on.
    void TakeSingleInstance(const std::wstring& product, bool withFrom);
    // Creates or opens UpdateNo, UpdateYes and UpdateDeny, in this order.
    void CreateEvents(const std::wstring& product);

    // Each sets its event once it exists.
    void SetUpdateNo() { Set(m_updateNo); }
    void SetUpdateYes() { Set(m_updateYes); }
    void SetUpdateDeny() { Set(m_updateDeny); }
    // The mutexes go (before the reporter, whose end may wait for pending events).
    void ReleaseMutexes();

private:
    static void Set(const System::CRefPtr<System::Win32::CEvent>& event);

    System::Win32::CHandleGuard m_mutex;
    System::Win32::CHandleGuard m_folderMutex;
    System::CRefPtr<System::Win32::CEvent> m_updateNo;
    System::CRefPtr<System::Win32::CEvent> m_updateYes;
    System::CRefPtr<System::Win32::CEvent> m_updateDeny;
};

} // namespace Updater
} // namespace Lm
