// Answers a message box the way a user would: waits for a dialog (class "#32770") by its caption,
// records its text and buttons, and presses one button. Used in process by the tests and by the
// BoxAnswerer.exe tool.
#pragma once

#include <windows.h>

#include <string>
#include <thread>
#include <vector>

namespace LmTest {

struct AnsweredBox {
    bool found = false;        // a visible box with the caption appeared in time
    bool pressed = false;      // the chosen button was on it and was pressed
    std::wstring caption;
    std::wstring text;         // the box's message text
    std::vector<int> buttons;  // control ids of its buttons (IDOK, IDCANCEL, IDYES, ...)
    DWORD processId = 0;       // the process that shows it
};

// Waits up to timeoutMs for a visible top-level "#32770" window whose caption is exactly
// `caption` (of process processId, when not 0), records it and presses `button`.
AnsweredBox AnswerBox(const std::wstring& caption, int button, DWORD timeoutMs, DWORD processId = 0);

// "ok", "cancel", "abort", "retry", "ignore", "yes", "no", "tryagain", "continue" (any case) or a
// number; 0 when the text names no button.
int ButtonFromName(const std::wstring& name);

// AnswerBox on a thread of its own, started at construction, so that the caller can meanwhile
// run what shows the box. Wait() returns the outcome; the destructor waits for the thread too.
class BoxAnswerer {
public:
    BoxAnswerer(const std::wstring& caption, int button, DWORD timeoutMs = 30000, DWORD processId = 0);
    ~BoxAnswerer();
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;
    const AnsweredBox& Wait();
private:
    AnsweredBox result_;
    std::thread thread_;
};

} // namespace LmTest
