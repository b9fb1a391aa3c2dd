// HandOffStandIn.exe: stands in for the programs of the Installer's hand-off, copied under their
// names: the Updater (resource 103 of the Installer's in-process tests, extracted as Updater.exe)
// and the local Patch.exe (a signed copy). Their command lines are fixed by the Installer, so
// what a copy does is told by the environment it inherits from the test, in variables named
// after its own file name without extension, upper-cased (<NAME> is UPDATER or PATCH):
//   LM_HANDOFF_<NAME>_RECORD  file that receives one UTF-8 "key=value" line each:
//                               commandline=<whole command line>
//                               workdir=<current folder>
//                               park=<"yes" when Park.exe lies beside it, else "no">
//                               semaphore=<InstallSemaphore_1 when it started, "<none>" if missing>
//   LM_HANDOFF_<NAME>_RESULT  text written to InstallSemaphore_1 (HKLM\Software\Larchmeadow,
//                             32-bit view) before it exits; nothing is written when unset
//   LM_HANDOFF_<NAME>_EXIT    its exit code (decimal or 0x-hexadecimal); 0 when unset
//   LM_HANDOFF_<NAME>_SWAP    when set, it first does what a user may try in the folder it runs
//                             from: rename that folder away (and back) and replace the Park.exe
//                             beside it; the record then also holds
//                               folder=<"renamed" or "kept">
//                               parkfile=<"replaced" or "kept">
#include <windows.h>

#include <stdlib.h>
#include <wctype.h>
#include <string>
#include <vector>

#include "ToolSupport.h"

using namespace LmTool;

namespace {

const wchar_t kLarchmeadowSubKey[] = L"Software\\Larchmeadow";
const wchar_t kSemaphoreValue[] = L"InstallSemaphore_1";

bool Environment(const std::wstring& name, std::wstring& value)
{
    DWORD n = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    if (n == 0)
        return false;
    std::vector<wchar_t> buffer(n);
    n = GetEnvironmentVariableW(name.c_str(), buffer.data(), n);
    value.assign(buffer.data(), n);
    return true;
}

std::wstring OwnFolder()
{
    const std::wstring path = ModulePath();
    return path.substr(0, path.find_last_of(L'\\') + 1);
}

// "LM_HANDOFF_" + the upper-cased file name without extension + "_" + what.
std::wstring VariableName(const wchar_t* what)
{
    const std::wstring path = ModulePath();
    std::wstring stem = path.substr(path.find_last_of(L'\\') + 1);
    stem = stem.substr(0, stem.rfind(L'.'));
    for (wchar_t& c : stem)
        c = static_cast<wchar_t>(towupper(c));
    return L"LM_HANDOFF_" + stem + L"_" + what;
}

std::wstring ReadSemaphore()
{
    wchar_t data[256] = {};
    DWORD size = sizeof(data) - sizeof(wchar_t), type = 0;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kLarchmeadowSubKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return L"<none>";
    LONG status = RegQueryValueExW(key, kSemaphoreValue, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? std::wstring(data) : std::wstring(L"<none>");
}

void WriteSemaphore(const std::wstring& value)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kLarchmeadowSubKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, kSemaphoreValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

// What a user's rename of the folder and replacement of Park.exe came to, as record lines.
std::string TrySwap()
{
    std::wstring folder = OwnFolder();
    folder.pop_back();
    const std::wstring moved = folder + L"-moved";
    const bool renamed = MoveFileW(folder.c_str(), moved.c_str()) != FALSE;
    if (renamed)
        MoveFileW(moved.c_str(), folder.c_str());
    const std::wstring planted = folder + L"\\planted.tmp";
    bool replaced = false;
    if (CopyFileW(ModulePath().c_str(), planted.c_str(), FALSE)) {
        replaced = MoveFileExW(planted.c_str(), (folder + L"\\Park.exe").c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
        DeleteFileW(planted.c_str());
    }
    return std::string("folder=") + (renamed ? "renamed" : "kept") + "\nparkfile=" + (replaced ? "replaced" : "kept") +
           "\n";
}

void Record(const std::wstring& path, const std::string& swap)
{
    wchar_t folder[MAX_PATH * 2] = {};
    GetCurrentDirectoryW(MAX_PATH * 2, folder);
    const bool park = GetFileAttributesW((OwnFolder() + L"Park.exe").c_str()) != INVALID_FILE_ATTRIBUTES;
    const std::string text = "commandline=" + ToUtf8(GetCommandLineW()) + "\nworkdir=" + ToUtf8(folder) +
                             "\npark=" + (park ? "yes" : "no") + "\nsemaphore=" + ToUtf8(ReadSemaphore()) + "\n" + swap;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

} // namespace

int wmain()
{
    std::wstring value;
    const std::string swap = Environment(VariableName(L"SWAP"), value) ? TrySwap() : std::string();
    if (Environment(VariableName(L"RECORD"), value))
        Record(value, swap);
    if (Environment(VariableName(L"RESULT"), value))
        WriteSemaphore(value);
    UINT code = 0;
    if (Environment(VariableName(L"EXIT"), value))
        code = static_cast<UINT>(wcstoul(value.c_str(), nullptr, 0));
    ExitProcess(code);
}
