#include "Analytics/AnalyticsGA4.h"

#include <windows.h>

#include "System/DateTime.h"
#include "System/Exception.h"
#include "System/String/AnsiWide.h"

namespace Lm {
namespace Analytics {

namespace {

thread_local std::uint32_t t_randomState = 1;

bool IsUnsafeByte(unsigned char c)
{
    if (c < 0x20 || c >= 0x7F)
        return true;
    switch (c) {
    case ' ': case '"': case '#': case '$': case '%': case '&': case '+': case ',': case ';':
    case '<': case '=': case '>': case '?': case '@': case '[': case '\\': case ']': case '^':
    case '`': case '{': case '|': case '}':
        return true;
    default:
        return false;
    }
}

std::string Decimal(std::int64_t value)
{
    return std::to_string(static_cast<long long>(value));
}

void AppendPairs(std::string& query, const CAnalyticsEvent::StringMap& values)
{
    for (const auto& pair : values)
        query += "&" + EncodeQueryValue(pair.first) + "=" + EncodeQueryValue(pair.second);
}

void AppendPairs(std::string& query, const CAnalyticsEvent::NumberMap& values)
{
    for (const auto& pair : values)
        query += "&" + EncodeQueryValue(pair.first) + "=" + Decimal(pair.second);
}

} // namespace

std::string GetMeasurementId()
{
    return kMeasurementId;
}

std::string GetCollectHost()
{
    return kCollectHost;
}

int AnalyticsRand()
{
    t_randomState = t_randomState * 214013u + 2531011u;
    return static_cast<int>((t_randomState >> 16) & 0x7FFF);
}

std::wstring GetScreenResolutionText()
{
    return std::to_wstring(GetSystemMetrics(SM_CXSCREEN)) + L"x" + std::to_wstring(GetSystemMetrics(SM_CYSCREEN));
}

std::wstring MakeRandomId()
{
    std::wstring id(7, L'.');
    for (int i = 0; i < 7; ++i) {
        if (i == 3)
            continue;
        int r = AnalyticsRand() % 52;
        id[i] = static_cast<wchar_t>(r < 26 ? L'a' + r : L'A' + (r - 26));
    }
    return id;
}

std::wstring MakeClientId(const std::wstring& visitorId, std::uint64_t secondsSince1970)
{
    std::uint32_t value = 0;
    int digits = 0;
    for (size_t i = visitorId.size(); i > 0 && digits < 8; --i) {
        wchar_t c = visitorId[i - 1];
        std::uint32_t digit;
        if (c >= L'0' && c <= L'9')
            digit = c - L'0';
        else if (c >= L'a' && c <= L'f')
            digit = c - L'a' + 10;
        else if (c >= L'A' && c <= L'F')
            digit = c - L'A' + 10;
        else
            continue;
        value += digit << (4 * digits);
        ++digits;
    }
    return std::to_wstring(value & 0x7FFFFFFFu) + L"." + std::to_wstring(secondsSince1970);
}

std::wstring MakeClientId(const std::wstring& visitorId)
{
    using System::CDateTime;
    std::uint64_t ticks = CDateTime::UtcNow().GetTicks() - CDateTime(1970, 1, 1).GetTicks();
    return MakeClientId(visitorId, ticks / CDateTime::TicksPerSecond);
}

std::string EncodeQueryValue(const std::wstring& text)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string utf8 = Utf16ToUtf8(text);
    std::string out;
    out.reserve(utf8.size());
    for (char ch : utf8) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (IsUnsafeByte(c)) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

CAnalyticsGA4::CAnalyticsGA4(const std::wstring& storeFileName, const std::wstring& debuggingKey)
    : CAnalyticsBase(storeFileName), m_debuggingKey(debuggingKey)
{
}

CAnalyticsGA4::~CAnalyticsGA4()
{
    // The upload thread calls GetCollectUrl: it ends before this part of the object goes.
    StopUploadThread();
}

std::string CAnalyticsGA4::GetCollectUrl(bool /*severalItems*/)
{
    using namespace System::Win32;
    if (ReadDebuggingFlagFrom(m_debuggingKey, kUseTestEnvironmentValue)) {
        std::wstring url = ReadDebuggingStringFrom(m_debuggingKey, kAnalyticsCollectUrlValue);
        try {
            if (!url.empty())
                return WideToAnsi(url);
        } catch (const System::CException&) {
            // A URL the ANSI code page cannot hold leaves the real endpoint.
        }
    }
    return std::string("https://") + kCollectHost + kCollectPath;
}

CAnalyticsEvent CAnalyticsGA4::ComposeEvent(const std::wstring& appName, const std::wstring& appVersion,
                                            const std::wstring& locale, const std::wstring& visitorId,
                                            const std::wstring& eventName)
{
    CAnalyticsEvent event;
    event.SetString(L"cid", MakeClientId(visitorId));
    event.SetString(L"uid", visitorId);
    event.SetUserNumber(L"_et", 1);
    event.SetUserString(L"ul", locale);
    event.SetUserString(L"sr", GetScreenResolutionText());
    event.SetUserString(L"ep.app_name", appName);
    event.SetUserString(L"ep.app_version", appVersion);
    event.SetNumber(L"v", 2);
    event.SetString(L"_z", L"ccd.v9b");
    event.SetString(L"_p", MakeRandomId());
    event.SetNumber(L"seg", 1);
    std::uint32_t a = static_cast<std::uint32_t>(AnalyticsRand());
    std::uint32_t b = static_cast<std::uint32_t>(AnalyticsRand());
    std::uint32_t c = static_cast<std::uint32_t>(AnalyticsRand());
    std::uint32_t sid = (b - a * 65536u) * 32768u + c;     // wraps as 32-bit arithmetic does
    event.SetNumber(L"sid", static_cast<std::int64_t>(static_cast<std::int32_t>(sid)));
    event.SetName(eventName);
    return event;
}

std::string CAnalyticsGA4::BuildQueryString(const CAnalyticsEvent& event)
{
    std::string query = "tid=" + GetMeasurementId();
    query += "&en=" + EncodeQueryValue(event.GetName());
    AppendPairs(query, event.GetStrings());
    AppendPairs(query, event.GetNumbers());
    for (const auto& pair : event.GetFlags())
        query += "&" + EncodeQueryValue(pair.first) + "=" + (pair.second ? "1" : "0");
    AppendPairs(query, event.GetUserStrings());
    AppendPairs(query, event.GetUserNumbers());
    return query;
}

} // namespace Analytics
} // namespace Lm
