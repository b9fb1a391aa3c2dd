// Downloads one file over HTTP(S) into a target path in one or two parallel byte ranges
// ("streams"), restarts itself when a stream finds the plan unworkable, and resumes a download
// that an earlier run left behind (state file, stream records and "<target>.cache" beside the
// target, used only for the same URL, expected size and SHA-256). The caller polls GetStatus (or
// takes the callback) until complete or failed. Sizes and offsets are 64-bit. A download told
// the file's size never writes more, and fails at once when the server declares another; one
// that makes no progress for its stall bound fails (the watchdog looks).
//
// Cancel returns at once; the destruction within about a second, also while a stream is blocked
// in a WinINet call (which ends only at its time-out: no other thread closes its handles). Such a
// stream is left to end on its own: by then its writer has closed the cache and its record, and
// it touches nothing of the download any more (CDownloadController).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "System/Exception.h"
#include "System/RefPtr.h"
#include "System/Net/MultiStreamDownload/DownloadOptions.h"

namespace Lm { namespace System { namespace Win32 { class CThread; } } }

namespace Lm { namespace System { namespace Net { namespace MultiStreamDownload {

class CDownloadController;

struct DownloadStatus {
    bool complete = false;
    bool failed = false;
    bool pendingStart = false;
    bool authRefreshNeeded = false;
    uint64_t bytesDone = 0;
    uint64_t attemptBytes = 0;
    uint64_t totalSize = 0;
    float percent = 0.0f;
    CRefPtr<CException> error;
    uint32_t streamCount = 0;
};

typedef void (*DownloadCallback)(DownloadStatus* status, void* context);

// The caller's handle on one download; its threads and state live in a CDownloadController,
// which a stream left running keeps alive after this object went.
class CHTTPDownload : public CNonCopyable {
public:
    CHTTPDownload(const std::wstring& userAgent, const std::wstring& url, const std::wstring& outputPath,
                  DownloadCallback callback, void* context, uint32_t retries,
                  const DownloadOptions& options = DownloadOptions());
    // Stops the streams and waits about a second for them, then for a callback under way; a
    // cancelled download's files are gone afterwards, and no callback follows.
    virtual ~CHTTPDownload();

    void GetStatus(DownloadStatus& status);
    void Cancel();

    // The end-of-stream barrier of the streams (CDownloadController::WaitForAllStreams).
    bool WaitForAllStreams(uint32_t streamIndex, Win32::CThread* caller);

private:
    const CRefPtr<CDownloadController> m_controller;
};

} } } } // namespace Lm::System::Net::MultiStreamDownload
