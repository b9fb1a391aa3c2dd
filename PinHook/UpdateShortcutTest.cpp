// PinHook.exe's exit code and effect for each number of command-line arguments.
#include "PinHook/UpdateShortcut.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "PinHook/PinHookTestRun.h"
#include "TestShellLinks.h"
#include "TestSupport.h"

namespace {

using LmTest::Quoted;
using LmTest::ShellLinkData;

enum class Effect { Untouched, Cleared, Branded };

struct ArgumentCase {
    const char* name;
    int count;            // arguments after the program name
    unsigned exitCode;
    Effect effect;
};

void PrintTo(const ArgumentCase& c, std::ostream* out) { *out << c.name; }

const ArgumentCase kCases[] = {
    {"none", 0, 1, Effect::Untouched},
    {"link_only_clears", 1, 0, Effect::Cleared},
    {"link_and_module_only", 2, 1, Effect::Untouched},
    {"link_module_icon_brands", 3, 0, Effect::Branded},
    {"with_tag_brands", 4, 0, Effect::Branded},
    {"with_more_than_a_tag_brands", 5, 0, Effect::Branded},
};

class UpdateShortcutArguments : public ::testing::TestWithParam<ArgumentCase> {
protected:
    LmTest::ComApartment com_;
    LmTest::ScratchFolder folder_{L"lmpinhook"};
};

TEST_P(UpdateShortcutArguments, exit_code_and_effect_follow_the_argument_count)
{
    const ArgumentCase& c = GetParam();
    const std::wstring link = folder_ / L"Larchmeadow Games.lnk";
    const std::wstring module = LmTest::PinHookPath();
    const std::wstring icon = folder_ / L"Larchmeadow Games.ico";
    ShellLinkData original;
    original.target = L"C:\\windows\\system32\\notepad.exe";
    original.description = L"Old description";
    original.iconPath = L"C:\\windows\\system32\\shell32.dll";
    original.iconIndex = 2;
    ASSERT_TRUE(LmTest::CreateShellLink(link, original));

    const std::wstring all[] = {Quoted(link), Quoted(module), Quoted(icon), L"DT", L"extra"};
    std::wstring arguments;
    for (int i = 0; i < c.count; ++i)
        arguments += (i ? L" " : L"") + all[i];

    LmTest::RunResult run = LmTest::RunPinHook(arguments);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(c.exitCode, run.exitCode);

    ShellLinkData after;
    ASSERT_TRUE(LmTest::ReadShellLink(link, after));
    EXPECT_EQ(original.target, after.target);
    switch (c.effect) {
    case Effect::Untouched:
        EXPECT_EQ(original.description, after.description);
        EXPECT_EQ(original.iconPath, after.iconPath);
        EXPECT_EQ(original.iconIndex, after.iconIndex);
        break;
    case Effect::Cleared:
        EXPECT_EQ(L"", after.description);
        EXPECT_EQ(L"", after.iconPath);
        break;
    case Effect::Branded:
        EXPECT_EQ(L"@" + module + L",-107", after.description);
        EXPECT_EQ(icon, after.iconPath);
        EXPECT_EQ(0, after.iconIndex);
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(Counts, UpdateShortcutArguments, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ArgumentCase>& info) { return std::string(info.param.name); });

// The counts that do nothing return before any COM or shell call, in the process itself too.
TEST(UpdateShortcut, wrong_counts_return_failure_without_touching_anything)
{
    const wchar_t* argv[] = {L"PinHook.exe", L"C:\\nowhere\\missing.lnk", L"C:\\nowhere\\module.exe", nullptr};
    EXPECT_EQ(1u, Lm::PinHook::UpdateShortcut(1, argv));
    EXPECT_EQ(1u, Lm::PinHook::UpdateShortcut(3, argv));
    EXPECT_EQ(1u, Lm::PinHook::UpdateShortcut(0, argv));
}

} // namespace
