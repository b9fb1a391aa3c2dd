#include "System/Win32/Thread.h"

#include <process.h>
#include <cerrno>
#include <exception>

#include "System/Log.h"

namespace Lm {
namespace System {
namespace Win32 {

namespace {

const char* const SourceFile = "Lm\\System\\Win32\\Thread.cpp";

// The debugger's convention for naming a thread: an exception with this code and these words.
const DWORD ThreadNameExceptionCode = 0x406D1388;

#pragma pack(push, 8)
struct ThreadNameInfo {
    DWORD type;        // 0x1000
    LPCSTR name;
    DWORD threadId;
    DWORD flags;
};
#pragma pack(pop)

// Continues after the naming exception when no debugger took it (g++ has no structured handler
// that could swallow it, and an unhandled one would end the process).
LONG CALLBACK ContinueAfterThreadName(EXCEPTION_POINTERS* pointers)
{
    if (pointers->ExceptionRecord->ExceptionCode == ThreadNameExceptionCode)
        return EXCEPTION_CONTINUE_EXECUTION;
    return EXCEPTION_CONTINUE_SEARCH;
}

using SetThreadDescriptionFunction = HRESULT(WINAPI*)(HANDLE, PCWSTR);

SetThreadDescriptionFunction FindSetThreadDescription()
{
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    FARPROC found = kernel ? ::GetProcAddress(kernel, "SetThreadDescription") : nullptr;
    if (!found) {
        HMODULE kernelBase = ::GetModuleHandleW(L"kernelbase.dll");
        found = kernelBase ? ::GetProcAddress(kernelBase, "SetThreadDescription") : nullptr;
    }
    return reinterpret_cast<SetThreadDescriptionFunction>(reinterpret_cast<void*>(found));
}

// The exception to hand to the owner for what escaped the body. Building it may fail itself
// (memory, or a what() text that does not convert): the plainer forms are the fallbacks.
CException* MakeUnknownFailure()
{
    return new CException("(unknown thread exception) Thread Execute Function", SourceFile, 98,
                          "Lm::System::Win32::CThread::StaticThreadProc");
}

} // namespace

CThread::CThread()
    : m_startedEvent(false, true)
    , m_stopEvent(false, true)
{
}

CThread::~CThread()
{
    // Nothing may leave a destructor: every step below is guarded on its own.
    if (GetState() == ThreadStateRunning)
        Stop(INFINITE);
    if (GetState() != ThreadStateNotStarted) {
        try {
            CLog::GetInstance().RemoveThread(m_threadId);
        } catch (...) {
            // The log is a convenience; failing to reach it must not end the program.
        }
        // A thread that marked itself finished is in its last instructions: let it leave them
        // before the object's memory goes.
        if (GetState() == ThreadStateFinished && m_handle)
            ::WaitForSingleObject(m_handle.Get(), INFINITE);
        m_handle.Close();
    }
}

void CThread::ThreadStart(const std::string& name)
{
    // The state is "running" before the thread exists: a body that ends at once sets
    // "finished" afterwards, never before, so a watcher waiting for "finished" always sees it.
    if (::InterlockedCompareExchange(&m_state, ThreadStateRunning, ThreadStateNotStarted) != ThreadStateNotStarted)
        ThrowException("Thread already started", SourceFile, 36, "Lm::System::Win32::CThread::ThreadStart");

    uintptr_t handle = _beginthreadex(nullptr, 0, &CThread::StaticThreadProc, this, 0, &m_threadId);
    if (handle == 0) {
        const int error = errno;
        SetState(ThreadStateNotStarted);
        ThrowException("_beginthreadex failure; errno = " + std::to_string(error), SourceFile, 18,
                       "Lm::System::Win32::CThread::ThreadStart");
    }
    m_handle.Reset(reinterpret_cast<HANDLE>(handle));

    if (m_startedEvent.Wait(StartTimeoutMs) == WAIT_TIMEOUT)
        ThrowException("ThreadStart timeout waiting for m_StartedEvent", SourceFile, 26,
                       "Lm::System::Win32::CThread::ThreadStart");

    if (!name.empty())
        SetName(name.c_str());
}

unsigned __stdcall CThread::StaticThreadProc(void* argument)
{
    return static_cast<CThread*>(argument)->Run();
}

unsigned CThread::Run()
{
    unsigned exitCode = 0;
    CException* failure = nullptr;
    try {
        m_startedEvent.Set();
        m_result = Execute();
    } catch (const CException& caught) {
        exitCode = 1;
        try {
            failure = new CException(caught, "Thread Execute Function", 23, SourceFile, 84,
                                     "Lm::System::Win32::CThread::StaticThreadProc");
        } catch (...) {
        }
    } catch (const std::exception& caught) {
        exitCode = 1;
        try {
            failure = new CException(std::string(caught.what()) + "\r\n(std::exception) Thread Execute Function",
                                     SourceFile, 91, "Lm::System::Win32::CThread::StaticThreadProc");
        } catch (...) {
        }
    } catch (...) {
        exitCode = 1;
    }
    if (exitCode != 0) {
        try {
            if (!failure)
                failure = MakeUnknownFailure();
            SetException(failure);
        } catch (...) {
            // Out of memory even for the plain text: the exit code 1 still tells the owner.
        }
    }
    SetState(ThreadStateFinished);
    return exitCode;
}

void CThread::Stop(DWORD timeoutMs) noexcept
{
    if (GetState() != ThreadStateRunning)
        return;
    SignalStop();
    if (::WaitForSingleObject(m_handle.Get(), timeoutMs) != WAIT_OBJECT_0) {
        // The body did not end in time: kill it. TerminateThread only requests the end, so wait
        // until the thread is really gone before anyone reuses or frees the object.
        if (::TerminateThread(m_handle.Get(), 1))
            ::WaitForSingleObject(m_handle.Get(), INFINITE);
    }
    SetState(ThreadStateFinished);
}

void CThread::Join() noexcept
{
    // A thread that marked itself finished may still be leaving its last instructions: waiting
    // on its handle as well makes Join return only once the thread is really gone (at once for
    // a thread that has ended).
    if (GetState() == ThreadStateNotStarted || !m_handle)
        return;
    ::WaitForSingleObject(m_handle.Get(), INFINITE);
    SetState(ThreadStateFinished);
}

bool CThread::WaitStopEvent(DWORD timeoutMs)
{
    if (IsStopRequested())
        return true;
    if (timeoutMs == 0)
        return false;
    return m_stopEvent.Wait(timeoutMs) == WAIT_OBJECT_0 || IsStopRequested();
}

void CThread::SignalStop() noexcept
{
    // The flag first: a body that sees the event signalled also sees the flag.
    m_stopRequested.store(true, std::memory_order_release);
    ::SetEvent(m_stopEvent.GetHandle()); // a failure leaves the flag, which every poll reads
}

CRefPtr<CException> CThread::GetException()
{
    CScopedLock guard(m_lock);
    return m_exception;
}

void CThread::SetException(const CRefPtr<CException>& exception)
{
    CScopedLock guard(m_lock);
    m_exception = exception;
}

void CThread::SetName(const char* name)
{
    const std::string copy = name ? name : "";

    // Where the system keeps thread names itself (Windows 10 and later), they show in every
    // debugger and in crash dumps, attached or not.
    static const SetThreadDescriptionFunction setDescription = FindSetThreadDescription();
    if (setDescription && m_handle) {
        const int length = ::MultiByteToWideChar(CP_ACP, 0, copy.c_str(), -1, nullptr, 0);
        if (length > 0) {
            std::wstring wide(static_cast<size_t>(length), L'\0');
            ::MultiByteToWideChar(CP_ACP, 0, copy.c_str(), -1, &wide[0], length);
            setDescription(m_handle.Get(), wide.c_str());
        }
    }

    // The older convention reaches an attached debugger only, and raising it without one would
    // end the process; the vectored handler continues after it should the debugger pass it on.
    if (!::IsDebuggerPresent())
        return;
    ThreadNameInfo info = { 0x1000, copy.c_str(), m_threadId, 0 };
    void* handler = ::AddVectoredExceptionHandler(1, ContinueAfterThreadName);
    ::RaiseException(ThreadNameExceptionCode, 0, sizeof(info) / sizeof(ULONG_PTR),
                     reinterpret_cast<const ULONG_PTR*>(&info));
    if (handler)
        ::RemoveVectoredExceptionHandler(handler);
}

DWORD CThread::WaitForAnyThread(const std::vector<CThread*>& threads, DWORD timeoutMs, bool waitAll)
{
    std::vector<HANDLE> handles;
    handles.reserve(threads.size());
    for (CThread* thread : threads)
        handles.push_back(thread ? thread->GetHandle() : nullptr);
    return ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.empty() ? nullptr : handles.data(),
                                    waitAll ? TRUE : FALSE, timeoutMs);
}

} // namespace Win32
} // namespace System
} // namespace Lm
