#include "BoxAnswer.h"

#include <wchar.h>

namespace LmTest {

namespace {

// A message box's text sits in the static control with this id.
const int MessageTextId = 0xFFFF;

std::wstring TextOf(HWND window)
{
    int n = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    n = GetWindowTextW(window, &text[0], n + 1);
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return text;
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

struct Search {
    const std::wstring* caption;
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM param)
{
    Search& search = *reinterpret_cast<Search*>(param);
    if (!IsWindowVisible(window) || ClassOf(window) != L"#32770" || TextOf(window) != *search.caption)
        return TRUE;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (search.processId != 0 && pid != search.processId)
        return TRUE;
    search.found = window;
    return FALSE;
}

struct Children {
    std::vector<int> buttons;
    std::wstring firstStaticText;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM param)
{
    Children& children = *reinterpret_cast<Children*>(param);
    std::wstring cls = ClassOf(child);
    if (_wcsicmp(cls.c_str(), L"Button") == 0)
        children.buttons.push_back(GetDlgCtrlID(child));
    else if (_wcsicmp(cls.c_str(), L"Static") == 0 && children.firstStaticText.empty())
        children.firstStaticText = TextOf(child);
    return TRUE;
}

} // namespace

AnsweredBox AnswerBox(const std::wstring& caption, int button, DWORD timeoutMs, DWORD processId)
{
    AnsweredBox result;
    DWORD start = GetTickCount();
    Search search = { &caption, processId, nullptr };
    for (;;) {
        search.found = nullptr;
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr || GetTickCount() - start >= timeoutMs)
            break;
        Sleep(25);
    }
    HWND box = search.found;
    if (box == nullptr)
        return result;

    result.found = true;
    result.caption = caption;
    GetWindowThreadProcessId(box, &result.processId);
    Children children;
    EnumChildWindows(box, CollectChild, reinterpret_cast<LPARAM>(&children));
    result.buttons = children.buttons;
    HWND textControl = GetDlgItem(box, MessageTextId);
    result.text = textControl != nullptr ? TextOf(textControl) : children.firstStaticText;

    HWND buttonWindow = GetDlgItem(box, button);
    if (button != 0 && buttonWindow != nullptr) {
        // As a click on the button does: the dialog gets its command.
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(buttonWindow));
        result.pressed = true;
    }
    return result;
}

int ButtonFromName(const std::wstring& name)
{
    static const struct { const wchar_t* name; int id; } names[] = {
        { L"ok", IDOK },         { L"cancel", IDCANCEL },     { L"abort", IDABORT },
        { L"retry", IDRETRY },   { L"ignore", IDIGNORE },     { L"yes", IDYES },
        { L"no", IDNO },         { L"tryagain", IDTRYAGAIN }, { L"continue", IDCONTINUE },
    };
    for (const auto& entry : names) {
        if (_wcsicmp(entry.name, name.c_str()) == 0)
            return entry.id;
    }
    wchar_t* end = nullptr;
    long id = wcstol(name.c_str(), &end, 0);
    return (!name.empty() && end != nullptr && *end == L'\0' && id > 0) ? static_cast<int>(id) : 0;
}

BoxAnswerer::BoxAnswerer(const std::wstring& caption, int button, DWORD timeoutMs, DWORD processId)
    : thread_([this, caption, button, timeoutMs, processId] { result_ = AnswerBox(caption, button, timeoutMs, processId); })
{
}

BoxAnswerer::~BoxAnswerer()
{
    if (thread_.joinable())
        thread_.join();
}

const AnsweredBox& BoxAnswerer::Wait()
{
    if (thread_.joinable())
        thread_.join();
    return result_;
}

} // namespace LmTest
