#include "PinHook/DesktopIni.h"

#include "PinHook/PinHookContract.h"

#include <windows.h>
#include <shlwapi.h>

#include <vector>

namespace Lm { namespace PinHook {

namespace {

// The file name joined to the link's folder. The join is done on the string rather than with
// PathCombineW so that folders longer than MAX_PATH - 12 characters still name the right file.
std::wstring DesktopIniPathBeside(const std::wstring& linkPath)
{
    std::wstring path = CDesktopIni::FolderOf(linkPath);
    if (!path.empty() && path.back() != L'\\')
        path += L'\\';
    return path + kDesktopIniName;
}

} // namespace

std::wstring CDesktopIni::FolderOf(const std::wstring& linkPath)
{
    // PathRemoveFileSpecW works in place and only shortens the text: a buffer of the path's own
    // size serves paths of any length.
    std::vector<wchar_t> folder(linkPath.begin(), linkPath.end());
    folder.push_back(L'\0');
    PathRemoveFileSpecW(folder.data());
    return std::wstring(folder.data());
}

CDesktopIni::CDesktopIni(const std::wstring& linkPath) : m_path(DesktopIniPathBeside(linkPath))
{
}

bool CDesktopIni::IsReadOnly() const
{
    // INVALID_FILE_ATTRIBUTES has every bit set, the read-only bit among them.
    return (GetFileAttributesW(m_path.c_str()) & FILE_ATTRIBUTE_READONLY) != 0;
}

bool CDesktopIni::ClearReadOnly() const
{
    DWORD attributes = GetFileAttributesW(m_path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    if (!(attributes & FILE_ATTRIBUTE_READONLY))
        return true;
    attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    return SetFileAttributesW(m_path.c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL) != FALSE;
}

bool CDesktopIni::SetReadOnly() const
{
    DWORD attributes = GetFileAttributesW(m_path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        return true;
    // FILE_ATTRIBUTE_NORMAL is valid only alone.
    attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL);
    return SetFileAttributesW(m_path.c_str(), attributes | FILE_ATTRIBUTE_READONLY) != FALSE;
}

}} // namespace Lm::PinHook
