// The Updater's result codes: the process exit code that its starter reads (the Installer or the
// main application) and, for failures, the result name reported to analytics.
// Written by the Updater (wWinMain returns the code); read by the Installer's hand-off.
#pragma once

#include <cstdint>
#include <string>

namespace Lm {
namespace Updater {

// Grouped by the step that raises them: 0-4 the main flow's own outcomes, 256 main-flow failures,
// 512 the progress window, 768 the update check, 1024 the package download, 1280 the package
// launch, 1536 system queries, 1792 the Park copy.
enum UpdaterResult : std::int32_t {
    Success = 0,
    FailureUnknown = 1,
    SuccessMainOffline = 2,
    SuccessNoURL = 3,
    SuccessRejected = 4,

    FailureMainException = 256,
    FailureMainCommandLine = 257,
    FailureMainMutex = 258,
    FailureMainOffline = 259,
    FailureMainIsFileLarchmeadowSigned = 260,
    FailureLmThrowException = 261,

    FailureUIException = 512,
    FailureUICreateDialog = 513,
    FailureUIConstructor = 514,
    FailureUIThread = 515,

    FailureGetURLCWebRequest = 768,
    FailureGetURLTimeOut = 770,
    FailureGetURLBadLen = 771,
    FailureGetURLNoResp = 772,
    FailureParseURLResponse = 773,

    FailureGetEXESHGetFolderPath = 1024,
    FailureGetEXEDeleteFile = 1025,
    FailureGetEXECreateHttp = 1026,
    FailureGetEXEDownloadIsOk = 1027,

    FailureLaunchEXECoInitialize = 1280,
    FailureLaunchEXEShellExecuteEx = 1281,

    FailureIsWow64Process = 1536,
    FailureSHGetSpecialFolderPath = 1537,

    FailureParkEXEFileExists = 1792,
    FailureParkEXECopyFile = 1793,
    FailureParkEXEShellExecuteEx = 1794,
};

// The name of a result code ("Success", "FailureMainMutex", ...); "Unknown" for a code that has
// none (769 and every negative value among them).
std::string ResultCodeToString(std::int32_t code);

// True for the codes that end a run without a failure: 0, 2, 3 and 4.
bool IsSuccessResult(std::int32_t code);

} // namespace Updater
} // namespace Lm
