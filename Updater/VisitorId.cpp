#include "Updater/VisitorId.h"

#include <windows.h>

#include "CommonAppLogic/IniFile.h"
#include "CommonAppLogic/InstallUtils.h"
#include "System/Exception.h"
#include "System/Io/FilePath.h"
#include "System/Win32/KnownFolders.h"
#include "Updater/UpdaterContract.h"

namespace Lm {
namespace Updater {

using System::Win32::CScopedLock;

std::wstring GetUserSettingsIniPath()
{
    using System::IO::CFilePath;
    return CFilePath::Combine(CFilePath::Combine(System::Win32::GetRoamingAppDataPath(), kMakerFolder),
                              kUserSettingsFileName);
}

CommonAppLogic::CIniFile GetAnalyticsIniPath(const std::wstring& iniPath)
{
    return CommonAppLogic::CIniFile(iniPath);
}

bool IsWellFormedVisitorId(const std::wstring& id)
{
    if (id.size() != 36)
        return false;
    for (size_t i = 0; i < id.size(); ++i) {
        wchar_t c = id[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != L'-')
                return false;
        } else if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'))) {
            return false;
        }
    }
    return true;
}

CVisitorIdStore::CVisitorIdStore(const std::wstring& iniPath) : m_iniPath(iniPath) {}

std::wstring CVisitorIdStore::Get()
{
    CScopedLock lock(m_lock);
    if (m_cached.empty()) {
        try {
            CommonAppLogic::CIniFile ini = GetAnalyticsIniPath(m_iniPath);
            const auto& sections = ini.GetSections();
            auto section = sections.find(kAnalyticsSection);
            if (section != sections.end()) {
                auto value = section->second.find(kVisitorIdKey);
                if (value != section->second.end() && IsWellFormedVisitorId(value->second))
                    m_cached = value->second;
            }
        } catch (const System::CException&) {
            // A settings file that cannot be read holds no visitor id: a new one is made below.
        }
    }
    if (m_cached.empty())
        Set(CommonAppLogic::CreateGuidString());
    return m_cached;
}

void CVisitorIdStore::Set(const std::wstring& id)
{
    CScopedLock lock(m_lock);
    if (id == m_cached)
        return;
    m_cached = id;
    try {
        CommonAppLogic::CIniFile ini = GetAnalyticsIniPath(m_iniPath);
        CreateDirectoryW(System::IO::CFilePath::GetDirectoryName(m_iniPath).c_str(), nullptr);   // may exist
        ini.SetValue(kAnalyticsSection, kVisitorIdKey, id);
        ini.Save();
    } catch (const System::CException&) {
        // The id stays cached for this run; a later run makes and stores one again.
    }
}

namespace {

CVisitorIdStore& UserVisitorIdStore()
{
    static CVisitorIdStore store(GetUserSettingsIniPath());
    return store;
}

} // namespace

std::wstring GetVisitorId()
{
    return UserVisitorIdStore().Get();
}

void SetVisitorId(const std::wstring& id)
{
    UserVisitorIdStore().Set(id);
}

} // namespace Updater
} // namespace Lm
