// Calls and programs that may show message boxes, answered as a user would: each box with the
// given caption is answered with the given button until the call returns or the program ends;
// the texts of the boxes come back in the order they came.
#pragma once

#include <windows.h>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BoxAnswer.h"
#include "TestSupport.h"
#include "System/Exception.h"

namespace LmTest {

// Answers the boxes of the process with the caption until ended() or the time is up; their texts.
inline std::vector<std::wstring> AnswerBoxesUntil(const std::function<bool()>& ended, const std::wstring& caption,
                                                  int button, DWORD processId, DWORD timeoutMs)
{
    std::vector<std::wstring> texts;
    const DWORD start = GetTickCount();
    while (!ended() && GetTickCount() - start < timeoutMs) {
        const AnsweredBox box = AnswerBox(caption, button, 100, processId);
        if (!box.found)
            continue;
        texts.push_back(box.text);
        // The same box is not counted twice: wait until it has gone.
        while (AnswerBox(caption, 0, 0, processId).found && GetTickCount() - start < timeoutMs)
            Sleep(25);
    }
    return texts;
}

struct AnsweredCall {
    std::vector<std::wstring> boxes;  // texts of the boxes answered
    bool threw = false;               // the call ended with an exception
    std::wstring exception;           // its message (CException) or "unknown"
    bool finished = false;            // the call returned within the time limit
};

inline AnsweredCall CallAnsweringBoxes(const std::function<void()>& call, const std::wstring& caption,
                                       int button = IDOK, DWORD timeoutMs = 120000)
{
    // Shared with the worker, which a hung call leaves running past this function.
    struct State {
        std::function<void()> call;
        std::atomic<bool> done{false};
        bool threw = false;
        std::wstring exception;
    };
    auto state = std::make_shared<State>();
    state->call = call;
    std::thread worker([state] {
        try {
            state->call();
        } catch (const Lm::System::CException& e) {
            state->threw = true;
            state->exception = e.Message();
        } catch (...) {
            state->threw = true;
            state->exception = L"unknown";
        }
        state->done = true;
    });
    AnsweredCall result;
    result.boxes = AnswerBoxesUntil([&] { return state->done.load(); }, caption, button, GetCurrentProcessId(), timeoutMs);
    if (state->done) {
        worker.join();
        result.finished = true;
        result.threw = state->threw;
        result.exception = state->exception;
    } else {
        worker.detach();
    }
    return result;
}

// Result of a program run whose boxes were answered.
struct AnsweredRun {
    RunResult run;                    // started, finished in time, exit code
    std::vector<std::wstring> boxes;  // texts of the boxes it showed, in order
};

// Runs "<path> <arguments>", answering each box with the caption that the program shows, until
// it ends (or the time is up: the program is then terminated and finished stays false).
inline AnsweredRun RunAnsweringBoxes(const std::wstring& path, const std::wstring& arguments,
                                     const std::wstring& caption, int button = IDOK, DWORD timeoutMs = 240000,
                                     const std::wstring& workingDir = L"")
{
    AnsweredRun result;
    HANDLE process = StartProgram(path, arguments, workingDir);
    if (process == nullptr)
        return result;
    result.run.started = true;
    result.boxes = AnswerBoxesUntil([&] { return WaitForSingleObject(process, 0) != WAIT_TIMEOUT; }, caption, button,
                                    GetProcessId(process), timeoutMs);
    if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
        result.run.finished = true;
        GetExitCodeProcess(process, &result.run.exitCode);
    } else {
        TerminateProcess(process, 0xDEAD);
        WaitForSingleObject(process, 5000);
    }
    CloseHandle(process);
    return result;
}

} // namespace LmTest
