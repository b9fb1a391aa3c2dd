// WindowWatcher.exe: tells whether a program ever showed a window, for tests that check that a
// program runs without one (their own process then never touches the window system).
//   WindowWatcher.exe <process id>
// Looks every 50 ms for a visible top-level window of that process until the process has ended.
// Exit code: 1 a visible window was seen, 0 none was, 2 the process cannot be watched.
#include <windows.h>

#include <cwchar>

namespace {

BOOL CALLBACK FindVisible(HWND window, LPARAM param)
{
    DWORD* watched = reinterpret_cast<DWORD*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == watched[0] && IsWindowVisible(window)) {
        watched[1] = 1;
        return FALSE;
    }
    return TRUE;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2)
        return 2;
    DWORD watched[2] = {wcstoul(argv[1], nullptr, 0), 0};
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, watched[0]);
    if (process == nullptr)
        return 2;
    do {
        EnumWindows(FindVisible, reinterpret_cast<LPARAM>(watched));
    } while (watched[1] == 0 && WaitForSingleObject(process, 50) == WAIT_TIMEOUT);
    CloseHandle(process);
    return watched[1] != 0 ? 1 : 0;
}
