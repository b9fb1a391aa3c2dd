// The distribution-partner code (DP) of a run: which edition of a download this is. setup and
// the Installer resolve it the same way; it then travels, unquoted, into the Updater's command
// line, Park's launch parameters, link arguments, a support address and registry values, all
// from elevated programs. So every DP taken from outside (an option, the file name, another
// program's uninstall entry) must pass IsSafeDpCode before it is used.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace Lm {
namespace CommonAppLogic {

// The brand of this build, and the DP of its default edition.
constexpr const wchar_t* BuildBrand = L"larchplay";

// For each brand, the DP codes of the installed editions that count as compatible with it.
// Only the row of BuildBrand is ever consulted; the others are kept for partner builds.
struct PartnerCodeRow {
    const wchar_t* brand;
    const wchar_t* const* codes;
    size_t codeCount;
};
extern const PartnerCodeRow PartnerCodeTable[];
extern const size_t PartnerCodeTableSize;

// {brand, default DP} of the partner builds; a brand not listed is its own default DP.
struct DefaultDpPair {
    const wchar_t* brand;
    const wchar_t* dp;
};
extern const DefaultDpPair DefaultDpMap[];
extern const size_t DefaultDpMapSize;

// Values of the main application's uninstall entries, written by its own installer and read here
// (the touchpoint's entry carries "ConsoleBrand" too).
constexpr const wchar_t* kConsoleDisplayNameValue = L"LarchmeadowUninstallDisplayName";
constexpr const wchar_t* kConsoleBrandValue = L"ConsoleBrand";
constexpr const wchar_t* kConsoleBrandOriginalValue = L"ConsoleBrand-Original";
constexpr const wchar_t* kConsoleDpValue = L"ConsoleDP";

// The Windows uninstall list (32-bit view), without a trailing backslash.
std::wstring GetUninstallListPath();

// The longest DP that is accepted.
constexpr size_t kMaxDpCodeLength = 64;

// A DP is 1 to 64 ASCII letters, digits, '_', '.' or '!' (the Installer cuts a suffix after '!'
// for some uses). It never holds '-' or '/': Park reads either, anywhere in its command line, as
// the start of an option, so a DP inside its launch parameters could name the program Park starts.
bool IsSafeDpCode(const std::wstring& code);

// The DP up to its first '!': the part that shortcuts and registry entries carry (the Updater
// receives the whole DP).
std::wstring GetShortDpCode(const std::wstring& dp);

// Exact, case-sensitive: the code is in the brand's row of PartnerCodeTable.
bool IsPartnerCodeOf(const std::wstring& brand, const std::wstring& code);

// The brand's DefaultDpMap value, or the brand itself.
std::wstring GetDefaultDp(const std::wstring& brand);

// The DP a file name carries: the text after its last '-', cut before the first '.' or blank;
// empty when there is no '-'.
std::wstring GetDpFromFileName(const std::wstring& fileName);
// The same for the running program's own file name.
std::wstring GetDpFromModuleName();

// The key name of the first entry of the uninstall list (in the order the registry lists them)
// that is an installed main application of an edition that fits this build; empty when none.
// An entry that cannot be read, or that holds one of the four values above in a type other than
// text, is not ours and is passed over.
// Entries named in excludedNames (compared without case, as the registry does) are never chosen.
std::wstring FindCompatibleConsoleEntry(const std::vector<std::wstring>& excludedNames = {});
std::wstring FindCompatibleConsoleEntryIn(const std::wstring& uninstallListPath,
                                          const std::vector<std::wstring>& excludedNames = {});

// The DP of this run, never empty; the first safe one of: in full-installer mode the "ConsoleDP"
// of the fitting installed entry, the "/dp=" option, the DP of the file name, the default DP.
std::wstring ResolveDpCode(bool fullInstallerMode, const std::wstring& dpOption);
std::wstring ResolveDpCodeFrom(const std::wstring& uninstallListPath, const std::wstring& moduleFileName,
                               bool fullInstallerMode, const std::wstring& dpOption);

} // namespace CommonAppLogic
} // namespace Lm
