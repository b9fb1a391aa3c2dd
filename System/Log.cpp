#include "System/Log.h"

#include <shlwapi.h>
#include <cstdio>

#include "System/DateTime.h"
#include "System/Io/Directory.h"
#include "System/Io/FilePath.h"
#include "System/Win32/KnownFolders.h"

namespace Lm {
namespace System {

namespace {

INIT_ONCE g_logOnce = INIT_ONCE_STATIC_INIT;

} // namespace

CLog& CLog::GetInstance()
{
    BOOL pending = FALSE;
    void* instance = nullptr;
    if (!::InitOnceBeginInitialize(&g_logOnce, 0, &pending, &instance))
        ::FatalAppExitW(0, L"CLog: one-time initialisation failed");
    if (pending) {
        try {
            instance = new CLog();
        } catch (...) {
            // Lets the next caller try again; this one learns of the failure.
            ::InitOnceComplete(&g_logOnce, INIT_ONCE_INIT_FAILED, nullptr);
            throw;
        }
        if (!::InitOnceComplete(&g_logOnce, 0, instance))
            ::FatalAppExitW(0, L"CLog: one-time initialisation failed");
    }
    return *static_cast<CLog*>(instance);
}

void CLog::Init(const std::wstring& path, bool deleteOld)
{
    GetInstance()._SetOutputFile(path, deleteOld);
}

std::wstring CLog::GetDefaultPath()
{
    const std::wstring roaming = Win32::GetRoamingAppDataPath();
    const std::wstring fileName = Win32::GetModuleFileNameOnly();
    // Without a roaming folder the name alone would be relative to the current folder: no log then.
    if (roaming.empty() || fileName.empty())
        return std::wstring();
    return IO::CFilePath::Combine(IO::CFilePath::Combine(roaming, L"Larchmeadow\\Logs"), fileName + L".log");
}

CLog::CLog()
{
    _SetOutputFile(GetDefaultPath(), false);
}

void CLog::_SetOutputFile(const std::wstring& path, bool deleteOld)
{
    ::OutputDebugStringW((L"CLog::_SetOutputFile() : " + path + L"\n").c_str());

    if (!path.empty()) {
        const std::wstring folder = IO::CDirectory::GetParentPath(path);
        if (!folder.empty() && !::PathFileExistsW(folder.c_str())) {
            try {
                IO::CDirectory::CreateParent(path);
            } catch (...) {
                // Logging is never a reason to stop a program: without the folder the file
                // cannot be opened below, and nothing is written.
            }
        }
    }

    Win32::CScopedLock guard(m_lock);
    m_outputPath = path;
    if (path.empty())
        return;
    if (deleteOld)
        ::DeleteFileW(path.c_str());
    AppendTextToFile(MakeHeaderLine(), path);
}

std::wstring CLog::GetOutputPath()
{
    Win32::CScopedLock guard(m_lock);
    return m_outputPath;
}

void CLog::WriteLine(const std::wstring& text)
{
    try {
        const std::wstring line = text + L"\n";
        ::OutputDebugStringW(line.c_str());
        const std::wstring path = GetInstance().GetOutputPath();
        if (!path.empty())
            AppendTextToFile(line, path);
    } catch (...) {
        // Logging is never a reason to stop a program, nor to fail a clean-up that reports through it.
    }
}

void CLog::RemoveThread(DWORD threadId)
{
    Win32::CScopedLock guard(m_lock);
    m_threads.erase(threadId);
}

void CLog::AppendTextToFile(const std::wstring& text, const std::wstring& path)
{
    FILE* file = _wfopen(path.c_str(), L"a");
    if (!file)
        return;
    fputws(text.c_str(), file);
    fclose(file);
}

std::wstring CLog::MakeHeaderLine()
{
    return std::wstring(80, L'-') + CDateTime::Now().ToString() + L"\n";
}

} // namespace System
} // namespace Lm
