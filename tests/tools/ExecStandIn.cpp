// Stands in for a program that the install utilities start: records the command line it was
// given and the folder it runs in, then exits with the code it was told.
//   ExecStandIn.exe [/record=<file>] [/exit=<code>]
// <file> receives two UTF-8 lines: the whole command line, then the working folder. Without
// /record= the file named by the environment variable LM_STANDIN_RECORD (if set) receives them,
// so a start without any arguments can be recorded too.
// <code> is decimal or 0x-hexadecimal; every 32-bit value comes back exactly.
#include <windows.h>
#include <cwchar>
#include <string>

#include "ToolSupport.h"

using namespace LmTool;

namespace {

bool TakeOption(const wchar_t* argument, const wchar_t* name, std::wstring& value)
{
    size_t length = wcslen(name);
    if (_wcsnicmp(argument, name, length) != 0)
        return false;
    value = argument + length;
    return true;
}

bool Record(const std::wstring& path)
{
    wchar_t folder[MAX_PATH * 2] = {};
    GetCurrentDirectoryW(MAX_PATH * 2, folder);
    std::string text = ToUtf8(GetCommandLineW()) + "\n" + ToUtf8(folder) + "\n";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::wstring record, exitText;
    for (int i = 1; i < argc; ++i) {
        std::wstring value;
        if (TakeOption(argv[i], L"/record=", value))
            record = value;
        else if (TakeOption(argv[i], L"/exit=", value))
            exitText = value;
    }
    if (record.empty()) {
        wchar_t fromEnvironment[MAX_PATH * 2] = {};
        DWORD length = GetEnvironmentVariableW(L"LM_STANDIN_RECORD", fromEnvironment, MAX_PATH * 2);
        if (length > 0 && length < MAX_PATH * 2)
            record = fromEnvironment;
    }
    if (!record.empty() && !Record(record))
        ExitProcess(0xBADF11E);
    UINT code = exitText.empty() ? 0 : static_cast<UINT>(wcstoul(exitText.c_str(), nullptr, 0));
    ExitProcess(code);
}
