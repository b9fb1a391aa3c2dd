#include "Park/ParkModule.h"
#include "Park/ParkContract.h"

#include <string.h>
#include <wchar.h>

namespace {

enum Option { Execute, LaunchParams, EventTerminate, EventExecute, SignalTerminate, SignalExecute, OptionCount };

// In the order they are compared.
const wchar_t* const OptionNames[OptionCount] = {
    Lm::Park::OptionExecute,         Lm::Park::OptionLaunchParams,  Lm::Park::OptionEventTerminate,
    Lm::Park::OptionEventExecute,    Lm::Park::OptionSignalTerminate, Lm::Park::OptionSignalExecute,
};

wchar_t Upper(wchar_t c)
{
    return static_cast<wchar_t>(reinterpret_cast<ULONG_PTR>(CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(c)))));
}

// True when the word at `word` is `name` letter for letter (without regard to case) and ends
// right after it: at the end of the text, a blank or a tab.
bool WordIs(const wchar_t* word, const wchar_t* name)
{
    size_t i = 0;
    for (; name[i] != L'\0'; ++i) {
        if (word[i] == L'\0' || Upper(word[i]) != Upper(name[i]))
            return false;
    }
    return word[i] == L'\0' || word[i] == L' ' || word[i] == L'\t';
}

} // namespace

void CParkModule::ParseCommandLine(const wchar_t* commandLine)
{
    // One working buffer: a full path (0-518 plus terminator), an option value (520-1039) and
    // the marker set "-/" from 1040 on.
    wchar_t storage[1044] = {};
    wchar_t* const pathArea = storage;
    wchar_t* const valueArea = storage + ValueArea;
    wchar_t* const markers = storage + 2 * ValueArea;
    markers[0] = L'-';
    markers[1] = L'/';

    wchar_t** const valueFields[4] = { &execute, &launchParams, &eventTerminate, &eventExecute };

    const wchar_t* p = commandLine;
    for (;;) {
        // The whole text is searched, the program's own path included.
        while (*p != L'\0' && wcschr(markers, *p) == nullptr)
            p = CharNextW(p);
        if (*p == L'\0')
            break;
        p = CharNextW(p);

        int option = 0;
        while (option < OptionCount && !WordIs(p, OptionNames[option]))
            ++option;
        if (option == OptionCount)
            continue;   // not an option: go on right after the marker

        const wchar_t* afterName = p + wcslen(OptionNames[option]);
        if (option == SignalTerminate) {
            signalTerminate = true;
        } else if (option == SignalExecute) {
            signalExecute = true;
        } else {
            ParkValue read = ReadOptionValue(afterName, valueArea, ValueArea);
            if (read == ParkValue::TooLong) {
                valueTooLong = true;
            } else if (read == ParkValue::Read) {
                const wchar_t* stored = valueArea;
                if (option == Execute) {
                    // Made absolute against the current folder. A result that does not fit the
                    // path area (the call then returns the size it needs) refuses the line.
                    DWORD n = GetFullPathNameW(valueArea, PathArea, pathArea, nullptr);
                    if (n >= static_cast<DWORD>(PathArea))
                        stored = nullptr;
                    else if (n != 0)
                        stored = pathArea;
                }
                if (stored != nullptr)
                    *valueFields[option] = _wcsdup(stored);
                else
                    valueTooLong = true;
            }
        }
        // Markers inside a value are examined too: the search goes on after the option name.
        p = afterName;
    }
}
