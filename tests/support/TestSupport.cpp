#include "TestSupport.h"

#include <winioctl.h>

#include <algorithm>
#include <cstring>
#include <atomic>
#include <vector>

namespace LmTest {

namespace {

std::wstring ModuleFolder()
{
    std::vector<wchar_t> buffer(32768);
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    std::wstring path(buffer.data(), n);
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring CommandLineFor(const std::wstring& path, const std::wstring& arguments)
{
    std::wstring cmd = L"\"" + path + L"\"";
    if (!arguments.empty())
        cmd += L" " + arguments;
    return cmd;
}

// A Unix path as Wine hands it out (UTF-8), widened.
std::wstring Widened(const char* text)
{
    const int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring wide(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1)
        MultiByteToWideChar(CP_UTF8, 0, text, -1, &wide[0], n);
    return wide;
}

bool MakeJunction(const std::wstring& link, const std::wstring& target)
{
    if (!::CreateDirectoryW(link.c_str(), nullptr))
        return false;
    HANDLE h = ::CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        ::RemoveDirectoryW(link.c_str());
        return false;
    }
    const std::wstring substitute = L"\\??\\" + target;
    std::vector<BYTE> buffer(sizeof(DWORD) + 4 * sizeof(WORD) + 2 * sizeof(WORD) + (substitute.size() + 2) * 2);
    auto* header = reinterpret_cast<DWORD*>(buffer.data());
    auto* words = reinterpret_cast<WORD*>(buffer.data() + sizeof(DWORD));
    header[0] = IO_REPARSE_TAG_MOUNT_POINT;
    const WORD substituteBytes = static_cast<WORD>(substitute.size() * 2);
    words[0] = static_cast<WORD>(buffer.size() - 8);   // ReparseDataLength
    words[1] = 0;
    words[2] = 0;                                      // SubstituteNameOffset
    words[3] = substituteBytes;                        // SubstituteNameLength
    words[4] = static_cast<WORD>(substituteBytes + 2); // PrintNameOffset
    words[5] = 0;                                      // PrintNameLength
    memcpy(&words[6], substitute.c_str(), substituteBytes);
    DWORD returned = 0;
    const BOOL ok = ::DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, buffer.data(), static_cast<DWORD>(buffer.size()),
                                      nullptr, 0, &returned, nullptr);
    ::CloseHandle(h);
    if (!ok)
        ::RemoveDirectoryW(link.c_str());
    return ok != FALSE;
}

// Runs a Unix program of /bin with the arguments, in Unix paths; false when it cannot be started.
bool RunUnixTool(const wchar_t* tool, const std::wstring& arguments)
{
    const std::wstring program = std::wstring(L"Z:\\bin\\") + tool;
    if (!FileExists(program))
        return false;
    std::wstring commandLine = std::wstring(tool) + L" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process))
        return false;
    ::WaitForSingleObject(process.hProcess, 30000);
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
    return true;
}

// The Unix path of a Windows one, quoted for a command line; empty outside Wine.
std::wstring QuotedUnixPath(const std::wstring& path)
{
    using UnixNameFunction = char*(CDECL*)(LPCWSTR);
    auto toUnix = reinterpret_cast<UnixNameFunction>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name"));
    char* unixPath = toUnix ? toUnix(path.c_str()) : nullptr;
    if (unixPath == nullptr)
        return std::wstring();
    const std::wstring quoted = L"\"" + Widened(unixPath) + L"\"";
    ::HeapFree(::GetProcessHeap(), 0, unixPath);
    return quoted;
}

// Wine shows a Unix symbolic link to a folder as a directory reparse point; it is made by the
// Unix ln, which Wine can start.
bool MakeUnixFolderLink(const std::wstring& link, const std::wstring& target)
{
    const std::wstring unixLink = QuotedUnixPath(link), unixTarget = QuotedUnixPath(target);
    if (unixLink.empty() || unixTarget.empty() || !RunUnixTool(L"ln", L"-s " + unixTarget + L" " + unixLink))
        return false;
    // The handle of a Unix process may be signalled before the program has done its work: look
    // for the link for a while.
    for (int i = 0; i < 100; ++i) {
        const DWORD attributes = ::GetFileAttributesW(link.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
            return true;
        ::Sleep(100);
    }
    return false;
}

} // namespace

std::wstring TestDir() { return ModuleFolder(); }

std::wstring BinDir() { return ModuleFolder() + L"..\\bin\\"; }

std::wstring Program(const std::wstring& fileName) { return BinDir() + fileName; }

std::wstring Tool(const std::wstring& fileName) { return TestDir() + fileName; }

std::wstring UniqueName(const std::wstring& prefix)
{
    static std::atomic<unsigned> counter{0};
    wchar_t buffer[96];
    _snwprintf(buffer, 96, L"%lu-%u-%lu", GetCurrentProcessId(), ++counter, GetTickCount());
    buffer[95] = 0;
    return prefix + buffer;
}

HANDLE StartProgram(const std::wstring& path, const std::wstring& arguments, const std::wstring& workingDir)
{
    std::wstring cmd = CommandLineFor(path, arguments);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(path.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr,
                        workingDir.empty() ? nullptr : workingDir.c_str(), &si, &pi))
        return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

RunResult RunProgram(const std::wstring& path, const std::wstring& arguments, DWORD timeoutMs,
                     const std::wstring& workingDir)
{
    RunResult result;
    HANDLE process = StartProgram(path, arguments, workingDir);
    if (!process)
        return result;
    result.started = true;
    if (WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0) {
        result.finished = true;
        GetExitCodeProcess(process, &result.exitCode);
    } else {
        TerminateProcess(process, 0xDEAD);
        WaitForSingleObject(process, 5000);
    }
    CloseHandle(process);
    return result;
}

bool FileExists(const std::wstring& path)
{
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::wstring& path)
{
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool WaitForFile(const std::wstring& path, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
            !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && (data.nFileSizeLow || data.nFileSizeHigh))
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(20);
    }
}

std::string ReadFileBytes(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got)
        bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

std::wstring ReadFileUtf8(const std::wstring& path)
{
    const std::string bytes = ReadFileBytes(path);
    if (bytes.empty())
        return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], n);
    return text;
}

void WriteFileUtf8(const std::wstring& path, const std::wstring& text)
{
    std::string bytes;
    if (!text.empty()) {
        int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
        bytes.resize(n);
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], n, nullptr, nullptr);
    }
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    if (!bytes.empty())
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::vector<std::wstring> FolderEntries(const std::wstring& path)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveTree(const std::wstring& path)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring full = path + L"\\" + name;
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                RemoveTree(full);
            } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveDirectoryW(full.c_str());
            } else {
                SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(full.c_str());
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_DIRECTORY);
    RemoveDirectoryW(path.c_str());
}

ScratchFolder::ScratchFolder(const std::wstring& prefix)
{
    wchar_t temp[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    std::wstring base(temp, n);
    if (!base.empty() && base.back() == L'\\')
        base.pop_back();
    path_ = base + L"\\" + UniqueName(prefix + L"-");
    CreateDirectoryW(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

bool MakeFolderLink(const std::wstring& link, const std::wstring& target, bool* junction)
{
    const bool madeJunction = MakeJunction(link, target);
    if (junction)
        *junction = madeJunction;
    return madeJunction || MakeUnixFolderLink(link, target);
}

void RemoveFolderLink(const std::wstring& link)
{
    // Windows removes a junction as a folder; a Unix link goes by the Unix rm (Wine would act on
    // what it leads to).
    const std::wstring unixLink = QuotedUnixPath(link);
    if (unixLink.empty()) {
        RemoveDirectoryW(link.c_str());
        return;
    }
    if (RunUnixTool(L"rm", L"-f " + unixLink)) {
        for (int i = 0; i < 100 && GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES; ++i)
            Sleep(100);
    }
}

} // namespace LmTest
