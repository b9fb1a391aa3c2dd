// A folder made new and held open from the moment it exists until it goes. The handle refuses
// delete sharing, so while it is held nobody can rename or remove the folder, and so nobody can
// put another folder in its place, not even where its parent lets everyone delete its children
// (a user's temporary folder); programs may still run in it and list it. Its path is the one the
// system resolves from the handle, with no junction or link left in it. Its deletion removes the
// very folder that was made (the same file id), never one found at its path later.
#pragma once

#include <windows.h>

#include <string>

#include "System/ReferenceCounted.h"
#include "System/Win32/Handle.h"

namespace Lm {
namespace System {
namespace IO {

// The existing folder or file as the system resolves it: links followed, long names, no
// trailing backslash; empty when it cannot be opened. Never throws.
std::wstring GetResolvedPath(const std::wstring& path);

class CHeldFolder : public CNonCopyable {
public:
    CHeldFolder() = default;
    // Lets go of the folder; it stays.
    ~CHeldFolder() = default;

    // Creates the folder (its parent must exist; an existing folder or file of that name fails
    // with ERROR_ALREADY_EXISTS) with the security descriptor (null: what the parent passes on)
    // and holds it. ERROR_SUCCESS or the Win32 error of the creation; never throws.
    DWORD Create(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor);

    bool IsHeld() const { return m_handle.IsValid(); }
    // The folder as the system names it, without a trailing backslash; empty before Create.
    const std::wstring& GetPath() const { return m_path; }

    // Deletes what the folder holds (links to folders are removed, never entered), in up to
    // three passes 50 and 100 ms apart, then lets go of the folder and deletes it when what is
    // at its path is still this folder. What cannot be deleted stays. Never throws.
    void Delete(bool clearReadOnly) noexcept;

private:
    // The folder's identity: its volume and its file index there.
    struct CFileId {
        DWORD volume = 0;
        DWORD high = 0;
        DWORD low = 0;
    };
    static bool ReadFileId(HANDLE handle, CFileId& id);
    void DeleteFolderItself() const;

    std::wstring m_path;
    CFileId m_id;
    Win32::CHandleGuard m_handle;
};

} // namespace IO
} // namespace System
} // namespace Lm
