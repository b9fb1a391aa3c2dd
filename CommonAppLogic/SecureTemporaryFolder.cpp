#include "CommonAppLogic/SecureTemporaryFolder.h"

#include <windows.h>
#include <aclapi.h>
#include <knownfolders.h>

#include <cwctype>
#include <vector>

#include "CommonAppLogic/InstallUtils.h"
#include "System/Exception.h"
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

// The form the system resolves an existing path to (as a held folder names itself); the full,
// long form without a trailing backslash when it cannot be opened.
std::wstring ComparableForm(const std::wstring& path)
{
    const std::wstring resolved = Lm::System::IO::GetResolvedPath(path);
    if (!resolved.empty())
        return resolved;
    std::wstring result = path;
    wchar_t full[MAX_PATH * 2] = {};
    DWORD length = GetFullPathNameW(result.c_str(), MAX_PATH * 2, full, nullptr);
    if (length > 0 && length < MAX_PATH * 2)
        result.assign(full, length);
    wchar_t longForm[MAX_PATH * 2] = {};
    length = GetLongPathNameW(result.c_str(), longForm, MAX_PATH * 2);
    if (length > 0 && length < MAX_PATH * 2)
        result.assign(longForm, length);
    while (result.size() > 3 && (result.back() == L'\\' || result.back() == L'/'))
        result.pop_back();
    return result;
}

// 8-4-4-4-12 hexadecimal digits, as CreateGuidString writes them (either case).
bool IsGuidText(const std::wstring& text)
{
    if (text.size() != 36)
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? text[i] != L'-' : !iswxdigit(text[i]))
            return false;
    }
    return true;
}

// A copy of the access list whose entries are all the list's own: what the source inherited from
// its parents is marked as inherited there, and a protected list holds no inherited entries. The
// order stays, so access is checked as on the source. Empty when the list cannot be copied.
std::vector<BYTE> OwnEntriesOf(const ACL* source)
{
    ACL_SIZE_INFORMATION size = {};
    if (!GetAclInformation(const_cast<PACL>(source), &size, sizeof(size), AclSizeInformation))
        return std::vector<BYTE>();
    std::vector<BYTE> copy(sizeof(ACL) + size.AclBytesInUse);
    PACL list = reinterpret_cast<PACL>(copy.data());
    if (!InitializeAcl(list, static_cast<DWORD>(copy.size()), source->AclRevision))
        return std::vector<BYTE>();
    for (DWORD i = 0; i < size.AceCount; ++i) {
        ACE_HEADER* entry = nullptr;
        if (!GetAce(const_cast<PACL>(source), i, reinterpret_cast<void**>(&entry)) ||
            !AddAce(list, source->AclRevision, MAXDWORD, entry, entry->AceSize))
            return std::vector<BYTE>();
        ACE_HEADER* added = nullptr;
        if (!GetAce(list, i, reinterpret_cast<void**>(&added)))
            return std::vector<BYTE>();
        added->AceFlags &= static_cast<BYTE>(~INHERITED_ACE);
    }
    return copy;
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
    Create(prefix, dacl);
}

CSecureTemporaryFolder::CSecureTemporaryFolder(const std::wstring& prefix, const ACL* accessList)
{
    Create(prefix, accessList);
}

void CSecureTemporaryFolder::Create(const std::wstring& prefix, const ACL* accessList)
{
    // A missing access list would give the new folder none at all: open to everyone.
    if (!accessList)
        Lm::System::ThrowException("AtlGetDacl failed", kSource, 254, kConstructor);

    std::vector<BYTE> ownList = OwnEntriesOf(accessList);
    if (ownList.empty())
        Lm::System::ThrowException("AtlGetDacl failed", kSource, 254, kConstructor);

    // Protected: the system merges none of the temporary folder's inheritable entries into the
    // list (in a user's temporary folder they give that user full control of everything below).
    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<PACL>(ownList.data()), FALSE) ||
        !SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        Lm::System::ThrowException("AtlGetDacl failed", kSource, 254, kConstructor);

    const std::wstring temporary = TemporaryPath();
    for (int attempt = 0; attempt < kTries; ++attempt) {
        if (m_folder.Create(temporary + prefix + L"-" + CreateGuidString(), &descriptor) == ERROR_SUCCESS)
            return;
    }
    Lm::System::ThrowException("Ran out of tries", kSource, 273, kConstructor);
}

bool CSecureTemporaryFolder::IsNamedAsMadeWith(const std::wstring& prefix, const std::wstring& folder)
{
    const std::wstring path = ComparableForm(folder);
    const size_t separator = path.find_last_of(L"\\/");
    if (separator == std::wstring::npos)
        return false;
    const std::wstring name = path.substr(separator + 1);
    const std::wstring start = prefix + L"-";
    if (name.size() <= start.size() || _wcsnicmp(name.c_str(), start.c_str(), start.size()) != 0 ||
        !IsGuidText(name.substr(start.size())))
        return false;
    const std::wstring temporary = TemporaryPath();
    if (temporary.empty())
        return false;
    return _wcsicmp(ComparableForm(path.substr(0, separator + 1)).c_str(), ComparableForm(temporary).c_str()) == 0;
}

CSecureTemporaryFolder::~CSecureTemporaryFolder()
{
    m_folder.Delete(true);
}

} // namespace InstallUtils
} // namespace CommonAppLogic
} // namespace Lm
