// The Updater's result reporter: one per run, reachable through a process-wide reference. Every
// run ends with one "Update" event whose "ep.result" names the outcome; some steps report texts of
// their own the same way. Events go to the analytics store at once and out through its uploader;
// no reporting failure ever reaches the caller.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "Analytics/AnalyticsContract.h"
#include "Analytics/AnalyticsGA4.h"
#include "System/RefPtr.h"
#include "System/ReferenceCounted.h"

namespace Lm {
namespace Updater {

// Texts of the "Update" event (Analytics/AnalyticsContract.h).
using Analytics::kResultKey;
using Analytics::kSucceededResult;
using Analytics::kUpdateEventName;
using Analytics::kUpdaterAppName;
using Analytics::kUpdaterAppVersion;
// How long the reporter's destruction waits at most for pending events to go out.
const DWORD kExitUploadWaitMs = 5000;

class CUpdateAnalytics : public System::CReferenceCounted {
public:
    // The visitor id comes from GetVisitorId; locale is the run's locale tag (never empty once the
    // strings are loaded). dp and product name the run; the events do not carry them.
    explicit CUpdateAnalytics(const std::wstring& locale, const std::wstring& dp = std::wstring(),
                              const std::wstring& product = std::wstring());
    // The same over a given client and visitor id (tests use a store of their own).
    CUpdateAnalytics(const System::CRefPtr<Analytics::CAnalyticsGA4>& client, const std::wstring& visitorId,
                     const std::wstring& locale);
    // Waits up to kExitUploadWaitMs while the uploader runs and events are pending, then releases
    // the client, which stops its uploader (pending events stay for the next run).
    ~CUpdateAnalytics() override;

    // Starts the client's uploader (the main flow passes 125 ms, so that events left by earlier
    // runs go out at once). False when one runs already.
    bool StartUploadThread(DWORD intervalMs);
    // Stops and joins the uploader without waiting for pending events (exits that must not wait).
    void StopUploadThread();

    // One "Update" event with "ep.result" = text.
    void ReportResult(const std::wstring& text);
    void ReportSuccess();
    // ReportResult with the code's name ("FailureMainMutex", ...).
    void ReportResultCode(std::int32_t code);
    // Stores the event and makes sure the uploader runs. A store that refuses it drops it.
    void SendEvent(const Analytics::CAnalyticsEvent& event);

    const std::wstring& GetVisitorIdText() const { return m_visitorId; }
    const std::wstring& GetLocale() const { return m_locale; }
    Analytics::CAnalyticsGA4& GetClient() { return *m_client; }

private:
    System::CRefPtr<Analytics::CAnalyticsGA4> m_client;
    std::wstring m_visitorId;
    std::wstring m_locale;
    std::wstring m_dp;
    std::wstring m_product;
};

// Replaces the process-wide reporter (none: releases it, which destroys it when it was the last
// reference). Setting the current one again changes nothing.
void SetUpdateAnalytics(CUpdateAnalytics* reporter);
// The process-wide reporter, without a reference of its own (null when none); valid while the
// main flow holds it.
CUpdateAnalytics* GetUpdateAnalytics();

} // namespace Updater
} // namespace Lm
