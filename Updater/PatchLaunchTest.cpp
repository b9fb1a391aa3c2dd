// The launch of a tested package: the package stand-in (behaviour from its file name) in a work
// folder of the test's own product, with StandIn.exe as the Park that is found and copied; what
// each of them recorded about how it was started, the exit code, the reports and bar positions.
// The install service's route runs in this process with the service stand-in registered for the
// user (tests whose name holds "InstallService" run one at a time).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "OtherProcessFileLock.h"
#include "StandInLog.h"
#include "System/Io/Directory.h"
#include "System/String/AnsiWide.h"
#include "System/Win32/KnownFolders.h"
#include "System/Win32/RegistryKey.h"
#include "TestServer.h"
#include "TestSupport.h"
#include "Updater/ExitCodeException.h"
#include "Updater/PatchLaunch.h"
#include "Updater/UpdaterContract.h"
#include "Updater/UpdaterResult.h"
#include "UpdaterTestSupport.h"

using namespace Lm::Updater;
using LmTest::RecordingObserver;
using LmTest::StandInRecord;
using LmTest::TestProduct;

namespace {

// The signed package stand-in copied into the product's work folder under a name, held as the
// download leaves it.
TestedPackage PlacePackage(const TestProduct& product, const std::wstring& name)
{
    TestedPackage package;
    package.path = product.Folder() + name;
    CopyFileW((LmTest::ServerDir() + L"\\files\\signed.exe").c_str(), package.path.c_str(), FALSE);
    package.hold.Reset(CreateFileW(package.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    return package;
}

// A folder that holds StandIn.exe as Park.exe (or as PatchTools\Park.exe), as the Updater's own
// folder would hold Park.
class ParkFolder {
public:
    explicit ParkFolder(bool inPatchTools = false)
    {
        std::wstring at = folder_.Path();
        if (inPatchTools) {
            at += L"\\PatchTools";
            CreateDirectoryW(at.c_str(), nullptr);
        }
        LmTest::InstallStandIn(at, L"Park.exe");
    }
    std::wstring Path() const { return folder_.Path() + L"\\"; }

private:
    LmTest::ScratchFolder folder_{L"lmpark"};
};

PatchLaunchRequest RequestFor(const TestProduct& product, const ParkFolder& park)
{
    PatchLaunchRequest request;
    request.product = product.Name();
    request.locale = L"fr";
    request.dp = L"partner";
    request.elevated = true;   // the shell's route unless a test asks for the service
    request.programFolder = park.Path();
    return request;
}

// The Park copies in the work folder ("Park-{<guid>}.exe").
std::vector<std::wstring> ParkCopies(const TestProduct& product)
{
    std::vector<std::wstring> copies;
    for (const std::wstring& path : Lm::System::IO::CDirectory::GetFiles(product.Folder(), L"Park-{*}.exe"))
        copies.push_back(path);
    return copies;
}

std::vector<StandInRecord> RecordsOf(const std::wstring& program)
{
    return LmTest::ReadStandInRecords(LmTest::StandInLogOf(program));
}

bool IsLowerCaseGuid(const std::wstring& text)
{
    if (text.size() != 36)
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? text[i] != L'-' : !iswxdigit(text[i]) || iswupper(text[i]))
            return false;
    }
    return true;
}

DWORD Launch(const PatchLaunchRequest& request, TestedPackage& package, RecordingObserver& observer, int& code)
{
    code = 0;
    try {
        return LaunchPatchUnderPark(request, package, observer);
    } catch (const CExitCodeException& e) {
        code = e.GetCode();
        return 0;
    }
}

// The install service stand-in registered for the current user as the in-process server of the
// service's class (and a local server entry, which is how the Updater finds it registered).
// Wine's COM and its HKEY_CLASSES_ROOT read the machine's classes only: the same entries go
// there too (README).
class RegisteredInstallService {
public:
    RegisteredInstallService()
    {
        for (const std::wstring& key : kClassKeys) {
            Lm::System::Win32::CRegistryKey(key + L"\\InprocServer32", false)
                .SetString(L"", LmTest::Tool(L"InstallServiceStandIn.dll"));
            Lm::System::Win32::CRegistryKey(key + L"\\InprocServer32", false).SetString(L"ThreadingModel", L"Both");
            Lm::System::Win32::CRegistryKey(key + L"\\LocalServer32", false)
                .SetString(L"", L"\"" + LmTest::TestDir() + L"Install Service\\InstallService.exe\" /service");
        }
        SetEnvironmentVariableW(L"LM_INSTALL_SERVICE_LOG", log_.c_str());
    }
    ~RegisteredInstallService()
    {
        for (const std::wstring& key : kClassKeys)
            Lm::System::Win32::CRegistryKey::DeleteKeyTree(key);
        SetEnvironmentVariableW(L"LM_INSTALL_SERVICE_LOG", nullptr);
        SetEnvironmentVariableW(L"LM_INSTALL_SERVICE_MODE", nullptr);
        DeleteFileW(log_.c_str());
    }
    void Mode(const wchar_t* mode) { SetEnvironmentVariableW(L"LM_INSTALL_SERVICE_MODE", mode); }
    std::wstring Log() const { return LmTest::ReadFileUtf8(log_); }

    static const std::wstring kClassKeys[2];

private:
    LmTest::ScratchFolder folder_{L"lmservice"};
    std::wstring log_ = folder_ / L"service.log";
};

const std::wstring RegisteredInstallService::kClassKeys[2] = {
    L"HKCU\\Software\\Classes\\CLSID\\{0D7C3B6A-5E21-4A98-B3F4-C61E8A2D9F05}",
    L"HKLM\\Software\\Classes\\CLSID\\{0D7C3B6A-5E21-4A98-B3F4-C61E8A2D9F05}"};

} // namespace

TEST(PatchLaunch, park_and_the_package_are_started_with_their_command_lines)
{
    struct Case {
        const wchar_t* installerArgs;
        const wchar_t* appArgs;
        const wchar_t* launchParams;
        const wchar_t* packageTail;   // after /park="<copy>"
    } cases[] = {
        {L"/nolaunchapp /x \"y z\"", L"/a b", L"/noupdate! /userlocale fr /a b /dp partner", L" /nolaunchapp /x \"y z\""},
        {L"", L"", L"/noupdate! /userlocale fr /dp partner", L""},
    };
    for (const Case& c : cases) {
        TestProduct product;
        ParkFolder park;
        PatchLaunchRequest request = RequestFor(product, park);
        request.installerArgs = c.installerArgs;
        request.appArgs = c.appArgs;
        TestedPackage package = PlacePackage(product, L"Package_exit3.exe");
        RecordingObserver observer;
        int code = 0;
        EXPECT_EQ(3u, Launch(request, package, observer, code));
        EXPECT_EQ(0, code);
        EXPECT_TRUE(observer.reports.empty());
        EXPECT_FALSE(package.hold.IsValid());

        auto copies = ParkCopies(product);
        ASSERT_EQ(1u, copies.size());
        const std::wstring copy = copies[0];
        const std::wstring copyName = copy.substr(product.Folder().size());
        EXPECT_TRUE(IsLowerCaseGuid(copyName.substr(6, 36))) << Lm::WideToAnsi(copyName);
        EXPECT_EQ(L"}.exe", copyName.substr(42));

        auto parkRuns = LmTest::WaitForStandInRecords(LmTest::StandInLogOf(copy), 1, 30000);
        ASSERT_EQ(1u, parkRuns.size());
        EXPECT_EQ(L"/Execute \"" + Lm::System::Win32::GetProgramFilesX86Path() +
                      L"\\Larchmeadow Games\\App\\Playdeck-lm.exe\" /LaunchParams \"" + c.launchParams +
                      L"\" /EventTerminate \"Global\\LMPARKTERM\" /EventExecute \"Global\\LMPARKEXEC\"",
                  parkRuns[0].arguments);
        EXPECT_EQ(product.Folder(), parkRuns[0].workdir + L"\\");

        auto packageRuns = RecordsOf(package.path);
        ASSERT_EQ(1u, packageRuns.size());
        EXPECT_EQ(L"/park=\"" + copy + L"\"" + c.packageTail, packageRuns[0].arguments);
        EXPECT_EQ(product.Folder(), packageRuns[0].workdir + L"\\");
        EXPECT_TRUE(LmTest::FileExists(copy));   // the copy stays for the next run's clean-up
    }
}

TEST(PatchLaunch, without_parking_park_is_copied_and_named_but_not_started)
{
    TestProduct product;
    ParkFolder park(true);   // found in PatchTools
    PatchLaunchRequest request = RequestFor(product, park);
    request.parking = false;
    TestedPackage package = PlacePackage(product, L"Package.exe");
    RecordingObserver observer;
    int code = 0;
    EXPECT_EQ(0u, Launch(request, package, observer, code));
    auto copies = ParkCopies(product);
    ASSERT_EQ(1u, copies.size());
    EXPECT_TRUE(RecordsOf(copies[0]).empty());
    auto packageRuns = RecordsOf(package.path);
    ASSERT_EQ(1u, packageRuns.size());
    EXPECT_EQ(L"/park=\"" + copies[0] + L"\"", packageRuns[0].arguments);
}

TEST(PatchLaunch, no_park_to_copy_gives_1792)
{
    TestProduct product;
    ParkFolder park;
    LmTest::ScratchFolder empty;
    struct Case {
        std::wstring parkPath;
        std::wstring programFolder;
        std::vector<std::wstring> reports;
    } cases[] = {
        {empty / L"Park.exe", park.Path(), {L"SpecifiedParkMissing"}},
        {empty.Path(), park.Path(), {L"SpecifiedParkMissing"}},      // a folder is no Park
        {L"", empty.Path() + L"\\", {}},
    };
    for (const Case& c : cases) {
        PatchLaunchRequest request = RequestFor(product, park);
        request.parkPath = c.parkPath;
        request.programFolder = c.programFolder;
        TestedPackage package = PlacePackage(product, L"Package.exe");
        RecordingObserver observer;
        int code = 0;
        Launch(request, package, observer, code);
        EXPECT_EQ(FailureParkEXEFileExists, code) << Lm::WideToAnsi(c.parkPath);
        EXPECT_EQ(c.reports, observer.reports);
        EXPECT_TRUE(RecordsOf(package.path).empty());
    }
    // A named Park that exists is the one copied.
    PatchLaunchRequest request = RequestFor(product, park);
    request.programFolder = empty.Path() + L"\\";
    request.parkPath = park.Path() + L"Park.exe";
    TestedPackage package = PlacePackage(product, L"Package.exe");
    RecordingObserver observer;
    int code = 0;
    Launch(request, package, observer, code);
    EXPECT_EQ(0, code);
}

TEST(PatchLaunch, a_park_that_cannot_be_copied_or_started_fails_the_launch)
{
    TestProduct product;
    {
        ParkFolder park;
        LmTest::OtherProcessFileLock lock(park.Path() + L"Park.exe");
        ASSERT_TRUE(lock.Locked());
        TestedPackage package = PlacePackage(product, L"Package.exe");
        RecordingObserver observer;
        int code = 0;
        Launch(RequestFor(product, park), package, observer, code);
        EXPECT_EQ(FailureParkEXECopyFile, code);
        EXPECT_TRUE(ParkCopies(product).empty());   // nothing half-copied is left
        EXPECT_TRUE(RecordsOf(package.path).empty());
    }
    {
        // A Park that is no program: copied, but the shell cannot start it.
        LmTest::ScratchFolder folder;
        LmTest::WriteFileUtf8(folder / L"Park.exe", L"not a program");
        PatchLaunchRequest request = RequestFor(product, ParkFolder());
        request.programFolder = folder.Path() + L"\\";
        TestedPackage package = PlacePackage(product, L"Package.exe");
        RecordingObserver observer;
        int code = 0;
        Launch(request, package, observer, code);
        EXPECT_EQ(FailureParkEXEShellExecuteEx, code);
        EXPECT_EQ((std::vector<std::wstring>{L"ShellExecPark"}), observer.reports);
        EXPECT_TRUE(RecordsOf(package.path).empty());
    }
}

TEST(PatchLaunch, a_package_the_shell_cannot_start_gives_1281_and_releases_park)
{
    TestProduct product;
    ParkFolder park;
    TestedPackage package;
    package.path = product.Folder() + L"Package.exe";
    LmTest::WriteFileUtf8(package.path, L"not a program");
    RecordingObserver observer;
    int code = 0;
    Launch(RequestFor(product, park), package, observer, code);
    EXPECT_EQ(FailureLaunchEXEShellExecuteEx, code);
    EXPECT_EQ((std::vector<std::wstring>{L"ShellExecPatch"}), observer.reports);
    auto copies = ParkCopies(product);
    ASSERT_EQ(1u, copies.size());
    auto parkRuns = LmTest::WaitForStandInRecords(LmTest::StandInLogOf(copies[0]), 2, 30000);
    ASSERT_EQ(2u, parkRuns.size());
    EXPECT_EQ(L"/EventTerminate \"Global\\LMPARKTERM\" /SignalTerminate", parkRuns[1].arguments);
}

TEST(PatchLaunch, the_exit_code_comes_back_unsigned)
{
    TestProduct product;
    ParkFolder park;
    TestedPackage package = PlacePackage(product, L"Package_exit0xC0000005.exe");
    RecordingObserver observer;
    int code = 0;
    const DWORD exitCode = Launch(RequestFor(product, park), package, observer, code);
    EXPECT_EQ(0xC0000005u, exitCode);
    EXPECT_EQ(L"InstallerExitCode3221225477", MakeInstallerExitCodeResult(std::to_wstring(exitCode)));
}

TEST(PatchLaunch, the_bar_follows_the_install_percentage)
{
    const std::pair<float, int> table[] = {{0.0f, 55}, {42.5f, 74}, {50.0f, 77}, {99.9f, 100}, {200.0f, 100}};
    for (const auto& row : table)
        EXPECT_EQ(row.second, InstallBarPosition(row.first)) << row.first;

    // The package writes "Install" into a key of the test's own while it runs.
    const std::wstring root = L"HKCU\\Software\\LmTest\\" + LmTest::UniqueName(L"Package");
    SetEnvironmentVariableW(L"LM_PACKAGE_REGISTRY_ROOT", root.c_str());
    struct Case {
        const wchar_t* package;
        bool keyFirst;          // the status key exists before the package starts
        std::vector<int> allowed;
        bool some;              // at least one position is posted
    } cases[] = {
        {L"Package_install42.5_sleep1500.exe", false, {55, 74}, true},   // 55 until the key is there
        {L"Package_sleep1000.exe", true, {}, false},                     // no value: "100.0", nothing
        {L"Package_install100_sleep1000.exe", false, {55}, false},
    };
    for (const Case& c : cases) {
        Lm::System::Win32::CRegistryKey::DeleteKeyTree(root);
        if (c.keyFirst)
            Lm::System::Win32::CRegistryKey(root + L"\\InstallerStatus", false);
        TestProduct product;
        ParkFolder park;
        PatchLaunchRequest request = RequestFor(product, park);
        request.statusKey = root + L"\\InstallerStatus";
        TestedPackage package = PlacePackage(product, c.package);
        RecordingObserver observer;
        int code = 0;
        Launch(request, package, observer, code);
        EXPECT_EQ(0, code);
        for (int bar : observer.bars) {
            EXPECT_NE(c.allowed.end(), std::find(c.allowed.begin(), c.allowed.end(), bar))
                << Lm::WideToAnsi(c.package) << ": " << bar;
        }
        if (c.some) {
            EXPECT_NE(observer.bars.end(), std::find(observer.bars.begin(), observer.bars.end(), 74));
        } else if (c.allowed.empty()) {
            EXPECT_TRUE(observer.bars.empty());
        }
    }
    SetEnvironmentVariableW(L"LM_PACKAGE_REGISTRY_ROOT", nullptr);
    Lm::System::Win32::CRegistryKey::DeleteKeyTree(root);
}

TEST(PatchLaunchInstallService, unelevated_the_service_starts_the_package)
{
    RegisteredInstallService service;
    TestProduct product;
    ParkFolder park;
    PatchLaunchRequest request = RequestFor(product, park);
    request.elevated = false;
    request.installerArgs = L"/nolaunchapp";
    TestedPackage package = PlacePackage(product, L"Package_exit7.exe");
    RecordingObserver observer;
    int code = 0;
    EXPECT_EQ(7u, Launch(request, package, observer, code));
    EXPECT_EQ(0, code);
    EXPECT_TRUE(observer.reports.empty()) << Lm::WideToAnsi(observer.reports.front());
    auto copies = ParkCopies(product);
    ASSERT_EQ(1u, copies.size());
    const std::wstring arguments = L"/park=\"" + copies[0] + L"\" /nolaunchapp";
    EXPECT_EQ(L"pid=" + std::to_wstring(GetCurrentProcessId()) + L"\r\npath=\"" + package.path + L"\"\r\narguments=" +
                  arguments + L"\r\nfolder=" + product.Folder() + L"\r\nreserved=0,0\r\n\r\n",
              service.Log());
    auto packageRuns = RecordsOf(package.path);
    ASSERT_EQ(1u, packageRuns.size());
    EXPECT_EQ(arguments, packageRuns[0].arguments);
}

TEST(PatchLaunchInstallService, a_missing_or_failing_service_is_reported_and_the_shell_starts_the_package)
{
    struct Case {
        bool registered;
        const wchar_t* mode;
        bool elevated;
        std::vector<std::wstring> reports;
        bool called;   // the service's Run was called
    } cases[] = {
        {false, L"", false, {L"ServiceMissing"}, false},
        {true, L"createfails", false, {L"ServiceCreate"}, false},
        {true, L"runfails", false, {L"ServiceInvoke"}, true},
        {true, L"nohandle", false, {L"ServiceInvoke"}, true},
        {true, L"", true, {}, false},   // elevated: COM is never touched
    };
    for (const Case& c : cases) {
        std::unique_ptr<RegisteredInstallService> service;
        if (c.registered) {
            service.reset(new RegisteredInstallService);
            service->Mode(c.mode);
        }
        TestProduct product;
        ParkFolder park;
        PatchLaunchRequest request = RequestFor(product, park);
        request.elevated = c.elevated;
        TestedPackage package = PlacePackage(product, L"Package_exit5.exe");
        RecordingObserver observer;
        int code = 0;
        EXPECT_EQ(5u, Launch(request, package, observer, code)) << Lm::WideToAnsi(c.mode);
        EXPECT_EQ(c.reports, observer.reports) << Lm::WideToAnsi(c.mode);
        if (service) {
            EXPECT_EQ(c.called, !service->Log().empty()) << Lm::WideToAnsi(c.mode);
        }
        EXPECT_EQ(1u, RecordsOf(package.path).size()) << Lm::WideToAnsi(c.mode);
    }
}
