// Machine and process queries, checked against the real prefix: a 64-bit Windows running this
// 32-bit test under WoW64, files on disk and COM registrations in HKEY_CLASSES_ROOT.
#include <gtest/gtest.h>

#include "System/Win32/SystemInfo.h"
#include "TestSupport.h"

#include <objbase.h>
#include <vector>

using namespace Lm::System::Win32;

namespace {

std::vector<std::wstring> SplitAtPoints(const std::wstring& text)
{
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (;;) {
        size_t point = text.find(L'.', start);
        parts.push_back(text.substr(start, point == std::wstring::npos ? std::wstring::npos : point - start));
        if (point == std::wstring::npos)
            return parts;
        start = point + 1;
    }
}

bool IsDecimal(const std::wstring& text)
{
    if (text.empty())
        return false;
    for (wchar_t c : text)
        if (c < L'0' || c > L'9')
            return false;
    return true;
}

// A LocalServer32 registration under HKEY_CLASSES_ROOT for a new CLSID, removed again at the end.
class ScopedComServerRegistration {
public:
    // valueBytes < 0: the value is stored with its terminating zero; otherwise exactly that many bytes.
    ScopedComServerRegistration(const std::wstring& value, int valueBytes = -1)
    {
        CoCreateGuid(&m_clsid);
        wchar_t text[64];
        StringFromGUID2(m_clsid, text, 64);
        m_key = std::wstring(L"CLSID\\") + text;
        HKEY key;
        if (RegCreateKeyExW(HKEY_CLASSES_ROOT, (m_key + L"\\LocalServer32").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr) != ERROR_SUCCESS)
            return;
        DWORD bytes = valueBytes < 0 ? static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)) : valueBytes;
        m_written = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes) ==
                    ERROR_SUCCESS;
        RegCloseKey(key);
    }
    ~ScopedComServerRegistration() { RegDeleteTreeW(HKEY_CLASSES_ROOT, m_key.c_str()); RegDeleteKeyW(HKEY_CLASSES_ROOT, m_key.c_str()); }
    const CLSID& Clsid() const { return m_clsid; }
    bool Written() const { return m_written; }

private:
    CLSID m_clsid = {};
    std::wstring m_key;
    bool m_written = false;
};

} // namespace

TEST(SystemInfo, os_version_text_has_five_decimal_parts_and_starts_with_the_short_form)
{
    const std::wstring text = GetOSVersionText();
    const std::wstring shortText = GetOSVersionShort();
    std::vector<std::wstring> parts = SplitAtPoints(text);
    ASSERT_EQ(5u, parts.size()) << text;
    for (const std::wstring& part : parts)
        EXPECT_TRUE(IsDecimal(part)) << text;
    ASSERT_EQ(2u, SplitAtPoints(shortText).size()) << shortText;
    EXPECT_EQ(0u, text.find(shortText + L".")) << text << " / " << shortText;
}

TEST(SystemInfo, this_32_bit_process_runs_under_wow64)
{
    EXPECT_TRUE(IsWow64());
}

TEST(SystemInfo, file_size_of_missing_empty_and_written_files)
{
    LmTest::ScratchFolder folder(L"sysinfo");
    EXPECT_EQ(-1, GetFileSize64(folder / L"missing.bin"));

    LmTest::WriteFileUtf8(folder / L"empty.bin", L"");
    EXPECT_EQ(0, GetFileSize64(folder / L"empty.bin"));

    LmTest::WriteFileUtf8(folder / L"text.bin", L"0123456789");
    EXPECT_EQ(10, GetFileSize64(folder / L"text.bin"));

    // Opened without access rights: a file that another process holds without sharing is sized too.
    HANDLE locked = CreateFileW((folder / L"text.bin").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, locked);
    EXPECT_EQ(10, GetFileSize64(folder / L"text.bin"));
    CloseHandle(locked);
}

TEST(SystemInfo, elevation_agrees_with_the_enabled_administrators_group)
{
    // With UAC, only an elevated token of an administrator has the Administrators group enabled.
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                         0, &administrators));
    BOOL member = FALSE;
    ASSERT_TRUE(CheckTokenMembership(nullptr, administrators, &member));
    FreeSid(administrators);
    EXPECT_EQ(member != FALSE, IsProcessElevated());
}

TEST(SystemInfo, com_server_path_is_the_folder_of_the_registered_program)
{
    struct Case {
        const wchar_t* registered;
        const wchar_t* folder;
    } cases[] = {
        {L"\"C:\\Program Files (x86)\\Larchmeadow Games\\App\\Service.exe\"", L"C:\\Program Files (x86)\\Larchmeadow Games\\App"},
        {L"C:\\Tools\\Server.exe", L"C:\\Tools"},
        {L"Server.exe", L"Server.exe"},
    };
    for (const Case& c : cases) {
        ScopedComServerRegistration registration(c.registered);
        ASSERT_TRUE(registration.Written());
        std::wstring folder = L"stale";
        EXPECT_TRUE(GetComServerPath(registration.Clsid(), folder)) << c.registered;
        EXPECT_EQ(c.folder, folder);
    }
}

TEST(SystemInfo, com_server_path_of_an_unregistered_clsid_is_false_and_empty)
{
    CLSID clsid;
    CoCreateGuid(&clsid);
    std::wstring folder = L"stale";
    EXPECT_FALSE(GetComServerPath(clsid, folder));
    EXPECT_TRUE(folder.empty());
}

TEST(SystemInfo, com_server_path_never_reads_past_its_buffer)
{
    // 258 characters and the terminator fill the 518 bytes that are read: the whole text.
    const std::wstring fits = L"C:\\" + std::wstring(249, L'a') + L"\\b.exe";
    ASSERT_EQ(258u, fits.size());
    {
        ScopedComServerRegistration registration(fits);
        ASSERT_TRUE(registration.Written());
        std::wstring folder;
        EXPECT_TRUE(GetComServerPath(registration.Clsid(), folder));
        EXPECT_EQ(L"C:\\" + std::wstring(249, L'a'), folder);
    }
    // Longer data would leave no terminator in the 520-byte buffer, stored with one or without:
    // it is not read at all rather than read into an unterminated text.
    const std::wstring tooLong = fits + L"x";
    for (int bytes : {static_cast<int>((tooLong.size() + 1) * sizeof(wchar_t)), 520}) {
        ScopedComServerRegistration registration(tooLong + L"y", bytes);
        ASSERT_TRUE(registration.Written());
        std::wstring folder = L"stale";
        EXPECT_FALSE(GetComServerPath(registration.Clsid(), folder)) << bytes << " bytes";
        EXPECT_TRUE(folder.empty());
    }
}
