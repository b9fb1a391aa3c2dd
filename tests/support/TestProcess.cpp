#include "TestProcess.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>
#include <wchar.h>

namespace LmTest {

Process::~Process()
{
    if (handle_ != nullptr) {
        if (WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT)
            TerminateProcess(handle_, 0xDEAD);
        CloseHandle(handle_);
    }
}

DWORD Process::WaitExit(DWORD timeoutMs) const
{
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(handle_, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(handle_, &code);
    return code;
}

bool NamedEventExists(const std::wstring& name)
{
    HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, name.c_str());
    if (event == nullptr)
        return false;
    CloseHandle(event);
    return true;
}

bool NamedEventIsSet(const std::wstring& name)
{
    HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, name.c_str());
    if (event == nullptr)
        return false;
    bool set = WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
    CloseHandle(event);
    return set;
}

void SetNamedEvent(const std::wstring& name)
{
    HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str());
    ASSERT_NE(nullptr, event) << "no event " << std::string(name.begin(), name.end());
    SetEvent(event);
    CloseHandle(event);
}

std::set<DWORD> ProcessIdsNamed(const std::wstring& exeName, DWORD parentId)
{
    std::set<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return ids;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (_wcsicmp(entry.szExeFile, exeName.c_str()) == 0 && (parentId == 0 || entry.th32ParentProcessID == parentId))
            ids.insert(entry.th32ProcessID);
    CloseHandle(snapshot);
    return ids;
}

size_t RunningProcesses(const wchar_t* exeName, DWORD parentId)
{
    return ProcessIdsNamed(exeName, parentId).size();
}

std::set<DWORD> RunningProcessesOf(const std::wstring& path)
{
    std::set<DWORD> ids;
    for (DWORD id : ProcessIdsNamed(path.substr(path.rfind(L'\\') + 1))) {
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
        if (!process)
            continue;
        wchar_t image[MAX_PATH * 2] = {};
        DWORD size = MAX_PATH * 2;
        if (QueryFullProcessImageNameW(process, 0, image, &size) && _wcsicmp(image, path.c_str()) == 0)
            ids.insert(id);
        CloseHandle(process);
    }
    return ids;
}

void EndProcessesOf(const std::wstring& path)
{
    for (DWORD id : RunningProcessesOf(path)) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
        if (process) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 10000);
            CloseHandle(process);
        }
    }
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, DWORD pollMs)
{
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(pollMs);
    }
    return true;
}

void SuspendProcess(DWORD pid, bool suspend)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    ASSERT_NE(INVALID_HANDLE_VALUE, snapshot);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    int touched = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != pid)
            continue;
        HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID);
        if (thread == nullptr)
            continue;
        if ((suspend ? SuspendThread(thread) : ResumeThread(thread)) != static_cast<DWORD>(-1))
            ++touched;
        CloseHandle(thread);
    }
    CloseHandle(snapshot);
    EXPECT_GT(touched, 0);
}

namespace {

std::wstring Trimmed(std::wstring folder)
{
    while (folder.size() > 3 && folder.back() == L'\\')
        folder.pop_back();
    return folder;
}

} // namespace

bool SamePath(const std::wstring& a, const std::wstring& b)
{
    return _wcsicmp(Trimmed(a).c_str(), Trimmed(b).c_str()) == 0;
}

} // namespace LmTest
