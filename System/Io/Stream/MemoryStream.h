// A growable byte buffer behind the stream interface, with two independent cursors: cursor 0 is
// the position the interface's operations use, cursor 1 a second position through which a
// producer appends while a consumer reads through cursor 0. No lock of its own: the HTTP request
// writes through cursor 1 on its worker and the caller reads only after the transfer ended.
#pragma once

#include <cstdint>

#include "System/Io/Stream/Stream.h"

namespace Lm {
namespace System {
namespace IO {
namespace Stream {

class CMemoryStream : public CStream {
public:
    // The largest length and capacity the stream accepts: the reads and writes count in 32-bit
    // signed units, and a larger block could not be allocated in a 32-bit process anyway.
    static const std::int64_t kMaxLength = 0x7FFFFFFF;

    CMemoryStream() = default;
    ~CMemoryStream() override;

    bool CanRead() const override { return true; }
    bool CanSeek() const override { return true; }
    bool CanWrite() const override { return true; }
    std::int64_t GetLength() override { return m_length; }
    void SetPosition(std::int64_t position) override;
    std::int64_t GetPosition() override { return m_cursor[0]; }
    bool Flush() override { return true; }
    std::uint32_t Read(void* buffer, std::uint32_t count) override;
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
    void SetLength(std::int64_t length) override;
    void Write(const void* buffer, std::uint32_t count) override;

    // Reads up to count bytes at the cursor (a null buffer skips them); returns the bytes taken.
    // A count below 0 throws.
    int ReadCur(int cursor, void* buffer, int count);
    // Moves the cursor (origin 0 begin, 1 current, 2 end); a target outside [0, length] leaves it
    // and returns -1.
    std::int64_t SeekCur(int cursor, std::int64_t offset, int origin);
    // Writes count bytes at the cursor, growing the stream when they pass its end.
    void WriteCur(int cursor, const void* buffer, int count);
    // Makes room for n bytes without changing the length (no effect at or below the length).
    void SetCapacity(std::int64_t n);
    std::int64_t GetCapacity() const { return m_capacity; }
    // True when the stream can be made this long.
    static bool CanHold(std::int64_t length) { return length >= 0 && length <= kMaxLength; }

private:
    void ChangeCapacityTo(std::int64_t n);

    unsigned char* m_data = nullptr;
    std::int64_t m_capacity = 0;
    std::int64_t m_length = 0;
    bool m_ownsBuffer = true;
    std::int64_t m_cursor[2] = {0, 0};
};

} // namespace Stream
} // namespace IO
} // namespace System
} // namespace Lm
