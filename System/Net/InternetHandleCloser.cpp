#include "System/Net/InternetHandleCloser.h"

#include <process.h>

#include <deque>
#include <memory>
#include <new>
#include <utility>

#include "System/Win32/CriticalSectionLock.h"

namespace Lm { namespace System { namespace Net {

namespace {

void CloseNow(InternetHandles& handles) noexcept
{
    handles.request.Close();
    handles.connect.Close();
    handles.session.Close();
}

// One per process, never destroyed: its thread may still be closing when the process ends, and
// nothing may pull the queue from under it during the exit.
class CCloserThread {
public:
    static CCloserThread* Get() noexcept
    {
        static CCloserThread* const instance = Create();
        return instance;
    }

    void Push(InternetHandles& handles)
    {
        {
            Win32::CScopedLock lock(m_lock);
            m_pending.push_back(std::unique_ptr<InternetHandles>(new InternetHandles(std::move(handles))));
        }
        SetEvent(m_wake.Get());
    }

private:
    static CCloserThread* Create() noexcept
    {
        CCloserThread* closer = new (std::nothrow) CCloserThread;
        if (!closer)
            return nullptr;
        closer->m_wake.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        if (closer->m_wake) {
            const uintptr_t thread = _beginthreadex(nullptr, 0, &CCloserThread::Run, closer, 0, nullptr);
            if (thread != 0) {
                CloseHandle(reinterpret_cast<HANDLE>(thread)); // nobody joins it
                return closer;
            }
        }
        delete closer;
        return nullptr;
    }

    static unsigned __stdcall Run(void* parameter)
    {
        CCloserThread* self = static_cast<CCloserThread*>(parameter);
        for (;;) {
            WaitForSingleObject(self->m_wake.Get(), INFINITE);
            for (;;) {
                std::unique_ptr<InternetHandles> next;
                {
                    Win32::CScopedLock lock(self->m_lock);
                    if (self->m_pending.empty())
                        break;
                    next = std::move(self->m_pending.front());
                    self->m_pending.pop_front();
                }
                CloseNow(*next);
            }
        }
    }

    Win32::CCriticalSectionLock m_lock; // guards m_pending
    std::deque<std::unique_ptr<InternetHandles>> m_pending;
    Win32::CHandleGuard m_wake;         // auto reset: something was pushed
};

} // namespace

void CInternetHandleCloser::Close(InternetHandles& handles, bool answerEnded) noexcept
{
    if (handles.Empty())
        return;
    if (answerEnded) {
        CloseNow(handles);
        return;
    }
    CCloserThread* closer = CCloserThread::Get();
    if (closer) {
        try {
            closer->Push(handles);
            return;
        } catch (...) {
            // Out of memory for the queue: close here instead; it only costs time.
        }
    }
    CloseNow(handles);
}

} } } // namespace Lm::System::Net
