#include "Analytics/MutexHold.h"

namespace Lm {
namespace Analytics {

CMutexHold::CMutexHold(HANDLE mutex, HANDLE stopEvent, DWORD timeoutMs) : m_mutex(mutex)
{
    DWORD result;
    if (stopEvent != nullptr) {
        HANDLE handles[2] = {mutex, stopEvent};
        result = WaitForMultipleObjects(2, handles, FALSE, timeoutMs);
    } else {
        result = WaitForSingleObject(mutex, timeoutMs);
    }
    m_owned = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED_0;
}

CMutexHold::~CMutexHold()
{
    if (m_owned)
        ReleaseMutex(m_mutex);
}

} // namespace Analytics
} // namespace Lm
