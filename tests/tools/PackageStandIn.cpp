// PackageStandIn.exe: stands in for the main application's package (its full installer or patch),
// which the Updater downloads, tests and runs. The Updater chooses the package's command line, so
// the stand-in takes its behaviour from its own file name, which the test picks through the
// download URL: "Package_<word>_<word>.exe". Words:
//   exit<n>         exit with code n (decimal, or hexadecimal with 0x); default 0
//   install<text>   write <text> as "Install" of InstallerStatus (the install percentage)
//   semaphore       write "Success" as "InstallSemaphore_1" when it ends
//   sleep<ms>       wait so long before it ends (after the record and "Install")
//   app             lay the main application down as its full installer does (before "semaphore"):
//                   itself copied as <Program Files (x86)>\Larchmeadow Games\App\Playdeck-lm.exe
//                   (a stand-in that records its starts) and as unins000.exe beside it, and the
//                   main application's uninstall entry naming that uninstaller
// Run with an argument "_?=<folder>" (as Uninstall runs the main application's uninstaller, from a
// copy elsewhere) it is that uninstaller: it records, then removes the two programs from
// <folder>, the folder when empty, and the uninstall entry.
// The registry values go below LM_PACKAGE_REGISTRY_ROOT ("HKCU\..." or "HKLM\..."), default
// HKLM\Software\Larchmeadow: "Install" to <root>\InstallerStatus, "InstallSemaphore_1" to <root>.
//
// Like StandIn.exe it appends one record (exe, workdir, commandline, arguments; UTF-8 "key=value"
// lines ended by an empty line) to "<own file name>.log" in its own folder, or in
// LM_STANDIN_LOG_DIR when that is set (tests/support/StandInLog.h reads it).
#include <windows.h>
#include <shlobj.h>
#include <knownfolders.h>

#include <stdlib.h>
#include <string>
#include <vector>

#include "ToolSupport.h"

using namespace LmTool;

namespace {

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

void WriteValue(const std::wstring& keyPath, const wchar_t* name, const std::wstring& value)
{
    HKEY root = HKEY_LOCAL_MACHINE;
    std::wstring sub = keyPath;
    size_t slash = keyPath.find(L'\\');
    std::wstring rootName = slash == std::wstring::npos ? keyPath : keyPath.substr(0, slash);
    sub = slash == std::wstring::npos ? std::wstring() : keyPath.substr(slash + 1);
    if (_wcsicmp(rootName.c_str(), L"HKCU") == 0 || _wcsicmp(rootName.c_str(), L"HKEY_CURRENT_USER") == 0)
        root = HKEY_CURRENT_USER;
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, sub.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

// The main application, as its full installer lays it down and its uninstaller removes it.
const wchar_t kMainAppSubFolder[] = L"\\Larchmeadow Games\\App";
const wchar_t kMainAppEntry[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{6A1D3F58-2E9C-4b07-A4D3-91C8E5B27F0A}.Larchmeadow Games App";

std::wstring ProgramFilesX86()
{
    PWSTR path = nullptr;
    std::wstring result;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_ProgramFilesX86, 0, nullptr, &path)))
        result = path;
    CoTaskMemFree(path);
    return result;
}

void LayDownMainApplication(const std::wstring& ownPath)
{
    const std::wstring folder = ProgramFilesX86() + kMainAppSubFolder;
    SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    CopyFileW(ownPath.c_str(), (folder + L"\\Playdeck-lm.exe").c_str(), FALSE);
    CopyFileW(ownPath.c_str(), (folder + L"\\unins000.exe").c_str(), FALSE);
    const std::wstring entry = std::wstring(L"HKLM\\") + kMainAppEntry;
    WriteValue(entry, L"UninstallString", L"\"" + folder + L"\\unins000.exe\"");
    WriteValue(entry, L"DisplayName", L"Larchmeadow Games App");
    WriteValue(entry, L"LarchmeadowUninstallDisplayName", L"Larchmeadow Games App");
    WriteValue(entry, L"ConsoleBrand", L"larchplay");
}

void RemoveMainApplication(const std::wstring& folder)
{
    for (const wchar_t* name : {L"\\Playdeck-lm.exe", L"\\unins000.exe"})
        DeleteFileW((folder + name).c_str());
    RemoveDirectoryW(folder.c_str());
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kMainAppEntry, KEY_WOW64_32KEY, 0);
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    const std::wstring commandLine = GetCommandLineW();
    const std::wstring exe = ModulePath();
    const size_t slash = exe.find_last_of(L'\\');
    const std::wstring ownName = slash == std::wstring::npos ? exe : exe.substr(slash + 1);

    // The words of the file name: "Package_exit1_sleep500.exe" gives exit1 and sleep500.
    std::wstring stem = ownName.substr(0, ownName.find_last_of(L'.'));
    unsigned long exitCode = 0, sleepMs = 0;
    bool semaphore = false, app = false;
    std::wstring install;
    size_t at = stem.find(L'_');
    while (at != std::wstring::npos) {
        size_t next = stem.find(L'_', at + 1);
        std::wstring word = stem.substr(at + 1, next == std::wstring::npos ? std::wstring::npos : next - at - 1);
        if (word.compare(0, 4, L"exit") == 0)
            exitCode = wcstoul(word.c_str() + 4, nullptr, 0);
        else if (word.compare(0, 5, L"sleep") == 0)
            sleepMs = wcstoul(word.c_str() + 5, nullptr, 10);
        else if (word.compare(0, 7, L"install") == 0)
            install = word.substr(7);
        else if (word == L"semaphore")
            semaphore = true;
        else if (word == L"app")
            app = true;
        at = next;
    }

    std::wstring folder = Environment(L"LM_STANDIN_LOG_DIR");
    if (folder.empty())
        folder = slash == std::wstring::npos ? std::wstring(L".") : exe.substr(0, slash);
    if (folder.back() != L'\\')
        folder += L'\\';
    wchar_t workdir[MAX_PATH * 4] = L"";
    GetCurrentDirectoryW(MAX_PATH * 4, workdir);
    AppendUtf8(folder + ownName + L".log", L"exe=" + exe + L"\r\nworkdir=" + workdir + L"\r\ncommandline=" + commandLine +
                                           L"\r\narguments=" + ArgumentsOf(commandLine) + L"\r\n\r\n");

    // The main application's uninstaller, run by Uninstall with "_?=<the application's folder>".
    const size_t uninstallFolder = commandLine.find(L"_?=");
    if (uninstallFolder != std::wstring::npos) {
        RemoveMainApplication(commandLine.substr(uninstallFolder + 3));
        return 0;
    }

    std::wstring root = Environment(L"LM_PACKAGE_REGISTRY_ROOT");
    if (root.empty())
        root = L"HKLM\\Software\\Larchmeadow";
    if (!install.empty())
        WriteValue(root + L"\\InstallerStatus", L"Install", install);
    if (sleepMs != 0)
        Sleep(sleepMs);
    if (app)
        LayDownMainApplication(exe);
    if (semaphore)
        WriteValue(root, L"InstallSemaphore_1", L"Success");
    return static_cast<int>(exitCode);
}
