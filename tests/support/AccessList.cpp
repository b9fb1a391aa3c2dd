#include "AccessList.h"

#include <aclapi.h>
#include <sddl.h>

#include <cwchar>

#include "TestSupport.h"

namespace LmTest {

AccessList ReadAccessList(const std::wstring& path)
{
    AccessList list;
    HANDLE object = CreateFileW(path.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (object == INVALID_HANDLE_VALUE)
        return list;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD result = GetSecurityInfo(object, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                         nullptr, &descriptor);
    CloseHandle(object);
    if (result != ERROR_SUCCESS)
        return list;
    list.read = true;
    list.present = dacl != nullptr;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (GetSecurityDescriptorControl(descriptor, &control, &revision))
        list.protectedList = (control & SE_DACL_PROTECTED) != 0;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&header)))
            continue;
        // Allowed and denied entries share their layout up to the SID; others show as "?".
        const bool simple = header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE;
        auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        LPWSTR sid = nullptr;
        if (simple)
            ConvertSidToStringSidW(&ace->SidStart, &sid);
        wchar_t text[160];
        _snwprintf(text, 160, L"%u/%02x/%08lx/%ls", header->AceType, header->AceFlags,
                   simple ? static_cast<unsigned long>(ace->Mask) : 0ul, sid ? sid : L"?");
        text[159] = L'\0';
        list.entries.push_back(text);
        LocalFree(sid);
    }
    LocalFree(descriptor);
    return list;
}

std::vector<std::wstring> OwnEntries(const AccessList& list)
{
    std::vector<std::wstring> own;
    for (std::wstring entry : list.entries) {
        // The flags are the two hexadecimal digits after the first slash.
        const size_t at = entry.find(L'/') + 1;
        const unsigned long flags = wcstoul(entry.substr(at, 2).c_str(), nullptr, 16) & ~static_cast<unsigned long>(INHERITED_ACE);
        wchar_t hex[3];
        _snwprintf(hex, 3, L"%02lx", flags);
        entry.replace(at, 2, hex, 2);
        own.push_back(entry);
    }
    return own;
}

bool HasEntryFor(const AccessList& list, const std::wstring& sid)
{
    for (const std::wstring& entry : list.entries) {
        if (entry.size() > sid.size() && entry.compare(entry.size() - sid.size() - 1, std::wstring::npos, L"/" + sid) == 0)
            return true;
    }
    return false;
}

bool SetAccessList(const std::wstring& path, const wchar_t* sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    const bool set = SetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, descriptor) != FALSE;
    LocalFree(descriptor);
    return set;
}

bool KeepsProtectedAccessLists(const std::wstring& folder)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return false;
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
    const std::wstring probe = folder + L"\\" + UniqueName(L"lmaclprobe-");
    const bool made = CreateDirectoryW(probe.c_str(), &attributes) != FALSE;
    LocalFree(descriptor);
    if (!made)
        return false;
    const AccessList list = ReadAccessList(probe);
    RemoveDirectoryW(probe.c_str());
    return list.protectedList && list.entries.size() == 2;
}

} // namespace LmTest
