// One byte range of a multi-stream download over WinINet: it hands every block to its own
// write-output thread, reports progress, completion and errors to the controller, retries
// failed attempts, and asks the watchdog for a restart of the whole download when the server's
// answer shows that the current plan cannot work (or that the file changed).
#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "System/Exception.h"
#include "System/RefPtr.h"
#include "System/Net/InternetHandleCloser.h"
#include "System/Win32/CriticalSectionLock.h"
#include "System/Win32/Thread.h"

namespace Lm { namespace System { namespace Net { namespace MultiStreamDownload {

class CDownloadController;
class CWriteOutputThread;

// Above this total a single stream that started at offset 0 asks for two streams.
constexpr uint64_t kMultiStreamThreshold = 20971520; // 0x1400000, 20 MiB
// Reads ask for at most this many bytes, each into the next of the write-output thread's
// buffers of this size, which the stream uses in turn.
constexpr uint32_t kBlockSize = 65536;
// Four, not two: the writer is woken once per three blocks instead of once per block (see
// CWriteOutputThread::QueueWrite).
constexpr uint32_t kBufferCount = 4;

// Fixed by the Content-Range header "bytes <first>-<last>/<total or *>".
struct ContentRange {
    uint64_t first = 0;
    uint64_t last = 0;
    uint64_t total = 0;
    bool totalKnown = false; // false for "/*"
};
// Exact parse: "bytes", one blank, decimal first, '-', decimal last >= first, '/', decimal total
// or '*', nothing else. Values must fit 64 bits.
bool ParseContentRange(const std::string& text, ContentRange& range);
// A decimal number that fits 64 bits, nothing else (blanks around it allowed).
bool ParseDecimalU64(const std::string& text, uint64_t& value);

class CDownloadThread : public Win32::CThread {
public:
    // Does not start the thread: the owner keeps the object first, then calls ThreadStart, so
    // that a start that times out leaves a whole object that the owner stops and releases.
    // expectedSize (0: none) is what the whole file must measure; stallBoundMs shortens the
    // WinINet time-outs when it is below the shipped bound.
    CDownloadThread(const std::string& userAgent, const std::string& url, const std::wstring& outputPath,
                    uint64_t startOffset, uint64_t endOffset, CDownloadController* owner, uint64_t totalSize,
                    uint32_t streamIndex, uint32_t threadsUsed, uint32_t retries, uint64_t expectedSize = 0,
                    DWORD stallBoundMs = 0);
    ~CDownloadThread() override;

    // For the controller, after SignalStop: the stop for the attempt's writer, at once (never
    // throws); then WaitForWriter waits until that writer has ended, which closes the cache and
    // the stream's record. From then on this stream touches none of the download's files, also
    // when a WinINet call still blocks it.
    void SignalWriterStop() noexcept;
    void WaitForWriter() noexcept;

    // Tick of the last block any stream of any download received (0 at start).
    static std::atomic<uint64_t> lastDataTick;

protected:
    DWORD Execute() override;

private:
    // What one attempt found out; failures raised inside the attempt set its flags.
    struct Attempt {
        bool retryable = false;
        bool authRefreshNeeded = false;
        bool gotData = false;
        bool answerEnded = false;  // read to its end: its handles close at once
        bool resumed = false;
        uint64_t currentOffset = 0;
        uint64_t recordSize = 0;
        std::string recordLastModified;
        std::string recordETag;
        std::string lastModified;
        std::string etag;
        uint64_t responseTotal = 0;
        bool responseTotalKnown = false;
    };

    // The response headers an attempt decides on.
    struct Response {
        uint32_t status = 0;
        std::string headerText;         // "\r\nHTTP Response Header:" and the raw headers, for messages
        bool hasContentRange = false;
        std::string contentRange;
        bool hasContentLength = false;
        uint64_t contentLength = 0;
    };

    // Steps of one attempt. ReadRecord and StartWriter are false once a stop was asked for: the
    // attempt then ends without touching a file.
    bool ReadRecord(Attempt& attempt);
    void EstablishConnection(Attempt& attempt, bool& timedOut);
    void OpenRequest(Attempt& attempt);
    void SendRequest(Attempt& attempt, bool& timedOut);
    Response QueryResponse(Attempt& attempt);
    // False when the attempt ends (a stop after a restart request).
    bool DecideByStatus(Attempt& attempt, const Response& response);
    void TakePartialContent(Attempt& attempt, const Response& response);
    bool TakeWholeFile(Attempt& attempt, const Response& response);
    void CheckExpectedSize(Attempt& attempt, const Response& response);
    // A changed total, Last-Modified or ETag: the file is not the one on disk. Asks for a fresh
    // single-stream start, or fails the attempt when that is refused.
    void CheckForChangedFile(Attempt& attempt);
    void TakeResponseTotal(Attempt& attempt);
    void DownloadBits(Attempt& attempt);
    bool StartWriter(const CRefPtr<CWriteOutputThread>& writer);
    // The attempt's writer goes (stopped when it still runs), outside the files lock.
    void DropWriter() noexcept;
    [[noreturn]] void Fail(Attempt& attempt, bool retryable, const std::string& message, int line,
                           const char* function);
    // Hands the attempt's handles to the closer, which closes them off this thread.
    void ReleaseHandles(bool answerEnded = false) noexcept;
    bool QueryHeader(HINTERNET request, DWORD query, std::string& value);
    void Report(bool isError, bool isDone, bool authRefreshNeeded, uint64_t bytesDone, uint64_t attemptBytes,
                uint64_t newBytes, const CRefPtr<CException>& error);
    // The range's last byte is known: from the plan, the response or the caller's size.
    bool EndKnown() const { return m_totalSizeKnown || m_expectedSize != 0; }

    // Held for as long as this object lives: a stream left running when the download ended
    // still reports here (and is ignored).
    const CRefPtr<CDownloadController> m_owner;
    const std::string m_userAgent;
    const std::string m_url;
    const uint64_t m_startOffset;
    uint64_t m_endOffset;
    const std::wstring m_outputPath;
    const uint32_t m_streamIndex;
    const uint32_t m_threadsUsed;
    uint64_t m_totalSize;
    bool m_totalSizeKnown;
    const bool m_singleStream;
    const uint32_t m_retries;
    const uint64_t m_expectedSize;
    const DWORD m_stallBoundMs;
    // The current attempt's handles. Only this thread uses or closes them (through the closer),
    // so no handle value is ever used after it was closed and perhaps handed out again. A stop
    // takes effect at the next check between calls; a blocked call ends by its time-out.
    InternetHandles m_handles;
    // Guards m_writer. This thread reads its record and starts a writer only under it, and only
    // while no stop was asked for; the controller, once it has signalled the stop, takes it to
    // reach the writer. So after SignalWriterStop no new writer starts and no record is read.
    Win32::CCriticalSectionLock m_filesLock;
    CRefPtr<CWriteOutputThread> m_writer; // the attempt's writer once its thread was started
};

} } } } // namespace Lm::System::Net::MultiStreamDownload
