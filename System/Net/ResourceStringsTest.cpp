#include "System/Net/ResourceStrings.h"

#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "Updater/UpdaterStrings.h"

using Lm::System::Net::CResourceStrings;

namespace {

// A debugging key of the test's own under HKLM (32-bit view), removed at the end; tests that set
// overrides use it, so that parallel tests never see each other's values.
class CDebuggingKey {
public:
    explicit CDebuggingKey(const std::wstring& path = L"")
        : m_path(path.empty() ? L"SOFTWARE\\Larchmeadow\\Tests\\" + LmTest::UniqueName(L"Locale") + L"\\Debugging"
                              : path),
          m_own(path.empty())
    {
    }
    ~CDebuggingKey()
    {
        if (m_own) {
            RegDeleteKeyExW(HKEY_LOCAL_MACHINE, m_path.c_str(), KEY_WOW64_32KEY, 0);
            RegDeleteKeyExW(HKEY_LOCAL_MACHINE, m_path.substr(0, m_path.rfind(L'\\')).c_str(), KEY_WOW64_32KEY, 0);
        }
    }
    void Set(const wchar_t* name, const std::wstring& value, DWORD type = REG_SZ)
    {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, m_path.c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr));
        if (type == REG_DWORD) {
            DWORD number = 1;
            RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
        } else {
            RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        }
        RegCloseKey(key);
    }
    void Delete(const wchar_t* name)
    {
        HKEY key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, m_path.c_str(), 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, &key) ==
            ERROR_SUCCESS) {
            RegDeleteValueW(key, name);
            RegCloseKey(key);
        }
    }
    const std::wstring& Path() const { return m_path; }

private:
    std::wstring m_path;
    bool m_own;
};

TEST(ResourceStringsTest, a_locale_option_chooses_one_of_the_ten_languages)
{
    CDebuggingKey none;   // never created: no overrides
    struct {
        const wchar_t* option;
        LANGID id;
        const wchar_t* name;
    } cases[] = {
        {L"en-us", 0x409, L"en-us"}, {L"en-gb", 0x409, L"en-us"}, {L"de", 0x407, L"de"}, {L"de-at", 0x407, L"de"},
        {L"DE", 0x407, L"de"}, {L"es", 0xC0A, L"es"}, {L"es-mx", 0xC0A, L"es"}, {L"es-es", 0x40A, L"es-es"},
        {L"ES-ES", 0x40A, L"es-es"}, {L"ca-es", 0x40A, L"es-es"}, {L"eu-es", 0x40A, L"es-es"},
        {L"gl-es", 0x40A, L"es-es"}, {L"ca", 0x409, L"en-us"}, {L"ca-ad", 0x409, L"en-us"}, {L"fr", 0x40C, L"fr"},
        {L"fr-ca", 0x40C, L"fr"}, {L"it-it", 0x410, L"it"}, {L"ko-kr", 0x412, L"ko"}, {L"pt-pt", 0x416, L"pt-br"},
        {L"pt-br", 0x416, L"pt-br"}, {L"zh-cn", 0x804, L"zh-cn"}, {L"zh-tw", 0x404, L"zh"}, {L"zh-sg", 0x404, L"zh"},
        {L"zh", 0x404, L"zh"}, {L"ja-jp", 0x409, L"en-us"}, {L"x", 0x409, L"en-us"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.option);
        CResourceStrings strings(c.option, none.Path());
        EXPECT_EQ(c.id, strings.GetLangId());
        EXPECT_EQ(c.name, strings.GetLanguageName());
    }
}

TEST(ResourceStringsTest, without_an_option_the_user_locale_or_its_override_decides)
{
    CDebuggingKey key;
    std::wstring user = CResourceStrings::GetUserLocaleName();
    EXPECT_FALSE(user.empty());
    for (wchar_t c : user)
        EXPECT_FALSE(c >= L'A' && c <= L'Z') << "not lower case: " << std::string(user.begin(), user.end());
    std::wstring expectedName;
    LANGID expected = CResourceStrings::ChooseUiLocale(user, expectedName, false, key.Path());
    EXPECT_EQ(expected, CResourceStrings(L"", key.Path()).GetLangId());

    key.Set(L"LocaleName", L"it-ch");
    EXPECT_EQ(0x410, CResourceStrings(L"", key.Path()).GetLangId());
    EXPECT_EQ(0x407, CResourceStrings(L"de", key.Path()).GetLangId());     // an option ignores LocaleName
    key.Set(L"LocaleName", L"");
    EXPECT_EQ(expected, CResourceStrings(L"", key.Path()).GetLangId());    // empty: no override

    // Without an option, Chinese follows the sub-language of the UI language.
    key.Set(L"LocaleName", L"zh-cn");
    int sub = GetUserDefaultUILanguage() >> 10;
    EXPECT_EQ(sub == 2 || sub == 4 ? 0x804 : 0x404, CResourceStrings(L"", key.Path()).GetLangId());
}

TEST(ResourceStringsTest, resource_locale_override_makes_every_choice)
{
    CDebuggingKey key;
    key.Set(L"ResourceLocaleOverride", L"FR-fr");
    for (const wchar_t* option : {L"", L"de", L"zh-cn", L"en-us"}) {
        SCOPED_TRACE(option);
        CResourceStrings strings(option, key.Path());
        EXPECT_EQ(0x40C, strings.GetLangId());
        EXPECT_EQ(L"fr", strings.GetLanguageName());
    }
    key.Set(L"ResourceLocaleOverride", L"", REG_DWORD);      // another type: no override
    EXPECT_EQ(0x407, CResourceStrings(L"de", key.Path()).GetLangId());
}

TEST(ResourceStringsTest, the_maker_debugging_key_is_the_one_read_by_default)
{
    CDebuggingKey real(L"SOFTWARE\\Larchmeadow\\Debugging");
    real.Set(L"ResourceLocaleOverride", L"ko-kr");
    LANGID chosen = CResourceStrings(L"de").GetLangId();
    real.Delete(L"ResourceLocaleOverride");
    EXPECT_EQ(0x412, chosen);
}

TEST(ResourceStringsTest, every_string_id_exists_in_the_ten_languages)
{
    CDebuggingKey none;
    const wchar_t* options[] = {L"en-us", L"de", L"es", L"es-es", L"fr", L"it", L"ko", L"pt", L"zh-cn", L"zh-tw"};
    std::wstring checking[10];
    for (int i = 0; i < 10; ++i) {
        SCOPED_TRACE(options[i]);
        CResourceStrings strings(options[i], none.Path());
        for (UINT id = IDS_UPDATER_CAPTION; id <= IDS_UPDATER_NOTIFY; ++id)
            EXPECT_FALSE(strings.LoadString(id).empty()) << id;
        EXPECT_TRUE(strings.LoadString(100).empty());
        EXPECT_TRUE(strings.LoadString(108).empty());
        checking[i] = strings.LoadString(IDS_UPDATER_CHECKING);
        for (int j = 0; j < i; ++j)
            EXPECT_NE(checking[j], checking[i]) << options[j];  // each language has its own text
    }
}

TEST(ResourceStringsTest, english_texts_are_the_product_texts)
{
    CResourceStrings strings(L"en-us", CDebuggingKey().Path());
    EXPECT_EQ(L"Update", strings.LoadString(IDS_UPDATER_CAPTION));
    EXPECT_EQ(L"Checking for updates...", strings.LoadString(IDS_UPDATER_CHECKING));
    EXPECT_EQ(L"Downloading update...", strings.LoadString(IDS_UPDATER_DOWNLOADING));
    EXPECT_EQ(L"Applying update...", strings.LoadString(IDS_UPDATER_APPLYING));
    EXPECT_EQ(L"There is an update available. Would you like to receive it?", strings.LoadString(IDS_UPDATER_PROMPT));
    EXPECT_EQ(L"Sorry, a check for updates is needed. Please connect to the Internet and try again.",
              strings.LoadString(IDS_UPDATER_OFFLINE));
    EXPECT_EQ(L"An update is needed to show this web page. After the update, you will be returned to the web page.",
              strings.LoadString(IDS_UPDATER_NOTIFY));
    EXPECT_EQ(L"\uC5C5\uB370\uC774\uD2B8", CResourceStrings(L"ko", CDebuggingKey().Path()).LoadString(101));
    EXPECT_EQ(L"Mise \u00E0 jour", CResourceStrings(L"fr", CDebuggingKey().Path()).LoadString(101));
}

} // namespace
