#include "System/Net/MultiStreamDownload/DownloadThread.h"

#include <cstring>
#include <vector>

#include "System/Net/InternetTimeouts.h"
#include "System/Net/MultiStreamDownload/DownloadController.h"
#include "System/Net/MultiStreamDownload/ProgressFile.h"
#include "System/Net/MultiStreamDownload/WatchdogThread.h"
#include "System/Net/MultiStreamDownload/WrapException.h"
#include "System/Net/MultiStreamDownload/WriteOutputThread.h"
#include "System/String/AnsiWide.h"

namespace Lm { namespace System { namespace Net { namespace MultiStreamDownload {

namespace {

const char kSource[] = "Lm\\System\\Net\\MultiStreamDownload\\DownloadThread.cpp";
const char kExecute[] = "Lm::System::Net::MultiStreamDownload::CDownloadThread::Execute";
const char kEstablish[] = "Lm::System::Net::MultiStreamDownload::CDownloadThread::EstablishConnection";
const char kDownloadBits[] = "Lm::System::Net::MultiStreamDownload::CDownloadThread::DownloadBits";
const char kQueryHeaders[] = "Lm::System::Net::MultiStreamDownload::CDownloadThread::QueryHeaders";
const char kChangedFile[] = "Lm::System::Net::MultiStreamDownload::CDownloadThread::CheckForChangedFile";

const char kUnknown[] = "UNKNOWN";

bool IsDigits(const std::string& s, size_t begin, size_t end)
{
    if (begin >= end)
        return false;
    for (size_t i = begin; i < end; ++i)
        if (s[i] < '0' || s[i] > '9')
            return false;
    return true;
}

bool DigitsToU64(const std::string& s, size_t begin, size_t end, uint64_t& value)
{
    if (!IsDigits(s, begin, end))
        return false;
    uint64_t v = 0;
    for (size_t i = begin; i < end; ++i) {
        const uint64_t digit = static_cast<uint64_t>(s[i] - '0');
        if (v > (UINT64_MAX - digit) / 10)
            return false;
        v = v * 10 + digit;
    }
    value = v;
    return true;
}

struct UrlParts {
    std::wstring host;
    INTERNET_PORT port = 0;
    bool secure = false;
    std::wstring path; // path followed by its query
};

bool CrackUrl(const std::string& url, UrlParts& parts)
{
    const std::wstring wide = Lm::AnsiToWide(url);
    std::vector<wchar_t> host(wide.size() + 1), path(wide.size() + 1), extra(wide.size() + 1);
    URL_COMPONENTSW c;
    std::memset(&c, 0, sizeof(c));
    c.dwStructSize = sizeof(c);
    c.lpszHostName = host.data();
    c.dwHostNameLength = static_cast<DWORD>(host.size());
    c.lpszUrlPath = path.data();
    c.dwUrlPathLength = static_cast<DWORD>(path.size());
    c.lpszExtraInfo = extra.data();
    c.dwExtraInfoLength = static_cast<DWORD>(extra.size());
    if (!InternetCrackUrlW(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &c))
        return false;
    parts.host.assign(c.lpszHostName, c.dwHostNameLength);
    parts.port = c.nPort;
    parts.secure = c.nScheme == INTERNET_SCHEME_HTTPS;
    parts.path.assign(c.lpszUrlPath, c.dwUrlPathLength);
    parts.path.append(c.lpszExtraInfo, c.dwExtraInfoLength);
    if (parts.path.empty())
        parts.path = L"/";
    return true;
}

} // namespace

std::atomic<uint64_t> CDownloadThread::lastDataTick{ 0 };

bool ParseDecimalU64(const std::string& text, uint64_t& value)
{
    size_t begin = text.find_first_not_of(" \t");
    size_t end = text.find_last_not_of(" \t");
    if (begin == std::string::npos)
        return false;
    return DigitsToU64(text, begin, end + 1, value);
}

bool ParseContentRange(const std::string& text, ContentRange& range)
{
    const std::string unit = "bytes ";
    if (text.compare(0, unit.size(), unit) != 0)
        return false;
    const size_t dash = text.find('-', unit.size());
    const size_t slash = text.find('/', unit.size());
    if (dash == std::string::npos || slash == std::string::npos || dash > slash)
        return false;
    ContentRange r;
    if (!DigitsToU64(text, unit.size(), dash, r.first) || !DigitsToU64(text, dash + 1, slash, r.last) ||
        r.last < r.first)
        return false;
    if (text.compare(slash + 1, std::string::npos, "*") == 0) {
        r.totalKnown = false;
    } else {
        if (!DigitsToU64(text, slash + 1, text.size(), r.total) || r.last >= r.total)
            return false;
        r.totalKnown = true;
    }
    range = r;
    return true;
}

CDownloadThread::CDownloadThread(const std::string& userAgent, const std::string& url,
                                 const std::wstring& outputPath, uint64_t startOffset, uint64_t endOffset,
                                 CDownloadController* owner, uint64_t totalSize, uint32_t streamIndex,
                                 uint32_t threadsUsed, uint32_t retries, uint64_t expectedSize, DWORD stallBoundMs)
    : m_owner(owner), m_userAgent(userAgent), m_url(url), m_startOffset(startOffset), m_endOffset(endOffset),
      m_outputPath(outputPath), m_streamIndex(streamIndex), m_threadsUsed(threadsUsed), m_totalSize(totalSize),
      m_totalSizeKnown(totalSize != 0), m_singleStream(threadsUsed == 1), m_retries(retries),
      m_expectedSize(expectedSize), m_stallBoundMs(stallBoundMs)
{
    // One stream of a file whose size only the caller knows: the caller's size ends the range.
    if (!m_totalSizeKnown && m_expectedSize != 0)
        m_endOffset = m_expectedSize - 1;
}

CDownloadThread::~CDownloadThread()
{
    // The body uses this object's members: it ends before they go. Neither call throws.
    Stop(INFINITE);
    ReleaseHandles();
}

void CDownloadThread::SignalWriterStop() noexcept
{
    Win32::CScopedLock lock(m_filesLock);
    if (m_writer)
        m_writer->SignalStop();
}

void CDownloadThread::WaitForWriter() noexcept
{
    CRefPtr<CWriteOutputThread> writer;
    {
        Win32::CScopedLock lock(m_filesLock);
        writer = m_writer;
    }
    // Its thread was started under the lock, so a writer found there has its handle.
    if (writer && writer->GetHandle())
        WaitForSingleObject(writer->GetHandle(), INFINITE);
}

bool CDownloadThread::StartWriter(const CRefPtr<CWriteOutputThread>& writer)
{
    {
        Win32::CScopedLock lock(m_filesLock);
        if (IsStopRequested())
            return false;
        m_writer = writer;
        writer->ThreadStart("");
    }
    // Opening the cache may take tries; a stop meanwhile reaches the writer through m_writer.
    writer->WaitUntilOpen();
    return true;
}

void CDownloadThread::DropWriter() noexcept
{
    CRefPtr<CWriteOutputThread> writer;
    {
        Win32::CScopedLock lock(m_filesLock);
        writer = std::move(m_writer);
    }
    writer = nullptr; // the last reference stops a writer that still runs (an attempt that threw)
}

void CDownloadThread::ReleaseHandles(bool answerEnded) noexcept
{
    CInternetHandleCloser::Close(m_handles, answerEnded);
}

void CDownloadThread::Fail(Attempt& attempt, bool retryable, const std::string& message, int line,
                           const char* function)
{
    attempt.retryable = retryable;
    ThrowException(message, kSource, line, function);
}

void CDownloadThread::Report(bool isError, bool isDone, bool authRefreshNeeded, uint64_t bytesDone,
                             uint64_t attemptBytes, uint64_t newBytes, const CRefPtr<CException>& error)
{
    m_owner->DownloadThreadCallback(m_streamIndex, isError, isDone, authRefreshNeeded, bytesDone, attemptBytes,
                                    newBytes, error, this);
}

bool CDownloadThread::QueryHeader(HINTERNET request, DWORD query, std::string& value)
{
    std::vector<char> buffer(1040);
    for (;;) {
        DWORD size = static_cast<DWORD>(buffer.size());
        DWORD index = 0;
        if (HttpQueryInfoA(request, query, buffer.data(), &size, &index)) {
            value.assign(buffer.data(), size);
            return true;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size <= buffer.size())
            return false;
        buffer.resize(size + 1);
    }
}

// The stream's record resumes it when it belongs to this plan and lies within the range.
bool CDownloadThread::ReadRecord(Attempt& attempt)
{
    Win32::CScopedLock lock(m_filesLock);
    if (IsStopRequested())
        return false;
    StreamProgress record(m_outputPath, m_streamIndex);
    attempt.currentOffset = m_startOffset;
    if (record.Read(GetStopEvent().GetHandle()) && record.ThreadsUsed == m_threadsUsed &&
        record.Offset >= m_startOffset && (!EndKnown() || record.Offset <= m_endOffset + 1)) {
        attempt.resumed = true;
        attempt.currentOffset = record.Offset;
        attempt.recordSize = record.DownloadSize;
        attempt.recordLastModified = record.GetLastModified();
        attempt.recordETag = record.GetETag();
    }
    return true;
}

DWORD CDownloadThread::Execute()
{
    uint32_t attemptsLeft = m_retries + 1;
    bool timedOut = false;
    while (attemptsLeft >= 1) {
        Attempt attempt;
        CRefPtr<CException> error;
        if (!ReadRecord(attempt))
            return 1;

        if (attempt.resumed && m_totalSizeKnown && attempt.currentOffset == m_endOffset + 1 && !IsStopRequested()) {
            if (!m_owner->WaitForAllStreams(m_streamIndex, this))
                return 1;
            Report(false, true, false, attempt.currentOffset - m_startOffset, 0, 0, CRefPtr<CException>());
            return 0;
        }

        try {
            EstablishConnection(attempt, timedOut);
            if (IsStopRequested())
                break;
            CheckForChangedFile(attempt);
            if (IsStopRequested())
                break;
            TakeResponseTotal(attempt);
            if (IsStopRequested())
                break;
            DownloadBits(attempt);
        } catch (...) {
            error = WrapCurrentException("DownloadThread Execute Function", kSource, 268, kExecute);
        }
        DropWriter();
        ReleaseHandles(attempt.answerEnded);

        if (!error)
            return 0;
        if (attempt.gotData ||
            (timedOut && GetTickCount64() - lastDataTick.load() < 2000u)) {
            timedOut = false;
            attemptsLeft = m_retries + 1;
        }
        if (IsStopRequested())
            return 1;
        if (!attempt.retryable || attemptsLeft <= 1)
            Report(true, false, attempt.authRefreshNeeded, 0, 0, 0, error);
        if (!attempt.retryable)
            return 1;
        if (attemptsLeft > 1 && WaitStopEvent((m_retries - attemptsLeft + 2) * 1000))
            return 1;
        --attemptsLeft;
    }
    ReleaseHandles();
    return 1;
}

void CDownloadThread::CheckForChangedFile(Attempt& attempt)
{
    const bool recordDate = attempt.resumed && attempt.recordLastModified != attempt.lastModified &&
                            attempt.recordLastModified != kUnknown && attempt.lastModified != kUnknown;
    const bool recordTag = attempt.resumed && !attempt.recordETag.empty() && !attempt.etag.empty() &&
                           attempt.recordETag != attempt.etag;
    const uint64_t total = attempt.responseTotalKnown ? attempt.responseTotal : m_totalSize;
    const bool recordSize = attempt.resumed && attempt.recordSize != total && attempt.recordSize != 0 && total != 0;
    // The total of the plan (from an earlier answer of this download or its state file).
    const bool planSize = m_totalSizeKnown && attempt.responseTotalKnown && attempt.responseTotal != m_totalSize;
    // What the first answer of this download said about the file.
    const bool otherAnswer = !m_owner->AgreesWithFirstAnswer(attempt.lastModified, attempt.etag, this);
    const bool sizeChanged = recordSize || planSize;
    const bool dateChanged = recordDate || recordTag || otherAnswer;
    if (!sizeChanged && !dateChanged)
        return;
    const std::string reason = std::string("Detected file change(s) in: ") + (sizeChanged ? "size " : "") + " " +
                               (dateChanged ? "modified date" : "");
    m_owner->GetWatchdog()->SignalRestartDownloadChangedFile(this, reason);
    if (IsStopRequested())
        return;
    // Refused (restart limit): the bytes on disk belong to another file, so the attempt must not
    // append to them.
    Fail(attempt, false, reason, 262, kChangedFile);
}

// A total the stream did not know yet goes to the controller; one stream of a large file from
// offset 0 then asks for two.
void CDownloadThread::TakeResponseTotal(Attempt& attempt)
{
    if (m_totalSizeKnown || !attempt.responseTotalKnown)
        return;
    m_totalSizeKnown = true;
    m_totalSize = attempt.responseTotal;
    m_owner->SetTotalSize(m_totalSize, this);
    if (m_singleStream && m_totalSize > kMultiStreamThreshold && attempt.currentOffset == 0)
        m_owner->GetWatchdog()->SignalRestartDownloadMultiStream(
            this, "Single stream download (at start)- was able to determine file size:  Restarting "
                  "multi-stream.");
}

void CDownloadThread::EstablishConnection(Attempt& attempt, bool& timedOut)
{
    OpenRequest(attempt);
    if (IsStopRequested())
        return;
    SendRequest(attempt, timedOut);
    if (IsStopRequested())
        return;
    const Response response = QueryResponse(attempt);
    if (!DecideByStatus(attempt, response))
        return;
    CheckExpectedSize(attempt, response);
    if (!QueryHeader(m_handles.request.Get(), HTTP_QUERY_LAST_MODIFIED, attempt.lastModified))
        attempt.lastModified = kUnknown;
    if (!QueryHeader(m_handles.request.Get(), HTTP_QUERY_ETAG, attempt.etag))
        attempt.etag.clear();
}

// Session, connection and the GET request for the URL's path and query.
void CDownloadThread::OpenRequest(Attempt& attempt)
{
    m_handles.session.Reset(InternetOpenA(m_userAgent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, "", "", 0));
    if (!m_handles.session)
        Fail(attempt, true, "InternetOpen failed.", 292, kEstablish);
    // Every blocking call of the attempt ends by these at the latest; the stop waits for that.
    SetInternetTimeouts(m_handles.session.Get(), m_stallBoundMs);
    if (IsStopRequested())
        return;

    UrlParts url;
    if (!CrackUrl(m_url, url))
        Fail(attempt, true, "InternetConnect failed.  URL=" + m_url, 302, kEstablish);
    m_handles.connect.Reset(InternetConnectW(m_handles.session.Get(), url.host.c_str(), url.port, L"", nullptr,
                                             INTERNET_SERVICE_HTTP, 0, 0));
    if (!m_handles.connect)
        Fail(attempt, true, "InternetConnect failed.  URL=" + m_url, 306, kEstablish);
    if (IsStopRequested())
        return;

    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION;
    if (url.secure)
        flags |= INTERNET_FLAG_SECURE;
    LPCWSTR accept[] = { L"*/*", nullptr };
    m_handles.request.Reset(
        HttpOpenRequestW(m_handles.connect.Get(), L"GET", url.path.c_str(), L"HTTP/1.1", L"", accept, flags, 0));
    if (!m_handles.request)
        Fail(attempt, true, "HttpOpenRequestW failed.  URL=" + m_url + "\r\nPath=" + Lm::Utf16ToMBCS_CP(CP_ACP, url.path),
             325, kEstablish);
    SetInternetTimeouts(m_handles.request.Get(), m_stallBoundMs);
}

// The range header (none for one stream from offset 0) and the send.
void CDownloadThread::SendRequest(Attempt& attempt, bool& timedOut)
{
    const HINTERNET request = m_handles.request.Get();
    std::string headers = "Connection: Keep-Alive\r\n";
    if (!m_singleStream)
        headers += "Range: bytes=" + std::to_string(attempt.currentOffset) + "-" + std::to_string(m_endOffset) + "\r\n";
    else if (attempt.currentOffset != 0)
        headers += "Range: bytes=" + std::to_string(attempt.currentOffset) + "-\r\n";
    if (!HttpAddRequestHeadersA(request, headers.c_str(), static_cast<DWORD>(-1), HTTP_ADDREQ_FLAG_ADD))
        Fail(attempt, true, "HttpAddRequestHeadersA failed.  URL=" + m_url + "\r\nHeader=" + headers, 343, kEstablish);

    if (!HttpSendRequestA(request, nullptr, 0, nullptr, 0)) {
        if (GetLastError() == ERROR_INTERNET_TIMEOUT) {
            timedOut = true;
            Fail(attempt, true, "HttpSendRequestA failed: timed out.  URL=" + m_url, 349, kEstablish);
        }
        Fail(attempt, true, "HttpSendRequestA failed.", 351, kEstablish);
    }
}

CDownloadThread::Response CDownloadThread::QueryResponse(Attempt& attempt)
{
    const HINTERNET request = m_handles.request.Get();
    // Raw response headers, for the messages.
    std::vector<char> raw(65536);
    std::strcpy(raw.data(), "--blank--");
    DWORD rawSize = static_cast<DWORD>(raw.size() - 1);
    if (!HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, raw.data(), &rawSize, nullptr)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            ThrowException("HttpQueryInfoA returned failure", kSource, 362, kQueryHeaders);
        rawSize = static_cast<DWORD>(std::strlen(raw.data()));
    }
    const std::string responseHeaders(raw.data(), rawSize < raw.size() ? rawSize : raw.size() - 1);
    if (responseHeaders.empty())
        Fail(attempt, true, "Server Header is empty.  URL=" + m_url, 367, kEstablish);

    Response response;
    response.headerText = "\r\nHTTP Response Header:" + responseHeaders;
    std::string statusText;
    uint64_t status = 0;
    if (!QueryHeader(request, HTTP_QUERY_STATUS_CODE, statusText) || !ParseDecimalU64(statusText, status) ||
        status > 999)
        Fail(attempt, true, "HTTP status is not in header, URL=" + m_url + response.headerText, 374, kEstablish);
    response.status = static_cast<uint32_t>(status);
    response.hasContentRange = QueryHeader(request, HTTP_QUERY_CONTENT_RANGE, response.contentRange) &&
                               !response.contentRange.empty();
    std::string lengthText;
    response.hasContentLength = QueryHeader(request, HTTP_QUERY_CONTENT_LENGTH, lengthText) &&
                                ParseDecimalU64(lengthText, response.contentLength);
    return response;
}

bool CDownloadThread::DecideByStatus(Attempt& attempt, const Response& response)
{
    const uint32_t status = response.status;
    CWatchdogThread* watchdog = m_owner->GetWatchdog();
    if (status == 416) {
        watchdog->SignalRestartDownloadSingleStream(this, "HTTP status is 416.  URL=" + m_url + response.headerText);
        if (IsStopRequested())
            return false;
    }
    if (status == 401 || status == 403) {
        attempt.authRefreshNeeded = true;
        Fail(attempt, false, "HTTP status is " + std::to_string(status) + ":  refresh auth needed.  URL=" + m_url +
                                 response.headerText,
             393, kEstablish);
    }
    if (status >= 400)
        Fail(attempt, true, "HTTP status is bad:" + std::to_string(status) + " URL=" + m_url + response.headerText,
             397, kEstablish);
    if (status == 206) {
        TakePartialContent(attempt, response);
        return true;
    }
    if (status == 200)
        return TakeWholeFile(attempt, response);

    std::string acceptRanges;
    if (!m_singleStream && QueryHeader(m_handles.request.Get(), HTTP_QUERY_ACCEPT_RANGES, acceptRanges) &&
        acceptRanges.find("none") != std::string::npos) {
        watchdog->SignalRestartDownloadSingleStream(this,
                                                    "Server doesn't support ranges.  URL=" + m_url + response.headerText);
        if (IsStopRequested())
            return false;
    }
    Fail(attempt, true, "HTTP status is unexpected (expected 206 or 200)  status=" + std::to_string(status) +
                            "  URL=" + m_url + response.headerText,
         460, kEstablish);
}

// The answer must be the range asked for: the first byte is the stream's offset (also for one
// stream resumed at n), with two streams the last byte matches too, and its length is its span.
void CDownloadThread::TakePartialContent(Attempt& attempt, const Response& response)
{
    ContentRange range;
    const bool parsed = response.hasContentRange && ParseContentRange(response.contentRange, range);
    const std::string expected = "bytes " + std::to_string(attempt.currentOffset) + "-" +
                                 (m_singleStream ? std::string() : std::to_string(m_endOffset));
    if (!parsed || range.first != attempt.currentOffset || (!m_singleStream && range.last != m_endOffset))
        Fail(attempt, true, "Returned Content-Range is wrong.  Got: " +
                                (response.hasContentRange ? response.contentRange : "") + "     Expected: " + expected +
                                "   URL=" + m_url + response.headerText,
             409, kEstablish);
    if (response.hasContentLength && response.contentLength != range.last - range.first + 1)
        Fail(attempt, false, "Returned Content-Length " + std::to_string(response.contentLength) +
                                 " is not the length of its Content-Range " + response.contentRange + "   URL=" + m_url +
                                 response.headerText,
             412, kEstablish);
    if (range.totalKnown) {
        // A total other than the plan's means another file (CheckForChangedFile).
        attempt.responseTotal = range.total;
        attempt.responseTotalKnown = true;
        if (m_singleStream)
            m_endOffset = range.total - 1;
    } else if (m_singleStream) {
        // "/*": the total is not known; the stream reads to the end of the range.
        m_endOffset = range.last;
    }
}

// One stream: the server sends the whole file from its first byte. Two streams: the plan does
// not work with this server.
bool CDownloadThread::TakeWholeFile(Attempt& attempt, const Response& response)
{
    if (m_singleStream) {
        attempt.currentOffset = 0;
        if (response.hasContentLength) {
            attempt.responseTotal = response.contentLength;
            attempt.responseTotalKnown = true;
            m_endOffset = response.contentLength - 1;
        }
        return true;
    }
    const std::string message = "HTTP status is 200, when 206 Partial Content was expected (OutputFileSize is Known: "
                                "in multi-stream mode)  URL=" + m_url + response.headerText;
    m_owner->GetWatchdog()->SignalRestartDownloadSingleStream(this, message);
    if (IsStopRequested())
        return false;
    // Refused: the answer holds the file from its first byte, which belongs to stream 0, never
    // to this range.
    Fail(attempt, true, message, 446, kEstablish);
}

// The caller knows the file's size: a server that declares another one is not sending that file,
// and no retry changes that.
void CDownloadThread::CheckExpectedSize(Attempt& attempt, const Response& response)
{
    if (m_expectedSize == 0 || !attempt.responseTotalKnown || attempt.responseTotal == m_expectedSize)
        return;
    Fail(attempt, false, "Returned file size differs from the expected size.  Got: " +
                             std::to_string(attempt.responseTotal) + "     Expected: " + std::to_string(m_expectedSize) +
                             "   URL=" + m_url + response.headerText,
         470, kEstablish);
}

void CDownloadThread::DownloadBits(Attempt& attempt)
{
    attempt.gotData = false;
    const HINTERNET request = m_handles.request.Get();
    const bool endKnown = EndKnown();
    uint64_t remaining = endKnown ? m_endOffset - attempt.currentOffset + 1 : 0;
    uint64_t received = 0;
    CRefPtr<CWriteOutputThread> writer(new CWriteOutputThread(m_outputPath, m_startOffset, attempt.currentOffset,
                                                              kBufferCount, kBlockSize, m_totalSize, m_streamIndex,
                                                              m_threadsUsed, attempt.lastModified, attempt.etag));
    if (!StartWriter(writer))
        return;
    bool readFailed = false;
    bool overrun = false;
    DWORD read = 0;
    uint32_t bufferIndex = 0;
    for (;;) {
        bufferIndex = (bufferIndex + 1) % kBufferCount;
        unsigned char* buffer = writer->GetBuffer(bufferIndex);
        if (IsStopRequested())
            break;
        DWORD size = kBlockSize;
        bool finalChunk = false;
        if (endKnown) {
            if (remaining == 0) {
                size = 1; // past the range's end only the end of the answer may come
            } else if (remaining <= kBlockSize) {
                size = static_cast<DWORD>(remaining);
                finalChunk = true;
            } else if (remaining < 2 * kBlockSize) {
                size = static_cast<DWORD>(remaining - kBlockSize);
            }
        }
        read = 0;
        const BOOL ok = InternetReadFile(request, buffer, size, &read);
        if (IsStopRequested())
            break;
        if (!ok) {
            readFailed = true;
            break;
        }
        if (read == 0) {
            attempt.answerEnded = true;
            writer->SignalInputComplete();
            writer->Join();
            break;
        }
        if (endKnown && read > remaining) {
            overrun = true;
            break;
        }
        lastDataTick = GetTickCount64();
        received += read;
        remaining -= read;
        attempt.gotData = true;
        if (finalChunk && !m_owner->WaitForAllStreams(m_streamIndex, this))
            break;
        writer->QueueWrite(bufferIndex, read);
        Report(false, false, false, attempt.currentOffset - m_startOffset + received, received, read,
               CRefPtr<CException>());
    }

    if (readFailed) {
        const DWORD lastError = GetLastError();
        writer->Stop(INFINITE);
        if (IsStopRequested())
            return;
        DWORD code = 0;
        char text[1025] = {};
        DWORD length = sizeof(text) - 1;
        if (!InternetGetLastResponseInfoA(&code, text, &length))
            text[0] = '\0';
        Fail(attempt, true, "InternetReadFile Error.  Status=" + std::to_string(lastError) + " BytesRead=" +
                                std::to_string(read) + " InternetGetLastResponseInfo: " + std::to_string(code) + "," +
                                text,
             533, kDownloadBits);
    }
    if (overrun) {
        // Nothing past the end is written: the writer drops what is queued, and the download
        // fails at once (a server that sends more than the file never sends the file).
        writer->Stop(INFINITE);
        if (IsStopRequested())
            return;
        Fail(attempt, false, "The server sent more than the " + std::to_string(m_endOffset - m_startOffset + 1) +
                                 " bytes of the range.  URL=" + m_url,
             537, kDownloadBits);
    }

    CRefPtr<CException> writerError = writer->GetError();
    writer->Stop(INFINITE);
    if (IsStopRequested())
        return;
    if (writerError)
        ThrowException(*writerError, "DownloadThread", kSource, 541, kDownloadBits);
    if (remaining == 0 || !endKnown) {
        Report(false, true, false, attempt.currentOffset - m_startOffset + received, received, 0,
               CRefPtr<CException>());
        return;
    }
    const std::string message = "File size error - no more bytes to read, but expected " + std::to_string(remaining) +
                                " more bytes";
    if (m_threadsUsed == 1)
        m_owner->GetWatchdog()->SignalRestartDownloadSingleStream(this, message);
    else
        m_owner->GetWatchdog()->SignalRestartDownloadMultiStream(this, message);
    Fail(attempt, true, message, 552, kDownloadBits);
}

} } } } // namespace Lm::System::Net::MultiStreamDownload
