// Names of the files a multi-stream download keeps beside its target. Written and read by
// CHTTPDownload, CDownloadThread and CWriteOutputThread of one run and of any later run that
// resumes the same target, so they must never change.
#pragma once

#include <cstdint>
#include <string>

namespace Lm { namespace System { namespace Net { namespace MultiStreamDownload {

// The plan of the whole download (DownloadProgress): target + ".downloadstate".
constexpr const wchar_t* kStateFileSuffix = L".downloadstate";
// The shared data file all streams write into, moved onto the target at the end.
constexpr const wchar_t* kCacheFileSuffix = L".cache";

inline std::wstring StateFileName(const std::wstring& target) { return target + kStateFileSuffix; }
inline std::wstring CacheFileName(const std::wstring& target) { return target + kCacheFileSuffix; }
// How far stream i has written (StreamProgress): target + "." + i in decimal.
inline std::wstring StreamRecordFileName(const std::wstring& target, uint32_t streamIndex)
{
    return target + L"." + std::to_wstring(streamIndex);
}

} } } } // namespace Lm::System::Net::MultiStreamDownload
