#include "System/Io/Stream/MemoryStream.h"

#include <cstdlib>
#include <cstring>

#include "System/Exception.h"

namespace Lm {
namespace System {
namespace IO {
namespace Stream {

namespace {

const char kSource[] = "Lm\\System\\Io\\Stream\\MemoryStream.cpp";

bool IsCursor(int cursor) { return cursor == 0 || cursor == 1; }

} // namespace

CMemoryStream::~CMemoryStream()
{
    if (m_ownsBuffer)
        free(m_data);
}

void CMemoryStream::SetPosition(std::int64_t position)
{
    if (position < 0 || position > m_length)
        ThrowException("memory stream position", kSource, 66, "Lm::System::IO::Stream::CMemoryStream::SetPosition");
    m_cursor[0] = position;
}

// The interface counts in unsigned 32-bit units; a count above the signed range is the negative
// count the cursor operations refuse.
std::uint32_t CMemoryStream::Read(void* buffer, std::uint32_t count)
{
    return static_cast<std::uint32_t>(ReadCur(0, buffer, static_cast<int>(count)));
}

std::int64_t CMemoryStream::Seek(std::int64_t offset, SeekOrigin origin)
{
    return SeekCur(0, offset, static_cast<int>(origin));
}

void CMemoryStream::Write(const void* buffer, std::uint32_t count)
{
    WriteCur(0, buffer, static_cast<int>(count));
}

// The stream stays as it was when the allocation fails: realloc keeps the old block then. A size
// the stream cannot hold is refused before it could wrap into realloc's 32-bit size.
void CMemoryStream::ChangeCapacityTo(std::int64_t n)
{
    if (n == m_capacity)
        return;
    if (!CanHold(n))
        ThrowException("realloc failed", kSource, 93, "Lm::System::IO::Stream::CMemoryStream::ChangeCapacityTo");
    unsigned char* data = nullptr;
    if (n == 0) {
        free(m_data);
    } else {
        data = static_cast<unsigned char*>(realloc(m_data, static_cast<size_t>(n)));
        if (data == nullptr)
            ThrowException("realloc failed", kSource, 93, "Lm::System::IO::Stream::CMemoryStream::ChangeCapacityTo");
    }
    m_data = data;
    m_capacity = n;
    if (m_length > n)
        m_length = n;
    for (std::int64_t& cursor : m_cursor)
        if (cursor > n)
            cursor = n;
}

int CMemoryStream::ReadCur(int cursor, void* buffer, int count)
{
    if (count < 0)
        ThrowException("bad memory stream read count", kSource, 123, "Lm::System::IO::Stream::CMemoryStream::ReadCur");
    if (!IsCursor(cursor))
        ThrowException("memory stream position cursor", kSource, 128, "Lm::System::IO::Stream::CMemoryStream::ReadCur");
    std::int64_t left = m_length - m_cursor[cursor];
    if (left < 0)
        left = 0;
    int n = left < count ? static_cast<int>(left) : count;
    if (buffer != nullptr && n > 0)
        memcpy(buffer, m_data + m_cursor[cursor], static_cast<size_t>(n));
    m_cursor[cursor] += n;
    return n;
}

std::int64_t CMemoryStream::SeekCur(int cursor, std::int64_t offset, int origin)
{
    if (!IsCursor(cursor))
        ThrowException("memory stream position cursor", kSource, 162, "Lm::System::IO::Stream::CMemoryStream::SeekCur");
    std::int64_t base;
    switch (origin) {
    case 0: base = 0; break;
    case 1: base = m_cursor[cursor]; break;
    case 2: base = m_length; break;
    default: ThrowException("seek origin", kSource, 176, "Lm::System::IO::Stream::CMemoryStream::SeekCur");
    }
    // Offsets too large to add are outside the content like any other target past the end.
    if ((offset > 0 && base > m_length - offset) || (offset < 0 && base + offset < 0))
        return -1;
    std::int64_t target = base + offset;
    m_cursor[cursor] = target;
    return target;
}

void CMemoryStream::SetCapacity(std::int64_t n)
{
    if (n < 0)
        ThrowException("memory stream length", kSource, 192, "Lm::System::IO::Stream::CMemoryStream::SetCapacity");
    if (!m_ownsBuffer)
        ThrowException("SetCapacity on externally-owned memory stream", kSource, 197,
                       "Lm::System::IO::Stream::CMemoryStream::SetCapacity");
    if (n > m_length)
        ChangeCapacityTo(n);
}

// Growth doubles the new length, up to the largest capacity the stream accepts.
void CMemoryStream::SetLength(std::int64_t length)
{
    if (length < 0)
        ThrowException("memory stream length", kSource, 216, "Lm::System::IO::Stream::CMemoryStream::SetLength");
    if (!m_ownsBuffer)
        ThrowException("SetLength on externally-owned memory stream", kSource, 221,
                       "Lm::System::IO::Stream::CMemoryStream::SetLength");
    if (length == m_length)
        return;
    if (length > m_capacity) {
        if (!CanHold(length))
            ThrowException("memory stream length", kSource, 216, "Lm::System::IO::Stream::CMemoryStream::SetLength");
        ChangeCapacityTo(length > kMaxLength / 2 ? kMaxLength : 2 * length);
    }
    m_length = length;
}

void CMemoryStream::WriteCur(int cursor, const void* buffer, int count)
{
    if (count == 0)
        return;
    if (buffer == nullptr)
        ThrowException("nullptr buffer pointer", kSource, 251, "Lm::System::IO::Stream::CMemoryStream::WriteCur");
    if (!IsCursor(cursor))
        ThrowException("memory stream position cursor", kSource, 255, "Lm::System::IO::Stream::CMemoryStream::WriteCur");
    if (count < 0)
        ThrowException("bad memory stream write count", kSource, 255, "Lm::System::IO::Stream::CMemoryStream::WriteCur");
    std::int64_t end = m_cursor[cursor] + count;
    if (end > m_length)
        SetLength(end);      // through the virtual slot, as every length change
    memcpy(m_data + m_cursor[cursor], buffer, static_cast<size_t>(count));
    m_cursor[cursor] = end;
}

} // namespace Stream
} // namespace IO
} // namespace System
} // namespace Lm
