// The update check against the client-services stand-in of the test server, whose reply is
// chosen by the product name (tests/servers/http_test_server.py, ClientUpdates), and the reading
// of replies and version resources on their own.
#include <gtest/gtest.h>

#include <json/json.h>

#include <memory>

#include "System/String/AnsiWide.h"
#include "System/Win32/RegistryKey.h"
#include "System/Win32/SystemInfo.h"
#include "CommonAppLogic/RegionInfo.h"
#include "TestServer.h"
#include "TestSupport.h"
#include "Updater/UpdateCheck.h"
#include "Updater/UpdaterContract.h"
#include "Updater/UpdaterResult.h"

using namespace Lm::Updater;

namespace {

// A Debugging key of the test's own below HKCU, removed with the object.
class PrivateDebuggingKey {
public:
    PrivateDebuggingKey() : path_(L"HKCU\\Software\\LmTest\\" + LmTest::UniqueName(L"Debugging")) {}
    ~PrivateDebuggingKey() { Lm::System::Win32::CRegistryKey::DeleteKeyTree(path_); }
    PrivateDebuggingKey& Flag(const wchar_t* name, DWORD value)
    {
        Lm::System::Win32::CRegistryKey(path_, false).SetUint32(name, value);
        return *this;
    }
    PrivateDebuggingKey& Text(const wchar_t* name, const std::wstring& value)
    {
        Lm::System::Win32::CRegistryKey(path_, false).SetString(name, value);
        return *this;
    }
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
};

// A product of the test's own that names the stand-in's reply: "<scenario>.<unique>".
std::string ScenarioProduct(const std::string& scenario)
{
    return scenario + "." + Lm::WideToAnsi(LmTest::UniqueName(L""));
}

UpdateCheckQuery QueryFor(const std::string& product)
{
    UpdateCheckQuery query;
    query.scheme = "http";
    query.product = product;
    query.channel = "live";
    query.dp = "larchplay";
    query.callerName = kCallerName;
    query.callerVersion = kCallerVersion;
    query.visitorId = "0b0e2c9a-4f61-4d8e-9a3b-2c7d5e8f1a60";
    return query;
}

Json::Value ParseJson(const std::string& text)
{
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value value;
    std::string errors;
    reader->parse(text.data(), text.data() + text.size(), &value, &errors);
    return value;
}

// The server's log entry of the update check for a product.
Json::Value CheckRequestOf(const std::string& product)
{
    auto lines = LmTest::ServerLogLines("productName=" + product + "&");
    return lines.empty() ? Json::Value() : ParseJson(lines.back());
}

std::string PackageSha256(const std::string& file)
{
    // Computed by the server with hashlib for the same file; read back from its reply.
    UpdateCheckReply reply;
    GetUpdateUrl(QueryFor(ScenarioProduct("package-" + file)), reply);
    return reply.hash;
}

} // namespace

TEST(UpdateCheck, every_reply_of_the_stand_in_gives_its_result)
{
    const std::int64_t kPackageSize = INT64_MIN;
    struct Case {
        const char* scenario;
        int result;
        bool url;           // the reply names a package URL
        std::int64_t size;  // kPackageSize: the package file's size
    } cases[] = {
        {"package", Success, true, kPackageSize},
        {"object", Success, false, 0},
        {"invalid", FailureParseURLResponse, false, 0},
        {"array", FailureParseURLResponse, false, 0},
        {"emptybody", FailureParseURLResponse, false, 0},
        {"nolength", FailureGetURLBadLen, false, 0},
        {"huge", FailureGetURLNoResp, false, 0},
        {"deep", FailureParseURLResponse, false, 0},   // nested past the reader's stack limit
        {"error500", Success, true, kPackageSize},       // the status is not examined
        {"sizestring", Success, true, 0},
        {"sizereal", Success, true, 1000},
        {"sizenegative", Success, true, -5},
    };
    const std::wstring signedPackage = LmTest::ServerDir() + L"\\files\\signed.exe";
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ASSERT_TRUE(GetFileAttributesExW(signedPackage.c_str(), GetFileExInfoStandard, &data));
    const std::int64_t packageSize = data.nFileSizeLow;

    for (const Case& c : cases) {
        const std::string product = ScenarioProduct(c.scenario);
        UpdateCheckReply reply;
        reply.url = "left over";
        reply.size = 77;
        EXPECT_EQ(c.result, GetUpdateUrl(QueryFor(product), reply)) << c.scenario;
        EXPECT_EQ(c.url, !reply.url.empty()) << c.scenario << ": " << reply.url;
        EXPECT_EQ(c.size == kPackageSize ? packageSize : c.size, reply.size) << c.scenario;
        if (c.url) {
            EXPECT_NE(std::string::npos, reply.url.find("/files/signed/Package.exe")) << reply.url;
        }
        if (c.result != Success) {
            EXPECT_TRUE(reply.url.empty() && reply.hash.empty() && reply.size == 0) << c.scenario;
        }
        EXPECT_FALSE(CheckRequestOf(product).isNull()) << c.scenario << ": the server saw no request";
    }
    EXPECT_EQ(64u, PackageSha256("signed").size());
    EXPECT_NE(PackageSha256("signed"), PackageSha256("tampered"));
}

TEST(UpdateCheck, a_reply_later_than_the_limit_gives_770)
{
    UpdateCheckReply reply;
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(FailureGetURLTimeOut, GetUpdateUrl(QueryFor(ScenarioProduct("slow")), reply));
    const ULONGLONG elapsed = GetTickCount64() - start;
    EXPECT_GE(elapsed, kUpdateCheckTimeLimitMs);
    EXPECT_LT(elapsed, 60000u);   // only catches a hang
    EXPECT_TRUE(reply.url.empty());
}

TEST(UpdateCheck, no_server_or_no_request_object_gives_772_or_768)
{
    PrivateDebuggingKey closed;
    closed.Flag(L"UseTestEnvironment", 1).Text(kClientServicesUrlValue, L"http://127.0.0.1:1");
    UpdateCheckQuery query = QueryFor("object.x");
    query.debuggingKey = closed.Path();
    UpdateCheckReply reply;
    EXPECT_EQ(FailureGetURLNoResp, GetUpdateUrl(query, reply));

    PrivateDebuggingKey ftp;
    ftp.Flag(L"UseTestEnvironment", 1).Text(kClientServicesUrlValue, L"ftp://127.0.0.1");
    query.debuggingKey = ftp.Path();
    EXPECT_EQ(FailureGetURLCWebRequest, GetUpdateUrl(query, reply));
}

TEST(UpdateCheck, the_query_carries_the_values_as_they_are)
{
    UpdateCheckQuery query = QueryFor(ScenarioProduct("object"));
    query.channel = "beta&x=1";
    query.dp = "partner&y";
    query.version = "2.5.0.17";
    UpdateCheckReply reply;
    ASSERT_EQ(Success, GetUpdateUrl(query, reply));

    const std::string os = Lm::WideToAnsi(Lm::System::Win32::GetOSVersionText());
    const std::string country = Lm::WideToAnsi(Lm::CommonAppLogic::CRegionInfo().GetCountryCode());
    EXPECT_FALSE(os.empty());
    const std::string expectedQuery = "productName=" + query.product + "&version=2.5.0.17&channel=beta&x=1" +
                                      "&dp=partner&y&os=" + os + "&uid=" + query.visitorId + "&c=" + country;
    EXPECT_EQ(LmTest::ServerUrl("/v1/client-updates/?" + expectedQuery), BuildUpdateCheckUrl(query));
    Json::Value logged = CheckRequestOf(query.product);
    ASSERT_FALSE(logged.isNull());
    EXPECT_EQ("GET", logged["method"].asString());
    EXPECT_EQ("/v1/client-updates/", logged["path"].asString());
    EXPECT_EQ(expectedQuery, logged["query"].asString());
    EXPECT_EQ("Mozilla/4.0 (compatible; MSIE 5.0; Updater 1.1.1.85)", logged["headers"]["User-Agent"].asString());

    // A blank is not encoded by the check either (what reaches the wire is the platform's).
    query.dp = "a b";
    EXPECT_NE(std::string::npos, BuildUpdateCheckUrl(query).find("&dp=a b&os="));
    // What a URL cannot carry is: a UTF-8 value in another script, and a control character.
    query.dp = "\xD0\x9A\xE6\xB5\x8B\t";   // "К测" and a tab
    EXPECT_NE(std::string::npos, BuildUpdateCheckUrl(query).find("&dp=%D0%9A%E6%B5%8B%09&os="));
}

TEST(UpdateCheck, the_endpoint_follows_the_test_environment_switch)
{
    PrivateDebuggingKey none;
    EXPECT_EQ("clientservices.larchmeadow.com", GetClientServicesHost(none.Path()));
    EXPECT_EQ("https://clientservices.larchmeadow.com", GetClientServicesBaseUrl("https", none.Path()));
    EXPECT_EQ("http://clientservices.larchmeadow.com", GetClientServicesBaseUrl("http", none.Path()));

    PrivateDebuggingKey urlWithoutSwitch;
    urlWithoutSwitch.Text(kClientServicesUrlValue, L"http://127.0.0.1:9");
    EXPECT_EQ("https://clientservices.larchmeadow.com", GetClientServicesBaseUrl("https", urlWithoutSwitch.Path()));

    PrivateDebuggingKey testHost;
    testHost.Flag(L"UseTestEnvironment", 1);
    EXPECT_EQ("clientservices-test.larchmeadow.com", GetClientServicesHost(testHost.Path()));
    EXPECT_EQ("https://clientservices-test.larchmeadow.com", GetClientServicesBaseUrl("https", testHost.Path()));

    PrivateDebuggingKey local;
    local.Flag(L"UseTestEnvironment", 1).Text(kClientServicesUrlValue, L"http://127.0.0.1:9//");
    EXPECT_EQ("http://127.0.0.1:9", GetClientServicesBaseUrl("https", local.Path()));
}

TEST(UpdateCheck, only_an_object_is_an_answer_and_only_fitting_values_count)
{
    struct Case {
        const char* text;
        int result;
        const char* url;
        const char* hash;
        std::int64_t size;
    } cases[] = {
        {R"({"url": "http://h/p.exe", "hash": "AB12", "size": 12, "other": [1]})", Success, "http://h/p.exe", "AB12", 12},
        {R"({})", Success, "", "", 0},
        {"// a comment first\n{\"url\": \"u\"}", Success, "u", "", 0},
        {R"({"url": 5, "hash": null, "size": "10"})", Success, "", "", 0},
        {R"({"size": 1.0E3})", Success, "", "", 1000},
        {R"({"size": -5})", Success, "", "", -5},
        {R"({"size": 2.5})", Success, "", "", 0},
        {R"({"size": 1e30})", Success, "", "", 0},
        {R"({"size": 9223372036854775807})", Success, "", "", INT64_MAX},
        {R"({"size": true})", Success, "", "", 0},
        {R"([1])", FailureParseURLResponse, "", "", 0},
        {R"("text")", FailureParseURLResponse, "", "", 0},
        {R"(42)", FailureParseURLResponse, "", "", 0},
        {R"(null)", FailureParseURLResponse, "", "", 0},
        {"", FailureParseURLResponse, "", "", 0},
        {R"({"url": )", FailureParseURLResponse, "", "", 0},
    };
    for (const Case& c : cases) {
        UpdateCheckReply reply;
        reply.hash = "left over";
        EXPECT_EQ(c.result, ParseUpdateCheckReply(c.text, reply)) << c.text;
        EXPECT_EQ(c.url, reply.url) << c.text;
        EXPECT_EQ(c.hash, reply.hash) << c.text;
        EXPECT_EQ(c.size, reply.size) << c.text;
    }

    // Nested deeper than the reader goes (it throws there instead of failing): no document either.
    for (const std::string& deep : {std::string(2000, '[') + std::string(2000, ']'),
                                    "{\"url\": \"u\", \"x\": " + std::string(5000, '[')}) {
        UpdateCheckReply reply;
        EXPECT_EQ(FailureParseURLResponse, ParseUpdateCheckReply(deep, reply));
        EXPECT_TRUE(reply.url.empty());
    }
}

TEST(UpdateCheck, the_version_is_the_product_version_of_the_file)
{
    // This test executable carries a version resource whose product version (2.5.0.17) differs
    // from its file version (9.8.7.6); the test tools carry none.
    wchar_t self[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    EXPECT_EQ("2.5.0.17", GetFileVersionString(self));
    EXPECT_EQ("0", GetFileVersionString(LmTest::Tool(L"StandIn.exe")));
    EXPECT_EQ("0", GetFileVersionString(L""));
    EXPECT_EQ("0", GetFileVersionString(LmTest::TestDir() + L"no such file.exe"));
    EXPECT_EQ("0", GetFileVersionString(LmTest::TestDir()));
}
