// BoxAnswerer.exe: answers a message box of another program as a user would, for scripts and
// tests that drive a program's real boxes.
//   BoxAnswerer.exe /caption <text> /button <ok|cancel|yes|no|retry|...|id> [/timeout <ms>] [/out <file>]
//                   [/pid <process id>]
// Waits (default 30000 ms) for a visible dialog (class "#32770") with exactly that caption (of
// that process only, with /pid),
// presses the button, and writes what it saw to stdout and, with /out, to a UTF-8 file:
//   caption=<caption>  text=<message text>  buttons=<ids, comma separated>  pressed=<id or 0>
// Exit code: 0 pressed, 1 no such box in time, 2 the box has no such button, 3 bad command line.
#include <windows.h>
#include <shellapi.h>

#include <stdio.h>
#include <string>

#include "BoxAnswer.h"
#include "ToolSupport.h"

using namespace LmTool;

int wmain(int, wchar_t**)
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::wstring caption, out;
    int button = 0;
    DWORD timeout = 30000;
    DWORD processId = 0;
    bool haveCaption = false;
    for (int i = 1; argv != nullptr && i + 1 < argc; i += 2) {
        std::wstring name = argv[i], value = argv[i + 1];
        if (_wcsicmp(name.c_str(), L"/caption") == 0) {
            caption = value;
            haveCaption = true;
        } else if (_wcsicmp(name.c_str(), L"/button") == 0) {
            button = LmTest::ButtonFromName(value);
        } else if (_wcsicmp(name.c_str(), L"/timeout") == 0) {
            timeout = wcstoul(value.c_str(), nullptr, 0);
        } else if (_wcsicmp(name.c_str(), L"/out") == 0) {
            out = value;
        } else if (_wcsicmp(name.c_str(), L"/pid") == 0) {
            processId = wcstoul(value.c_str(), nullptr, 0);
        }
    }
    if (!haveCaption || button == 0) {
        fprintf(stderr, "usage: BoxAnswerer.exe /caption <text> /button <name|id> [/timeout <ms>] [/out <file>]\n");
        return 3;
    }

    LmTest::AnsweredBox box = LmTest::AnswerBox(caption, button, timeout, processId);
    std::wstring buttons;
    for (int id : box.buttons)
        buttons += (buttons.empty() ? L"" : L",") + std::to_wstring(id);
    std::string report = "caption=" + ToUtf8(caption) + "\r\ntext=" + ToUtf8(box.text) + "\r\nbuttons=" + ToUtf8(buttons) +
                         "\r\npressed=" + std::to_string(box.pressed ? button : 0) + "\r\n";
    fputs(report.c_str(), stdout);
    if (!out.empty()) {
        HANDLE file = CreateFileW(out.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, report.data(), static_cast<DWORD>(report.size()), &written, nullptr);
            CloseHandle(file);
        }
    }
    if (!box.found)
        return 1;
    return box.pressed ? 0 : 2;
}
