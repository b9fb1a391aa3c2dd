// The Installer's message boxes: no owner window, the caption of the message row, the text of the
// row, failures followed by their error code.
#pragma once

#include <windows.h>

#include <string>

#include "Installer/InstallerMessageTable.h"

namespace Lm {
namespace Installer {

// Every failure box: MB_ICONERROR | MB_SETFOREGROUND | MB_TOPMOST.
constexpr UINT kErrorBoxFlags = 0x50010;
// Another Installer is running: MB_ICONWARNING | MB_SETFOREGROUND | MB_TOPMOST.
constexpr UINT kAlreadyRunningBoxFlags = 0x50030;
// Leave the wizard before the install has begun?: MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND | MB_TOPMOST.
constexpr UINT kExitQuestionBoxFlags = 0x50024;

// The groups of the error codes shown after message [4]: " (Error <group>-<code>)".
enum InstallerErrorGroup {
    kErrorUpdaterExit = 1,      // the Updater ended with a code the hand-off does not expect
    kErrorLocalPatchExit = 2,   // the local Patch.exe ended with a code other than 0
    kErrorFullInstaller = 3,    // the full installer failed, or never told its result
    kErrorWindowPath = 4,       // an exception on the window path
    kErrorSilentPath = 5,       // an exception on the silent path (shown only when the run is not quiet)
};

// Message [4] followed by " (Error <group>-<code>)", the code in unsigned decimal.
std::wstring UnexpectedErrorText(const InstallerMessageRow& row, InstallerErrorGroup group, DWORD code);

// Shows the text with the row's caption; returns MessageBoxW's answer.
int ShowInstallerBox(const InstallerMessageRow& row, const std::wstring& text, UINT flags);

// What the run tells the user: written to the log, and shown in a box unless the run is quiet
// (IsQuietRun), which reports through the log and its exit code alone.
void ReportToUser(bool quiet, const InstallerMessageRow& row, const std::wstring& text, UINT flags);

} // namespace Installer
} // namespace Lm
