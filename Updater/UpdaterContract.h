// The names the Updater shares with other programs: its command line, the kernel objects its
// starter waits on, its folders, the developer values it reads, the install service of the main
// application it calls. Each line says who writes a name and who reads it. Plain constants only.
#pragma once

#include <windows.h>
#include <objbase.h>

namespace Lm {
namespace Updater {

// The Updater's own name and version: the update check's caller text and the analytics client.
constexpr const char* kCallerName = "Updater";
constexpr const char* kCallerVersion = "1.1.1.85";

// Command-line options, written by the Installer (UpdaterCommandLine) and the main application,
// read by UpdaterOptions. Prefix options take the rest of the argument as their value.
constexpr const wchar_t* kProductOption = L"/product=";
constexpr const wchar_t* kDpOption = L"/dp=";
constexpr const wchar_t* kDpNextOption = L"/dp";              // three characters: the next argument
constexpr const wchar_t* kChannelOption = L"/channel=";
constexpr const wchar_t* kDevOption = L"/dev";
constexpr const wchar_t* kLocaleOption = L"/locale=";
constexpr const wchar_t* kFromOption = L"/from=";
constexpr const wchar_t* kPatchUrlOption = L"/patchURL=";
constexpr const wchar_t* kAppArgsOption = L"/appargs=";
constexpr const wchar_t* kPromptOption = L"/prompt";
constexpr const wchar_t* kNotifyOption = L"/notify";
constexpr const wchar_t* kNoProgressOption = L"/noprog";
constexpr const wchar_t* kParkPathOption = L"/parkpath=";
constexpr const wchar_t* kNoParkingOption = L"/noparking";
constexpr const wchar_t* kEmitDownloadProgressOption = L"/emitdownloadprogress";
constexpr const wchar_t* kInstallerArgsOption = L"/installerargs=";  // the rest of the raw line

// Option defaults.
constexpr const wchar_t* kDefaultProduct = L"PellorGamesApp";
constexpr const wchar_t* kDefaultDp = L"larchplay";
constexpr const char* kDefaultChannel = "live";

// Kernel objects of one run: name prefix + product name, unchanged. The Updater creates the mutex
// owned (a second run for the same product exits with 258) and only sets the events; its starter
// creates or opens the events and waits on them.
constexpr const wchar_t* kMutexPrefixWithFrom = L"{E3A61C57-0B9D-4F28-9C41-7D2E58B0A6F3}-Updater-";
constexpr const wchar_t* kMutexPrefixWithoutFrom = L"{E3A61C57-0B9D-4F28-9C41-7D2E58B0A6F3}-Updater2-";
constexpr const wchar_t* kUpdateNoEventPrefix = L"{E3A61C57-0B9D-4F28-9C41-7D2E58B0A6F3}-UpdateNo-";
constexpr const wchar_t* kUpdateYesEventPrefix = L"{E3A61C57-0B9D-4F28-9C41-7D2E58B0A6F3}-UpdateYes-";
constexpr const wchar_t* kUpdateDenyEventPrefix = L"{B82D4F19-6A3E-4C70-8E15-2F9A7C3D6B48}-UpdateDeny-";
// One run per work folder, whatever its options: every run creates this mutex owned, named by the
// prefix and the file system's identity of its work folder ("<volume serial>-<file index>", eight
// and sixteen lower-case hexadecimal digits), and a run that finds it made already ends with 258.
// Created and read by the Updater only.
constexpr const wchar_t* kWorkFolderMutexPrefix = L"{E3A61C57-0B9D-4F28-9C41-7D2E58B0A6F3}-UpdaterFolder-";

// Folders below the user's roaming application data. The work folder (+ "\" + product + "\")
// holds the downloads, their resume files and the Park copies; written and cleaned by the
// Updater only. The log is product + "_Update.log" in the log folder.
constexpr const wchar_t* kMakerFolder = L"Larchmeadow";
constexpr const wchar_t* kWorkFolder = L"Updater";
constexpr const wchar_t* kLogFolder = L"Larchmeadow\\Larchmeadow Games\\App\\Update";
constexpr const wchar_t* kLogFileSuffix = L"_Update.log";
// The per-user settings file, <roaming application data>\Larchmeadow\Larchmeadow.ini: the
// analytics visitor id ("VisitorID" of section "Analytics"), written by the Updater on its first
// run and read by every later one (and by the main application, which shares the id).
constexpr const wchar_t* kUserSettingsFileName = L"Larchmeadow.ini";

// Park: looked for beside the Updater, then in its "PatchTools" folder; copied into the work
// folder as "Park-{<guid>}.exe" and started there in wait mode.
constexpr const wchar_t* kParkFileName = L"Park.exe";
constexpr const wchar_t* kPatchToolsFolder = L"PatchTools";
constexpr const wchar_t* kParkCopyPrefix = L"Park-{";
constexpr const wchar_t* kParkCopySuffix = L"}.exe";

// An elevated run starts the tested package from a copy in a secure temporary folder
// (<temp>\pdtpp-<guid>), made and removed by the Updater, read by the package it starts.
constexpr const wchar_t* kElevatedPackageFolderPrefix = L"pdtpp";

// The main application that the waiting Park starts is CommonAppLogic::kMainAppSubPath below
// Program Files (x86); the text of its launch parameters:
// "/noupdate! /userlocale <locale>[ <app args>] /dp <dp>".
// The package's argument naming the Park copy: /park="<copy>"[ <installer args>].
constexpr const wchar_t* kParkArgumentPrefix = L"/park=\"";

// Result texts the Updater sends to the analytics endpoint ("ep.result"), read by whoever reads
// the collected events. Beside them go the names of the result codes (UpdaterResult.h) and
// "Succeeded" (Analytics/AnalyticsContract.h).
// The package's tests; in the first (multi-stream) attempt with "2" appended.
constexpr const wchar_t* kPatchHoldResult = L"PatchHold";              // the file could not be held
constexpr const wchar_t* kPatchSizeResult = L"PatchSize";
constexpr const wchar_t* kPatchHashComputeResult = L"PatchHashCompute";
constexpr const wchar_t* kPatchHashValueResult = L"PatchHashValue";
constexpr const wchar_t* kPatchSignatureResult = L"PatchSignature";
// The multi-stream attempt ended by an exception other than a result code.
constexpr const wchar_t* kMultiStreamExceptionResult = L"MultiStreamDownloadCException";
constexpr const wchar_t* kMultiStreamUnknownExceptionResult = L"MultiStreamDownloadUnknownException";
// The launch.
constexpr const wchar_t* kSpecifiedParkMissingResult = L"SpecifiedParkMissing";    // "/parkpath=" names no file
constexpr const wchar_t* kSpecifiedParkUnsignedResult = L"SpecifiedParkUnsigned";  // ... or no program of the maker
constexpr const wchar_t* kShellExecParkResult = L"ShellExecPark";
constexpr const wchar_t* kElevatedPackageCopyResult = L"ElevatedPackageCopy";      // no secure copy to start
constexpr const wchar_t* kServiceMissingResult = L"ServiceMissing";
constexpr const wchar_t* kServiceCreateResult = L"ServiceCreate";
constexpr const wchar_t* kServiceInvokeResult = L"ServiceInvoke";
constexpr const wchar_t* kShellExecPatchResult = L"ShellExecPatch";
// The package's exit code: DBG_TERMINATE_PROCESS, or any other but 0 after the prefix in
// unsigned decimal.
constexpr const wchar_t* kDebuggerTerminatedResult = L"DbgTerminateProcess";
constexpr const wchar_t* kInstallerExitCodeResultPrefix = L"InstallerExitCode";

// The client-services endpoint the update check asks (served outside this suite): the release
// host, the host used while "UseTestEnvironment" is on, and the path of the check.
constexpr const char* kClientServicesHost = "clientservices.larchmeadow.com";
constexpr const char* kTestClientServicesHost = "clientservices-test.larchmeadow.com";
constexpr const char* kUpdateCheckPath = "/v1/client-updates/";

// Developer values of the Debugging key (System/Win32/DebuggingSwitches.h), set by hand or by
// the test set-up, read at start-up:
// REG_DWORD, milliseconds the progress window stays hidden (default 1000) and shown at least (500).
constexpr const wchar_t* kPauseBeforeDialogValue = L"UpdaterPauseBeforeDialogMs";
constexpr const wchar_t* kMinDialogShowTimeValue = L"UpdaterMinDialogShowTimeMs";
// REG_SZ, read only while "UseTestEnvironment" is on: scheme, host and port of the client-services
// endpoint ("http://127.0.0.1:8080"), replacing "<scheme>://<test host>". Lets a test point the
// update check at a local stand-in over plain HTTP.
constexpr const wchar_t* kClientServicesUrlValue = L"ClientServicesUrl";

// The main application's install service (outside this suite): a COM class the Updater asks,
// when it runs unelevated, to start the tested package. Registered by the main application's
// installer (LocalServer32 of the class), called by the Updater.
// {0D7C3B6A-5E21-4A98-B3F4-C61E8A2D9F05}
constexpr CLSID kInstallServiceClassId = {0x0D7C3B6A, 0x5E21, 0x4A98, {0xB3, 0xF4, 0xC6, 0x1E, 0x8A, 0x2D, 0x9F, 0x05}};
// {9A4E2C71-3B58-4D06-A1F9-E7B05C8D3264}
constexpr IID kInstallServiceInterfaceId = {0x9A4E2C71, 0x3B58, 0x4D06, {0xA1, 0xF9, 0xE7, 0xB0, 0x5C, 0x8D, 0x32, 0x64}};
// Class contexts the Updater creates it in: in-process server and handler, local and remote server.
constexpr DWORD kInstallServiceContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER |
                                         CLSCTX_REMOTE_SERVER;

// The service's interface as the Updater uses it: Run is the eighth entry of the method table
// (after IUnknown's three and four the Updater never calls). Run starts the package for the
// caller and hands back its process handle, which the Updater waits on, and a second handle,
// which it only closes; both are valid in the caller's process.
struct IInstallService : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Reserved3() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved4() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved5() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved6() = 0;
    virtual HRESULT STDMETHODCALLTYPE Run(DWORD callerProcessId, BSTR quotedPackagePath, BSTR packageArguments,
                                          BSTR packageFolder, DWORD reserved1, DWORD reserved2, HANDLE* process,
                                          HANDLE* second) = 0;
};

} // namespace Updater
} // namespace Lm
