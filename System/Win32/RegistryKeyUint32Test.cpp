// 32-bit values read through CRegistryKey from a key of a unique name in the real registry.
#include <gtest/gtest.h>

#include "System/Exception.h"
#include "System/Win32/RegistryKey.h"
#include "TestSupport.h"

using Lm::System::Win32::CRegistryKey;

namespace {

class RegistryKeyUint32 : public testing::Test {
protected:
    void SetUp() override { m_path = L"HKLM\\Software\\" + LmTest::UniqueName(L"LmTestUint32-"); }
    void TearDown() override { CRegistryKey::DeleteKeyTree(m_path); }
    std::wstring m_path;
};

} // namespace

TEST_F(RegistryKeyUint32, reads_dword_values_and_the_default_for_a_missing_one)
{
    CRegistryKey key(m_path, false);
    key.SetUint32(L"Zero", 0);
    key.SetUint32(L"Big", 0xFFFFFFFE);
    EXPECT_EQ(0u, key.GetUint32(L"Zero", 7));
    EXPECT_EQ(0xFFFFFFFEu, key.GetUint32(L"Big", 7));
    EXPECT_EQ(7u, key.GetUint32(L"Missing", 7));
    EXPECT_TRUE(key.ValueExists(L"Zero"));
    EXPECT_FALSE(key.ValueExists(L"Missing"));

    EXPECT_EQ(0xFFFFFFFEu, CRegistryKey::ReadUint32(m_path, L"Big", 0));
    EXPECT_EQ(3u, CRegistryKey::ReadUint32(m_path, L"Missing", 3));
    EXPECT_TRUE(CRegistryKey::ReadBool(m_path, L"Big", false));
    EXPECT_FALSE(CRegistryKey::ReadBool(m_path, L"Zero", true));
    EXPECT_TRUE(CRegistryKey::ReadBool(m_path, L"Missing", true));
}

TEST_F(RegistryKeyUint32, a_value_of_another_type_throws)
{
    CRegistryKey key(m_path, false);
    key.SetString(L"Text", L"1");
    EXPECT_TRUE(key.ValueExists(L"Text"));
    try {
        key.GetUint32(L"Text", 0);
        ADD_FAILURE() << "no exception";
    } catch (const Lm::System::CException& e) {
        EXPECT_EQ(L"Unexpected type for registry value '" + m_path + L"\\Text'. REG_DWORD expected.", e.Message());
        EXPECT_EQ(L"Win32.RegistryKey.331", e.GetLocationCode());
        EXPECT_EQ("Lm::System::Win32::CRegistryKey::GetUint32", e.Function());
    }
}

TEST_F(RegistryKeyUint32, reading_from_a_missing_key_throws_as_opening_it)
{
    EXPECT_THROW(CRegistryKey::ReadUint32(m_path + L"\\Missing", L"Value", 0), Lm::System::CException);
    EXPECT_FALSE(CRegistryKey::KeyExists(m_path + L"\\Missing"));
}
