#include "System/Exception.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "System/String/StringUtils.h"

using Lm::System::CException;
using Lm::System::String::GetWin32ErrorText;

namespace {

const char kEventSource[] = "Lm\\System\\Win32\\Event.cpp";
const char kSetFunction[] = "Lm::System::Win32::CEvent::Set";
// A code with the customer bit set: the system has no text for it.
const DWORD kCodeWithoutText = 0x20001234;

CException MakeException(const std::wstring& message, DWORD lastError, const char* source = kEventSource,
                         int line = 41, const char* function = kSetFunction)
{
    ::SetLastError(lastError);
    return CException(message.c_str(), message.size(), source, line, function);
}

TEST(ExceptionTest, formats_message_function_and_file_without_last_error_line_when_zero)
{
    const CException e = MakeException(L"Failed to Set event: ", 0);
    EXPECT_EQ(0u, e.LastError());
    EXPECT_EQ(L"Exception:  Failed to Set event: \r\nIn Function: Lm::System::Win32::CEvent::Set\r\n"
              L"File Lm\\System\\Win32\\Event.cpp Line 41\r\n",
              e.ToString());
}

struct DepthCase {
    int depth;
    std::wstring message;
    std::wstring expected;
};

class ExceptionDepthTest : public testing::TestWithParam<DepthCase> {};

TEST_P(ExceptionDepthTest, indents_continuation_lines_by_one_tab_per_level)
{
    const DepthCase& c = GetParam();
    const CException e = MakeException(c.message, 0, "Lm\\System\\Io\\File.cpp", 32, "F");
    EXPECT_EQ(c.expected, e.Format(c.depth));
}

INSTANTIATE_TEST_SUITE_P(
    Depths, ExceptionDepthTest,
    testing::Values(
        DepthCase{0, L"one\r\ntwo", L"Exception:  one\r\ntwo\r\nIn Function: F\r\nFile Lm\\System\\Io\\File.cpp Line 32\r\n"},
        DepthCase{1, L"one\r\ntwo", L"Exception:  one\r\n\ttwo\r\n\tIn Function: F\r\n\tFile Lm\\System\\Io\\File.cpp Line 32\r\n"},
        DepthCase{2, L"one\r\ntwo\r\n",
                  L"Exception:  one\r\n\t\ttwo\r\n\t\t\r\n\t\tIn Function: F\r\n\t\tFile Lm\\System\\Io\\File.cpp Line 32\r\n"},
        DepthCase{1, L"no breaks", L"Exception:  no breaks\r\n\tIn Function: F\r\n\tFile Lm\\System\\Io\\File.cpp Line 32\r\n"}));

TEST(ExceptionTest, last_error_line_carries_code_and_system_text)
{
    const CException e = MakeException(L"m", ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), e.LastError());
    const std::wstring text = e.ToString();
    const std::wstring line = L"LastError=2; " + GetWin32ErrorText(ERROR_FILE_NOT_FOUND);
    ASSERT_GE(text.size(), line.size());
    EXPECT_EQ(line, text.substr(text.size() - line.size()));
    EXPECT_NE(std::wstring::npos, line.find(L"\r\n")) << "system texts end in a line break";
}

TEST(ExceptionTest, last_error_without_system_text_reads_no_error_description)
{
    const CException e = MakeException(L"m", kCodeWithoutText);
    const std::wstring text = e.ToString();
    EXPECT_NE(std::wstring::npos, text.find(L"File Lm\\System\\Win32\\Event.cpp Line 41\r\n"
                                            L"LastError=536875572; (No Error Description)\r\n"))
        << text;
}

TEST(ExceptionTest, inner_chain_formats_one_tab_deeper_per_level)
{
    const CException innermost = MakeException(L"c", 0, "Lm\\System\\Io\\File.cpp", 32, "G");
    ::SetLastError(0);
    const CException middle(innermost, "b\r\nb2", 5, "Lm\\System\\Io\\Directory.cpp", 66, "H");
    ::SetLastError(0);
    const CException outer(middle, "a", 1, kEventSource, 41, "I");
    EXPECT_EQ(L"Exception:  a\r\nIn Function: I\r\nFile Lm\\System\\Win32\\Event.cpp Line 41\r\n"
              L"Inner Exception:  b\r\n\tb2\r\n\tIn Function: H\r\n\tFile Lm\\System\\Io\\Directory.cpp Line 66\r\n"
              L"\tInner Exception:  c\r\n\t\tIn Function: G\r\n\t\tFile Lm\\System\\Io\\File.cpp Line 32\r\n",
              outer.ToString());
}

TEST(ExceptionTest, copy_owns_a_deep_copy_of_the_inner_chain)
{
    const CException innermost = MakeException(L"c", ERROR_ACCESS_DENIED);
    const CException middle(innermost, "b", 1, kEventSource, 2, "H");
    auto* source = new CException(middle, "a", 1, kEventSource, 3, "I");
    const std::wstring before = source->ToString();

    auto* copy = new CException(*source);
    EXPECT_EQ(0, copy->GetReferenceCount());
    ASSERT_NE(nullptr, copy->Inner());
    ASSERT_NE(nullptr, copy->Inner()->Inner());
    EXPECT_NE(source, copy);
    EXPECT_NE(source->Inner(), copy->Inner());
    EXPECT_NE(source->Inner()->Inner(), copy->Inner()->Inner());
    EXPECT_EQ(1, copy->Inner()->GetReferenceCount());
    EXPECT_EQ(1, copy->Inner()->Inner()->GetReferenceCount());
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), copy->Inner()->Inner()->LastError());
    EXPECT_EQ(before, copy->ToString());

    delete copy;
    EXPECT_EQ(before, source->ToString());
    delete source;
}

TEST(ExceptionTest, copy_keeps_last_error_instead_of_reading_it_again)
{
    const CException e = MakeException(L"m", ERROR_FILE_NOT_FOUND);
    ::SetLastError(ERROR_ACCESS_DENIED);
    const CException copy(e);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), copy.LastError());
}

struct LocationCase {
    const char* outerSource;
    int outerLine;
    const char* innerSource;   // null: no inner
    int innerLine;
    std::wstring expected;
};

class ExceptionLocationTest : public testing::TestWithParam<LocationCase> {};

TEST_P(ExceptionLocationTest, location_code_names_folder_file_and_line_per_level)
{
    const LocationCase& c = GetParam();
    const CException outer = MakeException(L"m", 0, c.outerSource, c.outerLine);
    if (c.innerSource == nullptr) {
        EXPECT_EQ(c.expected, outer.GetLocationCode());
        return;
    }
    const CException inner = MakeException(L"i", 0, c.innerSource, c.innerLine);
    const CException chained(inner, "m", 1, c.outerSource, c.outerLine, "F");
    EXPECT_EQ(c.expected, chained.GetLocationCode());
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ExceptionLocationTest,
    testing::Values(LocationCase{"Lm\\System\\Win32\\Event.cpp", 41, nullptr, 0, L"Win32.Event.41"},
                    LocationCase{"Lm\\System\\Win32\\Event.cpp", 41, "Lm\\System\\Io\\Directory.cpp", 66,
                                 L"Win32.Event.41-Io.Directory.66"},
                    LocationCase{"Event.cpp", 7, nullptr, 0, L"Event.7"},
                    LocationCase{"Lm\\System\\Win32\\Event", 33, nullptr, 0, L"Win32.Event.33"}));

TEST(ExceptionTest, narrow_message_is_widened_byte_for_byte)
{
    ::SetLastError(0);
    const CException e("caf\xe9", 4, kEventSource, 1, "F");
    EXPECT_EQ(std::wstring(L"caf\u00e9"), e.Message());
}

TEST(ExceptionTest, thrown_exception_is_caught_as_every_base)
{
    try {
        Lm::System::ThrowException("x", kEventSource, 1, "F");
    } catch (const Lm::System::CNonCopyable&) {
        SUCCEED();
    }
    try {
        Lm::System::ThrowException("x", kEventSource, 1, "F");
    } catch (const Lm::System::CReferenceCounted& e) {
        EXPECT_EQ(0, e.GetReferenceCount());
    }
    try {
        Lm::System::ThrowException(std::wstring(L"x"), kEventSource, 1, "F");
    } catch (const Lm::System::CObject&) {
        SUCCEED();
    }
}

TEST(ExceptionTest, throw_win32_exception_appends_system_text_and_keeps_the_code)
{
    ::SetLastError(ERROR_ACCESS_DENIED);
    try {
        Lm::System::ThrowWin32Exception("Failed to Set event: ", kEventSource, 41, kSetFunction);
        FAIL() << "no throw";
    } catch (const CException& e) {
        EXPECT_EQ(L"Failed to Set event: " + GetWin32ErrorText(ERROR_ACCESS_DENIED), e.Message());
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), e.LastError());
        EXPECT_EQ(std::string(kSetFunction), e.Function());
        EXPECT_EQ(41, e.Line());
        EXPECT_EQ(L"Win32.Event.41", e.GetLocationCode());
    }
}

TEST(ExceptionTest, throw_win32_exception_without_system_text_keeps_the_failure_code)
{
    // FormatMessageA fails for this code and sets an error of its own; the exception must still
    // record the code of the failure it reports.
    ::SetLastError(kCodeWithoutText);
    try {
        Lm::System::ThrowWin32Exception("Wait Failed:", "Lm\\System\\Win32\\Synchronization.cpp", 23, "W");
        FAIL() << "no throw";
    } catch (const CException& e) {
        EXPECT_EQ(L"Wait Failed:(No Error Description)\r\n", e.Message());
        EXPECT_EQ(kCodeWithoutText, e.LastError());
    }
}

TEST(ExceptionTest, throw_with_inner_carries_a_copy_of_the_cause)
{
    try {
        try {
            Lm::System::ThrowException("inner", "Lm\\System\\Io\\Directory.cpp", 66, "D");
        } catch (const CException& inner) {
            Lm::System::ThrowException(inner, std::string("outer"), kEventSource, 41, "E");
        }
        FAIL() << "no throw";
    } catch (const CException& e) {
        ASSERT_NE(nullptr, e.Inner());
        EXPECT_EQ(L"inner", e.Inner()->Message());
        EXPECT_EQ(L"Win32.Event.41-Io.Directory.66", e.GetLocationCode());
    }
}

DWORD WINAPI ThrowOnWorker(void* result)
{
    try {
        Lm::System::ThrowException("worker", kEventSource, 5, "W");
    } catch (const CException& e) {
        *static_cast<std::wstring*>(result) = e.Message();
    }
    return 0;
}

TEST(ExceptionTest, threads_throw_side_by_side)
{
    std::wstring results[4];
    HANDLE threads[4];
    for (int i = 0; i < 4; ++i)
        threads[i] = ::CreateThread(nullptr, 0, ThrowOnWorker, &results[i], 0, nullptr);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForMultipleObjects(4, threads, TRUE, 20000));
    for (int i = 0; i < 4; ++i) {
        ::CloseHandle(threads[i]);
        EXPECT_EQ(L"worker", results[i]);
    }
}

} // namespace
