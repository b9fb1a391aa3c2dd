// The resources of the built PinHook.exe: its string table in every language the shell may ask
// for, and its manifest.
#include "PinHook/PinHookContract.h"

#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <string>

#include "PinHook/PinHookTestRun.h"
#include "TestSupport.h"

namespace {

// PinHook.exe loaded as a data file: its resources only, no code runs.
class ResourceModule {
public:
    ResourceModule()
        : module_(LoadLibraryExW(LmTest::PinHookPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~ResourceModule() { if (module_) FreeLibrary(module_); }
    ResourceModule(const ResourceModule&) = delete;
    ResourceModule& operator=(const ResourceModule&) = delete;
    HMODULE Get() const { return module_; }
private:
    HMODULE module_;
};

// String <id> of the given language, read from its string block as the shell's loader does:
// block (id / 16) + 1 holds 16 counted strings.
bool FindString(HMODULE module, UINT id, LANGID language, std::wstring& text)
{
    HRSRC resource = FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), language);
    if (!resource)
        return false;
    HGLOBAL loaded = LoadResource(module, resource);
    const WCHAR* p = loaded ? static_cast<const WCHAR*>(LockResource(loaded)) : nullptr;
    if (!p)
        return false;
    for (UINT i = 0; i < id % 16; ++i)
        p += 1 + *p;
    text.assign(p + 1, *p);
    return true;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR found)
{
    reinterpret_cast<std::set<LANGID>*>(found)->insert(language);
    return TRUE;
}

struct LanguageText {
    LANGID language;
    const wchar_t* description;
};

const LanguageText kDescriptions[] = {
    {1033, L"Play hundreds of free games right from your desktop."},
    {2057, L"Play hundreds of free games right from your desktop."},
    {1031, L"Spielen Sie Hunderte von kostenlosen Spielen direkt auf Ihrem Desktop."},
    {1036, L"Jouez gratuitement \u00e0 des centaines de jeux sur votre ordinateur de bureau."},
    {1040, L"Sessioni gratuite di centinaia di giochi direttamente dal desktop."},
    {1034, L"\u00a1Juegas m\u00e1s de cien juegos gratis en tu computador!"},
    {3082, L"\u00a1Juega a cientos de juegos gratis en tu ordenador!"},
    {1027, L"\u00a1Juega a cientos de juegos gratis en tu ordenador!"},
    {1069, L"\u00a1Juega a cientos de juegos gratis en tu ordenador!"},
    {1110, L"\u00a1Juega a cientos de juegos gratis en tu ordenador!"},
    {1046, L"Jogue centenas de jogos gratuitos direto da sua \u00e1rea de trabalho."},
    {2070, L"Jogue centenas de jogos gratuitos direto da sua \u00e1rea de trabalho."},
    {1042, L"\ucef4\ud4e8\ud130\uc5d0\uc11c \uc218\ubc31 \uac00\uc9c0 \ubb34\ub8cc \uac8c\uc784\uc744 "
           L"\ud50c\ub808\uc774\ud558\uc2ed\uc2dc\uc624."},
    {1028, L"\u76f4\u63a5\u5728\u96fb\u8166\u4e0a\u66a2\u73a9\u6578\u4ee5\u767e\u8a08\u7684\u514d\u8cbb"
           L"\u904a\u6232\u3002"},
    {2052, L"\u5728\u8ba1\u7b97\u673a\u4e0a\u7545\u73a9\u6570\u767e\u6b3e\u6e38\u620f\u3002"},
};

void PrintTo(const LanguageText& entry, std::ostream* out) { *out << "language " << entry.language; }

class PinHookStringTable : public ::testing::TestWithParam<LanguageText> {};

TEST_P(PinHookStringTable, holds_display_name_and_description_in_the_language)
{
    ResourceModule module;
    ASSERT_NE(nullptr, module.Get());
    std::wstring name, description;
    ASSERT_TRUE(FindString(module.Get(), IDS_PINHOOK_DISPLAY_NAME, GetParam().language, name));
    ASSERT_TRUE(FindString(module.Get(), IDS_PINHOOK_DESCRIPTION, GetParam().language, description));
    EXPECT_EQ(L"Larchmeadow Games", name);
    EXPECT_EQ(GetParam().description, description);
}

INSTANTIATE_TEST_SUITE_P(Languages, PinHookStringTable, ::testing::ValuesIn(kDescriptions),
                         [](const ::testing::TestParamInfo<LanguageText>& info) {
                             return "lang" + std::to_string(info.param.language);
                         });

TEST(PinHookResources, string_block_exists_in_exactly_the_fifteen_languages)
{
    ResourceModule module;
    ASSERT_NE(nullptr, module.Get());
    std::set<LANGID> found;
    EnumResourceLanguagesW(module.Get(), RT_STRING, MAKEINTRESOURCEW(IDS_PINHOOK_DESCRIPTION / 16 + 1),
                           CollectLanguage, reinterpret_cast<LONG_PTR>(&found));
    std::set<LANGID> expected;
    for (const LanguageText& entry : kDescriptions)
        expected.insert(entry.language);
    EXPECT_EQ(15u, expected.size());
    EXPECT_EQ(expected, found);
}

TEST(PinHookResources, strings_load_in_the_user_language_as_the_shell_loads_them)
{
    ResourceModule module;
    ASSERT_NE(nullptr, module.Get());
    wchar_t buffer[512] = {};
    ASSERT_GT(LoadStringW(module.Get(), IDS_PINHOOK_DISPLAY_NAME, buffer, 512), 0);
    EXPECT_STREQ(L"Larchmeadow Games", buffer);

    ASSERT_GT(LoadStringW(module.Get(), IDS_PINHOOK_DESCRIPTION, buffer, 512), 0);
    const std::wstring loaded = buffer;
    bool known = false;
    for (const LanguageText& entry : kDescriptions)
        known = known || loaded == entry.description;
    EXPECT_TRUE(known) << "string 107 is none of the table's texts";

    // The reference PinHook writes into a link's description resolves to that same string.
    const std::wstring reference = L"@" + LmTest::PinHookPath() + L",-107";
    ASSERT_EQ(S_OK, SHLoadIndirectString(reference.c_str(), buffer, 512, nullptr));
    EXPECT_EQ(loaded, buffer);
}

TEST(PinHookResources, manifest_runs_with_the_callers_rights)
{
    ResourceModule module;
    ASSERT_NE(nullptr, module.Get());
    HRSRC resource = FindResourceW(module.Get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));   // RT_MANIFEST
    ASSERT_NE(nullptr, resource);
    HGLOBAL loaded = LoadResource(module.Get(), resource);
    ASSERT_NE(nullptr, loaded);
    const std::string manifest(static_cast<const char*>(LockResource(loaded)), SizeofResource(module.Get(), resource));
    EXPECT_NE(std::string::npos, manifest.find("<requestedExecutionLevel level=\"asInvoker\""));
    EXPECT_EQ(std::string::npos, manifest.find("requireAdministrator"));
}

} // namespace
