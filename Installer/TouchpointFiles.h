// The touchpoint's own files, its entry in the Windows uninstall list and the registration of the
// main application's protocol handler, laid down after the main application is installed.
#pragma once

#include <cstddef>
#include <string>

#include "Installer/InstallerMessageTable.h"
#include "Installer/InstallerOptions.h"

namespace Lm {
namespace Installer {

// RT_RCDATA resources of the Installer (InstallerTouchpoint.rc).
constexpr int kPinHookResourceId = 104;
constexpr int kIconResourceId = 105;

// <Program Files (x86)>\Larchmeadow Games, its "Touchpoints\larchplay" and its "App" folders.
std::wstring GetGamesFolderPath();
std::wstring GetTouchpointFolderPath();
std::wstring GetMainAppFolderPath();
// "HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\" + the touchpoint's or the main
// application's key name; the master entry.
std::wstring GetTouchpointUninstallKeyPath();
std::wstring GetMainAppUninstallKeyPath();
std::wstring GetMasterUninstallKeyPath();

// The display-name suffix of partner editions, by brand and UI language index.
struct PartnerDisplaySuffixRow {
    const wchar_t* brand;
    const wchar_t* allLanguages;           // the one suffix of every language, or null
    const wchar_t* const* perLanguage;     // ten suffixes by UI language index, or null
};
extern const PartnerDisplaySuffixRow PartnerDisplaySuffixTable[];
extern const size_t PartnerDisplaySuffixTableSize;

// The suffix of the brand's display name in the language; empty for a brand not in the table and
// for an index outside 0-9 of a brand with texts per language.
std::wstring GetBrandDisplaySuffixFor(const std::wstring& brand, int languageIndex);
// The same for this build's brand (always empty: the build brand has no suffix).
std::wstring GetBrandDisplaySuffix(int languageIndex);

// The maker's support page for the DP (the entry's "URLInfoAbout" and "HelpLink").
std::wstring GetSupportAddress(const std::wstring& dp);

// Extracts PinHook.exe and the icon into the touchpoint folder, copies the running program there
// as Restore.exe and, with automatic restore on, makes the shortcuts, writes the uninstall entry
// and registers the protocol handler. dp: the DP (a suffix from '!' on is not used).
void InstallTouchpointFiles(const CInstallerOptions& options, const std::wstring& dp,
                            const InstallerMessageRow& messages, int languageIndex);

// Writes the touchpoint's uninstall entry (created when missing; other values stay).
void WriteTouchpointUninstallEntry(const std::wstring& dp, int languageIndex);

// Restore mode only: runs the main application's protocol handler with "/reg" (signature
// required) when it is installed.
void RegisterProtocolHandler(const CInstallerOptions& options);

} // namespace Installer
} // namespace Lm
