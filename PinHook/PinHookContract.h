// What PinHook shares with the programs that run it and with the shell that reads its links.
// Resource ids are macros because PinHook.rc includes this header too.
#pragma once

// String table of PinHook.exe. The Installer brands links with PinHook.exe as their resource
// module; the shell then reads these strings from it for as long as the links exist.
#define IDS_PINHOOK_DISPLAY_NAME 105   // localized display name, written by SHSetLocalizedName
#define IDS_PINHOOK_DESCRIPTION  107   // infotip, named in the link's description "@<module>,-107"

#ifndef RC_INVOKED

namespace Lm { namespace PinHook {

// Command line (positional arguments after the program name), written by the Installer (set
// mode, after it creates its links) and by Uninstall (clear mode, before it deletes a link).
//   PinHook.exe "<link>"                                     clear the branding
//   PinHook.exe "<link>" "<resource module>" "<icon>" [tag]  brand the link
// Any other count (none, or two) does nothing and exits with ExitFailure.
const int kClearArgumentCount = 1;
const int kSetMinArgumentCount = 3;
const int kLinkArgument = 1;      // argv index of the link path
const int kModuleArgument = 2;    // argv index of the module holding the string table
const int kIconArgument = 3;      // argv index of the icon path
const int kTagArgument = 4;       // argv index of the caller's tag; PinHook ignores it
const wchar_t kStartMenuTag[] = L"S8";   // tag the Installer passes for its start-menu link
const wchar_t kDesktopTag[] = L"DT";     // tag the Installer passes for its desktop link

// Exit codes, read by the Installer and Uninstall: 0 after either mode whatever the shell
// answered, 1 for a wrong argument count or an exception.
const unsigned kExitSuccess = 0;
const unsigned kExitFailure = 1;

// PinHook ends on its own within moments; a caller waits this long (ms) and then ends a hung one,
// so that no install or removal waits for ever. The bound only catches a hang, on the slowest machine.
const unsigned long kPinHookTimeoutMs = 60000;

// Application user-model id stamped on every branded link, so the taskbar groups the running
// main application with its pinned link. The main application sets the same id on its windows.
const wchar_t kAppUserModelId[] = L"Larchmeadow.Playdeck";

// The link's description is a shell resource reference to the infotip string of the module:
// "@<module>,-107" (IDS_PINHOOK_DESCRIPTION).

// The file in the link's folder where the shell keeps localized names.
const wchar_t kDesktopIniName[] = L"desktop.ini";

}} // namespace Lm::PinHook

#endif // RC_INVOKED
