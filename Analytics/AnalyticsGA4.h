// The collect client: the store "LMAnalyticsForGA4.dat", the collect URL, and the events it sends
// as measurement-protocol queries (one GET of "/g/collect" per event).
#pragma once

#include <cstdint>
#include <string>

#include "Analytics/AnalyticsBase.h"
#include "Analytics/AnalyticsContract.h"
#include "Analytics/AnalyticsEvent.h"
#include "System/Win32/DebuggingSwitches.h"

namespace Lm {
namespace Analytics {

// The property the events are collected for: "G-" and ten upper-case letters and digits.
std::string GetMeasurementId();
// The host of the collect endpoint (reached over HTTPS).
std::string GetCollectHost();
// "<width>x<height>" of the primary screen.
std::wstring GetScreenResolutionText();
// Three random letters, '.', three random letters (from AnalyticsRand).
std::wstring MakeRandomId();
// "<number>.<seconds>": the number from the last eight hexadecimal digits of the visitor id (read
// from its end, other characters skipped) masked to 31 bits, the seconds since 1970 (UTC).
std::wstring MakeClientId(const std::wstring& visitorId);
std::wstring MakeClientId(const std::wstring& visitorId, std::uint64_t secondsSince1970);

// The C runtime's generator, per thread and never seeded: the state starts at 1, each call sets
// state = state * 214013 + 2531011 and returns (state >> 16) & 0x7FFF. A fresh thread's first
// event therefore carries the same "_p" and "sid" in every run.
int AnalyticsRand();

// A query value: the UTF-8 form of the text with every unsafe byte written as "%XX" (control
// bytes, blank, " # $ % & + , ; < = > ? @ [ \ ] ^ ` { | }, 0x7F and above). Letters, digits and
// ! ' ( ) * - . / : _ ~ are kept. A '%' is always escaped, so a value arrives as it was written.
std::string EncodeQueryValue(const std::wstring& text);

class CAnalyticsGA4 : public CAnalyticsBase {
public:
    // The store and the Debugging key whose test switches may replace the collect URL; other
    // values than the defaults serve tests that must not share the user's store or key.
    explicit CAnalyticsGA4(const std::wstring& storeFileName = kGA4StoreFileName,
                           const std::wstring& debuggingKey = System::Win32::kDebuggingKey);
    ~CAnalyticsGA4() override;

    // "https://" + GetCollectHost() + "/g/collect". In the test environment ("UseTestEnvironment"
    // on) a non-empty REG_SZ "AnalyticsCollectUrl" of the Debugging key replaces it, so that the
    // programs can report to a local stand-in over plain HTTP.
    std::string GetCollectUrl(bool severalItems) override;

    // An event with the parameters every event carries (cid, uid, _et, ul, sr, ep.app_name,
    // ep.app_version, v, _z, _p, seg, sid) and the given name.
    static CAnalyticsEvent ComposeEvent(const std::wstring& appName, const std::wstring& appVersion,
                                        const std::wstring& locale, const std::wstring& visitorId,
                                        const std::wstring& eventName);
    // "tid=<id>&en=<name>" and every parameter as "&key=value": strings, numbers, flags, user
    // strings, user numbers, each map in key order. No leading '?'.
    static std::string BuildQueryString(const CAnalyticsEvent& event);

private:
    std::wstring m_debuggingKey;
};

} // namespace Analytics
} // namespace Lm
