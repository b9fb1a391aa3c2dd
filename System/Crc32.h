// The standard CRC-32 (reflected polynomial 0xEDB88320, initial value 0xFFFFFFFF, final
// complement; the CRC of zlib and of ISO-HDLC). Guards the download state files and the
// analytics store.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Lm { namespace System {

// CRC-32 of size bytes at data.
uint32_t Crc32(const void* data, size_t size);

// Continues a CRC over further bytes: Crc32Update(Crc32(a), b) == Crc32(a + b).
uint32_t Crc32Update(uint32_t crc, const void* data, size_t size);

} } // namespace Lm::System
