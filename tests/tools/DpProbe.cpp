// Stands in for setup's DP resolution: copied under the file names a download can carry, it
// resolves the DP as setup does and writes it (UTF-8, no line break) to the file it is given.
//   <any name>.exe [/full] [/dp=<code>] /out=<file>
// Exit code 0 when the file was written, 2 without /out=, 3 when it cannot be written, 1 when the
// resolution threw.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "CommonAppLogic/DpCode.h"
#include "System/Exception.h"

int wmain()
{
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    bool full = false;
    std::wstring dp, out;
    for (int index = 1; argv != nullptr && index < count; ++index) {
        const std::wstring argument = argv[index];
        if (argument == L"/full")
            full = true;
        else if (argument.compare(0, 4, L"/dp=") == 0)
            dp = argument.substr(4);
        else if (argument.compare(0, 5, L"/out=") == 0)
            out = argument.substr(5);
    }
    if (argv != nullptr)
        LocalFree(argv);
    if (out.empty())
        return 2;
    std::wstring resolved;
    try {
        resolved = Lm::CommonAppLogic::ResolveDpCode(full, dp);
    } catch (const Lm::System::CException&) {
        return 1;
    }
    std::string bytes(WideCharToMultiByte(CP_UTF8, 0, resolved.c_str(), -1, nullptr, 0, nullptr, nullptr), '\0');
    WideCharToMultiByte(CP_UTF8, 0, resolved.c_str(), -1, &bytes[0], static_cast<int>(bytes.size()), nullptr, nullptr);
    if (!bytes.empty())
        bytes.pop_back();
    HANDLE file = CreateFileW(out.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 3;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok ? 0 : 3;
}
