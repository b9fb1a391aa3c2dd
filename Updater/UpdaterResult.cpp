#include "Updater/UpdaterResult.h"

namespace Lm {
namespace Updater {

std::string ResultCodeToString(std::int32_t code)
{
    switch (code) {
    case Success: return "Success";
    case FailureUnknown: return "FailureUnknown";
    case SuccessMainOffline: return "SuccessMainOffline";
    case SuccessNoURL: return "SuccessNoURL";
    case SuccessRejected: return "SuccessRejected";
    case FailureMainException: return "FailureMainException";
    case FailureMainCommandLine: return "FailureMainCommandLine";
    case FailureMainMutex: return "FailureMainMutex";
    case FailureMainOffline: return "FailureMainOffline";
    case FailureMainIsFileLarchmeadowSigned: return "FailureMainIsFileLarchmeadowSigned";
    case FailureLmThrowException: return "FailureLmThrowException";
    case FailureUIException: return "FailureUIException";
    case FailureUICreateDialog: return "FailureUICreateDialog";
    case FailureUIConstructor: return "FailureUIConstructor";
    case FailureUIThread: return "FailureUIThread";
    case FailureGetURLCWebRequest: return "FailureGetURLCWebRequest";
    case FailureGetURLTimeOut: return "FailureGetURLTimeOut";
    case FailureGetURLBadLen: return "FailureGetURLBadLen";
    case FailureGetURLNoResp: return "FailureGetURLNoResp";
    case FailureParseURLResponse: return "FailureParseURLResponse";
    case FailureGetEXESHGetFolderPath: return "FailureGetEXESHGetFolderPath";
    case FailureGetEXEDeleteFile: return "FailureGetEXEDeleteFile";
    case FailureGetEXECreateHttp: return "FailureGetEXECreateHttp";
    case FailureGetEXEDownloadIsOk: return "FailureGetEXEDownloadIsOk";
    case FailureLaunchEXECoInitialize: return "FailureLaunchEXECoInitialize";
    case FailureLaunchEXEShellExecuteEx: return "FailureLaunchEXEShellExecuteEx";
    case FailureIsWow64Process: return "FailureIsWow64Process";
    case FailureSHGetSpecialFolderPath: return "FailureSHGetSpecialFolderPath";
    case FailureParkEXEFileExists: return "FailureParkEXEFileExists";
    case FailureParkEXECopyFile: return "FailureParkEXECopyFile";
    case FailureParkEXEShellExecuteEx: return "FailureParkEXEShellExecuteEx";
    }
    return "Unknown";
}

bool IsSuccessResult(std::int32_t code)
{
    return code == Success || code == SuccessMainOffline || code == SuccessNoURL || code == SuccessRejected;
}

} // namespace Updater
} // namespace Lm
