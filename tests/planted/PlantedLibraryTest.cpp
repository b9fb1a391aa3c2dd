// A copy of each program run from a folder that also holds a planted library (tests/tools/
// PlantedLibrary.cpp, which records every load and forwards nothing) under the names of the system
// libraries the programs load, those names set to native first (LM_WINEDLLOVERRIDES, set by
// tests/planted/CMakeLists.txt), so that Wine looks for them as Windows looks for a library that
// is not a known DLL: the program's folder first. The planted library is never loaded, and each
// program still does its job, with the system's copies of those libraries.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "AnsweredCall.h"
#include "CommonAppLogic/UILanguage.h"
#include "InstallerTestSupport.h"
#include "Installer/InstallerMessageTable.h"
#include "StandInLog.h"
#include "TestProcess.h"
#include "TestShellLinks.h"
#include "TestSupport.h"
#include "TouchpointMachine.h"
#include "UpdaterTestSupport.h"

namespace {

constexpr DWORD kPatience = 120000;   // bound of a program run; only a hang reaches it

// The file names of the libraries set to native first for this run: "<name>,<name>=n,b".
std::vector<std::wstring> PlantedNames()
{
    wchar_t overrides[4096] = {};
    const DWORD length = GetEnvironmentVariableW(L"LM_WINEDLLOVERRIDES", overrides, 4096);
    std::vector<std::wstring> names;
    const std::wstring text(overrides, length < 4096 ? length : 0);
    const size_t end = text.find(L'=');
    for (size_t at = 0; end != std::wstring::npos && at < end;) {
        const size_t comma = std::min(text.find(L',', at), end);
        names.push_back(text.substr(at, comma - at) + L".dll");
        at = comma + 1;
    }
    return names;
}

class PlantedLibrary : public testing::Test {
protected:
    void SetUp() override
    {
        const std::vector<std::wstring> names = PlantedNames();
        ASSERT_FALSE(names.empty()) << "LM_WINEDLLOVERRIDES names no library: run through CTest";
        for (const std::wstring& name : names)
            ASSERT_TRUE(CopyFileW(LmTest::Tool(L"PlantedLibrary.dll").c_str(), (folder_ / name).c_str(), FALSE));
    }
    void TearDown() override { EXPECT_EQ(L"", PlantedLoads()) << "a planted library was loaded"; }

    // The program copied beside the planted libraries under that name.
    std::wstring Beside(const std::wstring& source, const std::wstring& name)
    {
        const std::wstring copy = folder_ / name;
        EXPECT_TRUE(CopyFileW(source.c_str(), copy.c_str(), FALSE)) << testing::PrintToString(source);
        return copy;
    }
    // What the planted library recorded: one line per load.
    std::wstring PlantedLoads() const { return LmTest::ReadFileUtf8(folder_ / L"PlantedLibrary.log"); }

    LmTest::ScratchFolder folder_{L"lmplanted"};
    LmTest::StandInLogFolder logs_;
};

// Park in wait mode and Park signalling it, both from the planted folder: the program it starts
// runs once.
TEST_F(PlantedLibrary, park_waits_and_starts_the_program_it_is_told_to)
{
    const std::wstring park = Beside(LmTest::Program(L"Park.exe"), L"Park.exe");
    LmTest::ScratchFolder appFolder(L"lmplantedapp");
    const std::wstring app = LmTest::InstallStandIn(appFolder.Path(), L"App.exe");
    const std::wstring terminate = L"Local\\" + LmTest::UniqueName(L"LmPlantedTerm");
    const std::wstring execute = L"Local\\" + LmTest::UniqueName(L"LmPlantedExec");

    LmTest::Process waiting(LmTest::StartProgram(park, L"/Execute \"" + app + L"\" /LaunchParams \"/from planted\" /EventTerminate \"" +
                                                           terminate + L"\" /EventExecute \"" + execute + L"\"",
                                                 folder_.Path()));
    ASSERT_TRUE(waiting.Started());
    ASSERT_TRUE(LmTest::WaitUntil([&] { return LmTest::NamedEventExists(execute); }, kPatience))
        << "Park did not make its events";
    const LmTest::RunResult signal =
        LmTest::RunProgram(park, L"/EventExecute \"" + execute + L"\" /SignalExecute", kPatience, folder_.Path());
    EXPECT_TRUE(signal.finished);
    EXPECT_EQ(0u, signal.exitCode);
    EXPECT_EQ(0u, waiting.WaitExit(kPatience));
    EXPECT_TRUE(LmTest::WaitUntil([&] { return !logs_.Records(L"App.exe").empty(); }, kPatience));
    const std::vector<LmTest::StandInRecord> starts = logs_.Records(L"App.exe");
    ASSERT_EQ(1u, starts.size());
    EXPECT_EQ(L"/from planted", starts[0].arguments);
}

// PinHook brands a link: the shell, COM and the property store at work beside the plants.
TEST_F(PlantedLibrary, pinhook_brands_a_link)
{
    const std::wstring pinHook = Beside(LmTest::Program(L"PinHook.exe"), L"PinHook.exe");
    LmTest::ScratchFolder links(L"lmplantedlink");
    const std::wstring link = links / L"Larchmeadow Games.lnk";
    {
        LmTest::ComApartment com;
        LmTest::ShellLinkData data;
        data.target = L"C:\\windows\\system32\\notepad.exe";
        data.description = L"Old description";
        ASSERT_TRUE(LmTest::CreateShellLink(link, data));
    }
    const LmTest::RunResult run = LmTest::RunProgram(
        pinHook, L"\"" + link + L"\" \"" + pinHook + L"\" \"" + (links / L"Application.ico") + L"\" DT", kPatience,
        folder_.Path());
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    LmTest::ComApartment com;
    LmTest::ShellLinkData branded;
    ASSERT_TRUE(LmTest::ReadShellLink(link, branded));
    EXPECT_EQ(L"@" + pinHook + L",-107", branded.description);
}

// setup from the download folder unpacks its Installer through cabinet.dll, copies the local
// Patch.exe beside it once its signature passes (crypt32.dll, wintrust.dll), and runs it. Without
// Park (/nolaunchconsole), so that only the registry probe is machine-wide.
TEST_F(PlantedLibrary, setup_unpacks_and_runs_the_installer_with_the_signed_local_patch)
{
    const std::wstring setup = Beside(LmTest::TestDir() + L"setup\\SetupTestPayload.exe", L"setup.exe");
    Beside(LmTest::TestDir() + L"installer-signed\\Patch.exe", L"Patch.exe");
    const LmTest::RunResult run = LmTest::RunProgram(setup, L"/nolaunchconsole /uselocalpatch", kPatience, folder_.Path());
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    const std::vector<LmTest::StandInRecord> installers = logs_.Records(L"InstallerStandIn");
    ASSERT_EQ(1u, installers.size()) << "the Installer did not run";
    EXPECT_EQ(L"1", installers[0].values.at(L"patchfile")) << "the signed Patch.exe was not copied";
}

// The Installer's machine-wide places, saved and emptied before a run and put back after it; its
// Updater is the hand-off stand-in of its test build, which reports success.
class PlantedLibraryTouchpoint : public PlantedLibrary {
protected:
    void SetUp() override
    {
        PlantedLibrary::SetUp();
        LmTest::ClearTouchpointPlaces();
        LmTest::SetHandOffStandIn(L"UPDATER", L"0", L"Success");
    }
    void TearDown() override
    {
        LmTest::ClearHandOffStandIns();
        PlantedLibrary::TearDown();
    }

    // A silent install by the Installer's test build at that path; its exit code and boxes.
    LmTest::AnsweredRun Install(const std::wstring& installer)
    {
        const Lm::Installer::InstallerMessageRow& row =
            Lm::Installer::GetInstallerMessageRow(Lm::CommonAppLogic::GetUILanguageIndex(L""));
        return LmTest::RunAnsweringBoxes(installer, L"/S",
                                         Lm::Installer::InstallerMessageText(row, Lm::Installer::kMessageCaption), {IDOK},
                                         kPatience, folder_.Path());
    }
    static bool Installed()
    {
        return LmTest::FileExists(LmTest::TouchpointFolder() + L"\\Uninstall.exe") &&
               LmTest::FileExists(LmTest::TouchpointFolder() + L"\\PinHook.exe") &&
               LmTest::FileExists(LmTest::PublicDesktopLink());
    }

    LmTest::InstallerMachine machine_;
};

// The Installer, as setup unpacks it, installs the touchpoint silently; its links are branded by
// PinHook once PinHook's signature passed.
TEST_F(PlantedLibraryTouchpoint, installer_installs_the_touchpoint_silently)
{
    const LmTest::AnsweredRun run =
        Install(Beside(LmTest::TestDir() + L"installer-build\\Installer.exe", L"setup.exe"));
    ASSERT_TRUE(run.run.finished);
    EXPECT_EQ(0u, run.run.exitCode);
    EXPECT_EQ(std::vector<std::wstring>(), run.boxes);
    EXPECT_TRUE(Installed());
}

// Uninstall removes a touchpoint that the Installer laid down, having PinHook clear each link once
// its signature passed.
TEST_F(PlantedLibraryTouchpoint, uninstall_removes_the_touchpoint_silently)
{
    LmTest::ScratchFolder elsewhere(L"lmplantedinstaller");
    const std::wstring installer = elsewhere / L"setup.exe";
    ASSERT_TRUE(CopyFileW((LmTest::TestDir() + L"installer-build\\Installer.exe").c_str(), installer.c_str(), FALSE));
    ASSERT_EQ(0u, Install(installer).run.exitCode);
    ASSERT_TRUE(Installed());

    const LmTest::RunResult run =
        LmTest::RunProgram(Beside(LmTest::Program(L"Uninstall.exe"), L"Uninstall.exe"), L"/silent", kPatience, folder_.Path());
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_FALSE(LmTest::DirectoryExists(LmTest::TouchpointFolder()));
    EXPECT_FALSE(LmTest::FileExists(LmTest::PublicDesktopLink()));
}

// The Updater asks the local server for a package (wininet.dll), downloads and tests it (crypt32.dll,
// wintrust.dll) and runs it under a copy of the Park beside it (a stand-in that only records), its
// progress window made but hidden (comctl32.dll).
TEST_F(PlantedLibrary, updater_downloads_tests_and_runs_the_package)
{
    const std::wstring updater = Beside(LmTest::Program(L"Updater.exe"), L"Updater.exe");
    ASSERT_FALSE(LmTest::InstallStandIn(folder_.Path(), L"Park.exe").empty());
    LmTest::TestProduct product("package");
    const LmTest::RunResult run =
        LmTest::RunProgram(updater, L"/product=" + product.Name() + L" /noprog", kPatience, folder_.Path());
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ(1u, logs_.Records(L"Package.exe").size()) << "the package did not run";
}

// A program's static constructors run after its start limited the search: a bare-name load in one
// of them (tests/tools/ProgramStartProbe.cpp) does not find the library planted beside it.
TEST_F(PlantedLibrary, static_constructors_run_with_the_search_already_limited)
{
    const std::wstring probe = Beside(LmTest::Tool(L"ProgramStartProbe.exe"), L"ProgramStartProbe.exe");
    ASSERT_TRUE(CopyFileW(LmTest::Tool(L"PlantedLibrary.dll").c_str(), (folder_ / L"LmPlantedProbe.dll").c_str(), FALSE));
    const LmTest::RunResult run = LmTest::RunProgram(probe, L"", kPatience, folder_.Path());
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode) << "1: the search was not limited yet, or the planted library was found";
}

} // namespace
