#include "System/Io/HeldFolder.h"

#include <winternl.h>

#include <vector>

#include "System/Io/Directory.h"

namespace Lm {
namespace System {
namespace IO {

namespace {

// The holder lists the folder: an open with data access, whose sharing the system checks every
// other open against. It asks for no delete access itself, so others need not share that (a
// program's current folder is opened without it).
const ACCESS_MASK kHolderAccess = SYNCHRONIZE | READ_CONTROL | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES;
// Others may open it and work in it, but not rename or remove it.
const ULONG kHolderSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;

// The path the system resolves from the handle, in the usual DOS form; empty when it cannot say.
std::wstring ResolvedPath(HANDLE handle)
{
    std::vector<wchar_t> buffer(MAX_PATH + 8);
    for (int round = 0; round < 2; ++round) {
        const DWORD length = ::GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0)
            return std::wstring();
        if (length < buffer.size()) {
            std::wstring path(buffer.data(), length);
            if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0)
                return L"\\\\" + path.substr(8);
            // The long-path prefix stays only where the path needs it.
            if (path.compare(0, 4, L"\\\\?\\") == 0 && path.size() - 4 < MAX_PATH)
                return path.substr(4);
            return path;
        }
        buffer.resize(length + 1);
    }
    return std::wstring();
}

std::wstring WithoutTrailingSeparator(std::wstring path)
{
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/'))
        path.pop_back();
    return path;
}

} // namespace

std::wstring GetResolvedPath(const std::wstring& path)
{
    Win32::CHandleGuard entry(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return entry ? WithoutTrailingSeparator(ResolvedPath(entry.Get())) : std::wstring();
}

DWORD CHeldFolder::Create(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor)
{
    m_handle.Reset();
    m_path.clear();
    UNICODE_STRING name = {};
    if (!::RtlDosPathNameToNtPathName_U(path.c_str(), &name, nullptr, nullptr))
        return ERROR_BAD_PATHNAME;
    // Not inheritable: a program started with inherited handles must not hold the folder too.
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, nullptr, descriptor);
    IO_STATUS_BLOCK status = {};
    HANDLE handle = nullptr;
    // One call makes the folder and opens it: there is no moment in which it exists unheld.
    const NTSTATUS result = ::NtCreateFile(&handle, kHolderAccess, &attributes, &status, nullptr, FILE_ATTRIBUTE_NORMAL,
                                           kHolderSharing, FILE_CREATE, FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT,
                                           nullptr, 0);
    ::RtlFreeUnicodeString(&name);
    if (!NT_SUCCESS(result))
        return ::RtlNtStatusToDosError(result);
    m_handle.Reset(handle);
    if (!ReadFileId(handle, m_id)) {
        const DWORD error = ::GetLastError();
        m_handle.Reset();
        return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
    }
    m_path = WithoutTrailingSeparator(ResolvedPath(handle));
    if (m_path.empty())
        m_path = WithoutTrailingSeparator(path);
    return ERROR_SUCCESS;
}

bool CHeldFolder::ReadFileId(HANDLE handle, CFileId& id)
{
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!::GetFileInformationByHandle(handle, &information))
        return false;
    id.volume = information.dwVolumeSerialNumber;
    id.high = information.nFileIndexHigh;
    id.low = information.nFileIndexLow;
    return true;
}

void CHeldFolder::DeleteFolderItself() const
{
    // The entry at the path itself (a link put there is not followed), deleted only when it is
    // the folder that was held; a folder that still holds something cannot be deleted.
    Win32::CHandleGuard folder(::CreateFileW(m_path.c_str(), DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                             nullptr));
    CFileId id;
    if (!folder || !ReadFileId(folder.Get(), id) || id.volume != m_id.volume || id.high != m_id.high ||
        id.low != m_id.low)
        return;
    FILE_DISPOSITION_INFO disposition = {TRUE};
    ::SetFileInformationByHandle(folder.Get(), FileDispositionInfo, &disposition, sizeof(disposition));
}

void CHeldFolder::Delete(bool clearReadOnly) noexcept
{
    if (!IsHeld())
        return;
    try {
        for (int pass = 1; pass <= 3; ++pass) {
            bool leftover = false;
            CDirectory::DeleteContents(m_path, clearReadOnly, false, leftover);
            if (!leftover)
                break;
            if (pass < 3)
                ::Sleep(50 * pass);
        }
    } catch (...) {
        // Clean-up never throws: what is left stays.
    }
    // The hold refuses delete access to everyone, this process too.
    m_handle.Reset();
    DeleteFolderItself();
}

} // namespace IO
} // namespace System
} // namespace Lm
