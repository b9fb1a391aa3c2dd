// Park's named events as the programs that arm and signal Park see them: setup, before it arms a
// new Park, and the Installer, before it lets Park's file go; and Park's signal runs of both.
#pragma once

#include <windows.h>

#include <string>

namespace Lm {
namespace CommonAppLogic {

// A Park in signal mode sets one event and ends at once; a caller waits this long for it and
// then ends it (the same bound as a PinHook run: it only catches a hang).
constexpr DWORD kParkSignalTimeoutMs = 60000;

// Runs the Park program at the path in signal mode with the command line (Park/ParkContract.h),
// from its own folder and only when its signature names the maker, and waits for it within
// kParkSignalTimeoutMs. Throws Lm::System::CException as ExecWait does (missing, unsigned, not
// ended in time: it is ended then).
void RunParkSignal(const std::wstring& park, const wchar_t* commandLine);

// A named event exists as long as some process holds it; one we may not open exists too.
bool NamedEventExists(const wchar_t* name);
bool NamedEventIsSet(const wchar_t* name);

// Waits, at most timeoutMs, until no process holds either of Park's events (a waiting Park holds
// both, a signalling one one of them for a moment). False when they are still there.
bool WaitUntilParkEventsGone(DWORD timeoutMs);

} // namespace CommonAppLogic
} // namespace Lm
