// The box answerer finds a message box by its caption, reads it and presses the chosen button;
// the boxes here are real MessageBoxW calls of this process on a thread of their own.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "BoxAnswer.h"
#include "TestSupport.h"

using namespace LmTest;

namespace {

// Shows one message box on its own thread; Result() waits for the box to be closed. A box that
// is still open when the object goes (the test stopped early, or left it open on purpose) is
// closed with the button given, so the test never returns with a box that holds the process.
class ShownBox {
public:
    ShownBox(const std::wstring& text, const std::wstring& caption, UINT type, int closeButton)
        : caption_(caption), closeButton_(closeButton), thread_([this, text, caption, type] {
              result_ = MessageBoxW(nullptr, text.c_str(), caption.c_str(), type);
              closed_ = true;
          })
    {
    }
    ~ShownBox()
    {
        Close();
        if (thread_.joinable())
            thread_.join();
    }
    // The button the box was closed with; a box still open after a generous while is a failure.
    int Result()
    {
        const DWORD start = GetTickCount();
        while (!closed_ && GetTickCount() - start < 60000)
            Sleep(20);
        if (!closed_)
            ADD_FAILURE() << "the box is still open";
        Close();
        if (thread_.joinable())
            thread_.join();
        return result_;
    }
    // Presses the close button until the box is gone (bounded: a box that cannot be closed is a
    // failure, never a hang).
    void Close()
    {
        const DWORD start = GetTickCount();
        while (!closed_ && GetTickCount() - start < 60000)
            AnswerBox(caption_, closeButton_, 250, GetCurrentProcessId());
        if (!closed_) {
            ADD_FAILURE() << "the box could not be closed";
            thread_.detach();
        }
    }
    bool Closed() const { return closed_; }

private:
    std::wstring caption_;
    int closeButton_;
    int result_ = 0;
    std::atomic<bool> closed_{false};
    std::thread thread_;
};

struct BoxCase {
    const char* name;
    UINT type;
    int button;
    std::vector<int> buttons;
};

void PrintTo(const BoxCase& c, std::ostream* out) { *out << "type " << c.type << " answer " << c.button; }

bool Has(const std::vector<int>& ids, int id) { return std::find(ids.begin(), ids.end(), id) != ids.end(); }

} // namespace

class BoxAnswererCases : public ::testing::TestWithParam<BoxCase> {};

TEST_P(BoxAnswererCases, presses_the_chosen_button_and_records_the_text)
{
    const BoxCase& c = GetParam();
    std::wstring caption = UniqueName(L"Box caption ");
    ShownBox box(L"The message\nof two lines", caption, c.type, c.button);

    AnsweredBox answered = AnswerBox(caption, c.button, 30000, GetCurrentProcessId());
    ASSERT_TRUE(answered.found);
    EXPECT_TRUE(answered.pressed);
    EXPECT_EQ(L"The message\nof two lines", answered.text);
    EXPECT_EQ(GetCurrentProcessId(), answered.processId);
    for (int id : c.buttons)
        EXPECT_TRUE(Has(answered.buttons, id)) << id;
    EXPECT_EQ(c.button, box.Result());
}

INSTANTIATE_TEST_SUITE_P(Boxes, BoxAnswererCases,
                         ::testing::Values(BoxCase{ "ok", MB_OK, IDOK, { IDOK } },
                                           BoxCase{ "yes_no_answered_no", MB_YESNO | MB_ICONQUESTION, IDNO, { IDYES, IDNO } },
                                           BoxCase{ "ok_cancel_answered_cancel", MB_OKCANCEL | MB_ICONERROR, IDCANCEL,
                                                    { IDOK, IDCANCEL } }),
                         [](const ::testing::TestParamInfo<BoxCase>& info) { return std::string(info.param.name); });

TEST(BoxAnswerer, reports_no_box_when_none_appears_in_time)
{
    AnsweredBox answered = AnswerBox(UniqueName(L"Nobody shows "), IDOK, 300);
    EXPECT_FALSE(answered.found);
    EXPECT_FALSE(answered.pressed);
}

TEST(BoxAnswerer, leaves_a_box_open_that_lacks_the_chosen_button)
{
    std::wstring caption = UniqueName(L"Only OK ");
    ShownBox box(L"Just OK", caption, MB_OK, IDOK);
    AnsweredBox wrong = AnswerBox(caption, IDNO, 60000);
    ASSERT_TRUE(wrong.found);
    EXPECT_FALSE(wrong.pressed);
    // Still open a while later: nothing was pressed.
    Sleep(500);
    EXPECT_FALSE(box.Closed());

    BoxAnswerer right(caption, IDOK);
    EXPECT_TRUE(right.Wait().pressed);
    EXPECT_EQ(IDOK, box.Result());
}

TEST(BoxAnswerer, tool_answers_the_box_of_another_process_and_writes_what_it_saw)
{
    ScratchFolder folder(L"boxanswer");
    std::wstring caption = UniqueName(L"Question ");
    ShownBox box(L"Install now?", caption, MB_YESNO, IDNO);

    RunResult run = RunProgram(Tool(L"BoxAnswerer.exe"),
                               L"/caption \"" + caption + L"\" /button yes /out \"" + (folder / L"box.txt") + L"\"");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ(IDYES, box.Result());
    EXPECT_EQ(L"caption=" + caption + L"\r\ntext=Install now?\r\nbuttons=6,7\r\npressed=6\r\n",
              ReadFileUtf8(folder / L"box.txt"));
}

TEST(BoxAnswerer, tool_exits_1_when_no_box_appears)
{
    RunResult run = RunProgram(Tool(L"BoxAnswerer.exe"), L"/caption \"" + UniqueName(L"Absent ") + L"\" /button ok /timeout 200");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(1u, run.exitCode);
}
