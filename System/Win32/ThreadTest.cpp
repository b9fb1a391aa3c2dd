// The worker-thread base: start handshake, stop, join, kill, and the exceptions a body hands
// back to its owner. Timings are never asserted; every wait is bounded.
#include <windows.h>
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "System/Exception.h"
#include "System/RefPtr.h"
#include "System/Win32/Thread.h"
#include "TestSupport.h"

#include <cstdlib>

using Lm::System::CException;
using Lm::System::CRefPtr;
using Lm::System::Win32::CThread;
using Lm::System::Win32::ThreadState;
using Lm::System::Win32::ThreadStateFinished;
using Lm::System::Win32::ThreadStateNotStarted;
using Lm::System::Win32::ThreadStateRunning;

namespace {

// Test threads never outlive their test: the destructor kills a body that is still running
// after a bounded wait, instead of waiting for ever.
class CBodyThread : public CThread {
public:
    using Body = std::function<DWORD(CBodyThread&)>;
    explicit CBodyThread(Body body) : m_body(std::move(body)) {}
    ~CBodyThread() override { Stop(20000); }

    DWORD ExitCode() const
    {
        DWORD code = 0xFFFFFFFF;
        GetExitCodeThread(GetHandle(), &code);
        return code;
    }

protected:
    DWORD Execute() override { return m_body(*this); }

private:
    Body m_body;
};

// Waits (bounded) until the thread object reports the state; true when it did.
bool WaitForState(CThread& thread, ThreadState state, DWORD timeoutMs = 20000)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (thread.GetState() != state) {
        if (GetTickCount64() > end)
            return false;
        Sleep(1);
    }
    return true;
}

DWORD ReturnAtOnce(CBodyThread&) { return 42; }

DWORD WaitForStop(CBodyThread& self)
{
    while (!self.WaitStopEvent(1000)) {
    }
    return 7;
}

DWORD IgnoreStop(CBodyThread&)
{
    for (;;)
        Sleep(20);
}

} // namespace

TEST(Thread, body_that_returns_at_once_is_started_then_joined)
{
    CBodyThread thread(ReturnAtOnce);
    EXPECT_EQ(ThreadStateNotStarted, thread.GetState());
    EXPECT_EQ(nullptr, thread.GetHandle());
    thread.ThreadStart();
    EXPECT_NE(nullptr, thread.GetHandle());
    EXPECT_NE(0u, thread.GetThreadId());
    thread.Join();
    EXPECT_EQ(ThreadStateFinished, thread.GetState());
    EXPECT_EQ(42u, thread.GetResult());
    EXPECT_EQ(0u, thread.ExitCode());
    EXPECT_EQ(nullptr, thread.GetException().Get());
}

TEST(Thread, body_that_waits_for_its_stop_event_ends_itself_on_stop)
{
    CBodyThread thread(WaitForStop);
    thread.ThreadStart("LmWaitForStop");
    EXPECT_EQ(ThreadStateRunning, thread.GetState());
    EXPECT_FALSE(thread.IsStopRequested());
    thread.Stop(INFINITE);
    EXPECT_EQ(ThreadStateFinished, thread.GetState());
    EXPECT_TRUE(thread.IsStopRequested());
    EXPECT_EQ(7u, thread.GetResult());
    EXPECT_EQ(0u, thread.ExitCode()) << "the body ended itself, it was not killed";
}

TEST(Thread, signal_stop_returns_at_once_and_join_waits_for_the_body)
{
    CBodyThread thread([](CBodyThread& self) -> DWORD {
        while (!self.IsStopRequested())
            Sleep(5);
        return 3;
    });
    thread.ThreadStart();
    thread.SignalStop();
    thread.Join();
    EXPECT_EQ(ThreadStateFinished, thread.GetState());
    EXPECT_EQ(3u, thread.GetResult());
    EXPECT_EQ(0u, thread.ExitCode());
}

TEST(Thread, each_kind_of_escaping_exception_is_handed_to_the_joiner)
{
    struct Case {
        const char* kind;
        CBodyThread::Body body;
        std::wstring message;
        int line;
        bool hasInner;
    } cases[] = {
        { "CException",
          [](CBodyThread&) -> DWORD {
              Lm::System::ThrowException("body failed", "Lm\\Tests\\Body.cpp", 7, "Lm::Tests::Body");
          },
          L"Thread Execute Function", 84, true },
        { "std::exception", [](CBodyThread&) -> DWORD { throw std::runtime_error("bad thing"); },
          L"bad thing\r\n(std::exception) Thread Execute Function", 91, false },
        { "int", [](CBodyThread&) -> DWORD { throw 5; }, L"(unknown thread exception) Thread Execute Function", 98,
          false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        CBodyThread thread(c.body);
        thread.ThreadStart();
        thread.Join();
        EXPECT_EQ(ThreadStateFinished, thread.GetState());
        EXPECT_EQ(0u, thread.GetResult());
        EXPECT_EQ(1u, thread.ExitCode());
        CRefPtr<CException> failure = thread.GetException();
        ASSERT_NE(nullptr, failure.Get());
        EXPECT_EQ(c.message, failure->Message());
        EXPECT_EQ(c.line, failure->Line());
        EXPECT_EQ("Lm\\System\\Win32\\Thread.cpp", failure->SourceFile());
        EXPECT_EQ("Lm::System::Win32::CThread::StaticThreadProc", failure->Function());
        if (c.hasInner) {
            ASSERT_NE(nullptr, failure->Inner());
            EXPECT_EQ(L"body failed", failure->Inner()->Message());
            EXPECT_EQ(7, failure->Inner()->Line());
            EXPECT_EQ(L"Win32.Thread.84-Tests.Body.7", failure->GetLocationCode());
        } else {
            EXPECT_EQ(nullptr, failure->Inner());
        }
    }
}

TEST(Thread, many_quick_cycles_all_reach_the_finished_state)
{
    // Without joining first: a body that ends before ThreadStart returns must still leave the
    // object in "finished", which is what the Installer's main loop waits for.
    for (int i = 0; i < 100; ++i) {
        CBodyThread thread(ReturnAtOnce);
        thread.ThreadStart();
        ASSERT_TRUE(WaitForState(thread, ThreadStateFinished)) << "cycle " << i;
        EXPECT_EQ(42u, thread.GetResult());
    }
    for (int i = 0; i < 100; ++i) {
        CRefPtr<CBodyThread> thread(new CBodyThread(ReturnAtOnce));
        thread->ThreadStart(i % 2 ? "LmQuick" : "");
        thread->Join();
        ASSERT_EQ(ThreadStateFinished, thread->GetState()) << "cycle " << i;
    }
}

TEST(Thread, starting_twice_throws_and_keeps_the_state)
{
    CBodyThread thread(WaitForStop);
    thread.ThreadStart();
    try {
        thread.ThreadStart();
        FAIL() << "second start did not throw";
    } catch (const CException& e) {
        EXPECT_EQ(L"Thread already started", e.Message());
        EXPECT_EQ(36, e.Line());
        EXPECT_EQ("Lm::System::Win32::CThread::ThreadStart", e.Function());
    }
    EXPECT_EQ(ThreadStateRunning, thread.GetState());
    thread.Stop(INFINITE);
    EXPECT_THROW(thread.ThreadStart(), CException) << "a finished object cannot start again";
    EXPECT_EQ(ThreadStateFinished, thread.GetState());
}

TEST(Thread, stop_kills_a_body_that_never_looks_at_its_stop_event)
{
    for (DWORD timeout : { 0u, 200u }) {
        SCOPED_TRACE(timeout);
        CBodyThread thread(IgnoreStop);
        thread.ThreadStart();
        thread.Stop(timeout);
        EXPECT_EQ(ThreadStateFinished, thread.GetState());
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.GetHandle(), 20000));
        EXPECT_EQ(1u, thread.ExitCode());
        EXPECT_EQ(0u, thread.GetResult());
    }
}

TEST(Thread, stop_and_join_do_nothing_before_start_and_after_the_end)
{
    CBodyThread idle(ReturnAtOnce);
    idle.Stop(0);
    idle.Join();
    EXPECT_EQ(ThreadStateNotStarted, idle.GetState());
    EXPECT_FALSE(idle.IsStopRequested()) << "Stop signalled a thread that never ran";

    CBodyThread done(ReturnAtOnce);
    done.ThreadStart();
    done.Join();
    done.Stop(0);
    done.Join();
    EXPECT_EQ(ThreadStateFinished, done.GetState());
    EXPECT_EQ(0u, done.ExitCode()) << "Stop on a finished thread killed something";
}

namespace {

volatile LONG g_sawStop = 0;

// No members of its own, so the base destructor may stop it while the body still runs.
class CStopWaiter : public CThread {
protected:
    DWORD Execute() override
    {
        while (!WaitStopEvent(1000)) {
        }
        InterlockedExchange(&g_sawStop, 1);
        return 0;
    }
};

} // namespace

TEST(Thread, destroying_a_running_object_stops_it_and_waits_for_the_body)
{
    InterlockedExchange(&g_sawStop, 0);
    HANDLE copy = nullptr;
    {
        CRefPtr<CStopWaiter> thread(new CStopWaiter());
        thread->ThreadStart("LmStopWaiter");
        ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), thread->GetHandle(), GetCurrentProcess(), &copy, 0, FALSE,
                                    DUPLICATE_SAME_ACCESS));
    }
    EXPECT_EQ(1, g_sawStop);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(copy, 0)) << "the destructor returned before the thread ended";
    DWORD code = 0xFFFFFFFF;
    GetExitCodeThread(copy, &code);
    EXPECT_EQ(0u, code) << "the body was killed instead of being asked to stop";
    CloseHandle(copy);
}

TEST(Thread, wait_for_any_thread_returns_the_raw_wait_result)
{
    CBodyThread quick(ReturnAtOnce);
    CBodyThread waiting(WaitForStop);
    quick.ThreadStart();
    waiting.ThreadStart();
    EXPECT_EQ(WAIT_OBJECT_0 + 1, CThread::WaitForAnyThread({ &waiting, &quick }, 20000, false));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), CThread::WaitForAnyThread({ &waiting, &quick }, 0, true));
    waiting.SignalStop();
    EXPECT_EQ(WAIT_OBJECT_0, CThread::WaitForAnyThread({ &waiting, &quick }, 20000, true));
    waiting.Join();
    quick.Join();
}

TEST(Thread, a_name_is_given_without_a_debugger_and_an_empty_one_is_skipped)
{
    ASSERT_FALSE(IsDebuggerPresent());
    using GetDescription = HRESULT(WINAPI*)(HANDLE, PWSTR*);
    HMODULE kernelBase = GetModuleHandleW(L"kernelbase.dll");
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    FARPROC found = kernel ? GetProcAddress(kernel, "GetThreadDescription") : nullptr;
    if (!found && kernelBase)
        found = GetProcAddress(kernelBase, "GetThreadDescription");
    auto getDescription = reinterpret_cast<GetDescription>(reinterpret_cast<void*>(found));

    struct Case { const char* name; const wchar_t* expected; } cases[] = {
        { "LmDownloadWatchdog", L"LmDownloadWatchdog" },
        { "", L"" },
    };
    for (const Case& c : cases) {
        CBodyThread thread(WaitForStop);
        thread.ThreadStart(c.name); // the process survives the naming
        if (getDescription) {
            PWSTR description = nullptr;
            if (SUCCEEDED(getDescription(thread.GetHandle(), &description))) {
                EXPECT_STREQ(c.expected, description);
                LocalFree(description);
            }
        }
        thread.Stop(INFINITE);
        EXPECT_EQ(0u, thread.ExitCode());
    }
}

TEST(Thread, exception_slot_replaces_and_releases_the_old_one)
{
    CBodyThread thread(ReturnAtOnce);
    CRefPtr<CException> first(new CException("first", "Lm\\Tests\\Slot.cpp", 1, "Lm::Tests::Slot"));
    thread.SetException(first);
    EXPECT_EQ(2, first->GetReferenceCount());
    thread.SetException(new CException("second", "Lm\\Tests\\Slot.cpp", 2, "Lm::Tests::Slot"));
    EXPECT_EQ(1, first->GetReferenceCount());
    EXPECT_EQ(L"second", thread.GetException()->Message());
    thread.SetException(nullptr);
    EXPECT_EQ(nullptr, thread.GetException().Get());
}

namespace {

// Holds every thread that starts while set in its attach notification, before its start routine
// runs: the way to make a new thread miss ThreadStart's start time-out.
volatile LONG g_holdNewThreads = 0;
HANDLE g_releaseHeldThreads = nullptr;

void NTAPI HoldNewThreads(PVOID, DWORD reason, PVOID)
{
    if (reason == DLL_THREAD_ATTACH && InterlockedCompareExchange(&g_holdNewThreads, 0, 0) != 0 &&
        g_releaseHeldThreads)
        WaitForSingleObject(g_releaseHeldThreads, 30000);
}

} // namespace

extern "C" {
__attribute__((section(".CRT$XLY"), used)) PIMAGE_TLS_CALLBACK g_lmHoldNewThreadsCallback = HoldNewThreads;
}

TEST(Thread, a_thread_that_does_not_report_in_time_fails_the_start_and_stays_created)
{
    g_releaseHeldThreads = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, g_releaseHeldThreads);
    CBodyThread thread(WaitForStop);
    InterlockedExchange(&g_holdNewThreads, 1);
    try {
        thread.ThreadStart("LmHeld");
        ADD_FAILURE() << "ThreadStart returned although the thread was held";
    } catch (const CException& e) {
        EXPECT_EQ(L"ThreadStart timeout waiting for m_StartedEvent", e.Message());
        EXPECT_EQ(26, e.Line());
    }
    InterlockedExchange(&g_holdNewThreads, 0);
    EXPECT_EQ(ThreadStateRunning, thread.GetState());
    EXPECT_NE(nullptr, thread.GetHandle());
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(thread.GetHandle(), 0));
    SetEvent(g_releaseHeldThreads);
    // Once released the body runs, sees the stop request and ends by itself.
    thread.Stop(INFINITE);
    EXPECT_EQ(ThreadStateFinished, thread.GetState());
    EXPECT_EQ(0u, thread.ExitCode());
    CloseHandle(g_releaseHeldThreads);
    g_releaseHeldThreads = nullptr;
}

namespace {

LONG WINAPI EndProcessOnFault(EXCEPTION_POINTERS*)
{
    return EXCEPTION_EXECUTE_HANDLER;
}

} // namespace

// A machine fault is no C++ exception: the thread does not catch it, and the process ends with
// the fault's code as its exit code. The test runs itself as a child process for that.
TEST(ThreadFault, machine_fault_in_a_body_ends_the_process_with_the_fault_code)
{
    const wchar_t* const marker = L"LM_THREAD_FAULT_CHILD";
    wchar_t value[8] = {};
    if (GetEnvironmentVariableW(marker, value, 8) > 0) {
        // The child: no crash dialog or debugger, just the end of the process.
        // As on a machine without a debugger configured: the process ends with the fault's code.
        SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
        SetUnhandledExceptionFilter(EndProcessOnFault);
        CBodyThread thread([](CBodyThread&) -> DWORD {
            static volatile uintptr_t address = 0; // opaque to the compiler: a real access, not a trap
            *reinterpret_cast<volatile int*>(address) = 1;
            return 0;
        });
        thread.ThreadStart();
        thread.Join();
        std::exit(3); // not reached: the fault ends the process first
    }
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    SetEnvironmentVariableW(marker, L"1");
    LmTest::RunResult run = LmTest::RunProgram(
        self, L"--gtest_filter=ThreadFault.machine_fault_in_a_body_ends_the_process_with_the_fault_code", 60000);
    SetEnvironmentVariableW(marker, nullptr);
    ASSERT_TRUE(run.started);
    ASSERT_TRUE(run.finished);
    // Windows reports the access violation; Wine's emulated 32-bit side here reports the same
    // fault as an illegal instruction. Either way the fault's code ends the process: the body's
    // result, an exit(3) or a clean 0 would mean the fault was swallowed.
    EXPECT_TRUE(run.exitCode == static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION) ||
                run.exitCode == static_cast<DWORD>(EXCEPTION_ILLEGAL_INSTRUCTION))
        << std::hex << run.exitCode;
}
