// Uninstall.exe: takes the touchpoint off again, and unless an installer started it, the main
// application through its own uninstaller; then deletes itself through a temporary copy.
#include <windows.h>
#include <stdlib.h>

#include "CommonAppLogic/UILanguage.h"
#include "System/Exception.h"
#include "System/Io/Directory.h"
#include "Uninstaller/Uninstaller.h"
#include "Uninstaller/UninstallerContract.h"
#include "Uninstaller/UninstallerMessages.h"
#include "Uninstaller/UninstallerOptions.h"

using namespace Lm::Uninstaller;

namespace {

constexpr UINT kQuestionBoxStyle = MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND | MB_TOPMOST;
constexpr UINT kFinishedBoxStyle = MB_OK | MB_SETFOREGROUND | MB_TOPMOST;

// The temporary copy, started by the installed program with "/del": removes the installed
// program and its folder, the shared folders when empty, and leaves the rest to the next logon.
// Started from anywhere else it removes and schedules nothing and the run fails.
void RunDelCopy(const CTouchpointPaths& paths)
{
    if (!RunsFromOwnSelfCopyFolder())
        Lm::System::ThrowException("The /del run starts only from its own temporary folder",
                                   "Uninstaller\\WinMain.cpp", 27, "`anonymous-namespace'::RunDelCopy");
    DeleteFileAndFolder(paths.touchpointFolder, kUninstallFileName, kTouchpointRunOnceValueName);
    RemoveDirectoryW(paths.touchpointsFolder.c_str());
    RemoveDirectoryW(paths.gamesFolder.c_str());
    ScheduleOwnFolderRemoval();
}

void RunUninstaller(const CUninstallerOptions& options, HINSTANCE instance)
{
    const CTouchpointPaths paths = GetTouchpointPaths();
    if (options.del) {
        RunDelCopy(paths);
        return;
    }

    const CUninstallerMessages messages = GetUninstallerMessages(instance, Lm::CommonAppLogic::GetUILanguageIndex(L""));
    if (!options.silent &&
        MessageBoxW(nullptr, messages.question.c_str(), messages.caption.c_str(), kQuestionBoxStyle) != IDYES)
        return;

    RemoveShortcutsAndRegistration(paths);
    DeleteOlderEditionDesktopLink();

    // Another touchpoint keeps the shared folders and the main application.
    if (!IsAnotherTouchpointInstalled(paths)) {
        RemoveDirectoryW(paths.touchpointsFolder.c_str());
        if (!options.initiatedFromAnInstaller) {
            RunMainApplicationUninstaller();
            RemoveDirectoryW(paths.gamesFolder.c_str());
        }
    }

    // This program runs from the touchpoint folder: a copy of it deletes what is left.
    CSelfCopy selfCopy;
    if (Lm::System::IO::CDirectory::Exists(paths.touchpointFolder))
        selfCopy = CopySelfToTemporaryFolder();

    if (!options.silent)
        MessageBoxW(nullptr, messages.finished.c_str(), messages.caption.c_str(), kFinishedBoxStyle);

    if (selfCopy.folder)
        ParentDeleteOriginalExe(selfCopy);
    // Last: until here a failed run left the entry, which starts Uninstall.exe again.
    DeleteTouchpointUninstallKey();
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    const CUninstallerOptions options = ParseUninstallerOptions(__argc, __wargv);
    try {
        RunUninstaller(options, instance);
        return 0;
    } catch (const Lm::System::CException&) {
        return 1;
    } catch (...) {
        // Anything else (memory) ends the run the same way rather than through the crash handler.
        return 1;
    }
}
