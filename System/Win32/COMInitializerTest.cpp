#include <gtest/gtest.h>

#include "System/Win32/COMInitializer.h"

using Lm::System::Win32::CCOMInitializer;

TEST(COMInitializer, balances_its_own_successful_initialisation_only)
{
    {
        CCOMInitializer com;
        ASSERT_TRUE(SUCCEEDED(com.GetResult()));
        // COM is up on this thread: a second apartment of the same kind is only counted.
        CCOMInitializer nested;
        EXPECT_EQ(S_FALSE, nested.GetResult());
    }
    // Both were balanced: the thread can enter a multi-threaded apartment now.
    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_EQ(S_OK, hr);
    if (SUCCEEDED(hr)) {
        {
            // A mismatched apartment fails and must not be balanced.
            CCOMInitializer mismatched;
            EXPECT_EQ(RPC_E_CHANGED_MODE, mismatched.GetResult());
        }
        CoUninitialize();
    }
}
