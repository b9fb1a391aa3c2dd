// The protocol between the Installer and its wizard page (js/install.js): the events the page
// raises through window.external.SetEvent, the scripts the Installer runs in the page, the
// window commands of the command queue and the page values the Installer sets.
#pragma once

namespace Lm {
namespace Installer {

// Events, raised by the page and handled by the Installer's main thread (HandleUiEvent).
constexpr const wchar_t* kEventLoaded = L"HtmlInstallLoaded";          // end of the page's load handler
constexpr const wchar_t* kEventBegin = L"HtmlInstallBegin";            // Agree, or the host's BeginInstall()
constexpr const wchar_t* kEventCancel = L"HtmlInstallCancel";          // Cancel on the licence view
constexpr const wchar_t* kEventCancelOnFinishPage = L"HtmlInstallCancelOnFinishPage";
constexpr const wchar_t* kEventFinish = L"HtmlInstallFinish";          // OK on the finish view
// Raised every 100 ms while the bar follows the download; answered at once on the UI thread.
constexpr const wchar_t* kEventReadRegValues = L"ReadRegValues";

// Scripts the Installer runs in the page.
constexpr const wchar_t* kScriptShowMain = L"ShowPage( MAIN );";
constexpr const wchar_t* kScriptShowProgress = L"ShowPage( PROGRESS );";
constexpr const wchar_t* kScriptShowFinish = L"ShowPage( FINISH );";
constexpr const wchar_t* kScriptBeginInstall = L"BeginInstall();";
constexpr const wchar_t* kScriptDownloaderStarted = L"DownloaderStarted( 0,70,80 );";
constexpr const wchar_t* kScriptDownloaderEnded = L"DownloaderEnded();";
constexpr const wchar_t* kScriptProgress90 = L"SetProgressPercent( 90 );";
constexpr const wchar_t* kScriptProgress95 = L"SetProgressPercent( 95 );";
constexpr const wchar_t* kScriptProgress98 = L"SetProgressPercent( 98 );";
constexpr const wchar_t* kScriptProgress100 = L"SetProgressPercent( 100 );";

// Window commands of the command queue (every other text is a script).
constexpr const wchar_t* kCommandShow = L"show";
constexpr const wchar_t* kCommandHide = L"hide";
constexpr const wchar_t* kCommandClose = L"close";

// Page values the Installer sets: at construction, and on "ReadRegValues".
constexpr const wchar_t* kValueLocale = L"LMLocale";
constexpr const wchar_t* kValueBrandName = L"BrandName";
constexpr const wchar_t* kValueInstallProgress = L"HKLM\\Software\\Larchmeadow\\InstallerStatus\\Install";
constexpr const wchar_t* kValueDownloadProgress = L"HKLM\\Software\\Larchmeadow\\InstallerStatus\\Download";

} // namespace Installer
} // namespace Lm
