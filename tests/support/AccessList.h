// Access lists of files and folders as the system hands them back (GetSecurityInfo on an open
// handle), for tests that check what a program made. Wine keeps no descriptors of its own on the
// file system: it makes a list up from the file's mode (an entry for everyone from its world
// bits) and keeps no protected flag; KeepsProtectedAccessLists says which a test can count on.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace LmTest {

struct AccessList {
    bool read = false;           // GetSecurityInfo succeeded
    bool present = false;        // there is a list (a NULL DACL gives everyone everything)
    bool protectedList = false;  // SE_DACL_PROTECTED: the parent's inheritable entries stay out
    std::vector<std::wstring> entries;  // in order, "type/flags/mask/SID", e.g. "0/03/001f01ff/S-1-5-18"
};

AccessList ReadAccessList(const std::wstring& path);

// The entries with the inherited mark (INHERITED_ACE) taken off: what a protected copy holds.
std::vector<std::wstring> OwnEntries(const AccessList& list);

// Whether an entry names the SID (text form, e.g. "S-1-1-0" for everyone).
bool HasEntryFor(const AccessList& list, const std::wstring& sid);

// Sets the folder's or file's list from SDDL ("D:P(A;OICI;FA;;;BA)"); false on failure.
bool SetAccessList(const std::wstring& path, const wchar_t* sddl);

// Whether a folder created in this folder with a protected list keeps it as given (NTFS does).
bool KeepsProtectedAccessLists(const std::wstring& folder);

} // namespace LmTest
