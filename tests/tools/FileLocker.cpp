// Stands in for another program that keeps a file open: opens it without any sharing, so that
// deleting or renaming it fails with a sharing violation until this process lets go.
//   FileLocker.exe <file> <ready event> <release event>
// Sets the named ready event once the file is open, then holds it until the named release event
// is set (at most 60 s). Exit code 0, or 2 when the file cannot be opened, 3 on bad arguments.
#include <windows.h>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4)
        return 3;
    HANDLE file = ::CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 2;
    HANDLE ready = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]);
    HANDLE release = ::OpenEventW(SYNCHRONIZE, FALSE, argv[3]);
    if (ready == nullptr || release == nullptr)
        return 3;
    ::SetEvent(ready);
    ::WaitForSingleObject(release, 60000);
    ::CloseHandle(file);
    ::CloseHandle(ready);
    ::CloseHandle(release);
    return 0;
}
