// The analytics visitor id: made once per Windows user and kept in the per-user settings file
// (UserSettingsIni, [Analytics] "VisitorID"). The update check and every analytics event send it.
// The file is user-writable: a stored id that is not a 36-character lower-case GUID text is
// replaced like a missing one (it goes unencoded into a query and through the ANSI conversion).
#pragma once

#include <string>

#include "CommonAppLogic/IniFile.h"
#include "System/Win32/CriticalSectionLock.h"

namespace Lm {
namespace Updater {

// "<roaming application data>\Larchmeadow\Larchmeadow.ini": written by the Updater, read by the
// Updater (section "Analytics", key "VisitorID").
std::wstring GetUserSettingsIniPath();
constexpr const wchar_t* kAnalyticsSection = L"Analytics";
constexpr const wchar_t* kVisitorIdKey = L"VisitorID";

// The settings file loaded (empty when it does not exist). Throws when it vanishes while loading.
CommonAppLogic::CIniFile GetAnalyticsIniPath(const std::wstring& iniPath);

// 8-4-4-4-12 lower-case hexadecimal digits, no braces.
bool IsWellFormedVisitorId(const std::wstring& id);

// The visitor id of one settings file, cached after the first read. Serialised within the process
// by its lock; other processes are not excluded.
class CVisitorIdStore {
public:
    explicit CVisitorIdStore(const std::wstring& iniPath);

    // The cached id; read from the file on first need; a new one is made and stored when the file
    // holds none or a malformed one.
    std::wstring Get();
    // Caches the id and stores it in the file (when it differs from the cached one).
    void Set(const std::wstring& id);

private:
    std::wstring m_iniPath;
    std::wstring m_cached;
    System::Win32::CCriticalSectionLock m_lock;   // re-entrant: Get calls Set under it
};

// The process-wide store over GetUserSettingsIniPath.
std::wstring GetVisitorId();
void SetVisitorId(const std::wstring& id);

} // namespace Updater
} // namespace Lm
