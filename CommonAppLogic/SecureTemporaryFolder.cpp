#include "CommonAppLogic/SecureTemporaryFolder.h"

#include <windows.h>
#include <aclapi.h>
#include <knownfolders.h>

#include "CommonAppLogic/InstallUtils.h"
#include "System/Exception.h"
#include "System/Io/Directory.h"
#include "System/Win32/Handle.h"
#include "System/Win32/KnownFolders.h"

namespace Lm {
namespace CommonAppLogic {
namespace InstallUtils {

namespace {

const char kSource[] = "Lm\\CommonAppLogic\\InstallUtils.cpp";
const char kConstructor[] = "Lm::CommonAppLogic::InstallUtils::CSecureTemporaryFolder::CSecureTemporaryFolder";
const int kTries = 10;

// GetTempPathW with its trailing backslash; empty when the call fails.
std::wstring TemporaryPath()
{
    wchar_t buffer[MAX_PATH + 2] = {};
    DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH + 1)
        return std::wstring();
    return std::wstring(buffer, length);
}

} // namespace

CSecureTemporaryFolder::CSecureTemporaryFolder(const std::wstring& prefix)
    : CSecureTemporaryFolder(prefix, Lm::System::Win32::GetKnownFolderPath(FOLDERID_ProgramFilesX86))
{
}

CSecureTemporaryFolder::CSecureTemporaryFolder(const std::wstring& prefix, const std::wstring& accessListSource)
{
    // The access list of the source folder, held by the descriptor that the call returns.
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR source = nullptr;
    DWORD result = GetNamedSecurityInfoW(accessListSource.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                         nullptr, &dacl, nullptr, &source);
    Lm::System::Win32::CLocalMemory sourceGuard(source);
    if (result != ERROR_SUCCESS) {
        SetLastError(result);
        Lm::System::ThrowException("AtlGetDacl failed", kSource, 254, kConstructor);
    }
    // A missing access list would give the new folder none at all: open to everyone.
    if (!dacl)
        Lm::System::ThrowException("AtlGetDacl failed", kSource, 254, kConstructor);

    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, dacl, FALSE))
        Lm::System::ThrowException("AtlGetDacl failed", kSource, 254, kConstructor);
    SECURITY_ATTRIBUTES attributes = {sizeof(SECURITY_ATTRIBUTES), &descriptor, FALSE};

    const std::wstring temporary = TemporaryPath();
    for (int attempt = 0; attempt < kTries; ++attempt) {
        std::wstring path = temporary + prefix + L"-" + CreateGuidString();
        if (CreateDirectoryW(path.c_str(), &attributes)) {
            m_path = path;
            return;
        }
    }
    Lm::System::ThrowException("Ran out of tries", kSource, 273, kConstructor);
}

CSecureTemporaryFolder::~CSecureTemporaryFolder()
{
    Lm::System::IO::CDirectory::Delete(m_path, true);
}

} // namespace InstallUtils
} // namespace CommonAppLogic
} // namespace Lm
