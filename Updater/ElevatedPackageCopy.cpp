#include "Updater/ElevatedPackageCopy.h"

#include <windows.h>

#include "System/Exception.h"
#include "Updater/ExitCodeException.h"
#include "Updater/UpdaterContract.h"
#include "Updater/UpdaterResult.h"

namespace Lm {
namespace Updater {

namespace {

std::wstring FileNameOf(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

} // namespace

CElevatedPackageCopy::CElevatedPackageCopy(const TestedPackage& tested)
{
    try {
        m_folder = new CommonAppLogic::InstallUtils::CSecureTemporaryFolder(kElevatedPackageFolderPrefix);
    } catch (const System::CException&) {
        throw CExitCodeException(FailureLaunchEXEShellExecuteEx);
    }
    m_copy.path = m_folder->GetPath() + L"\\" + FileNameOf(tested.path);
    // The source is held against writing since its tests, so the copy holds the tested bytes;
    // the new folder is the administrators' alone, so nobody else can change the copy before it
    // is held. The hold shares reading only, as the shell needs to start it.
    if (CopyFileW(tested.path.c_str(), m_copy.path.c_str(), TRUE)) {
        m_copy.hold.Reset(CreateFileW(m_copy.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    if (!m_copy.hold)
        throw CExitCodeException(FailureLaunchEXEShellExecuteEx);   // the folder goes with m_folder
}

} // namespace Updater
} // namespace Lm
