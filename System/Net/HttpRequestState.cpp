#include "System/Net/HttpRequestState.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "System/Io/File.h"
#include "System/Net/InternetHandleCloser.h"
#include "System/Net/InternetTimeouts.h"
#include "System/String/StringUtils.h"
#include "System/Win32/Handle.h"
#include "System/Win32/SystemInfo.h"

namespace Lm {
namespace System {
namespace Net {

using Win32::CScopedLock;

namespace {

const DWORD kChunk = 65536;
const DWORD kHeaderBuffer = 65536;
const char kFileDataVersion[] = "File-Data-Version: ";
const char kLastModified[] = "Last-Modified: ";
const char kContentLength[] = "Content-Length: ";
const char kUrl[] = "Url: ";

// The line starts with name, in any case, directly followed by a colon.
bool IsHeaderLine(const std::string& line, const std::string& name)
{
    return line.size() > name.size() && line[name.size()] == ':' &&
           String::EqualsNoCase(line.substr(0, name.size()), name);
}

// The NUL-separated lines of a header buffer, within the bytes WinINet returned.
std::vector<std::string> SplitHeaderLines(const char* buffer, size_t length)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i <= length; ++i) {
        if (i == length || buffer[i] == '\0') {
            if (i > start)
                lines.emplace_back(buffer + start, i - start);
            start = i + 1;
        }
    }
    return lines;
}

// Raw header lookup: "Status-Code" is the text between the first and the second blank of the
// status line (nothing when longer than 61 bytes); any other name the text after the colon of
// the first line that starts with the name (in any case) and a colon. found is false without one.
std::string RawHeaderValue(const std::vector<std::string>& lines, const char* name, bool& found)
{
    found = false;
    if (lines.empty())
        return std::string();
    if (strcmp(name, "Status-Code") == 0) {
        const std::string& status = lines[0];
        size_t first = status.find(' ');
        if (first == std::string::npos)
            return std::string();
        size_t second = status.find(' ', first + 1);
        std::string code = status.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
        if (code.size() > 61)
            return std::string();
        found = true;
        return code;
    }
    for (size_t i = 1; i < lines.size(); ++i) {
        if (IsHeaderLine(lines[i], name)) {
            found = true;
            return lines[i].substr(strlen(name) + 1);
        }
    }
    return std::string();
}

// The file's size, 0 when it is missing.
std::int64_t FileSizeOrZero(const std::wstring& path)
{
    const std::int64_t size = path.empty() ? -1 : Win32::GetFileSize64(path);
    return size < 0 ? 0 : size;
}

void CreateParentFolder(const std::wstring& path)
{
    // Errors are ignored: opening the file reports what matters.
    for (size_t slash = path.find_first_of(L"\\/", 3); slash != std::wstring::npos;
         slash = path.find_first_of(L"\\/", slash + 1))
        CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
}

// "bytes <first>-..." whose first byte is start.
bool ContentRangeStartsAt(const std::string& value, std::int64_t start)
{
    const size_t begin = value.find_first_not_of(" \t");
    if (begin == std::string::npos || value.compare(begin, 6, "bytes ") != 0)
        return false;
    const std::string first = value.substr(begin + 6, value.find('-', begin + 6) - begin - 6);
    if (first.empty() || first.find_first_not_of("0123456789") != std::string::npos)
        return false;
    return _atoi64(first.c_str()) == start;
}

double Percent(double n, double d)
{
    if (d == 0)
        return 1.0;
    double p = 1 + 98 * n / d;
    return p < 1 ? 1 : (p > 99 ? 99 : p);
}

} // namespace

CHttpRequestState::CHttpRequestState() : responseStream(new IO::Stream::CMemoryStream) {}

CHttpRequestState::~CHttpRequestState()
{
    CloseHandles();
}

void CHttpRequestState::CloseHandles()
{
    // An answer not read to its end may take long to close (WinINet reads the rest of it
    // first): the closer does that, and the request reports its end at once.
    CInternetHandleCloser::Close(handles, bodyEnded);
}

unsigned __stdcall CHttpRequestState::ThreadProc(void* parameter)
{
    // The reference Start took for this thread becomes the worker's own.
    CRefPtr<CHttpRequestState> self(static_cast<CHttpRequestState*>(parameter));
    self->Release();
    // No exception leaves the thread: one that escapes the transfer (memory ran out, a stream
    // refused a size) ends the request as failed, and the end of the transfer still runs.
    try {
        self->Execute();
    } catch (...) {
        CScopedLock lock(self->stateLock);
        self->Fail(HttpResultFailed, true);
    }
    try {
        self->CloseConnection();
    } catch (...) {
        CScopedLock lock(self->stateLock);
        self->Fail(HttpResultFailed, true);
        InterlockedExchange(&self->finished, 1);
        CScopedLock threadGuard(self->threadLock);
        self->workerThread.Close();
    }
    return 0;
}

bool CHttpRequestState::AbortCheck()
{
    CScopedLock lock(stateLock);
    if (abortRequested)
        failed = true;
    return abortRequested;
}

void CHttpRequestState::Fail(int code, bool setFailedState)
{
    failed = true;
    if (setFailedState)
        state = HttpStateFailed;
    if (result == HttpResultNone)
        result = code;
}

void CHttpRequestState::Execute()
{
    Win32::CCrtFile file;   // closed at the end of the transfer, also when an exception passes
    ExecuteTransfer(file);
}

// The output file, shared for reading, writing and deleting: a worker that outlives its Abort
// (a blocked call ends only at its time-out) never keeps the caller from removing or replacing
// the file. Resumable mode appends to its cache; straight into the output, a file left by an
// earlier attempt is replaced rather than appended to.
Win32::CCrtFile CHttpRequestState::OpenOutputFile(const std::wstring& path, bool append)
{
    Win32::CHandleGuard handle(CreateFileW(path.c_str(), GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!handle)
        return Win32::CCrtFile();
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle.Get()),
                                           (append ? _O_APPEND : 0) | _O_BINARY | _O_WRONLY);
    if (descriptor == -1)
        return Win32::CCrtFile();
    handle.Detach(); // the descriptor owns it now
    Win32::CCrtFile file(_fdopen(descriptor, append ? "ab" : "wb"));
    if (!file)
        _close(descriptor);
    return file;
}

void CHttpRequestState::ExecuteTransfer(Win32::CCrtFile& file)
{
    UpdateState();
    {
        CScopedLock lock(stateLock);
        if (IsResumable())
            SetUpResume();
    }
    if (!Connect() || !OpenRequest())
        return;
    AddRequestHeaders();
    std::vector<std::string> sentLines;
    if (!SendRequest() || !TakeResponseHeaders(sentLines))
        return;
    UpdateState();
    KeepSentCookies(sentLines);
    if (!OpenBodyTarget(file))
        return;
    ReadBody(file.Get());
}

// The session and the connection to the URL's host.
bool CHttpRequestState::Connect()
{
    {
        CScopedLock lock(stateLock);
        requestStopwatch.Start();
    }
    handles.session.Reset(InternetOpenA(userAgent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, "", "", 0));
    if (!handles.session) {
        CScopedLock lock(stateLock);
        Fail(HttpResultOpenFailed, false);
        return false;
    }
    // Explicit time-outs, set again on the request handle below.
    SetInternetTimeouts(handles.session.Get());

    UpdateState();
    if (AbortCheck())
        return false;
    handles.connect.Reset(InternetConnectA(handles.session.Get(), url.GetHost().c_str(),
                                           static_cast<INTERNET_PORT>(url.GetPort()), "", nullptr,
                                           INTERNET_SERVICE_HTTP, 0, 0));
    if (!handles.connect) {
        CScopedLock lock(stateLock);
        Fail(HttpResultConnectFailed, false);
        return false;
    }
    UpdateState();
    return !AbortCheck();
}

bool CHttpRequestState::OpenRequest()
{
    const char* acceptTypes[] = {accept.empty() ? "*/*" : accept.c_str(), nullptr};
    CCookieCollection* cookies = cookieContainer ? cookieContainer->FindCollection(url) : nullptr;
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION;
    if (url.GetScheme() == "https")
        flags |= INTERNET_FLAG_SECURE;
    if (cookies != nullptr && cookies->GetCount() > 0)
        flags |= INTERNET_FLAG_NO_COOKIES;
    handles.request.Reset(HttpOpenRequestA(handles.connect.Get(), method.c_str(), url.GetPathAndQuery().c_str(),
                                           "HTTP/1.1", "", acceptTypes, flags, 0));
    if (!handles.request) {
        CScopedLock lock(stateLock);
        Fail(HttpResultOpenRequestFailed, false);
        return false;
    }
    SetInternetTimeouts(handles.request.Get());
    return !AbortCheck();
}

// Connection, Content-Type, the container's cookies, the conditional header and the range, each
// only when it has a value.
void CHttpRequestState::AddRequestHeaders()
{
    const HINTERNET request = handles.request.Get();
    auto addHeader = [request](const char* name, const std::string& value) {
        if (value.empty())
            return;
        std::string line = std::string(name) + ": " + value + "\r\n";
        HttpAddRequestHeadersA(request, line.c_str(), static_cast<DWORD>(-1), HTTP_ADDREQ_FLAG_ADD);
    };
    addHeader("Connection", connection);
    addHeader("Content-Type", contentType);
    CCookieCollection* cookies = cookieContainer ? cookieContainer->FindCollection(url) : nullptr;
    if (cookies != nullptr) {
        std::string text;
        for (size_t i = 0; i < cookies->GetCount(); ++i) {
            if (i > 0)
                text += ";";
            text += cookies->GetAt(i)->GetName() + "=" + cookies->GetAt(i)->GetValue();
        }
        addHeader("Cookie", text);
    }
    if (sendIfModifiedSince)
        addHeader("If-Modified-Since", conditionalValue);
    if (sendIfRange)
        addHeader("If-Range", conditionalValue);
    if (rangeStart >= 0 || rangeEnd >= 0) {
        std::string range = "bytes=";
        if (rangeStart >= 0 && rangeEnd >= 0)
            range += std::to_string(rangeStart) + "-" + std::to_string(rangeEnd);
        else if (rangeStart >= 0)
            range += std::to_string(rangeStart) + "-";
        else
            range += "-" + std::to_string(rangeEnd);
        addHeader("Range", range);
    }
}

bool CHttpRequestState::SendRequest()
{
    UpdateState();
    std::string extra;
    for (size_t i = 0; i < extraHeaders.size(); ++i)
        extra += (i > 0 ? "\r\n" : "") + extraHeaders[i];
    // A failed send is not tested here: it shows as missing response headers afterwards.
    HttpSendRequestA(handles.request.Get(), extra.empty() ? nullptr : extra.c_str(), static_cast<DWORD>(extra.size()),
                     postData.empty() ? nullptr : postData.data(), static_cast<DWORD>(postData.size()));
    return !AbortCheck();
}

// The request headers as sent (for the cookies) and the response's: status, lengths and what
// they mean for the body about to come.
bool CHttpRequestState::TakeResponseHeaders(std::vector<std::string>& sentLines)
{
    const HINTERNET request = handles.request.Get();
    std::vector<char> sent(kHeaderBuffer), received(kHeaderBuffer);
    DWORD sentLength = kHeaderBuffer, receivedLength = kHeaderBuffer;
    BOOL sentOk = HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS | HTTP_QUERY_FLAG_REQUEST_HEADERS, sent.data(),
                                 &sentLength, nullptr);
    BOOL receivedOk = HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS, received.data(), &receivedLength, nullptr);
    // A failed query leaves the buffer undefined: nothing is read from it, and no headers count.
    if (!receivedOk || receivedLength >= kHeaderBuffer)
        receivedLength = 0;
    sentLines = SplitHeaderLines(sent.data(), sentOk && sentLength < kHeaderBuffer ? sentLength : 0);
    std::vector<std::string> lines = SplitHeaderLines(received.data(), receivedLength);

    CScopedLock lock(stateLock);
    if (receivedLength > 0)
        responseHeaders = lines;
    bool found;
    std::string lengthText = RawHeaderValue(lines, "Content-Length", found);
    std::int64_t length = found && !lengthText.empty() ? _atoi64(lengthText.c_str()) : -1;
    declaredLength = 0;
    lengthKnown = length >= 0;
    if (lengthKnown) {
        if (static_cast<std::uint64_t>(length) > static_cast<std::uint64_t>(maxContentLength) ||
            (cachePath.empty() && !IO::Stream::CMemoryStream::CanHold(length))) {
            Fail(HttpResultTooLarge, true);
            return false;
        }
        declaredLength = length;
        if (totalSize == 0)
            totalSize = length;
    }
    std::string status = RawHeaderValue(lines, "Status-Code", found);
    httpStatus = found ? atoi(status.c_str()) : -1;
    if (receivedLength == 0) {
        headersReceived = false;
        return false;
    }
    headersReceived = true;
    if (IsExpectedBody() && lengthKnown && declaredLength != expectedLength) {
        // Not the body asked for: nothing of it is read.
        Fail(HttpResultWrongLength, true);
        return false;
    }
    if (sendIfRange && httpStatus == 206 && IsResumable() &&
        !ContentRangeStartsAt(RawHeaderValue(lines, "Content-Range", found), rangeStart)) {
        // Not the rest of the cache: appending it would corrupt the file. The cache goes, so
        // that the next request starts afresh.
        DeleteFileW(cachePath.c_str());
        DeleteFileW(fileDataPath.c_str());
        Fail(HttpResultFailed, true);
        return false;
    }
    if (sendIfRange && httpStatus == 200 && IsResumable()) {
        // The server sent the whole resource instead of the rest: start over from 0.
        DeleteFileW(cachePath.c_str());
        ReadFileData();
        DeleteFileW(fileDataPath.c_str());
        rangeStart = rangeEnd = -1;
    }
    return true;
}

void CHttpRequestState::KeepSentCookies(const std::vector<std::string>& sentLines)
{
    bool cookieFound = false;
    std::string cookieLine = RawHeaderValue(sentLines, "Cookie", cookieFound);
    if (cookieFound && cookieContainer) {
        CScopedLock lock(stateLock);
        cookieLine.push_back('\0');
        cookieContainer->GetOrCreateCollection(url).AddCookiesFromBuffer(&cookieLine[0]);
    }
}

// The output file, or the memory stream sized once from the declared length.
bool CHttpRequestState::OpenBodyTarget(Win32::CCrtFile& file)
{
    std::wstring target;
    {
        CScopedLock lock(stateLock);
        target = cachePath;
        if (target.empty() && lengthKnown)
            responseStream->SetCapacity(declaredLength);
    }
    if (target.empty())
        return true;
    file = OpenOutputFile(target, IsResumable());
    if (file)
        return true;
    CScopedLock lock(stateLock);
    Fail(HttpResultOutputFileFailed, true);
    return false;
}

void CHttpRequestState::ReadBody(FILE* file)
{
    const HINTERNET request = handles.request.Get();
    std::vector<char> buffer(kChunk);
    std::int64_t position;
    std::int64_t remaining;
    bool known;
    std::uint64_t limit;
    bool errorPage;
    std::int64_t expected;   // the length this body must have, -1 when none
    std::int64_t bodyBytes = 0;
    {
        CScopedLock lock(stateLock);
        // In resumable mode an error page never reaches the cache.
        errorPage = IsResumable() && httpStatus >= 400 && httpStatus <= 505;
        expected = IsExpectedBody() ? expectedLength : -1;
        position = IsResumable() ? FileSizeOrZero(cachePath) : 0;
        known = lengthKnown;
        remaining = declaredLength;
        limit = static_cast<std::uint64_t>(maxContentLength);
        if (file == nullptr && limit > static_cast<std::uint64_t>(IO::Stream::CMemoryStream::kMaxLength))
            limit = static_cast<std::uint64_t>(IO::Stream::CMemoryStream::kMaxLength);
    }
    ULONGLONG lastUpdate = GetTickCount64();
    for (;;) {
        DWORD chunk = known && remaining < static_cast<std::int64_t>(kChunk) ? static_cast<DWORD>(remaining) : kChunk;
        {
            CScopedLock lock(stateLock);
            readStopwatch.Reset();
            readStopwatch.Start();
        }
        DWORD n = 0;
        BOOL ok = chunk == 0 ? TRUE : InternetReadFile(request, buffer.data(), chunk, &n);
        {
            CScopedLock lock(stateLock);
            if (AbortCheck())
                return;
            readStopwatch.Pause();
            bytesRead += n;
        }
        if (!ok) {
            char info[1024];
            DWORD error = 0, infoLength = sizeof(info);
            InternetGetLastResponseInfoA(&error, info, &infoLength);
            CScopedLock lock(stateLock);
            Fail(HttpResultReadFailed, false);
            return;
        }
        position += n;
        bodyBytes += n;
        if (expected >= 0 && bodyBytes > expected) {
            // Longer than the body asked for: the excess is not written.
            CScopedLock lock(stateLock);
            Fail(HttpResultWrongLength, true);
            return;
        }
        if (static_cast<std::uint64_t>(position) > limit) {
            CScopedLock lock(stateLock);
            Fail(HttpResultTooLarge, true);
            return;
        }
        if (n > 0) {
            if (file != nullptr) {
                if (!errorPage) {
                    errno = 0;
                    if (fwrite(buffer.data(), 1, n, file) != n) {
                        int code = errno == ENOSPC ? HttpResultDiskFull : HttpResultShortWrite;
                        CScopedLock lock(stateLock);
                        Fail(code, true);
                        return;
                    }
                }
            } else {
                // Through the append cursor, so that the caller reads the body from its start.
                responseStream->WriteCur(1, buffer.data(), static_cast<int>(n));
            }
        }
        if (known)
            remaining -= n;
        if (n == 0) {
            bodyEnded = true;
            // The end of the body. Before its declared length it is a truncated download; short
            // of the expected length (none declared) it is not the body asked for.
            if (known && remaining > 0) {
                CScopedLock lock(stateLock);
                Fail(HttpResultReadFailed, false);
            } else if (expected >= 0 && bodyBytes != expected) {
                CScopedLock lock(stateLock);
                Fail(HttpResultWrongLength, true);
            }
            return;
        }
        if ((!known || remaining > 0) && GetTickCount64() - lastUpdate > 50) {
            UpdateState();
            lastUpdate = GetTickCount64();
        }
        if (AbortCheck())
            return;
        if (n < chunk) {
            Sleep(100);
            if (AbortCheck())
                return;
        }
    }
}

float CHttpRequestState::GetProgressPercent()
{
    CScopedLock lock(stateLock);
    std::int64_t start = rangeStart > 0 && rangeEnd < 0 ? rangeStart : 0;
    if (finished)
        return 100.0f;
    if (httpStatus < 0) {
        if (totalSize != 0 && start != 0)
            return static_cast<float>(Percent(static_cast<double>(start), static_cast<double>(totalSize)));
        return 0.0f;
    }
    std::int64_t contentLength = lengthKnown ? declaredLength : -1;
    std::uint64_t total = contentLength != 0
                              ? static_cast<std::uint64_t>(contentLength) + static_cast<std::uint64_t>(start)
                              : static_cast<std::uint64_t>(totalSize);
    if (total == 0)
        return 22.0f;
    return static_cast<float>(Percent(static_cast<double>(bytesRead + start), static_cast<double>(total)));
}

void CHttpRequestState::UpdateState()
{
    CScopedLock lock(stateLock);
    CScopedLock notify(notifyLock);
    if (abortRequested) {
        failed = true;
        return;
    }
    // A failed transfer records nothing: its cache may have been dropped as not the resource's.
    if (IsResumable() && !fileDataWritten && !failed) {
        std::string lastModified = GetHeaderValue("Last-Modified", "");
        std::string lengthText = GetHeaderValue("Content-Range", "");
        size_t slash = lengthText.rfind('/');
        lengthText = slash == std::string::npos ? std::string() : lengthText.substr(slash + 1);
        if (lengthText == "*")
            lengthText.clear();
        if (lengthText.empty())
            lengthText = GetHeaderValue("Content-Length", "");
        if (lengthText.empty())
            lengthText = std::to_string(storedLengthKnown ? storedLength : 0);
        if (!lastModified.empty()) {
            WriteFileData(lastModified, _atoi64(lengthText.c_str()), url.ToString());
            fileDataWritten = true;
        }
    }
    if (GetProgressPercent() == 100.0f) {
        if (!failed) {
            if (IsResumable() && (httpStatus == 200 || httpStatus == 206))
                CommitCacheFile();
            else if (IsResumable() && httpStatus == 304)
                DeleteFileW(cachePath.c_str());
            state = (httpStatus >= 200 && httpStatus <= 299) || httpStatus == 304 ? HttpStateDone : HttpStateFailed;
        } else {
            state = HttpStateFailed;
        }
        if (result == HttpResultNone)
            result = state == HttpStateDone ? HttpResultDone : (failed ? HttpResultFailed : HttpResultHttpFailure);
    }
}

void CHttpRequestState::CloseConnection()
{
    {
        CScopedLock lock(stateLock);
        readStopwatch.Pause();
        requestStopwatch.Pause();
    }
    CloseHandles();
    {
        CScopedLock lock(stateLock);
        if (!lengthKnown) {
            declaredLength = bytesRead;
            if (totalSize == 0)
                totalSize = bytesRead;
        }
        InterlockedExchange(&finished, 1);
    }
    UpdateState();
    CScopedLock lock(stateLock);
    {
        CScopedLock threadGuard(threadLock);
        workerThread.Close();
    }
    if (!pendingOutputPath.empty()) {
        cachePath = pendingOutputPath;
        pendingOutputPath.clear();
        fileDataWritten = false;
        if (!cachePath.empty() && !outputPath.empty())
            SetCacheFileNames();
    }
}

void CHttpRequestState::SetOutputPath(const std::wstring& path)
{
    CScopedLock lock(stateLock);
    bool running;
    {
        CScopedLock threadGuard(threadLock);
        running = workerThread.IsValid();
    }
    if (running) {
        pendingOutputPath = path;
        return;
    }
    cachePath = path;
    fileDataWritten = false;
    if (!cachePath.empty() && !outputPath.empty())
        SetCacheFileNames();
}

void CHttpRequestState::SetCacheFileNames()
{
    outputPath = cachePath;
    if (!outputPath.empty()) {
        cachePath = outputPath + L"_cache";
        fileDataPath = outputPath + L"_filedata";
    }
}

std::string CHttpRequestState::GetHeaderValue(const std::string& name, const std::string& defaultValue)
{
    CScopedLock lock(stateLock);
    for (const std::string& line : responseHeaders) {
        if (IsHeaderLine(line, name)) {
            size_t value = line.find_first_not_of(" \t", name.size() + 1);
            return value == std::string::npos ? std::string() : line.substr(value);
        }
    }
    return defaultValue;
}

// Resumable set-up, under stateLock: resume from the cache when it is worth it.
void CHttpRequestState::SetUpResume()
{
    ReadFileData();
    std::int64_t cacheSize = FileSizeOrZero(cachePath);
    bool resume = false;
    if (!keepCacheOnUrlChange && storedUrl != url.ToString()) {
        DeleteFileW(fileDataPath.c_str());
        ReadFileData();
        DeleteFileW(cachePath.c_str());
        fileDataWritten = false;
    } else if (!storedLastModifiedKnown || storedLastModified.empty()) {
        // Without a validator the server cannot tell whether the cache still belongs to the
        // resource (If-Range): no resume.
        DeleteFileW(cachePath.c_str());
    } else if (cacheSize < 100) {
        DeleteFileW(cachePath.c_str());
    } else if (storedLengthKnown && cacheSize >= storedLength) {
        DeleteFileW(fileDataPath.c_str());
        ReadFileData();
        DeleteFileW(cachePath.c_str());
    } else {
        resume = true;
        rangeStart = cacheSize;
        rangeEnd = -1;
        if (storedLengthKnown && storedLength != 0)
            totalSize = storedLength;
    }
    if (storedLastModifiedKnown) {
        if (resume) {
            conditionalValue = storedLastModified;
            sendIfRange = true;
        } else if (IO::CFile::Exists(outputPath)) {
            conditionalValue = storedLastModified;
            sendIfModifiedSince = true;
        }
    }
}

void CHttpRequestState::ReadFileData()
{
    storedLastModifiedKnown = false;
    storedLengthKnown = false;
    storedUrl.clear();
    if (!IO::CFile::Exists(outputPath) && !IO::CFile::Exists(cachePath))
        return;
    Win32::CCrtFile f;
    if (_wfopen_s(f.Receive(), fileDataPath.c_str(), L"r") != 0 || !f)
        return;
    char line[3072];
    while (fgets(line, sizeof(line), f.Get()) != nullptr) {
        size_t n = strlen(line);
        while (n > 0 && (line[n - 1] == '\r' || line[n - 1] == '\n'))
            line[--n] = '\0';
        if (strncmp(line, kLastModified, sizeof(kLastModified) - 1) == 0) {
            storedLastModified = line + sizeof(kLastModified) - 1;
            storedLastModifiedKnown = true;
        } else if (strncmp(line, kContentLength, sizeof(kContentLength) - 1) == 0) {
            storedLength = _atoi64(line + sizeof(kContentLength) - 1);
            storedLengthKnown = true;
        } else if (strncmp(line, kUrl, sizeof(kUrl) - 1) == 0) {
            storedUrl = line + sizeof(kUrl) - 1;
        }
    }
}

void CHttpRequestState::WriteFileData(const std::string& lastModified, std::int64_t length, const std::string& urlText)
{
    CreateParentFolder(fileDataPath);
    Win32::CCrtFile f;
    if (_wfopen_s(f.Receive(), fileDataPath.c_str(), L"wb") != 0 || !f)
        return;
    fprintf(f.Get(), "%s%d\r\n", kFileDataVersion, 1);
    fprintf(f.Get(), "%s%s\r\n", kLastModified, lastModified.c_str());
    fprintf(f.Get(), "%s%s\r\n", kContentLength, std::to_string(length).c_str());
    fprintf(f.Get(), "%s%s\r\n", kUrl, urlText.c_str());
}

void CHttpRequestState::CommitCacheFile()
{
    if (cachePath.empty() || outputPath.empty())
        return;
    _wremove(outputPath.c_str());
    _wrename(cachePath.c_str(), outputPath.c_str());
}

} // namespace Net
} // namespace System
} // namespace Lm
