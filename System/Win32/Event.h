// An unnamed Win32 event, reference counted. Failures throw with the system's error text.
#pragma once

#include <windows.h>

#include "System/Win32/SynchronizationObject.h"

namespace Lm {
namespace System {
namespace Win32 {

class CEvent : public CSynchronizationObject {
public:
    // Initial state first, manual reset second; default security, no name.
    CEvent(bool initialState, bool manualReset);
    ~CEvent() override;

    void Set();
    void Reset();
};

} // namespace Win32
} // namespace System
} // namespace Lm
