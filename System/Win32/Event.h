// A Win32 event, unnamed or named, reference counted. Failures throw with the system's error text.
#pragma once

#include <windows.h>

#include "System/Win32/SynchronizationObject.h"

#include <string>

namespace Lm {
namespace System {
namespace Win32 {

class CEvent : public CSynchronizationObject {
public:
    // Initial state first, manual reset second; default security, no name.
    CEvent(bool initialState, bool manualReset);
    // A named event (default security): opens the event when another process made it already.
    CEvent(bool initialState, bool manualReset, const std::wstring& name);
    ~CEvent() override;

    void Set();
    void Reset();
};

} // namespace Win32
} // namespace System
} // namespace Lm
