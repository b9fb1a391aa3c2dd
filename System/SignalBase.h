// What an observer sees of a signal of any handler signature: the one call it makes on a signal,
// to undo all of its connections there when it goes away.
#pragma once

namespace Lm {
namespace System {

class CSignalObserver;

class CSignalBase {
public:
    // Removes and deletes every connection of the observer; the others keep their order.
    virtual void Disconnect(CSignalObserver* observer) = 0;

protected:
    CSignalBase() = default;
    // Signals are destroyed as members of their owners, never through this base.
    ~CSignalBase() = default;
};

} // namespace System
} // namespace Lm
