#include "System/Io/Directory.h"

#include "System/Exception.h"
#include "System/Io/File.h"
#include "System/Io/FilePath.h"
#include "System/String/StringUtils.h"
#include "System/Win32/Handle.h"

namespace Lm {
namespace System {
namespace IO {

namespace {

const char kSource[] = "Lm\\System\\Io\\Directory.cpp";
const char kCreate[] = "Lm::System::IO::CDirectory::Create";
const char kDeleteAux[] = "Lm::System::IO::CDirectory::DeleteAux";

bool IsLinkToFolder(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Removes a junction or directory symbolic link itself; what it points to is left alone.
void RemoveLink(const std::wstring& path, DWORD attributes, bool clearReadOnly, bool throwOnFailure, bool& leftover)
{
    if (clearReadOnly && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        ::SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (::RemoveDirectoryW(path.c_str()))
        return;
    if (throwOnFailure)
        ThrowException(L"Could not remove directory: \"" + path + L"\"", kSource, 204, kDeleteAux);
    leftover = true;
}

} // namespace

bool CDirectory::Exists(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::wstring CDirectory::GetParentPath(const std::wstring& path)
{
    if (path.size() < 2)
        return std::wstring();
    for (size_t i = path.size() - 1; i-- > 0;) {
        if (CFilePath::IsDirectorySeparator(path[i])) {
            if (i > 0 && CFilePath::IsDirectorySeparator(path[i - 1]))
                --i;
            return path.substr(0, i);
        }
    }
    return std::wstring();
}

void CDirectory::Create(const std::wstring& path)
{
    Create(path, nullptr);
}

void CDirectory::Create(const std::wstring& path, LPSECURITY_ATTRIBUTES securityAttributes)
{
    bool parentCreated = false;
    for (;;) {
        CFilePath::ValidatePath(path);
        if (::CreateDirectoryW(path.c_str(), securityAttributes))
            return;
        const DWORD code = ::GetLastError();
        switch (code) {
        case ERROR_PATH_NOT_FOUND:
            // Make the parent, then try this folder again. A second "path not found" after the
            // parent exists cannot be cured by another round: it falls through to the plain failure.
            if (!parentCreated) {
                Create(GetParentPath(path), securityAttributes);
                parentCreated = true;
                continue;
            }
            break;
        case ERROR_ALREADY_EXISTS:
            if (CFile::Exists(path)) {
                ::SetLastError(code);
                ThrowException(L"Cannot create the directory; it already exists as a file: \"" + path + L"\"", kSource,
                               62, kCreate);
            }
            return;
        case ERROR_ACCESS_DENIED:
            ThrowException(L"Create Failed.  Access Denied : " + path, kSource, 66, kCreate);
        case ERROR_INVALID_PARAMETER:
            ThrowException(L"Create Failed.  Invalid Parameter : " + path, kSource, 68, kCreate);
        default:
            break;
        }
        ThrowException(String::GetWin32ErrorTextA(code), kSource, 71, kCreate);
    }
}

void CDirectory::CreateParent(const std::wstring& path)
{
    const std::wstring parent = GetParentPath(path);
    if (!Exists(parent))
        Create(parent);
}

void CDirectory::DeleteAux(const std::wstring& path, bool clearReadOnly, bool throwOnFailure, bool& leftover)
{
    CFilePath::ValidatePath(path);

    // A link to a folder is removed as it is: an elevated clean-up must never delete outside its
    // own tree by following a junction.
    const DWORD ownAttributes = ::GetFileAttributesW(path.c_str());
    if (ownAttributes != INVALID_FILE_ATTRIBUTES && IsLinkToFolder(ownAttributes)) {
        RemoveLink(path, ownAttributes, clearReadOnly, throwOnFailure, leftover);
        return;
    }

    DeleteContents(path, clearReadOnly, throwOnFailure, leftover);

    if (clearReadOnly && ownAttributes != INVALID_FILE_ATTRIBUTES && (ownAttributes & FILE_ATTRIBUTE_READONLY) != 0)
        ::SetFileAttributesW(path.c_str(), ownAttributes & ~FILE_ATTRIBUTE_READONLY);

    if (!::RemoveDirectoryW(path.c_str())) {
        if (throwOnFailure)
            ThrowException(L"Could not remove directory: \"" + path + L"\"", kSource, 204, kDeleteAux);
        leftover = true;
    }
}

void CDirectory::DeleteContents(const std::wstring& path, bool clearReadOnly, bool throwOnFailure, bool& leftover)
{
    CFilePath::ValidatePath(path);
    std::wstring dir = path;
    if (!CFilePath::IsDirectorySeparator(dir[dir.size() - 1]))
        dir += L'\\';

    WIN32_FIND_DATAW data;
    CFindHandle find(::FindFirstFileW((dir + L"*").c_str(), &data));
    if (!find.IsValid())
        return;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const std::wstring full = dir + name;
        if (IsLinkToFolder(data.dwFileAttributes)) {
            RemoveLink(full, data.dwFileAttributes, clearReadOnly, throwOnFailure, leftover);
        } else if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            DeleteAux(full, clearReadOnly, throwOnFailure, leftover);
        } else {
            if (clearReadOnly)
                ::SetFileAttributesW(full.c_str(), data.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
            if (throwOnFailure) {
                CFile::DeleteAFile(full, 5);
            } else {
                try {
                    CFile::DeleteAFile(full, 1);
                } catch (const CException&) {
                    // Left for the next pass; Delete reports nothing.
                    leftover = true;
                }
            }
        }
    } while (::FindNextFileW(find.Get(), &data));
}

void CDirectory::Delete(const std::wstring& path, bool clearReadOnly)
{
    try {
        if (!Exists(path))
            return;
        for (int pass = 1; pass <= 3; ++pass) {
            bool leftover = false;
            DeleteAux(path, clearReadOnly, false, leftover);
            if (!leftover)
                return;
            if (pass < 3)
                ::Sleep(50 * pass);
        }
    } catch (...) {
        // Clean-up never throws: a pass that fails (an invalid path) ends it, and what is left stays.
    }
}

namespace {

// folder + a backslash unless it already ends in a separator + pattern.
std::wstring SearchText(const std::wstring& folder, const std::wstring& pattern)
{
    if (!folder.empty() && CFilePath::IsDirectorySeparator(folder.back()))
        return folder + pattern;
    return folder + L"\\" + pattern;
}

} // namespace

std::vector<std::wstring> CDirectory::GetFiles(const std::wstring& folder, const std::wstring& pattern)
{
    if (!Exists(folder))
        ThrowException(L"Directory does not exist" + folder, kSource, 298, "Lm::System::IO::CDirectory::GetFiles");
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW data;
    CFindHandle find(::FindFirstFileW(SearchText(folder, pattern).c_str(), &data));
    if (!find)
        return files;
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            files.push_back(CFilePath::Combine(folder, data.cFileName));
    } while (::FindNextFileW(find.Get(), &data));
    return files;
}

std::vector<std::wstring> CDirectory::GetFiles(const std::wstring& folder)
{
    return GetFiles(folder, L"*");
}

std::vector<std::wstring> CDirectory::GetFilesAndDirectories(const std::wstring& folder, const std::wstring& pattern)
{
    if (!Exists(folder))
        ThrowException(L"Directory does not exist: " + folder, kSource, 338,
                       "Lm::System::IO::CDirectory::GetFilesAndDirectories");
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    CFindHandle find(::FindFirstFileW(SearchText(folder, pattern).c_str(), &data));
    if (!find)
        return names;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (::FindNextFileW(find.Get(), &data));
    return names;
}

std::vector<std::wstring> CDirectory::GetFilesAndDirectories(const std::wstring& folder)
{
    return GetFilesAndDirectories(folder, L"*");
}

} // namespace IO
} // namespace System
} // namespace Lm
