// Park's named events as the programs that arm and signal Park see them: setup, before it arms a
// new Park, and the Installer, before it lets Park's file go.
#pragma once

#include <windows.h>

namespace Lm {
namespace CommonAppLogic {

// A named event exists as long as some process holds it; one we may not open exists too.
bool NamedEventExists(const wchar_t* name);
bool NamedEventIsSet(const wchar_t* name);

// Waits, at most timeoutMs, until no process holds either of Park's events (a waiting Park holds
// both, a signalling one one of them for a moment). False when they are still there.
bool WaitUntilParkEventsGone(DWORD timeoutMs);

} // namespace CommonAppLogic
} // namespace Lm
