// What identifies the file a multi-stream download fetches, kept in its state file: a later run
// resumes the bytes on disk only for the same identity, so that a new version published under
// the same name never continues the old one.
#pragma once

#include <cstdint>
#include <string>

namespace Lm { namespace System { namespace Net { namespace MultiStreamDownload {

struct DownloadIdentity {
    std::string url;        // without its query or fragment (a signed URL's token may change)
    uint64_t size = 0;      // the size the caller expects, 0 when it gave none
    std::string sha256;     // lower-case hexadecimal digest the caller expects, empty when none

    // From the download's URL and what the caller expects of the file.
    static DownloadIdentity For(const std::string& url, uint64_t expectedSize, const std::string& expectedSha256);

    bool operator==(const DownloadIdentity& other) const
    {
        return url == other.url && size == other.size && sha256 == other.sha256;
    }
    bool operator!=(const DownloadIdentity& other) const { return !(*this == other); }
};

} } } } // namespace Lm::System::Net::MultiStreamDownload
