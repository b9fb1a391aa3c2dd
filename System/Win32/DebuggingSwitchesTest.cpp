// Debugging switches read from the registry: the real Debugging key with values of unique names,
// and keys of unique names for the case of a missing key.
#include <gtest/gtest.h>

#include "System/Win32/DebuggingSwitches.h"
#include "TestRegistry.h"
#include "TestSupport.h"

using namespace Lm::System::Win32;

namespace {

const wchar_t kMakersDebuggingKey[] = L"SOFTWARE\\Larchmeadow\\Debugging";

// A value in the Debugging key that goes again with the object; the key itself goes too when
// this value made it and nothing else is in it.
class ScopedDebuggingValue {
public:
    ScopedDebuggingValue(DWORD type, const void* data, DWORD size) : m_name(LmTest::UniqueName(L"LmTestSwitch-"))
    {
        DWORD disposition = 0;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kMakersDebuggingKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_key,
                            &disposition) != ERROR_SUCCESS)
            return;
        m_createdKey = disposition == REG_CREATED_NEW_KEY;
        RegSetValueExW(m_key, m_name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    }
    ~ScopedDebuggingValue()
    {
        if (!m_key)
            return;
        RegDeleteValueW(m_key, m_name.c_str());
        DWORD subKeys = 1, values = 1;
        RegQueryInfoKeyW(m_key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr);
        RegCloseKey(m_key);
        if (m_createdKey && subKeys == 0 && values == 0)
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, kMakersDebuggingKey);
    }
    const std::wstring& Name() const { return m_name; }

private:
    std::wstring m_name;
    HKEY m_key = nullptr;
    bool m_createdKey = false;
};

} // namespace

TEST(DebuggingSwitches, a_dword_switch_is_on_when_non_zero)
{
    struct Case {
        DWORD value;
        bool on;
    } cases[] = {{0, false}, {1, true}, {2, true}, {0xFFFFFFFF, true}};
    for (const Case& c : cases) {
        ScopedDebuggingValue value(REG_DWORD, &c.value, sizeof(c.value));
        EXPECT_EQ(c.on, ReadDebuggingFlag(value.Name())) << c.value;
    }
}

TEST(DebuggingSwitches, a_missing_value_or_one_of_another_type_is_off)
{
    const wchar_t text[] = L"1";
    ScopedDebuggingValue value(REG_SZ, text, sizeof(text));
    EXPECT_FALSE(ReadDebuggingFlag(value.Name()));
    EXPECT_FALSE(ReadDebuggingFlag(LmTest::UniqueName(L"LmTestMissingSwitch-")));
}

TEST(DebuggingSwitches, a_missing_key_is_off)
{
    EXPECT_FALSE(ReadDebuggingFlagFrom(L"HKLM\\SOFTWARE\\" + LmTest::UniqueName(L"LmTestNoKey-"), L"UseTestEnvironment"));
    EXPECT_FALSE(ReadDebuggingFlagFrom(L"NOROOT\\Debugging", L"UseTestEnvironment"));
}

TEST(DebuggingSwitches, the_test_environment_switch_follows_its_value)
{
    // Only checks the switch against the registry as it stands: other tests may not change it.
    DWORD value = 0, size = sizeof(value), type = 0;
    HKEY key;
    bool expected = false;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMakersDebuggingKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        expected = RegQueryValueExW(key, L"UseTestEnvironment", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                                    &size) == ERROR_SUCCESS &&
                   type == REG_DWORD && value != 0;
        RegCloseKey(key);
    }
    EXPECT_EQ(expected, IsTestEnvironmentEnabled());
}

TEST(DebuggingSwitches, a_text_value_is_read_as_it_is_and_anything_else_is_empty)
{
    const std::wstring path = L"HKCU\\Software\\LmTest\\" + LmTest::UniqueName(L"Debugging");
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, path.substr(5).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &key, nullptr));
    const wchar_t text[] = L"http://127.0.0.1:8080";
    const DWORD number = 1;
    RegSetValueExW(key, L"Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof(text));
    RegSetValueExW(key, L"Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
    RegCloseKey(key);
    EXPECT_EQ(text, ReadDebuggingStringFrom(path, L"Text"));
    EXPECT_EQ(L"", ReadDebuggingStringFrom(path, L"Number"));
    EXPECT_EQ(L"", ReadDebuggingStringFrom(path, L"Missing"));
    EXPECT_EQ(L"", ReadDebuggingStringFrom(path + L"\\NoSuchKey", L"Text"));
    RegDeleteKeyW(HKEY_CURRENT_USER, path.substr(5).c_str());
}

TEST(DebuggingSwitches, a_test_bound_only_shortens_a_bound_and_only_in_the_test_environment)
{
    const LmTest::ScopedRegistryKey debugging(L"HKCU\\Software\\LmTest", L"Debugging");
    struct Case {
        bool testEnvironment;
        bool hasValue;
        DWORD value;
        DWORD expected;
    } cases[] = {
        {true, true, 250, 250},      // shortened
        {false, true, 250, 60000},   // outside the test environment the shipped bound holds
        {true, false, 0, 60000},     // no value
        {true, true, 0, 60000},      // zero is no bound
        {true, true, 90000, 60000},  // never lengthened
        {true, true, 60000, 60000},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(LmTest::RegSetDword(debugging.Path(), L"UseTestEnvironment", c.testEnvironment ? 1 : 0));
        LmTest::RegDeleteValueAt(debugging.Path(), L"TestBoundMs");
        if (c.hasValue)
            ASSERT_TRUE(LmTest::RegSetDword(debugging.Path(), L"TestBoundMs", c.value));
        EXPECT_EQ(c.expected, ReadTestBoundMsFrom(debugging.Path(), L"TestBoundMs", 60000))
            << c.testEnvironment << " " << c.hasValue << " " << c.value;
    }
    LmTest::RegSetText(debugging.Path(), L"TestBoundMs", L"250");
    EXPECT_EQ(60000u, ReadTestBoundMsFrom(debugging.Path(), L"TestBoundMs", 60000)) << "a value of another type";
    EXPECT_EQ(60000u, ReadTestBoundMsFrom(debugging / L"NoSuchKey", L"TestBoundMs", 60000));
}
