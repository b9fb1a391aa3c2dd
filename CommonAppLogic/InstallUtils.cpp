#include "CommonAppLogic/InstallUtils.h"

#include <rpc.h>

#include <cwchar>
#include <vector>

#include "CommonAppLogic/CabinetExtractor.h"
#include "CommonAppLogic/FileSignature.h"
#include "System/Exception.h"
#include "System/Io/Directory.h"
#include "System/Io/File.h"
#include "System/Io/Stream/FileStream.h"
#include "System/String/AnsiWide.h"
#include "System/String/StringUtils.h"
#include "System/Win32/Handle.h"

namespace {

const char kSource[] = "Lm\\CommonAppLogic\\InstallUtils.cpp";
// How long a process that was ended is given to be gone.
const DWORD kEndedProcessWaitMs = 5000;

struct ResourceData {
    const void* bytes;
    DWORD size;
};

// The bytes of an RT_RCDATA resource of the running module; valid for the life of the process.
ResourceData GetDataFromResource(WORD resourceId)
{
    const char* function = "`anonymous-namespace'::GetDataFromResource";
    HMODULE module = GetModuleHandleW(nullptr);
    if (!module)
        Lm::System::ThrowException("GetModuleHandleW failed", kSource, 29, function);
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(resourceId), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!resource)
        Lm::System::ThrowException("FindResourceW failed", kSource, 34, function);
    HGLOBAL loaded = LoadResource(module, resource);
    if (!loaded)
        Lm::System::ThrowException("LoadResource failed", kSource, 39, function);
    DWORD size = SizeofResource(module, resource);
    if (size == 0)
        Lm::System::ThrowException("SizeofResource failed", kSource, 44, function);
    const void* bytes = LockResource(loaded);
    if (!bytes)
        Lm::System::ThrowException("LockResource failed", kSource, 49, function);
    return {bytes, size};
}

} // namespace

namespace Lm {
namespace CommonAppLogic {
namespace InstallUtils {

using Lm::System::Win32::CHandleGuard;

CHandleGuard Exec(const std::wstring& path, const std::wstring& workingFolder, const std::wstring& arguments,
            DWORD creationFlags, bool requireSignature, HANDLE job)
{
    const char* function = "Lm::CommonAppLogic::InstallUtils::Exec";
    if (!Lm::System::IO::CFile::Exists(path))
        Lm::System::ThrowException(L"File does not exist: " + path, kSource, 167, function);

    // Held from before the signature test until the process runs: others may read the file but
    // neither write, rename nor delete it in between.
    CHandleGuard hold;
    if (requireSignature) {
        hold = Lm::System::IO::CFile::Hold(path);
        if (!hold.IsValid() || !VerifyFileSignature(path))
            Lm::System::ThrowException("File is not signed", kSource, 172, function);
    }

    std::wstring commandLine = L"\"" + path + L"\"";
    if (!arguments.empty())
        commandLine += L" " + arguments;

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_FORCEOFFFEEDBACK;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE,
                        job ? creationFlags | CREATE_SUSPENDED : creationFlags, nullptr,
                        workingFolder.empty() ? nullptr : workingFolder.c_str(), &startup, &process))
        Lm::System::ThrowException("CreateProcessW failed", kSource, 202, function);
    CHandleGuard owned(process.hProcess);
    const CHandleGuard thread(process.hThread);
    if (job) {
        // Refused only where jobs cannot nest: the process then runs unfollowed, which the
        // caller can tell (IsProcessInJob).
        AssignProcessToJobObject(job, process.hProcess);
        ResumeThread(thread.Get());
    }
    return owned;
}

DWORD ExecWait(const std::wstring& path, const std::wstring& workingFolder, const std::wstring& arguments,
               DWORD creationFlags, bool requireSignature, DWORD timeoutMs, HANDLE job)
{
    CHandleGuard process = Exec(path, workingFolder, arguments, creationFlags, requireSignature, job);
    if (WaitForSingleObject(process.Get(), timeoutMs) == WAIT_TIMEOUT) {
        // A hung helper must not hold its caller for ever; it goes before the caller reports it.
        TerminateProcess(process.Get(), ERROR_TIMEOUT);
        WaitForSingleObject(process.Get(), kEndedProcessWaitMs);
        SetLastError(ERROR_TIMEOUT);
        Lm::System::ThrowException(L"Process did not end in time: " + path, kSource, 151,
                                   "Lm::CommonAppLogic::InstallUtils::ExecWait");
    }
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.Get(), &exitCode)) {
        DWORD error = GetLastError();
        process.Reset();
        SetLastError(error);
        Lm::System::ThrowException("GetExitCodeProcess failed", kSource, 149,
                                   "Lm::CommonAppLogic::InstallUtils::ExecWait");
    }
    return exitCode;
}

void ExtractResourceToFile(WORD resourceId, const std::wstring& path)
{
    using namespace Lm::System::IO::Stream;
    Lm::System::IO::CDirectory::CreateParent(path);
    ResourceData data = GetDataFromResource(resourceId);
    CFileStream stream(path, FileMode::Create, FileAccess::Write, 0, FILE_ATTRIBUTE_NORMAL);
    stream.Write(data.bytes, data.size);
}

void ExtractCabinetResourceToFile(WORD resourceId, const std::wstring& path)
{
    Lm::System::IO::CDirectory::CreateParent(path);
    ResourceData data = GetDataFromResource(resourceId);
    CCabinetExtractor(data.bytes, data.size).ExtractTo(path);
}

CHandleGuard HoldUnpackedProgram(const std::wstring& path)
{
    CHandleGuard hold = Lm::System::IO::CFile::Hold(path);
    if (!hold)
        Lm::System::ThrowException(L"Could not hold the unpacked program \"" + path + L"\"", kSource, 180,
                                   "Lm::CommonAppLogic::InstallUtils::HoldUnpackedProgram");
    return hold;
}

void SplitCommandLine(const std::wstring& text, std::wstring& program, std::wstring& arguments)
{
    size_t first = text.find(L'"');
    if (first == std::wstring::npos) {
        program = text;
        return;
    }
    size_t second = text.find(L'"', first + 1);
    if (second == std::wstring::npos) {
        program = text.substr(first + 1);
        return;
    }
    program = text.substr(first + 1, second - first - 1);
    arguments = text.substr(second + 1);
}

int CompareVersionStrings(const std::wstring& a, const std::wstring& b)
{
    std::vector<std::wstring> left, right;
    Lm::System::String::SplitString(left, a, L".");
    Lm::System::String::SplitString(right, b, L".");
    for (size_t i = 0; i < left.size() || i < right.size(); ++i) {
        long x = i < left.size() ? wcstol(left[i].c_str(), nullptr, 10) : 0;
        long y = i < right.size() ? wcstol(right[i].c_str(), nullptr, 10) : 0;
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

std::wstring CreateGuidString()
{
    UUID uuid = {};
    UuidCreate(&uuid);
    return Lm::AnsiToWide(Lm::System::String::GuidToString(uuid));
}

} // namespace InstallUtils
} // namespace CommonAppLogic
} // namespace Lm
