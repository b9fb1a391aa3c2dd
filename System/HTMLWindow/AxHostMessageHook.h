// What the owner of a host window sees of its messages before the host handles them.
#pragma once

#include <windows.h>

namespace Lm {
namespace System {
namespace HTMLWindow {

class IAxHostMessageHook {
public:
    // True (with the result set) takes a message away from the host and from DefWindowProc. An
    // exception ends at the window procedure: the message then goes to DefWindowProc.
    virtual bool OnHostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;

protected:
    ~IAxHostMessageHook() = default;
};

} // namespace HTMLWindow
} // namespace System
} // namespace Lm
