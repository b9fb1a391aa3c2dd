// What an HTTP request shares with its worker thread: the settings the worker runs with (copied
// from the request when it starts), everything the worker writes (status, headers, sizes, the
// body stream, the outcome) and the three WinINet handles. The worker holds its own reference,
// so the request can go while the worker still runs (an abort that the platform cannot make the
// worker notice at once); the worker never touches the request object itself.
//
// Lock order: stateLock before notifyLock, stateLock before threadLock; never the other way.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "System/Io/Stream/MemoryStream.h"
#include "System/Net/CookieContainer.h"
#include "System/Net/InternetHandleCloser.h"
#include "System/Net/Uri.h"
#include "System/RefPtr.h"
#include "System/ReferenceCounted.h"
#include "System/Stopwatch.h"
#include "System/Win32/CriticalSectionLock.h"
#include "System/Win32/Handle.h"

namespace Lm {
namespace System {
namespace Net {

// Outcome codes of a request (CHttpWebRequest::GetResult); 0 until set.
enum HttpRequestResult {
    HttpResultNone = 0,
    HttpResultDone = 1,
    HttpResultAborted = 2,
    HttpResultHttpFailure = 3,         // status not 2xx or 304, or no response at all
    HttpResultOpenFailed = 4,          // InternetOpenA
    HttpResultConnectFailed = 5,       // InternetConnectA
    HttpResultOpenRequestFailed = 6,   // HttpOpenRequestA
    HttpResultReadFailed = 7,          // InternetReadFile failed, or the body ended before its length
    HttpResultOutputFileFailed = 8,
    HttpResultShortWrite = 9,
    HttpResultDiskFull = 10,
    HttpResultTooLarge = 11,           // over maxContentLength, or more than memory can hold
    HttpResultFailed = 12,             // failed without a specific code
    HttpResultWrongLength = 13,        // a 2xx body, declared or read, of another length than expectedLength
    HttpResultStalled = 14,            // too little progress within noProgressLimitMs (CheckTimeout)
};

// Request states (CHttpWebRequest::GetState).
enum HttpRequestStateCode { HttpStateNotStarted = 0, HttpStateRunning = 1, HttpStateDone = 3, HttpStateFailed = 4 };

class CHttpRequestState : public CReferenceCounted {
public:
    CHttpRequestState();
    ~CHttpRequestState() override;

    // Worker thread entry: Execute, then CloseConnection. Never lets an exception out.
    static unsigned __stdcall ThreadProc(void* state);

    float GetProgressPercent();
    // Worker only: hands the three handles to the closer (request, connect, session).
    void CloseHandles();
    // Applies the output path now, or when the running worker ends.
    void SetOutputPath(const std::wstring& path);
    void SetCacheFileNames();
    std::string GetHeaderValue(const std::string& name, const std::string& defaultValue);

    Win32::CCriticalSectionLock stateLock;
    Win32::CCriticalSectionLock notifyLock;
    Win32::CCriticalSectionLock threadLock;

    // Settings, copied from the request by Start (the resumable set-up may change the range and
    // the conditional header on the worker).
    CUri url;
    std::string userAgent;
    std::string method;
    std::string accept;
    std::string connection;
    std::string contentType;
    std::string conditionalValue;
    bool sendIfModifiedSince = false;
    bool sendIfRange = false;
    std::int64_t rangeStart = -1;
    std::int64_t rangeEnd = -1;
    std::int64_t maxContentLength = -1;
    std::int64_t expectedLength = -1;
    std::vector<char> postData;
    std::vector<std::string> extraHeaders;
    CRefPtr<CCookieContainer> cookieContainer;

    // Output file names: cachePath is the file written (the output itself without resumable mode).
    std::wstring cachePath;
    std::wstring pendingOutputPath;
    std::wstring fileDataPath;
    std::wstring outputPath;
    bool keepCacheOnUrlChange = false;
    bool fileDataWritten = false;

    // The "_filedata" record of resumable mode.
    bool storedLastModifiedKnown = false;
    bool storedLengthKnown = false;
    std::string storedLastModified;
    std::int64_t storedLength = 0;
    std::string storedUrl;

    // Progress and outcome, written by the worker under stateLock.
    std::int64_t declaredLength = 0;
    std::int64_t totalSize = 0;
    bool lengthKnown = false;
    std::int64_t bytesRead = 0;
    volatile LONG finished = 0;
    bool headersReceived = false;
    int httpStatus = -1;
    bool failed = false;
    bool abortRequested = false;
    int state = HttpStateNotStarted;
    int result = HttpResultNone;
    CStopwatch readStopwatch;
    CStopwatch requestStopwatch;
    std::vector<std::string> responseHeaders;
    CRefPtr<IO::Stream::CMemoryStream> responseStream;

    // The worker thread; closed and cleared by the worker when it ends. Guarded by threadLock.
    Win32::CHandleGuard workerThread;

private:
    void Execute();
    // The transfer, step by step; each step returns false when the transfer ends there.
    void ExecuteTransfer(Win32::CCrtFile& file);
    bool Connect();
    bool OpenRequest();
    void AddRequestHeaders();
    bool SendRequest();
    bool TakeResponseHeaders(std::vector<std::string>& sentLines);
    void KeepSentCookies(const std::vector<std::string>& sentLines);
    bool OpenBodyTarget(Win32::CCrtFile& file);
    static Win32::CCrtFile OpenOutputFile(const std::wstring& path, bool append);
    void ReadBody(FILE* file);
    void UpdateState();
    void CloseConnection();
    // Under stateLock: abortRequested -> failed; true when the worker must end.
    bool AbortCheck();
    // Under stateLock: failed, the code unless one is recorded, and the failed state when asked.
    void Fail(int code, bool setFailedState);
    void SetUpResume();
    void ReadFileData();
    void WriteFileData(const std::string& lastModified, std::int64_t length, const std::string& url);
    void CommitCacheFile();
    bool IsResumable() const { return !cachePath.empty() && !outputPath.empty(); }
    // Under stateLock: a 2xx answer whose body length is set by expectedLength.
    bool IsExpectedBody() const { return expectedLength >= 0 && httpStatus >= 200 && httpStatus <= 299; }

    // The worker's handles: only the worker uses them and hands them to the closer at its end,
    // so no handle value is ever used after another thread closed it (and WinINet gave the value
    // to a new handle meanwhile). A blocked call ends by its time-out.
    InternetHandles handles;
    bool bodyEnded = false;   // the worker read the answer to its end
};

} // namespace Net
} // namespace System
} // namespace Lm
