#include "CommonAppLogic/SharedSettings.h"

#include <windows.h>
#include <shlobj.h>
#include <knownfolders.h>

#include <cstdio>

#include "CommonAppLogic/IniFile.h"
#include "CommonAppLogic/SharedSettingsNames.h"
#include "System/Exception.h"
#include "System/Io/FilePath.h"
#include "System/String/StringUtils.h"
#include "System/Win32/KnownFolders.h"

namespace Lm {
namespace CommonAppLogic {

namespace {

using Lm::System::IO::CFilePath;
namespace Names = SharedSettings;

const size_t kReadBufferSize = 260;
const int kLineBufferSize = 256;

bool IsNameCharacterAllowed(wchar_t c)
{
    return c >= 0x20 && wcschr(L"<>:\"/\\|?*", c) == nullptr;
}

} // namespace

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

std::wstring GetStartMenuFolderNameFrom(const std::wstring& textFile, const std::wstring& iniFile)
{
    std::wstring name;
    std::map<std::wstring, std::wstring> values;
    if (ReadKeyValueTextFile(values, textFile))
        name = Lm::System::String::Trim(GetMapValueOrDefault(values, Names::kStartMenuFolderUnicode, L""));
    if (name.empty())
        name = ReadIniString(Names::kMainSection, Names::kStartMenuFolder, Names::kDefaultStartMenuFolder,
                             kReadBufferSize, iniFile);
    // The name becomes a folder below the common programs folder that Uninstall deletes again:
    // anything but one plain folder name could point elsewhere.
    return IsPlainFolderName(name) ? name : std::wstring(Names::kDefaultStartMenuFolder);
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
