#include "System/Net/MultiStreamDownload/HTTPDownload.h"

#include "System/Net/MultiStreamDownload/DownloadController.h"

namespace Lm { namespace System { namespace Net { namespace MultiStreamDownload {

CHTTPDownload::CHTTPDownload(const std::wstring& userAgent, const std::wstring& url, const std::wstring& outputPath,
                             DownloadCallback callback, void* context, uint32_t retries,
                             const DownloadOptions& options)
    : m_controller(new CDownloadController(userAgent, url, outputPath, callback, context, retries, options))
{
    // Held by m_controller before any stream takes its own reference.
    m_controller->Begin();
}

CHTTPDownload::~CHTTPDownload()
{
    m_controller->Close();
}

void CHTTPDownload::GetStatus(DownloadStatus& status)
{
    m_controller->GetStatus(status);
}

void CHTTPDownload::Cancel()
{
    m_controller->Cancel();
}

bool CHTTPDownload::WaitForAllStreams(uint32_t streamIndex, Win32::CThread* caller)
{
    return m_controller->WaitForAllStreams(streamIndex, caller);
}

} } } } // namespace Lm::System::Net::MultiStreamDownload
