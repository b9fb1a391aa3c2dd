// Where an elevated Updater starts the package from. The work folder lies in the user's own
// application data, where the user may put a DLL beside the package that the elevated package
// would load: an elevated run starts a copy instead, in a secure temporary folder that only
// administrators can write, held against writing and deleting from the copy until it has started.
// The folder and what the package left in it go with the object, once the package has ended.
#pragma once

#include <string>

#include "CommonAppLogic/SecureTemporaryFolder.h"
#include "System/RefPtr.h"
#include "Updater/PatchDownload.h"

namespace Lm {
namespace Updater {

class CElevatedPackageCopy {
public:
    // Copies the tested (and held) package into a new secure temporary folder under the same
    // file name and holds the copy. Throws CExitCodeException 1281 when the folder cannot be
    // made or the copy cannot be made or held.
    explicit CElevatedPackageCopy(const TestedPackage& tested);
    CElevatedPackageCopy(const CElevatedPackageCopy&) = delete;
    CElevatedPackageCopy& operator=(const CElevatedPackageCopy&) = delete;

    // The copy and its hold (the launch lets the hold go once the copy has started).
    TestedPackage& Package() { return m_copy; }
    // The secure temporary folder, without the final backslash.
    const std::wstring& Folder() const { return m_folder->GetPath(); }

private:
    System::CRefPtr<CommonAppLogic::InstallUtils::CSecureTemporaryFolder> m_folder;
    TestedPackage m_copy;   // declared after the folder: its hold goes before the folder is deleted
};

} // namespace Updater
} // namespace Lm
