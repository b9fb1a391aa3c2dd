// Names the analytics clients share with every other process that reports through the same
// store: the store files in the user's roaming profile, the two named mutexes over them, and the
// test-environment switch that points the uploads at a local stand-in.
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

// REG_SZ of the Debugging key (System/Win32/DebuggingSwitches.h), read only while
// "UseTestEnvironment" is on: a full collect URL (any scheme the request class takes, so plain
// HTTP against a local stand-in) that replaces "https://<collect host>/g/collect". Written by the
// test set-up; read by CAnalyticsGA4::GetCollectUrl.
constexpr const wchar_t* kAnalyticsCollectUrlValue = L"AnalyticsCollectUrl";

} // namespace Analytics
} // namespace Lm
