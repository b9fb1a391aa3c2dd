// Path text operations on wide strings. Backslash and slash are both separators.
#pragma once

#include <windows.h>

#include <string>

namespace Lm {
namespace System {
namespace IO {

class CFilePath {
public:
    static bool IsDirectorySeparator(wchar_t c);
    // The first character is a separator, or the second is a colon.
    static bool IsPathRooted(const std::wstring& path);
    // Length of the root: "C:\" 3, "C:" 2, "\" 1, "\\server\share" up to the share's end.
    static size_t GetRootLength(const std::wstring& path);
    // The folder part: 'C:\a\b.txt' gives 'C:\a', 'C:\a' gives 'C:\', 'C:\' gives empty.
    static std::wstring GetDirectoryName(const std::wstring& path);
    // The text after the last backslash, slash or colon.
    static std::wstring GetFileName(const std::wstring& path);
    static std::wstring GetFileNameWithoutExtension(const std::wstring& path);
    static std::wstring Combine(const std::wstring& a, const std::wstring& b);
    // A rooted path unchanged; a relative one taken relative to the program's own folder (never the
    // current directory).
    static std::wstring GetFullPath(const std::wstring& path);
    // Resolves "." and "..", folds separators to backslashes and lower-cases the whole path; keeps a
    // trailing backslash when there was one or the path names an existing folder.
    static std::wstring Normalize(const std::wstring& path);
    // Normalize(path) up to and including its last backslash.
    static std::wstring GetParentDirectory(const std::wstring& path);
    // The user's temporary folder with its trailing backslash, or ".\" when it cannot be read.
    static std::wstring GetTempPath();
    // Throws when the path is unfit for a directory operation (empty, too long, invalid characters,
    // white space only).
    static void ValidatePath(const std::wstring& path);
};

// The folder part of a path for the Installer: 'a\b' and 'a\\b' give 'a', 'C:\b' gives 'C:',
// '\b' gives empty.
std::wstring GetParentFolder(const std::wstring& path);

} // namespace IO
} // namespace System
} // namespace Lm
