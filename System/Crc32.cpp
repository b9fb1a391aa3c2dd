#include "System/Crc32.h"

namespace Lm { namespace System {

namespace {

struct CrcTable {
    uint32_t entries[256];
    CrcTable()
    {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
            entries[i] = c;
        }
    }
};

const CrcTable& Table()
{
    static const CrcTable table;
    return table;
}

} // namespace

uint32_t Crc32Update(uint32_t crc, const void* data, size_t size)
{
    const uint32_t* t = Table().entries;
    const unsigned char* p = static_cast<const unsigned char*>(data);
    uint32_t c = ~crc;
    for (size_t i = 0; i < size; ++i)
        c = t[(c ^ p[i]) & 0xFFu] ^ (c >> 8);
    return ~c;
}

uint32_t Crc32(const void* data, size_t size)
{
    return Crc32Update(0, data, size);
}

} } // namespace Lm::System
