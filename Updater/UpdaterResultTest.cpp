// Every result code of the Updater with its name, as the starter and analytics see them.
#include <gtest/gtest.h>

#include "Updater/ExitCodeException.h"
#include "Updater/UpdaterResult.h"

#include <climits>
#include <stdexcept>
#include <type_traits>

#include "System/Exception.h"

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

// The code as the main flow receives it: thrown deep in a step, past a handler of standard
// exceptions that lies in between (which must let it through), caught by the one handler of its
// own type. A code that does not arrive gives the marker. The library's exceptions are kept off
// it at compile time (below), so that the main flow's handler for those cannot take it either.
constexpr std::int64_t kNothingArrived = INT64_MIN;

std::int64_t CodeReachingTheMainFlow(std::int32_t code)
{
    try {
        try {
            throw CExitCodeException(code);
        } catch (const std::exception&) {
            ADD_FAILURE() << "a standard handler took the result code " << code;
        }
    } catch (const CExitCodeException& e) {
        return e.GetCode();
    }
    return kNothingArrived;
}

static_assert(!std::is_base_of<std::exception, CExitCodeException>::value,
              "no handler of standard exceptions may take a result code");
static_assert(!std::is_base_of<Lm::System::CException, CExitCodeException>::value,
              "no handler of the library's exceptions may take a result code");

} // namespace

TEST(UpdaterResult, every_code_has_its_name_and_success_class)
{
    for (const ResultRow& row : kResultTable) {
        EXPECT_EQ(row.name, ResultCodeToString(row.code)) << "code " << row.code;
        EXPECT_EQ(row.success, IsSuccessResult(row.code)) << "code " << row.code;
        // A code raised deep in a step reaches the main flow unchanged.
        EXPECT_EQ(row.code, CodeReachingTheMainFlow(row.code)) << "code " << row.code;
    }
}
