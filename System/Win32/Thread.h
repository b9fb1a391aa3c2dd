// The worker-thread base of the library. A worker derives from CThread and supplies Execute; the
// base starts the thread with a start handshake, keeps a stop event that the body polls, catches
// what escapes the body and hands it to the owner, stops (killing as a last resort) or joins the
// thread, and names it for debuggers.
//
// One owner per object: only the owner calls ThreadStart, Stop, Join and destroys the object.
// A derived destructor must end the thread first (Join, or Stop for a body that waits for its
// stop event) when the body uses members of the derived class.
//
// A machine fault in the body (an access violation, say) is not a C++ exception: it is not
// caught here and goes to the process's unhandled-exception handling, which ends the process.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "System/Exception.h"
#include "System/RefPtr.h"
#include "System/ReferenceCounted.h"
#include "System/Win32/CriticalSectionLock.h"
#include "System/Win32/Event.h"
#include "System/Win32/Handle.h"

namespace Lm {
namespace System {
namespace Win32 {

enum ThreadState : LONG {
    ThreadStateNotStarted = 0,
    ThreadStateRunning = 1,
    ThreadStateFinished = 2,
};

class CThread : public CReferenceCounted {
public:
    // How long ThreadStart waits for the new thread to report that it runs.
    static const DWORD StartTimeoutMs = 5000;

    CThread();
    ~CThread() override;

    // Starts the thread and returns once it runs; names it when the name is not empty.
    // Throws when the object was started before, when the thread cannot be created and when it
    // does not report within StartTimeoutMs (the thread then stays created; Stop, Join or the
    // destructor deal with it).
    void ThreadStart(const std::string& name = std::string());
    void ThreadStart(const char* name, size_t length) { ThreadStart(std::string(name, length)); }

    // Running only: signals the stop event, waits up to the timeout (INFINITE allowed) for the
    // body to end and kills the thread (exit code 1) when it did not. Otherwise nothing.
    void Stop(DWORD timeoutMs) noexcept;
    // Waits without limit for the thread to end; nothing before the start. After the body
    // marked itself finished it still waits the moment the thread needs to leave.
    void Join() noexcept;

    // The body's poll: true when a stop is, or becomes within the timeout, requested. A timeout
    // of 0 only reads the stop flag.
    bool WaitStopEvent(DWORD timeoutMs);
    // True when a stop was requested: reads a flag, no kernel call, so a body may ask per block.
    bool IsStopRequested() const { return m_stopRequested.load(std::memory_order_acquire); }
    // Requests the stop (the flag first, then the stop event for waits) and returns at once,
    // without waiting or killing. Never throws.
    void SignalStop() noexcept;

    // The exception that ended the body, null when none.
    CRefPtr<CException> GetException();
    void SetException(const CRefPtr<CException>& exception);

    // Names the calling thread object's thread for debuggers.
    void SetName(const char* name);

    ThreadState GetState() const { return static_cast<ThreadState>(::InterlockedCompareExchange(&m_state, 0, 0)); }
    // The value Execute returned; 0 until the body returned normally. Read it after the end.
    DWORD GetResult() const { return m_result; }
    DWORD GetThreadId() const { return m_threadId; }
    // The thread's handle, null until started; owned by this object.
    HANDLE GetHandle() const { return m_handle.Get(); }
    // For waits that include a stop request; signal a stop with SignalStop only.
    const CEvent& GetStopEvent() const { return m_stopEvent; }

    // One WaitForMultipleObjects over the threads' handles, in order; its raw result.
    static DWORD WaitForAnyThread(const std::vector<CThread*>& threads, DWORD timeoutMs, bool waitAll);

protected:
    // The thread body; its result is kept in GetResult.
    virtual DWORD Execute() = 0;

private:
    static unsigned __stdcall StaticThreadProc(void* argument);
    unsigned Run();
    void SetState(ThreadState state) { ::InterlockedExchange(&m_state, state); }

    CHandleGuard m_handle;
    unsigned m_threadId = 0;
    volatile DWORD m_result = 0;
    mutable volatile LONG m_state = ThreadStateNotStarted;
    CEvent m_startedEvent;
    CEvent m_stopEvent;            // signalled after m_stopRequested is set; for waits only
    std::atomic<bool> m_stopRequested{ false };
    CCriticalSectionLock m_lock; // guards m_exception
    CRefPtr<CException> m_exception;
};

} // namespace Win32
} // namespace System
} // namespace Lm
