// The package download: at most two attempts into the product's work folder, first the
// multi-stream download (resumable, two ranges past 20 MiB), then one plain request, each
// followed by the size, SHA-256 and signature tests. The URL comes from a server: the file name
// it gives must be one plain name, and the tested file is held against writing and deleting
// until it has been started.
#pragma once

#include <cstdint>
#include <string>

#include <windows.h>

#include "CommonAppLogic/InstallContract.h"
#include "System/Win32/DebuggingContract.h"
#include "System/Win32/Handle.h"
#include "Updater/UpdateObserver.h"

namespace Lm {
namespace Updater {

// User agent of the multi-stream attempt (the plain request uses the request's own).
constexpr const char* kMultiStreamUserAgent = "Mozilla/4.0 (compatible; MSIE 5.0; Updater 1.1.1.85; CDA 6.0)";
// Retries of each multi-stream range.
constexpr std::uint32_t kMultiStreamRetries = 5;

// The work folder: <roaming application data>\Larchmeadow\Updater\<product>\ (always with the
// final backslash), created when missing. Throws CExitCodeException 1024 when the application
// data folder is unknown.
std::wstring GetUpdaterFolder(const std::wstring& product);

// Percent-decoding of the URL's bytes: "%" and two hexadecimal digits (either case) give that
// byte; anything else, '+' included, is copied.
std::string UrlUnescape(const std::string& url);

// The package's file name in a URL: decoded, cut at the first '?', the text after the last '/'
// or '\'. It may still be unfit (empty, "..", ':' ...): IsPlainPackageName says.
std::string GetPackageFileName(const std::string& url);
// One plain file name: not empty, no separator, "..", ':', control or wildcard character.
bool IsPlainPackageName(const std::string& name);

// Target path (work folder + file name) and file name of the URL's package; an old file of that
// name is removed, and so are the resume files of other targets. Throws CExitCodeException 1027
// for a name that is not plain and 1025 when the old file cannot be deleted.
void GetDownloadTargetPath(const std::wstring& product, const std::string& url, std::wstring& targetPath,
                           std::string& fileName);

// The start of a run: every file of the work folder is deleted, except the resume files
// (".downloadstate", ".cache", ".0", ".1") of the most recent interrupted download. Subfolders
// stay. Failures are ignored (a Park copy that still runs, for instance).
void DeleteStaleDownloads(const std::wstring& product);

// The bar while downloading: min(trunc(p x 0.3 + 0.499) + 20, 100) in single precision.
int DownloadBarPosition(float percent);

// How long a package download may go without progress: the shipped kDownloadStallBoundMs, or a
// shorter test value ("DownloadStallBoundMs") of the Debugging key at debuggingKey.
DWORD DownloadStallBoundMs(const std::wstring& debuggingKey);

struct PatchDownloadRequest {
    std::wstring product;
    std::string url;
    std::string expectedHash;             // hexadecimal, either case; empty: no hash test
    std::int64_t expectedSize = 0;        // tested only when above 0
    bool publishProgress = false;         // the /emitdownloadprogress option
    // Where "Download" is published (only when that value exists already).
    std::wstring statusKey = CommonAppLogic::kInstallerStatusKey;
    // Where a test run's shorter stall bound is read from.
    std::wstring debuggingKey = System::Win32::kDebuggingKey;
};

// The package that passed its tests, held open for reading only (others may read it, nobody may
// write, rename or delete it) until the launch has started it.
struct TestedPackage {
    std::wstring path;
    System::Win32::CHandleGuard hold;
};

// Both attempts are told the expected size (when above 0): a body beyond it, or a declared size
// that differs, fails the attempt at once; so does no progress for the stall bound. A failed
// attempt leaves no file under the package's name.
// Attempt 0: the multi-stream download into the target. True when it completed; false after any
// failure, reporting "MultiStreamDownloadCException" / "MultiStreamDownloadUnknownException" for
// exceptions other than result codes. Its resume records hold the URL (without its query), the
// expected size and SHA-256, and resume only a download of the same three.
bool DownloadMultiStream(const PatchDownloadRequest& request, IUpdateObserver& observer, std::wstring& targetPath);
// Attempt 1: one plain request into the target; its path. Throws CExitCodeException 1027 when the
// request did not end in a good download.
std::wstring DownloadSingleStream(const PatchDownloadRequest& request, IUpdateObserver& observer);

// The size, SHA-256 and signature tests of a held file: empty when all passed, else the name of
// the first that failed ("PatchHold" for a file that could not be held, "PatchSize",
// "PatchHashCompute", "PatchHashValue", "PatchSignature").
std::wstring TestPackage(const TestedPackage& package, const PatchDownloadRequest& request);

// The download-and-test loop: status text 103; per attempt the download, bar 50 and text 104,
// the tests, one report per failed test ("2" appended in attempt 0) and the file deleted.
// Throws CExitCodeException 260 when neither attempt gives a tested package.
TestedPackage DownloadAndTestPackage(const PatchDownloadRequest& request, IUpdateObserver& observer);

} // namespace Updater
} // namespace Lm
