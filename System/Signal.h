// A thread-safe multicast callback: the object that raises an event owns a CSignal, observers
// connect member functions to it, and Fire calls them in connection order on the firing thread.
// Either side may go first: the signal's destruction detaches it from its observers, and an
// observer's destruction disconnects it from every signal.
//
//   class CWindow : public CSignalObserver { void OnSetEvent(const std::wstring& name); };
//   CSignal<const std::wstring&> setEvent;
//   setEvent.Connect(window, &CWindow::OnSetEvent);
//   setEvent.Fire(L"HtmlInstallBegin");
#pragma once

#include <cstddef>
#include <vector>

#include "System/SignalBase.h"
#include "System/SignalConnection.h"
#include "System/SignalObserver.h"
#include "System/Win32/CriticalSectionLock.h"

namespace Lm {
namespace System {

template <typename... Args>
class CSignal : public CSignalBase {
public:
    using Connection = CSignalConnection<Args...>;

    CSignal() = default;
    CSignal(const CSignal&) = delete;
    CSignal& operator=(const CSignal&) = delete;

    ~CSignal()
    {
        Win32::CScopedLock guard(m_lock);
        for (Connection* connection : m_connections) {
            if (!connection)
                continue;
            if (CSignalObserver* observer = connection->GetObserver())
                observer->RemoveSignal(this);
            delete connection;
        }
        for (Connection* connection : m_retired)
            delete connection;
    }

    // Connects a member function of the observer. Connecting the same observer twice makes two
    // connections, both called by Fire; the observer lists this signal once.
    template <typename TObserver>
    void Connect(TObserver* observer, void (TObserver::*handler)(Args...))
    {
        Win32::CScopedLock guard(m_lock);
        Connection* connection = new CMemberSignalConnection<TObserver, Args...>(observer, handler);
        m_connections.push_back(connection);
        connection->Attach(this);
    }

    // Calls every connection in connection order, under the signal's lock (re-entrant for the
    // firing thread). A handler may disconnect itself or any other observer, or connect new ones,
    // while Fire runs: removed connections are skipped and deleted once the outermost Fire ends,
    // and connections made during the call are first called by the next Fire.
    void Fire(Args... args)
    {
        Win32::CScopedLock guard(m_lock);
        CFiringScope scope(*this);
        const size_t count = m_connections.size();
        for (size_t i = 0; i < count && i < m_connections.size(); ++i) {
            Connection* connection = m_connections[i];
            if (connection)
                connection->Invoke(args...);
        }
    }

    // Removes and deletes every connection of the observer (both of a double connection); the
    // others keep their order. The observer no longer lists this signal afterwards.
    void Disconnect(CSignalObserver* observer) override
    {
        Win32::CScopedLock guard(m_lock);
        bool removed = false;
        for (size_t i = 0; i < m_connections.size(); ++i) {
            Connection* connection = m_connections[i];
            if (!connection || connection->GetObserver() != observer)
                continue;
            removed = true;
            if (m_firing > 0) {
                // A Fire further up this thread's stack may be inside this very connection:
                // leave an empty slot and delete the connection when the firing ends.
                m_connections[i] = nullptr;
                m_retired.push_back(connection);
            } else {
                delete connection;
                m_connections.erase(m_connections.begin() + i);
                --i;
            }
        }
        if (removed && observer)
            observer->RemoveSignal(this);
    }

    // Number of live connections; for tests and diagnostics.
    size_t GetConnectionCount()
    {
        Win32::CScopedLock guard(m_lock);
        size_t count = 0;
        for (Connection* connection : m_connections)
            if (connection)
                ++count;
        return count;
    }

private:
    // Counts nested Fire calls on the firing thread; the outermost one, when it ends (also by an
    // exception from a handler), drops the empty slots and deletes the retired connections.
    class CFiringScope {
    public:
        explicit CFiringScope(CSignal& signal) : m_signal(signal) { ++m_signal.m_firing; }
        ~CFiringScope()
        {
            if (--m_signal.m_firing == 0)
                m_signal.Compact();
        }
        CFiringScope(const CFiringScope&) = delete;
        CFiringScope& operator=(const CFiringScope&) = delete;

    private:
        CSignal& m_signal;
    };

    void Compact()
    {
        std::vector<Connection*> live;
        live.reserve(m_connections.size());
        for (Connection* connection : m_connections)
            if (connection)
                live.push_back(connection);
        m_connections.swap(live);
        std::vector<Connection*> retired;
        retired.swap(m_retired);
        for (Connection* connection : retired)
            delete connection;
    }

    // Lock order: this lock before an observer's list lock (Connect, the destructor).
    Win32::CCriticalSectionLock m_lock;
    std::vector<Connection*> m_connections; // owned; an empty slot only while a Fire runs
    std::vector<Connection*> m_retired;     // disconnected during a Fire, deleted after it
    int m_firing = 0;
};

} // namespace System
} // namespace Lm
