// The library's byte-stream interface. Code that only moves bytes is written against it; the file
// stream and the memory stream implement it. Positions and lengths are signed 64-bit byte counts.
#pragma once

#include <cstdint>

#include "System/ReferenceCounted.h"

namespace Lm {
namespace System {
namespace IO {
namespace Stream {

enum class SeekOrigin : int {
    Begin = 0,
    Current = 1,
    End = 2,
};

class CStream : public CReferenceCounted {
public:
    virtual bool CanRead() const = 0;
    virtual bool CanSeek() const = 0;
    virtual bool CanWrite() const = 0;
    virtual int64_t GetLength() = 0;
    // Absolute position from the start.
    virtual void SetPosition(int64_t position) = 0;
    virtual int64_t GetPosition() = 0;
    // Pushes buffered data to the medium; false when that failed.
    virtual bool Flush() = 0;
    // The bytes actually read; 0 at the end.
    virtual uint32_t Read(void* buffer, uint32_t count) = 0;
    // Moves by offset from origin and returns the new position.
    virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;
    // Makes the stream exactly this long, keeping the position.
    virtual void SetLength(int64_t length) = 0;
    // Writes all bytes or throws.
    virtual void Write(const void* buffer, uint32_t count) = 0;

protected:
    CStream() = default;
};

} // namespace Stream
} // namespace IO
} // namespace System
} // namespace Lm
