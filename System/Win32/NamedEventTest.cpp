// Named events shared between objects (and processes) by their name, and waits on several objects.
#include <gtest/gtest.h>

#include "System/Exception.h"
#include "System/String/StringUtils.h"
#include "System/Win32/Event.h"
#include "TestSupport.h"

using Lm::System::Win32::CEvent;
using Lm::System::Win32::CSynchronizationObject;

TEST(NamedEvent, two_objects_of_one_name_are_one_event)
{
    const std::wstring name = LmTest::UniqueName(L"LmTestEvent-");
    CEvent first(false, true, name);
    CEvent second(false, true, name);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), second.Wait(0));
    first.Set();
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), second.Wait(0));
    second.Reset();
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), first.Wait(0));
    // Another process sees it under the same name.
    HANDLE opened = OpenEventW(SYNCHRONIZE, FALSE, name.c_str());
    ASSERT_NE(nullptr, opened);
    CloseHandle(opened);
}

TEST(NamedEvent, initial_state_and_reset_kind_are_those_given)
{
    CEvent set(true, false, LmTest::UniqueName(L"LmTestEvent-"));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), set.Wait(0));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), set.Wait(0)) << "auto-reset lets one wait through";
}

TEST(NamedEvent, a_name_held_by_another_kind_of_object_throws_with_the_name)
{
    const std::wstring name = LmTest::UniqueName(L"LmTestMutex-");
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    ASSERT_NE(nullptr, mutex);
    try {
        CEvent event(false, true, name);
        ADD_FAILURE() << "no exception";
    } catch (const Lm::System::CException& e) {
        EXPECT_EQ(ERROR_INVALID_HANDLE, e.LastError());
        EXPECT_EQ(L"Failed to create event: " + name + L"  " + Lm::System::String::GetWin32ErrorText(ERROR_INVALID_HANDLE),
                  e.Message());
        EXPECT_EQ(L"Win32.Event.24", e.GetLocationCode());
        EXPECT_EQ("Lm::System::Win32::CEvent::CEvent", e.Function());
    }
    CloseHandle(mutex);
}

TEST(NamedEvent, wait_for_many_reports_the_first_signalled_object_or_the_timeout)
{
    CEvent a(false, true), b(false, true), c(false, true);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), CSynchronizationObject::WaitForMany({&a, &b, &c}, 0, false));
    c.Set();
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0 + 2), CSynchronizationObject::WaitForMany({&a, &b, &c}, 0, false));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), CSynchronizationObject::WaitForMany({&a, &b, &c}, 0, true));
    a.Set();
    b.Set();
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), CSynchronizationObject::WaitForMany({&a, &b, &c}, 0, true));

    CEvent d(false, true), e(false, true);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), CSynchronizationObject::WaitForAny(d, e, 0, false));
    e.Set();
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0 + 1), CSynchronizationObject::WaitForAny(d, e, 0, false));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), CSynchronizationObject::WaitForAny(d, e, 0, true));
}
