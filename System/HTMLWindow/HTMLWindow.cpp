#include "System/HTMLWindow/HTMLWindow.h"

namespace Lm {
namespace System {
namespace HTMLWindow {

CHTMLWindow::CHTMLWindow(HWND parent, const RECT& rect, const std::wstring& url, DWORD style, DWORD exStyle,
                         CHTMLDispatch* externalObject)
    : CHTMLBase(externalObject), m_module(GetAtlModuleHolder())
{
    try {
        Init(parent, rect, style, exStyle);
        Navigate(url);
    } catch (...) {
        Destroy();
        throw;
    }
}

CHTMLWindow::~CHTMLWindow() = default;

void CHTMLWindow::OnClose()
{
    if (m_hostWindow && ::IsWindow(m_hostWindow))
        ::DestroyWindow(m_hostWindow);
    m_hostWindow = nullptr;
}

} // namespace HTMLWindow
} // namespace System
} // namespace Lm
