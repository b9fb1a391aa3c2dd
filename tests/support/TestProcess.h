// Processes and named events as tests of the launching programs see them: a started process that
// is ended when the test ends, named events probed without keeping them alive, and a whole process
// held still (as if the machine were slow to schedule it).
#pragma once

#include <windows.h>

#include <functional>
#include <set>
#include <string>

namespace LmTest {

// A started process; one still running at the end of a test is ended.
class Process {
public:
    explicit Process(HANDLE handle) : handle_(handle) {}
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    bool Started() const { return handle_ != nullptr; }
    bool Running() const { return handle_ != nullptr && WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT; }
    // The exit code, or STILL_ACTIVE when it does not end in time.
    DWORD WaitExit(DWORD timeoutMs = 30000) const;
    HANDLE Handle() const { return handle_; }
private:
    HANDLE handle_;
};

// Named events, opened only for the look and closed at once.
bool NamedEventExists(const std::wstring& name);
bool NamedEventIsSet(const std::wstring& name);
// Sets an existing event (a failed test when there is none).
void SetNamedEvent(const std::wstring& name);

// Ids of the running processes of this file name (any case); with a parent id only those it started.
std::set<DWORD> ProcessIdsNamed(const std::wstring& exeName, DWORD parentId = 0);
// How many there are.
size_t RunningProcesses(const wchar_t* exeName, DWORD parentId = 0);

// Ids of the running processes started from this very file (full path, any case).
std::set<DWORD> RunningProcessesOf(const std::wstring& path);
// Ends them and waits for them: what a test left hanging must not hold its files after it.
void EndProcessesOf(const std::wstring& path);

// Polls until the condition holds (true) or the time is up (false).
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, DWORD pollMs = 50);

// Suspends (or resumes) every thread of a process.
void SuspendProcess(DWORD pid, bool suspend);

// Folder paths compared without regard to case, trailing backslashes ignored.
bool SamePath(const std::wstring& a, const std::wstring& b);

} // namespace LmTest
