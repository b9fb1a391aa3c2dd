// Downloads one file over HTTP(S) into a target path in one or two parallel byte ranges
// ("streams"), restarts itself when a stream finds the plan unworkable, and resumes a download
// that an earlier run left behind (state file, stream records and "<target>.cache" beside the
// target, used only for the same URL, expected size and SHA-256). The caller polls GetStatus (or
// takes the callback) until complete or failed. Sizes and offsets are 64-bit. A download told
// the file's size never writes more, and fails at once when the server declares another; one
// that makes no progress for its stall bound fails (the watchdog looks).
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "System/Exception.h"
#include "System/RefPtr.h"
#include "System/Win32/CriticalSectionLock.h"
#include "System/Net/MultiStreamDownload/DownloadIdentity.h"
#include "System/Net/MultiStreamDownload/DownloadOptions.h"
#include "System/Net/MultiStreamDownload/DownloadStreamHolder.h"
#include "System/Net/MultiStreamDownload/WatchdogThread.h"

namespace Lm { namespace System { namespace Net { namespace MultiStreamDownload {

struct DownloadStatus {
    bool complete = false;
    bool failed = false;
    bool pendingStart = false;
    bool authRefreshNeeded = false;
    uint64_t bytesDone = 0;
    uint64_t attemptBytes = 0;
    uint64_t totalSize = 0;
    float percent = 0.0f;
    CRefPtr<CException> error;
    uint32_t streamCount = 0;
};

typedef void (*DownloadCallback)(DownloadStatus* status, void* context);

class CHTTPDownload : public CNonCopyable {
public:
    CHTTPDownload(const std::wstring& userAgent, const std::wstring& url, const std::wstring& outputPath,
                  DownloadCallback callback, void* context, uint32_t retries,
                  const DownloadOptions& options = DownloadOptions());
    virtual ~CHTTPDownload();

    void GetStatus(DownloadStatus& status);
    void Cancel();

    // For the stream threads.
    // newBytes: what this report's block brought (0 for done and error reports).
    void DownloadThreadCallback(uint32_t streamIndex, bool isError, bool isDone, bool authRefreshNeeded,
                                uint64_t bytesDone, uint64_t attemptBytes, uint64_t newBytes,
                                const CRefPtr<CException>& error, Win32::CThread* caller);
    bool WaitForAllStreams(uint32_t streamIndex, Win32::CThread* caller);
    void SetTotalSize(uint64_t size);
    // The first answer of the download sets what the file's Last-Modified ("UNKNOWN": none) and
    // ETag (empty: none) are; false for a later answer that names another version.
    bool AgreesWithFirstAnswer(const std::string& lastModified, const std::string& etag);
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
    void JoinStreams();
    void SignalStreamsStop();
    // Removes the target (and the cache when asked) with the records.
    void DeleteProgressFiles(bool withCache);
    // Removes the stream records and the state file.
    void DeleteRecords();
    bool IsFinishedTarget();
    // Under the state lock: no stream may start any more.
    bool IsStopping() const;
    // One check-in at the end-of-stream barrier; true when the caller may pass it.
    bool CheckIn(uint32_t streamIndex);
    void FinalizeDownload(const std::wstring& target, bool validateSize, uint64_t expectedSize, Win32::CThread* caller);
    void NotifyProgress();
    void Fail(const CRefPtr<CException>& error, bool deleteTarget);
    bool CanResume(uint32_t threadsUsed);

    CRefPtr<CWatchdogThread> m_watchdog;
    std::vector<CRefPtr<CDownloadStreamHolder>> m_streams;
    // Lock order: m_restartLock before m_stateLock. m_notificationLock is taken with the state
    // lock released.
    Win32::CCriticalSectionLock m_stateLock;        // every field below
    Win32::CCriticalSectionLock m_notificationLock; // one callback call at a time
    Win32::CCriticalSectionLock m_restartLock;      // Start and Restart, one at a time
    bool m_failed = false;
    bool m_pendingStart = false;
    bool m_complete = false;
    bool m_cancelled = false;
    bool m_closing = false;  // the destructor runs: no restart starts streams any more
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
