#include "System/Net/MultiStreamDownload/DownloadThread.h"

#include <cstring>
#include <vector>

#include "System/Net/InternetTimeouts.h"
#include "System/Net/MultiStreamDownload/HTTPDownload.h"
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

bool DigitsToU32(const std::string& s, size_t begin, size_t end, uint32_t& value)
{
    if (!IsDigits(s, begin, end))
        return false;
    uint64_t v = 0;
    for (size_t i = begin; i < end; ++i) {
        v = v * 10 + static_cast<uint64_t>(s[i] - '0');
        if (v > 0xFFFFFFFFull)
            return false;
    }
    value = static_cast<uint32_t>(v);
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

bool ParseDecimalU32(const std::string& text, uint32_t& value)
{
    size_t begin = text.find_first_not_of(" \t");
    size_t end = text.find_last_not_of(" \t");
    if (begin == std::string::npos)
        return false;
    return DigitsToU32(text, begin, end + 1, value);
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
    if (!DigitsToU32(text, unit.size(), dash, r.first) || !DigitsToU32(text, dash + 1, slash, r.last) ||
        r.last < r.first)
        return false;
    if (text.compare(slash + 1, std::string::npos, "*") == 0) {
        r.totalKnown = false;
    } else {
        if (!DigitsToU32(text, slash + 1, text.size(), r.total) || r.last >= r.total)
            return false;
        r.totalKnown = true;
    }
    range = r;
    return true;
}

CDownloadThread::CDownloadThread(const std::string& userAgent, const std::string& url,
                                 const std::wstring& outputPath, uint32_t startOffset, uint32_t endOffset,
                                 CHTTPDownload* owner, uint32_t totalSize, uint32_t streamIndex,
                                 uint32_t threadsUsed, uint32_t retries)
    : m_owner(owner), m_userAgent(userAgent), m_url(url), m_startOffset(startOffset), m_endOffset(endOffset),
      m_outputPath(outputPath), m_streamIndex(streamIndex), m_threadsUsed(threadsUsed), m_totalSize(totalSize),
      m_totalSizeKnown(totalSize != 0), m_singleStream(threadsUsed == 1), m_retries(retries)
{
}

CDownloadThread::~CDownloadThread()
{
    // The body uses this object's members: it ends before they go. Neither call throws.
    Stop(INFINITE);
    ReleaseHandles();
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

void CDownloadThread::Report(bool isError, bool isDone, bool authRefreshNeeded, uint32_t bytesDone,
                             uint32_t attemptBytes, const CRefPtr<CException>& error)
{
    m_owner->DownloadThreadCallback(m_streamIndex, isError, isDone, authRefreshNeeded, bytesDone, attemptBytes,
                                    error, this);
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

DWORD CDownloadThread::Execute()
{
    uint32_t attemptsLeft = m_retries + 1;
    bool timedOut = false;
    while (attemptsLeft >= 1) {
        Attempt attempt;
        CRefPtr<CException> error;

        StreamProgress record(m_outputPath, m_streamIndex);
        attempt.currentOffset = m_startOffset;
        if (record.Read(GetStopEvent().GetHandle()) && record.ThreadsUsed == m_threadsUsed && record.Offset >= m_startOffset &&
            (!m_totalSizeKnown || record.Offset <= m_endOffset + 1)) {
            attempt.resumed = true;
            attempt.currentOffset = record.Offset;
            attempt.recordSize = record.DownloadSize;
            attempt.recordLastModified = record.GetLastModified();
        }

        if (attempt.resumed && m_totalSizeKnown && attempt.currentOffset == m_endOffset + 1 && !IsStopRequested()) {
            if (!m_owner->WaitForAllStreams(m_streamIndex, this))
                return 1;
            Report(false, true, false, attempt.currentOffset - m_startOffset, 0, CRefPtr<CException>());
            return 0;
        }

        try {
            EstablishConnection(attempt, timedOut);
            if (IsStopRequested())
                break;
            if (!m_totalSizeKnown && attempt.responseTotalKnown) {
                m_totalSizeKnown = true;
                m_totalSize = attempt.responseTotal;
                m_owner->SetTotalSize(m_totalSize);
                if (m_singleStream && m_totalSize > kMultiStreamThreshold && attempt.currentOffset == 0)
                    m_owner->GetWatchdog()->SignalRestartDownloadMultiStream(
                        this, "Single stream download (at start)- was able to determine file size:  Restarting "
                              "multi-stream.");
                if (IsStopRequested())
                    break;
            }
            if (attempt.resumed) {
                const bool dateChanged = attempt.recordLastModified != attempt.lastModified &&
                                         attempt.recordLastModified != kUnknown && attempt.lastModified != kUnknown;
                const uint32_t total = attempt.responseTotalKnown ? attempt.responseTotal : m_totalSize;
                const bool sizeChanged = attempt.recordSize != total && attempt.recordSize != 0 && total != 0;
                if (dateChanged || sizeChanged) {
                    std::string reason = std::string("Detected file change(s) in: ") + (sizeChanged ? "size " : "") +
                                         " " + (dateChanged ? "modified date" : "");
                    m_owner->GetWatchdog()->SignalRestartDownloadSingleStream(this, reason);
                    if (IsStopRequested())
                        break;
                    // Refused (restart limit): the bytes on disk belong to another file, so the
                    // attempt must not append to them.
                    Fail(attempt, false, reason, 262, kExecute);
                }
            }
            DownloadBits(attempt);
        } catch (...) {
            error = WrapCurrentException("DownloadThread Execute Function", kSource, 268, kExecute);
        }
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
            Report(true, false, attempt.authRefreshNeeded, 0, 0, error);
        if (!attempt.retryable)
            return 1;
        if (attemptsLeft > 1 && WaitStopEvent((m_retries - attemptsLeft + 2) * 1000))
            return 1;
        --attemptsLeft;
    }
    ReleaseHandles();
    return 1;
}

void CDownloadThread::EstablishConnection(Attempt& attempt, bool& timedOut)
{
    m_handles.session.Reset(InternetOpenA(m_userAgent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, "", "", 0));
    if (!m_handles.session)
        Fail(attempt, true, "InternetOpen failed.", 292, kEstablish);
    // Every blocking call of the attempt ends by these at the latest; the stop waits for that.
    SetInternetTimeouts(m_handles.session.Get());
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
    const HINTERNET request = m_handles.request.Get();
    if (!request)
        Fail(attempt, true, "HttpOpenRequestW failed.  URL=" + m_url + "\r\nPath=" + Lm::Utf16ToMBCS_CP(CP_ACP, url.path),
             325, kEstablish);
    SetInternetTimeouts(request);
    if (IsStopRequested())
        return;

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
    if (IsStopRequested())
        return;

    // Raw response headers, for the messages below.
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
    const std::string headerText = "\r\nHTTP Response Header:" + responseHeaders;

    std::string statusText;
    uint32_t status = 0;
    if (!QueryHeader(request, HTTP_QUERY_STATUS_CODE, statusText) || !ParseDecimalU32(statusText, status))
        Fail(attempt, true, "HTTP status is not in header, URL=" + m_url + headerText, 374, kEstablish);

    std::string contentRangeText, contentLengthText;
    const bool hasContentRange = QueryHeader(request, HTTP_QUERY_CONTENT_RANGE, contentRangeText) &&
                                 !contentRangeText.empty();
    uint32_t contentLength = 0;
    const bool hasContentLength = QueryHeader(request, HTTP_QUERY_CONTENT_LENGTH, contentLengthText) &&
                                  ParseDecimalU32(contentLengthText, contentLength);
    CWatchdogThread* watchdog = m_owner->GetWatchdog();

    bool handled = false;
    if (status == 416) {
        watchdog->SignalRestartDownloadSingleStream(this, "HTTP status is 416.  URL=" + m_url + headerText);
        if (IsStopRequested())
            return;
    }
    if (status == 401 || status == 403) {
        attempt.authRefreshNeeded = true;
        Fail(attempt, false, "HTTP status is " + std::to_string(status) + ":  refresh auth needed.  URL=" + m_url +
                                 headerText,
             393, kEstablish);
    }
    if (status >= 400)
        Fail(attempt, true, "HTTP status is bad:" + std::to_string(status) + " URL=" + m_url + headerText, 397,
             kEstablish);

    if (status == 206) {
        // The answer must be the range asked for: the first byte is the stream's offset (also for
        // one stream resumed at n), and with two streams the last byte and the total match too.
        ContentRange range;
        const bool parsed = hasContentRange && ParseContentRange(contentRangeText, range);
        const std::string expected = "bytes " + std::to_string(attempt.currentOffset) + "-" +
                                     (m_singleStream ? std::string() : std::to_string(m_endOffset));
        if (!parsed || range.first != attempt.currentOffset || (!m_singleStream && range.last != m_endOffset))
            Fail(attempt, true, "Returned Content-Range is wrong.  Got: " + (hasContentRange ? contentRangeText : "") +
                                    "     Expected: " + expected + "   URL=" + m_url + headerText,
                 409, kEstablish);
        if (!m_singleStream) {
            if (range.totalKnown && range.total != m_totalSize)
                Fail(attempt, true, "Returned file size in Content-Range is wrong.  Got: " +
                                        std::to_string(range.total) + "     Expected: " + std::to_string(m_totalSize) +
                                        "   URL=" + m_url + headerText,
                     415, kEstablish);
        } else if (range.totalKnown) {
            attempt.responseTotal = range.total;
            attempt.responseTotalKnown = true;
            m_endOffset = range.total - 1;
        } else {
            // "/*": the total is not known; the stream reads to the end of the answer.
            m_endOffset = range.last;
        }
        handled = true;
    } else if (status == 200) {
        if (m_singleStream) {
            attempt.currentOffset = 0;
            if (hasContentLength) {
                attempt.responseTotal = contentLength;
                attempt.responseTotalKnown = true;
                m_endOffset = contentLength - 1;
            }
            handled = true;
        } else {
            watchdog->SignalRestartDownloadSingleStream(
                this, "HTTP status is 200, when 206 Partial Content was expected (OutputFileSize is Known: in "
                      "multi-stream mode)  URL=" + m_url + headerText);
            if (IsStopRequested())
                return;
            // Refused: the answer holds the file from its first byte, which belongs to stream 0,
            // never to this range.
            Fail(attempt, true, "HTTP status is 200, when 206 Partial Content was expected (OutputFileSize is Known: "
                                "in multi-stream mode)  URL=" + m_url + headerText,
                 446, kEstablish);
        }
    }
    if (!handled) {
        std::string acceptRanges;
        if (!m_singleStream && QueryHeader(request, HTTP_QUERY_ACCEPT_RANGES, acceptRanges) &&
            acceptRanges.find("none") != std::string::npos) {
            watchdog->SignalRestartDownloadSingleStream(this, "Server doesn't support ranges.  URL=" + m_url + headerText);
            if (IsStopRequested())
                return;
        }
        Fail(attempt, true, "HTTP status is unexpected (expected 206 or 200)  status=" + std::to_string(status) +
                                "  URL=" + m_url + headerText,
             460, kEstablish);
    }

    if (!QueryHeader(request, HTTP_QUERY_LAST_MODIFIED, attempt.lastModified))
        attempt.lastModified = kUnknown;
}

void CDownloadThread::DownloadBits(Attempt& attempt)
{
    attempt.gotData = false;
    const HINTERNET request = m_handles.request.Get();
    uint32_t remaining = m_endOffset - attempt.currentOffset + 1;
    uint32_t received = 0;
    CRefPtr<CWriteOutputThread> writer(new CWriteOutputThread(m_outputPath, m_startOffset, attempt.currentOffset,
                                                              kBufferCount, kBlockSize, m_totalSize, m_streamIndex,
                                                              m_threadsUsed, attempt.lastModified));
    writer->Start();
    bool readFailed = false;
    DWORD read = 0;
    uint32_t bufferIndex = 0;
    for (;;) {
        bufferIndex = (bufferIndex + 1) % kBufferCount;
        unsigned char* buffer = writer->GetBuffer(bufferIndex);
        if (IsStopRequested())
            break;
        uint32_t size = kBlockSize;
        bool finalChunk = false;
        if (m_totalSize != 0) {
            if (remaining <= kBlockSize) {
                size = remaining;
                finalChunk = true;
            } else if (remaining < 2 * kBlockSize) {
                size = remaining - kBlockSize;
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
        lastDataTick = GetTickCount64();
        received += read;
        remaining -= read;
        attempt.gotData = true;
        if (finalChunk && !m_owner->WaitForAllStreams(m_streamIndex, this))
            break;
        writer->QueueWrite(bufferIndex, read);
        Report(false, false, false, attempt.currentOffset - m_startOffset + received, received, CRefPtr<CException>());
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

    CRefPtr<CException> writerError = writer->GetError();
    writer->Stop(INFINITE);
    if (IsStopRequested())
        return;
    if (writerError)
        ThrowException(*writerError, "DownloadThread", kSource, 541, kDownloadBits);
    if (remaining == 0 || m_totalSize == 0) {
        Report(false, true, false, attempt.currentOffset - m_startOffset + received, received, CRefPtr<CException>());
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
