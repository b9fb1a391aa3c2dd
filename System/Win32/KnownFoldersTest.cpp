#include "System/Win32/KnownFolders.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "System/Win32/Handle.h"
#include "TestSupport.h"

using namespace Lm::System::Win32;

namespace {

// No folder is registered under this id.
const KNOWNFOLDERID kUnknownFolder = {0x6f1e0b7d, 0x4a2c, 0x4c51, {0x9e, 0x13, 0x55, 0x0a, 0xde, 0x21, 0x77, 0x0c}};

TEST(KnownFoldersTest, unknown_folder_id_gives_an_empty_text)
{
    EXPECT_EQ(L"", GetKnownFolderPath(kUnknownFolder));
}

TEST(KnownFoldersTest, shell_folders_are_found)
{
    const std::wstring programFiles = GetProgramFilesX86Path();
    EXPECT_FALSE(programFiles.empty());
    EXPECT_TRUE(LmTest::DirectoryExists(programFiles)) << programFiles;
    EXPECT_EQ(GetKnownFolderPath(FOLDERID_RoamingAppData), GetRoamingAppDataPath());
    EXPECT_EQ(GetRoamingAppDataKnownFolder(nullptr), GetRoamingAppDataPath(nullptr));
    EXPECT_FALSE(GetRoamingAppDataPath().empty());
    EXPECT_EQ(GetKnownFolderPath(FOLDERID_ProgramData), GetProgramDataPath());
    EXPECT_EQ(GetProgramDataPath(), GetCommonAppDataPath());
}

struct MakerCase {
    int index;
    std::wstring folder;
};

class MakerFolderTest : public testing::TestWithParam<MakerCase> {};

TEST_P(MakerFolderTest, maker_folders_lie_below_program_data)
{
    const MakerCase& c = GetParam();
    EXPECT_EQ(c.folder, GetMakerFolderName(c.index));
    const std::wstring expected = c.folder.empty() ? GetProgramDataPath() : GetProgramDataPath() + L"\\" + c.folder;
    EXPECT_EQ(expected, GetMakerDataFolder(c.index));
}

INSTANTIATE_TEST_SUITE_P(Indexes, MakerFolderTest,
                         testing::Values(MakerCase{0, L"Larchmeadow"},
                                         MakerCase{1, L"Larchmeadow\\Larchmeadow Games\\App"},
                                         MakerCase{2, L"Larchmeadow\\Larchmeadow Games\\Integration"},
                                         MakerCase{3, L""}, MakerCase{-1, L""}));

TEST(KnownFoldersTest, program_data_sub_path_is_combined)
{
    EXPECT_EQ(GetProgramDataPath() + L"\\A\\b.ini", GetProgramDataSubPath(L"A\\b.ini"));
}

TEST(KnownFoldersTest, module_path_splits_into_folder_with_backslash_and_name)
{
    const std::wstring path = GetModulePath();
    const std::wstring folder = GetModuleDirectory();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(L'\\', folder[folder.size() - 1]);
    EXPECT_EQ(LmTest::TestDir(), folder);
    EXPECT_EQ(L"LmSystemTests.exe", GetModuleFileNameOnly());
    EXPECT_EQ(folder + GetModuleFileNameOnly(), path);
}

TEST(KnownFoldersTest, full_access_descriptor_grants_all_to_system_admins_and_everyone)
{
    CLocalMemory descriptor(CreateFullAccessSecurityDescriptor());
    ASSERT_TRUE(descriptor.IsValid());
    LPWSTR text = nullptr;
    ASSERT_TRUE(::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.Get(), SDDL_REVISION_1,
                                                                      DACL_SECURITY_INFORMATION, &text, nullptr));
    CLocalMemory textOwner(text);
    EXPECT_EQ(L"D:P(A;OICI;GA;;;SY)(A;OICI;GA;;;BA)(A;OICI;GA;;;WD)", std::wstring(text));
}

TEST(KnownFoldersTest, full_access_descriptor_applies_to_a_new_folder)
{
    LmTest::ScratchFolder scratch(L"lmsd");
    CLocalMemory descriptor(CreateFullAccessSecurityDescriptor());
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.Get(), FALSE};
    const std::wstring folder = scratch / L"shared";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), &attributes));
    EXPECT_TRUE(LmTest::DirectoryExists(folder));
}

// A desktop of the shell's window classes in this process: the "Program Manager" window, its
// shell view and, when wanted, the view's list, whose posted key messages are what the desktop
// would take as the user's F5.
class FakeDesktop {
public:
    explicit FakeDesktop(bool withList)
    {
        for (const wchar_t* name : {L"Progman", L"SHELLDLL_DefView", L"SysListView32"}) {
            WNDCLASSW windowClass = {};
            windowClass.lpfnWndProc = DefWindowProcW;
            windowClass.hInstance = GetModuleHandleW(nullptr);
            windowClass.lpszClassName = name;
            RegisterClassW(&windowClass);
        }
        m_progman = CreateWindowExW(0, L"Progman", L"Program Manager", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
        m_view = CreateWindowExW(0, L"SHELLDLL_DefView", L"", WS_CHILD, 0, 0, 10, 10, m_progman, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        if (withList)
            m_list = CreateWindowExW(0, L"SysListView32", L"", WS_CHILD, 0, 0, 10, 10, m_view, nullptr,
                                     GetModuleHandleW(nullptr), nullptr);
    }
    ~FakeDesktop()
    {
        if (m_progman)
            DestroyWindow(m_progman);
    }
    bool Made(bool withList) const { return m_progman && m_view && (!withList || m_list); }

    // The key messages waiting for any of the desktop's windows, as "down 116 0" / "up 116 80000000".
    std::vector<std::string> TakeKeyMessages()
    {
        std::vector<std::string> keys;
        MSG message;
        while (PeekMessageW(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
            if (message.hwnd != m_list && message.hwnd != m_view && message.hwnd != m_progman)
                continue;
            char text[64];
            snprintf(text, sizeof(text), "%s %u %lx", message.message == WM_KEYDOWN ? "down" : message.message == WM_KEYUP ? "up" : "other",
                     static_cast<unsigned>(message.wParam), static_cast<unsigned long>(message.lParam));
            keys.push_back(std::string(message.hwnd == m_list ? "list " : "elsewhere ") + text);
        }
        return keys;
    }

private:
    HWND m_progman = nullptr;
    HWND m_view = nullptr;
    HWND m_list = nullptr;
};

TEST(KnownFoldersTest, refresh_desktop_presses_f5_on_the_desktops_list_and_stops_quietly_without_one)
{
    if (FindWindowW(L"Progman", L"Program Manager"))
        GTEST_SKIP() << "a desktop shell runs here; its list is not this test's to press keys on";
    {
        FakeDesktop desktop(true);
        ASSERT_TRUE(desktop.Made(true));
        RefreshDesktop();
        EXPECT_EQ((std::vector<std::string>{"list down 116 0", "list up 116 80000000"}), desktop.TakeKeyMessages());
    }
    {
        // A shell view without its list: nothing to press, and nothing goes anywhere else.
        FakeDesktop desktop(false);
        ASSERT_TRUE(desktop.Made(false));
        RefreshDesktop();
        EXPECT_TRUE(desktop.TakeKeyMessages().empty());
    }
    // No desktop at all.
    RefreshDesktop();
}

} // namespace
