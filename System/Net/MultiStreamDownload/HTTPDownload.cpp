#include "System/Net/MultiStreamDownload/HTTPDownload.h"

#include "System/Io/File.h"
#include "System/Net/MultiStreamDownload/DownloadFiles.h"
#include "System/Net/MultiStreamDownload/ProgressFile.h"
#include "System/Net/MultiStreamDownload/WrapException.h"
#include "System/String/AnsiWide.h"
#include "System/Win32/SystemInfo.h"

namespace Lm { namespace System { namespace Net { namespace MultiStreamDownload {

namespace {

const char kSource[] = "Lm\\System\\Net\\MultiStreamDownload\\HTTPDownload.cpp";
const char kCallback[] = "Lm::System::Net::MultiStreamDownload::CHTTPDownload::DownloadThreadCallback";
const char kFinalize[] = "Lm::System::Net::MultiStreamDownload::CHTTPDownload::FinalizeDownload";

// The size of an existing file (not a folder); false when there is none.
bool FileSize(const std::wstring& name, uint64_t& size)
{
    const int64_t found = Win32::GetFileSize64(name);
    if (found < 0)
        return false;
    size = static_cast<uint64_t>(found);
    return true;
}

std::string Narrow(const std::wstring& text)
{
    return Lm::Utf16ToMBCS_CP(CP_ACP, text);
}

} // namespace

CHTTPDownload::CHTTPDownload(const std::wstring& userAgent, const std::wstring& url, const std::wstring& outputPath,
                             DownloadCallback callback, void* context, uint32_t retries,
                             const DownloadOptions& options)
    : m_retries(retries), m_callback(callback), m_context(context), m_userAgent(Narrow(userAgent)),
      m_url(Narrow(url)), m_outputPath(outputPath), m_options(options),
      m_identity(DownloadIdentity::For(m_url, options.expectedSize, options.expectedSha256)),
      m_progressTick(GetTickCount64())
{
    if (IO::CFile::Exists(m_outputPath)) {
        if (IsFinishedTarget()) {
            NotifyProgress();
            return;
        }
        // Not known to be whole (a file of another size, or one of unknown origin): fetched again.
        DeleteFileW(m_outputPath.c_str());
    }
    try {
        m_watchdog = new CWatchdogThread(this);
        m_watchdog->ThreadStart("LMDownloadWatchdog");
        {
            Win32::CScopedLock lock(m_stateLock);
            m_pendingStart = true;
        }
        Start();
    } catch (...) {
        // The destructor does not run for a constructor that throws: stop what was started.
        {
            Win32::CScopedLock lock(m_stateLock);
            m_closing = true;
        }
        if (m_watchdog)
            m_watchdog->Stop(INFINITE);
        JoinStreams();
        m_watchdog = nullptr;
        throw;
    }
}

// A target counts as finished only when a state file of this download gives its total and the
// size matches; the move onto the target happens after that size was checked, and the state file
// goes after the move, so a run killed in between leaves a pair that this accepts.
bool CHTTPDownload::IsFinishedTarget()
{
    DownloadProgress state(m_outputPath);
    uint64_t size = 0;
    if (!state.Read() || state.Identity != m_identity || state.TotalSize == 0 ||
        (m_options.expectedSize != 0 && state.TotalSize != m_options.expectedSize) ||
        !FileSize(m_outputPath, size) || size != state.TotalSize)
        return false;
    Win32::CScopedLock lock(m_stateLock);
    DeleteRecords();
    m_complete = true;
    m_totalSize = state.TotalSize;
    m_totalSizeKnown = true;
    m_bytesDone = m_totalSize;
    return true;
}

CHTTPDownload::~CHTTPDownload()
{
    {
        Win32::CScopedLock lock(m_stateLock);
        m_closing = true;
    }
    // The watchdog uses this object's locks: it ends (finishing a restart under way) before
    // anything here goes.
    if (m_watchdog)
        m_watchdog->Stop(INFINITE);
    JoinStreams();
    bool cancelled;
    {
        Win32::CScopedLock lock(m_stateLock);
        cancelled = m_cancelled;
    }
    if (cancelled)
        DeleteProgressFiles(true);
    m_watchdog = nullptr;
}

void CHTTPDownload::GetStatus(DownloadStatus& status)
{
    Win32::CScopedLock lock(m_stateLock);
    status.complete = m_complete;
    status.failed = m_failed;
    status.pendingStart = m_pendingStart;
    status.authRefreshNeeded = m_authRefreshNeeded;
    status.streamCount = m_streamCount;
    if (m_failed) {
        status.error = m_lastError;
        status.bytesDone = status.attemptBytes = status.totalSize = 0;
        status.percent = 0.0f;
        return;
    }
    status.error = nullptr;
    status.bytesDone = m_bytesDone;
    status.attemptBytes = m_attemptBytes;
    status.totalSize = m_totalSize;
    status.percent = 0.0f;
    if (m_totalSize != 0) {
        double percent = static_cast<double>(m_bytesDone) * 100.0 / static_cast<double>(m_totalSize);
        status.percent = static_cast<float>(percent > 100.0 ? 100.0 : percent);
    }
}

void CHTTPDownload::Cancel()
{
    {
        Win32::CScopedLock lock(m_stateLock);
        if (m_cancelled || m_complete)
            return;
        m_cancelled = true;
    }
    // A callback running on another thread finishes before Cancel goes on. The notification
    // lock is taken with the state lock released: a callback may call GetStatus.
    if (GetCurrentThreadId() != m_notifyingThreadId) {
        Win32::CScopedLock notification(m_notificationLock);
    }
    // Only signals: Cancel never waits for a stream. Streams that a restart starts meanwhile
    // see the flag set above (StartStreams).
    SignalStreamsStop();
}

void CHTTPDownload::Start()
{
    Win32::CScopedLock restart(m_restartLock);
    {
        Win32::CScopedLock lock(m_stateLock);
        if (m_cancelled || m_complete || m_closing || !m_pendingStart)
            return;
    }
    StartStreams();
}

// The state file may only resume a download whose data is still there: a missing cache, or
// one shorter than a stream record claims, would hand over a zero-filled stretch as data.
bool CHTTPDownload::CanResume(uint32_t threadsUsed)
{
    uint64_t cacheSize = 0;
    if (!FileSize(CacheFileName(m_outputPath), cacheSize))
        return false;
    for (uint32_t i = 0; i < threadsUsed; ++i) {
        StreamProgress record(m_outputPath, i);
        if (record.Read(nullptr) && record.ThreadsUsed == threadsUsed && record.Offset > cacheSize)
            return false;
    }
    return true;
}

bool CHTTPDownload::IsStopping() const
{
    return m_cancelled || m_complete || m_closing;
}

void CHTTPDownload::StartStreams()
{
    JoinStreams();

    std::vector<CRefPtr<CDownloadStreamHolder>> holders;
    uint64_t totalSize;
    uint32_t streamCount;
    {
        Win32::CScopedLock lock(m_stateLock);
        if (IsStopping())
            return; // cancelled (or destroyed) while the old streams were joined
        // Only the records of this very download resume it: same URL (its query aside), same
        // expected size and digest.
        DownloadProgress state(m_outputPath);
        if (state.Read() && state.Identity == m_identity && (state.ThreadsUsed == 1 || state.ThreadsUsed == 2) &&
            (m_options.expectedSize == 0 || state.TotalSize == 0 || state.TotalSize == m_options.expectedSize) &&
            CanResume(state.ThreadsUsed)) {
            m_totalSize = state.TotalSize;
            m_streamCount = state.ThreadsUsed;
            // A stored total is the size the finished file must have.
            m_totalSizeKnown = m_totalSize != 0;
        } else {
            DeleteProgressFiles(true);
        }
        DownloadProgress(m_outputPath, m_streamCount, m_totalSize, m_identity).Write();
        m_pendingStart = false;
        m_checkInCount = 0;
        m_bytesDone = m_attemptBytes = 0;
        totalSize = m_totalSize;
        streamCount = m_streamCount;

        // Every holder exists before any stream runs, so no stream can find the others missing
        // and take itself for the last one.
        const uint64_t chunk = totalSize / streamCount;
        for (uint32_t i = 0; i < streamCount; ++i)
            holders.push_back(CRefPtr<CDownloadStreamHolder>(new CDownloadStreamHolder(i, i * chunk)));
        m_streams = holders;
    }

    // With the total unknown (0), one stream's range is 0 to the largest offset: its end comes
    // from the answer or from the caller's size.
    const uint64_t chunk = totalSize / streamCount;
    for (uint32_t i = 0; i < streamCount; ++i) {
        const uint64_t start = i * chunk;
        const uint64_t length = (i + 1 == streamCount) ? totalSize - (streamCount - 1) * chunk : chunk;
        const uint64_t end = start + length - 1;
        CRefPtr<CDownloadThread> thread(new CDownloadThread(m_userAgent, m_url, m_outputPath, start, end, this,
                                                            totalSize, i, streamCount, m_retries,
                                                            m_options.expectedSize, m_options.stallBoundMs));
        {
            // In its holder before it runs: whatever happens next (a Cancel, a start that times
            // out), the joins find it.
            Win32::CScopedLock lock(m_stateLock);
            holders[i]->thread = thread;
            if (IsStopping())
                thread->SignalStop(); // a Cancel that came after its holder was made
        }
        thread->ThreadStart("");
    }
}

void CHTTPDownload::Restart(uint32_t streamCount, bool changedFile)
{
    Win32::CScopedLock restart(m_restartLock);
    {
        Win32::CScopedLock lock(m_stateLock);
        if (m_cancelled || m_complete || m_closing)
            return;
    }
    JoinStreams();
    {
        // A Cancel (or the end of the download) may have come while the streams were joined.
        Win32::CScopedLock lock(m_stateLock);
        if (IsStopping())
            return;
    }
    DeleteProgressFiles(true);
    {
        Win32::CScopedLock lock(m_stateLock);
        m_bytesDone = m_attemptBytes = 0;
        m_streamCount = streamCount;
        if (streamCount == 1)
            m_singleStreamOnly = true;
        ++m_restartCount;
        if (changedFile) {
            // The next answer tells the new file's size and validators.
            m_totalSize = 0;
            m_totalSizeKnown = false;
            m_firstAnswerKnown = false;
        }
    }
    StartStreams();
}

void CHTTPDownload::RestartDownloadSingleStream()
{
    Win32::CScopedLock restart(m_restartLock);
    Restart(1, false);
}

void CHTTPDownload::RestartDownloadMultiStream()
{
    Win32::CScopedLock restart(m_restartLock);
    Restart(2, false);
}

void CHTTPDownload::RestartDownloadChangedFile()
{
    Win32::CScopedLock restart(m_restartLock);
    Restart(1, true);
}

DWORD CHTTPDownload::GetProgressCheckMs() const
{
    const DWORD quarter = m_options.stallBoundMs / 4;
    return quarter < 50 ? 50 : (quarter > 1000 ? 1000 : quarter);
}

void CHTTPDownload::CheckProgress()
{
    {
        Win32::CScopedLock lock(m_stateLock);
        if (m_complete || m_failed || m_cancelled || m_closing)
            return;
        const ULONGLONG now = GetTickCount64();
        if (m_receivedBytes - m_progressBytes >= kProgressBytes) {
            m_progressBytes = m_receivedBytes;
            m_progressTick = now;
            return;
        }
        if (now - m_progressTick < m_options.stallBoundMs)
            return;
    }
    // Streams blocked in a call see their stop when it returns (by its time-out at the latest);
    // the download has failed already.
    Fail(CRefPtr<CException>(new CException("Download made no progress: fewer than " + std::to_string(kProgressBytes) +
                                                " bytes in " + std::to_string(m_options.stallBoundMs) + " ms.  URL=" +
                                                m_url,
                                            kSource, 330, "Lm::System::Net::MultiStreamDownload::CHTTPDownload::CheckProgress")),
         true);
}

bool CHTTPDownload::AgreesWithFirstAnswer(const std::string& lastModified, const std::string& etag)
{
    Win32::CScopedLock lock(m_stateLock);
    if (!m_firstAnswerKnown) {
        m_firstAnswerKnown = true;
        m_firstLastModified = lastModified;
        m_firstETag = etag;
        return true;
    }
    const bool dateDiffers = lastModified != m_firstLastModified && lastModified != "UNKNOWN" &&
                             m_firstLastModified != "UNKNOWN";
    const bool tagDiffers = etag != m_firstETag && !etag.empty() && !m_firstETag.empty();
    return !dateDiffers && !tagDiffers;
}

// A stream blocked in a WinINet call sees the stop when the call returns: no other thread closes
// its handles (their values could be handed out again to another stream meanwhile), and the
// time-outs every stream sets end a stalled call.
void CHTTPDownload::SignalStreamsStop()
{
    Win32::CScopedLock lock(m_stateLock);
    for (const CRefPtr<CDownloadStreamHolder>& holder : m_streams)
        if (holder->thread)
            holder->thread->SignalStop();
}

void CHTTPDownload::JoinStreams()
{
    SignalStreamsStop();
    std::vector<CRefPtr<CDownloadThread>> threads;
    {
        Win32::CScopedLock lock(m_stateLock);
        for (const CRefPtr<CDownloadStreamHolder>& holder : m_streams)
            if (holder->thread)
                threads.push_back(holder->thread);
    }
    // Bounded: after its stop a stream makes no new call, each call ends within the WinINet
    // time-outs, and its other waits (retry pauses, the barrier, the file retries) end early
    // on the stop. A thread whose start failed has no handle and is passed at once.
    const DWORD self = GetCurrentThreadId();
    for (const CRefPtr<CDownloadThread>& thread : threads)
        if (thread->GetHandle() && ::GetThreadId(thread->GetHandle()) != self)
            WaitForSingleObject(thread->GetHandle(), INFINITE);
    std::vector<CRefPtr<CDownloadStreamHolder>> released;
    {
        Win32::CScopedLock lock(m_stateLock);
        released.swap(m_streams);
    }
}

void CHTTPDownload::DeleteRecords()
{
    Win32::CScopedLock lock(m_stateLock);
    // Missing files are what is wanted; a file that cannot go is replaced or rejected later.
    StreamProgress(m_outputPath, 0).Delete();
    StreamProgress(m_outputPath, 1).Delete();
    DownloadProgress(m_outputPath).Delete();
}

void CHTTPDownload::DeleteProgressFiles(bool withCache)
{
    Win32::CScopedLock lock(m_stateLock);
    DeleteFileW(m_outputPath.c_str());
    DeleteRecords();
    if (withCache)
        DeleteFileW(CacheFileName(m_outputPath).c_str());
}

void CHTTPDownload::SetTotalSize(uint64_t size)
{
    Win32::CScopedLock lock(m_stateLock);
    m_totalSizeKnown = true;
    m_totalSize = size;
}

bool CHTTPDownload::CheckIn(uint32_t streamIndex)
{
    Win32::CScopedLock lock(m_stateLock);
    // One flag per stream: a stream that checks in again (a repeated final read) counts once.
    auto countCheckedIn = [this]() {
        uint32_t count = 0;
        for (const CRefPtr<CDownloadStreamHolder>& holder : m_streams)
            if (holder->checkedIn)
                ++count;
        return count;
    };
    if (streamIndex < m_streams.size())
        m_streams[streamIndex]->checkedIn = true;
    m_checkInCount = countCheckedIn();
    if (m_streamCount == 1 || streamIndex + 1 != m_streamCount)
        return true;
    return m_checkInCount == m_streamCount;
}

bool CHTTPDownload::WaitForAllStreams(uint32_t streamIndex, Win32::CThread* caller)
{
    // The last stream waits here, with the lock released, until every stream has checked in.
    while (!CheckIn(streamIndex)) {
        if (caller->WaitStopEvent(50))
            return false;
    }
    return true;
}

void CHTTPDownload::DownloadThreadCallback(uint32_t streamIndex, bool isError, bool isDone, bool authRefreshNeeded,
                                           uint64_t bytesDone, uint64_t attemptBytes, uint64_t newBytes,
                                           const CRefPtr<CException>& error, Win32::CThread* caller)
{
    bool allDone = true, allReported = true;
    std::wstring target;
    bool validateSize = false;
    uint64_t expectedSize = 0;
    try {
        {
            Win32::CScopedLock lock(m_stateLock);
            m_authRefreshNeeded = authRefreshNeeded;
            if (m_cancelled || m_pendingStart || m_complete || streamIndex >= m_streams.size())
                return;
            CDownloadStreamHolder& holder = *m_streams[streamIndex];
            if (holder.thread && holder.thread.Get() != caller)
                return; // a stream of an attempt that was already replaced
            if (holder.done)
                return; // a range reports done once; nothing after that counts
            m_receivedBytes += newBytes;
            holder.attemptBytes = attemptBytes;
            holder.bytesDone = bytesDone;
            holder.done = isDone;
            holder.reported = true;
            m_attemptBytes = m_bytesDone = 0;
            for (const CRefPtr<CDownloadStreamHolder>& h : m_streams) {
                m_attemptBytes += h->attemptBytes;
                m_bytesDone += h->bytesDone;
                allDone = allDone && h->done;
                allReported = allReported && h->reported;
            }
            // "All" means every planned stream, each with its holder.
            if (m_streams.size() != m_streamCount)
                allDone = allReported = false;
            if (isError) {
                if (error)
                    ThrowException(*error, "Download Thread Error", kSource, 384, kCallback);
                ThrowException("Unknown Download Thread Error", kSource, 385, kCallback);
            }
            target = m_outputPath;
            // The size the file must have: the answer's, or else the caller's.
            validateSize = m_totalSizeKnown || m_options.expectedSize != 0;
            expectedSize = m_totalSizeKnown ? m_totalSize : m_options.expectedSize;
        }
        if (allDone && !isError) {
            FinalizeDownload(target, validateSize, expectedSize, caller);
            Win32::CScopedLock lock(m_stateLock);
            m_complete = true;
        }
        if (allReported)
            NotifyProgress();
    } catch (...) {
        Fail(WrapCurrentException("HTTPDownloadThreadCallback", kSource, 399, kCallback), true);
    }
}

void CHTTPDownload::Fail(const CRefPtr<CException>& error, bool deleteTarget)
{
    if (deleteTarget)
        DeleteFileW(m_outputPath.c_str()); // a failed download never leaves a target behind
    {
        Win32::CScopedLock lock(m_stateLock);
        m_lastError = error;
        m_failed = true;
    }
    Cancel();
    NotifyProgress();
}

void CHTTPDownload::OnWatchdogFailure(const CRefPtr<CException>& error)
{
    Fail(error, false);
}

// The size is checked on the cache, before it becomes the target: a target only ever holds a
// file of the known size, and the state file that vouches for it goes last.
void CHTTPDownload::FinalizeDownload(const std::wstring& target, bool validateSize, uint64_t expectedSize,
                                     Win32::CThread* caller)
{
    const std::wstring cache = CacheFileName(target);
    uint64_t actual = 0;
    if (!FileSize(cache, actual))
        ThrowException("Failed to validate output file exists:" + Narrow(target), kSource, 432, kFinalize);
    if (validateSize && actual != expectedSize)
        ThrowException("Output file is wrong size. " + Narrow(target) + " should be " + std::to_string(expectedSize) +
                           " but is " + std::to_string(actual),
                       kSource, 437, kFinalize);
    DeleteFileW(target.c_str()); // a stale target; MoveFileW does not replace one
    for (int attempt = 1;; ++attempt) {
        if (MoveFileW(cache.c_str(), target.c_str()))
            break;
        if (attempt >= 100 || caller->WaitStopEvent(250))
            ThrowException("Failed to move cache file to " + Narrow(target), kSource, 428, kFinalize);
    }
    if (!IO::CFile::Exists(target))
        ThrowException("Failed to validate output file exists:" + Narrow(target), kSource, 432, kFinalize);
    DeleteRecords();
}

void CHTTPDownload::NotifyProgress()
{
    if (!m_callback)
        return;
    DownloadStatus status;
    GetStatus(status);
    Win32::CScopedLock notification(m_notificationLock);
    m_notifyingThreadId = GetCurrentThreadId();
    if (!(status.failed && m_failureNotified))
        m_callback(&status, m_context);
    if (status.failed)
        m_failureNotified = true;
    m_notifyingThreadId = 0;
}

} } } } // namespace Lm::System::Net::MultiStreamDownload
