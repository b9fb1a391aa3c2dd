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

// The entry itself, not what it may point to, when it passes IsPlainEntry; an invalid handle
// otherwise.
CHandleGuard OpenPlainEntry(const std::wstring& path)
{
    // The attributes of the path itself: a link shows as a reparse point here, also where an
    // opened handle would show the target (Wine).
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return CHandleGuard();
    CHandleGuard entry(::CreateFileW(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!entry || !::GetFileInformationByHandle(entry.Get(), &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && information.nNumberOfLinks != 1))
        return CHandleGuard();
    return entry;
}

} // namespace

bool IsPlainEntry(const std::wstring& path)
{
    return OpenPlainEntry(path).IsValid();
}

bool IsAdministratorsOwned(const std::wstring& path)
{
    const CHandleGuard entry = OpenPlainEntry(path);
    if (!entry)
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
