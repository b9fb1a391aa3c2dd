// Helpers shared by the tests: where the built programs are, unique names, running a program
// and waiting for it, and scratch folders that remove themselves.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

namespace LmTest {

// Folder of the built programs (build\bin\), with a trailing backslash.
std::wstring BinDir();
// Folder of the running test executable (build\tests\), with a trailing backslash.
std::wstring TestDir();
// Full path of a built program, e.g. Program(L"Park.exe").
std::wstring Program(const std::wstring& fileName);
// Full path of a test tool built beside the tests (build\tests\), e.g. Tool(L"StandIn.exe").
std::wstring Tool(const std::wstring& fileName);

// A name no other test or run uses: prefix + process id + counter + tick count.
std::wstring UniqueName(const std::wstring& prefix);

// Result of a program run by RunProgram.
struct RunResult {
    bool started = false;    // CreateProcessW succeeded
    bool finished = false;   // ended within the time limit (otherwise it was terminated)
    DWORD exitCode = 0;
};

// Runs "<quoted path> <arguments>" in workingDir (empty: the current folder), waits up to timeoutMs.
RunResult RunProgram(const std::wstring& path, const std::wstring& arguments,
                     DWORD timeoutMs = 30000, const std::wstring& workingDir = L"");

// Starts a program without waiting; the caller owns the returned process handle (null on failure).
HANDLE StartProgram(const std::wstring& path, const std::wstring& arguments,
                    const std::wstring& workingDir = L"");

// Waits until the file exists (and is not empty) or the time is up.
bool WaitForFile(const std::wstring& path, DWORD timeoutMs);

std::string ReadFileBytes(const std::wstring& path);           // whole file as it is (empty when unreadable)
std::wstring ReadFileUtf8(const std::wstring& path);           // whole file, UTF-8 to UTF-16
void WriteFileUtf8(const std::wstring& path, const std::wstring& text);
bool FileExists(const std::wstring& path);
bool DirectoryExists(const std::wstring& path);
// The names of what a folder holds ("." and ".." left out), sorted; empty when it cannot be read.
std::vector<std::wstring> FolderEntries(const std::wstring& path);

// A folder under the temporary folder, created now, deleted with all it holds when it goes.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::wstring& prefix = L"lmtest");
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::wstring& Path() const { return path_; }      // no trailing backslash
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }
private:
    std::wstring path_;
};

// Deletes a folder tree (read-only files too); for test clean-up only.
void RemoveTree(const std::wstring& path);

// Makes link a link to the folder target, as a user could: a junction where the system makes one
// (Windows), else a Unix symbolic link made by ln, which Wine shows as a directory reparse point
// (Wine 8 makes no junctions). junction (when given) tells which. False when neither can be made.
bool MakeFolderLink(const std::wstring& link, const std::wstring& target, bool* junction = nullptr);
// Removes such a link, never what it leads to.
void RemoveFolderLink(const std::wstring& link);

} // namespace LmTest
