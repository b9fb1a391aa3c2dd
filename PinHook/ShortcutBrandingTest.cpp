// PinHook.exe branding and clearing real links in the test prefix, read back through the shell.
#include "PinHook/ShortcutBranding.h"

#include <propsys.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>

#include "PinHook/PinHookTestRun.h"
#include "TestShellLinks.h"
#include "TestSupport.h"

namespace {

using LmTest::ShellLinkData;

using LmTest::Quoted;

class ShortcutBrandingTest : public ::testing::Test {
protected:
    // A link to a program of the test prefix, with arguments, description and icon of its own.
    ShellLinkData Original() const
    {
        ShellLinkData data;
        data.target = L"C:\\windows\\system32\\notepad.exe";
        data.arguments = L"/dp=larchplay /from \"desktop link\"";
        data.workingFolder = L"C:\\windows";
        data.description = L"Old description";
        data.iconPath = L"C:\\windows\\system32\\shell32.dll";
        data.iconIndex = 3;
        return data;
    }

    std::wstring MakeLink(const std::wstring& name)
    {
        std::wstring path = folder_ / name;
        EXPECT_TRUE(LmTest::CreateShellLink(path, Original())) << "could not create " << std::string(path.begin(), path.end());
        return path;
    }

    ShellLinkData Read(const std::wstring& path)
    {
        ShellLinkData data;
        EXPECT_TRUE(LmTest::ReadShellLink(path, data));
        return data;
    }

    LmTest::RunResult Run(const std::wstring& arguments) { return LmTest::RunPinHook(arguments); }

    LmTest::ComApartment com_;
    LmTest::ScratchFolder folder_{L"lmpinhook"};
};

TEST_F(ShortcutBrandingTest, brand_sets_description_reference_and_icon_and_keeps_target)
{
    ASSERT_TRUE(CreateDirectoryW((folder_ / L"Start Menu Programs").c_str(), nullptr));
    const std::wstring link = MakeLink(L"Start Menu Programs\\Larchmeadow Games.lnk");
    const std::wstring module = LmTest::PinHookPath();
    const std::wstring icon = folder_ / L"Larchmeadow Games.ico";

    LmTest::RunResult run = Run(Quoted(link) + L" " + Quoted(module) + L" " + Quoted(icon) + L" S8");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);

    ShellLinkData after = Read(link);
    EXPECT_EQ(L"@" + module + L",-107", after.description);
    EXPECT_EQ(icon, after.iconPath);
    EXPECT_EQ(0, after.iconIndex);
    EXPECT_EQ(Original().target, after.target);
    EXPECT_EQ(Original().arguments, after.arguments);
    EXPECT_EQ(Original().workingFolder, after.workingFolder);
}

TEST_F(ShortcutBrandingTest, clear_empties_description_and_icon_and_keeps_target)
{
    const std::wstring link = MakeLink(L"Larchmeadow Games.lnk");

    LmTest::RunResult run = Run(Quoted(link));
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);

    ShellLinkData after = Read(link);
    EXPECT_EQ(L"", after.description);
    EXPECT_EQ(L"", after.iconPath);
    EXPECT_EQ(Original().target, after.target);
    EXPECT_EQ(Original().arguments, after.arguments);
}

TEST_F(ShortcutBrandingTest, branded_description_resolves_to_the_modules_infotip)
{
    const std::wstring link = MakeLink(L"Larchmeadow Games.lnk");
    const std::wstring module = LmTest::PinHookPath();
    LmTest::RunResult run = Run(Quoted(link) + L" " + Quoted(module) + L" " + Quoted(module) + L" DT");
    ASSERT_TRUE(run.finished);
    ASSERT_EQ(0u, run.exitCode);

    // What the shell shows as the link's infotip: the description's resource reference resolved.
    wchar_t shown[512] = {};
    ASSERT_EQ(S_OK, SHLoadIndirectString(Read(link).description.c_str(), shown, 512, nullptr));
    HMODULE resources = LoadLibraryExW(module.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, resources);
    wchar_t expected[512] = {};
    EXPECT_GT(LoadStringW(resources, 107, expected, 512), 0);
    FreeLibrary(resources);
    EXPECT_STREQ(expected, shown);
}

// Where the shell keeps the branding that Wine does not record (a property store for links, the
// localized name in desktop.ini), the values are checked; elsewhere the test says what it saw.
TEST_F(ShortcutBrandingTest, brand_stamps_user_model_id_and_localized_name_where_the_shell_keeps_them)
{
    const std::wstring link = MakeLink(L"Larchmeadow Games.lnk");
    const std::wstring module = LmTest::PinHookPath();
    LmTest::RunResult run = Run(Quoted(link) + L" " + Quoted(module) + L" " + Quoted(module));
    ASSERT_TRUE(run.finished);
    ASSERT_EQ(0u, run.exitCode);

    IPropertyStore* store = nullptr;
    HRESULT hr = SHGetPropertyStoreFromParsingName(link.c_str(), nullptr, GPS_DEFAULT, IID_IPropertyStore,
                                                   reinterpret_cast<void**>(&store));
    if (SUCCEEDED(hr)) {
        // PKEY_AppUserModel_ID
        const PROPERTYKEY key = {{0x9F4C2855, 0x9F79, 0x4B39, {0xA8, 0xD0, 0xE1, 0xD4, 0x2D, 0xE1, 0xD5, 0xF3}}, 5};
        PROPVARIANT value;
        PropVariantInit(&value);
        EXPECT_EQ(S_OK, store->GetValue(key, &value));
        ASSERT_EQ(VT_LPWSTR, value.vt);
        EXPECT_STREQ(L"Larchmeadow.Playdeck", value.pwszVal);
        PropVariantClear(&value);
        store->Release();
    } else {
        std::printf("no property store for links here (0x%08lX): user-model id not visible\n", hr);
    }

    const std::wstring ini = folder_ / L"desktop.ini";
    if (LmTest::FileExists(ini)) {
        wchar_t name[1024] = {};
        GetPrivateProfileStringW(L"LocalizedFileNames", L"Larchmeadow Games.lnk", L"", name, 1024, ini.c_str());
        EXPECT_EQ(L"@" + module + L",-105", std::wstring(name));

        run = Run(Quoted(link));
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(0u, run.exitCode);
        GetPrivateProfileStringW(L"LocalizedFileNames", L"Larchmeadow Games.lnk", L"", name, 1024, ini.c_str());
        EXPECT_STREQ(L"", name);
    } else {
        std::printf("the shell recorded no localized name: desktop.ini not written\n");
    }
}

// Modes on a file the shell cannot load as a link, and on a path where no file is.
struct OddPathCase {
    const char* name;
    bool fileExists;
    bool brand;
};

void PrintTo(const OddPathCase& c, std::ostream* out) { *out << c.name; }

class ShortcutBrandingOddPath : public ::testing::TestWithParam<OddPathCase> {
protected:
    LmTest::ScratchFolder folder_{L"lmpinhook"};
};

TEST_P(ShortcutBrandingOddPath, succeeds_and_leaves_the_file_as_it_was)
{
    const std::wstring path = folder_ / L"notes.lnk";
    const std::wstring content = L"not a shell link";
    if (GetParam().fileExists)
        LmTest::WriteFileUtf8(path, content);
    const std::wstring module = LmTest::PinHookPath();
    std::wstring arguments = Quoted(path);
    if (GetParam().brand)
        arguments += L" " + Quoted(module) + L" " + Quoted(module);

    LmTest::RunResult run = LmTest::RunPinHook(arguments);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    if (GetParam().fileExists)
        EXPECT_EQ(content, LmTest::ReadFileUtf8(path));
    else
        EXPECT_FALSE(LmTest::FileExists(path));
}

const OddPathCase kOddPaths[] = {
    {"brand_not_a_link", true, true},
    {"clear_not_a_link", true, false},
    {"brand_missing_file", false, true},
    {"clear_missing_file", false, false},
};

INSTANTIATE_TEST_SUITE_P(Paths, ShortcutBrandingOddPath, ::testing::ValuesIn(kOddPaths),
                         [](const ::testing::TestParamInfo<OddPathCase>& info) { return std::string(info.param.name); });

// The desktop.ini of the link's folder after a run: a read-only one is read-only again with its
// other attributes, a writable one stays writable, and one the shell creates is left read-only.
enum class IniBefore { Missing, Writable, ReadOnly };

struct DesktopIniCase {
    const char* name;
    IniBefore before;
    bool brand;
};

void PrintTo(const DesktopIniCase& c, std::ostream* out) { *out << c.name; }

class ShortcutBrandingDesktopIni : public ShortcutBrandingTest,
                                   public ::testing::WithParamInterface<DesktopIniCase> {};

TEST_P(ShortcutBrandingDesktopIni, read_only_rule_holds_after_the_run)
{
    const DWORD shellAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
    const std::wstring ini = folder_ / L"desktop.ini";
    const std::wstring link = MakeLink(L"Larchmeadow Games.lnk");
    if (GetParam().before != IniBefore::Missing) {
        LmTest::WriteFileUtf8(ini, L"[.ShellClassInfo]\r\n");
        const DWORD attributes =
            shellAttributes | (GetParam().before == IniBefore::ReadOnly ? FILE_ATTRIBUTE_READONLY : 0);
        ASSERT_TRUE(SetFileAttributesW(ini.c_str(), attributes));
    }
    const std::wstring module = LmTest::PinHookPath();
    std::wstring arguments = Quoted(link);
    if (GetParam().brand)
        arguments += L" " + Quoted(module) + L" " + Quoted(module) + L" S8";

    LmTest::RunResult run = Run(arguments);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);

    const DWORD after = GetFileAttributesW(ini.c_str());
    switch (GetParam().before) {
    case IniBefore::ReadOnly:
        EXPECT_EQ(shellAttributes | FILE_ATTRIBUTE_READONLY, after);
        break;
    case IniBefore::Writable:
        EXPECT_EQ(shellAttributes, after);
        break;
    case IniBefore::Missing:
        // Windows creates the file for the localized name and PinHook marks it read-only;
        // Wine records no localized name, so no file appears. Nothing else may appear.
        if (after != INVALID_FILE_ATTRIBUTES) {
            EXPECT_TRUE(GetParam().brand) << "clearing created a desktop.ini";
            EXPECT_EQ(0u, after & FILE_ATTRIBUTE_DIRECTORY);
            EXPECT_NE(0u, after & FILE_ATTRIBUTE_READONLY);
        }
        break;
    }
}

const DesktopIniCase kDesktopIniCases[] = {
    {"brand_read_only", IniBefore::ReadOnly, true},
    {"clear_read_only", IniBefore::ReadOnly, false},
    {"brand_writable", IniBefore::Writable, true},
    {"clear_writable", IniBefore::Writable, false},
    {"brand_missing", IniBefore::Missing, true},
    {"clear_missing", IniBefore::Missing, false},
};

INSTANTIATE_TEST_SUITE_P(States, ShortcutBrandingDesktopIni, ::testing::ValuesIn(kDesktopIniCases),
                         [](const ::testing::TestParamInfo<DesktopIniCase>& info) { return std::string(info.param.name); });

TEST(ShortcutBrandingDescription, is_a_resource_reference_to_the_infotip_of_any_length)
{
    EXPECT_EQ(L"@C:\\Program Files (x86)\\Larchmeadow Games\\PinHook.exe,-107",
              Lm::PinHook::CShortcutBranding::DescriptionFor(L"C:\\Program Files (x86)\\Larchmeadow Games\\PinHook.exe"));
    const std::wstring longModule = L"C:\\" + std::wstring(1200, L'm') + L"\\PinHook.exe";
    EXPECT_EQ(L"@" + longModule + L",-107", Lm::PinHook::CShortcutBranding::DescriptionFor(longModule));
}

} // namespace
