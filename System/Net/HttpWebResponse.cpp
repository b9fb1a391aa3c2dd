#include "System/Net/HttpWebResponse.h"

#include "System/Net/HttpWebRequest.h"

namespace Lm {
namespace System {
namespace Net {

std::int64_t CHttpWebResponse::GetContentLength()
{
    return m_request.IsLengthKnown() ? m_request.GetDeclaredLength() : -1;
}

CRefPtr<IO::Stream::CMemoryStream> CHttpWebResponse::GetResponseStream()
{
    return m_request.m_shared->responseStream;
}

std::string CHttpWebResponse::GetHeaderValue(const std::string& name, const std::string& defaultValue)
{
    return m_request.m_shared->GetHeaderValue(name, defaultValue);
}

std::vector<std::string> CHttpWebResponse::GetHeaders()
{
    Win32::CScopedLock lock(m_request.m_shared->stateLock);
    return m_request.m_shared->responseHeaders;
}

} // namespace Net
} // namespace System
} // namespace Lm
