#include "Updater/UpdateCheck.h"

#include <windows.h>
#include <shlwapi.h>

#include <json/json.h>

#include <exception>
#include <memory>
#include <sstream>
#include <vector>

#include "CommonAppLogic/RegionInfo.h"
#include "System/Exception.h"
#include "System/Net/HttpWebRequest.h"
#include "System/Stopwatch.h"
#include "System/String/AnsiWide.h"
#include "System/String/StringUtils.h"
#include "System/Win32/SystemInfo.h"
#include "Updater/UpdaterContract.h"
#include "Updater/UpdaterResult.h"

namespace Lm {
namespace Updater {

std::string GetFileVersionString(const std::wstring& path)
{
    if (path.empty() || !PathFileExistsW(path.c_str()))
        return "0";
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (size == 0)
        return "0";
    std::vector<unsigned char> data(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data()))
        return "0";
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || info == nullptr ||
        length < sizeof(VS_FIXEDFILEINFO))
        return "0";
    return System::String::Format("%ld.%ld.%ld.%ld", static_cast<long>(HIWORD(info->dwProductVersionMS)),
                                  static_cast<long>(LOWORD(info->dwProductVersionMS)),
                                  static_cast<long>(HIWORD(info->dwProductVersionLS)),
                                  static_cast<long>(LOWORD(info->dwProductVersionLS)));
}

std::string GetClientServicesHost(const std::wstring& debuggingKey)
{
    return System::Win32::ReadDebuggingFlagFrom(debuggingKey, System::Win32::kUseTestEnvironmentValue)
               ? kTestClientServicesHost
               : kClientServicesHost;
}

std::string GetClientServicesBaseUrl(const std::string& scheme, const std::wstring& debuggingKey)
{
    if (System::Win32::ReadDebuggingFlagFrom(debuggingKey, System::Win32::kUseTestEnvironmentValue)) {
        std::wstring replacement = System::Win32::ReadDebuggingStringFrom(debuggingKey, kClientServicesUrlValue);
        while (!replacement.empty() && replacement.back() == L'/')
            replacement.pop_back();
        if (!replacement.empty())
            return Utf16ToUtf8(replacement);
    }
    return scheme + "://" + GetClientServicesHost(debuggingKey);
}

std::string BuildUpdateCheckUrl(const UpdateCheckQuery& query)
{
    const CommonAppLogic::CRegionInfo region;
    return EscapeUrlBytes(GetClientServicesBaseUrl(query.scheme, query.debuggingKey) + kUpdateCheckPath +
                          "?productName=" + query.product + "&version=" + query.version + "&channel=" +
                          query.channel + "&dp=" + query.dp + "&os=" + Utf16ToUtf8(System::Win32::GetOSVersionText()) +
                          "&uid=" + query.visitorId + "&c=" + Utf16ToUtf8(region.GetCountryCode()));
}

int ParseUpdateCheckReply(const std::string& text, UpdateCheckReply& reply)
{
    reply = UpdateCheckReply();
    Json::CharReaderBuilder builder;
    builder["collectComments"] = true;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string errors;
    // The reader throws where it gives up rather than reporting (a document nested deeper than
    // its stack limit, for one): every way it fails is a reply that is no document.
    try {
        if (!reader->parse(text.data(), text.data() + text.size(), &root, &errors))
            return FailureParseURLResponse;
    } catch (const std::exception&) {
        return FailureParseURLResponse;
    }
    // Only an object names anything; any other document (an array, a number) is no answer.
    if (!root.isObject())
        return FailureParseURLResponse;
    const Json::Value& hash = root["hash"];
    if (hash.isString())
        reply.hash = hash.asString();
    const Json::Value& size = root["size"];
    // isInt64 also holds for a whole-valued real within range (1.0E3).
    if (size.isInt64())
        reply.size = size.asInt64();
    const Json::Value& url = root["url"];
    if (url.isString())
        reply.url = url.asString();
    return Success;
}

int GetUpdateUrl(const UpdateCheckQuery& query, UpdateCheckReply& reply)
{
    reply = UpdateCheckReply();
    const std::string url = BuildUpdateCheckUrl(query);

    System::CRefPtr<System::Net::CHttpWebRequest> request;
    try {
        request = new System::Net::CHttpWebRequest(url);
    } catch (const System::CException&) {
        return FailureGetURLCWebRequest;
    }
    request->userAgent = "Mozilla/4.0 (compatible; MSIE 5.0; " + query.callerName + " " + query.callerVersion + ")";
    // The reply is held in memory: never more than the bound, whatever length the server declares.
    request->maxContentLength = kMaxUpdateCheckReplyLength;
    request->Start();
    System::CStopwatch stopwatch;
    stopwatch.Start();

    // A request still running at the limit goes with the request object, which stops its worker.
    while (!request->IsComplete()) {
        if (stopwatch.GetElapsedMilliseconds() > kUpdateCheckTimeLimitMs)
            return FailureGetURLTimeOut;
        Sleep(10);
    }
    if (!request->HeadersReceived() || request->GetResult() == System::Net::HttpResultTooLarge)
        return FailureGetURLNoResp;
    System::Net::CHttpWebResponse& response = request->GetResponse();
    const std::int64_t length = response.GetContentLength();
    if (length < 0)
        return FailureGetURLBadLen;

    // Only what arrived is read: a body cut short is taken as it stands (and then is no document).
    std::string text;
    System::CRefPtr<System::IO::Stream::CMemoryStream> body = response.GetResponseStream();
    if (body) {
        std::int64_t available = body->GetLength();
        std::int64_t wanted = length < available ? length : available;
        text.resize(static_cast<size_t>(wanted));
        body->SetPosition(0);
        std::uint32_t got = wanted > 0 ? body->Read(&text[0], static_cast<std::uint32_t>(wanted)) : 0;
        text.resize(got);
    }
    return ParseUpdateCheckReply(text, reply);
}

} // namespace Updater
} // namespace Lm
