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

void CWatchdogThread::SignalRestartDownloadMultiStream(Win32::CThread* caller, const std::string& reason)
{
    if (m_owner->GetRestartCount() >= kMaxRestarts || m_owner->IsSingleStreamOnly())
        return;
    m_requestedRestart = RestartMultiStream;
    m_restartEvent.Set();
    caller->SignalStop();
    ThrowException("Restarting MultiStream;  " + reason, kSource, 31,
                   "Lm::System::Net::MultiStreamDownload::CWatchdogThread::SignalRestartDownloadMultiStream");
}

void CWatchdogThread::SignalRestartDownloadSingleStream(Win32::CThread* caller, const std::string& reason)
{
    if (m_owner->GetRestartCount() >= kMaxRestarts)
        return;
    m_requestedRestart = RestartSingleStream;
    m_restartEvent.Set();
    caller->SignalStop();
    ThrowException("Restarting SingleStream;  " + reason, kSource, 42,
                   "Lm::System::Net::MultiStreamDownload::CWatchdogThread::SignalRestartDownloadSingleStream");
}

DWORD CWatchdogThread::Execute()
{
    try {
        for (;;) {
            HANDLE events[2] = { GetStopEvent().GetHandle(), m_restartEvent.GetHandle() };
            WaitForMultipleObjects(2, events, FALSE, INFINITE);
            if (IsStopRequested())
                return 0;
            // Taken and cleared in one step: a request made while this restart runs stays set
            // (its event too) and is carried out next.
            switch (m_requestedRestart.exchange(RestartNone)) {
            case RestartSingleStream:
                m_owner->RestartDownloadSingleStream();
                break;
            case RestartMultiStream:
                m_owner->RestartDownloadMultiStream();
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
