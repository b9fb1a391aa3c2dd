// Connectivity through the real network list manager. The run inside a network namespace with
// only loopback (unshare -n, set up by the test list with LM_EXPECT_NO_NETWORK=1) must be offline.
#include <gtest/gtest.h>

#include "System/Win32/COMInitializer.h"
#include "System/Win32/NetworkConnectivity.h"

#include <cstdlib>

using namespace Lm::System::Win32;

namespace {

DWORD WINAPI AskWithoutCom(void* out)
{
    *static_cast<int*>(out) = GetNetworkConnectivity();
    return 0;
}

bool InsideNetworkNamespace()
{
    const char* flag = std::getenv("LM_EXPECT_NO_NETWORK");
    return flag && flag[0] == '1';
}

} // namespace

TEST(NetworkConnectivity, the_network_list_manager_answers)
{
    CCOMInitializer com;
    const int connectivity = GetNetworkConnectivity();
    EXPECT_NE(ConnectivityUnknown, connectivity);
    EXPECT_TRUE(connectivity == ConnectivityNone || connectivity == ConnectivityInternet ||
                connectivity == ConnectivityLocalNetwork)
        << connectivity;
    EXPECT_EQ(connectivity == ConnectivityInternet || connectivity == ConnectivityLocalNetwork,
              IsConnectedToInternet());
}

TEST(NetworkConnectivity, offline_inside_a_network_namespace_with_loopback_only)
{
    if (!InsideNetworkNamespace())
        GTEST_SKIP() << "runs inside unshare -n only";
    CCOMInitializer com;
    EXPECT_EQ(ConnectivityNone, GetNetworkConnectivity());
    EXPECT_FALSE(IsConnectedToInternet());
}

TEST(NetworkConnectivity, without_com_the_answer_is_unknown)
{
    // A thread that never initialised COM cannot create the manager.
    int connectivity = -1;
    HANDLE thread = CreateThread(nullptr, 0, AskWithoutCom, &connectivity, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 30000));
    CloseHandle(thread);
    EXPECT_EQ(ConnectivityUnknown, connectivity);
}
