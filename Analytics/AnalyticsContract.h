// Names the analytics clients share with every other process that reports through the same
// store, and with the collect endpoint: the store files in the user's roaming profile, the two
// named mutexes over them, the endpoint and the property the events are collected for, the texts
// of the Updater's events, and the test-environment switch that points the uploads at a local
// stand-in.
#pragma once

namespace Lm {
namespace Analytics {

// Folder of the store files, below the roaming application data of the user. Written and read by
// every process of the suite that reports (today the Updater).
constexpr const wchar_t* kStoreFolder = L"Larchmeadow\\Analytics";
// The store of the collect client (CAnalyticsGA4). Written by AddItem, drained by the uploader of
// any process that builds a client of the same name.
constexpr const wchar_t* kGA4StoreFileName = L"LMAnalyticsForGA4.dat";
// The store of an older client; deleted whenever a client is built.
constexpr const wchar_t* kLegacyStoreFileName = L"LMAnalytics.dat";

// Store mutex: store file name + this suffix (local namespace). Every access to the file holds it.
constexpr const wchar_t* kStoreMutexSuffix = L"_LMAnalytics{D41F6B2A-93C7-4e58-A0B1-7E5C2D8F9A36}";
// Upload mutex: store mutex name + this suffix. Held for one whole send, so that two uploaders
// (in one process or several) never send the same record.
constexpr const wchar_t* kUploadMutexSuffix = L"_uld";

// The collect endpoint (reached over HTTPS): "https://" + host + path, one GET per event with the
// event's query. Read by the endpoint's owner, who keeps the property of the measurement id.
constexpr const char* kCollectHost = "collect.larchmeadow-analytics.example";
constexpr const char* kCollectPath = "/g/collect";
// "tid" of every event: "G-" and ten upper-case letters and digits.
constexpr const char* kMeasurementId = "G-LM4Q7R2X9K";

// The Updater's events (Updater/UpdateAnalytics.h), as the property's reports read them: one event
// "Update" per run (and per reported step) of the application "Updater" in this version, whose
// outcome is the string parameter "ep.result": a result-code name, a text of the download and
// launch steps, or "Succeeded".
constexpr const wchar_t* kUpdateEventName = L"Update";
constexpr const wchar_t* kUpdaterAppName = L"Updater";
constexpr const wchar_t* kUpdaterAppVersion = L"1.1.1.85";
constexpr const wchar_t* kResultKey = L"ep.result";
constexpr const wchar_t* kSucceededResult = L"Succeeded";

// REG_SZ of the Debugging key (System/Win32/DebuggingSwitches.h), read only while
// "UseTestEnvironment" is on: a full collect URL (any scheme the request class takes, so plain
// HTTP against a local stand-in) that replaces "https://<collect host>/g/collect". Written by the
// test set-up; read by CAnalyticsGA4::GetCollectUrl.
constexpr const wchar_t* kAnalyticsCollectUrlValue = L"AnalyticsCollectUrl";

} // namespace Analytics
} // namespace Lm
