// Holds a named mutex for a scope; released on every path. An abandoned mutex (its holder ended
// without releasing it) is the caller's now: it counts as obtained, and the caller checks what
// the holder may have left half written. With a stop event, a set stop event ends the wait
// unless the mutex is free at once.
#pragma once

#include <windows.h>

namespace Lm {
namespace Analytics {

class CMutexHold {
public:
    CMutexHold(HANDLE mutex, HANDLE stopEvent, DWORD timeoutMs = INFINITE);
    ~CMutexHold();
    CMutexHold(const CMutexHold&) = delete;
    CMutexHold& operator=(const CMutexHold&) = delete;

    bool Owned() const { return m_owned; }

private:
    HANDLE m_mutex;
    bool m_owned = false;
};

} // namespace Analytics
} // namespace Lm
