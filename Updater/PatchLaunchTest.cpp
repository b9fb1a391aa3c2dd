// The launch of a tested package: the package stand-in (behaviour from its file name) in a work
// folder of the test's own product, with StandIn.exe as the Park that is found and copied; what
// each of them recorded about how it was started (in the test's stand-in log folder), the exit
// code, the reports and bar positions.
// The install service's route runs in this process with the service stand-in registered for the
// user (tests whose name holds "InstallService" run one at a time).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "CommonAppLogic/SecureTemporaryFolder.h"
#include "OtherProcessFileLock.h"
#include "StandInLog.h"
#include "System/Io/Directory.h"
#include "System/String/AnsiWide.h"
#include "System/Win32/KnownFolders.h"
#include "System/Win32/RegistryKey.h"
#include "TestServer.h"
#include "TestSupport.h"
#include "Updater/ElevatedPackageCopy.h"
#include "Updater/ExitCodeException.h"
#include "Updater/PatchLaunch.h"
#include "Updater/UpdaterContract.h"
#include "Updater/UpdaterMain.h"
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
    DeleteFileW(LmTest::StandInLogOfProgram(name).c_str());   // records of an earlier case
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
    LmTest::StandInLogs();   // the stand-ins this test starts write their records there
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
    return LmTest::RecordsOfProgram(program);
}

// Where an elevated launch starts the package: <temp>\pdtpp-<guid>.
bool IsElevatedPackageFolder(const std::wstring& folder)
{
    return Lm::CommonAppLogic::InstallUtils::CSecureTemporaryFolder::IsNamedAsMadeWith(kElevatedPackageFolderPrefix,
                                                                                        folder);
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

        auto parkRuns = LmTest::WaitForStandInRecords(LmTest::StandInLogOfProgram(copy), 1, 30000);
        ASSERT_EQ(1u, parkRuns.size());
        EXPECT_EQ(L"/Execute \"" + Lm::System::Win32::GetProgramFilesX86Path() +
                      L"\\Larchmeadow Games\\App\\Playdeck-lm.exe\" /LaunchParams \"" + c.launchParams +
                      L"\" /EventTerminate \"Global\\LMPARKTERM\" /EventExecute \"Global\\LMPARKEXEC\"",
                  parkRuns[0].arguments);
        EXPECT_EQ(product.Folder(), parkRuns[0].workdir + L"\\");

        // Elevated, the package runs from a copy in a secure folder of its own, which is gone
        // once it has ended; the tested file in the work folder is let go.
        auto packageRuns = RecordsOf(package.path);
        ASSERT_EQ(1u, packageRuns.size());
        EXPECT_EQ(L"/park=\"" + copy + L"\"" + c.packageTail, packageRuns[0].arguments);
        const std::wstring started = LmTest::FolderOf(packageRuns[0].exe);
        EXPECT_TRUE(IsElevatedPackageFolder(started)) << Lm::WideToAnsi(packageRuns[0].exe);
        EXPECT_EQ(L"Package_exit3.exe", packageRuns[0].exe.substr(started.size() + 1));
        EXPECT_EQ(started, packageRuns[0].workdir);
        EXPECT_FALSE(LmTest::DirectoryExists(started));
        EXPECT_TRUE(DeleteFileW(package.path.c_str()));
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
        // A named Park is started only when it is the maker's, as every program the Updater starts.
        {park.Path() + L"Park.exe", empty.Path() + L"\\", {L"SpecifiedParkUnsigned"}},
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
        EXPECT_TRUE(ParkCopies(product).empty());   // an unsigned copy does not stay
    }
    // A named Park that exists and is signed by the maker is the one copied and started.
    LmTest::ScratchFolder signedPark;
    ASSERT_TRUE(CopyFileW((LmTest::ServerDir() + L"\\files\\signed.exe").c_str(), (signedPark / L"Park.exe").c_str(),
                          FALSE));
    PatchLaunchRequest request = RequestFor(product, park);
    request.programFolder = empty.Path() + L"\\";
    request.parkPath = signedPark / L"Park.exe";
    TestedPackage package = PlacePackage(product, L"Package.exe");
    RecordingObserver observer;
    int code = 0;
    Launch(request, package, observer, code);
    EXPECT_EQ(0, code);
    auto copies = ParkCopies(product);
    ASSERT_EQ(1u, copies.size());
    EXPECT_EQ(1u, LmTest::WaitForStandInRecords(LmTest::StandInLogOfProgram(copies[0]), 1, 30000).size());
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
    auto parkRuns = LmTest::WaitForStandInRecords(LmTest::StandInLogOfProgram(copies[0]), 2, 30000);
    ASSERT_EQ(2u, parkRuns.size());
    EXPECT_EQ(L"/EventTerminate \"Global\\LMPARKTERM\" /SignalTerminate", parkRuns[1].arguments);
}

TEST(PatchLaunch, the_exit_code_comes_back_unsigned_and_names_its_analytics_text)
{
    TestProduct product;
    ParkFolder park;
    TestedPackage package = PlacePackage(product, L"Package_exit0xC0000005.exe");
    RecordingObserver observer;
    int code = 0;
    const DWORD exitCode = Launch(RequestFor(product, park), package, observer, code);
    EXPECT_EQ(0xC0000005u, exitCode);
    EXPECT_EQ(L"InstallerExitCode3221225477", PackageExitCodeResult(exitCode));

    // The text the main flow reports for each kind of exit code: never a minus sign.
    const std::pair<unsigned long, const wchar_t*> table[] = {
        {0, L"Succeeded"},
        {0x40010004UL, L"DbgTerminateProcess"},
        {1, L"InstallerExitCode1"},
        {0x80000000UL, L"InstallerExitCode2147483648"},
        {0xFFFFFFFFUL, L"InstallerExitCode4294967295"},
    };
    for (const auto& row : table)
        EXPECT_EQ(row.second, PackageExitCodeResult(row.first)) << row.first;
}

TEST(PatchLaunch, the_bar_follows_the_install_percentage)
{
    // 3.3355556 and 14.446667: the sum reaches the next whole number in single precision only.
    const std::pair<float, int> table[] = {{0.0f, 55},       {3.3355556f, 57}, {14.446667f, 62}, {42.5f, 74},
                                           {50.0f, 77},      {99.9f, 100},     {200.0f, 100}};
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
        auto packageRuns = RecordsOf(package.path);
        ASSERT_EQ(1u, packageRuns.size()) << Lm::WideToAnsi(c.mode);
        // Unelevated the package runs where it was tested; elevated from its secure copy.
        if (c.elevated) {
            EXPECT_TRUE(IsElevatedPackageFolder(LmTest::FolderOf(packageRuns[0].exe))) << Lm::WideToAnsi(packageRuns[0].exe);
        } else {
            EXPECT_EQ(package.path, packageRuns[0].exe) << Lm::WideToAnsi(c.mode);
        }
    }
}

TEST(PatchLaunchInstallService, a_failure_in_the_service_route_tells_the_waiting_park_to_quit)
{
    // Park waits already when the service route fails by an exception of its own (memory, for
    // one): Park is told to quit before the exception leaves the launch.
    struct ThrowingObserver : RecordingObserver {
        void ReportResult(const std::wstring& text) override
        {
            RecordingObserver::ReportResult(text);
            throw std::bad_alloc();
        }
    };
    TestProduct product;
    ParkFolder park;
    PatchLaunchRequest request = RequestFor(product, park);
    request.elevated = false;   // no service registered: "ServiceMissing" is reported
    TestedPackage package = PlacePackage(product, L"Package.exe");
    ThrowingObserver observer;
    EXPECT_THROW(LaunchPatchUnderPark(request, package, observer), std::bad_alloc);
    EXPECT_EQ((std::vector<std::wstring>{L"ServiceMissing"}), observer.reports);
    EXPECT_TRUE(RecordsOf(package.path).empty());
    auto copies = ParkCopies(product);
    ASSERT_EQ(1u, copies.size());
    auto parkRuns = LmTest::WaitForStandInRecords(LmTest::StandInLogOfProgram(copies[0]), 2, 30000);
    ASSERT_EQ(2u, parkRuns.size());
    EXPECT_EQ(0u, parkRuns[0].arguments.find(L"/Execute "));
    EXPECT_EQ(L"/EventTerminate \"Global\\LMPARKTERM\" /SignalTerminate", parkRuns[1].arguments);
}

TEST(ElevatedPackageCopy, holds_a_copy_in_a_secure_folder_and_removes_it_when_it_goes)
{
    TestProduct product;
    TestedPackage tested = PlacePackage(product, L"Package_exit4.exe");
    std::wstring folder, copy;
    {
        CElevatedPackageCopy elevated(tested);
        folder = elevated.Folder();
        copy = elevated.Package().path;
        EXPECT_TRUE(IsElevatedPackageFolder(folder)) << Lm::WideToAnsi(folder);
        EXPECT_EQ(folder + L"\\Package_exit4.exe", copy);
        EXPECT_EQ(LmTest::ReadFileBytes(tested.path), LmTest::ReadFileBytes(copy));
        // Held: readable, but nobody writes, renames or deletes it before it has started.
        ASSERT_TRUE(elevated.Package().hold.IsValid());
        HANDLE writer = CreateFileW(copy.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_EQ(INVALID_HANDLE_VALUE, writer);
        if (writer != INVALID_HANDLE_VALUE)
            CloseHandle(writer);
        EXPECT_FALSE(DeleteFileW(copy.c_str()));
        EXPECT_FALSE(MoveFileW(copy.c_str(), (copy + L".moved").c_str()));
        EXPECT_TRUE(tested.hold.IsValid());   // the tested file stays held as well
    }
    EXPECT_FALSE(LmTest::DirectoryExists(folder));
    // A tested file that cannot be copied gives 1281.
    TestedPackage missing;
    missing.path = product.Folder() + L"gone.exe";
    try {
        CElevatedPackageCopy elevated(missing);
        ADD_FAILURE() << "no exception";
    } catch (const CExitCodeException& e) {
        EXPECT_EQ(FailureLaunchEXEShellExecuteEx, e.GetCode());
    }
}
