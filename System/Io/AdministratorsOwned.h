// Where an elevated program may write, and what it may take as the machine's own settings: a
// folder or file that no ordinary user can have made or can change. Such an entry is no reparse
// point (junction, symbolic link, mount point), a file has no second name (a hard link to a file
// elsewhere), and its owner is SYSTEM or Administrators: what an elevated program creates belongs
// to Administrators, what a user creates belongs to that user, and no user can give an entry to
// either of them.
#pragma once

#include <windows.h>

#include <string>

namespace Lm {
namespace System {
namespace IO {

// Whether the folder or file at the path is such an entry; false when it is missing or its
// owner cannot be read. Never throws.
bool IsAdministratorsOwned(const std::wstring& path);

// The first two of those tests alone: the entry exists, is no reparse point, and a file has one
// name only. Never throws.
bool IsPlainEntry(const std::wstring& path);

// Creates the folder (its parent must exist) with the access list given as SDDL ("D:P(...)").
// False when it could not be made, an existing folder of that name included. Never throws.
bool CreateFolderWithAccessList(const std::wstring& path, const wchar_t* accessListSddl);

// For tests only: one more owner (a SID in text form; empty: none) that counts as SYSTEM and
// Administrators do. Under Wine every file belongs to the account of the Unix user, and nothing
// can give it another owner. The programs never call it.
void SetTestTrustedOwner(const std::wstring& sid);

} // namespace IO
} // namespace System
} // namespace Lm
