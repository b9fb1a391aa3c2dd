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

void ReleaseOnceEnded(CRefPtr<Win32::CThread>& thread) noexcept
{
    if (thread->GetHandle())
        WaitForSingleObject(thread->GetHandle(), INFINITE);
    thread = nullptr;
}

// A thread of the process that hands each item it is given to Handle, one after another in
// order. One per kind of item, never destroyed: its thread may still be at work when the process
// ends, and nothing may pull the queue from under it during the exit.
template <typename Item, void (*Handle)(Item&) noexcept>
class CQueueThread {
public:
    static CQueueThread* Get() noexcept
    {
        static CQueueThread* const instance = Create();
        return instance;
    }

    // Takes the item (moved from); false when there was no memory for it (it stays with the
    // caller then).
    bool Push(Item& item) noexcept
    {
        std::unique_ptr<Item> entry;
        try {
            entry.reset(new Item(std::move(item)));
            Win32::CScopedLock lock(m_lock);
            m_pending.push_back(std::move(entry)); // no effect when it throws
        } catch (...) {
            if (entry)
                item = std::move(*entry);
            return false;
        }
        SetEvent(m_wake.Get());
        return true;
    }

private:
    static CQueueThread* Create() noexcept
    {
        CQueueThread* queue = new (std::nothrow) CQueueThread;
        if (!queue)
            return nullptr;
        queue->m_wake.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        if (queue->m_wake) {
            const uintptr_t thread = _beginthreadex(nullptr, 0, &CQueueThread::Run, queue, 0, nullptr);
            if (thread != 0) {
                CloseHandle(reinterpret_cast<HANDLE>(thread)); // nobody joins it
                return queue;
            }
        }
        delete queue;
        return nullptr;
    }

    static unsigned __stdcall Run(void* parameter)
    {
        CQueueThread* self = static_cast<CQueueThread*>(parameter);
        for (;;) {
            WaitForSingleObject(self->m_wake.Get(), INFINITE);
            for (;;) {
                std::unique_ptr<Item> next;
                {
                    Win32::CScopedLock lock(self->m_lock);
                    if (self->m_pending.empty())
                        break;
                    next = std::move(self->m_pending.front());
                    self->m_pending.pop_front();
                }
                Handle(*next);
            }
        }
    }

    Win32::CCriticalSectionLock m_lock; // guards m_pending
    std::deque<std::unique_ptr<Item>> m_pending;
    Win32::CHandleGuard m_wake;         // auto reset: something was pushed
};

using CCloserThread = CQueueThread<InternetHandles, CloseNow>;
// Apart from the closes: a thread that waits for a blocked call holds up no close.
using CReleaserThread = CQueueThread<CRefPtr<Win32::CThread>, ReleaseOnceEnded>;

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
    if (closer && closer->Push(handles))
        return;
    CloseNow(handles); // no closer (or no memory for the queue): here instead; it only costs time
}

void CInternetHandleCloser::ReleaseWhenEnded(CRefPtr<Win32::CThread> thread) noexcept
{
    if (!thread)
        return;
    CReleaserThread* releaser = CReleaserThread::Get();
    if (releaser && releaser->Push(thread))
        return;
    ReleaseOnceEnded(thread); // no releaser: the caller waits, as if it had joined the thread
}

} } } // namespace Lm::System::Net
