#include "Installer/InstallerMain.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <thread>

#include "AnsweredCall.h"
#include "Installer/InstallerContract.h"

using namespace Lm::Installer;

namespace {

const InstallerMessageRow& Row() { return GetInstallerMessageRow(0); }

// Another Installer: the mutex held by this process through a handle of its own.
HANDLE HoldMutex()
{
    HANDLE mutex = CreateMutexW(nullptr, TRUE, kInstallerMutexName);
    EXPECT_NE(nullptr, mutex);
    EXPECT_NE(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError()) << "nothing else holds it";
    return mutex;
}

} // namespace

TEST(InstallerMutex, a_free_mutex_is_taken_and_kept)
{
    bool acquired = false;
    const LmTest::AnsweredCall call =
        LmTest::CallAnsweringBoxes([&] { acquired = AcquireInstallerMutex(Row(), false); }, Row()[kMessageCaption]);
    EXPECT_TRUE(acquired);
    EXPECT_TRUE(call.boxes.empty());
    // Still held: another attempt finds it.
    HANDLE again = CreateMutexW(nullptr, TRUE, kInstallerMutexName);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    CloseHandle(again);
}

TEST(InstallerMutex, a_held_mutex_gives_box_2_after_the_tries)
{
    HANDLE other = HoldMutex();
    bool acquired = true;
    const DWORD start = GetTickCount();
    const LmTest::AnsweredCall call =
        LmTest::CallAnsweringBoxes([&] { acquired = AcquireInstallerMutex(Row(), false); }, Row()[kMessageCaption]);
    const DWORD elapsed = GetTickCount() - start;
    CloseHandle(other);
    EXPECT_FALSE(acquired);
    ASSERT_EQ(1u, call.boxes.size());
    EXPECT_EQ(Row()[kMessageAlreadyRunning], call.boxes[0]);
    EXPECT_GE(elapsed, kInstallerMutexTries * kInstallerMutexRetryMs);
}

TEST(InstallerMutex, a_restore_run_waits_longer_and_ends_without_a_box)
{
    HANDLE other = HoldMutex();
    bool acquired = true;
    const DWORD start = GetTickCount();
    const LmTest::AnsweredCall call =
        LmTest::CallAnsweringBoxes([&] { acquired = AcquireInstallerMutex(Row(), true); }, Row()[kMessageCaption]);
    const DWORD elapsed = GetTickCount() - start;
    CloseHandle(other);
    EXPECT_FALSE(acquired);
    EXPECT_TRUE(call.boxes.empty());
    EXPECT_GE(elapsed, kInstallerMutexRestoreTries * kInstallerMutexRetryMs);
}

TEST(InstallerMutex, an_installer_that_ends_during_the_tries_hands_it_over)
{
    HANDLE other = HoldMutex();
    std::thread ending([other] {
        Sleep(600);
        CloseHandle(other);
    });
    bool acquired = false;
    const LmTest::AnsweredCall call =
        LmTest::CallAnsweringBoxes([&] { acquired = AcquireInstallerMutex(Row(), false); }, Row()[kMessageCaption]);
    ending.join();
    EXPECT_TRUE(acquired);
    EXPECT_TRUE(call.boxes.empty());
}
