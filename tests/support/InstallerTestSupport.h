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

inline void ClearHandOffStandIns()
{
    for (const wchar_t* name : {L"UPDATER", L"PATCH"})
        SetHandOffStandIn(name, nullptr, nullptr, nullptr);
    RegDeleteValueAt(Lm::Installer::kLarchmeadowKey, Lm::Installer::kInstallSemaphoreValue);
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
    RegDeleteValueAt(Lm::Installer::kLarchmeadowKey, Lm::Installer::kInstallSemaphoreValue);
}

} // namespace LmTest
