#include "Park/ParkModule.h"

namespace {

// Creates one manual-reset event, not signalled. False when the name already exists: another
// Park is waiting on it.
bool CreateNewEvent(const wchar_t* name, HANDLE& handle)
{
    SetLastError(ERROR_SUCCESS);
    handle = CreateEventW(nullptr, TRUE, FALSE, name);
    return GetLastError() != ERROR_ALREADY_EXISTS;
}

// Sets an existing event; a missing one (nobody waits) is no failure.
void SignalEvent(const wchar_t* name, HANDLE& handle)
{
    handle = OpenEventW(EVENT_ALL_ACCESS, FALSE, name);
    if (handle != nullptr)
        SetEvent(handle);
}

void CloseIfOpen(HANDLE& handle)
{
    if (handle != nullptr) {
        CloseHandle(handle);
        handle = nullptr;
    }
}

} // namespace

HRESULT CParkModule::Run()
{
    // A value that did not fit: do nothing rather than act on a shortened text.
    if (valueTooLong)
        return E_FAIL;

    HRESULT result = S_OK;
    if (execute != nullptr && eventTerminate != nullptr && eventExecute != nullptr) {
        // Wait mode. A failed creation leaves a null handle, and the wait below then fails.
        if (CreateNewEvent(eventTerminate, terminateEvent) && CreateNewEvent(eventExecute, executeEvent)) {
            // Terminate comes first: when both are set, the lowest index wins.
            HANDLE events[2] = { terminateEvent, executeEvent };
            DWORD wait = WaitForMultipleObjects(2, events, FALSE, INFINITE);
            if (wait == WAIT_OBJECT_0) {
                result = S_OK;
            } else if (wait == WAIT_OBJECT_0 + 1) {
                LaunchProgram(execute, launchParams);
                result = S_OK;
            } else {
                result = E_FAIL;
            }
        }
    } else if (signalTerminate && !signalExecute) {
        if (eventTerminate != nullptr)
            SignalEvent(eventTerminate, terminateEvent);
    } else if (signalExecute && !signalTerminate) {
        if (eventExecute != nullptr)
            SignalEvent(eventExecute, executeEvent);
    }
    // Both signal flags, or neither: nothing to do.

    CloseIfOpen(terminateEvent);
    CloseIfOpen(executeEvent);
    return result;
}
