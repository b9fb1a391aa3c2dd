// One HTTP or HTTPS request on WinINet, run on a worker thread of its own. The caller creates it,
// sets the public fields, calls Start and polls IsComplete (and GetProgressPercent); the response
// (status, header lines, body in memory or in a file) stays with the request. A server is never
// trusted: its lengths, headers and bodies are checked before they are used.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "System/Net/HttpRequestState.h"
#include "System/Net/HttpWebResponse.h"
#include "System/RefPtr.h"
#include "System/ReferenceCounted.h"

namespace Lm {
namespace System {
namespace Net {

class CHttpWebRequest : public CReferenceCounted {
public:
    // Options of the file constructor.
    enum Options {
        OptionResumable = 1,            // body to "<output>_cache", resumed by a later request
        OptionStart = 4,                // Start at once
        OptionKeepCacheOnUrlChange = 8, // resume even when the URL changed
    };

    // The body goes to memory (GetResponse().GetResponseStream()).
    explicit CHttpWebRequest(const std::string& url);
    // The body goes to a file (options: Options bits; 0 writes straight into outputPath).
    CHttpWebRequest(const std::string& url, const std::wstring& outputPath, unsigned options);
    ~CHttpWebRequest() override;

    // Starts the worker once; later calls do nothing.
    void Start();
    // The worker ended its transfer and is gone.
    bool IsComplete();
    // All of the body arrived with a 2xx status (304 is not OK here).
    bool IsDownloadOk();
    // 1..99 while the transfer runs, 100 once it ended (0 before any headers).
    float GetProgressPercent();
    // Starts, then waits for the end of the transfer or a time limit (which aborts it).
    CHttpWebResponse& GetResponse();
    // Stops a running transfer: result 2. Returns once the worker ended, or after about a second
    // when the worker is blocked in a WinINet call (it sees the abort when the call returns, by
    // its time-out at the latest, and then ends on its own: it writes nothing more, and its
    // output file is shared for deleting).
    void Abort();
    // Total or idle time limit passed: aborts (result 2) and returns true. Fewer than
    // kProgressBytes within noProgressLimitMs: aborts with result 14 and returns true.
    bool CheckTimeout();
    // False only when the worker still runs after milliseconds.
    bool WaitForWorker(DWORD milliseconds);

    void SetOutputPath(const std::wstring& path);
    void SetPostData(const void* data, size_t size);
    // n >= 0: bytes 0..n; n < 0: from -n to the end.
    void SetRange(std::int64_t n);

    // Outcome, readable from the caller's thread at any time.
    int GetState();
    int GetResult();
    bool IsFailed();
    int GetHttpStatus();
    bool HeadersReceived();
    std::int64_t GetBytesRead();
    std::int64_t GetDeclaredLength();
    std::int64_t GetTotalSize();
    bool IsLengthKnown();

    // Fields set by callers before Start.
    std::int32_t totalTimeLimitMs = -1;   // whole request, checked by GetResponse; -1 none (0 none too)
    std::int32_t idleTimeLimitMs = 10000; // one blocking read, checked by GetResponse
    std::int64_t maxContentLength = -1;   // largest body; compared unsigned, -1 no limit
    // The length a 2xx body must have, -1 none: a declared length that differs fails before the
    // body is read, a body that goes beyond it or ends before it fails at once (result 13).
    std::int64_t expectedLength = -1;
    // Progress bound checked by CheckTimeout (the caller polls it); -1 (or 0) none.
    std::int32_t noProgressLimitMs = -1;
    std::string accept;                   // the one accept type; empty sends "*/*"
    std::string connection;               // "Connection" header, not sent when empty
    std::string contentType;              // "Content-Type" header, not sent when empty
    std::string conditionalValue;         // for "If-Modified-Since" or "If-Range"
    bool sendIfModifiedSince = false;
    bool sendIfRange = false;
    std::int64_t rangeStart = -1;
    std::int64_t rangeEnd = -1;
    std::string userAgent = "Mozilla/4.0 (compatible; MSIE 5.0; CDA 6.0)";
    std::string method = "GET";
    std::vector<std::string> extraHeaders; // more header lines for HttpSendRequestA
    CRefPtr<CCookieContainer> cookieContainer;

private:
    friend class CHttpWebResponse;
    void StartDownloadFromMainThread();
    void Abort(int result);
    // The progress window of CheckTimeout: bytes read when it began, and its tick.
    bool NoProgress();

    bool m_started = false;
    CHttpWebResponse m_response;
    CRefPtr<CHttpRequestState> m_shared;
    std::vector<char> m_postData;
    std::int64_t m_progressBytes = 0;
    ULONGLONG m_progressTick = 0;
};

} // namespace Net
} // namespace System
} // namespace Lm
