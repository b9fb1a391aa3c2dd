// Folder operations over the Win32 file calls: existence, creation with all missing parents,
// deletion of a whole tree in retried passes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace Lm {
namespace System {
namespace IO {

class CDirectory {
public:
    // The path names an existing folder.
    static bool Exists(const std::wstring& path);
    // 'C:\a\b\' gives 'C:\a'; 'C:\a' gives 'C:'; no separator gives empty.
    static std::wstring GetParentPath(const std::wstring& path);
    // Creates the folder and its missing parents; an existing folder is success. Throws on failure.
    static void Create(const std::wstring& path);
    static void Create(const std::wstring& path, LPSECURITY_ATTRIBUTES securityAttributes);
    // Makes sure the folder that will hold the file at path exists.
    static void CreateParent(const std::wstring& path);
    // Deletes the folder tree in up to three passes (50 and 100 ms apart); never throws. Links to
    // folders (junctions, directory symbolic links) inside the tree are removed, never entered.
    // A caller that must know the result looks with Exists afterwards.
    static void Delete(const std::wstring& path, bool clearReadOnly);
    // One deletion pass. With throwOnFailure the first failure throws; without, a failure sets
    // leftover and the pass goes on.
    static void DeleteAux(const std::wstring& path, bool clearReadOnly, bool throwOnFailure, bool& leftover);
    // What the folder holds, as one pass of DeleteAux deletes it, but not the folder itself.
    static void DeleteContents(const std::wstring& path, bool clearReadOnly, bool throwOnFailure, bool& leftover);

    // Full paths of the files (never folders) of the folder that match the pattern, in the
    // order the system finds them. Throws "Directory does not exist" + folder (the path right
    // after the text, as the message has always read) for a missing folder; a pattern without
    // matches gives an empty list.
    static std::vector<std::wstring> GetFiles(const std::wstring& folder, const std::wstring& pattern);
    static std::vector<std::wstring> GetFiles(const std::wstring& folder);
    // Names (without path) of the files and folders of the folder that match the pattern, "." and
    // ".." left out, in the order the system finds them. Throws "Directory does not exist: " +
    // folder for a missing folder.
    static std::vector<std::wstring> GetFilesAndDirectories(const std::wstring& folder, const std::wstring& pattern);
    static std::vector<std::wstring> GetFilesAndDirectories(const std::wstring& folder);
};

} // namespace IO
} // namespace System
} // namespace Lm
