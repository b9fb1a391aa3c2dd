// The ready-to-use HTML window: made and navigated at construction, closed by the page.
#include <gtest/gtest.h>

#include "System/HTMLWindow/HTMLDispatch.h"
#include "System/HTMLWindow/HTMLWindow.h"

using namespace Lm::System::HTMLWindow;

namespace {

class CFirstPageWindow : public CHTMLWindow {
public:
    CFirstPageWindow(const std::wstring& url, std::vector<std::wstring>& before)
        : CHTMLWindow(nullptr, RECT{40, 30, 540, 430}, url, WS_POPUP | WS_CAPTION, 0, new CHTMLDispatch()),
          m_before(before)
    {
    }
    void OnBeforeNavigate(const std::wstring& url, bool& cancel) override
    {
        m_before.push_back(url);
        cancel = true;
    }

private:
    std::vector<std::wstring>& m_before;
};

class HTMLWindowTest : public testing::Test {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override { CoUninitialize(); }
};

} // namespace

TEST_F(HTMLWindowTest, construction_navigates_and_the_page_close_destroys_the_window)
{
    std::vector<std::wstring> before;
    Lm::System::CRefPtr<CFirstPageWindow> window = new CFirstPageWindow(L"about:blank#first", before);
    const HWND host = window->GetHwnd();
    ASSERT_TRUE(IsWindow(host));
    const DWORD start = GetTickCount();
    while (before.empty() && GetTickCount() - start < 20000) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        Sleep(10);
    }
    ASSERT_FALSE(before.empty());
    EXPECT_EQ(L"about:blank#first", before.front());

    window->SetText(L"Larchmeadow Games App Setup");
    wchar_t caption[64] = {};
    GetWindowTextW(host, caption, 64);
    EXPECT_STREQ(L"Larchmeadow Games App Setup", caption);

    EXPECT_EQ(S_OK, window->GetExternalObject()->Invoke(kDispIdClose, IID_NULL, LOCALE_USER_DEFAULT,
                                                        DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr));
    EXPECT_FALSE(IsWindow(host));
    EXPECT_EQ(nullptr, window->GetHwnd());
    EXPECT_NO_THROW(window->OnClose()) << "a second close finds no window";
}

TEST_F(HTMLWindowTest, resize_client_sets_the_client_area_and_set_window_pos_the_frame)
{
    std::vector<std::wstring> before;
    Lm::System::CRefPtr<CFirstPageWindow> window = new CFirstPageWindow(L"about:blank", before);
    window->ResizeClient(300, 200);
    RECT client = {};
    GetClientRect(window->GetHwnd(), &client);
    EXPECT_EQ(300, client.right);
    EXPECT_EQ(200, client.bottom);
    window->ResizeClient(-1, 150);
    GetClientRect(window->GetHwnd(), &client);
    EXPECT_EQ(300, client.right) << "-1 keeps the width";
    EXPECT_EQ(150, client.bottom);

    window->SetWindowPos(nullptr, RECT{10, 20, 410, 320}, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT frame = {};
    GetWindowRect(window->GetHwnd(), &frame);
    EXPECT_EQ(10, frame.left);
    EXPECT_EQ(20, frame.top);
    EXPECT_EQ(400, frame.right - frame.left);
    EXPECT_EQ(300, frame.bottom - frame.top);
    window->Destroy();
}
