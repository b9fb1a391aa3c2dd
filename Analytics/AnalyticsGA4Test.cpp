// Event composition and the collect client: the exact query of a fresh thread's first event as
// the local server's "/g/collect" receives it, key order, escaping, the client id, and the
// collect URL with and without the test switches (under a Debugging key of the test's own).
#include "Analytics/AnalyticsGA4.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <thread>

#include "System/DateTime.h"
#include "System/RefPtr.h"
#include "System/Win32/RegistryKey.h"
#include "TestServer.h"
#include "TestSupport.h"

using Lm::Analytics::CAnalyticsEvent;
using Lm::Analytics::CAnalyticsGA4;
using Lm::System::CRefPtr;
using Lm::System::Win32::CRegistryKey;

namespace {

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// A Debugging key of the test's own, removed when the test ends.
class TestDebuggingKey {
public:
    TestDebuggingKey() : path(L"HKCU\\Software\\LarchmeadowTests\\" + LmTest::UniqueName(L"dbg")) {}
    ~TestDebuggingKey() { CRegistryKey::DeleteKeyTree(path); }
    void Set(DWORD useTestEnvironment, const std::wstring& url)
    {
        CRegistryKey key(path, false);
        key.SetUint32(L"UseTestEnvironment", useTestEnvironment);
        key.SetString(L"AnalyticsCollectUrl", url);
    }
    const std::wstring path;
};

// A collect client of its own store, reporting to the local server.
struct TestClient {
    TestClient()
    {
        std::string url = LmTest::ServerUrl("/g/collect");
        key.Set(1, std::wstring(url.begin(), url.end()));
        client = new CAnalyticsGA4(LmTest::UniqueName(L"LmTestGA4") + L".dat", key.path);
    }
    ~TestClient()
    {
        std::wstring path = client->GetStorePath();
        client = nullptr;
        DeleteFileW(path.c_str());
    }
    TestDebuggingKey key;
    CRefPtr<CAnalyticsGA4> client;
};

std::wstring ScreenText()
{
    return std::to_wstring(GetSystemMetrics(SM_CXSCREEN)) + L"x" + std::to_wstring(GetSystemMetrics(SM_CYSCREEN));
}

} // namespace

TEST(AnalyticsGA4, measurement_id_and_collect_url)
{
    EXPECT_TRUE(std::regex_match(Lm::Analytics::GetMeasurementId(), std::regex("G-[A-Z0-9]{10}")));
    TestDebuggingKey key;     // absent: no test switches
    CRefPtr<CAnalyticsGA4> client(new CAnalyticsGA4(LmTest::UniqueName(L"LmTestGA4") + L".dat", key.path));
    const std::string real = "https://" + Lm::Analytics::GetCollectHost() + "/g/collect";
    EXPECT_EQ(real, client->GetCollectUrl(false));
    EXPECT_EQ(real, client->GetCollectUrl(true));

    struct {
        DWORD useTestEnvironment;
        const wchar_t* url;
        std::string expected;
    } const cases[] = {
        {1, L"http://127.0.0.1:9/g/collect", "http://127.0.0.1:9/g/collect"},
        {0, L"http://127.0.0.1:9/g/collect", real},
        {1, L"", real},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        key.Set(c.useTestEnvironment, c.url);
        EXPECT_EQ(c.expected, client->GetCollectUrl(false));
    }
    std::wstring path = client->GetStorePath();
    client = nullptr;
    DeleteFileW(path.c_str());
}

TEST(AnalyticsGA4, the_default_store_is_LMAnalyticsForGA4_dat)
{
    CRefPtr<CAnalyticsGA4> client(new CAnalyticsGA4());
    std::wstring suffix = L"\\Larchmeadow\\Analytics\\LMAnalyticsForGA4.dat";
    std::wstring path = client->GetStorePath();
    ASSERT_GE(path.size(), suffix.size());
    EXPECT_EQ(suffix, path.substr(path.size() - suffix.size()));
    EXPECT_EQ(L"LMAnalyticsForGA4.dat_LMAnalytics{D41F6B2A-93C7-4e58-A0B1-7E5C2D8F9A36}", client->GetStoreMutexName());
}

TEST(AnalyticsGA4, a_fresh_threads_first_event_reaches_the_collect_endpoint_exactly)
{
    // The visitor id is unique per run; its last eight hexadecimal digits fix the client id's
    // number: 0xdeadbeef & 0x7fffffff = 1588444911.
    wchar_t unique[9];
    _snwprintf(unique, 9, L"%08x", static_cast<unsigned>(GetTickCount() ^ (GetCurrentProcessId() << 16)));
    unique[8] = 0;
    std::wstring visitor = std::wstring(unique) + L"-0a1b-4c2d-8e3f-0000deadbeef";

    std::string query;
    std::uint64_t before = 0, after = 0;
    std::thread fresh([&] {
        using Lm::System::CDateTime;
        auto seconds = [] {
            return (CDateTime::UtcNow().GetTicks() - CDateTime(1970, 1, 1).GetTicks()) / CDateTime::TicksPerSecond;
        };
        before = seconds();
        CAnalyticsEvent event = CAnalyticsGA4::ComposeEvent(L"Updater", L"1.1.1.85", L"en-us", visitor, L"Update");
        event.SetString(L"ep.result", L"Succeeded");
        query = CAnalyticsGA4::BuildQueryString(event);
        after = seconds();
    });
    fresh.join();

    // rand() of a fresh thread: 41, 18467, 6334, 26500, 19169, 15724 make "_p" (mod 52:
    // 41 'P', 7 'h', 42 'Q', 32 'G', 33 'H', 20 'u'); 11478, 29358, 26962 make "sid":
    // ((29358 - 11478 * 65536) * 32768 + 26962) in 32 bits = 962029906.
    std::smatch cid;
    ASSERT_TRUE(std::regex_search(query, cid, std::regex("&cid=1588444911\\.([0-9]+)&")));
    std::uint64_t seconds = std::stoull(cid[1].str());
    EXPECT_GE(seconds, before);
    EXPECT_LE(seconds, after);
    std::string expected = "tid=" + Lm::Analytics::GetMeasurementId() +
                           "&en=Update&_p=PhQ.GHu&_z=ccd.v9b&cid=1588444911." + cid[1].str() +
                           "&ep.result=Succeeded&uid=" + Narrow(visitor) +
                           "&seg=1&sid=962029906&v=2&ep.app_name=Updater&ep.app_version=1.1.1.85&sr=" +
                           Narrow(ScreenText()) + "&ul=en-us&_et=1";
    EXPECT_EQ(expected, query);

    TestClient test;
    ASSERT_TRUE(test.client->AddItem(query, ""));
    ASSERT_TRUE(test.client->StartUploadThread(20));
    std::vector<std::string> lines = LmTest::ServerLogLines("uid=" + Narrow(visitor), 30000);
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::string::npos, lines[0].find("\"query\": \"" + expected + "\"")) << lines[0];
    EXPECT_NE(std::string::npos, lines[0].find("\"path\": \"/g/collect\"")) << lines[0];
    EXPECT_NE(std::string::npos, lines[0].find("\"method\": \"GET\"")) << lines[0];
    EXPECT_NE(std::string::npos, lines[0].find("\"status\": 204")) << lines[0];
}

TEST(AnalyticsGA4, every_map_is_written_in_code_unit_order)
{
    CAnalyticsEvent event;
    event.SetName(L"e");
    for (const wchar_t* key : {L"uid", L"cid", L"_z", L"Z", L"_p", L"ep.result", L"a"})
        event.SetString(key, L"s");
    event.SetString(L"a", L"overwritten");
    event.SetNumber(L"v", -2);
    event.SetNumber(L"V", 3);
    event.SetFlag(L"on", true);
    event.SetFlag(L"off", false);
    event.SetUserString(L"ul", L"u");
    event.SetUserString(L"sr", L"1x1");
    event.SetUserNumber(L"_et", 1);
    event.SetUserNumber(L"Big", 9007199254740993LL);
    EXPECT_EQ("tid=" + Lm::Analytics::GetMeasurementId() +
                  "&en=e&Z=s&_p=s&_z=s&a=overwritten&cid=s&ep.result=s&uid=s&V=3&v=-2&off=0&on=1&sr=1x1&ul=u"
                  "&Big=9007199254740993&_et=1",
              CAnalyticsGA4::BuildQueryString(event));
}

TEST(AnalyticsGA4, keys_and_values_are_escaped_as_utf8)
{
    struct {
        const wchar_t* text;
        const char* encoded;
    } const cases[] = {
        {L"a&b=c", "a%26b%3Dc"},
        {L"http://host/p", "http://host/p"},
        {L"!'()*-._~AZaz09", "!'()*-._~AZaz09"},
        {L" \"#$%+,;<>?@[\\]^`{|}", "%20%22%23%24%25%2B%2C%3B%3C%3E%3F%40%5B%5C%5D%5E%60%7B%7C%7D"},
        {L"\t\x7F", "%09%7F"},
        {L"\x00e9t\x00e9", "%C3%A9t%C3%A9"},
        {L"\x20AC \x4E2D", "%E2%82%AC%20%E4%B8%AD"},
        {L"\xD83C\xDFB2", "%F0%9F%8E%B2"},
        {L"%41", "%2541"},
        {L"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.encoded);
        EXPECT_EQ(c.encoded, Lm::Analytics::EncodeQueryValue(c.text));
        CAnalyticsEvent event;
        event.SetName(c.text);
        event.SetString(c.text, c.text);
        EXPECT_EQ("tid=" + Lm::Analytics::GetMeasurementId() + "&en=" + c.encoded + "&" + c.encoded + "=" + c.encoded,
                  CAnalyticsGA4::BuildQueryString(event));
    }
}

TEST(AnalyticsGA4, client_id_from_the_last_eight_hex_digits_of_the_visitor_id)
{
    struct {
        const wchar_t* visitor;
        const wchar_t* number;
    } const cases[] = {
        {L"0f8fad5b-d9cb-469f-a165-70867728950e", L"1999148302"},      // 0x7728950e
        {L"{0F8FAD5B-D9CB-469F-A165-70867728950E}", L"1999148302"},
        {L"0f8fad5b-d9cb-469f-a165-7086f728950e", L"1999148302"},      // 0xf728950e masked to 31 bits
        {L"ab-cd", L"43981"},                                          // fewer than eight digits
        {L"xyz-!", L"0"},
        {L"", L"0"},
        {L"zz1zz2zz3", L"291"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.visitor));
        EXPECT_EQ(std::wstring(c.number) + L".1700000000", Lm::Analytics::MakeClientId(c.visitor, 1700000000));
    }
    std::wstring now = Lm::Analytics::MakeClientId(L"1");
    EXPECT_TRUE(std::regex_match(Narrow(now), std::regex("1\\.1[0-9]{9}"))) << Narrow(now);
}

TEST(AnalyticsGA4, random_ids_are_three_letters_a_dot_and_three_letters)
{
    for (int i = 0; i < 200; ++i) {
        std::string id = Narrow(Lm::Analytics::MakeRandomId());
        ASSERT_TRUE(std::regex_match(id, std::regex("[a-zA-Z]{3}\\.[a-zA-Z]{3}"))) << id;
    }
}

TEST(AnalyticsGA4, every_event_carries_the_common_parameters)
{
    CAnalyticsEvent event = CAnalyticsGA4::ComposeEvent(L"App", L"2.0", L"de", L"{x}", L"Name");
    EXPECT_EQ(L"Name", event.GetName());
    const auto& s = event.GetStrings();
    EXPECT_EQ(L"{x}", s.at(L"uid"));
    EXPECT_EQ(L"ccd.v9b", s.at(L"_z"));
    EXPECT_EQ(4u, s.size());
    EXPECT_EQ(2, event.GetNumbers().at(L"v"));
    EXPECT_EQ(1, event.GetNumbers().at(L"seg"));
    EXPECT_EQ(3u, event.GetNumbers().size());
    EXPECT_TRUE(event.GetFlags().empty());
    const auto& u = event.GetUserStrings();
    EXPECT_EQ(L"de", u.at(L"ul"));
    EXPECT_EQ(ScreenText(), u.at(L"sr"));
    EXPECT_EQ(L"App", u.at(L"ep.app_name"));
    EXPECT_EQ(L"2.0", u.at(L"ep.app_version"));
    EXPECT_EQ(1, event.GetUserNumbers().at(L"_et"));
}
