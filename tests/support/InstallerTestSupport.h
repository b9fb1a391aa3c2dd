// Helpers of the Installer's tests: options from an argument list, a page that records what the
// steps post, the hand-off stand-in's instructions (tests/tools/HandOffStandIn.cpp reads them
// from the environment that the Installer and its Updater inherit), and the machine's
// touchpoint places emptied before a case (TouchpointMachine puts them back after it).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "Installer/InstallerContract.h"
#include "Installer/InstallerOptions.h"
#include "Installer/InstallerPage.h"
#include "Park/ParkContract.h"
#include "StandInLog.h"
#include "TestRegistry.h"
#include "TestSupport.h"
#include "TouchpointMachine.h"

namespace LmTest {

inline Lm::Installer::CInstallerOptions InstallerOptionsOf(std::vector<const wchar_t*> arguments)
{
    arguments.insert(arguments.begin(), L"Installer.exe");
    return Lm::Installer::CInstallerOptions(static_cast<int>(arguments.size()), arguments.data());
}

class RecordingPage : public Lm::Installer::IInstallerPage {
public:
    void PostCommand(const std::wstring& command) override { commands.push_back(command); }
    void PostClose() override { commands.push_back(L"close"); }
    std::vector<std::wstring> commands;
};

// What the stand-in copied as <name>.exe does: its exit code, the result it leaves in
// InstallSemaphore_1 (null: none) and where it records its command line (null: nowhere).
inline void SetHandOffStandIn(const std::wstring& name, const wchar_t* exitCode, const wchar_t* result,
                              const wchar_t* record = nullptr)
{
    const std::wstring prefix = L"LM_HANDOFF_" + name + L"_";
    SetEnvironmentVariableW((prefix + L"EXIT").c_str(), exitCode);
    SetEnvironmentVariableW((prefix + L"RESULT").c_str(), result);
    SetEnvironmentVariableW((prefix + L"RECORD").c_str(), record);
}

// The stand-in as a package that hands its work to a process of its own, which writes the result
// after the time (null: at once, by the stand-in itself); and as one that lays the main application
// down: its entry names the program (null: no entry).
inline void SetHandOffStandInPackage(const std::wstring& name, const wchar_t* resultAfterMs, const wchar_t* mainApp = nullptr)
{
    const std::wstring prefix = L"LM_HANDOFF_" + name + L"_";
    SetEnvironmentVariableW((prefix + L"CHILDMS").c_str(), resultAfterMs);
    SetEnvironmentVariableW((prefix + L"MAINAPP").c_str(), mainApp);
}

inline void ClearHandOffStandIns()
{
    for (const wchar_t* name : {L"UPDATER", L"PATCH"}) {
        SetHandOffStandIn(name, nullptr, nullptr, nullptr);
        SetHandOffStandInPackage(name, nullptr, nullptr);
    }
    RegDeleteValueAt(Lm::CommonAppLogic::kLarchmeadowKey, Lm::CommonAppLogic::kInstallSemaphoreValue);
}

// No touchpoint, no main application, no licence flag, no links, no result of a full installer.
inline void ClearTouchpointPlaces()
{
    for (const wchar_t* key : {kTestTouchpointEntry, kTestMainAppEntry, kTestMasterEntry})
        RegDeleteTreeAt(key);
    RemoveTree(TouchpointFolder());
    DeleteFileW(SharedIniPath().c_str());
    DeleteFileW(PublicDesktopLink().c_str());
    DeleteFileW((StartMenuGamesFolder() + L"\\Larchmeadow Games.lnk").c_str());
    RegDeleteValueAt(Lm::CommonAppLogic::kLarchmeadowKey, Lm::CommonAppLogic::kInstallSemaphoreValue);
}

// The machine-wide places an Installer run writes beyond the touchpoint steps' (the RunOnce key of
// the 64-bit view, the status key), saved with those and put back when the object goes.
struct InstallerMachine {
    TouchpointMachine touchpoint;
    RegistryKeySnapshot runOnce{L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce", KEY_WOW64_64KEY};
    RegistryKeySnapshot status{Lm::CommonAppLogic::kInstallerStatusKey};
};

// The main application installed: its entry names a stand-in for its uninstaller, signed as the
// maker, in the folder.
inline void InstallMainApplicationEntry(const std::wstring& folder)
{
    const std::wstring uninstaller = PlaceStandIn(folder + L"\\app\\MainUninstall.exe", true);
    RegSetText(kTestMainAppEntry, L"UninstallString", L"\"" + uninstaller + L"\"");
}

// The Park that setup arms: a copy signed as the maker in the folder, waiting (wait mode, the
// suite's two events) to start a stand-in for the main application with "/src installer /dp
// larchplay". Released when the object goes.
class ArmedPark {
public:
    explicit ArmedPark(const std::wstring& folder) : folder_(folder), path_(folder + L"\\Park.exe") {}
    ~ArmedPark() { Release(); }
    ArmedPark(const ArmedPark&) = delete;
    ArmedPark& operator=(const ArmedPark&) = delete;

    // Starts it and returns once its events exist; false when it does not arm in time.
    bool Arm()
    {
        Release();
        if (!CopyFileW((TestDir() + L"installer-signed\\Park.exe").c_str(), path_.c_str(), FALSE))
            return false;
        const std::wstring app = InstallStandIn(folder_, L"Playdeck-lm.exe");
        wchar_t arguments[2048];
        _snwprintf(arguments, 2048, Lm::Park::WaitCommandLineFormat, app.c_str(), L"/src installer /dp larchplay");
        arguments[2047] = 0;
        process_ = StartProgram(path_, arguments, folder_);
        for (int i = 0; process_ && i < 600; ++i, Sleep(50)) {
            HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, Lm::Park::EventExecuteName);
            if (event) {
                CloseHandle(event);
                return true;
            }
        }
        return false;
    }
    const std::wstring& Path() const { return path_; }
    // The Installer's argument that names it, quoted as setup quotes it.
    std::wstring Option() const { return L"\"/park=" + path_ + L"\""; }
    // It ended (given the time a signal needs).
    bool Ended() const { return process_ && WaitForSingleObject(process_, 30000) == WAIT_OBJECT_0; }
    bool Waiting() const { return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }
    // Tells it to quit, as the suite does, and waits for it.
    void Release()
    {
        if (!process_)
            return;
        RunProgram(TestDir() + L"installer-signed\\Park.exe", Lm::Park::SignalTerminateCommandLine);
        WaitForSingleObject(process_, 30000);
        CloseHandle(process_);
        process_ = nullptr;
    }
    // The main application's starts so far (records of its stand-in in the log folder), after a
    // moment for a start under way.
    static size_t ApplicationStarts(const StandInLogFolder& logs)
    {
        std::vector<StandInRecord> records;
        for (int i = 0; i < 40; ++i, Sleep(50))
            records = logs.Records(L"Playdeck-lm.exe");
        return records.size();
    }
    static std::vector<StandInRecord> ApplicationRecords(const StandInLogFolder& logs)
    {
        ApplicationStarts(logs);
        return logs.Records(L"Playdeck-lm.exe");
    }

private:
    std::wstring folder_;
    std::wstring path_;
    HANDLE process_ = nullptr;
};

} // namespace LmTest
