#include "CommonAppLogic/FileSignature.h"

#include <imagehlp.h>
#include <softpub.h>
#include <wintrust.h>

#include <cstddef>

#include "System/String/StringUtils.h"
#include "System/Win32/Handle.h"

namespace Lm {
namespace CommonAppLogic {

namespace {

using Lm::System::Win32::CCertContext;
using Lm::System::Win32::CHandleGuard;

const DWORD kMessageEncoding = PKCS_7_ASN_ENCODING | X509_ASN_ENCODING;

// The maker's organisation names, as upper-case words after normalisation.
const std::vector<std::vector<std::wstring>>& TrustedSignerWords()
{
    static const std::vector<std::vector<std::wstring>> words = {
        {L"LARCHMEADOW", L"INC"},
        {L"LARCHMEADOW"},
        {L"PELLOR", L"INC"},
        {L"PELLOR"},
    };
    return words;
}

// mingw-w64 declares only the 48-byte WINTRUST_DATA. Windows 8 added the signature settings
// that pick one signer of a file with several; they follow dwUIContext (52 bytes in all).
struct WintrustSignatureSettings {
    DWORD cbStruct;
    DWORD dwIndex;
    DWORD dwFlags;
    DWORD cSecondarySigs;
    DWORD dwVerifiedSigIndex;
    void* pCryptoPolicy;
};

struct WintrustDataWithSettings {
    DWORD cbStruct;
    LPVOID pPolicyCallbackData;
    LPVOID pSIPClientData;
    DWORD dwUIChoice;
    DWORD fdwRevocationChecks;
    DWORD dwUnionChoice;
    WINTRUST_FILE_INFO* pFile;
    DWORD dwStateAction;
    HANDLE hWVTStateData;
    WCHAR* pwszURLReference;
    DWORD dwProvFlags;
    DWORD dwUIContext;
    WintrustSignatureSettings* pSignatureSettings;
};

const DWORD kVerifySpecificSignature = 1; // WSS_VERIFY_SPECIFIC

static_assert(sizeof(WintrustSignatureSettings) == 24, "signature settings are 24 bytes");
static_assert(sizeof(WINTRUST_DATA) == 48, "WINTRUST_DATA without signature settings is 48 bytes");
static_assert(sizeof(WintrustDataWithSettings) == 52, "WINTRUST_DATA with signature settings is 52 bytes");
static_assert(offsetof(WintrustDataWithSettings, dwUIContext) == offsetof(WINTRUST_DATA, dwUIContext),
              "both forms share their first 48 bytes");

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

} // namespace

std::wstring CollapseBlanks(const std::wstring& text)
{
    std::wstring result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (!IsBlank(text[i])) {
            result += text[i];
            continue;
        }
        if (i + 1 < text.size() && IsBlank(text[i + 1]))
            continue;
        result += L' ';
    }
    return result;
}

std::wstring SplitSignerNameWords(const std::wstring& name)
{
    std::wstring text = name;
    if (!text.empty() && text.back() == L'.')
        text.pop_back();
    Lm::System::String::ReplaceAll(text, L", ", L" ");
    return Lm::System::String::ToUpper(CollapseBlanks(text));
}

bool IsTrustedSignerName(const std::wstring& name)
{
    std::vector<std::wstring> words;
    Lm::System::String::SplitString(words, SplitSignerNameWords(name), L" ");
    for (const auto& trusted : TrustedSignerWords()) {
        if (words == trusted)
            return true;
    }
    return false;
}

std::vector<std::wstring> SplitCertNameItems(const std::wstring& text)
{
    std::vector<std::wstring> items;
    std::wstring item;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (quoted) {
            if (c != L'"') {
                item += c;
            } else if (i + 1 < text.size() && text[i + 1] == L'"') {
                item += L'"';
                ++i;
            } else {
                quoted = false;
            }
        } else if (c == L',') {
            if (i + 1 >= text.size() || text[i + 1] != L' ')
                return items; // a lone comma ends the scan; the item under way is dropped
            items.push_back(item);
            item.clear();
            ++i;
        } else if (c == L'"') {
            quoted = true;
        } else {
            item += c;
        }
    }
    items.push_back(item);
    return items;
}

std::vector<std::wstring> CertNameToString(PCCERT_CONTEXT certificate)
{
    if (!certificate || !certificate->pCertInfo)
        return {};
    CERT_NAME_BLOB* subject = &certificate->pCertInfo->Subject;
    DWORD size = CertNameToStrW(X509_ASN_ENCODING, subject, CERT_OID_NAME_STR, nullptr, 0);
    if (size == 0)
        return {};
    std::wstring text(size, L'\0');
    DWORD written = CertNameToStrW(X509_ASN_ENCODING, subject, CERT_OID_NAME_STR, &text[0], size);
    text.resize(written > 0 ? written - 1 : 0);
    return SplitCertNameItems(text);
}

std::wstring GetSignerName(PCCERT_CONTEXT certificate)
{
    static const std::wstring organisation = L"2.5.4.10=";
    for (const auto& item : CertNameToString(certificate)) {
        if (item.compare(0, organisation.size(), organisation) == 0)
            return item.substr(organisation.size());
    }
    return std::wstring();
}

bool IsWindowsVersionOrGreater(WORD major, WORD minor, WORD servicePackMajor)
{
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    version.dwMajorVersion = major;
    version.dwMinorVersion = minor;
    version.wServicePackMajor = servicePackMajor;
    DWORDLONG mask = 0;
    mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&version, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, mask) != FALSE;
}

bool WinVerifyTrustFile(const std::wstring& path, DWORD signerIndex)
{
    const bool useIndex = IsWindowsVersionOrGreater(6, 2, 0);

    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = path.c_str();

    WintrustSignatureSettings settings = {};
    settings.cbStruct = sizeof(settings);
    settings.dwIndex = signerIndex;
    settings.dwFlags = kVerifySpecificSignature;

    WintrustDataWithSettings data = {};
    data.cbStruct = useIndex ? sizeof(WintrustDataWithSettings) : sizeof(WINTRUST_DATA);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = 0;
    data.dwProvFlags = WTD_REVOCATION_CHECK_CHAIN;
    data.dwUIContext = 0;
    data.pSignatureSettings = useIndex ? &settings : nullptr;

    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    return WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data) == 0;
}

bool VerifyFileSignature(const std::wstring& path)
{
    CHandleGuard file(CreateFileW(path.c_str(), FILE_READ_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_RANDOM_ACCESS | FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return false;

    DWORD certificates = 0;
    if (!ImageEnumerateCertificates(file.Get(), CERT_SECTION_TYPE_ANY, &certificates, nullptr, 0) || certificates == 0)
        return false;

    // Only the first certificate of the file is used.
    WIN_CERTIFICATE header = {};
    if (!ImageGetCertificateHeader(file.Get(), 0, &header))
        return false;
    const DWORD headSize = offsetof(WIN_CERTIFICATE, bCertificate);
    if (header.dwLength <= headSize)
        return false;

    std::vector<BYTE> buffer(header.dwLength + 12, 0);
    WIN_CERTIFICATE* certificate = reinterpret_cast<WIN_CERTIFICATE*>(buffer.data());
    certificate->dwLength = header.dwLength;
    certificate->wRevision = WIN_CERT_REVISION_2_0;
    DWORD size = static_cast<DWORD>(buffer.size());
    if (!ImageGetCertificateData(file.Get(), 0, certificate, &size))
        return false;

    const BYTE* signature = certificate->bCertificate;
    const DWORD signatureSize = header.dwLength - headSize;

    // The loop ends with the message's own signer count: past the last signer not every
    // system answers CRYPT_E_NO_SIGNER, and a malformed message fails at every index.
    LONG signers = CryptGetMessageSignerCount(kMessageEncoding, signature, signatureSize);
    if (signers <= 0)
        return false;

    for (DWORD index = 0; index < static_cast<DWORD>(signers); ++index) {
        CRYPT_VERIFY_MESSAGE_PARA parameters = {};
        parameters.cbSize = sizeof(parameters);
        parameters.dwMsgAndCertEncodingType = kMessageEncoding;
        PCCERT_CONTEXT signerCertificate = nullptr;
        BOOL verified = CryptVerifyMessageSignature(&parameters, index, signature, signatureSize,
                                                    nullptr, nullptr, &signerCertificate);
        DWORD error = verified ? ERROR_SUCCESS : GetLastError();
        CCertContext signer(signerCertificate);
        if (verified) {
            if (signer.IsValid() && signer.Get()->pCertInfo) {
                std::wstring name = GetSignerName(signer.Get());
                if (!name.empty() && IsTrustedSignerName(name))
                    return WinVerifyTrustFile(path, index);
            }
            continue;
        }
        if (error == static_cast<DWORD>(CRYPT_E_NO_SIGNER))
            return false;
    }
    return false;
}

} // namespace CommonAppLogic
} // namespace Lm
