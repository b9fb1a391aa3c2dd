// Carries out restarts of a whole download for its controller. A stream that finds the current
// plan unworkable asks for one here; it cannot restart the download itself, because a restart
// stops and joins every stream, itself included. Between requests it looks at the download's
// progress about once a second, so that a download that stalls (or trickles) fails within its
// bound whatever its streams are blocked in.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "System/Win32/Event.h"
#include "System/Win32/Thread.h"

namespace Lm { namespace System { namespace Net { namespace MultiStreamDownload {

class CHTTPDownload;

enum RestartState : uint32_t {
    RestartNone = 0,
    RestartSingleStream = 1,
    RestartMultiStream = 2,
    RestartChangedFile = 3,   // one stream, afresh: the size the plan had is forgotten
};

// A download is restarted at most this many times.
constexpr uint32_t kMaxRestarts = 4;

class CWatchdogThread : public Win32::CThread {
public:
    explicit CWatchdogThread(CHTTPDownload* owner);
    ~CWatchdogThread() override;

    // When allowed (fewer than 4 restarts so far, and for multi no single-stream restart yet):
    // records the request, wakes the watchdog, signals the caller's stop and throws
    // "Restarting MultiStream;  " / "Restarting SingleStream;  " + reason. Otherwise returns.
    void SignalRestartDownloadMultiStream(Win32::CThread* caller, const std::string& reason);
    void SignalRestartDownloadSingleStream(Win32::CThread* caller, const std::string& reason);
    // As the single-stream restart (same limit and text), for a file that is not the one the
    // records or the plan were made for.
    void SignalRestartDownloadChangedFile(Win32::CThread* caller, const std::string& reason);

protected:
    DWORD Execute() override;

private:
    void Signal(RestartState state, Win32::CThread* caller, const std::string& message, int line,
                const char* function);

    CHTTPDownload* const m_owner;
    Win32::CEvent m_restartEvent; // auto reset
    std::atomic<uint32_t> m_requestedRestart{ RestartNone };
};

} } } } // namespace Lm::System::Net::MultiStreamDownload
