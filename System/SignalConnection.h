// One handler bound to a signal: a member function of an observer object. The signal owns its
// connections; a connection points at its observer without holding a reference.
#pragma once

#include "System/SignalBase.h"
#include "System/SignalObserver.h"

namespace Lm {
namespace System {

template <typename... Args>
class CSignalConnection {
public:
    CSignalConnection() = default;
    virtual ~CSignalConnection() = default;
    CSignalConnection(const CSignalConnection&) = delete;
    CSignalConnection& operator=(const CSignalConnection&) = delete;

    // The observer's signal list, or null when the connection has no observer.
    virtual CSignalObserver* GetObserver() const = 0;

    // Tells the observer that it is now connected to the signal.
    void Attach(CSignalBase* signal)
    {
        if (CSignalObserver* observer = GetObserver())
            observer->AddSignal(signal);
    }

    // Calls the handler. It touches no member after the handler returns, so a handler may
    // disconnect itself (the signal then deletes this connection only after its Fire ends).
    virtual void Invoke(Args... args) = 0;
};

// The connection of a member function of an observer class derived from CSignalObserver.
template <typename TObserver, typename... Args>
class CMemberSignalConnection : public CSignalConnection<Args...> {
public:
    using Handler = void (TObserver::*)(Args...);

    CMemberSignalConnection(TObserver* observer, Handler handler) : m_observer(observer), m_handler(handler) {}

    CSignalObserver* GetObserver() const override
    {
        return m_observer ? static_cast<CSignalObserver*>(m_observer) : nullptr;
    }

    void Invoke(Args... args) override
    {
        TObserver* observer = m_observer;
        Handler handler = m_handler;
        if (observer)
            (observer->*handler)(args...);
    }

private:
    TObserver* m_observer;
    Handler m_handler;
};

} // namespace System
} // namespace Lm
