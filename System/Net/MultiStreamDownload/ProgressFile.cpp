#include "System/Net/MultiStreamDownload/ProgressFile.h"

#include <cstring>

#include "System/Crc32.h"
#include "System/Exception.h"
#include "System/Net/MultiStreamDownload/DownloadFiles.h"
#include "System/String/AnsiWide.h"
#include "System/Win32/Handle.h"

namespace Lm { namespace System { namespace Net { namespace MultiStreamDownload {

namespace {

const char kSource[] = "Lm\\System\\Net\\MultiStreamDownload\\ProgressFile.cpp";

void PutU32(unsigned char* at, uint32_t value)
{
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
    at[2] = static_cast<unsigned char>(value >> 16);
    at[3] = static_cast<unsigned char>(value >> 24);
}

uint32_t GetU32(const unsigned char* at)
{
    return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
           (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

bool IsExistingFile(const std::wstring& name)
{
    DWORD attributes = GetFileAttributesW(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Pause after failed try n (1..9): (n + 1)^2 * 2 ms, 768 ms over all nine.
DWORD RetryPause(int failedTry)
{
    return static_cast<DWORD>((failedTry + 1) * (failedTry + 1) * 2);
}

// Reads exactly size bytes from the whole file; false on any failure or a short file.
bool ReadRecord(HANDLE file, unsigned char* bytes, DWORD size)
{
    DWORD read = 0;
    return ReadFile(file, bytes, size, &read, nullptr) && read == size;
}

bool WriteRecord(HANDLE file, const unsigned char* bytes, DWORD size)
{
    DWORD done = 0;
    while (done < size) {
        DWORD written = 0;
        if (!WriteFile(file, bytes + done, size - done, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}

// Writes size bytes at offset 0 of a file opened for synchronous writing: a seek, then a plain
// write. The writer of a stream does this after every block, so no OVERLAPPED: a write that
// carries one also posts its completion (under Wine a wineserver round trip, four times the cost
// of the seek and the write together).
bool WriteRecordAtStart(HANDLE file, const unsigned char* bytes, DWORD size)
{
    LARGE_INTEGER start = {};
    return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) && WriteRecord(file, bytes, size);
}

void DeleteIfPresent(const std::wstring& name)
{
    // A missing file is the wanted outcome; any other failure leaves a file that the next
    // Read rejects or the next Write replaces, so it is safe to ignore here.
    DeleteFileW(name.c_str());
}

} // namespace

HANDLE OpenFileWithRetry(const std::wstring& name, DWORD access, DWORD share, DWORD disposition)
{
    return OpenFileWithRetryUntilStopped(name, access, share, disposition, nullptr);
}

HANDLE OpenFileWithRetryUntilStopped(const std::wstring& name, DWORD access, DWORD share,
                                     DWORD disposition, HANDLE stopEvent)
{
    for (int attempt = 1; attempt <= 10; ++attempt) {
        HANDLE file = CreateFileW(name.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            return file;
        if (attempt == 10)
            break;
        if (stopEvent) {
            if (WaitForSingleObject(stopEvent, RetryPause(attempt)) != WAIT_TIMEOUT)
                break;
        } else {
            Sleep(RetryPause(attempt));
        }
    }
    return INVALID_HANDLE_VALUE;
}

// ---------------------------------------------------------------------------------------------

DownloadProgress::DownloadProgress(const std::wstring& target)
    : Version(kVersion), TotalSize(0), ThreadsUsed(0), Crc(0), m_target(target)
{
}

DownloadProgress::DownloadProgress(const std::wstring& target, uint32_t threadsUsed, uint32_t totalSize)
    : Version(kVersion), TotalSize(totalSize), ThreadsUsed(threadsUsed), Crc(0), m_target(target)
{
}

void DownloadProgress::Serialize(unsigned char (&bytes)[kRecordSize]) const
{
    PutU32(bytes + 0, Version);
    PutU32(bytes + 4, TotalSize);
    PutU32(bytes + 8, ThreadsUsed);
    PutU32(bytes + 12, Crc);
}

uint32_t DownloadProgress::ComputeCrc() const
{
    unsigned char bytes[kRecordSize];
    Serialize(bytes);
    return Crc32(bytes, 12);
}

std::wstring DownloadProgress::FileName() const
{
    return StateFileName(m_target);
}

std::string DownloadProgress::Text() const
{
    return ";  " + Lm::Utf16ToMBCS_CP(CP_ACP, m_target) + "; Version=" + std::to_string(Version) +
           "; ThreadsUsed=" + std::to_string(ThreadsUsed);
}

bool DownloadProgress::Read()
{
    const std::wstring name = FileName();
    if (!IsExistingFile(name))
        return false;
    Win32::CHandleGuard file(OpenFileWithRetry(name, GENERIC_READ, 0, OPEN_EXISTING));
    if (!file.IsValid())
        return false;
    unsigned char bytes[kRecordSize];
    if (!ReadRecord(file.Get(), bytes, kRecordSize))
        return false;
    Version = GetU32(bytes + 0);
    TotalSize = GetU32(bytes + 4);
    ThreadsUsed = GetU32(bytes + 8);
    Crc = GetU32(bytes + 12);
    return Crc32(bytes, 12) == Crc;
}

void DownloadProgress::Write()
{
    Crc = ComputeCrc();
    unsigned char bytes[kRecordSize];
    Serialize(bytes);
    Win32::CHandleGuard file(OpenFileWithRetry(FileName(), GENERIC_WRITE, 0, CREATE_ALWAYS));
    if (!file.IsValid())
        ThrowException("File open failed" + Text(), kSource, 118,
                       "Lm::System::Net::MultiStreamDownload::DownloadProgress::Write");
    if (!WriteRecord(file.Get(), bytes, kRecordSize))
        ThrowException("Write download progress failed" + Text(), kSource, 122,
                       "Lm::System::Net::MultiStreamDownload::DownloadProgress::Write");
}

void DownloadProgress::Delete()
{
    DeleteIfPresent(FileName());
}

// ---------------------------------------------------------------------------------------------

StreamProgress::StreamProgress(const std::wstring& target, uint32_t streamIndex)
    : Version(kVersion), StreamIndex(streamIndex), Offset(0), DownloadSize(0), ThreadsUsed(0), LastModified(),
      Padding(), Crc(0), m_target(target)
{
}

StreamProgress::StreamProgress(const std::wstring& target, uint32_t streamIndex, uint32_t offset,
                               uint32_t downloadSize, const std::string& lastModified, uint32_t threadsUsed)
    : Version(kVersion), StreamIndex(streamIndex), Offset(offset), DownloadSize(downloadSize),
      ThreadsUsed(threadsUsed), LastModified(), Padding(), Crc(0), m_target(target)
{
    SetLastModified(lastModified);
}

std::string StreamProgress::GetLastModified() const
{
    size_t length = 0;
    while (length < kLastModifiedSize && LastModified[length] != '\0')
        ++length;
    return std::string(LastModified, length);
}

void StreamProgress::SetLastModified(const std::string& text)
{
    std::memset(LastModified, 0, sizeof(LastModified));
    std::memcpy(LastModified, text.data(), text.size() < kLastModifiedSize - 1 ? text.size() : kLastModifiedSize - 1);
}

void StreamProgress::Serialize(unsigned char (&bytes)[kRecordSize]) const
{
    PutU32(bytes + 0, Version);
    PutU32(bytes + 4, StreamIndex);
    PutU32(bytes + 8, Offset);
    PutU32(bytes + 12, DownloadSize);
    PutU32(bytes + 16, ThreadsUsed);
    std::memcpy(bytes + 20, LastModified, kLastModifiedSize);
    bytes[70] = Padding[0];
    bytes[71] = Padding[1];
    PutU32(bytes + 72, Crc);
}

uint32_t StreamProgress::ComputeCrc() const
{
    unsigned char bytes[kRecordSize];
    Serialize(bytes);
    return Crc32(bytes, 72);
}

std::wstring StreamProgress::FileName() const
{
    return StreamRecordFileName(m_target, StreamIndex);
}

std::string StreamProgress::Text() const
{
    return ";  " + Lm::Utf16ToMBCS_CP(CP_ACP, m_target) + "; Version=" + std::to_string(Version) +
           "; StreamIndex=" + std::to_string(StreamIndex) + "; Offset=" + std::to_string(Offset) +
           "; DownloadSize=" + std::to_string(DownloadSize) + "; ThreadsUsed=" + std::to_string(ThreadsUsed) +
           "; LastModified=" + GetLastModified();
}

bool StreamProgress::Read(HANDLE stopEvent)
{
    const std::wstring name = FileName();
    if (!IsExistingFile(name))
        return false;
    Win32::CHandleGuard file(OpenFileWithRetryUntilStopped(name, GENERIC_READ, 0, OPEN_EXISTING, stopEvent));
    if (!file.IsValid())
        return false;
    unsigned char bytes[kRecordSize];
    if (!ReadRecord(file.Get(), bytes, kRecordSize))
        return false;
    Version = GetU32(bytes + 0);
    StreamIndex = GetU32(bytes + 4);
    Offset = GetU32(bytes + 8);
    DownloadSize = GetU32(bytes + 12);
    ThreadsUsed = GetU32(bytes + 16);
    std::memcpy(LastModified, bytes + 20, kLastModifiedSize);
    Padding[0] = bytes[70];
    Padding[1] = bytes[71];
    Crc = GetU32(bytes + 72);
    return Crc32(bytes, 72) == Crc;
}

void StreamProgress::Write(HANDLE stopEvent)
{
    Win32::CHandleGuard file(Open(stopEvent));
    Rewrite(file.Get());
}

HANDLE StreamProgress::Open(HANDLE stopEvent)
{
    HANDLE file = OpenFileWithRetryUntilStopped(FileName(), GENERIC_WRITE, 0, CREATE_ALWAYS, stopEvent);
    if (file == INVALID_HANDLE_VALUE)
        ThrowException("File open failed" + Text(), kSource, 241,
                       "Lm::System::Net::MultiStreamDownload::StreamProgress::Write");
    return file;
}

void StreamProgress::Rewrite(HANDLE file)
{
    Padding[0] = Padding[1] = 0;
    Crc = ComputeCrc();
    unsigned char bytes[kRecordSize];
    Serialize(bytes);
    if (!WriteRecordAtStart(file, bytes, kRecordSize))
        ThrowException("Write stream progress failed" + Text(), kSource, 245,
                       "Lm::System::Net::MultiStreamDownload::StreamProgress::Write");
}

void StreamProgress::Delete()
{
    DeleteIfPresent(FileName());
}

} } } } // namespace Lm::System::Net::MultiStreamDownload
