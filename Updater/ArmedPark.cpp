#include "Updater/ArmedPark.h"

#include <windows.h>

#include "Park/ParkContract.h"
#include "Updater/ShellStart.h"

namespace Lm {
namespace Updater {

namespace {

// A Park started a moment ago may not have made its events yet, and a signal that nobody waits
// for is lost.
const DWORD kTerminateDelayMs = 1000;

} // namespace

CArmedPark::CArmedPark(const std::wstring& parkCopy, const std::wstring& workFolder)
    : m_parkCopy(parkCopy), m_workFolder(workFolder)
{
}

CArmedPark::~CArmedPark()
{
    if (!m_armed)
        return;
    try {
        Sleep(kTerminateDelayMs);
        ShellStart(m_parkCopy, Park::SignalTerminateCommandLine, m_workFolder, kShellStartMask);
    } catch (...) {
        // Only the strings' memory can fail here; a destructor that runs while an exception
        // leaves the launch must not throw another.
    }
}

bool CArmedPark::StartWaiting(const std::wstring& commandLine)
{
    m_armed = ShellStart(m_parkCopy, commandLine, m_workFolder, kShellStartMask);
    return m_armed;
}

} // namespace Updater
} // namespace Lm
