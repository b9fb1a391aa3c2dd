// Readers of the machine-wide settings files: the start-menu folder shared by the Installer and
// Uninstall, and the key=value text file of the main application; the Installer's writer of the
// ini file. The elevated programs take a settings file as the machine's, and write one, only when
// no ordinary user can have made or changed it (IsTrustedSettingsFile): a planted file or folder
// counts as missing, and its settings as the defaults.
#pragma once

#include <map>
#include <string>

namespace Lm {
namespace CommonAppLogic {

// <ProgramData>\Larchmeadow\Larchmeadow.ini and <ProgramData>\Larchmeadow\Larchmeadow.txt.
std::wstring GetSharedSettingsIniPath();
std::wstring GetSettingsTextFilePath();

// Whether the settings file may be taken as the machine's, or written by an elevated program: it
// and the folder holding it are no links, it has one name, and both belong to SYSTEM or
// Administrators (System/Io/AdministratorsOwned.h). Never throws.
bool IsTrustedSettingsFile(const std::wstring& path);

// Sets [section] key=value in the ini file at the path, keeping its other values. A missing folder
// of the file is made (its parent must exist) with a list that lets SYSTEM and Administrators
// change it and everyone else only read it. Nothing is written, and the result is false, when
// the folder is not theirs or is a link, or the write fails; an ini file there that is not
// theirs is removed first, unread, and the suite's own takes its place. Never throws.
bool WriteSettingsValue(const std::wstring& iniFile, const std::wstring& section, const std::wstring& key,
                        const std::wstring& value);
// The same for the shared ini file.
bool WriteSharedSetting(const std::wstring& section, const std::wstring& key, const std::wstring& value);

// Reads a UTF-8 file of key=value lines into the map (cleared first; a later line with the same
// key wins; lines without '=' are skipped). False when the file cannot be opened.
bool ReadKeyValueTextFile(std::map<std::wstring, std::wstring>& values, const std::wstring& path);

std::wstring GetMapValueOrDefault(const std::map<std::wstring, std::wstring>& values, const std::wstring& key,
                                  const std::wstring& defaultValue);

// The start-menu folder name: the text file's "StartMenuFolderUnicode", else the ini file's
// "StartMenuFolder", else "Games"; a file counts only when it is trusted (IsTrustedSettingsFile).
// A name that is not one plain folder name, or that names one of Windows' own shell folders
// below the common programs folder (Startup, Administrative Tools, ...), gives "Games".
std::wstring GetStartMenuFolderName();
std::wstring GetStartMenuFolderNameFrom(const std::wstring& textFile, const std::wstring& iniFile);

// True for one plain folder name: not empty, no separator, ':', "..", wildcard or other
// character that a file name cannot hold, no name of only points and blanks.
bool IsPlainFolderName(const std::wstring& name);

// Whether the name, below the common programs folder, names one of Windows' own shell folders
// there (Startup, Administrative Tools) or a folder that holds one, in any spelling the file
// system takes for it (other case, short name, trailing points and blanks), or a device. Never
// throws.
bool IsWindowsShellFolderName(const std::wstring& name);

// FOLDERID_CommonPrograms + the folder name; empty when the known folder is not available.
std::wstring GetStartMenuFolderPath();

// "ShortcutInStartMenuFolder" of the shared ini file is exactly "true" (the default, also for a
// file that is not trusted).
bool IsShortcutInStartMenuFolder();
bool IsShortcutInStartMenuFolderIn(const std::wstring& iniFile);

} // namespace CommonAppLogic
} // namespace Lm
