// One byte range of a multi-stream download over WinINet: it hands every block to its own
// write-output thread, reports progress, completion and errors to the controller, retries
// failed attempts, and asks the watchdog for a restart of the whole download when the server's
// answer shows that the current plan cannot work.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "System/Exception.h"
#include "System/RefPtr.h"
#include "System/Net/InternetHandleCloser.h"
#include "System/Win32/Thread.h"

namespace Lm { namespace System { namespace Net { namespace MultiStreamDownload {

class CHTTPDownload;
class CWriteOutputThread;

// Above this total a single stream that started at offset 0 asks for two streams.
constexpr uint32_t kMultiStreamThreshold = 20971520; // 0x1400000, 20 MiB
// Reads ask for at most this many bytes, each into the next of the write-output thread's
// buffers of this size, which the stream uses in turn.
constexpr uint32_t kBlockSize = 65536;
// Four, not two: the writer is woken once per three blocks instead of once per block (see
// CWriteOutputThread::QueueWrite).
constexpr uint32_t kBufferCount = 4;

// Fixed by the Content-Range header "bytes <first>-<last>/<total or *>".
struct ContentRange {
    uint32_t first = 0;
    uint32_t last = 0;
    uint32_t total = 0;
    bool totalKnown = false; // false for "/*"
};
// Exact parse: "bytes", one blank, decimal first, '-', decimal last >= first, '/', decimal total
// or '*', nothing else. Values must fit 32 bits.
bool ParseContentRange(const std::string& text, ContentRange& range);
// A decimal number that fits 32 bits, nothing else (blanks around it allowed).
bool ParseDecimalU32(const std::string& text, uint32_t& value);

class CDownloadThread : public Win32::CThread {
public:
    // Does not start the thread: the owner keeps the object first, then calls ThreadStart, so
    // that a start that times out leaves a whole object that the owner stops and releases.
    CDownloadThread(const std::string& userAgent, const std::string& url, const std::wstring& outputPath,
                    uint32_t startOffset, uint32_t endOffset, CHTTPDownload* owner, uint32_t totalSize,
                    uint32_t streamIndex, uint32_t threadsUsed, uint32_t retries);
    ~CDownloadThread() override;

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
        uint32_t currentOffset = 0;
        uint32_t recordOffset = 0;
        uint32_t recordSize = 0;
        std::string recordLastModified;
        std::string lastModified;
        uint32_t responseTotal = 0;
        bool responseTotalKnown = false;
    };

    void EstablishConnection(Attempt& attempt, bool& timedOut);
    void DownloadBits(Attempt& attempt);
    [[noreturn]] void Fail(Attempt& attempt, bool retryable, const std::string& message, int line,
                           const char* function);
    // Hands the attempt's handles to the closer, which closes them off this thread.
    void ReleaseHandles(bool answerEnded = false) noexcept;
    bool QueryHeader(HINTERNET request, DWORD query, std::string& value);
    void Report(bool isError, bool isDone, bool authRefreshNeeded, uint32_t bytesDone, uint32_t attemptBytes,
                const CRefPtr<CException>& error);

    CHTTPDownload* const m_owner;
    const std::string m_userAgent;
    const std::string m_url;
    const uint32_t m_startOffset;
    uint32_t m_endOffset;
    const std::wstring m_outputPath;
    const uint32_t m_streamIndex;
    const uint32_t m_threadsUsed;
    uint32_t m_totalSize;
    bool m_totalSizeKnown;
    const bool m_singleStream;
    const uint32_t m_retries;
    // The current attempt's handles. Only this thread uses or closes them (through the closer),
    // so no handle value is ever used after it was closed and perhaps handed out again. A stop
    // takes effect at the next check between calls; a blocked call ends by its time-out.
    InternetHandles m_handles;
};

} } } } // namespace Lm::System::Net::MultiStreamDownload
