#include "CommonAppLogic/ParkEvents.h"

#include "CommonAppLogic/InstallUtils.h"
#include "Park/ParkContract.h"
#include "System/Io/FilePath.h"
#include "System/Win32/DebuggingSwitches.h"

namespace Lm {
namespace CommonAppLogic {

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
    HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, name);
    if (event == nullptr)
        return GetLastError() != ERROR_FILE_NOT_FOUND;
    CloseHandle(event);
    return true;
}

bool NamedEventIsSet(const wchar_t* name)
{
    HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, name);
    if (event == nullptr)
        return false;
    const bool set = WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
    CloseHandle(event);
    return set;
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
