#include "Installer/TouchpointFiles.h"

#include <vector>

#include "CommonAppLogic/DpCode.h"
#include "CommonAppLogic/InstallUtils.h"
#include "Installer/InstallerContract.h"
#include "Installer/RegistryText.h"
#include "Installer/Shortcuts.h"
#include "System/Io/File.h"
#include "System/String/StringUtils.h"
#include "System/Win32/KnownFolders.h"
#include "System/Win32/RegistryKey.h"

namespace Lm {
namespace Installer {

using CommonAppLogic::BuildBrand;
using System::IO::CFile;
using System::Win32::CRegistryKey;

namespace {

// The display name of the product in Programs and Features, before a partner's suffix.
constexpr const wchar_t* kProductDisplayName = L"Larchmeadow Games App";
constexpr const wchar_t* kPublisher = L"Larchmeadow";
constexpr const wchar_t* kSupportPageAddress = L"https://support.larchmeadow.example/support?dp=";

// The partner with texts per language: the two Spanish rows and Portuguese share one text, the
// two Chinese rows another.
const wchar_t* const kQuillfernSuffixes[Lm::CommonAppLogic::kUILanguageCount] = {
    L" for Quillfern PCs",         // en-us
    L" f\u00fcr Quillfern-PCs",    // de
    L" para PC Quillfern",         // es
    L" para PC Quillfern",         // es-es
    L" pour PC Quillfern",         // fr
    L" per PC Quillfern",          // it
    L" (Quillfern PC\uc6a9)",      // ko
    L" para PC Quillfern",         // pt
    L" (Quillfern PC)",            // zh-chs
    L" (Quillfern PC)",            // zh-cht
};

} // namespace

const PartnerDisplaySuffixRow PartnerDisplaySuffixTable[] = {
    {L"brightnook", L" (Brightnook Edition)", nullptr},
    {L"tallowbay", L" - Tallowbay", nullptr},
    {L"quillfern", nullptr, kQuillfernSuffixes},
};
const size_t PartnerDisplaySuffixTableSize = sizeof(PartnerDisplaySuffixTable) / sizeof(PartnerDisplaySuffixTable[0]);

std::wstring GetGamesFolderPath()
{
    return System::Win32::GetProgramFilesX86Path() + L"\\" + Uninstaller::kGamesFolderName;
}

std::wstring GetTouchpointFolderPath()
{
    return GetGamesFolderPath() + L"\\" + Uninstaller::kTouchpointsFolderName + L"\\" +
           Uninstaller::kTouchpointFolderName;
}

std::wstring GetMainAppFolderPath()
{
    return GetGamesFolderPath() + L"\\" + kMainAppFolderName;
}

std::wstring GetTouchpointUninstallKeyPath()
{
    return std::wstring(kUninstallKeyRoot) + kTouchpointUninstallKeyName;
}

std::wstring GetMainAppUninstallKeyPath()
{
    return std::wstring(kUninstallKeyRoot) + kMainAppUninstallKeyName;
}

std::wstring GetMasterUninstallKeyPath()
{
    return std::wstring(kUninstallKeyRoot) + kMasterUninstallKeyName;
}

std::wstring GetBrandDisplaySuffixFor(const std::wstring& brand, int languageIndex)
{
    for (size_t row = 0; row < PartnerDisplaySuffixTableSize; ++row) {
        const PartnerDisplaySuffixRow& entry = PartnerDisplaySuffixTable[row];
        if (brand != entry.brand)
            continue;
        if (entry.allLanguages != nullptr)
            return entry.allLanguages;
        if (languageIndex < 0 || languageIndex >= Lm::CommonAppLogic::kUILanguageCount)
            return std::wstring();
        return entry.perLanguage[languageIndex];
    }
    return std::wstring();
}

std::wstring GetBrandDisplaySuffix(int languageIndex)
{
    return GetBrandDisplaySuffixFor(BuildBrand, languageIndex);
}

std::wstring GetSupportAddress(const std::wstring& dp)
{
    return kSupportPageAddress + dp;
}

void InstallTouchpointFiles(const CInstallerOptions& options, const std::wstring& dp,
                            const InstallerMessageRow& messages, int languageIndex)
{
    const std::wstring touchpoint = GetTouchpointFolderPath();
    CommonAppLogic::ExtractResourceToFile(kPinHookResourceId, touchpoint + L"\\" + Uninstaller::kPinHookFileName);
    CommonAppLogic::ExtractResourceToFile(kIconResourceId, touchpoint + L"\\" + kIconFileName);
    // Restore.exe running itself cannot copy onto itself; the file it runs from is the one wanted.
    CFile::Copy(System::Win32::GetModulePath(), touchpoint + L"\\" + kRestoreFileName, true);
    if (!options.autoRestore)
        return;
    CreateStartMenuShortcut(options, dp, messages);
    CreateDesktopShortcut(options, dp, messages);
    WriteTouchpointUninstallEntry(dp, languageIndex);
    RegisterProtocolHandler(options);
}

namespace {

// Whether the main application's master entry asks for the touchpoint entry to be hidden: its
// "TouchpointInstallerSupport" is the text "1" exactly. A master entry that is missing or holds
// the value in another type asks for nothing.
bool MasterEntryHidesTouchpoint()
{
    return ReadTextOrEmpty(GetMasterUninstallKeyPath(), kTouchpointInstallerSupportValue) == L"1";
}

} // namespace

void WriteTouchpointUninstallEntry(const std::wstring& dp, int languageIndex)
{
    const std::wstring shortDp = CommonAppLogic::GetShortDpCode(dp);
    const std::wstring touchpoint = GetTouchpointFolderPath();
    const std::wstring appFolder = GetMainAppFolderPath();
    std::vector<std::wstring> versionPieces;
    System::String::SplitString(versionPieces, kInstallerVersion, L".");

    CRegistryKey entry(GetTouchpointUninstallKeyPath(), false);
    entry.SetString(L"Version", kInstallerVersion);
    entry.SetString(L"VersionMajor", versionPieces.size() > 0 ? versionPieces[0] : std::wstring());
    entry.SetString(L"VersionMinor", versionPieces.size() > 1 ? versionPieces[1] : std::wstring());
    entry.SetString(L"DisplayName", kProductDisplayName + GetBrandDisplaySuffix(languageIndex));
    entry.SetString(L"DisplayIcon", touchpoint + L"\\" + kIconFileName);
    entry.SetString(Uninstaller::kUninstallStringValue,
                    L"\"" + touchpoint + L"\\" + Uninstaller::kUninstallFileName + L"\"");
    entry.SetString(L"TouchpointInstallLocation", touchpoint);
    entry.SetString(L"Publisher", kPublisher);
    entry.SetString(L"URLInfoAbout", GetSupportAddress(shortDp));
    entry.SetString(L"HelpLink", GetSupportAddress(shortDp));
    entry.SetString(L"Brand", BuildBrand);
    entry.SetString(L"DP", shortDp);
    entry.SetUint32(L"NoModify", 1);
    entry.SetUint32(L"NoRepair", 1);
    // Hidden only while the main application's master entry asks for it: a "SystemComponent" left
    // by an earlier install would otherwise hide the entry after the application that hid it has
    // gone, and the user could no longer remove the touchpoint.
    if (MasterEntryHidesTouchpoint())
        entry.SetUint32(L"SystemComponent", 1);
    else
        ::RegDeleteValueW(entry.GetKey(), L"SystemComponent");
    entry.SetString(CommonAppLogic::kConsoleBrandValue, BuildBrand);
    entry.SetString(L"ConsoleExePath", appFolder + L"\\" + kMainAppExeName);
    entry.SetString(L"InstallLocation", appFolder);
}

void RegisterProtocolHandler(const CInstallerOptions& options)
{
    if (!options.restore)
        return;
    const std::wstring folder = GetMainAppFolderPath() + L"\\" + kProtocolHandlerFolderName;
    const std::wstring handler = folder + L"\\" + kProtocolHandlerFileName;
    if (!CFile::Exists(handler))
        return;
    CommonAppLogic::InstallUtils::ExecWait(handler, folder, kProtocolHandlerArguments, 0, true);
}

} // namespace Installer
} // namespace Lm
