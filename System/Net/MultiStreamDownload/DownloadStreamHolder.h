// What the controller keeps about one running stream.
#pragma once

#include <cstdint>

#include "System/RefPtr.h"
#include "System/ReferenceCounted.h"
#include "System/Net/MultiStreamDownload/DownloadThread.h"

namespace Lm { namespace System { namespace Net { namespace MultiStreamDownload {

class CDownloadStreamHolder : public CReferenceCounted {
public:
    CDownloadStreamHolder(uint32_t streamIndex, uint64_t startOffset)
        : streamIndex(streamIndex), startOffset(startOffset) {}
    ~CDownloadStreamHolder() override = default;

    CRefPtr<CDownloadThread> thread;  // set once the thread runs
    uint64_t bytesDone = 0;           // of this stream's range, from its start, resumed bytes included
    uint64_t attemptBytes = 0;        // received by the current attempt
    bool done = false;
    const uint32_t streamIndex;
    const uint64_t startOffset;
    bool reported = false;            // the stream has reported at least once
    bool checkedIn = false;           // passed the end-of-stream barrier
};

} } } } // namespace Lm::System::Net::MultiStreamDownload
