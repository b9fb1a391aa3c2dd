// Every result code of the Updater with its name, as the starter and analytics see them.
#include <gtest/gtest.h>

#include "Updater/ExitCodeException.h"
#include "Updater/UpdaterResult.h"

#include <climits>

using namespace Lm::Updater;

namespace {

struct ResultRow {
    std::int32_t code;
    const char* name;
    bool success;
};

const ResultRow kResultTable[] = {
    {0, "Success", true},
    {1, "FailureUnknown", false},
    {2, "SuccessMainOffline", true},
    {3, "SuccessNoURL", true},
    {4, "SuccessRejected", true},
    {256, "FailureMainException", false},
    {257, "FailureMainCommandLine", false},
    {258, "FailureMainMutex", false},
    {259, "FailureMainOffline", false},
    {260, "FailureMainIsFileLarchmeadowSigned", false},
    {261, "FailureLmThrowException", false},
    {512, "FailureUIException", false},
    {513, "FailureUICreateDialog", false},
    {514, "FailureUIConstructor", false},
    {515, "FailureUIThread", false},
    {768, "FailureGetURLCWebRequest", false},
    {770, "FailureGetURLTimeOut", false},
    {771, "FailureGetURLBadLen", false},
    {772, "FailureGetURLNoResp", false},
    {773, "FailureParseURLResponse", false},
    {1024, "FailureGetEXESHGetFolderPath", false},
    {1025, "FailureGetEXEDeleteFile", false},
    {1026, "FailureGetEXECreateHttp", false},
    {1027, "FailureGetEXEDownloadIsOk", false},
    {1280, "FailureLaunchEXECoInitialize", false},
    {1281, "FailureLaunchEXEShellExecuteEx", false},
    {1536, "FailureIsWow64Process", false},
    {1537, "FailureSHGetSpecialFolderPath", false},
    {1792, "FailureParkEXEFileExists", false},
    {1793, "FailureParkEXECopyFile", false},
    {1794, "FailureParkEXEShellExecuteEx", false},
    // Codes without a row.
    {769, "Unknown", false},
    {5, "Unknown", false},
    {516, "Unknown", false},
    {1795, "Unknown", false},
    {-1, "Unknown", false},
    {-256, "Unknown", false},
    {INT_MIN, "Unknown", false},
};

} // namespace

TEST(UpdaterResult, every_code_has_its_name_and_success_class)
{
    for (const ResultRow& row : kResultTable) {
        EXPECT_EQ(row.name, ResultCodeToString(row.code)) << "code " << row.code;
        EXPECT_EQ(row.success, IsSuccessResult(row.code)) << "code " << row.code;
        // A code raised deep in a step reaches the main flow unchanged, and the starter reads
        // it as the unsigned process exit code.
        try {
            throw CExitCodeException(row.code);
        } catch (const CExitCodeException& e) {
            EXPECT_EQ(row.code, e.GetCode());
            EXPECT_EQ(static_cast<std::uint32_t>(row.code), static_cast<std::uint32_t>(e.GetCode()));
        }
    }
}
