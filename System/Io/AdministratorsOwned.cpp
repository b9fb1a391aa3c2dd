#include "System/Io/AdministratorsOwned.h"

#include <aclapi.h>
#include <sddl.h>

#include "System/Win32/Handle.h"

namespace Lm {
namespace System {
namespace IO {

namespace {

using Win32::CHandleGuard;
using Win32::CLocalMemory;

std::wstring& TestTrustedOwner()
{
    static std::wstring sid;
    return sid;
}

bool IsTestTrustedOwner(PSID owner)
{
    if (TestTrustedOwner().empty())
        return false;
    LPWSTR text = nullptr;
    if (!::ConvertSidToStringSidW(owner, &text))
        return false;
    CLocalMemory guard(text);
    return _wcsicmp(text, TestTrustedOwner().c_str()) == 0;
}

bool IsTrustedOwner(PSID owner)
{
    return owner != nullptr && ::IsValidSid(owner) &&
           (::IsWellKnownSid(owner, WinLocalSystemSid) || ::IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
            IsTestTrustedOwner(owner));
}

} // namespace

bool IsAdministratorsOwned(const std::wstring& path)
{
    // The attributes of the path itself: a link shows as a reparse point here, also where an
    // opened handle would show the target (Wine).
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return false;
    // The entry itself, not what it may point to.
    CHandleGuard entry(::CreateFileW(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!entry)
        return false;
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!::GetFileInformationByHandle(entry.Get(), &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return false;
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && information.nNumberOfLinks != 1)
        return false;
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(entry.Get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                          &descriptor) != ERROR_SUCCESS)
        return false;
    CLocalMemory guard(descriptor);
    return IsTrustedOwner(owner);
}

bool CreateFolderWithAccessList(const std::wstring& path, const wchar_t* accessListSddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(accessListSddl, SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    CLocalMemory guard(descriptor);
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
    return ::CreateDirectoryW(path.c_str(), &attributes) != FALSE;
}

void SetTestTrustedOwner(const std::wstring& sid)
{
    TestTrustedOwner() = sid;
}

} // namespace IO
} // namespace System
} // namespace Lm
