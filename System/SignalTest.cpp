// Signals and observers: calls in connection order, and teardown from either side, also while a
// signal is firing.
#include <windows.h>
#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "System/Signal.h"
#include "System/SignalObserver.h"

using Lm::System::CSignal;
using Lm::System::CSignalObserver;

namespace {

using Journal = std::vector<std::wstring>;

class CRecorder : public CSignalObserver {
public:
    CRecorder(const std::wstring& name, Journal& journal) : m_name(name), m_journal(journal) {}

    void OnEvent(const std::wstring& text) { m_journal.push_back(m_name + L":" + text); }
    void OnFill(int value, std::wstring& result) { result += m_name + std::to_wstring(value); }

    // Handlers that change the connections of the very signal that calls them.
    void DisconnectSelf(const std::wstring& text)
    {
        OnEvent(text);
        m_signal->Disconnect(this);
    }
    void DisconnectOther(const std::wstring& text)
    {
        OnEvent(text);
        m_signal->Disconnect(m_other);
    }
    void DestroyOther(const std::wstring& text)
    {
        OnEvent(text);
        m_owned.reset();
    }
    void ConnectOther(const std::wstring& text)
    {
        OnEvent(text);
        m_signal->Connect(static_cast<CRecorder*>(m_other), &CRecorder::OnEvent);
    }
    void Throw(const std::wstring& text)
    {
        OnEvent(text);
        throw std::runtime_error("handler failed");
    }

    CSignal<const std::wstring&>* m_signal = nullptr;
    CSignalObserver* m_other = nullptr;
    std::unique_ptr<CRecorder> m_owned;

private:
    std::wstring m_name;
    Journal& m_journal;
};

// Destroys itself from its handler, as a window closed by the event it receives would.
class CSelfDestroying : public CSignalObserver {
public:
    explicit CSelfDestroying(Journal& journal) : m_journal(journal) {}
    void OnEvent(const std::wstring& text)
    {
        m_journal.push_back(L"gone:" + text);
        delete this;
    }

private:
    Journal& m_journal;
};

Journal J(std::initializer_list<const wchar_t*> items)
{
    Journal result;
    for (const wchar_t* item : items)
        result.push_back(item);
    return result;
}

} // namespace

TEST(Signal, firing_without_connections_does_nothing)
{
    CSignal<const std::wstring&> signal;
    signal.Fire(L"x");
    EXPECT_EQ(0u, signal.GetConnectionCount());
}

TEST(Signal, calls_observers_in_connection_order_and_hands_back_results)
{
    Journal journal;
    CRecorder a(L"a", journal), b(L"b", journal);
    CSignal<const std::wstring&> signal;
    signal.Connect(&b, &CRecorder::OnEvent);
    signal.Connect(&a, &CRecorder::OnEvent);
    signal.Fire(L"1");
    EXPECT_EQ(J({ L"b:1", L"a:1" }), journal);

    CSignal<int, std::wstring&> fill;
    fill.Connect(&a, &CRecorder::OnFill);
    fill.Connect(&b, &CRecorder::OnFill);
    std::wstring result;
    fill.Fire(7, result);
    EXPECT_EQ(L"a7b7", result);
}

TEST(Signal, double_connection_calls_twice_lists_once_and_disconnects_together)
{
    Journal journal;
    CRecorder a(L"a", journal), b(L"b", journal);
    CSignal<const std::wstring&> signal;
    signal.Connect(&a, &CRecorder::OnEvent);
    signal.Connect(&b, &CRecorder::OnEvent);
    signal.Connect(&a, &CRecorder::OnEvent);
    EXPECT_EQ(3u, signal.GetConnectionCount());
    EXPECT_EQ(1u, a.GetSignalCount());
    signal.Fire(L"1");
    EXPECT_EQ(J({ L"a:1", L"b:1", L"a:1" }), journal);

    signal.Disconnect(&a);
    EXPECT_EQ(1u, signal.GetConnectionCount());
    EXPECT_FALSE(a.IsConnectedTo(&signal));
    EXPECT_TRUE(b.IsConnectedTo(&signal));
    journal.clear();
    signal.Fire(L"2");
    EXPECT_EQ(J({ L"b:2" }), journal);
}

TEST(Signal, observer_destroyed_first_is_no_longer_called)
{
    Journal journal;
    CRecorder keep(L"keep", journal);
    CSignal<const std::wstring&> first, second;
    {
        CRecorder gone(L"gone", journal);
        first.Connect(&gone, &CRecorder::OnEvent);
        first.Connect(&keep, &CRecorder::OnEvent);
        second.Connect(&gone, &CRecorder::OnEvent);
        EXPECT_EQ(2u, gone.GetSignalCount());
    }
    EXPECT_EQ(1u, first.GetConnectionCount());
    EXPECT_EQ(0u, second.GetConnectionCount());
    first.Fire(L"1");
    second.Fire(L"2");
    EXPECT_EQ(J({ L"keep:1" }), journal);
}

TEST(Signal, signal_destroyed_first_is_dropped_from_its_observers)
{
    Journal journal;
    CRecorder a(L"a", journal);
    CSignal<const std::wstring&> stays;
    stays.Connect(&a, &CRecorder::OnEvent);
    {
        CSignal<const std::wstring&> gone;
        gone.Connect(&a, &CRecorder::OnEvent);
        gone.Connect(&a, &CRecorder::OnEvent);
        EXPECT_TRUE(a.IsConnectedTo(&gone));
    }
    EXPECT_EQ(1u, a.GetSignalCount());
    EXPECT_TRUE(a.IsConnectedTo(&stays));
    // The observer's own teardown must touch only the signal that still exists.
    a.DisconnectAll();
    EXPECT_EQ(0u, stays.GetConnectionCount());
    EXPECT_EQ(0u, a.GetSignalCount());
}

namespace {

// Takes the place of a destroyed signal: a call that an observer still makes on the signal that
// was there lands here and is counted, where it would otherwise run into freed memory.
class CSignalStandIn : public Lm::System::CSignalBase {
public:
    void Disconnect(CSignalObserver*) override { ++m_calls; }
    int m_calls = 0;
};

} // namespace

TEST(Signal, an_observer_destroyed_after_its_signal_calls_nothing_on_it)
{
    using Signal = CSignal<const std::wstring&>;
    Journal journal;
    auto observer = std::make_unique<CRecorder>(L"a", journal);
    alignas(Signal) alignas(CSignalStandIn) unsigned char place[sizeof(Signal) > sizeof(CSignalStandIn)
                                                                    ? sizeof(Signal)
                                                                    : sizeof(CSignalStandIn)];
    Signal* gone = new (place) Signal();
    gone->Connect(observer.get(), &CRecorder::OnEvent);
    gone->~Signal();
    CSignalStandIn* standIn = new (place) CSignalStandIn();
    EXPECT_EQ(0u, observer->GetSignalCount());
    observer.reset();
    EXPECT_EQ(0, standIn->m_calls) << "the observer called the destroyed signal";
    standIn->~CSignalStandIn();
}

TEST(Signal, handler_may_disconnect_itself_while_firing)
{
    Journal journal;
    CRecorder a(L"a", journal), b(L"b", journal), c(L"c", journal);
    CSignal<const std::wstring&> signal;
    b.m_signal = &signal;
    signal.Connect(&a, &CRecorder::OnEvent);
    signal.Connect(&b, &CRecorder::DisconnectSelf);
    signal.Connect(&c, &CRecorder::OnEvent);
    signal.Fire(L"1");
    EXPECT_EQ(J({ L"a:1", L"b:1", L"c:1" }), journal);
    EXPECT_FALSE(b.IsConnectedTo(&signal));
    EXPECT_EQ(2u, signal.GetConnectionCount());
    journal.clear();
    signal.Fire(L"2");
    EXPECT_EQ(J({ L"a:2", L"c:2" }), journal);
}

TEST(Signal, handler_may_disconnect_another_observer_before_or_after_it)
{
    struct Case { int disconnected; Journal expected; } cases[] = {
        { 0, J({ L"a:1", L"b:1", L"c:1" }) }, // already called: the rest still runs once each
        { 2, J({ L"a:1", L"b:1" }) },         // not called yet: skipped in this very Fire
    };
    for (const Case& test : cases) {
        Journal journal;
        CRecorder a(L"a", journal), b(L"b", journal), c(L"c", journal);
        CRecorder* all[] = { &a, &b, &c };
        CSignal<const std::wstring&> signal;
        b.m_signal = &signal;
        b.m_other = all[test.disconnected];
        signal.Connect(&a, &CRecorder::OnEvent);
        signal.Connect(&b, &CRecorder::DisconnectOther);
        signal.Connect(&c, &CRecorder::OnEvent);
        signal.Fire(L"1");
        EXPECT_EQ(test.expected, journal) << "disconnected " << test.disconnected;
        EXPECT_EQ(2u, signal.GetConnectionCount());
        EXPECT_FALSE(all[test.disconnected]->IsConnectedTo(&signal));
    }
}

TEST(Signal, handler_may_destroy_observers_while_firing)
{
    Journal journal;
    CRecorder a(L"a", journal);
    a.m_owned = std::make_unique<CRecorder>(L"owned", journal);
    CSignal<const std::wstring&> signal;
    signal.Connect(new CSelfDestroying(journal), &CSelfDestroying::OnEvent);
    signal.Connect(&a, &CRecorder::DestroyOther);
    signal.Connect(a.m_owned.get(), &CRecorder::OnEvent);
    signal.Fire(L"1");
    EXPECT_EQ(J({ L"gone:1", L"a:1" }), journal);
    EXPECT_EQ(1u, signal.GetConnectionCount());
}

TEST(Signal, connections_made_while_firing_are_called_from_the_next_fire)
{
    Journal journal;
    CRecorder a(L"a", journal), late(L"late", journal);
    CSignal<const std::wstring&> signal;
    a.m_signal = &signal;
    a.m_other = &late;
    signal.Connect(&a, &CRecorder::ConnectOther);
    signal.Fire(L"1");
    EXPECT_EQ(J({ L"a:1" }), journal);
    EXPECT_TRUE(late.IsConnectedTo(&signal));
    signal.Fire(L"2");
    EXPECT_EQ(J({ L"a:1", L"a:2", L"late:2" }), journal);
}

TEST(Signal, a_throwing_handler_stops_the_fire_and_leaves_the_signal_usable)
{
    Journal journal;
    CRecorder a(L"a", journal), b(L"b", journal), c(L"c", journal);
    CSignal<const std::wstring&> signal;
    b.m_signal = &signal;
    signal.Connect(&a, &CRecorder::DisconnectSelf);
    a.m_signal = &signal;
    signal.Connect(&b, &CRecorder::Throw);
    signal.Connect(&c, &CRecorder::OnEvent);
    EXPECT_THROW(signal.Fire(L"1"), std::runtime_error);
    EXPECT_EQ(J({ L"a:1", L"b:1" }), journal);
    // The disconnection made during the failed Fire took effect.
    EXPECT_EQ(2u, signal.GetConnectionCount());
    signal.Disconnect(&b);
    journal.clear();
    signal.Fire(L"2");
    EXPECT_EQ(J({ L"c:2" }), journal);
}

namespace {

class CCounter : public CSignalObserver {
public:
    void OnTick(int amount) { m_total += amount; } // serialised by the signal's lock
    long m_total = 0;
};

struct FireJob {
    CSignal<int>* signal;
    int rounds;
};

DWORD WINAPI FireRounds(void* argument)
{
    FireJob* job = static_cast<FireJob*>(argument);
    for (int i = 0; i < job->rounds; ++i)
        job->signal->Fire(1);
    return 0;
}

} // namespace

TEST(Signal, fires_from_several_threads_reach_every_observer_once_each)
{
    CCounter first, second;
    CSignal<int> signal;
    signal.Connect(&first, &CCounter::OnTick);
    signal.Connect(&second, &CCounter::OnTick);
    FireJob job = { &signal, 200 };
    HANDLE threads[4];
    for (HANDLE& thread : threads) {
        thread = CreateThread(nullptr, 0, FireRounds, &job, 0, nullptr);
        ASSERT_NE(nullptr, thread);
    }
    ASSERT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(4, threads, TRUE, 60000));
    for (HANDLE thread : threads)
        CloseHandle(thread);
    EXPECT_EQ(800, first.m_total);
    EXPECT_EQ(800, second.m_total);
}
