#include "System/Net/MultiStreamDownload/DownloadIdentity.h"

#include "System/String/StringUtils.h"

namespace Lm { namespace System { namespace Net { namespace MultiStreamDownload {

DownloadIdentity DownloadIdentity::For(const std::string& url, uint64_t expectedSize, const std::string& expectedSha256)
{
    DownloadIdentity identity;
    identity.url = url.substr(0, url.find_first_of("?#"));
    identity.size = expectedSize;
    identity.sha256 = String::ToLower(expectedSha256);
    return identity;
}

} } } } // namespace Lm::System::Net::MultiStreamDownload
