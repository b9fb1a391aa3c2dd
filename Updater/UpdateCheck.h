// The update check: one GET to the client-services endpoint that names the product, its installed
// version, channel, DP code, the system, the visitor and the country, and a small JSON reply that
// names the package (url, SHA-256 text, size). A reply is input from a server: it is read only as
// far as it arrived, within a bound, and only an object counts as an answer.
#pragma once

#include <cstdint>
#include <string>

#include "System/Win32/DebuggingSwitches.h"

namespace Lm {
namespace Updater {

// The whole check is bounded by this poll limit; a reply longer than the bound is refused.
constexpr std::uint32_t kUpdateCheckTimeLimitMs = 5000;
constexpr std::int64_t kMaxUpdateCheckReplyLength = 64 * 1024;

// The product version of the file's version resource as "a.b.c.d"; "0" for an empty path, a
// missing file, a file without a version resource, or any failed call.
std::string GetFileVersionString(const std::wstring& path);

// The test host while the developer flag "UseTestEnvironment" is on, else the production host.
std::string GetClientServicesHost(const std::wstring& debuggingKey = System::Win32::kDebuggingKey);

// "<scheme>://<host>": with the test environment on, a non-empty "ClientServicesUrl" of the
// Debugging key replaces it (a local stand-in over plain HTTP; trailing slashes dropped).
std::string GetClientServicesBaseUrl(const std::string& scheme,
                                     const std::wstring& debuggingKey = System::Win32::kDebuggingKey);

// What the check asks about, in UTF-8. Every value goes into the query as it is, without
// percent-encoding, but for the bytes a URL cannot carry (EscapeUrlBytes: UTF-8 sequences and
// controls), so a value in any script reaches the server as the text it was.
struct UpdateCheckQuery {
    std::string scheme = "https";   // "http" with the /dev option
    std::string product;
    std::string channel;
    std::string dp;
    std::string version = "0";      // GetFileVersionString of the /from= program
    std::string callerName;
    std::string callerVersion;
    std::string visitorId;          // GetVisitorId
    std::wstring debuggingKey = System::Win32::kDebuggingKey;
};

// What the reply names; empty (size 0) when it names nothing, and after every failure.
struct UpdateCheckReply {
    std::string url;
    std::string hash;
    std::int64_t size = 0;
};

// The request URL: base + "/v1/client-updates/?productName=..&version=..&channel=..&dp=..&os=..
// &uid=..&c=..", os and country of this machine.
std::string BuildUpdateCheckUrl(const UpdateCheckQuery& query);

// Asks and reads the reply: 0 with the reply's values, or 768 (no request object), 770 (no
// complete reply within the limit), 771 (no declared length), 772 (no response, or a reply over
// the bound), 773 (not a JSON object). reply is emptied first.
int GetUpdateUrl(const UpdateCheckQuery& query, UpdateCheckReply& reply);

// The reply's values from a document: 0, or 773 when it is not a JSON object.
int ParseUpdateCheckReply(const std::string& text, UpdateCheckReply& reply);

} // namespace Updater
} // namespace Lm
