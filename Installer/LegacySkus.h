// Completing the InstalledSKUs entries of outside publishers' games that an older edition listed
// under the name of the game's own uninstall key, once per machine.
#pragma once

#include <cstddef>
#include <string>

#include "Installer/InstallerOptions.h"

namespace Lm {
namespace Installer {

// One game of the built-in table, its columns in this order.
struct LegacySkuRow {
    const wchar_t* displayName;      // title of the game
    const wchar_t* skuCode;          // "lmbbdl-" + lower-case GUID without braces
    const wchar_t* exeName;          // the game's program, relative to its install folder
    const wchar_t* uninstallKey;     // name of the game's own uninstall key
    const wchar_t* productCodeName;  // short lower-case name
    const wchar_t* ratingLetter;
    const wchar_t* ratingDigit;
};
extern const LegacySkuRow LegacySkuTable[];
extern const size_t LegacySkuTableSize;

// The purchase address of a game, by its product code name (the build brand's store).
std::wstring GetBuyAddress(const std::wstring& productCodeName);

// Unless "/nolegacyskuvalues" or "/restore", and only once per machine (the touchpoint entry's
// "LegacySKUValuesSet"): RegisterLegacySku for every row. Without a touchpoint entry nothing is
// done.
void RegisterLegacySkus(const CInstallerOptions& options);

// One row: drops the old SKU-code key, and completes the entry listed under the game's uninstall
// key name unless the product code name is already registered.
void RegisterLegacySku(const std::wstring& displayName, const std::wstring& skuCode, const std::wstring& exeName,
                       const std::wstring& uninstallKey, const std::wstring& productCodeName,
                       const std::wstring& ratingLetter, const std::wstring& ratingDigit);

// Some entry below InstalledSKUs has this "ProductCodeName" (exact, with case).
bool IsSkuRegistered(const std::wstring& productCodeName);

// The game's install folder from its own uninstall entry (empty when there is none).
std::wstring GetSkuInstallFolder(const std::wstring& uninstallKey);

} // namespace Installer
} // namespace Lm
