// The library's exception that a call throws, for tests that look at its message, location and
// error code: CaughtException([&] { ... }). A call that throws none is a test failure; an empty
// exception (error code 0) comes back then, so that the test's further checks fail too.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include "System/Exception.h"

namespace LmTest {

template <typename Call>
Lm::System::CException CaughtException(Call call)
{
    try {
        call();
    } catch (const Lm::System::CException& e) {
        return e;
    }
    ADD_FAILURE() << "no exception";
    // The empty exception's error code is 0, whatever the call left.
    ::SetLastError(0);
    return Lm::System::CException(L"", "", 0, "");
}

} // namespace LmTest
