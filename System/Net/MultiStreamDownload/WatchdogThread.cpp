#include "System/Net/MultiStreamDownload/WatchdogThread.h"

#include "System/Exception.h"
#include "System/Net/MultiStreamDownload/HTTPDownload.h"
#include "System/Net/MultiStreamDownload/WrapException.h"

namespace Lm { namespace System { namespace Net { namespace MultiStreamDownload {

namespace {
const char kSource[] = "Lm\\System\\Net\\MultiStreamDownload\\WatchdogThread.cpp";
const char kExecute[] = "Lm::System::Net::MultiStreamDownload::CWatchdogThread::Execute";
} // namespace

CWatchdogThread::CWatchdogThread(CHTTPDownload* owner) : m_owner(owner), m_restartEvent(false, false)
{
}

CWatchdogThread::~CWatchdogThread()
{
    Stop(INFINITE);
}

void CWatchdogThread::Signal(RestartState state, Win32::CThread* caller, const std::string& message, int line,
                            const char* function)
{
    m_requestedRestart = state;
    m_restartEvent.Set();
    caller->SignalStop();
    ThrowException(message, kSource, line, function);
}

void CWatchdogThread::SignalRestartDownloadMultiStream(Win32::CThread* caller, const std::string& reason)
{
    if (m_owner->GetRestartCount() >= kMaxRestarts || m_owner->IsSingleStreamOnly())
        return;
    Signal(RestartMultiStream, caller, "Restarting MultiStream;  " + reason, 31,
           "Lm::System::Net::MultiStreamDownload::CWatchdogThread::SignalRestartDownloadMultiStream");
}

void CWatchdogThread::SignalRestartDownloadSingleStream(Win32::CThread* caller, const std::string& reason)
{
    if (m_owner->GetRestartCount() >= kMaxRestarts)
        return;
    Signal(RestartSingleStream, caller, "Restarting SingleStream;  " + reason, 42,
           "Lm::System::Net::MultiStreamDownload::CWatchdogThread::SignalRestartDownloadSingleStream");
}

void CWatchdogThread::SignalRestartDownloadChangedFile(Win32::CThread* caller, const std::string& reason)
{
    if (m_owner->GetRestartCount() >= kMaxRestarts)
        return;
    Signal(RestartChangedFile, caller, "Restarting SingleStream;  " + reason, 53,
           "Lm::System::Net::MultiStreamDownload::CWatchdogThread::SignalRestartDownloadChangedFile");
}

DWORD CWatchdogThread::Execute()
{
    try {
        for (;;) {
            HANDLE events[2] = { GetStopEvent().GetHandle(), m_restartEvent.GetHandle() };
            const DWORD woken = WaitForMultipleObjects(2, events, FALSE, m_owner->GetProgressCheckMs());
            if (IsStopRequested())
                return 0;
            if (woken == WAIT_TIMEOUT) {
                m_owner->CheckProgress();
                continue;
            }
            // Taken and cleared in one step: a request made while this restart runs stays set
            // (its event too) and is carried out next.
            switch (m_requestedRestart.exchange(RestartNone)) {
            case RestartSingleStream:
                m_owner->RestartDownloadSingleStream();
                break;
            case RestartMultiStream:
                m_owner->RestartDownloadMultiStream();
                break;
            case RestartChangedFile:
                m_owner->RestartDownloadChangedFile();
                break;
            default:
                break;
            }
        }
    } catch (...) {
        m_owner->OnWatchdogFailure(
            WrapCurrentException("HTTPDownload WatchdogThread Execute Function", kSource, 68, kExecute));
        return 1;
    }
}

} } } } // namespace Lm::System::Net::MultiStreamDownload
