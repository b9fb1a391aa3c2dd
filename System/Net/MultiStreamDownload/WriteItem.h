// One block that a stream queued for its write-output thread: which of the writer's buffers,
// and how many bytes of it.
#pragma once

#include <cstdint>

#include "System/ReferenceCounted.h"

namespace Lm { namespace System { namespace Net { namespace MultiStreamDownload {

class CWriteItem : public CReferenceCounted {
public:
    CWriteItem(uint32_t bufferIndex, uint32_t byteCount) : bufferIndex(bufferIndex), byteCount(byteCount) {}
    ~CWriteItem() override = default;
    const uint32_t bufferIndex;
    const uint32_t byteCount;
};

} } } } // namespace Lm::System::Net::MultiStreamDownload
