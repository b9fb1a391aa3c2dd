#include "System/Net/HttpWebRequest.h"

#include <process.h>

#include "System/Exception.h"
#include "System/Net/InternetTimeouts.h"
#include "System/Win32/Handle.h"

namespace Lm {
namespace System {
namespace Net {

using Win32::CScopedLock;

namespace {

const char kSource[] = "Lm\\System\\Net\\HttpWebRequest.cpp";
// How long Abort waits for the worker. The worker sees the abort between its calls; a call that
// blocks on a stalled server ends at its WinINet time-out, and the worker then ends on its own,
// holding only the shared state (its output file is shared for deleting). Its handles are never
// closed from here: WinINet may hand a closed handle's value to a new handle of another request
// before the worker's next call.
const DWORD kAbortWaitMs = 1000;

} // namespace

CHttpWebRequest::CHttpWebRequest(const std::string& url) : m_response(*this), m_shared(new CHttpRequestState)
{
    m_shared->url = CUri(url);
    if (m_shared->url.GetScheme() != "http" && m_shared->url.GetScheme() != "https")
        ThrowException("Only http and https supported", kSource, 256, "Lm::System::Net::CHttpWebRequest::CHttpWebRequest");
}

CHttpWebRequest::CHttpWebRequest(const std::string& url, const std::wstring& outputPath, unsigned options)
    : CHttpWebRequest(url)
{
    SetOutputPath(outputPath);
    if (options & OptionResumable) {
        CScopedLock lock(m_shared->stateLock);
        m_shared->SetCacheFileNames();
    }
    if (options & OptionKeepCacheOnUrlChange)
        m_shared->keepCacheOnUrlChange = true;
    if (options & OptionStart)
        Start();
}

CHttpWebRequest::~CHttpWebRequest()
{
    Abort();
    {
        // No state update is running past this point.
        CScopedLock lock(m_shared->stateLock);
        CScopedLock notify(m_shared->notifyLock);
    }
}

void CHttpWebRequest::Start()
{
    if (m_started)
        return;
    StartDownloadFromMainThread();
    m_started = true;
}

void CHttpWebRequest::StartDownloadFromMainThread()
{
    CHttpRequestState& s = *m_shared;
    CScopedLock lock(s.stateLock);
    CScopedLock threadGuard(s.threadLock);
    if (s.workerThread)
        return;
    s.userAgent = userAgent;
    s.method = method;
    s.accept = accept;
    s.connection = connection;
    s.contentType = contentType;
    s.conditionalValue = conditionalValue;
    s.sendIfModifiedSince = sendIfModifiedSince;
    s.sendIfRange = sendIfRange;
    s.rangeStart = rangeStart;
    s.rangeEnd = rangeEnd;
    s.maxContentLength = maxContentLength;
    s.expectedLength = expectedLength;
    s.postData = m_postData;
    s.extraHeaders = extraHeaders;
    s.cookieContainer = cookieContainer;
    s.state = HttpStateRunning;
    s.AddReference();    // the worker's reference, taken over by ThreadProc
    unsigned id = 0;
    uintptr_t thread = _beginthreadex(nullptr, 4000, &CHttpRequestState::ThreadProc, &s, 0, &id);
    if (thread == 0) {
        s.state = HttpStateNotStarted;
        s.Release();
        ThrowException("_beginthreadex failure", kSource, 1056,
                       "Lm::System::Net::CHttpWebRequest::StartDownloadFromMainThread");
    }
    s.workerThread.Reset(reinterpret_cast<HANDLE>(thread));
    m_progressBytes = 0;
    m_progressTick = GetTickCount64();
}

bool CHttpWebRequest::IsComplete()
{
    if (InterlockedCompareExchange(&m_shared->finished, 0, 0) == 0)
        return false;
    CScopedLock threadGuard(m_shared->threadLock);
    return !m_shared->workerThread;
}

bool CHttpWebRequest::IsDownloadOk()
{
    if (GetProgressPercent() < 100.0f)
        return false;
    CScopedLock lock(m_shared->stateLock);
    return !m_shared->failed && m_shared->httpStatus >= 200 && m_shared->httpStatus <= 299;
}

float CHttpWebRequest::GetProgressPercent()
{
    return m_shared->GetProgressPercent();
}

CHttpWebResponse& CHttpWebRequest::GetResponse()
{
    Start();
    if (IsComplete())
        return m_response;
    for (;;) {
        {
            CScopedLock lock(m_shared->stateLock);
            if (m_shared->abortRequested)
                break;
        }
        DWORD wait = 1000;
        // A limit of 0 counts as none, as in CheckTimeout (it would otherwise never wait).
        if (totalTimeLimitMs > 0) {
            std::uint64_t elapsed;
            {
                CScopedLock lock(m_shared->stateLock);
                elapsed = m_shared->requestStopwatch.GetElapsedMilliseconds();
            }
            std::uint64_t limit = static_cast<std::uint64_t>(totalTimeLimitMs);
            if (elapsed + 1000 < limit)
                wait = 1000;
            else
                wait = elapsed < limit ? static_cast<DWORD>(limit - elapsed) : 0;
        }
        if (wait > 0)
            WaitForWorker(wait);
        if (CheckTimeout())
            break;
        if (IsComplete())
            break;
    }
    return m_response;
}

bool CHttpWebRequest::CheckTimeout()
{
    bool expired;
    {
        CScopedLock lock(m_shared->stateLock);
        expired = (totalTimeLimitMs > 0 &&
                   m_shared->requestStopwatch.GetElapsedMilliseconds() > static_cast<std::uint64_t>(totalTimeLimitMs)) ||
                  (idleTimeLimitMs >= 1 &&
                   m_shared->readStopwatch.GetElapsedMilliseconds() > static_cast<std::uint64_t>(idleTimeLimitMs));
    }
    if (expired) {
        Abort();
        return true;
    }
    if (NoProgress()) {
        Abort(HttpResultStalled);
        return true;
    }
    return false;
}

bool CHttpWebRequest::NoProgress()
{
    if (noProgressLimitMs <= 0 || m_progressTick == 0)
        return false;
    const std::int64_t bytes = GetBytesRead();
    const ULONGLONG now = GetTickCount64();
    if (static_cast<std::uint64_t>(bytes - m_progressBytes) >= kProgressBytes) {
        m_progressBytes = bytes;
        m_progressTick = now;
        return false;
    }
    return now - m_progressTick > static_cast<ULONGLONG>(noProgressLimitMs);
}

bool CHttpWebRequest::WaitForWorker(DWORD milliseconds)
{
    HANDLE copy = nullptr;
    {
        CScopedLock threadGuard(m_shared->threadLock);
        if (!m_shared->workerThread)
            return true;
        if (!DuplicateHandle(GetCurrentProcess(), m_shared->workerThread.Get(), GetCurrentProcess(), &copy, 0, FALSE,
                             DUPLICATE_SAME_ACCESS))
            return true;
    }
    Win32::CHandleGuard guard(copy);
    return WaitForSingleObject(copy, milliseconds) != WAIT_TIMEOUT;
}

void CHttpWebRequest::Abort()
{
    Abort(HttpResultAborted);
}

void CHttpWebRequest::Abort(int result)
{
    {
        CScopedLock lock(m_shared->stateLock);
        CScopedLock threadGuard(m_shared->threadLock);
        if (!m_shared->workerThread)
            return;
        // A transfer that already ended keeps its outcome.
        if (InterlockedCompareExchange(&m_shared->finished, 0, 0) == 0) {
            m_shared->state = HttpStateFailed;
            m_shared->result = result;
            m_shared->abortRequested = true;
        }
    }
    WaitForWorker(kAbortWaitMs);
}

void CHttpWebRequest::SetOutputPath(const std::wstring& path)
{
    m_shared->SetOutputPath(path);
}

void CHttpWebRequest::SetPostData(const void* data, size_t size)
{
    const char* bytes = static_cast<const char*>(data);
    if (size == 0 || bytes == nullptr)
        m_postData.clear();
    else
        m_postData.assign(bytes, bytes + size);
}

void CHttpWebRequest::SetRange(std::int64_t n)
{
    if (n >= 0) {
        rangeStart = 0;
        rangeEnd = n;
    } else {
        rangeStart = -n;
        rangeEnd = -1;
    }
}

int CHttpWebRequest::GetState()
{
    CScopedLock lock(m_shared->stateLock);
    return m_shared->state;
}

int CHttpWebRequest::GetResult()
{
    CScopedLock lock(m_shared->stateLock);
    return m_shared->result;
}

bool CHttpWebRequest::IsFailed()
{
    CScopedLock lock(m_shared->stateLock);
    return m_shared->failed;
}

int CHttpWebRequest::GetHttpStatus()
{
    CScopedLock lock(m_shared->stateLock);
    return m_shared->httpStatus;
}

bool CHttpWebRequest::HeadersReceived()
{
    CScopedLock lock(m_shared->stateLock);
    return m_shared->headersReceived;
}

std::int64_t CHttpWebRequest::GetBytesRead()
{
    CScopedLock lock(m_shared->stateLock);
    return m_shared->bytesRead;
}

std::int64_t CHttpWebRequest::GetDeclaredLength()
{
    CScopedLock lock(m_shared->stateLock);
    return m_shared->declaredLength;
}

std::int64_t CHttpWebRequest::GetTotalSize()
{
    CScopedLock lock(m_shared->stateLock);
    return m_shared->totalSize;
}

bool CHttpWebRequest::IsLengthKnown()
{
    CScopedLock lock(m_shared->stateLock);
    return m_shared->lengthKnown;
}

} // namespace Net
} // namespace System
} // namespace Lm
