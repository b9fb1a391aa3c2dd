// The two CRC-protected records that let a multi-stream download resume in a later run:
// DownloadProgress (the plan and what the download is of: "<target>.downloadstate") and
// StreamProgress (how far one stream has written into the cache, "<target>.<index>").
// Both are stored little-endian, field by field, exactly as laid out below; sizes and offsets
// are 64-bit. Records of the earlier 32-bit layouts (state file version 2, stream record
// version 1) are not read: they hold no identity, so such a download starts afresh.
#pragma once

#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>

#include "System/Net/MultiStreamDownload/DownloadIdentity.h"

namespace Lm { namespace System { namespace Net { namespace MultiStreamDownload {

// CreateFileW (no security attributes, FILE_ATTRIBUTE_NORMAL) with up to 10 tries; after
// failed try n (1..9) it sleeps (n + 1)^2 * 2 ms. INVALID_HANDLE_VALUE after the tenth failure.
HANDLE OpenFileWithRetry(const std::wstring& name, DWORD access, DWORD share, DWORD disposition);
// The same, but each pause is a wait on the calling thread's stop event; a stop ends the tries
// early. stopEvent may be null (plain sleeps then).
HANDLE OpenFileWithRetryUntilStopped(const std::wstring& name, DWORD access, DWORD share,
                                     DWORD disposition, HANDLE stopEvent);

// State file, 92 bytes, the URL and a Crc: Version u32 (3), ThreadsUsed u32 (1 or 2), TotalSize u64
// (0 = unknown), ExpectedSize u64 (0 = none given), Sha256 char[64] (lower-case hexadecimal,
// zero-filled when none), UrlLength u32 (at most kMaxUrlLength), Url (UrlLength bytes, no
// terminator), Crc u32 over everything before it.
class DownloadProgress {
public:
    static constexpr size_t kFixedSize = 92;   // the bytes before the URL
    static constexpr size_t kMaxUrlLength = 8192;
    static constexpr size_t kSha256Size = 64;
    static constexpr uint32_t kVersion = 3;

    explicit DownloadProgress(const std::wstring& target);
    DownloadProgress(const std::wstring& target, uint32_t threadsUsed, uint64_t totalSize,
                     const DownloadIdentity& identity);

    // True when the file was read whole, is of this version and its Crc matches; never throws.
    bool Read();
    // Computes the Crc and writes the record (CREATE_ALWAYS); throws CException on failure.
    void Write();
    // Deletes the file; a missing file is not an error. Never throws.
    void Delete();

    // The record's bytes as they are stored (Crc as currently held).
    std::vector<unsigned char> Serialize() const;
    uint32_t ComputeCrc() const;
    std::wstring FileName() const;
    // ";  <target>; Version=..; ThreadsUsed=.." appended to failure messages.
    std::string Text() const;

    uint32_t Version;
    uint32_t ThreadsUsed;
    uint64_t TotalSize;
    DownloadIdentity Identity;   // Url longer than kMaxUrlLength is stored cut (and so never matches)
    uint32_t Crc;

private:
    std::wstring m_target;
};

// Stream record, 216 bytes: Version u32 (2), StreamIndex u32, ThreadsUsed u32, 4 zero bytes,
// Offset u64 (absolute cache offset of the next byte to write), DownloadSize u64 (the whole
// file's size), LastModified char[50] (at most 49 characters, zero-filled), ETag char[130] (at
// most 129 characters, zero-filled), Crc u32 over bytes 0-211.
class StreamProgress {
public:
    static constexpr size_t kRecordSize = 216;
    static constexpr size_t kLastModifiedSize = 50;
    static constexpr size_t kETagSize = 130;
    static constexpr uint32_t kVersion = 2;

    StreamProgress(const std::wstring& target, uint32_t streamIndex);
    StreamProgress(const std::wstring& target, uint32_t streamIndex, uint64_t offset, uint64_t downloadSize,
                   const std::string& lastModified, uint32_t threadsUsed, const std::string& etag = std::string());

    // The file is opened with OpenFileWithRetryUntilStopped on the calling thread's stop event
    // (may be null).
    bool Read(HANDLE stopEvent);
    // Open (CREATE_ALWAYS, no sharing) and Rewrite.
    void Write(HANDLE stopEvent);
    // The writer of a stream keeps its record open and rewrites the record in place after
    // every block: Open throws "File open failed"..., Rewrite "Write stream progress failed"...
    HANDLE Open(HANDLE stopEvent);
    void Rewrite(HANDLE file);
    void Delete();

    void Serialize(unsigned char (&bytes)[kRecordSize]) const;
    uint32_t ComputeCrc() const;
    std::wstring FileName() const;
    std::string Text() const;

    // The texts up to their first zero.
    std::string GetLastModified() const;
    std::string GetETag() const;
    // Store at most 49 / 129 characters, the rest of the field zero.
    void SetLastModified(const std::string& text);
    void SetETag(const std::string& text);

    uint32_t Version;
    uint32_t StreamIndex;
    uint32_t ThreadsUsed;
    uint64_t Offset;
    uint64_t DownloadSize;
    char LastModified[kLastModifiedSize];
    char ETag[kETagSize];
    uint32_t Crc;

private:
    std::wstring m_target;
};

} } } } // namespace Lm::System::Net::MultiStreamDownload
