#include "System/Io/Stream/FileStream.h"

#include "System/Exception.h"
#include "System/Io/FilePath.h"
#include "System/String/StringUtils.h"

namespace Lm {
namespace System {
namespace IO {
namespace Stream {

namespace {

const char kSource[] = "Lm\\System\\Io\\Stream\\FileStream.cpp";

LARGE_INTEGER Offset(int64_t value)
{
    LARGE_INTEGER offset;
    offset.QuadPart = value;
    return offset;
}

// The system's text for an open failure, "(null)" when it has none.
std::wstring OpenErrorText(DWORD code)
{
    LPWSTR text = nullptr;
    const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                              FORMAT_MESSAGE_IGNORE_INSERTS,
                                          nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                          reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    Win32::CLocalMemory owner(text);
    if (length == 0 || text == nullptr)
        return L"(null)";
    return std::wstring(text, length);
}

} // namespace

CFileStream::CFileStream(const std::wstring& path, FileMode mode, FileAccess access, DWORD shareMode,
                         DWORD flagsAndAttributes)
{
    Init(path, mode, access, shareMode, flagsAndAttributes);
}

void CFileStream::Init(const std::wstring& path, FileMode mode, FileAccess access, DWORD shareMode,
                       DWORD flagsAndAttributes)
{
    m_handle.Reset();
    DWORD desiredAccess = 0;
    if (access == FileAccess::Read || access == FileAccess::ReadWrite)
        desiredAccess |= GENERIC_READ;
    if (access == FileAccess::Write || access == FileAccess::ReadWrite)
        desiredAccess |= GENERIC_WRITE;

    m_path = CFilePath::GetFullPath(path);

    DWORD disposition;
    switch (mode) {
    case FileMode::Append: disposition = OPEN_ALWAYS; break;
    case FileMode::Create: disposition = CREATE_ALWAYS; break;
    case FileMode::CreateNew: disposition = CREATE_NEW; break;
    case FileMode::Open: disposition = OPEN_EXISTING; break;
    case FileMode::OpenOrCreate: disposition = OPEN_ALWAYS; break;
    case FileMode::Truncate: disposition = TRUNCATE_EXISTING; break;
    default:
        ThrowException("FileStream mode", kSource, 55, "Lm::System::IO::Stream::CFileStream::Init");
    }

    m_handle.Reset(::CreateFileW(m_path.c_str(), desiredAccess, shareMode, nullptr, disposition, flagsAndAttributes,
                                 nullptr));
    if (!m_handle.IsValid()) {
        const DWORD code = ::GetLastError();
        const std::wstring text = OpenErrorText(code);
        const std::wstring message = String::FormatString(L"Failed to open file : '%ls'\n\tError (0x%08x) : %ls",
                                                          path.c_str(), static_cast<unsigned>(code), text.c_str());
        ::SetLastError(code);
        ThrowException(message, kSource, 83, "Lm::System::IO::Stream::CFileStream::Init");
    }
    m_canRead = (desiredAccess & GENERIC_READ) != 0;
    m_canWrite = (desiredAccess & GENERIC_WRITE) != 0;
    // Should this seek throw, the handle guard closes the file as the exception leaves the
    // constructor: no object, no open handle.
    if (mode == FileMode::Append)
        Seek(0, SeekOrigin::End);
}

CFileStream::~CFileStream()
{
    if (m_handle.IsValid())
        ::FlushFileBuffers(m_handle.Get());
}

bool CFileStream::CanRead() const
{
    return m_canRead;
}

bool CFileStream::CanSeek() const
{
    return true;
}

bool CFileStream::CanWrite() const
{
    return m_canWrite;
}

int64_t CFileStream::GetLength()
{
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(m_handle.Get(), &size))
        return -1;
    return size.QuadPart;
}

void CFileStream::SetPosition(int64_t position)
{
    if (!::SetFilePointerEx(m_handle.Get(), Offset(position), nullptr, FILE_BEGIN))
        ThrowException("failed to seek in file", kSource, 133, "Lm::System::IO::Stream::CFileStream::SetPosition");
}

int64_t CFileStream::GetPosition()
{
    LARGE_INTEGER position;
    if (!::SetFilePointerEx(m_handle.Get(), Offset(0), &position, FILE_CURRENT))
        ThrowException("get file position failed", kSource, 144, "Lm::System::IO::Stream::CFileStream::GetPosition");
    return position.QuadPart;
}

bool CFileStream::Flush()
{
    return ::FlushFileBuffers(m_handle.Get()) != FALSE;
}

uint32_t CFileStream::Read(void* buffer, uint32_t count)
{
    DWORD read = 0;
    if (!::ReadFile(m_handle.Get(), buffer, count, &read, nullptr))
        return 0;
    return read;
}

int64_t CFileStream::Seek(int64_t offset, SeekOrigin origin)
{
    DWORD method;
    switch (origin) {
    case SeekOrigin::Begin: method = FILE_BEGIN; break;
    case SeekOrigin::Current: method = FILE_CURRENT; break;
    case SeekOrigin::End: method = FILE_END; break;
    default:
        ThrowException("bad seek origin", kSource, 220, "Lm::System::IO::Stream::CFileStream::Seek");
    }
    LARGE_INTEGER position;
    if (!::SetFilePointerEx(m_handle.Get(), Offset(offset), &position, method))
        ThrowException("failed to seek in file", kSource, 227, "Lm::System::IO::Stream::CFileStream::Seek");
    return position.QuadPart;
}

void CFileStream::SetLength(int64_t length)
{
    const char* function = "Lm::System::IO::Stream::CFileStream::SetLength";
    LARGE_INTEGER position;
    if (!::SetFilePointerEx(m_handle.Get(), Offset(0), &position, FILE_CURRENT))
        ThrowException("failed to get file pointer", kSource, 240, function);
    if (!::SetFilePointerEx(m_handle.Get(), Offset(length), nullptr, FILE_BEGIN))
        ThrowException("failed to seek from beginning of file", kSource, 247, function);
    if (!::SetEndOfFile(m_handle.Get()))
        ThrowException("SetEndOfFile() failure", kSource, 253, function);
    if (!::SetFilePointerEx(m_handle.Get(), position, nullptr, FILE_BEGIN))
        ThrowException("failed to seek in file", kSource, 260, function);
}

void CFileStream::Write(const void* buffer, uint32_t count)
{
    const char* function = "Lm::System::IO::Stream::CFileStream::Write";
    DWORD written = 0;
    if (!::WriteFile(m_handle.Get(), buffer, count, &written, nullptr)) {
        if (::GetLastError() == ERROR_DISK_FULL)
            ThrowException("ERROR_DISK_FULL", kSource, 273, function);
        ThrowException("WriteFile() failure", kSource, 277, function);
    }
    if (written != count)
        ThrowException("WriteFile() wrote incorrect number of bytes", kSource, 283, function);
}

HANDLE CFileStream::GetHandle()
{
    Flush();
    return m_handle.Get();
}

} // namespace Stream
} // namespace IO
} // namespace System
} // namespace Lm
