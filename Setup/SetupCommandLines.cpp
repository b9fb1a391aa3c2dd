#include "Setup/SetupCommandLines.h"

#include <windows.h>

#include <vector>

#include "CommonAppLogic/InstallContract.h"
#include "Installer/InstallerContract.h"
#include "Park/ParkContract.h"
#include "Setup/SetupContract.h"
#include "System/String/StringUtils.h"
#include "Uninstaller/UninstallerContract.h"

namespace Lm {
namespace Setup {

namespace {

// File names compared as the file system does: whole, without regard to case.
bool SameFileName(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

void AppendWord(std::wstring& text, const std::wstring& word)
{
    if (!text.empty())
        text += L' ';
    text += word;
}

} // namespace

std::wstring QuoteArgument(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return argument;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count only before a double quote: there each one is doubled and the quote
        // escaped; elsewhere they stand as they are.
        quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        quoted += c;
        backslashes = 0;
    }
    quoted.append(2 * backslashes, L'\\');
    quoted += L'"';
    return quoted;
}

bool IsFullInstallerMode(const CSetupOptions& options, const std::wstring& ownFileName)
{
    return options.update || ownFileName == Lm::Installer::kFullInstallerFileName;
}

std::wstring InstallerFileName(const std::wstring& ownFileName)
{
    if (SameFileName(ownFileName, kParkFileName) || SameFileName(ownFileName, Lm::Installer::kLocalPatchFileName))
        return kFallbackInstallerFileName;
    return ownFileName;
}

std::wstring DownloadActionToken(const std::wstring& ownFileName)
{
    const std::wstring start = ownFileName.substr(0, 6);
    bool tokenName = false;
    for (const wchar_t* prefix : kDownloadTokenNamePrefixes)
        tokenName = tokenName || start == prefix;
    if (!tokenName)
        return std::wstring();
    std::vector<std::wstring> pieces;
    if (Lm::System::String::SplitString(pieces, ownFileName, L"-") != 3)
        return std::wstring();
    return pieces[1];
}

std::wstring ConsoleLaunchParams(const std::wstring& dp, const std::wstring& ownFileName)
{
    std::wstring params = kLaunchParamsPrefix + dp;
    const std::wstring token = DownloadActionToken(ownFileName);
    if (!token.empty())
        params += kDownloadActionPrefix + token;
    return params;
}

std::wstring ParkWaitCommandLine(const std::wstring& mainApplicationPath, const std::wstring& launchParams)
{
    return Lm::System::String::FormatString(Lm::Park::WaitCommandLineFormat, mainApplicationPath.c_str(),
                                            launchParams.c_str());
}

std::wstring InstallerCommandLine(const std::wstring& allArgs, bool fullInstallerMode, const std::wstring& parkPath)
{
    std::wstring commandLine = allArgs;
    if (fullInstallerMode)
        AppendWord(commandLine, Lm::Installer::kUpdateOption);
    if (!parkPath.empty())
        AppendWord(commandLine, std::wstring(Lm::Installer::kParkOptionPrefix) + L"\"" + parkPath + L"\"");
    return commandLine;
}

std::wstring TemporaryUninstallKeyName()
{
    std::wstring name = Lm::CommonAppLogic::kTouchpointUninstallKeyName;
    const std::wstring folder = Lm::CommonAppLogic::kTouchpointFolderName;
    name.replace(name.size() - folder.size(), folder.size(), kTemporaryUninstallKeySuffix);
    return Lm::CommonAppLogic::kUninstallKeyRoot + name;
}

} // namespace Setup
} // namespace Lm
