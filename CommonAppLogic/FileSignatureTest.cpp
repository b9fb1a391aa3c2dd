// The code-signature test against copies of the stand-in program signed at build time with
// throwaway certificates under the maker's names and under foreign ones.
#include "CommonAppLogic/FileSignature.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "TestSupport.h"

namespace Lm {
namespace CommonAppLogic {
namespace {

std::wstring SignedCopy(const std::wstring& name)
{
    return LmTest::TestDir() + L"signed\\StandIn-" + name + L".exe";
}

std::wstring UnsignedStandIn()
{
    return LmTest::TestDir() + L"ExecStandIn.exe";
}

std::vector<char> ReadBytes(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::wstring& path, const std::vector<char>& bytes)
{
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The signer certificate embedded in a signed file, read back through the CryptoAPI.
struct EmbeddedSigner {
    HCERTSTORE store = nullptr;
    HCRYPTMSG message = nullptr;
    PCCERT_CONTEXT certificate = nullptr;
    explicit EmbeddedSigner(const std::wstring& path)
    {
        if (!CryptQueryObject(CERT_QUERY_OBJECT_FILE, path.c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                              CERT_QUERY_FORMAT_FLAG_BINARY, 0, nullptr, nullptr, nullptr, &store, &message, nullptr))
            return;
        DWORD size = 0;
        CryptMsgGetParam(message, CMSG_SIGNER_CERT_INFO_PARAM, 0, nullptr, &size);
        std::vector<BYTE> info(size);
        if (!CryptMsgGetParam(message, CMSG_SIGNER_CERT_INFO_PARAM, 0, info.data(), &size))
            return;
        certificate = CertFindCertificateInStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                 CERT_FIND_SUBJECT_CERT, info.data(), nullptr);
    }
    ~EmbeddedSigner()
    {
        if (certificate)
            CertFreeCertificateContext(certificate);
        if (message)
            CryptMsgClose(message);
        if (store)
            CertCloseStore(store, 0);
    }
};

TEST(SignerNameTest, accepts_the_makers_names_in_any_case_and_punctuation)
{
    for (const wchar_t* name : {L"Larchmeadow, Inc.", L"Larchmeadow Inc", L"LARCHMEADOW, INC.", L"larchmeadow",
                                L"Larchmeadow Inc.", L"Larchmeadow  \t Inc", L" Larchmeadow ", L"Pellor, Inc.",
                                L"pellor", L"PELLOR INC", L"Larchmeadow, Inc", L"Larchmeadow."})
        EXPECT_TRUE(IsTrustedSignerName(name)) << name;
}

TEST(SignerNameTest, refuses_other_names_and_word_orders)
{
    for (const wchar_t* name : {L"Larchmeadow Games Inc", L"Inc Larchmeadow", L"Larchmeadow Inc Inc", L"",
                                L" ", L"Larchmeadow Ltd", L"Larchmeadow,Inc.", L"Larchmeadow Inc..", L"Pellor Games",
                                L"Larch meadow", L"Larchmeadow\x00A0Inc", L"LarchmeadowInc"})
        EXPECT_FALSE(IsTrustedSignerName(name)) << name;
}

TEST(SignerNameTest, normalises_to_upper_case_words)
{
    struct Case { const wchar_t* name; const wchar_t* words; };
    const Case cases[] = {
        {L"Larchmeadow, Inc.", L"LARCHMEADOW INC"},
        {L"a.", L"A"},
        {L"a..", L"A."},
        {L"a,  b", L"A B"},
        {L"\t a \t", L" A "},
        {L"", L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(std::wstring(c.words), SplitSignerNameWords(c.name)) << c.name;
}

TEST(SignerNameTest, collapses_runs_of_blanks_and_tabs)
{
    EXPECT_EQ(L" a b ", CollapseBlanks(L"  a\t\t b \t"));
    EXPECT_EQ(L"a b", CollapseBlanks(L"a\tb"));
    EXPECT_EQ(L"", CollapseBlanks(L""));
}

TEST(CertNameItemsTest, splits_quoted_and_plain_items)
{
    struct Case { const wchar_t* text; std::vector<std::wstring> items; };
    const Case cases[] = {
        {L"2.5.4.10=Larchmeadow Inc, 2.5.4.3=Test", {L"2.5.4.10=Larchmeadow Inc", L"2.5.4.3=Test"}},
        {L"2.5.4.10=\"Larchmeadow, Inc.\", 2.5.4.3=x", {L"2.5.4.10=Larchmeadow, Inc.", L"2.5.4.3=x"}},
        {L"2.5.4.10=\"say \"\"hi\"\"\"", {L"2.5.4.10=say \"hi\""}},
        {L"a=1, b=2,c=3", {L"a=1"}},
        {L"a=1, , b=2", {L"a=1", L"", L"b=2"}},
        {L"a=1,", {}},
        {L"", {L""}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.items, SplitCertNameItems(c.text)) << c.text;
}

TEST(FileSignatureTest, reads_the_organisation_of_a_real_signer_certificate)
{
    EmbeddedSigner signer(SignedCopy(L"LarchmeadowCommaInc"));
    ASSERT_NE(nullptr, signer.certificate);
    EXPECT_EQ(L"Larchmeadow, Inc.", GetSignerName(signer.certificate));
    std::vector<std::wstring> items = CertNameToString(signer.certificate);
    ASSERT_EQ(2u, items.size());
    EXPECT_EQ(L"2.5.4.10=Larchmeadow, Inc.", items[0]);
    EXPECT_EQ(L"2.5.4.3=Larchmeadow, Inc. test code signing", items[1]);
}

TEST(FileSignatureTest, accepts_files_signed_under_the_makers_names)
{
    for (const wchar_t* name : {L"LarchmeadowCommaInc", L"LarchmeadowInc", L"LarchmeadowUpper", L"LarchmeadowLower",
                                L"PellorInc"})
        EXPECT_TRUE(VerifyFileSignature(SignedCopy(name))) << name;
}

TEST(FileSignatureTest, refuses_files_signed_under_other_names)
{
    for (const wchar_t* name : {L"LarchmeadowGamesInc", L"IncLarchmeadow"}) {
        ASSERT_TRUE(LmTest::FileExists(SignedCopy(name))) << name;
        // The signature itself is sound: only the name makes the difference.
        EXPECT_TRUE(WinVerifyTrustFile(SignedCopy(name), 0)) << name;
        EXPECT_FALSE(VerifyFileSignature(SignedCopy(name))) << name;
    }
}

// Signer count of the file's embedded signature as the CryptoAPI reads it (-1: unreadable).
LONG SignerCount(const std::wstring& path)
{
    std::vector<char> bytes = ReadBytes(path);
    const DWORD peOffset = *reinterpret_cast<const DWORD*>(&bytes[0x3C]);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(&bytes[peOffset]);
    const IMAGE_DATA_DIRECTORY security = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY];
    const auto* der = reinterpret_cast<const BYTE*>(&bytes[security.VirtualAddress + 8]);
    return CryptGetMessageSignerCount(PKCS_7_ASN_ENCODING | X509_ASN_ENCODING, der, security.Size - 8);
}

TEST(FileSignatureTest, a_later_signer_with_the_makers_name_is_accepted)
{
    // Two foreign signers: refused, and the signer loop ends.
    EXPECT_FALSE(VerifyFileSignature(SignedCopy(L"ForeignOnly")));
    if (SignerCount(SignedCopy(L"ForeignThenMaker")) != 2) {
        // Wine 8's crypt32 reads no message with two signers (E_INVALIDARG at every index).
        EXPECT_FALSE(VerifyFileSignature(SignedCopy(L"ForeignThenMaker")));
        GTEST_SKIP() << "this system's CryptoAPI cannot read a signature with two signers";
    }
    EXPECT_TRUE(VerifyFileSignature(SignedCopy(L"ForeignThenMaker")));
}

TEST(FileSignatureTest, refuses_unsigned_missing_and_non_program_files)
{
    LmTest::ScratchFolder folder(L"lmsig");
    LmTest::WriteFileUtf8(folder / L"notes.exe", L"MZ but not a program at all");
    LmTest::WriteFileUtf8(folder / L"empty.exe", L"");
    EXPECT_FALSE(VerifyFileSignature(UnsignedStandIn()));
    EXPECT_FALSE(VerifyFileSignature(folder / L"notes.exe"));
    EXPECT_FALSE(VerifyFileSignature(folder / L"empty.exe"));
    EXPECT_FALSE(VerifyFileSignature(folder / L"missing.exe"));
    EXPECT_FALSE(VerifyFileSignature(folder.Path()));
    EXPECT_FALSE(WinVerifyTrustFile(UnsignedStandIn(), 0));
}

TEST(FileSignatureTest, refuses_a_signed_file_changed_after_signing)
{
    LmTest::ScratchFolder folder(L"lmsig");
    std::vector<char> bytes = ReadBytes(SignedCopy(L"LarchmeadowCommaInc"));
    ASSERT_GT(bytes.size(), 0x1000u);
    bytes[0x800] ^= 0x5A; // inside the code, which the signature's digest covers
    WriteBytes(folder / L"tampered.exe", bytes);
    EXPECT_EQ(L"Larchmeadow, Inc.", GetSignerName(EmbeddedSigner(folder / L"tampered.exe").certificate));
    EXPECT_FALSE(WinVerifyTrustFile(folder / L"tampered.exe", 0));
    EXPECT_FALSE(VerifyFileSignature(folder / L"tampered.exe"));
}

TEST(FileSignatureTest, refuses_a_signature_block_that_is_not_a_signed_message)
{
    // Garbage in place of the PKCS #7 bytes: every signer index fails, the test still ends.
    LmTest::ScratchFolder folder(L"lmsig");
    std::vector<char> bytes = ReadBytes(SignedCopy(L"LarchmeadowInc"));
    const DWORD peOffset = *reinterpret_cast<const DWORD*>(&bytes[0x3C]);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(&bytes[peOffset]);
    const IMAGE_DATA_DIRECTORY security = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY];
    ASSERT_GT(security.Size, 64u);
    ASSERT_LE(security.VirtualAddress + security.Size, bytes.size());
    for (DWORD i = 8; i < security.Size; ++i)
        bytes[security.VirtualAddress + i] = static_cast<char>(0xA5 ^ i);
    WriteBytes(folder / L"garbled.exe", bytes);
    EXPECT_FALSE(VerifyFileSignature(folder / L"garbled.exe"));
}

} // namespace
} // namespace CommonAppLogic
} // namespace Lm
