#include "CommonAppLogic/ParkEvents.h"

#include "CommonAppLogic/InstallUtils.h"
#include "Park/ParkContract.h"
#include "System/Io/FilePath.h"
#include "System/Win32/DebuggingSwitches.h"
#include "System/Win32/Handle.h"

namespace Lm {
namespace CommonAppLogic {

using Lm::System::Win32::CHandleGuard;

namespace {

constexpr DWORD kParkEventPollMs = 50;

} // namespace

void RunParkSignal(const std::wstring& park, const wchar_t* commandLine)
{
    InstallUtils::ExecWait(park, Lm::System::IO::GetParentFolder(park), commandLine, 0, true,
                           Lm::System::Win32::ReadTestBoundMs(Lm::System::Win32::kParkSignalTimeoutTestValue,
                                                              kParkSignalTimeoutMs));
}

bool NamedEventExists(const wchar_t* name)
{
    const CHandleGuard event(OpenEventW(SYNCHRONIZE, FALSE, name));
    return event || GetLastError() != ERROR_FILE_NOT_FOUND;
}

bool NamedEventIsSet(const wchar_t* name)
{
    const CHandleGuard event(OpenEventW(SYNCHRONIZE, FALSE, name));
    return event && WaitForSingleObject(event.Get(), 0) == WAIT_OBJECT_0;
}

bool WaitUntilParkEventsGone(DWORD timeoutMs)
{
    const ULONGLONG start = GetTickCount64();
    while (NamedEventExists(Lm::Park::EventTerminateName) || NamedEventExists(Lm::Park::EventExecuteName)) {
        if (GetTickCount64() - start >= timeoutMs)
            return false;
        Sleep(kParkEventPollMs);
    }
    return true;
}

} // namespace CommonAppLogic
} // namespace Lm
