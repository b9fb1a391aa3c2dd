#include "System/SignalObserver.h"

#include <algorithm>

namespace Lm {
namespace System {

CSignalObserver::~CSignalObserver()
{
    DisconnectAll();
}

void CSignalObserver::AddSignal(CSignalBase* signal)
{
    Win32::CScopedLock guard(m_lock);
    if (std::find(m_signals.begin(), m_signals.end(), signal) == m_signals.end())
        m_signals.push_back(signal);
}

void CSignalObserver::RemoveSignal(CSignalBase* signal)
{
    Win32::CScopedLock guard(m_lock);
    auto found = std::find(m_signals.begin(), m_signals.end(), signal);
    if (found != m_signals.end())
        m_signals.erase(found);
}

void CSignalObserver::DisconnectAll()
{
    Win32::CScopedLock guard(m_lock);
    // The list is taken out first: each Disconnect removes its signal from this list again.
    std::vector<CSignalBase*> signals;
    signals.swap(m_signals);
    for (CSignalBase* signal : signals)
        signal->Disconnect(this);
}

bool CSignalObserver::IsConnectedTo(const CSignalBase* signal)
{
    Win32::CScopedLock guard(m_lock);
    return std::find(m_signals.begin(), m_signals.end(), signal) != m_signals.end();
}

size_t CSignalObserver::GetSignalCount()
{
    Win32::CScopedLock guard(m_lock);
    return m_signals.size();
}

} // namespace System
} // namespace Lm
