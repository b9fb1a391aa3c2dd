// What the caller of a multi-stream download tells it before it starts: the file it expects
// (which caps what the download writes and identifies its resume records) and how long it may
// go without progress.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "System/Net/InternetTimeouts.h"

namespace Lm { namespace System { namespace Net { namespace MultiStreamDownload {

struct DownloadOptions {
    // The file's size. When given, a declared size that differs, or a body that goes beyond it,
    // fails the download at once; 0: taken from the server.
    uint64_t expectedSize = 0;
    // The file's SHA-256 (hexadecimal, either case); part of what the resume records must match.
    std::string expectedSha256;
    // Fewer than kProgressBytes within this long fail the download; also bounds its WinINet calls.
    DWORD stallBoundMs = kDownloadStallBoundMs;
};

} } } } // namespace Lm::System::Net::MultiStreamDownload
