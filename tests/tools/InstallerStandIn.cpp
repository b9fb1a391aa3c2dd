// InstallerStandIn.exe: stands in for the Installer inside test builds of setup (resource 102).
// setup unpacks it under its own file name into its temporary folder and runs it there; it
// records how it was started and what it found beside it, then exits with the code it is told.
//
// The record is appended to "InstallerStandIn.log" in the folder named by LM_STANDIN_LOG_DIR (its
// own folder when that is not set: setup deletes that folder afterwards). UTF-8 "key=value" lines
// ended by an empty line, readable with tests/support/StandInLog.h:
//   exe=, workdir=, commandline=, arguments=   as StandIn.exe records them
//   argc=<n>, argv1= .. argv<n-1>=   the arguments as CommandLineToArgvW parses the command line
//   parkwaiting=1|0   both of Park's events existed when it started (a Park was waiting)
//   parkfile=1|0      Park.exe lay beside it
//   patchfile=1|0     Patch.exe lay beside it
// Options, wherever they stand: /standin-exit=<n> (exit code, decimal or 0x-hexadecimal),
// /standin-sleep=<ms> (wait before recording).
// With the environment variable LM_INSTALLER_STANDIN_FINISH=1 it finishes as the Installer does:
// it runs the Park of its "/park=" argument with the execute signal and waits for it.
// With LM_INSTALLER_STANDIN_MUTEX=1 it takes the Installer's one-instance mutex first and, when
// another process holds it, gives way as the Installer does: it records "gaveway=1" and ends with
// 0 without any Park signal. With LM_INSTALLER_STANDIN_HOLD=<file> it then waits (at most two
// minutes) until that file exists, so that a test can start another run meanwhile.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "Installer/InstallerContract.h"
#include "Park/ParkContract.h"
#include "ToolSupport.h"

using namespace LmTool;

namespace {

std::wstring Text(DWORD (*get)(DWORD, wchar_t*))
{
    wchar_t buffer[32768];
    DWORD n = get(32768, buffer);
    return std::wstring(buffer, n < 32768 ? n : 0);
}

DWORD OwnPath(DWORD size, wchar_t* buffer) { return GetModuleFileNameW(nullptr, buffer, size); }
DWORD CurrentFolder(DWORD size, wchar_t* buffer) { return GetCurrentDirectoryW(size, buffer); }
DWORD LogFolder(DWORD size, wchar_t* buffer) { return GetEnvironmentVariableW(L"LM_STANDIN_LOG_DIR", buffer, size); }
DWORD FinishSwitch(DWORD size, wchar_t* buffer) { return GetEnvironmentVariableW(L"LM_INSTALLER_STANDIN_FINISH", buffer, size); }
DWORD MutexSwitch(DWORD size, wchar_t* buffer) { return GetEnvironmentVariableW(L"LM_INSTALLER_STANDIN_MUTEX", buffer, size); }
DWORD HoldFile(DWORD size, wchar_t* buffer) { return GetEnvironmentVariableW(L"LM_INSTALLER_STANDIN_HOLD", buffer, size); }

const wchar_t* Flag(bool value) { return value ? L"1" : L"0"; }

bool EventExists(const wchar_t* name)
{
    HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, name);
    if (event != nullptr)
        CloseHandle(event);
    return event != nullptr;
}

bool FileExists(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

unsigned long NumberAfter(const std::wstring& commandLine, const wchar_t* option)
{
    size_t at = commandLine.find(option);
    return at == std::wstring::npos ? 0 : wcstoul(commandLine.c_str() + at + wcslen(option), nullptr, 0);
}

// The command line after the program's own (quoted) path, leading blanks removed.
std::wstring Arguments(const std::wstring& commandLine)
{
    size_t end = commandLine[0] == L'"' ? commandLine.find(L'"', 1) : commandLine.find(L' ');
    end = end == std::wstring::npos ? commandLine.size() : end + 1;
    size_t first = commandLine.find_first_not_of(L" \t", end);
    return first == std::wstring::npos ? std::wstring() : commandLine.substr(first);
}

// "argc=<n>" and one "argv<i>=<text>" line per argument after the program's own path.
std::wstring ParsedArguments(const std::wstring& commandLine)
{
    int count = 0;
    LPWSTR* list = CommandLineToArgvW(commandLine.c_str(), &count);
    std::wstring text = L"argc=" + std::to_wstring(list ? count : 0) + L"\r\n";
    for (int i = 1; list && i < count; ++i)
        text += L"argv" + std::to_wstring(i) + L"=" + list[i] + L"\r\n";
    LocalFree(list);
    return text;
}

// The finish signal through the Park named by /park="<path>".
void SignalParkExecute(const std::wstring& commandLine)
{
    const std::wstring option = L"/park=\"";
    size_t at = commandLine.find(option);
    if (at == std::wstring::npos)
        return;
    at += option.size();
    const std::wstring park = commandLine.substr(at, commandLine.find(L'"', at) - at);
    std::wstring line = L"\"" + park + L"\" " + Lm::Park::SignalExecuteCommandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return;
    WaitForSingleObject(process.hProcess, 60000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    const std::wstring commandLine = GetCommandLineW();
    const std::wstring exe = Text(OwnPath);
    const std::wstring folder = exe.substr(0, exe.rfind(L'\\') + 1);
    const bool parkWaiting = EventExists(Lm::Park::EventTerminateName) && EventExists(Lm::Park::EventExecuteName);

    bool gaveWay = false;
    if (Text(MutexSwitch) == L"1") {
        // Held until the process ends, as the Installer holds it.
        HANDLE mutex = CreateMutexW(nullptr, TRUE, Lm::Installer::kInstallerMutexName);
        gaveWay = mutex == nullptr || GetLastError() == ERROR_ALREADY_EXISTS;
        const std::wstring hold = Text(HoldFile);
        for (int i = 0; !gaveWay && !hold.empty() && !FileExists(hold) && i < 1200; ++i)
            Sleep(100);
    }

    Sleep(NumberAfter(commandLine, L"/standin-sleep="));

    std::wstring logFolder = Text(LogFolder);
    logFolder = logFolder.empty() ? folder : logFolder + L"\\";
    AppendUtf8(logFolder + L"InstallerStandIn.log",
           L"exe=" + exe + L"\r\nworkdir=" + Text(CurrentFolder) + L"\r\ncommandline=" + commandLine +
               L"\r\narguments=" + Arguments(commandLine) + L"\r\n" + ParsedArguments(commandLine) +
               L"parkwaiting=" + Flag(parkWaiting) +
               L"\r\nparkfile=" + Flag(FileExists(folder + L"Park.exe")) +
               L"\r\npatchfile=" + Flag(FileExists(folder + L"Patch.exe")) + L"\r\ngaveway=" + Flag(gaveWay) +
               L"\r\n\r\n");
    if (gaveWay)
        return 0;
    if (Text(FinishSwitch) == L"1")
        SignalParkExecute(commandLine);
    return static_cast<int>(NumberAfter(commandLine, L"/standin-exit="));
}
