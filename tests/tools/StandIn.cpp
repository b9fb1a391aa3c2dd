// StandIn.exe: stands in for a program the suite starts (the main application, a package, an
// uninstaller). Copy it under the name the suite expects; when run it appends one record to a
// log and exits.
//
// Where the record goes: the folder named by the environment variable LM_STANDIN_LOG_DIR, or,
// when that is not set, the folder of the exe itself; the file is named after the exe's own
// file name plus ".log" (a copy named Playdeck-lm.exe writes Playdeck-lm.exe.log).
//
// One record, UTF-8, one "key=value" line each, ended by an empty line:
//   exe=<full path of the running exe>
//   workdir=<current folder at start>
//   commandline=<whole command line as received>
//   arguments=<command line after the program's own name, leading blanks removed>
//
// Options, taken out of the command line wherever they stand (they stay in the record):
//   /standin-exit=<n>    exit with code n (decimal, or hexadecimal with 0x); default 0
//   /standin-sleep=<ms>  wait so long before writing the record and exiting
// A copy that is started with arguments of someone else's (PinHook's link) is made to wait by the
// environment variable LM_STANDIN_SLEEP=<own file name>:<ms>, which only the copy of that name
// takes.
#include <windows.h>

#include <stdlib.h>
#include <string>
#include <vector>

#include "ToolSupport.h"

using namespace LmTool;

namespace {

std::wstring CurrentFolder()
{
    DWORD n = GetCurrentDirectoryW(0, nullptr);
    std::vector<wchar_t> buffer(n + 1);
    n = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    return std::wstring(buffer.data(), n);
}

// The command line after the program's own name (quoted or not), leading blanks removed.
std::wstring ArgumentsOf(const std::wstring& commandLine)
{
    size_t i = 0;
    if (!commandLine.empty() && commandLine[0] == L'"') {
        size_t close = commandLine.find(L'"', 1);
        i = close == std::wstring::npos ? commandLine.size() : close + 1;
    } else {
        while (i < commandLine.size() && commandLine[i] != L' ' && commandLine[i] != L'\t')
            ++i;
    }
    while (i < commandLine.size() && (commandLine[i] == L' ' || commandLine[i] == L'\t'))
        ++i;
    return commandLine.substr(i);
}

// The number after "<option>" in the command line, or the fallback.
unsigned long NumberOption(const std::wstring& commandLine, const wchar_t* option, unsigned long fallback)
{
    size_t at = commandLine.find(option);
    if (at == std::wstring::npos)
        return fallback;
    return wcstoul(commandLine.c_str() + at + wcslen(option), nullptr, 0);
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    const std::wstring commandLine = GetCommandLineW();
    const std::wstring exe = ModulePath();
    const std::wstring workdir = CurrentFolder();

    size_t slash = exe.find_last_of(L'\\');
    std::wstring ownName = slash == std::wstring::npos ? exe : exe.substr(slash + 1);

    DWORD sleepMs = NumberOption(commandLine, L"/standin-sleep=", 0);
    const std::wstring sleepFor = Environment(L"LM_STANDIN_SLEEP");
    const size_t colon = sleepFor.rfind(L':');
    if (colon != std::wstring::npos && _wcsicmp(sleepFor.substr(0, colon).c_str(), ownName.c_str()) == 0)
        sleepMs = wcstoul(sleepFor.c_str() + colon + 1, nullptr, 0);
    if (sleepMs != 0)
        Sleep(sleepMs);

    std::wstring folder = Environment(L"LM_STANDIN_LOG_DIR");
    if (folder.empty())
        folder = slash == std::wstring::npos ? std::wstring(L".") : exe.substr(0, slash);
    if (folder.back() != L'\\')
        folder += L'\\';

    AppendUtf8(folder + ownName + L".log",
               L"exe=" + exe + L"\r\n" + L"workdir=" + workdir + L"\r\n" + L"commandline=" + commandLine + L"\r\n" +
                   L"arguments=" + ArgumentsOf(commandLine) + L"\r\n\r\n");

    return static_cast<int>(NumberOption(commandLine, L"/standin-exit=", 0));
}
