#include "System/Io/FilePath.h"

#include <cwctype>
#include <vector>

#include "System/Exception.h"
#include "System/Io/Directory.h"
#include "System/Win32/KnownFolders.h"

namespace Lm {
namespace System {
namespace IO {

namespace {

const char kSource[] = "Lm\\System\\Io\\FilePath.cpp";
const char kValidatePath[] = "Lm::System::IO::CFilePath::ValidatePath";

bool IsInvalidPathCharacter(wchar_t c)
{
    switch (c) {
    case L'"': case L'<': case L'>': case L'|':
    case 0x00: case 0x08: case 0x10: case 0x11: case 0x12: case 0x14:
    case 0x15: case 0x16: case 0x17: case 0x18: case 0x19:
        return true;
    default:
        return false;
    }
}

bool IsPathWhiteSpace(wchar_t c)
{
    return c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r' || c == L' ';
}

} // namespace

bool CFilePath::IsDirectorySeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

bool CFilePath::IsPathRooted(const std::wstring& path)
{
    return (!path.empty() && IsDirectorySeparator(path[0])) || (path.size() >= 2 && path[1] == L':');
}

size_t CFilePath::GetRootLength(const std::wstring& path)
{
    const size_t length = path.size();
    if (length == 0)
        return 0;
    if (IsDirectorySeparator(path[0])) {
        if (length < 2 || !IsDirectorySeparator(path[1]))
            return 1;
        if (length == 2)
            return 2;
        // UNC: the root runs to the separator that ends the share name.
        int separators = 0;
        for (size_t i = 2; i < length; ++i) {
            if (IsDirectorySeparator(path[i]) && ++separators == 2)
                return i;
        }
        return length;
    }
    if (length < 2 || path[1] != L':')
        return 0;
    if (length > 2 && IsDirectorySeparator(path[2]))
        return 3;
    return 2;
}

std::wstring CFilePath::GetDirectoryName(const std::wstring& path)
{
    const size_t root = GetRootLength(path);
    if (path.size() <= root)
        return std::wstring();
    for (size_t i = path.size(); i-- > root + 1;) {
        if (IsDirectorySeparator(path[i]))
            return path.substr(0, i);
    }
    return path.substr(0, root);
}

std::wstring CFilePath::GetFileName(const std::wstring& path)
{
    const size_t position = path.find_last_of(L"\\/:");
    return position == std::wstring::npos ? path : path.substr(position + 1);
}

std::wstring CFilePath::GetFileNameWithoutExtension(const std::wstring& path)
{
    const std::wstring name = GetFileName(path);
    const size_t point = name.rfind(L'.');
    return point == std::wstring::npos ? name : name.substr(0, point);
}

std::wstring CFilePath::Combine(const std::wstring& a, const std::wstring& b)
{
    if (b.empty())
        return a;
    if (a.empty())
        return b;
    if (IsPathRooted(b))
        return b;
    const wchar_t last = a[a.size() - 1];
    if (IsDirectorySeparator(last) || last == L':')
        return a + b;
    return a + L"\\" + b;
}

std::wstring CFilePath::GetFullPath(const std::wstring& path)
{
    if (path.empty())
        return std::wstring();
    if (IsPathRooted(path))
        return path;
    return Win32::GetModuleDirectory() + path;
}

std::wstring CFilePath::Normalize(const std::wstring& path)
{
    if (path.empty())
        return std::wstring();
    const bool keepTrailing = IsDirectorySeparator(path[path.size() - 1]) || CDirectory::Exists(path);
    const std::wstring prefix =
        path.size() > 1 && IsDirectorySeparator(path[0]) && IsDirectorySeparator(path[1]) ? L"\\\\" : L"";

    std::vector<std::wstring> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = start;
        while (end < path.size() && !IsDirectorySeparator(path[end]))
            ++end;
        const std::wstring part = path.substr(start, end - start);
        if (part == L"..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != L".") {
            parts.push_back(part);
        }
        start = end + 1;
    }

    std::wstring rebuilt;
    for (const std::wstring& part : parts)
        rebuilt += part + L"\\";
    if (!keepTrailing && !rebuilt.empty())
        rebuilt.pop_back();

    std::wstring result = prefix + rebuilt;
    for (wchar_t& c : result)
        c = static_cast<wchar_t>(towlower(c));
    return result;
}

std::wstring CFilePath::GetParentDirectory(const std::wstring& path)
{
    const std::wstring normalized = Normalize(path);
    const size_t position = normalized.rfind(L'\\');
    return position == std::wstring::npos ? std::wstring() : normalized.substr(0, position + 1);
}

std::wstring CFilePath::GetTempPath()
{
    wchar_t probe[1];
    const DWORD needed = ::GetTempPathW(1, probe);
    if (needed == 0)
        return L".\\";
    std::vector<wchar_t> buffer(needed + 2, L'\0');
    const DWORD length = ::GetTempPathW(needed + 2, buffer.data());
    if (length == 0 || length >= buffer.size())
        return L".\\";
    return std::wstring(buffer.data(), length);
}

void CFilePath::ValidatePath(const std::wstring& path)
{
    if (path.empty())
        ThrowException("Empty path", kSource, 50, kValidatePath);
    if (path.size() > MAX_PATH)
        ThrowException(L"Path was too long: " + path, kSource, 55, kValidatePath);
    for (wchar_t c : path) {
        if (IsInvalidPathCharacter(c))
            ThrowException(L"Path contains one or more invalid characters: " + path, kSource, 62, kValidatePath);
        if (!IsPathWhiteSpace(c))
            return;
    }
    ThrowException(L"Path contains only whitespace characters: " + path, kSource, 71, kValidatePath);
}

std::wstring GetParentFolder(const std::wstring& path)
{
    size_t i = path.find_last_of(L"\\/");
    if (i == std::wstring::npos)
        return std::wstring();
    if (i > 0 && CFilePath::IsDirectorySeparator(path[i - 1]))
        --i;
    return path.substr(0, i);
}

} // namespace IO
} // namespace System
} // namespace Lm
