// The two CRC-protected records that let a multi-stream download resume in a later run:
// DownloadProgress (the plan: total size and number of streams, "<target>.downloadstate") and
// StreamProgress (how far one stream has written into the cache, "<target>.<index>").
// Both are stored little-endian, field by field, exactly as laid out below; padding is zero.
#pragma once

#include <windows.h>
#include <cstdint>
#include <string>

namespace Lm { namespace System { namespace Net { namespace MultiStreamDownload {

// CreateFileW (no security attributes, FILE_ATTRIBUTE_NORMAL) with up to 10 tries; after
// failed try n (1..9) it sleeps (n + 1)^2 * 2 ms. INVALID_HANDLE_VALUE after the tenth failure.
HANDLE OpenFileWithRetry(const std::wstring& name, DWORD access, DWORD share, DWORD disposition);
// The same, but each pause is a wait on the calling thread's stop event; a stop ends the tries
// early. stopEvent may be null (plain sleeps then).
HANDLE OpenFileWithRetryUntilStopped(const std::wstring& name, DWORD access, DWORD share,
                                     DWORD disposition, HANDLE stopEvent);

// State file: 16 bytes. Version u32 (2), TotalSize u32 (0 = unknown), ThreadsUsed u32 (1 or 2),
// Crc u32 over bytes 0-11.
class DownloadProgress {
public:
    static constexpr size_t kRecordSize = 16;
    static constexpr uint32_t kVersion = 2;

    explicit DownloadProgress(const std::wstring& target);
    DownloadProgress(const std::wstring& target, uint32_t threadsUsed, uint32_t totalSize);

    // True when the file was read whole and its Crc matches; never throws. Version is not checked.
    bool Read();
    // Computes the Crc and writes the record (CREATE_ALWAYS); throws CException on failure.
    void Write();
    // Deletes the file; a missing file is not an error. Never throws.
    void Delete();

    // The record's bytes as they are stored (Crc as currently held).
    void Serialize(unsigned char (&bytes)[kRecordSize]) const;
    // CRC-32 of bytes 0-11 of the serialised record.
    uint32_t ComputeCrc() const;
    std::wstring FileName() const;
    // ";  <target>; Version=..; ThreadsUsed=.." appended to failure messages.
    std::string Text() const;

    uint32_t Version;
    uint32_t TotalSize;
    uint32_t ThreadsUsed;
    uint32_t Crc;

private:
    std::wstring m_target;
};

// Stream record: 76 bytes. Version u32 (1), StreamIndex u32, Offset u32 (absolute cache offset
// of the next byte to write), DownloadSize u32 (the whole file's size), ThreadsUsed u32,
// LastModified char[50] (at most 49 characters, zero-filled), 2 padding bytes (zero when
// written, covered by the Crc as stored), Crc u32 over bytes 0-71.
class StreamProgress {
public:
    static constexpr size_t kRecordSize = 76;
    static constexpr size_t kLastModifiedSize = 50;
    static constexpr uint32_t kVersion = 1;

    StreamProgress(const std::wstring& target, uint32_t streamIndex);
    StreamProgress(const std::wstring& target, uint32_t streamIndex, uint32_t offset, uint32_t downloadSize,
                   const std::string& lastModified, uint32_t threadsUsed);

    // The file is opened with OpenFileWithRetryUntilStopped on the calling thread's stop event
    // (may be null).
    bool Read(HANDLE stopEvent);
    // Open (CREATE_ALWAYS, no sharing) and Rewrite.
    void Write(HANDLE stopEvent);
    // The writer of a stream keeps its record open and rewrites the 76 bytes in place after
    // every block: Open throws "File open failed"..., Rewrite "Write stream progress failed"...
    HANDLE Open(HANDLE stopEvent);
    void Rewrite(HANDLE file);
    void Delete();

    void Serialize(unsigned char (&bytes)[kRecordSize]) const;
    uint32_t ComputeCrc() const;
    std::wstring FileName() const;
    std::string Text() const;

    // LastModified as text (up to the first zero).
    std::string GetLastModified() const;
    // Stores at most 49 characters, the rest of the field zero.
    void SetLastModified(const std::string& text);

    uint32_t Version;
    uint32_t StreamIndex;
    uint32_t Offset;
    uint32_t DownloadSize;
    uint32_t ThreadsUsed;
    char LastModified[kLastModifiedSize];
    unsigned char Padding[2];
    uint32_t Crc;

private:
    std::wstring m_target;
};

} } } } // namespace Lm::System::Net::MultiStreamDownload
