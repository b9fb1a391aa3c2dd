#include "System/Win32/SystemInfo.h"

#include "System/Win32/Handle.h"

#include <shlwapi.h>

namespace Lm {
namespace System {
namespace Win32 {

namespace {

bool QueryVersion(OSVERSIONINFOEXW& info)
{
    ZeroMemory(&info, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info)) != FALSE;
#pragma GCC diagnostic pop
}

std::wstring Decimal(unsigned long value)
{
    wchar_t buffer[16];
    _snwprintf(buffer, 16, L"%lu", value);
    buffer[15] = 0;
    return buffer;
}

// Default value of LocalServer32: 520 bytes, of which at most 518 are read, so the text always
// keeps a terminating zero even when the registry data was stored without one.
constexpr DWORD kServerPathBufferBytes = 520;

} // namespace

std::wstring GetOSVersionText()
{
    OSVERSIONINFOEXW info;
    if (!QueryVersion(info))
        return std::wstring();
    return Decimal(info.dwMajorVersion) + L"." + Decimal(info.dwMinorVersion) + L"." + Decimal(info.dwBuildNumber) +
           L"." + Decimal(info.wServicePackMajor) + L"." + Decimal(info.wServicePackMinor);
}

std::wstring GetOSVersionShort()
{
    OSVERSIONINFOEXW info;
    if (!QueryVersion(info))
        return std::wstring();
    return Decimal(info.dwMajorVersion) + L"." + Decimal(info.dwMinorVersion);
}

bool IsWow64()
{
    BOOL wow64 = FALSE;
    if (!IsWow64Process(GetCurrentProcess(), &wow64))
        return false;
    return wow64 != FALSE;
}

std::int64_t GetFileSize64(const std::wstring& path)
{
    CHandleGuard file(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return -1;
    return GetFileSize64(file.Get());
}

std::int64_t GetFileSize64(HANDLE file)
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size))
        return -1;
    return size.QuadPart;
}

bool IsProcessElevated()
{
    CHandleGuard token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive()))
        return false;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    if (!GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof(elevation), &size))
        return false;
    return elevation.TokenIsElevated != 0;
}

bool GetComServerPath(REFCLSID clsid, std::wstring& folder)
{
    folder.clear();
    CCoTaskMemT<wchar_t> clsidText;
    LPOLESTR text = nullptr;
    if (FAILED(StringFromCLSID(clsid, &text)))
        return false;
    clsidText.Reset(text);

    const std::wstring subKey = std::wstring(L"CLSID\\") + text + L"\\LocalServer32";
    CRegKeyHandle key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, subKey.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS)
        return false;

    wchar_t buffer[kServerPathBufferBytes / sizeof(wchar_t)] = {};
    DWORD size = kServerPathBufferBytes - sizeof(wchar_t);
    if (RegQueryValueExW(key.Get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
        return false;

    PathUnquoteSpacesW(buffer);
    const std::wstring path = buffer;
    const size_t slash = path.rfind(L'\\');
    folder = slash == std::wstring::npos ? path : path.substr(0, slash);
    return true;
}

} // namespace Win32
} // namespace System
} // namespace Lm
