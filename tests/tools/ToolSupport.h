// What the stand-in programs and tools of the tests share: UTF-8 text, their own path, the
// environment, and a record appended to a log file. Header only: each tool stays one small
// program that links nothing of the suite.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace LmTool {

inline std::string ToUtf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], size, nullptr, nullptr);
    return result;
}

// The running program's own path.
inline std::wstring ModulePath()
{
    std::vector<wchar_t> buffer(32768);
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    return std::wstring(buffer.data(), n);
}

// An environment variable's value; empty when it is not set.
inline std::wstring Environment(const wchar_t* name)
{
    DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
    if (n == 0)
        return std::wstring();
    std::vector<wchar_t> buffer(n);
    n = GetEnvironmentVariableW(name, buffer.data(), n);
    return std::wstring(buffer.data(), n);
}

// Appends the text as UTF-8. Several programs may log to one file at once: a short retry while
// another holds it.
inline void AppendUtf8(const std::wstring& path, const std::wstring& text)
{
    const std::string bytes = ToUtf8(text);
    for (int attempt = 0; attempt < 100; ++attempt) {
        HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
            CloseHandle(file);
            return;
        }
        Sleep(20);
    }
}

} // namespace LmTool
