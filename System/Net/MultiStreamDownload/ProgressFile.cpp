#include "System/Net/MultiStreamDownload/ProgressFile.h"

#include <cstring>

#include "System/Crc32.h"
#include "System/Exception.h"
#include "System/Io/File.h"
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

void PutU64(unsigned char* at, uint64_t value)
{
    PutU32(at, static_cast<uint32_t>(value));
    PutU32(at + 4, static_cast<uint32_t>(value >> 32));
}

uint32_t GetU32(const unsigned char* at)
{
    return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
           (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

uint64_t GetU64(const unsigned char* at)
{
    return static_cast<uint64_t>(GetU32(at)) | (static_cast<uint64_t>(GetU32(at + 4)) << 32);
}

// A zero-filled text field of size bytes holding at most size - 1 characters.
void PutText(char* field, size_t size, const std::string& text)
{
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), text.size() < size - 1 ? text.size() : size - 1);
}

std::string GetText(const char* field, size_t size)
{
    size_t length = 0;
    while (length < size && field[length] != '\0')
        ++length;
    return std::string(field, length);
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
    : Version(kVersion), ThreadsUsed(0), TotalSize(0), Crc(0), m_target(target)
{
}

DownloadProgress::DownloadProgress(const std::wstring& target, uint32_t threadsUsed, uint64_t totalSize,
                                   const DownloadIdentity& identity)
    : Version(kVersion), ThreadsUsed(threadsUsed), TotalSize(totalSize), Identity(identity), Crc(0), m_target(target)
{
    if (Identity.url.size() > kMaxUrlLength)
        Identity.url.resize(kMaxUrlLength);
}

std::vector<unsigned char> DownloadProgress::Serialize() const
{
    const std::string& url = Identity.url;
    const size_t urlLength = url.size() < kMaxUrlLength ? url.size() : kMaxUrlLength;
    std::vector<unsigned char> bytes(kFixedSize + urlLength + 4, 0);
    PutU32(&bytes[0], Version);
    PutU32(&bytes[4], ThreadsUsed);
    PutU64(&bytes[8], TotalSize);
    PutU64(&bytes[16], Identity.size);
    std::memcpy(&bytes[24], Identity.sha256.data(),
                Identity.sha256.size() < kSha256Size ? Identity.sha256.size() : kSha256Size);
    PutU32(&bytes[88], static_cast<uint32_t>(urlLength));
    if (urlLength != 0)
        std::memcpy(&bytes[kFixedSize], url.data(), urlLength);
    PutU32(&bytes[kFixedSize + urlLength], Crc);
    return bytes;
}

uint32_t DownloadProgress::ComputeCrc() const
{
    const std::vector<unsigned char> bytes = Serialize();
    return Crc32(bytes.data(), bytes.size() - 4);
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
    if (!IO::CFile::Exists(name))
        return false;
    Win32::CHandleGuard file(OpenFileWithRetry(name, GENERIC_READ, 0, OPEN_EXISTING));
    if (!file.IsValid())
        return false;
    // One read of more than the largest record: a longer file is no record of this layout.
    std::vector<unsigned char> bytes(kFixedSize + kMaxUrlLength + 4 + 1);
    DWORD read = 0;
    if (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) || read < kFixedSize + 4)
        return false;
    if (GetU32(&bytes[0]) != kVersion)
        return false;
    const uint32_t urlLength = GetU32(&bytes[88]);
    if (urlLength > kMaxUrlLength || read != kFixedSize + urlLength + 4)
        return false;
    if (Crc32(bytes.data(), kFixedSize + urlLength) != GetU32(&bytes[kFixedSize + urlLength]))
        return false;
    Version = GetU32(&bytes[0]);
    ThreadsUsed = GetU32(&bytes[4]);
    TotalSize = GetU64(&bytes[8]);
    Identity.size = GetU64(&bytes[16]);
    Identity.sha256 = GetText(reinterpret_cast<const char*>(&bytes[24]), kSha256Size);
    Identity.url.assign(reinterpret_cast<const char*>(&bytes[kFixedSize]), urlLength);
    Crc = GetU32(&bytes[kFixedSize + urlLength]);
    return true;
}

void DownloadProgress::Write()
{
    Crc = ComputeCrc();
    const std::vector<unsigned char> bytes = Serialize();
    Win32::CHandleGuard file(OpenFileWithRetry(FileName(), GENERIC_WRITE, 0, CREATE_ALWAYS));
    if (!file.IsValid())
        ThrowException("File open failed" + Text(), kSource, 118,
                       "Lm::System::Net::MultiStreamDownload::DownloadProgress::Write");
    if (!WriteRecord(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size())))
        ThrowException("Write download progress failed" + Text(), kSource, 122,
                       "Lm::System::Net::MultiStreamDownload::DownloadProgress::Write");
}

void DownloadProgress::Delete()
{
    DeleteIfPresent(FileName());
}

// ---------------------------------------------------------------------------------------------

StreamProgress::StreamProgress(const std::wstring& target, uint32_t streamIndex)
    : Version(kVersion), StreamIndex(streamIndex), ThreadsUsed(0), Offset(0), DownloadSize(0), LastModified(), ETag(),
      Crc(0), m_target(target)
{
}

StreamProgress::StreamProgress(const std::wstring& target, uint32_t streamIndex, uint64_t offset,
                               uint64_t downloadSize, const std::string& lastModified, uint32_t threadsUsed,
                               const std::string& etag)
    : Version(kVersion), StreamIndex(streamIndex), ThreadsUsed(threadsUsed), Offset(offset),
      DownloadSize(downloadSize), LastModified(), ETag(), Crc(0), m_target(target)
{
    SetLastModified(lastModified);
    SetETag(etag);
}

std::string StreamProgress::GetLastModified() const
{
    return GetText(LastModified, kLastModifiedSize);
}

std::string StreamProgress::GetETag() const
{
    return GetText(ETag, kETagSize);
}

void StreamProgress::SetLastModified(const std::string& text)
{
    PutText(LastModified, kLastModifiedSize, text);
}

void StreamProgress::SetETag(const std::string& text)
{
    PutText(ETag, kETagSize, text);
}

void StreamProgress::Serialize(unsigned char (&bytes)[kRecordSize]) const
{
    PutU32(bytes + 0, Version);
    PutU32(bytes + 4, StreamIndex);
    PutU32(bytes + 8, ThreadsUsed);
    PutU32(bytes + 12, 0);
    PutU64(bytes + 16, Offset);
    PutU64(bytes + 24, DownloadSize);
    std::memcpy(bytes + 32, LastModified, kLastModifiedSize);
    std::memcpy(bytes + 82, ETag, kETagSize);
    PutU32(bytes + 212, Crc);
}

uint32_t StreamProgress::ComputeCrc() const
{
    unsigned char bytes[kRecordSize];
    Serialize(bytes);
    return Crc32(bytes, 212);
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
           "; LastModified=" + GetLastModified() + "; ETag=" + GetETag();
}

bool StreamProgress::Read(HANDLE stopEvent)
{
    const std::wstring name = FileName();
    if (!IO::CFile::Exists(name))
        return false;
    Win32::CHandleGuard file(OpenFileWithRetryUntilStopped(name, GENERIC_READ, 0, OPEN_EXISTING, stopEvent));
    if (!file.IsValid())
        return false;
    unsigned char bytes[kRecordSize];
    if (!ReadRecord(file.Get(), bytes, kRecordSize) || GetU32(bytes + 0) != kVersion ||
        Crc32(bytes, 212) != GetU32(bytes + 212))
        return false;
    Version = GetU32(bytes + 0);
    StreamIndex = GetU32(bytes + 4);
    ThreadsUsed = GetU32(bytes + 8);
    Offset = GetU64(bytes + 16);
    DownloadSize = GetU64(bytes + 24);
    std::memcpy(LastModified, bytes + 32, kLastModifiedSize);
    std::memcpy(ETag, bytes + 82, kETagSize);
    Crc = GetU32(bytes + 212);
    return true;
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
