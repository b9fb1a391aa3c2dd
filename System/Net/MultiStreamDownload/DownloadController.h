// The state and threads of one multi-stream download (CHTTPDownload is the caller's handle on
// it): the plan of streams, their holders, the watchdog, the files beside the target and the
// caller's callback. Reference-counted, because each stream holds it for as long as its thread
// runs: a stream left blocked in a WinINet call when the download ended (Close) outlives the
// caller's object, and what it calls here then does nothing.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "System/Exception.h"
#include "System/RefPtr.h"
#include "System/ReferenceCounted.h"
#include "System/Win32/CriticalSectionLock.h"
#include "System/Net/MultiStreamDownload/DownloadIdentity.h"
#include "System/Net/MultiStreamDownload/DownloadOptions.h"
#include "System/Net/MultiStreamDownload/DownloadStreamHolder.h"
#include "System/Net/MultiStreamDownload/HTTPDownload.h"
#include "System/Net/MultiStreamDownload/WatchdogThread.h"

namespace Lm { namespace System { namespace Net { namespace MultiStreamDownload {

// How long the end of a download, or a restart, waits for its streams to end before it leaves
// the ones still blocked in a WinINet call to end on their own (at the call's time-out).
constexpr DWORD kStreamJoinGraceMs = 1000;

class CDownloadController : public CReferenceCounted {
public:
    CDownloadController(const std::wstring& userAgent, const std::wstring& url, const std::wstring& outputPath,
                        DownloadCallback callback, void* context, uint32_t retries, const DownloadOptions& options);
    ~CDownloadController() override;

    // Completes at once for a finished target, else starts the watchdog and the first stream.
    // Throws what the start throws, after it stopped what was started (as Close does).
    void Begin();
    // The end of the download, once: stops the streams and the watchdog, waits for every writer
    // (they hold the cache and the records) and for each stream up to kStreamJoinGraceMs, leaves
    // the rest to end on their own, deletes a cancelled download's files and waits for a callback
    // under way. Afterwards nothing here touches a file or calls the callback.
    void Close();

    void GetStatus(DownloadStatus& status);
    void Cancel();

    // For the stream threads. A caller whose stop was asked for is one that the download left
    // (a restart, or its end): what it reports or asks changes nothing.
    // newBytes: what this report's block brought (0 for done and error reports).
    void DownloadThreadCallback(uint32_t streamIndex, bool isError, bool isDone, bool authRefreshNeeded,
                                uint64_t bytesDone, uint64_t attemptBytes, uint64_t newBytes,
                                const CRefPtr<CException>& error, Win32::CThread* caller);
    bool WaitForAllStreams(uint32_t streamIndex, Win32::CThread* caller);
    void SetTotalSize(uint64_t size, Win32::CThread* caller);
    // The first answer of the download sets what the file's Last-Modified ("UNKNOWN": none) and
    // ETag (empty: none) are; false for a later answer that names another version.
    bool AgreesWithFirstAnswer(const std::string& lastModified, const std::string& etag, Win32::CThread* caller);
    CWatchdogThread* GetWatchdog() const { return m_watchdog.Get(); }

    // For the watchdog.
    void RestartDownloadSingleStream();
    void RestartDownloadMultiStream();
    // One stream afresh, the size of the plan forgotten: the file is not the one it was made for.
    void RestartDownloadChangedFile();
    // How often the watchdog calls CheckProgress; CheckProgress fails a download that received
    // fewer than kProgressBytes within its stall bound.
    DWORD GetProgressCheckMs() const;
    void CheckProgress();
    uint32_t GetRestartCount() const { return m_restartCount; }
    bool IsSingleStreamOnly() const { return m_singleStreamOnly; }
    void OnWatchdogFailure(const CRefPtr<CException>& error);

private:
    void Start();
    void StartStreams();
    void Restart(uint32_t streamCount, bool changedFile);
    // Stops the streams (and their writers), waits for the writers, and for each stream until
    // graceMs have passed; the holders go, and a stream still running goes to the closer, which
    // releases it once it has ended.
    void JoinStreams(DWORD graceMs);
    void SignalStreamsStop();
    // Removes the target (and the cache when asked) with the records.
    void DeleteProgressFiles(bool withCache);
    // Removes the stream records and the state file.
    void DeleteRecords();
    bool IsFinishedTarget();
    // Under the state lock: no stream may start any more.
    bool IsStopping() const;
    // The caller is the running stream of its holder, and the download has not ended.
    bool IsCurrentStream(uint32_t streamIndex, Win32::CThread* caller);
    // One check-in at the end-of-stream barrier; true when the caller may pass it.
    bool CheckIn(uint32_t streamIndex, Win32::CThread* caller);
    void FinalizeDownload(const std::wstring& target, bool validateSize, uint64_t expectedSize, Win32::CThread* caller);
    void NotifyProgress();
    void Fail(const CRefPtr<CException>& error, bool deleteTarget);
    bool CanResume(uint32_t threadsUsed);

    CRefPtr<CWatchdogThread> m_watchdog;   // kept to the end: streams left running may still ask it
    std::vector<CRefPtr<CDownloadStreamHolder>> m_streams;
    // Lock order: m_restartLock, m_finishLock, m_stateLock, then a stream's own lock
    // (CDownloadThread's files lock). m_notificationLock is taken with the state lock released.
    Win32::CCriticalSectionLock m_stateLock;        // every field below
    Win32::CCriticalSectionLock m_notificationLock; // one callback call at a time
    Win32::CCriticalSectionLock m_restartLock;      // Start and Restart, one at a time
    // Held while the download's end is made: a stream's move onto the target or the failure it
    // reports, the watchdog's failure. A restart and Close take it once their streams are gone,
    // so a stream that was finishing is done, and one left behind finds itself no longer current.
    Win32::CCriticalSectionLock m_finishLock;
    bool m_failed = false;
    bool m_pendingStart = false;
    bool m_complete = false;
    bool m_cancelled = false;
    // Close runs: no restart starts streams any more, no callback is made. Also read without the
    // state lock (under the notification lock).
    std::atomic<bool> m_closing{ false };
    bool m_authRefreshNeeded = false;
    std::atomic<bool> m_singleStreamOnly{ false };   // read by the watchdog without a lock
    std::atomic<uint32_t> m_restartCount{ 0 };       // read by the watchdog without a lock
    bool m_failureNotified = false;
    const uint32_t m_retries;
    uint32_t m_streamCount = 1;
    CRefPtr<CException> m_lastError;
    const DownloadCallback m_callback;
    void* const m_context;
    const std::string m_userAgent;
    const std::string m_url;
    const std::wstring m_outputPath;
    const DownloadOptions m_options;
    const DownloadIdentity m_identity;   // what the state file must hold to be resumed
    uint64_t m_totalSize = 0;
    bool m_totalSizeKnown = false;
    uint64_t m_attemptBytes = 0;
    uint64_t m_bytesDone = 0;
    bool m_firstAnswerKnown = false;     // the validators of the download's first answer
    std::string m_firstLastModified;
    std::string m_firstETag;
    uint64_t m_receivedBytes = 0;        // by every stream and attempt: the progress the watchdog sees
    uint64_t m_progressBytes = 0;        // m_receivedBytes when the current stall window began
    ULONGLONG m_progressTick = 0;        // and its tick
    std::atomic<DWORD> m_notifyingThreadId{ 0 };
    uint32_t m_checkInCount = 0;
};

} } } } // namespace Lm::System::Net::MultiStreamDownload
