// The machine-wide settings files below ProgramData\Larchmeadow and their names: the contract
// between the Installer (writes the ini file), the main application (writes the text file) and
// every program of the suite that reads them.
#pragma once

namespace Lm {
namespace CommonAppLogic {
namespace SharedSettings {

// Ini file, written by the Installer, read by the Installer, Uninstall and the Updater.
const wchar_t kIniFile[] = L"Larchmeadow\\Larchmeadow.ini";
// Name of the ini file inside the maker's data folder (GetMakerDataFolder(0)).
const wchar_t kIniFileName[] = L"Larchmeadow.ini";
// UTF-8 key=value file, written by the main application, read by the Installer and Uninstall.
const wchar_t kTextFile[] = L"Larchmeadow\\Larchmeadow.txt";

// Section of every key of the ini file.
const wchar_t kMainSection[] = L"Main";
// Licence-acceptance flags, written by the Installer.
const wchar_t kDownloadEulaAgreed[] = L"DownloadEULAAgreed";
const wchar_t kOemEulaAgreed[] = L"OEMEULAAgreed";
// Start-menu folder below the common programs folder (ini, system code page).
const wchar_t kStartMenuFolder[] = L"StartMenuFolder";
// "true" puts the start-menu link into that folder.
const wchar_t kShortcutInStartMenuFolder[] = L"ShortcutInStartMenuFolder";
// Start-menu folder in full Unicode (text file).
const wchar_t kStartMenuFolderUnicode[] = L"StartMenuFolderUnicode";

const wchar_t kDefaultStartMenuFolder[] = L"Games";
const wchar_t kTrue[] = L"true";

} // namespace SharedSettings
} // namespace CommonAppLogic
} // namespace Lm
