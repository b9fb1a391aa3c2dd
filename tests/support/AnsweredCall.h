// Runs a call that may show message boxes of this process on a thread of its own, answering
// each box with the caption as a user would, until the call returns. Gives the texts of the
// boxes in the order they came, and the exception text when the call threw.
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
#include "System/Exception.h"

namespace LmTest {

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
    const DWORD processId = GetCurrentProcessId();
    const DWORD start = GetTickCount();
    while (!state->done && GetTickCount() - start < timeoutMs) {
        const AnsweredBox box = AnswerBox(caption, button, 100, processId);
        if (!box.found)
            continue;
        result.boxes.push_back(box.text);
        // The same box is not counted twice: wait until it has gone.
        while (AnswerBox(caption, 0, 0, processId).found && GetTickCount() - start < timeoutMs)
            Sleep(25);
    }
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

} // namespace LmTest
