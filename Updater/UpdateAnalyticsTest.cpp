// The result reporter against the local server's "/g/collect": one event per report, the result
// names, the bounded wait at the end of a run, and the process-wide reference. Each test's client
// has a store and a Debugging key of its own, and a visitor id of its own to find its requests.
#include "Updater/UpdateAnalytics.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "CommonAppLogic/InstallUtils.h"
#include "System/Win32/RegistryKey.h"
#include "TestServer.h"
#include "TestSupport.h"
#include "Updater/UpdaterResult.h"
#include "Updater/VisitorId.h"

using Lm::Analytics::CAnalyticsGA4;
using Lm::System::CRefPtr;
using Lm::System::Win32::CRegistryKey;
using Lm::Updater::CUpdateAnalytics;

namespace {

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

class UpdateAnalytics : public ::testing::Test {
protected:
    void SetUp() override
    {
        keyPath = L"HKCU\\Software\\LarchmeadowTests\\" + LmTest::UniqueName(L"dbg");
        CRegistryKey key(keyPath, false);
        key.SetUint32(L"UseTestEnvironment", 1);
        std::string url = LmTest::ServerUrl("/g/collect");
        key.SetString(L"AnalyticsCollectUrl", std::wstring(url.begin(), url.end()));
        storeName = LmTest::UniqueName(L"LmTestReporter") + L".dat";
        visitor = Lm::CommonAppLogic::CreateGuidString();
    }
    void TearDown() override
    {
        CRefPtr<CAnalyticsGA4> client(new CAnalyticsGA4(storeName, keyPath));
        DeleteFileW(client->GetStorePath().c_str());
        CRegistryKey::DeleteKeyTree(keyPath);
    }
    CRefPtr<CAnalyticsGA4> NewClient() { return CRefPtr<CAnalyticsGA4>(new CAnalyticsGA4(storeName, keyPath)); }
    std::vector<std::string> Received(unsigned waitMs = 5000)
    {
        return LmTest::ServerLogLines("uid=" + Narrow(visitor) + "&", waitMs);
    }

    std::wstring keyPath;
    std::wstring storeName;
    std::wstring visitor;
};

bool Contains(const std::string& line, const std::string& text)
{
    return line.find(text) != std::string::npos;
}

} // namespace

TEST_F(UpdateAnalytics, each_report_is_one_update_event_with_its_result)
{
    CRefPtr<CUpdateAnalytics> reporter(new CUpdateAnalytics(NewClient(), visitor, L"fr"));
    reporter->ReportResultCode(Lm::Updater::FailureMainMutex);
    reporter->ReportSuccess();
    reporter->ReportResult(L"InstallerExitCode1");
    reporter->ReportResultCode(769);
    reporter = nullptr;       // waits for the uploads
    std::vector<std::string> lines = Received();
    ASSERT_EQ(4u, lines.size());
    int mutex = 0, succeeded = 0, installer = 0, unknown = 0;
    for (const std::string& line : lines) {
        EXPECT_TRUE(Contains(line, "&en=Update&")) << line;
        EXPECT_TRUE(Contains(line, "&ep.app_name=Updater&ep.app_version=1.1.1.85&")) << line;
        EXPECT_TRUE(Contains(line, "&ul=fr&_et=1\"")) << line;
        mutex += Contains(line, "&ep.result=FailureMainMutex&");
        succeeded += Contains(line, "&ep.result=Succeeded&");
        installer += Contains(line, "&ep.result=InstallerExitCode1&");
        unknown += Contains(line, "&ep.result=Unknown&");
    }
    EXPECT_EQ(1, mutex);
    EXPECT_EQ(1, succeeded);
    EXPECT_EQ(1, installer);
    EXPECT_EQ(1, unknown);
    EXPECT_EQ(0u, NewClient()->GetStoreSize());
}

TEST_F(UpdateAnalytics, the_end_of_a_run_waits_about_five_seconds_for_a_stalled_endpoint)
{
    CRefPtr<CUpdateAnalytics> reporter(new CUpdateAnalytics(NewClient(), visitor, L"en-us"));
    Lm::Analytics::CAnalyticsEvent event = CAnalyticsGA4::ComposeEvent(
        Lm::Updater::kUpdaterAppName, Lm::Updater::kUpdaterAppVersion, L"en-us", visitor, Lm::Updater::kUpdateEventName);
    event.SetString(L"ep.result", L"Stalled");
    event.SetString(L"stallheaders", L"60000");
    reporter->SendEvent(event);
    Sleep(500);
    ULONGLONG start = GetTickCount64();
    reporter = nullptr;
    ULONGLONG took = GetTickCount64() - start;
    EXPECT_GE(took, 4500u);
    EXPECT_LT(took, 30000u);
    // The event stays in the store for the next run.
    EXPECT_GT(NewClient()->GetStoreSize(), 0u);
}

TEST_F(UpdateAnalytics, offline_the_end_of_a_run_does_not_wait_and_the_event_stays)
{
    const char* flag = std::getenv("LM_EXPECT_NO_NETWORK");
    if (!flag || flag[0] != '1')
        GTEST_SKIP() << "runs inside unshare -n only";
    CRefPtr<CUpdateAnalytics> reporter(new CUpdateAnalytics(NewClient(), visitor, L"en-us"));
    reporter->ReportResultCode(Lm::Updater::FailureMainOffline);
    ULONGLONG end = GetTickCount64() + 30000;
    while (reporter->GetClient().GetStateFlag() && GetTickCount64() < end)
        Sleep(20);
    ULONGLONG start = GetTickCount64();
    reporter = nullptr;
    EXPECT_LT(GetTickCount64() - start, 4000u);
    EXPECT_GT(NewClient()->GetStoreSize(), 0u);
}

TEST_F(UpdateAnalytics, a_report_the_store_cannot_take_is_dropped_silently)
{
    CRefPtr<CUpdateAnalytics> reporter(new CUpdateAnalytics(NewClient(), visitor, L"en-us"));
    reporter->ReportResult(std::wstring(70000, L'x'));      // over the store's query limit
    reporter->ReportResult(L"After");
    reporter = nullptr;
    std::vector<std::string> lines = Received();
    ASSERT_EQ(1u, lines.size());
    EXPECT_TRUE(Contains(lines[0], "&ep.result=After&"));
}

TEST_F(UpdateAnalytics, the_process_wide_reporter_is_held_until_released)
{
    CUpdateAnalytics* raw = new CUpdateAnalytics(NewClient(), visitor, L"en-us");
    CRefPtr<CUpdateAnalytics> mine(raw);
    Lm::Updater::SetUpdateAnalytics(raw);
    EXPECT_EQ(raw, Lm::Updater::GetUpdateAnalytics());
    EXPECT_EQ(2, raw->GetReferenceCount());
    Lm::Updater::SetUpdateAnalytics(raw);       // the same again changes nothing
    EXPECT_EQ(2, raw->GetReferenceCount());
    mine = nullptr;
    EXPECT_EQ(1, raw->GetReferenceCount());
    Lm::Updater::GetUpdateAnalytics()->ReportResult(L"Global");
    Lm::Updater::SetUpdateAnalytics(nullptr);   // the last reference: waits, then goes
    EXPECT_EQ(nullptr, Lm::Updater::GetUpdateAnalytics());
    std::vector<std::string> lines = Received();
    ASSERT_EQ(1u, lines.size());
    EXPECT_TRUE(Contains(lines[0], "&ep.result=Global&"));
}

TEST_F(UpdateAnalytics, the_run_reporter_sends_the_users_visitor_id)
{
    CRefPtr<CUpdateAnalytics> reporter(new CUpdateAnalytics(L"en-us", L"larchplay", L"PellorGamesApp"));
    EXPECT_EQ(Lm::Updater::GetVisitorId(), reporter->GetVisitorIdText());
    EXPECT_TRUE(Lm::Updater::IsWellFormedVisitorId(reporter->GetVisitorIdText()));
    EXPECT_EQ(L"en-us", reporter->GetLocale());
    std::wstring suffix = L"\\Larchmeadow\\Analytics\\LMAnalyticsForGA4.dat";
    std::wstring path = reporter->GetClient().GetStorePath();
    EXPECT_EQ(suffix, path.substr(path.size() - suffix.size()));
}
