// Test helper: runs the built PinHook.exe and waits for it.
#pragma once

#include <string>

#include "TestSupport.h"

namespace LmTest {

inline std::wstring PinHookPath() { return Program(L"PinHook.exe"); }

inline std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

// PinHook starts COM and the shell, which under Wine on a loaded machine can take tens of
// seconds; the wait is bounded well inside the test's own time limit.
inline RunResult RunPinHook(const std::wstring& arguments)
{
    return RunProgram(PinHookPath(), arguments, 120000);
}

} // namespace LmTest
