// Readers of the machine-wide settings files: the start-menu folder shared by the Installer and
// Uninstall, and the key=value text file of the main application.
#pragma once

#include <map>
#include <string>

namespace Lm {
namespace CommonAppLogic {

// <ProgramData>\Larchmeadow\Larchmeadow.ini and <ProgramData>\Larchmeadow\Larchmeadow.txt.
std::wstring GetSharedSettingsIniPath();
std::wstring GetSettingsTextFilePath();

// Reads a UTF-8 file of key=value lines into the map (cleared first; a later line with the same
// key wins; lines without '=' are skipped). False when the file cannot be opened.
bool ReadKeyValueTextFile(std::map<std::wstring, std::wstring>& values, const std::wstring& path);

std::wstring GetMapValueOrDefault(const std::map<std::wstring, std::wstring>& values, const std::wstring& key,
                                  const std::wstring& defaultValue);

// The start-menu folder name: the text file's "StartMenuFolderUnicode", else the ini file's
// "StartMenuFolder", else "Games". A name that is not one plain folder name gives "Games".
std::wstring GetStartMenuFolderName();
std::wstring GetStartMenuFolderNameFrom(const std::wstring& textFile, const std::wstring& iniFile);

// True for one plain folder name: not empty, no separator, ':', "..", wildcard or other
// character that a file name cannot hold, no name of only points and blanks.
bool IsPlainFolderName(const std::wstring& name);

// FOLDERID_CommonPrograms + the folder name; empty when the known folder is not available.
std::wstring GetStartMenuFolderPath();

// "ShortcutInStartMenuFolder" of the shared ini file is exactly "true" (the default).
bool IsShortcutInStartMenuFolder();
bool IsShortcutInStartMenuFolderIn(const std::wstring& iniFile);

} // namespace CommonAppLogic
} // namespace Lm
