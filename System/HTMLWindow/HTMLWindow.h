// The ready-to-use HTML window: makes sure the process's host-module object exists, creates the
// host window with its browser and navigates to the first page at construction. Its OnClose
// (the page's Close()) destroys the host window.
#pragma once

#include "System/HTMLWindow/AxHostModule.h"
#include "System/HTMLWindow/HTMLBase.h"
#include "System/RefPtr.h"

namespace Lm {
namespace System {
namespace HTMLWindow {

class CHTMLWindow : public CHTMLBase {
public:
    // Init and Navigate; an exception from either destroys what was built and passes on.
    CHTMLWindow(HWND parent, const RECT& rect, const std::wstring& url, DWORD style, DWORD exStyle,
                CHTMLDispatch* externalObject);
    ~CHTMLWindow() override;

    // Destroys the host window when it still is one and clears the handle.
    void OnClose() override;

private:
    CRefPtr<CAxHostModule> m_module;
};

} // namespace HTMLWindow
} // namespace System
} // namespace Lm
