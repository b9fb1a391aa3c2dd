// "Download" of the Installer's status key while a package download runs: the percentage for the
// Installer's page, published only when asked for and only where the value exists already (the
// Installer's page made it). Registry trouble only turns publishing off; nothing here throws.
#pragma once

#include <string>

#include "System/RefPtr.h"
#include "System/Win32/RegistryKey.h"

namespace Lm {
namespace Updater {

class CProgressPublisher {
public:
    // publish: the "/emitdownloadprogress" option; statusKey: the key holding "Download".
    CProgressPublisher(bool publish, const std::wstring& statusKey);

    // The percentage as "%f" (six decimals).
    void Publish(float percent);
    // "100", whether the download completed or failed.
    void Finish();

private:
    void Write(const std::wstring& text);

    System::CRefPtr<System::Win32::CRegistryKey> m_key;   // null: publishing is off
};

} // namespace Updater
} // namespace Lm
