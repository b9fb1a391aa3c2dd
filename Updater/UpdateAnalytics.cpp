#include "Updater/UpdateAnalytics.h"

#include "System/Exception.h"
#include "System/String/AnsiWide.h"
#include "Updater/UpdaterResult.h"
#include "Updater/VisitorId.h"

namespace Lm {
namespace Updater {

using Analytics::CAnalyticsEvent;
using Analytics::CAnalyticsGA4;
using System::CRefPtr;

namespace {

const DWORD kUploadIntervalMs = 125;
const DWORD kExitPollMs = 100;

CRefPtr<CUpdateAnalytics>& GlobalReporter()
{
    static CRefPtr<CUpdateAnalytics> reporter;
    return reporter;
}

} // namespace

CUpdateAnalytics::CUpdateAnalytics(const std::wstring& locale, const std::wstring& dp, const std::wstring& product)
    : m_visitorId(GetVisitorId()), m_locale(locale), m_dp(dp), m_product(product)
{
    m_client = new CAnalyticsGA4();
}

CUpdateAnalytics::CUpdateAnalytics(const CRefPtr<CAnalyticsGA4>& client, const std::wstring& visitorId,
                                   const std::wstring& locale)
    : m_client(client), m_visitorId(visitorId), m_locale(locale)
{
}

CUpdateAnalytics::~CUpdateAnalytics()
{
    ULONGLONG start = GetTickCount64();
    while (GetTickCount64() - start <= kExitUploadWaitMs) {
        if (!m_client->GetStateFlag() || m_client->GetStoreSize() == 0)
            break;
        Sleep(kExitPollMs);
    }
    m_client = nullptr;
}

bool CUpdateAnalytics::StartUploadThread(DWORD intervalMs)
{
    return m_client->StartUploadThread(intervalMs);
}

void CUpdateAnalytics::StopUploadThread()
{
    m_client->StopUploadThread();
}

void CUpdateAnalytics::ReportResult(const std::wstring& text)
{
    CAnalyticsEvent event =
        CAnalyticsGA4::ComposeEvent(kUpdaterAppName, kUpdaterAppVersion, m_locale, m_visitorId, kUpdateEventName);
    event.SetString(kResultKey, text);
    SendEvent(event);
}

void CUpdateAnalytics::ReportSuccess()
{
    ReportResult(kSucceededResult);
}

void CUpdateAnalytics::ReportResultCode(std::int32_t code)
{
    ReportResult(AnsiToWide(ResultCodeToString(code)));
}

void CUpdateAnalytics::SendEvent(const CAnalyticsEvent& event)
{
    try {
        m_client->AddItem(CAnalyticsGA4::BuildQueryString(event), std::string());
    } catch (const System::CException&) {
        // A query the store does not take ("QueryString too long") is dropped like any event the
        // store refuses: reporting never fails the run.
    }
    m_client->StartUploadThread(kUploadIntervalMs);
}

void SetUpdateAnalytics(CUpdateAnalytics* reporter)
{
    GlobalReporter() = reporter;
}

CUpdateAnalytics* GetUpdateAnalytics()
{
    return GlobalReporter().Get();
}

} // namespace Updater
} // namespace Lm
