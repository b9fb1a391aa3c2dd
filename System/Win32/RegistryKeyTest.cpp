#include "System/Win32/RegistryKey.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "System/Exception.h"
#include "System/RefPtr.h"
#include "CaughtException.h"
#include "TestSupport.h"

using Lm::System::CException;
using Lm::System::CRefPtr;
using Lm::System::Win32::CRegistryKey;

namespace {

// A unique key below a root, removed with all it holds when the test ends (in the given view).
class ScratchKey {
public:
    ScratchKey(HKEY root, const std::wstring& rootName, const std::wstring& parent, REGSAM view = 0)
        : root_(root), view_(view)
    {
        subkey_ = parent + L"\\" + LmTest::UniqueName(L"LmRegTest");
        path_ = rootName + L"\\" + subkey_;
    }
    ~ScratchKey()
    {
        HKEY key;
        if (::RegOpenKeyExW(root_, subkey_.c_str(), 0, KEY_ALL_ACCESS | view_, &key) == ERROR_SUCCESS) {
            ::RegDeleteTreeW(key, nullptr);
            ::RegCloseKey(key);
        }
        ::RegDeleteKeyExW(root_, subkey_.c_str(), view_, 0);
    }
    const std::wstring& Path() const { return path_; }
    const std::wstring& Subkey() const { return subkey_; }

private:
    HKEY root_;
    REGSAM view_;
    std::wstring subkey_;
    std::wstring path_;
};

ScratchKey UserKey()
{
    return ScratchKey(HKEY_CURRENT_USER, L"HKCU", L"Software\\LmTests");
}

bool RawExists(HKEY root, const std::wstring& subkey, REGSAM view = 0)
{
    HKEY key;
    if (::RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

void RawSet(HKEY root, const std::wstring& subkey, const std::wstring& name, DWORD type, const void* data, DWORD size)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                               nullptr));
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size));
    ::RegCloseKey(key);
}

struct RootCase {
    std::wstring name;
    HKEY key;
};

class RegistryRootTest : public testing::TestWithParam<RootCase> {};

TEST_P(RegistryRootTest, root_names_short_and_long_in_any_case)
{
    EXPECT_EQ(GetParam().key, CRegistryKey::GetPredefinedKey(GetParam().name));
}

INSTANTIATE_TEST_SUITE_P(
    Names, RegistryRootTest,
    testing::Values(RootCase{L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, RootCase{L"HKLM", HKEY_LOCAL_MACHINE},
                    RootCase{L"hklm", HKEY_LOCAL_MACHINE}, RootCase{L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                    RootCase{L"hkcu", HKEY_CURRENT_USER}, RootCase{L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
                    RootCase{L"HKCR", HKEY_CLASSES_ROOT}, RootCase{L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
                    RootCase{L"HKCC", HKEY_CURRENT_CONFIG}, RootCase{L"HKEY_USERS", HKEY_USERS},
                    RootCase{L"hku", HKEY_USERS}, RootCase{L"Foo", nullptr}, RootCase{L"", nullptr},
                    RootCase{L"HKLMX", nullptr}));

TEST(RegistryKeyTest, short_lower_case_root_opens_the_same_key_as_the_long_name)
{
    ScratchKey scratch(HKEY_CURRENT_USER, L"HKEY_CURRENT_USER", L"Software\\LmTests");
    {
        CRegistryKey writer(scratch.Path(), false);
        writer.SetString(L"v", L"same");
    }
    CRegistryKey reader(L"hkcu\\" + scratch.Subkey(), true);
    EXPECT_EQ(L"same", reader.GetString(L"v", L"default"));
}

TEST(RegistryKeyTest, root_alone_is_held_as_the_predefined_key)
{
    {
        CRefPtr<CRegistryKey> root(new CRegistryKey(L"HKLM", true));
        EXPECT_TRUE(root->IsPredefined());
        EXPECT_EQ(HKEY_LOCAL_MACHINE, root->GetKey());
    }
    // Destroying it closed nothing: the root still works.
    EXPECT_TRUE(RawExists(HKEY_LOCAL_MACHINE, L"Software"));
}

TEST(RegistryKeyTest, unknown_root_throws_base_key_message)
{
    const CException e = LmTest::CaughtException([] { CRegistryKey key(L"Foo\\Bar", true); });
    EXPECT_EQ(L"Base key in 'Foo\\Bar'is not a predefined key.", e.Message());
    EXPECT_EQ(L"Win32.RegistryKey.45", e.GetLocationCode());
    EXPECT_EQ("Lm::System::Win32::CRegistryKey::CRegistryKey", e.Function());
}

TEST(RegistryKeyTest, read_only_open_of_a_missing_key_throws_open_failure)
{
    ScratchKey scratch = UserKey();
    const CException e = LmTest::CaughtException([&] { CRegistryKey key(scratch.Path(), true); });
    EXPECT_EQ(L"RegOpenKeyExW failure opening registry key '" + scratch.Path() + L"'.", e.Message());
    EXPECT_EQ(62, e.Line());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), e.LastError());
    EXPECT_FALSE(RawExists(HKEY_CURRENT_USER, scratch.Subkey()));
}

TEST(RegistryKeyTest, writable_open_creates_the_key_and_its_parents)
{
    ScratchKey scratch = UserKey();
    CRegistryKey key(scratch.Path() + L"\\a\\b", false);
    EXPECT_FALSE(key.IsPredefined());
    EXPECT_TRUE(RawExists(HKEY_CURRENT_USER, scratch.Subkey() + L"\\a\\b"));
}

TEST(RegistryKeyTest, strings_and_numbers_round_trip)
{
    ScratchKey scratch = UserKey();
    CRegistryKey key(scratch.Path(), false);
    key.SetString(L"Text", L"caf\u00e9 \u4e2d");
    key.SetString(L"Empty", L"");
    key.SetUint32(L"Number", 0xDEADBEEF);
    EXPECT_EQ(L"caf\u00e9 \u4e2d", key.GetString(L"Text", L"d"));
    EXPECT_EQ(L"", key.GetString(L"Empty", L"d"));
    EXPECT_EQ(L"d", key.GetString(L"Missing", L"d"));

    DWORD value = 0, size = sizeof(value), type = 0;
    ASSERT_EQ(ERROR_SUCCESS, ::RegGetValueW(HKEY_CURRENT_USER, scratch.Subkey().c_str(), L"Number", RRF_RT_ANY, &type,
                                            &value, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(0xDEADBEEFu, value);
    wchar_t text[16] = {};
    size = sizeof(text);
    ASSERT_EQ(ERROR_SUCCESS, ::RegGetValueW(HKEY_CURRENT_USER, scratch.Subkey().c_str(), L"Empty", RRF_RT_ANY, &type,
                                            text, &size));
    EXPECT_EQ(2u, size) << "the terminating zero is stored";
}

TEST(RegistryKeyTest, empty_name_writes_the_default_value)
{
    ScratchKey scratch = UserKey();
    CRegistryKey key(scratch.Path(), false);
    key.SetString(L"", L"default text");
    wchar_t text[32] = {};
    LONG size = sizeof(text);
    ASSERT_EQ(ERROR_SUCCESS, ::RegQueryValueW(HKEY_CURRENT_USER, scratch.Subkey().c_str(), text, &size));
    EXPECT_EQ(L"default text", std::wstring(text));
}

TEST(RegistryKeyTest, wrong_type_throws_unexpected_type_message)
{
    ScratchKey scratch = UserKey();
    CRegistryKey key(scratch.Path(), false);
    key.SetUint32(L"Flag", 1);
    const CException e = LmTest::CaughtException([&] { key.GetString(L"Flag", L""); });
    EXPECT_EQ(L"Unexpected type for registry value '" + scratch.Path() + L"\\Flag'. REG_SZ or REG_EXPAND_SZ expected.",
              e.Message());
    EXPECT_EQ(L"Win32.RegistryKey.277", e.GetLocationCode());
    EXPECT_EQ("Lm::System::Win32::CRegistryKey::GetString", e.Function());
}

struct RawStringCase {
    const char* name;
    DWORD type;
    std::vector<BYTE> data;
    std::wstring expected;
};

class RegistryRawStringTest : public testing::TestWithParam<RawStringCase> {};

TEST_P(RegistryRawStringTest, stored_data_reads_back_whole)
{
    const RawStringCase& c = GetParam();
    ScratchKey scratch = UserKey();
    RawSet(HKEY_CURRENT_USER, scratch.Subkey(), L"v", c.type, c.data.data(), static_cast<DWORD>(c.data.size()));
    CRegistryKey key(scratch.Path(), true);
    EXPECT_EQ(c.expected, key.GetString(L"v", L"default"));
}

std::vector<BYTE> Bytes(const std::wstring& text, size_t extraZeroCharacters = 0)
{
    std::vector<BYTE> bytes(reinterpret_cast<const BYTE*>(text.c_str()),
                            reinterpret_cast<const BYTE*>(text.c_str()) + text.size() * 2);
    bytes.insert(bytes.end(), extraZeroCharacters * 2, 0);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Data, RegistryRawStringTest,
    testing::Values(RawStringCase{"terminated", REG_SZ, Bytes(L"abc", 1), L"abc"},
                    RawStringCase{"without_terminator", REG_SZ, Bytes(L"abc"), L"abc"},
                    RawStringCase{"size_zero", REG_SZ, {}, L""},
                    RawStringCase{"odd_size", REG_SZ, {'a', 0, 'b'}, L"ab"},
                    RawStringCase{"two_terminators_drop_one", REG_SZ, Bytes(L"x", 2), std::wstring(L"x\0", 2)},
                    RawStringCase{"expand_unexpanded", REG_EXPAND_SZ, Bytes(L"%TEMP%\\x", 1), L"%TEMP%\\x"}),
    [](const testing::TestParamInfo<RawStringCase>& info) { return std::string(info.param.name); });

TEST(RegistryKeyTest, writing_through_a_read_only_key_throws_write_failure)
{
    ScratchKey scratch = UserKey();
    { CRegistryKey create(scratch.Path(), false); }
    CRegistryKey key(scratch.Path(), true);
    const std::wstring expected = L"RegSetValueEx failure writing registry value '" + scratch.Path() + L"\\v'.";
    const CException text = LmTest::CaughtException([&] { key.SetString(L"v", L"x"); });
    EXPECT_EQ(expected, text.Message());
    EXPECT_EQ(L"Win32.RegistryKey.301", text.GetLocationCode());
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), text.LastError());
    const CException number = LmTest::CaughtException([&] { key.SetUint32(L"v", 1); });
    EXPECT_EQ(expected, number.Message());
    EXPECT_EQ(L"Win32.RegistryKey.348", number.GetLocationCode());
}

TEST(RegistryKeyTest, value_of_a_key_deleted_meanwhile_reads_as_the_default)
{
    ScratchKey scratch = UserKey();
    CRegistryKey key(scratch.Path(), false);
    key.SetString(L"v", L"x");
    CRegistryKey::DeleteKeyTree(scratch.Path());
    EXPECT_EQ(L"gone", key.GetString(L"v", L"gone"));
}

TEST(RegistryKeyTest, subkey_names_are_appended)
{
    ScratchKey scratch = UserKey();
    CRegistryKey key(scratch.Path(), false);
    for (const wchar_t* name : {L"alpha", L"Beta", L"a-much-longer-subkey-name"})
        CRegistryKey(scratch.Path() + L"\\" + name, false);
    CRegistryKey(scratch.Path() + L"\\alpha\\nested", false);
    std::vector<std::wstring> names{L"kept"};
    key.EnumerateSubKeyNames(names);
    ASSERT_EQ(4u, names.size());
    EXPECT_EQ(L"kept", names[0]);
    std::sort(names.begin() + 1, names.end());
    EXPECT_EQ((std::vector<std::wstring>{L"kept", L"Beta", L"a-much-longer-subkey-name", L"alpha"}), names);
    std::vector<std::wstring> none;
    CRegistryKey(scratch.Path() + L"\\Beta", true).EnumerateSubKeyNames(none);
    EXPECT_TRUE(none.empty());
}

TEST(RegistryKeyTest, key_exists_probes_without_creating)
{
    ScratchKey scratch = UserKey();
    EXPECT_FALSE(CRegistryKey::KeyExists(scratch.Path()));
    EXPECT_FALSE(RawExists(HKEY_CURRENT_USER, scratch.Subkey()));
    { CRegistryKey create(scratch.Path(), false); }
    EXPECT_TRUE(CRegistryKey::KeyExists(scratch.Path()));
    EXPECT_TRUE(CRegistryKey::KeyExists(L"HKCU"));
    EXPECT_FALSE(CRegistryKey::KeyExists(L"Foo\\Software"));
    EXPECT_FALSE(CRegistryKey::KeyExists(L"Foo"));
}

TEST(RegistryKeyTest, delete_value_removes_it_and_creates_a_missing_key)
{
    ScratchKey scratch = UserKey();
    {
        CRegistryKey key(scratch.Path(), false);
        key.SetString(L"v", L"x");
        key.SetString(L"w", L"y");
    }
    CRegistryKey::DeleteValue(scratch.Path(), L"v");
    CRegistryKey key(scratch.Path(), true);
    EXPECT_EQ(L"none", key.GetString(L"v", L"none"));
    EXPECT_EQ(L"y", key.GetString(L"w", L"none"));

    const std::wstring missing = scratch.Path() + L"\\missing";
    CRegistryKey::DeleteValue(missing, L"v");
    EXPECT_TRUE(RawExists(HKEY_CURRENT_USER, scratch.Subkey() + L"\\missing"));
    CRegistryKey::DeleteValue(L"Foo\\Bar", L"v");
}

TEST(RegistryKeyTest, delete_key_tree_removes_three_levels)
{
    ScratchKey scratch = UserKey();
    for (const wchar_t* sub : {L"\\one\\two\\three", L"\\one\\two\\three2", L"\\one\\side", L"\\top"}) {
        CRegistryKey key(scratch.Path() + sub, false);
        key.SetString(L"v", L"x");
    }
    CRegistryKey::DeleteKeyTree(scratch.Path() + L"\\");
    EXPECT_FALSE(RawExists(HKEY_CURRENT_USER, scratch.Subkey()));
    EXPECT_FALSE(CRegistryKey::KeyExists(scratch.Path()));
}

TEST(RegistryKeyTest, delete_key_tree_of_a_root_or_an_unknown_root_does_nothing)
{
    CRegistryKey::DeleteKeyTree(L"HKCU");
    CRegistryKey::DeleteKeyTree(L"Foo\\Software");
    EXPECT_TRUE(RawExists(HKEY_CURRENT_USER, L"Software"));
}

struct ViewCase {
    const char* name;
    REGSAM writeView;
    REGSAM otherView;
};

class RegistryViewTest : public testing::TestWithParam<ViewCase> {};

TEST_P(RegistryViewTest, a_value_written_in_one_view_is_not_seen_in_the_other)
{
    const ViewCase& c = GetParam();
    ScratchKey scratch(HKEY_LOCAL_MACHINE, L"HKLM", L"Software", c.writeView);
    {
        CRegistryKey key(scratch.Path(), false, c.writeView);
        key.SetString(L"View", L"written");
    }
    EXPECT_TRUE(CRegistryKey::KeyExists(scratch.Path(), c.writeView));
    EXPECT_FALSE(CRegistryKey::KeyExists(scratch.Path(), c.otherView));
    EXPECT_EQ(L"written", CRegistryKey(scratch.Path(), true, c.writeView).GetString(L"View", L""));

    CRegistryKey::DeleteKeyTree(scratch.Path(), c.otherView);
    EXPECT_TRUE(CRegistryKey::KeyExists(scratch.Path(), c.writeView)) << "deleting in the other view leaves it";
    CRegistryKey::DeleteKeyTree(scratch.Path(), c.writeView);
    EXPECT_FALSE(CRegistryKey::KeyExists(scratch.Path(), c.writeView));
}

INSTANTIATE_TEST_SUITE_P(Views, RegistryViewTest,
                         testing::Values(ViewCase{"own_32_bit_view", 0, KEY_WOW64_64KEY},
                                         ViewCase{"64_bit_view", KEY_WOW64_64KEY, 0}),
                         [](const testing::TestParamInfo<ViewCase>& info) { return std::string(info.param.name); });

} // namespace
