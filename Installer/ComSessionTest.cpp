// The COM session of the window's thread.
#include <gtest/gtest.h>

#include <thread>

#include "Installer/ComSession.h"
#include "System/Exception.h"

using namespace Lm::Installer;

TEST(ComSession, co_initialize_results_the_session_goes_on_with)
{
    EXPECT_NO_THROW(CheckCoInitializeResult(S_OK));
    EXPECT_NO_THROW(CheckCoInitializeResult(S_FALSE));
    EXPECT_NO_THROW(CheckCoInitializeResult(RPC_E_CHANGED_MODE));
    for (HRESULT refused : {E_OUTOFMEMORY, E_INVALIDARG, E_UNEXPECTED}) {
        try {
            CheckCoInitializeResult(refused);
            ADD_FAILURE() << std::hex << refused << " accepted";
        } catch (const Lm::System::CException& e) {
            EXPECT_EQ(L"CoInitialize failed", e.Message());
            EXPECT_EQ("Installer\\Installer", e.SourceFile());
            EXPECT_EQ(783, e.Line());
            EXPECT_EQ("CCOMInitializer::CCOMInitializer", e.Function());
        }
    }
}

TEST(ComSession, holds_com_and_the_preloader_until_it_ends_once)
{
    std::thread([] {
        CComSession session;
        EXPECT_FALSE(session.IsComSessionEnded());
        // COM is initialised on this thread: a second CoInitialize only counts up.
        EXPECT_EQ(S_FALSE, CoInitialize(nullptr));
        CoUninitialize();
        Lm::System::CRefPtr<Lm::System::HTMLWindow::CDllPreloader> preloader =
            Lm::System::HTMLWindow::CDllPreloader::GetInstance();
        EXPECT_EQ(2, preloader->GetReferenceCount()) << "the session holds the preloader";
        session.EndComSession();
        EXPECT_TRUE(session.IsComSessionEnded());
        EXPECT_EQ(1, preloader->GetReferenceCount());
        EXPECT_EQ(S_OK, CoInitialize(nullptr)) << "COM was uninitialised";
        CoUninitialize();
        session.EndComSession();
    }).join();
}

TEST(ComSession, a_thread_in_the_multithreaded_apartment_is_accepted)
{
    std::thread([] {
        ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        {
            CComSession session;
            EXPECT_FALSE(session.IsComSessionEnded());
        }
        // The session balanced nothing it did not initialise: the apartment is still there.
        EXPECT_EQ(S_FALSE, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        CoUninitialize();
        CoUninitialize();
    }).join();
}
