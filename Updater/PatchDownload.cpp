#include "Updater/PatchDownload.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "CommonAppLogic/FileSignature.h"
#include "CommonAppLogic/SharedSettings.h"
#include "System/Exception.h"
#include "System/Io/Directory.h"
#include "System/Io/FilePath.h"
#include "System/Net/HttpWebRequest.h"
#include "System/Net/InternetTimeouts.h"
#include "System/Net/MultiStreamDownload/DownloadFiles.h"
#include "System/Net/MultiStreamDownload/HTTPDownload.h"
#include "System/Net/Sha256.h"
#include "System/String/AnsiWide.h"
#include "System/String/StringUtils.h"
#include "System/Win32/DebuggingSwitches.h"
#include "System/Win32/SystemInfo.h"
#include "Updater/ExitCodeException.h"
#include "Updater/ProgressPublisher.h"
#include "Updater/SinglePrecision.h"
#include "Updater/UpdaterContract.h"
#include "Updater/UpdaterResult.h"
#include "Updater/UpdaterStrings.h"

namespace Lm {
namespace Updater {

namespace MSD = System::Net::MultiStreamDownload;

namespace {

const unsigned kPollMs = 50;
// The plain request's file until its body is whole (removed at the next start when left over).
const wchar_t kSingleStreamPartSuffix[] = L".download";

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

int HexValue(char c)
{
    return c <= '9' ? c - '0' : c - 'A' + 10;
}

char UpperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EndsWith(const std::wstring& text, const std::wstring& suffix)
{
    return text.size() >= suffix.size() &&
           _wcsicmp(text.c_str() + text.size() - suffix.size(), suffix.c_str()) == 0;
}

// The target a resume file belongs to ("x.exe.downloadstate" -> "x.exe"), or empty.
std::wstring ResumeFileTarget(const std::wstring& path)
{
    for (const wchar_t* suffix : {MSD::kStateFileSuffix, MSD::kCacheFileSuffix, L".0", L".1"}) {
        if (EndsWith(path, suffix))
            return path.substr(0, path.size() - wcslen(suffix));
    }
    return std::wstring();
}

bool IsResumeFileOf(const std::wstring& path, const std::wstring& target)
{
    const std::wstring owner = ResumeFileTarget(path);
    return !owner.empty() && _wcsicmp(owner.c_str(), target.c_str()) == 0;
}

std::vector<std::wstring> FilesOf(const std::wstring& folder)
{
    try {
        return System::IO::CDirectory::GetFiles(folder, L"*");
    } catch (const System::CException&) {
        return std::vector<std::wstring>();   // no folder: nothing to clean
    }
}

// Deletes the resume files of every target but keep (none when keep is empty).
void DeleteResumeFilesExcept(const std::wstring& folder, const std::wstring& keep)
{
    for (const std::wstring& file : FilesOf(folder)) {
        if (!ResumeFileTarget(file).empty() && (keep.empty() || !IsResumeFileOf(file, keep)))
            DeleteFileW(file.c_str());
    }
}

void PostBar(IUpdateObserver& observer, float percent)
{
    observer.PostBarPosition(DownloadBarPosition(percent));
}

} // namespace

std::wstring GetUpdaterFolder(const std::wstring& product)
{
    wchar_t base[MAX_PATH] = L"";
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, base)))
        throw CExitCodeException(FailureGetEXESHGetFolderPath);
    // Each level may exist already: the results are not looked at.
    std::wstring folder = std::wstring(base) + L"\\" + kMakerFolder;
    CreateDirectoryW(folder.c_str(), nullptr);
    folder += std::wstring(L"\\") + kWorkFolder;
    CreateDirectoryW(folder.c_str(), nullptr);
    folder += L"\\" + product;
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder + L"\\";
}

std::string UrlUnescape(const std::string& url)
{
    std::string out;
    out.reserve(url.size());
    size_t i = 0;
    while (i < url.size()) {
        if (url[i] == '%' && i + 2 < url.size()) {
            const char high = UpperAscii(url[i + 1]);
            const char low = UpperAscii(url[i + 2]);
            if (IsHexDigit(high) && IsHexDigit(low)) {
                out.push_back(static_cast<char>(HexValue(high) * 16 + HexValue(low)));
                i += 3;
                continue;
            }
        }
        out.push_back(url[i]);
        ++i;
    }
    return out;
}

std::string GetPackageFileName(const std::string& url)
{
    std::string decoded = UrlUnescape(url);
    decoded = decoded.substr(0, decoded.find('?'));
    // A decoded "%5C" is a separator as much as a '/' is.
    const size_t slash = decoded.find_last_of("/\\");
    return slash == std::string::npos ? decoded : decoded.substr(slash + 1);
}

bool IsPlainPackageName(const std::string& name)
{
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
    }
    try {
        return CommonAppLogic::IsPlainFolderName(AnsiToWide(name));
    } catch (const System::CException&) {
        return false;   // bytes the C runtime cannot convert are no plain name either
    }
}

void GetDownloadTargetPath(const std::wstring& product, const std::string& url, std::wstring& targetPath,
                           std::string& fileName)
{
    const std::wstring folder = GetUpdaterFolder(product);
    fileName = GetPackageFileName(url);
    // A name from a server must stay inside the work folder.
    if (!IsPlainPackageName(fileName))
        throw CExitCodeException(FailureGetEXEDownloadIsOk);
    targetPath = folder + AnsiToWide(fileName);
    if (!DeleteFileW(targetPath.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
        throw CExitCodeException(FailureGetEXEDeleteFile);
    // Only this target may resume; what other targets left behind goes now.
    DeleteResumeFilesExcept(folder, targetPath);
}

void DeleteStaleDownloads(const std::wstring& product)
{
    const std::wstring folder = GetUpdaterFolder(product);
    const std::vector<std::wstring> files = FilesOf(folder);

    // The interrupted download to keep: the one whose state file was written last.
    std::wstring keep;
    FILETIME newest = {};
    for (const std::wstring& file : files) {
        if (!EndsWith(file, MSD::kStateFileSuffix))
            continue;
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data))
            continue;
        if (keep.empty() || CompareFileTime(&data.ftLastWriteTime, &newest) > 0) {
            keep = ResumeFileTarget(file);
            newest = data.ftLastWriteTime;
        }
    }
    for (const std::wstring& file : files) {
        if (keep.empty() || !IsResumeFileOf(file, keep))
            DeleteFileW(file.c_str());   // results ignored: a running Park copy stays, for one
    }
}

DWORD DownloadStallBoundMs(const std::wstring& debuggingKey)
{
    return System::Win32::ReadTestBoundMsFrom(debuggingKey, System::Win32::kDownloadStallBoundValue,
                                              System::Net::kDownloadStallBoundMs);
}

int DownloadBarPosition(float percent)
{
    return SinglePrecisionBarPosition(percent, 0.3f, 20);
}

bool DownloadMultiStream(const PatchDownloadRequest& request, IUpdateObserver& observer, std::wstring& targetPath)
{
    try {
        std::string fileName;
        GetDownloadTargetPath(request.product, request.url, targetPath, fileName);
        MSD::DownloadOptions options;
        options.expectedSize = request.expectedSize > 0 ? static_cast<std::uint64_t>(request.expectedSize) : 0;
        options.expectedSha256 = request.expectedHash;
        options.stallBoundMs = DownloadStallBoundMs(request.debuggingKey);
        MSD::CHTTPDownload download(AnsiToWide(kMultiStreamUserAgent), AnsiToWide(request.url), targetPath, nullptr,
                                    nullptr, kMultiStreamRetries, options);
        CProgressPublisher publisher(request.publishProgress, request.statusKey);
        MSD::DownloadStatus status;
        for (;;) {
            download.GetStatus(status);
            if (status.complete || status.failed)
                break;
            publisher.Publish(status.percent);
            PostBar(observer, status.percent);
            Sleep(kPollMs);
        }
        publisher.Finish();
        if (status.failed)
            throw CExitCodeException(FailureGetEXEDownloadIsOk);
        return true;
    } catch (const CExitCodeException&) {
        return false;   // the plain request meets the same trouble and ends the run with it
    } catch (const System::CException&) {
        observer.ReportResult(kMultiStreamExceptionResult);
        return false;
    } catch (...) {
        observer.ReportResult(kMultiStreamUnknownExceptionResult);
        return false;
    }
}

std::wstring DownloadSingleStream(const PatchDownloadRequest& request, IUpdateObserver& observer)
{
    std::wstring targetPath;
    std::string fileName;
    GetDownloadTargetPath(request.product, request.url, targetPath, fileName);
    // The body goes to a file of its own and takes the package's name only once it is whole, so
    // that a failed attempt (whose aborted worker may still hold its file a while) leaves nothing
    // under that name.
    const std::wstring partPath = targetPath + kSingleStreamPartSuffix;
    System::CRefPtr<System::Net::CHttpWebRequest> download = new System::Net::CHttpWebRequest(request.url, partPath, 0);
    download->SetOutputPath(partPath);
    if (request.expectedSize > 0) {
        download->maxContentLength = request.expectedSize;
        download->expectedLength = request.expectedSize;
    }
    const DWORD stallBoundMs = DownloadStallBoundMs(request.debuggingKey);
    download->idleTimeLimitMs = static_cast<std::int32_t>(stallBoundMs);
    download->noProgressLimitMs = static_cast<std::int32_t>(stallBoundMs);
    download->Start();
    CProgressPublisher publisher(request.publishProgress, request.statusKey);
    // A stalled or trickling server ends the loop at the bound (the request is aborted; a worker
    // still blocked in a call writes nothing more).
    while (!download->IsComplete() && !download->CheckTimeout()) {
        const float percent = download->GetProgressPercent();
        publisher.Publish(percent);
        PostBar(observer, percent);
        Sleep(kPollMs);
    }
    publisher.Finish();
    const bool ok = download->IsDownloadOk() &&
                    MoveFileExW(partPath.c_str(), targetPath.c_str(), MOVEFILE_REPLACE_EXISTING);
    if (!ok) {
        // Shared for deleting: it goes also while an aborted worker still holds it (then once
        // that worker ends, at the WinINet time-out at the latest).
        DeleteFileW(partPath.c_str());
        throw CExitCodeException(FailureGetEXEDownloadIsOk);
    }
    return targetPath;
}

std::wstring TestPackage(const TestedPackage& package, const PatchDownloadRequest& request)
{
    // Without the hold nothing tested here would still be what runs.
    if (!package.hold.IsValid())
        return kPatchHoldResult;
    if (request.expectedSize > 0 && System::Win32::GetFileSize64(package.path) != request.expectedSize)
        return kPatchSizeResult;
    if (!request.expectedHash.empty()) {
        unsigned char digest[32] = {};
        if (!System::Net::ComputeFileSha256(package.path, digest))
            return kPatchHashComputeResult;
        std::string text;
        for (unsigned char byte : digest)
            text += System::String::ByteToHex(byte);
        if (!System::String::EqualsNoCase(text, request.expectedHash))
            return kPatchHashValueResult;
    }
    if (!CommonAppLogic::VerifyFileSignature(package.path))
        return kPatchSignatureResult;
    return std::wstring();
}

TestedPackage DownloadAndTestPackage(const PatchDownloadRequest& request, IUpdateObserver& observer)
{
    observer.SetStatusText(IDS_UPDATER_DOWNLOADING);
    int attempt = 0;
    while (attempt < 2) {
        TestedPackage package;
        if (attempt == 0) {
            if (!DownloadMultiStream(request, observer, package.path)) {
                attempt = 1;   // straight to the plain request, nothing to test or delete
                continue;
            }
        } else {
            package.path = DownloadSingleStream(request, observer);
        }
        observer.PostBarPosition(50);
        observer.SetStatusText(IDS_UPDATER_APPLYING);

        package.hold.Reset(CreateFileW(package.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
        const std::wstring failure = TestPackage(package, request);
        if (failure.empty())
            return package;
        observer.ReportResult(attempt == 0 ? failure + L"2" : failure);
        package.hold.Reset();
        DeleteFileW(package.path.c_str());
        ++attempt;
    }
    throw CExitCodeException(FailureMainIsFileLarchmeadowSigned);
}

} // namespace Updater
} // namespace Lm
