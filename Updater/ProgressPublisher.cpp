#include "Updater/ProgressPublisher.h"

#include "CommonAppLogic/InstallContract.h"
#include "System/Exception.h"
#include "System/String/StringUtils.h"

namespace Lm {
namespace Updater {

CProgressPublisher::CProgressPublisher(bool publish, const std::wstring& statusKey)
{
    if (!publish)
        return;
    try {
        // Opened, never created: a run without the Installer leaves the registry as it was.
        System::CRefPtr<System::Win32::CRegistryKey> key = new System::Win32::CRegistryKey(statusKey, true, KEY_SET_VALUE);
        if (key->ValueExists(CommonAppLogic::kDownloadProgressValue))
            m_key = key;
    } catch (const System::CException&) {
        // No key to write (an unelevated run, for instance): the download goes on unpublished.
    }
}

void CProgressPublisher::Publish(float percent)
{
    Write(System::String::FormatString(L"%f", static_cast<double>(percent)));
}

void CProgressPublisher::Finish()
{
    Write(L"100");
}

void CProgressPublisher::Write(const std::wstring& text)
{
    if (!m_key)
        return;
    try {
        m_key->SetString(CommonAppLogic::kDownloadProgressValue, text);
    } catch (const System::CException&) {
        // A value that cannot be written is only a bar that does not move.
    }
}

} // namespace Updater
} // namespace Lm
