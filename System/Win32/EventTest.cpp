#include "System/Win32/Event.h"

#include <gtest/gtest.h>

#include "System/Exception.h"
#include "System/RefPtr.h"
#include "System/String/StringUtils.h"

using Lm::System::CRefPtr;
using Lm::System::Win32::CEvent;

namespace {

// An event whose handle was closed behind its back: every call on it fails.
class CClosedEvent : public CEvent {
public:
    CClosedEvent() : CEvent(false, true)
    {
        ::CloseHandle(m_handle);
        m_handle = nullptr;
    }
};

struct WaitCase {
    bool initialState;
    bool manualReset;
    DWORD firstWait;
    DWORD secondWait;
};

class EventWaitTest : public testing::TestWithParam<WaitCase> {};

TEST_P(EventWaitTest, wait_results_follow_the_kind_of_event)
{
    const WaitCase& c = GetParam();
    CRefPtr<CEvent> event(new CEvent(c.initialState, c.manualReset));
    EXPECT_EQ(c.firstWait, event->Wait(0));
    EXPECT_EQ(c.secondWait, event->Wait(0));
}

INSTANTIATE_TEST_SUITE_P(Kinds, EventWaitTest,
                         testing::Values(WaitCase{false, true, WAIT_TIMEOUT, WAIT_TIMEOUT},
                                         WaitCase{false, false, WAIT_TIMEOUT, WAIT_TIMEOUT},
                                         WaitCase{true, true, WAIT_OBJECT_0, WAIT_OBJECT_0},
                                         WaitCase{true, false, WAIT_OBJECT_0, WAIT_TIMEOUT}));

TEST(EventTest, set_manual_reset_event_stays_set_until_reset)
{
    CEvent event(false, true);
    event.Set();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), event.Wait(0));
    event.Reset();
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), event.Wait(0));
}

TEST(EventTest, auto_reset_event_lets_one_wait_through_per_set)
{
    CEvent event(false, false);
    for (int round = 0; round < 3; ++round) {
        event.Set();
        EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), event.Wait(0));
        EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), event.Wait(0));
    }
}

DWORD WINAPI SetAfterAWhile(void* parameter)
{
    ::Sleep(50);
    static_cast<CEvent*>(parameter)->Set();
    return 0;
}

TEST(EventTest, wait_returns_when_another_thread_sets_the_event)
{
    CRefPtr<CEvent> event(new CEvent(false, true));
    HANDLE thread = ::CreateThread(nullptr, 0, SetAfterAWhile, event.Get(), 0, nullptr);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), event->Wait(20000));
    ::WaitForSingleObject(thread, 20000);
    ::CloseHandle(thread);
}

TEST(EventTest, event_handle_is_closed_with_the_object)
{
    HANDLE handle;
    {
        CRefPtr<CEvent> event(new CEvent(false, true));
        handle = event->GetHandle();
        DWORD flags;
        EXPECT_TRUE(::GetHandleInformation(handle, &flags));
    }
    DWORD flags;
    EXPECT_FALSE(::GetHandleInformation(handle, &flags));
}

struct FailureCase {
    const char* name;
    std::wstring prefix;
    int line;
    std::string function;
    std::wstring locationCode;
};

class EventFailureTest : public testing::TestWithParam<FailureCase> {};

TEST_P(EventFailureTest, failing_call_throws_its_prefix_and_the_system_text)
{
    const FailureCase& c = GetParam();
    CClosedEvent event;
    try {
        const std::string name = c.name;
        if (name == "Set")
            event.Set();
        else if (name == "Reset")
            event.Reset();
        else
            event.Wait(0);
        FAIL() << "no throw";
    } catch (const Lm::System::CException& e) {
        EXPECT_EQ(c.prefix + Lm::System::String::GetWin32ErrorText(ERROR_INVALID_HANDLE), e.Message());
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), e.LastError());
        EXPECT_EQ(c.line, e.Line());
        EXPECT_EQ(c.function, e.Function());
        EXPECT_EQ(c.locationCode, e.GetLocationCode());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Calls, EventFailureTest,
    testing::Values(FailureCase{"Set", L"Failed to Set event: ", 41, "Lm::System::Win32::CEvent::Set", L"Win32.Event.41"},
                    FailureCase{"Reset", L"Failed to Reset event: ", 49, "Lm::System::Win32::CEvent::Reset",
                                L"Win32.Event.49"},
                    FailureCase{"Wait", L"Wait Failed:", 23, "Lm::System::Win32::CSynchronizationObject::Wait",
                                L"Win32.Synchronization.23"}));

} // namespace
