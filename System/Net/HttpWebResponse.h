// The response part of an HTTP request (embedded in CHttpWebRequest): the declared length, the
// body kept in memory and the response header lines.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "System/Io/Stream/MemoryStream.h"
#include "System/Net/CookieCollection.h"
#include "System/RefPtr.h"
#include "System/ReferenceCounted.h"

namespace Lm {
namespace System {
namespace Net {

class CHttpWebRequest;

class CHttpWebResponse : public CReferenceCounted {
public:
    explicit CHttpWebResponse(CHttpWebRequest& request) : m_request(request) {}

    // The declared Content-Length, -1 when the response declared none.
    std::int64_t GetContentLength();
    // The body when no output file was set, readable from its start.
    CRefPtr<IO::Stream::CMemoryStream> GetResponseStream();
    // The value of the first header line "name: value" (name in any case), else defaultValue.
    std::string GetHeaderValue(const std::string& name, const std::string& defaultValue = std::string());
    // The response header lines, the status line first.
    std::vector<std::string> GetHeaders();
    // Cookies of the response; null unless set.
    CCookieCollection* GetCookies() const { return m_cookies.get(); }

private:
    CHttpWebRequest& m_request;
    std::unique_ptr<CCookieCollection> m_cookies;
};

} // namespace Net
} // namespace System
} // namespace Lm
