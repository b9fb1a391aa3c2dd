// Authenticode test of a program before the suite runs it: the signer's organisation must be one
// of the maker's names and WinVerifyTrust must accept the file. Never throws; every failure is
// "not signed".
#pragma once

#include <windows.h>
#include <wincrypt.h>
#include <string>
#include <vector>

namespace Lm {
namespace CommonAppLogic {

// True when a signer of the file's embedded signature has an accepted organisation name and
// WinVerifyTrust accepts the file for that signer.
bool VerifyFileSignature(const std::wstring& path);

// WinVerifyTrust (generic verify, no UI, revocation checked for the whole chain) of the file;
// on Windows 8 and later for the given signer index. True when it returns 0.
bool WinVerifyTrustFile(const std::wstring& path, DWORD signerIndex);

// Organisation name (2.5.4.10) of the certificate's subject, or empty.
std::wstring GetSignerName(PCCERT_CONTEXT certificate);

// The subject's relative distinguished names as "OID=value" texts.
std::vector<std::wstring> CertNameToString(PCCERT_CONTEXT certificate);

// Splits a CERT_OID_NAME_STR text into its "OID=value" items: ", " separates items outside
// quotes, quotes are removed ("" inside quotes stands for one), a comma without a blank after it
// ends the scan and drops the item under way.
std::vector<std::wstring> SplitCertNameItems(const std::wstring& text);

// True when the normalised name is one of the maker's accepted organisation names.
bool IsTrustedSignerName(const std::wstring& name);

// The name without one trailing full stop, ", " as " ", runs of blanks as one, upper case.
std::wstring SplitSignerNameWords(const std::wstring& name);

// Runs of blanks and tabs become one blank.
std::wstring CollapseBlanks(const std::wstring& text);

bool IsWindowsVersionOrGreater(WORD major, WORD minor, WORD servicePackMajor);

} // namespace CommonAppLogic
} // namespace Lm
