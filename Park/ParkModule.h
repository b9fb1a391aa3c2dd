// Park: a windowless launcher. In wait mode it creates two named events and sleeps until one is
// set: the execute event makes it start a program, the terminate event makes it quit. In signal
// mode it sets one of those events for a waiting Park. Only the C runtime and Windows are used.
#pragma once

#include <windows.h>

// The whole state of one Park run: one zero-initialised record on the entry point's stack.
// The texts are heap copies that are never freed (the process ends right after Run).
// A null text means the option was absent or its value empty.
struct CParkModule {
    wchar_t* execute;          // full path of the program to start
    wchar_t* launchParams;     // argument text for that program
    wchar_t* eventTerminate;   // name of the terminate event
    wchar_t* eventExecute;     // name of the execute event
    bool signalTerminate;      // signal mode: set the terminate event
    bool signalExecute;        // signal mode: set the execute event
    HANDLE terminateEvent;     // handle of the terminate event
    HANDLE executeEvent;       // handle of the execute event
    bool valueTooLong;         // a value did not fit its area: the command line is refused

    // Size of the parser's value area and of the full-path area, terminator included.
    static constexpr int ValueArea = 520;
    static constexpr int PathArea = 519;

    // Fills the record from a whole command line (the program's own path included). Never fails.
    void ParseCommandLine(const wchar_t* commandLine);

    // Wait mode or signal mode; returns the process exit code (0 or E_FAIL).
    HRESULT Run();

    // Starts the program in its own folder with the launch parameters; the outcome is not examined.
    static void LaunchProgram(const wchar_t* execute, const wchar_t* launchParams);
};

// How reading one option value went.
enum class ParkValue {
    Empty,     // nothing after the option name (or an empty quoted text)
    Read,      // the value is in the area, terminated
    TooLong,   // the value has ValueArea characters or more; the area holds an empty text
};

// Reads the value that starts at `position` (blanks and tabs are skipped first): a leading double
// quote starts a text that ends before the next double quote or at the end; otherwise the value
// ends before the next blank or tab or at the end. Copies at most areaSize - 1 characters.
ParkValue ReadOptionValue(const wchar_t* position, wchar_t* area, int areaSize);

// The working folder of a program: its path cut right after the last backslash (which stays).
// Returns false, with an empty folder, when the path holds no backslash or does not fit.
bool WorkingFolderOf(const wchar_t* execute, wchar_t* folder, int folderSize);
