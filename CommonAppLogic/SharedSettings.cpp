#include "CommonAppLogic/SharedSettings.h"

#include <windows.h>
#include <shlobj.h>
#include <knownfolders.h>

#include <cstdio>
#include <vector>

#include "CommonAppLogic/IniFile.h"
#include "CommonAppLogic/SharedSettingsNames.h"
#include "System/Exception.h"
#include "System/Io/AdministratorsOwned.h"
#include "System/Io/Directory.h"
#include "System/Io/FilePath.h"
#include "System/String/StringUtils.h"
#include "System/Win32/KnownFolders.h"

namespace Lm {
namespace CommonAppLogic {

namespace {

using Lm::System::IO::CDirectory;
using Lm::System::IO::CFilePath;
using Lm::System::IO::IsAdministratorsOwned;
namespace Names = SharedSettings;

const size_t kReadBufferSize = 260;
const int kLineBufferSize = 256;

// The settings folder: SYSTEM and Administrators may change it, everyone else only read it.
// Protected: ProgramData passes on that users may add files and folders.
const wchar_t kSettingsFolderAccessList[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)";

bool IsNameCharacterAllowed(wchar_t c)
{
    return c >= 0x20 && wcschr(L"<>:\"/\\|?*", c) == nullptr;
}

// GetFullPathNameW's form of a path: what the file system makes of it (points and blanks at the
// end of a name dropped, a device name as the device).
std::wstring FullForm(const std::wstring& path)
{
    std::vector<wchar_t> buffer(MAX_PATH * 2);
    const DWORD length = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    return length > 0 && length < buffer.size() ? std::wstring(buffer.data(), length) : path;
}

// The long form of an existing path (short names resolved); the path itself otherwise.
std::wstring LongForm(const std::wstring& path)
{
    std::vector<wchar_t> buffer(MAX_PATH * 2);
    const DWORD length = ::GetLongPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    return length > 0 && length < buffer.size() ? std::wstring(buffer.data(), length) : path;
}

// Whether path is folder or lies below it, without regard to case.
bool IsSameOrBelow(const std::wstring& path, const std::wstring& folder)
{
    if (path.size() < folder.size() || _wcsnicmp(path.c_str(), folder.c_str(), folder.size()) != 0)
        return false;
    return path.size() == folder.size() || path[folder.size()] == L'\\';
}

// Windows' own shell folders below the common programs folder, wherever this system puts them
// and whatever it calls them.
std::vector<std::wstring> ShellFolderPaths()
{
    std::vector<std::wstring> paths;
    for (const KNOWNFOLDERID* id : {&FOLDERID_CommonStartup, &FOLDERID_CommonAdminTools}) {
        const std::wstring path = Lm::System::Win32::GetKnownFolderPath(*id);
        if (!path.empty())
            paths.push_back(path);
    }
    return paths;
}

} // namespace

bool IsTrustedSettingsFile(const std::wstring& path)
{
    return IsAdministratorsOwned(CDirectory::GetParentPath(path)) && IsAdministratorsOwned(path);
}

bool WriteSettingsValue(const std::wstring& iniFile, const std::wstring& section, const std::wstring& key,
                        const std::wstring& value)
{
    try {
        const std::wstring folder = CDirectory::GetParentPath(iniFile);
        if (::GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES)
            Lm::System::IO::CreateFolderWithAccessList(folder, kSettingsFolderAccessList);
        // A folder made or linked there by someone else takes nothing from an elevated program.
        if (!IsAdministratorsOwned(folder))
            return false;
        if (::GetFileAttributesW(iniFile.c_str()) != INVALID_FILE_ATTRIBUTES && !IsAdministratorsOwned(iniFile) &&
            !::DeleteFileW(iniFile.c_str()))
            return false;
        CIniFile settings(iniFile);
        settings.SetValue(section, key, value);
        settings.Save();
        return IsTrustedSettingsFile(iniFile) &&
               ReadIniString(section, key, L"", kReadBufferSize, iniFile) == value;
    } catch (const Lm::System::CException&) {
        return false;   // the settings stay as they were
    }
}

bool WriteSharedSetting(const std::wstring& section, const std::wstring& key, const std::wstring& value)
{
    return WriteSettingsValue(GetSharedSettingsIniPath(), section, key, value);
}

std::wstring GetSharedSettingsIniPath()
{
    return CFilePath::Combine(Lm::System::Win32::GetProgramDataPath(), Names::kIniFile);
}

std::wstring GetSettingsTextFilePath()
{
    return CFilePath::Combine(Lm::System::Win32::GetProgramDataPath(), Names::kTextFile);
}

bool ReadKeyValueTextFile(std::map<std::wstring, std::wstring>& values, const std::wstring& path)
{
    FILE* file = _wfopen(path.c_str(), L"rt, ccs=UTF-8");
    if (!file)
        return false;
    values.clear();
    wchar_t line[kLineBufferSize];
    while (fgetws(line, kLineBufferSize, file)) {
        std::wstring text(line);
        if (!text.empty() && text.back() == L'\n')
            text.pop_back();
        size_t equals = text.find(L'=');
        if (equals == std::wstring::npos)
            continue;
        values[text.substr(0, equals)] = text.substr(equals + 1);
    }
    fclose(file);
    return true;
}

std::wstring GetMapValueOrDefault(const std::map<std::wstring, std::wstring>& values, const std::wstring& key,
                                  const std::wstring& defaultValue)
{
    auto found = values.find(key);
    return found == values.end() ? defaultValue : found->second;
}

bool IsPlainFolderName(const std::wstring& name)
{
    if (name.empty() || name.find(L"..") != std::wstring::npos)
        return false;
    bool onlyPointsAndBlanks = true;
    for (wchar_t c : name) {
        if (!IsNameCharacterAllowed(c))
            return false;
        if (c != L'.' && c != L' ')
            onlyPointsAndBlanks = false;
    }
    if (onlyPointsAndBlanks)
        return false;
    try {
        CFilePath::ValidatePath(name);
    } catch (const Lm::System::CException&) {
        return false; // too long or otherwise unfit for a folder operation
    }
    return true;
}

bool IsWindowsShellFolderName(const std::wstring& name)
{
    try {
        const std::wstring programs = Lm::System::Win32::GetKnownFolderPath(FOLDERID_CommonPrograms);
        if (programs.empty())
            return false;   // no Start menu: the name names nothing
        const std::wstring root = FullForm(programs) + L"\\";
        const std::wstring folder = LongForm(FullForm(programs + L"\\" + name));
        // A device (CON, NUL.txt, ...) is no folder below the programs folder.
        if (folder.size() <= root.size() || _wcsnicmp(folder.c_str(), root.c_str(), root.size()) != 0)
            return true;
        for (const std::wstring& shellFolder : ShellFolderPaths()) {
            if (IsSameOrBelow(LongForm(FullForm(shellFolder)), folder))
                return true;
        }
        return false;
    } catch (...) {
        return true;   // what cannot be told apart from one is taken for one
    }
}

std::wstring GetStartMenuFolderNameFrom(const std::wstring& textFile, const std::wstring& iniFile)
{
    std::wstring name;
    std::map<std::wstring, std::wstring> values;
    if (IsTrustedSettingsFile(textFile) && ReadKeyValueTextFile(values, textFile))
        name = Lm::System::String::Trim(GetMapValueOrDefault(values, Names::kStartMenuFolderUnicode, L""));
    if (name.empty() && IsTrustedSettingsFile(iniFile))
        name = ReadIniString(Names::kMainSection, Names::kStartMenuFolder, Names::kDefaultStartMenuFolder,
                             kReadBufferSize, iniFile);
    // The name becomes a folder below the common programs folder that the Installer writes its
    // link into and Uninstall deletes links from: anything but one plain folder name could point
    // elsewhere, and one of Windows' own (Startup) would start the link at every logon.
    if (name.empty() || !IsPlainFolderName(name) || IsWindowsShellFolderName(name))
        return Names::kDefaultStartMenuFolder;
    return name;
}

std::wstring GetStartMenuFolderName()
{
    return GetStartMenuFolderNameFrom(GetSettingsTextFilePath(), GetSharedSettingsIniPath());
}

std::wstring GetStartMenuFolderPath()
{
    std::wstring programs = Lm::System::Win32::GetKnownFolderPath(FOLDERID_CommonPrograms);
    if (programs.empty())
        return std::wstring();
    return CFilePath::Combine(programs, GetStartMenuFolderName());
}

bool IsShortcutInStartMenuFolderIn(const std::wstring& iniFile)
{
    if (!IsTrustedSettingsFile(iniFile))
        return true;
    return ReadIniString(Names::kMainSection, Names::kShortcutInStartMenuFolder, Names::kTrue, kReadBufferSize,
                         iniFile) == Names::kTrue;
}

bool IsShortcutInStartMenuFolder()
{
    return IsShortcutInStartMenuFolderIn(
        CFilePath::Combine(Lm::System::Win32::GetMakerDataFolder(0), Names::kIniFileName));
}

} // namespace CommonAppLogic
} // namespace Lm
