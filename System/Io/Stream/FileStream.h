// A seekable stream over a Win32 file handle.
#pragma once

#include <windows.h>

#include <string>

#include "System/Io/Stream/Stream.h"
#include "System/Win32/Handle.h"

namespace Lm {
namespace System {
namespace IO {
namespace Stream {

// How the file is opened (the CreateFileW disposition in brackets).
enum class FileMode : int {
    Append = 0,       // OPEN_ALWAYS, then positioned at the end
    Create = 1,       // CREATE_ALWAYS
    CreateNew = 2,    // CREATE_NEW
    Open = 3,         // OPEN_EXISTING
    OpenOrCreate = 4, // OPEN_ALWAYS
    Truncate = 5,     // TRUNCATE_EXISTING
};

enum class FileAccess : int {
    Read = 1,
    Write = 2,
    ReadWrite = 3,
};

class CFileStream : public CStream {
public:
    // A relative path is taken relative to the program's own folder. Throws the open failure with
    // the system's text; a constructor that throws leaves no open handle behind.
    CFileStream(const std::wstring& path, FileMode mode, FileAccess access, DWORD shareMode = 0,
                DWORD flagsAndAttributes = FILE_ATTRIBUTE_NORMAL);
    ~CFileStream() override;

    bool CanRead() const override;
    bool CanSeek() const override;
    bool CanWrite() const override;
    // -1 when the size cannot be read.
    int64_t GetLength() override;
    void SetPosition(int64_t position) override;
    int64_t GetPosition() override;
    bool Flush() override;
    // 0 when the read fails.
    uint32_t Read(void* buffer, uint32_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    void SetLength(int64_t length) override;
    // A full disk throws "ERROR_DISK_FULL", so callers can tell it from other failures.
    void Write(const void* buffer, uint32_t count) override;
    // Flushes, then returns the handle (still owned by the stream).
    virtual HANDLE GetHandle();

    // The full path that was opened.
    const std::wstring& GetPath() const { return m_path; }

private:
    void Init(const std::wstring& path, FileMode mode, FileAccess access, DWORD shareMode, DWORD flagsAndAttributes);

    std::wstring m_path;
    bool m_canRead = false;
    bool m_canWrite = false;
    Win32::CHandleGuard m_handle;
};

} // namespace Stream
} // namespace IO
} // namespace System
} // namespace Lm
