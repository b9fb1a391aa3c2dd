// The observer side of signals: the list of signals an observer is connected to, so that the
// observer's destruction disconnects it from every one of them and no signal calls a dead object.
// An observer class derives from CSignalObserver and connects its member functions to signals.
#pragma once

#include <vector>

#include "System/SignalBase.h"
#include "System/Win32/CriticalSectionLock.h"

namespace Lm {
namespace System {

class CSignalObserver {
public:
    CSignalObserver() = default;
    virtual ~CSignalObserver();
    CSignalObserver(const CSignalObserver&) = delete;
    CSignalObserver& operator=(const CSignalObserver&) = delete;

    // Lists the signal unless it is already listed (a signal calls this while it holds its own lock).
    void AddSignal(CSignalBase* signal);
    // Erases the signal from the list when it is there (a signal going away, or one that dropped
    // all of this observer's connections).
    void RemoveSignal(CSignalBase* signal);
    // Disconnects this observer from every listed signal and empties the list.
    void DisconnectAll();

    // Whether the signal is listed; for tests and diagnostics.
    bool IsConnectedTo(const CSignalBase* signal);
    size_t GetSignalCount();

private:
    // Lock order: a signal's lock is taken before this list's lock (connect, signal destruction).
    // DisconnectAll takes them the other way round, which is why a signal and its observer are
    // never torn down on two threads at once.
    Win32::CCriticalSectionLock m_lock;
    std::vector<CSignalBase*> m_signals;
};

} // namespace System
} // namespace Lm
