// Uninstall.exe run for real in the test prefix: a touchpoint is laid down the way the Installer
// lays it down (files in the touchpoint folder, its uninstall entry, branded links on the public
// desktop and in the Start menu, a signed PinHook, and a signed stand-in for the main
// application's uninstaller with its uninstall entry), then the program is run and the registry
// views and folders are compared with what they held before.
//
// The touchpoint's places are fixed machine-wide paths, so the tests of this file take one named
// mutex and run one after the other even when CTest runs them in parallel.
#include <gtest/gtest.h>

#include "MachineSnapshot.h"
#include "TestProcess.h"
#include "TestRegistry.h"
#include "TestSupport.h"
#include "System/Win32/DebuggingContract.h"
#include "System/Win32/KnownFolders.h"
#include "Uninstaller/UninstallerContract.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <knownfolders.h>
#include <shobjidl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using Snapshot = LmTest::MachineSnapshot;
using LmTest::SnapshotFolder;
using LmTest::SnapshotKey;
using LmTest::RunningProcessesOf;

constexpr const wchar_t* kTouchpointMutexName = L"LmTest-LarchmeadowTouchpoint";
constexpr const wchar_t* kUninstallCaption = L"Larchmeadow Games App Uninstall";
constexpr const wchar_t* kUninstallSubKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const wchar_t* kRunOnceSubKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr const wchar_t* kTouchpointKeyName =
    L"{3C5E9A12-7B4D-4f21-8E6A-5D2B9C0F4E71}.Larchmeadow Games App-larchplay";
constexpr const wchar_t* kMainKeyName = L"{6A1D3F58-2E9C-4b07-A4D3-91C8E5B27F0A}.Larchmeadow Games App";
constexpr DWORD kRunTimeoutMs = 90000;

// The library's lookup: empty when the system has no such folder (Wine has no Quick Launch).
std::wstring KnownFolder(REFKNOWNFOLDERID id) { return Lm::System::Win32::GetKnownFolderPath(id); }

std::wstring TempFolder()
{
    wchar_t buffer[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    std::wstring path(buffer, n);
    if (!path.empty() && path.back() == L'\\')
        path.pop_back();
    return path;
}

std::wstring Lower(std::wstring text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return static_cast<wchar_t>(towlower(c)); });
    return text;
}

bool Contains(const std::wstring& text, const std::wstring& part)
{
    return Lower(text).find(Lower(part)) != std::wstring::npos;
}

// --- registry ---------------------------------------------------------------------------------

HKEY CreateKey(REGSAM view, const std::wstring& path)
{
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr);
    return key;
}

void SetString(REGSAM view, const std::wstring& path, const std::wstring& name, const std::wstring& value)
{
    HKEY key = CreateKey(view, path);
    ASSERT_NE(nullptr, key) << path;
    RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

void SetDword(REGSAM view, const std::wstring& path, const std::wstring& name, DWORD value)
{
    HKEY key = CreateKey(view, path);
    ASSERT_NE(nullptr, key) << path;
    RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    RegCloseKey(key);
}

bool KeyExists(REGSAM view, const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void DeleteTree(REGSAM view, const std::wstring& path)
{
    HKEY parent = nullptr;
    const size_t slash = path.rfind(L'\\');
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.substr(0, slash).c_str(), 0, KEY_ALL_ACCESS | view, &parent) !=
        ERROR_SUCCESS)
        return;
    RegDeleteTreeW(parent, path.substr(slash + 1).c_str());
    RegDeleteKeyExW(parent, path.substr(slash + 1).c_str(), view, 0);
    RegCloseKey(parent);
}

// Values of a key: name -> text form of the data.
std::map<std::wstring, std::wstring> ReadValues(REGSAM view, const std::wstring& path)
{
    return LmTest::SnapshotValues(view, path);
}

bool CopyTo(const std::wstring& source, const std::wstring& target)
{
    return CopyFileW(source.c_str(), target.c_str(), FALSE) != FALSE;
}

void MakeFolders(const std::wstring& path)
{
    SHCreateDirectoryExW(nullptr, path.c_str(), nullptr);
}

bool WriteLink(const std::wstring& link, const std::wstring& target, const std::wstring& arguments,
               const std::wstring& icon)
{
    IShellLinkW* shellLink = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&shellLink))))
        return false;
    shellLink->SetPath(target.c_str());
    shellLink->SetArguments(arguments.c_str());
    shellLink->SetIconLocation(icon.c_str(), 0);
    IPersistFile* file = nullptr;
    bool saved = false;
    if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        saved = SUCCEEDED(file->Save(link.c_str(), TRUE));
        file->Release();
    }
    shellLink->Release();
    return saved;
}

std::wstring LocalizedNameOf(const std::wstring& link)
{
    const size_t slash = link.rfind(L'\\');
    wchar_t buffer[1024] = {};
    GetPrivateProfileStringW(L"LocalizedFileNames", link.substr(slash + 1).c_str(), L"", buffer, 1024,
                             (link.substr(0, slash) + L"\\desktop.ini").c_str());
    return buffer;
}

// --- processes --------------------------------------------------------------------------------

void WaitForProcesses(const std::set<DWORD>& ids, DWORD timeoutMs)
{
    for (DWORD id : ids) {
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
        if (process) {
            WaitForSingleObject(process, timeoutMs);
            CloseHandle(process);
        }
    }
}

// A StandIn record: key=value lines, records separated by an empty line.
std::vector<std::map<std::wstring, std::wstring>> ReadStandInRecords(const std::wstring& path)
{
    std::vector<std::map<std::wstring, std::wstring>> records;
    std::map<std::wstring, std::wstring> current;
    std::wstring text = LmTest::ReadFileUtf8(path);
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L'\n', start);
        std::wstring line = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        if (line.empty()) {
            if (!current.empty())
                records.push_back(current);
            current.clear();
        } else {
            const size_t equals = line.find(L'=');
            if (equals != std::wstring::npos)
                current[line.substr(0, equals)] = line.substr(equals + 1);
        }
        if (end == std::wstring::npos)
            break;
        start = end + 1;
    }
    if (!current.empty())
        records.push_back(current);
    return records;
}

std::string Narrow(const std::wstring& text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], n, nullptr, nullptr);
    return bytes;
}

// --- the touchpoint ---------------------------------------------------------------------------

struct LayOptions {
    bool signedPinHook = true;        // false: the unsigned build output
    bool recordingPinHook = false;    // a signed stand-in that records its command lines instead
    bool mainApplication = true;      // the main application's uninstaller and its uninstall entry
    bool shortcutSettings = true;     // ProgramData\Larchmeadow\Shortcuts\Shortcuts.ini
};

class UninstallProgram : public testing::Test {
protected:
    void SetUp() override
    {
        // The build makes the signed stand-in, the signed PinHook and the box answerer for these
        // tests: without them nothing here is tested, which is a failure, not a skip.
        for (const wchar_t* tool : {L"uninstall-signed\\StandIn.exe", L"BoxAnswerer.exe", L"uninstall-signed\\PinHook.exe"})
            ASSERT_TRUE(LmTest::FileExists(LmTest::TestDir() + tool)) << "test tool not built: " << Narrow(tool);
        m_mutex = CreateMutexW(nullptr, FALSE, kTouchpointMutexName);
        ASSERT_NE(nullptr, m_mutex);
        // CTest gives each of these tests a Wine lane of its own (a prefix nobody else writes meanwhile);
        // the mutex guards a run by hand in one prefix, where other test programs lay a touchpoint down too.
        DWORD wait = WaitForSingleObject(m_mutex, 120000);
        ASSERT_TRUE(wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) << "touchpoint still in use by another test";
        m_owned = true;
        CoInitialize(nullptr);

        m_pf86 = KnownFolder(FOLDERID_ProgramFilesX86);
        m_publicDesktop = KnownFolder(FOLDERID_PublicDesktop);
        m_commonPrograms = KnownFolder(FOLDERID_CommonPrograms);
        m_programData = KnownFolder(FOLDERID_ProgramData);
        ASSERT_FALSE(m_pf86.empty());
        ASSERT_FALSE(m_publicDesktop.empty());
        ASSERT_FALSE(m_commonPrograms.empty());
        m_games = m_pf86 + L"\\Larchmeadow Games";
        m_touchpoints = m_games + L"\\Touchpoints";
        m_touchpoint = m_touchpoints + L"\\larchplay";
        m_app = m_games + L"\\App";
        m_startMenu = m_commonPrograms + L"\\Games";
        m_settings = m_programData + L"\\Larchmeadow\\Shortcuts";
        m_desktopLink = m_publicDesktop + L"\\Larchmeadow Games.lnk";
        m_startMenuLink = m_startMenu + L"\\Larchmeadow Games.lnk";
        m_log = std::make_unique<LmTest::ScratchFolder>(L"uninstall-log");
        SetEnvironmentVariableW(L"LM_STANDIN_LOG_DIR", m_log->Path().c_str());

        // Nothing of an earlier, interrupted run may remain.
        RemoveEverything();
        m_before = TakeSnapshot();
    }

    void TearDown() override
    {
        if (m_owned) {
            RemoveEverything();
            CoUninitialize();
            ReleaseMutex(m_mutex);
        }
        if (m_mutex)
            CloseHandle(m_mutex);
        SetEnvironmentVariableW(L"LM_STANDIN_LOG_DIR", nullptr);
    }

    static bool KeepLarchmeadowKey(const std::wstring& name) { return Contains(name, L"Larchmeadow"); }
    static bool KeepSelfCopyFolder(const std::wstring& name) { return _wcsnicmp(name.c_str(), L"pdtpu", 5) == 0; }

    Snapshot TakeSnapshot()
    {
        Snapshot s;
        for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
            const std::wstring label = view == KEY_WOW64_32KEY ? L"reg32" : L"reg64";
            SnapshotKey(view, label, kUninstallSubKey, s, KeepLarchmeadowKey);
            SnapshotKey(view, label, kRunOnceSubKey, s);
            SnapshotKey(view, label, L"SOFTWARE\\Larchmeadow", s, LmTest::KeepMakerSubKey);
        }
        s[L"dir|" + m_games] = LmTest::DirectoryExists(m_games) ? L"<folder>" : L"<none>";
        SnapshotFolder(m_games, s, true);
        SnapshotFolder(m_programData + L"\\Larchmeadow", s, false);
        SnapshotFolder(m_settings, s, true);
        SnapshotFolder(m_publicDesktop, s, false);
        SnapshotFolder(m_commonPrograms, s, false);
        SnapshotFolder(m_startMenu, s, true);
        SnapshotFolder(TempFolder(), s, false, KeepSelfCopyFolder);
        return s;
    }

    // Lays the touchpoint down as the Installer does, then notes the state.
    void LayTouchpoint(const LayOptions& options = LayOptions())
    {
        MakeFolders(m_touchpoint);
        ASSERT_TRUE(CopyTo(LmTest::Program(L"Uninstall.exe"), m_touchpoint + L"\\Uninstall.exe"));
        std::wstring pinHook = LmTest::TestDir() + L"uninstall-signed\\PinHook.exe";
        if (options.recordingPinHook)
            pinHook = LmTest::TestDir() + L"uninstall-signed\\StandIn.exe";
        else if (!options.signedPinHook)
            pinHook = LmTest::Program(L"PinHook.exe");
        ASSERT_TRUE(CopyTo(pinHook, m_touchpoint + L"\\PinHook.exe")) << Narrow(pinHook);
        LmTest::WriteFileUtf8(m_touchpoint + L"\\Application.ico", L"icon");
        ASSERT_TRUE(CopyTo(LmTest::Program(L"Uninstall.exe"), m_touchpoint + L"\\Restore.exe"));

        // The touchpoint's uninstall entry (32-bit view).
        const std::wstring entry = std::wstring(kUninstallSubKey) + L"\\" + kTouchpointKeyName;
        SetString(KEY_WOW64_32KEY, entry, L"Version", L"4.1.1.132");
        SetString(KEY_WOW64_32KEY, entry, L"DisplayName", L"Larchmeadow Games App");
        SetString(KEY_WOW64_32KEY, entry, L"DisplayIcon", m_touchpoint + L"\\Application.ico");
        SetString(KEY_WOW64_32KEY, entry, L"UninstallString", L"\"" + m_touchpoint + L"\\Uninstall.exe\"");
        SetString(KEY_WOW64_32KEY, entry, L"TouchpointInstallLocation", m_touchpoint);
        SetString(KEY_WOW64_32KEY, entry, L"Publisher", L"Larchmeadow");
        SetString(KEY_WOW64_32KEY, entry, L"DP", L"larchplay");
        SetDword(KEY_WOW64_32KEY, entry, L"NoModify", 1);
        SetDword(KEY_WOW64_32KEY, entry, L"NoRepair", 1);
        SetString(KEY_WOW64_32KEY, entry, L"InstallLocation", m_app);

        if (options.shortcutSettings) {
            MakeFolders(m_settings);
            LmTest::WriteFileUtf8(m_settings + L"\\Shortcuts.ini", L"[Main]\r\nDesktop=1\r\n");
        }

        // The main application and its own uninstaller (a signed stand-in) with its entry.
        if (options.mainApplication) {
            MakeFolders(m_app);
            ASSERT_TRUE(CopyTo(LmTest::TestDir() + L"uninstall-signed\\StandIn.exe", m_app + L"\\uninst.exe"));
            SetString(KEY_WOW64_32KEY, std::wstring(kUninstallSubKey) + L"\\" + kMainKeyName, L"UninstallString",
                      L"\"" + m_app + L"\\uninst.exe\" /uninstall");
        }

        // The two links, branded by PinHook as the Installer does (the desktop one with the tag DT,
        // the Start-menu one with S8). The Start-menu folder is created by the Installer.
        MakeFolders(m_startMenu);
        const std::wstring target = m_app + L"\\Playdeck-lm.exe";
        const std::wstring icon = m_touchpoint + L"\\Application.ico";
        ASSERT_TRUE(WriteLink(m_desktopLink, target, L"/src desktop /dp larchplay", icon));
        ASSERT_TRUE(WriteLink(m_startMenuLink, target, L"/src gamesmenu /dp larchplay", icon));
        if (!options.recordingPinHook) {
            const std::wstring brander = LmTest::TestDir() + L"uninstall-signed\\PinHook.exe";
            for (const auto& link : {std::make_pair(m_desktopLink, L"DT"), std::make_pair(m_startMenuLink, L"S8")}) {
                LmTest::RunResult run = LmTest::RunProgram(
                    brander, L"\"" + link.first + L"\" \"" + m_touchpoint + L"\\PinHook.exe\" \"" + icon + L"\" " +
                                 link.second, 30000, m_touchpoint);
                ASSERT_TRUE(run.finished);
                ASSERT_EQ(0u, run.exitCode);
            }
            m_brandedDesktopName = LocalizedNameOf(m_desktopLink);
            m_brandedStartMenuName = LocalizedNameOf(m_startMenuLink);
        }
        m_laid = TakeSnapshot();
        m_runOnceBefore = ReadValues(KEY_WOW64_64KEY, kRunOnceSubKey);
    }

    // Runs the installed Uninstall.exe (from the temporary folder, as a user's shell would run it
    // from wherever) and, when it hands over to its copy, waits for the copy as well.
    LmTest::RunResult RunUninstall(const std::wstring& arguments)
    {
        const std::set<DWORD> copiesBefore = LmTest::ProcessIdsNamed(L"Uninstaller.exe");
        LmTest::RunResult run =
            LmTest::RunProgram(m_touchpoint + L"\\Uninstall.exe", arguments, kRunTimeoutMs, TempFolder());
        WaitForSelfCopy(copiesBefore);
        return run;
    }

    HANDLE StartUninstall(const std::wstring& arguments)
    {
        return LmTest::StartProgram(m_touchpoint + L"\\Uninstall.exe", arguments, TempFolder());
    }

    // The copy's last act is its RunOnce value for its own folder: wait for a new such value, then
    // for the copy process to end.
    void WaitForSelfCopy(const std::set<DWORD>& copiesBefore)
    {
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < 20000) {
            if (!NewSelfCopyRunOnceValues().empty())
                break;
            if (LmTest::DirectoryExists(m_touchpoint) && !LmTest::FileExists(m_touchpoint + L"\\Uninstall.exe") &&
                LmTest::ProcessIdsNamed(L"Uninstaller.exe").empty())
                break;
            if (!LmTest::DirectoryExists(m_touchpoint) && LmTest::ProcessIdsNamed(L"Uninstaller.exe").empty() &&
                GetTickCount() - start > 5000)
                break;
            Sleep(100);
        }
        std::set<DWORD> copies = LmTest::ProcessIdsNamed(L"Uninstaller.exe");
        for (DWORD id : copiesBefore)
            copies.erase(id);
        WaitForProcesses(copies, 20000);
    }

    // RunOnce values (64-bit view) added since the touchpoint was laid down that remove a "pdtpu" folder.
    std::map<std::wstring, std::wstring> NewSelfCopyRunOnceValues()
    {
        std::map<std::wstring, std::wstring> found;
        for (const auto& value : ReadValues(KEY_WOW64_64KEY, kRunOnceSubKey))
            if (!m_runOnceBefore.count(value.first) && Contains(value.second, L"\\pdtpu-"))
                found.insert(value);
        return found;
    }

    std::vector<std::map<std::wstring, std::wstring>> MainUninstallerRuns()
    {
        return ReadStandInRecords(m_log->Path() + L"\\Uninstall.exe.log");
    }

    std::vector<std::map<std::wstring, std::wstring>> PinHookRuns()
    {
        return ReadStandInRecords(m_log->Path() + L"\\PinHook.exe.log");
    }

    // Answers the next box of the program with the given button; returns what the box said.
    std::map<std::wstring, std::wstring> AnswerBox(const std::wstring& button)
    {
        const std::wstring out = m_log->Path() + L"\\box-" + LmTest::UniqueName(L"") + L".txt";
        LmTest::RunResult run = LmTest::RunProgram(
            LmTest::TestDir() + L"BoxAnswerer.exe",
            L"/caption \"" + std::wstring(kUninstallCaption) + L"\" /button " + button + L" /timeout 30000 /out \"" + out + L"\"",
            60000);
        std::map<std::wstring, std::wstring> box;
        if (!run.finished || run.exitCode != 0)
            return box;
        auto records = ReadStandInRecords(out);
        return records.empty() ? box : records.front();
    }

    // Removes whatever a run (or a failed one) left, so every test starts from the same machine.
    void RemoveEverything()
    {
        for (const std::wstring& link : {m_desktopLink, m_startMenuLink, m_publicDesktop + L"\\Larchmeadow Games App - larchplay.lnk",
                                         m_startMenu + L"\\Larchmeadow Games App - larchplay.lnk",
                                         m_startMenu + L"\\Launch Larchmeadow Games.lnk"}) {
            SetFileAttributesW(link.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(link.c_str());
        }
        LmTest::RemoveTree(m_games);
        LmTest::RemoveTree(m_settings);
        for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
            DeleteTree(view, std::wstring(kUninstallSubKey) + L"\\" + kTouchpointKeyName);
            DeleteTree(view, std::wstring(kUninstallSubKey) + L"\\" + kMainKeyName);
        }
        // Commands for the next logon that a run left, and the folders they name.
        HKEY runOnce = CreateKey(KEY_WOW64_64KEY, kRunOnceSubKey);
        if (runOnce) {
            for (const auto& value : ReadValues(KEY_WOW64_64KEY, kRunOnceSubKey)) {
                if (value.first == Uninstaller_TouchpointValue() || Contains(value.second, L"\\pdtpu-")) {
                    const size_t quote = value.second.find(L'"');
                    if (quote != std::wstring::npos && Contains(value.second, L"\\pdtpu"))
                        LmTest::RemoveTree(value.second.substr(quote + 1, value.second.size() - quote - 2));
                    RegDeleteValueW(runOnce, value.first.c_str());
                }
            }
            RegCloseKey(runOnce);
        }
    }

    static std::wstring Uninstaller_TouchpointValue() { return Lm::Uninstaller::kTouchpointRunOnceValueName; }

    // The state after a complete removal equals the one before the touchpoint was laid down,
    // apart from what the allow-list names.
    void ExpectMachineAsBefore(const std::set<std::wstring>& allowed)
    {
        const std::wstring change = LmTest::SnapshotChangeBeyond(m_before, TakeSnapshot(),
                                                                 std::vector<std::wstring>(allowed.begin(), allowed.end()));
        EXPECT_TRUE(change.empty()) << Narrow(change);
    }

    HANDLE m_mutex = nullptr;
    bool m_owned = false;
    std::wstring m_pf86, m_publicDesktop, m_commonPrograms, m_programData;
    std::wstring m_games, m_touchpoints, m_touchpoint, m_app, m_startMenu, m_settings;
    std::wstring m_desktopLink, m_startMenuLink;
    std::wstring m_brandedDesktopName, m_brandedStartMenuName;
    std::unique_ptr<LmTest::ScratchFolder> m_log;
    Snapshot m_before, m_laid;
    std::map<std::wstring, std::wstring> m_runOnceBefore;
};

std::wstring RunOnceLabel(const std::wstring& valueName)
{
    return std::wstring(L"reg64\\") + kRunOnceSubKey + L"|" + valueName;
}

} // namespace

TEST_F(UninstallProgram, silent_run_removes_the_touchpoint_and_runs_the_main_applications_uninstaller)
{
    ASSERT_NO_FATAL_FAILURE(LayTouchpoint());
    ASSERT_NE(m_before, m_laid);

    LmTest::RunResult run = RunUninstall(L"/silent");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);

    // The links went, after PinHook took their localized names off again.
    EXPECT_FALSE(LmTest::FileExists(m_desktopLink));
    EXPECT_FALSE(LmTest::FileExists(m_startMenuLink));
    if (!m_brandedDesktopName.empty()) {
        EXPECT_EQ(L"", LocalizedNameOf(m_desktopLink));
    }
    if (!m_brandedStartMenuName.empty()) {
        EXPECT_EQ(L"", LocalizedNameOf(m_startMenuLink));
    }

    // The entry and the folders went; the copy removed what the running program could not.
    EXPECT_FALSE(KeyExists(KEY_WOW64_32KEY, std::wstring(kUninstallSubKey) + L"\\" + kTouchpointKeyName));
    EXPECT_FALSE(LmTest::DirectoryExists(m_touchpoint));
    EXPECT_FALSE(LmTest::DirectoryExists(m_touchpoints));
    EXPECT_FALSE(LmTest::DirectoryExists(m_settings));

    // The main application's uninstaller ran once, as a copy in a private temporary folder, with
    // the arguments that name its own folder.
    auto runs = MainUninstallerRuns();
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ(L"/silent /S _?=" + m_app, runs[0][L"arguments"]);
    EXPECT_TRUE(Contains(runs[0][L"exe"], L"\\pdtpuninstaller-")) << Narrow(runs[0][L"exe"]);
    EXPECT_TRUE(Contains(runs[0][L"exe"], L"\\Uninstall.exe")) << Narrow(runs[0][L"exe"]);
    EXPECT_TRUE(Contains(runs[0][L"workdir"], L"\\pdtpuninstaller-")) << Narrow(runs[0][L"workdir"]);
    // Its temporary folder is gone again.
    EXPECT_FALSE(LmTest::DirectoryExists(runs[0][L"workdir"]));

    // RunOnce (64-bit view): one command that removes the copy's own folder at the next logon;
    // the touchpoint's own value only when its folder had outlived the copy, which it did not.
    auto selfCopy = NewSelfCopyRunOnceValues();
    ASSERT_EQ(1u, selfCopy.size());
    const std::wstring valueName = selfCopy.begin()->first;
    const std::wstring command = selfCopy.begin()->second;
    EXPECT_EQ(38u, valueName.size());
    EXPECT_EQ(L'{', valueName.front());
    EXPECT_EQ(L'}', valueName.back());
    EXPECT_EQ(valueName, [&] { std::wstring u = valueName; for (auto& c : u) c = towupper(c); return u; }());
    ASSERT_EQ(0u, command.find(L"cmd.exe /c RD /S /Q \"")) << Narrow(command);
    EXPECT_EQ(L'"', command.back());
    const std::wstring copyFolder = command.substr(21, command.size() - 22);
    EXPECT_TRUE(Contains(copyFolder, TempFolder() + L"\\pdtpu-")) << Narrow(copyFolder);
    EXPECT_EQ(0u, ReadValues(KEY_WOW64_32KEY, kRunOnceSubKey).count(valueName)) << "written to the 32-bit view";
    EXPECT_EQ(0u, ReadValues(KEY_WOW64_64KEY, kRunOnceSubKey).count(Uninstaller_TouchpointValue()));

    // Apart from what the next logon removes, from the start-menu folder that the Installer made
    // (and the desktop.ini files in which PinHook kept the links' localized names), and from the
    // main application, whose stand-in uninstaller removes nothing, the machine is as before.
    ExpectMachineAsBefore({RunOnceLabel(valueName), copyFolder, m_startMenu + L"\\", m_startMenu + L"\\desktop.ini",
                           m_publicDesktop + L"\\desktop.ini", L"dir|" + m_games, m_games + L"\\",
                           m_app, std::wstring(L"reg32\\") + kUninstallSubKey + L"\\" + kMainKeyName});

    // The next logon: a restart of the prefix runs the RunOnce commands (64-bit view) once.
    LmTest::RunResult restart = LmTest::RunProgram(L"C:\\windows\\sysnative\\wineboot.exe", L"-r", 120000);
    if (restart.started && restart.finished) {
        const DWORD start = GetTickCount();
        while (LmTest::DirectoryExists(copyFolder) && GetTickCount() - start < 30000)
            Sleep(100);
        EXPECT_FALSE(LmTest::DirectoryExists(copyFolder)) << Narrow(copyFolder);
        EXPECT_EQ(0u, ReadValues(KEY_WOW64_64KEY, kRunOnceSubKey).count(valueName));
    } else {
        ADD_FAILURE() << "wineboot -r could not be run";
    }
}

TEST_F(UninstallProgram, pinhook_clears_each_link_before_it_goes_and_nothing_is_built_on_a_missing_folder)
{
    LayOptions options;
    options.recordingPinHook = true;
    ASSERT_NO_FATAL_FAILURE(LayTouchpoint(options));
    // Wine has no Quick Launch folder. A link name on the root of the current drive stands where a
    // path built on that empty folder would point: it must be left alone.
    const std::wstring rootLink = TempFolder().substr(0, 2) + L"\\Larchmeadow Games App - larchplay.lnk";
    ASSERT_TRUE(KnownFolder(FOLDERID_QuickLaunch).empty()) << "this prefix has a Quick Launch folder";
    LmTest::WriteFileUtf8(rootLink, L"not a link of ours");

    LmTest::RunResult run = RunUninstall(L"/silent /S _?=C:\\somewhere");
    EXPECT_TRUE(LmTest::FileExists(rootLink));
    DeleteFileW(rootLink.c_str());
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);

    // One clear-mode run per existing link, in the program's order, from the touchpoint folder.
    auto runs = PinHookRuns();
    ASSERT_EQ(2u, runs.size());
    EXPECT_EQ(L"\"" + m_desktopLink + L"\"", runs[0][L"arguments"]);
    EXPECT_EQ(L"\"" + m_startMenuLink + L"\"", runs[1][L"arguments"]);
    for (auto& record : runs) {
        EXPECT_TRUE(Contains(record[L"exe"], m_touchpoint + L"\\PinHook.exe")) << Narrow(record[L"exe"]);
        EXPECT_EQ(Lower(m_touchpoint), Lower(record[L"workdir"]));
    }
    EXPECT_FALSE(LmTest::FileExists(m_desktopLink));
    EXPECT_FALSE(LmTest::FileExists(m_startMenuLink));
}

TEST_F(UninstallProgram, answering_no_changes_nothing_and_other_arguments_do_not_make_it_silent)
{
    ASSERT_NO_FATAL_FAILURE(LayTouchpoint());
    for (const wchar_t* arguments : {L"", L"/Silent", L"/S _?=C:\\x /SILENT"}) {
        HANDLE process = StartUninstall(arguments);
        ASSERT_NE(nullptr, process);
        auto box = AnswerBox(L"no");
        DWORD exitCode = 0xDEAD;
        if (WaitForSingleObject(process, 30000) != WAIT_OBJECT_0)
            TerminateProcess(process, 0xDEAD);
        GetExitCodeProcess(process, &exitCode);
        CloseHandle(process);
        EXPECT_EQ(L"Uninstall Larchmeadow Games App?", box[L"text"]) << "arguments " << Narrow(arguments);
        EXPECT_EQ(0u, exitCode);
        Snapshot now = TakeSnapshot();
        EXPECT_TRUE(m_laid == now) << Narrow(LmTest::DescribeSnapshotChange(m_laid, now));
    }
    EXPECT_TRUE(MainUninstallerRuns().empty());
}

TEST_F(UninstallProgram, answering_yes_removes_the_touchpoint_and_shows_the_finished_box)
{
    ASSERT_NO_FATAL_FAILURE(LayTouchpoint());
    const std::set<DWORD> copiesBefore = LmTest::ProcessIdsNamed(L"Uninstaller.exe");
    HANDLE process = StartUninstall(L"");
    ASSERT_NE(nullptr, process);
    auto question = AnswerBox(L"yes");
    auto finished = AnswerBox(L"ok");
    DWORD exitCode = 0xDEAD;
    if (WaitForSingleObject(process, 60000) != WAIT_OBJECT_0)
        TerminateProcess(process, 0xDEAD);
    GetExitCodeProcess(process, &exitCode);
    CloseHandle(process);
    WaitForSelfCopy(copiesBefore);

    // The user's language in this prefix is English (en-US).
    EXPECT_EQ(L"Uninstall Larchmeadow Games App?", question[L"text"]);
    EXPECT_EQ(L"Larchmeadow Games App has been uninstalled.", finished[L"text"]);
    EXPECT_EQ(0u, exitCode);
    EXPECT_FALSE(LmTest::DirectoryExists(m_touchpoint));
    EXPECT_FALSE(KeyExists(KEY_WOW64_32KEY, std::wstring(kUninstallSubKey) + L"\\" + kTouchpointKeyName));
    EXPECT_EQ(1u, MainUninstallerRuns().size());
}

TEST_F(UninstallProgram, initiated_from_an_installer_keeps_the_main_application)
{
    ASSERT_NO_FATAL_FAILURE(LayTouchpoint());
    LmTest::RunResult run = RunUninstall(L"/silent /S /InitiatedFromAnInstaller");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_FALSE(LmTest::DirectoryExists(m_touchpoint));
    EXPECT_FALSE(KeyExists(KEY_WOW64_32KEY, std::wstring(kUninstallSubKey) + L"\\" + kTouchpointKeyName));
    EXPECT_TRUE(MainUninstallerRuns().empty());
    EXPECT_TRUE(LmTest::FileExists(m_app + L"\\uninst.exe"));
    EXPECT_TRUE(KeyExists(KEY_WOW64_32KEY, std::wstring(kUninstallSubKey) + L"\\" + kMainKeyName));
    EXPECT_TRUE(LmTest::DirectoryExists(m_games));
}

TEST_F(UninstallProgram, another_touchpoint_keeps_the_shared_folders_and_the_main_application)
{
    ASSERT_NO_FATAL_FAILURE(LayTouchpoint());
    const std::wstring other = m_touchpoints + L"\\otherdp";
    MakeFolders(other);
    LmTest::WriteFileUtf8(other + L"\\Uninstall.exe", L"another touchpoint");

    LmTest::RunResult run = RunUninstall(L"/silent");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_FALSE(LmTest::DirectoryExists(m_touchpoint));
    EXPECT_TRUE(LmTest::FileExists(other + L"\\Uninstall.exe"));
    EXPECT_TRUE(LmTest::DirectoryExists(m_touchpoints));
    EXPECT_TRUE(MainUninstallerRuns().empty());
    EXPECT_TRUE(KeyExists(KEY_WOW64_32KEY, std::wstring(kUninstallSubKey) + L"\\" + kMainKeyName));
}

TEST_F(UninstallProgram, unsigned_pinhook_stops_the_run_and_a_later_try_finishes)
{
    LayOptions options;
    options.signedPinHook = false;
    ASSERT_NO_FATAL_FAILURE(LayTouchpoint(options));

    LmTest::RunResult run = RunUninstall(L"/silent");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(1u, run.exitCode);
    // The run stopped at the first link: it, the entry and the folder with the program stay.
    EXPECT_TRUE(LmTest::FileExists(m_desktopLink));
    EXPECT_TRUE(LmTest::FileExists(m_startMenuLink));
    EXPECT_TRUE(KeyExists(KEY_WOW64_32KEY, std::wstring(kUninstallSubKey) + L"\\" + kTouchpointKeyName));
    EXPECT_TRUE(LmTest::FileExists(m_touchpoint + L"\\Uninstall.exe"));
    EXPECT_TRUE(MainUninstallerRuns().empty());
    EXPECT_TRUE(NewSelfCopyRunOnceValues().empty());

    // With a signed PinHook in place a later try removes everything.
    ASSERT_TRUE(CopyTo(LmTest::TestDir() + L"uninstall-signed\\PinHook.exe", m_touchpoint + L"\\PinHook.exe"));
    run = RunUninstall(L"/silent");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_FALSE(LmTest::FileExists(m_desktopLink));
    EXPECT_FALSE(LmTest::FileExists(m_startMenuLink));
    EXPECT_FALSE(KeyExists(KEY_WOW64_32KEY, std::wstring(kUninstallSubKey) + L"\\" + kTouchpointKeyName));
    EXPECT_FALSE(LmTest::DirectoryExists(m_touchpoint));
    EXPECT_EQ(1u, MainUninstallerRuns().size());
}

TEST_F(UninstallProgram, a_missing_main_entry_is_not_created_and_a_missing_start_menu_folder_does_not_stop_it)
{
    LayOptions options;
    options.mainApplication = false;
    ASSERT_NO_FATAL_FAILURE(LayTouchpoint(options));
    // The settings name a start-menu folder that is gone (the user deleted it): nothing to remove there.
    const std::wstring ini = m_programData + L"\\Larchmeadow\\Larchmeadow.ini";
    const bool hadIni = LmTest::FileExists(ini);
    const std::wstring savedIni = hadIni ? LmTest::ReadFileUtf8(ini) : L"";
    MakeFolders(m_programData + L"\\Larchmeadow");
    WritePrivateProfileStringW(L"Main", L"StartMenuFolder", L"LmVanished", ini.c_str());
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, ini.c_str());

    LmTest::RunResult run = RunUninstall(L"/silent");
    if (hadIni)
        LmTest::WriteFileUtf8(ini, savedIni);
    else
        DeleteFileW(ini.c_str());
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_FALSE(KeyExists(KEY_WOW64_32KEY, std::wstring(kUninstallSubKey) + L"\\" + kTouchpointKeyName));
    EXPECT_FALSE(LmTest::DirectoryExists(m_touchpoint));
    EXPECT_FALSE(KeyExists(KEY_WOW64_32KEY, std::wstring(kUninstallSubKey) + L"\\" + kMainKeyName));
    EXPECT_FALSE(KeyExists(KEY_WOW64_64KEY, std::wstring(kUninstallSubKey) + L"\\" + kMainKeyName));
    EXPECT_FALSE(LmTest::DirectoryExists(m_games));
}

TEST_F(UninstallProgram, a_copy_run_from_elsewhere_removes_the_whole_folder_and_starts_no_self_copy)
{
    // The Installer's rollback runs a temporary copy: the touchpoint folder then holds no running
    // program and goes at once, so no copy of the copy is started.
    ASSERT_NO_FATAL_FAILURE(LayTouchpoint());
    LmTest::ScratchFolder rollback(L"uninstall-rollback");
    ASSERT_TRUE(CopyTo(m_touchpoint + L"\\Uninstall.exe", rollback / L"Uninstall.exe"));
    const Snapshot before = TakeSnapshot();
    LmTest::RunResult run =
        LmTest::RunProgram(rollback / L"Uninstall.exe", L"/silent /S _?=" + m_touchpoint, kRunTimeoutMs, rollback.Path());
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_FALSE(LmTest::DirectoryExists(m_touchpoint));
    EXPECT_FALSE(LmTest::DirectoryExists(m_touchpoints));
    EXPECT_EQ(1u, MainUninstallerRuns().size());
    Sleep(1000);
    EXPECT_TRUE(NewSelfCopyRunOnceValues().empty());
    EXPECT_TRUE(LmTest::ProcessIdsNamed(L"Uninstaller.exe").empty());
    ExpectMachineAsBefore({m_startMenu + L"\\", m_startMenu + L"\\desktop.ini", m_publicDesktop + L"\\desktop.ini",
                           L"dir|" + m_games, m_games + L"\\", m_app,
                           std::wstring(L"reg32\\") + kUninstallSubKey + L"\\" + kMainKeyName});
}

TEST_F(UninstallProgram, a_file_that_stays_locked_leaves_the_touchpoint_folder_to_the_next_logon)
{
    ASSERT_NO_FATAL_FAILURE(LayTouchpoint());
    // Another program keeps a file of the touchpoint folder open without sharing its deletion.
    const std::wstring lockedFile = m_touchpoint + L"\\Application.ico";
    HANDLE locked = CreateFileW(lockedFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, locked);
    LmTest::RunResult run = RunUninstall(L"/silent");
    CloseHandle(locked);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);

    // The copy deleted the program but not the folder: its RunOnce value (64-bit view) removes it.
    EXPECT_FALSE(LmTest::FileExists(m_touchpoint + L"\\Uninstall.exe"));
    EXPECT_TRUE(LmTest::FileExists(lockedFile));
    auto runOnce = ReadValues(KEY_WOW64_64KEY, kRunOnceSubKey);
    ASSERT_EQ(1u, runOnce.count(Uninstaller_TouchpointValue()));
    EXPECT_EQ(L"cmd.exe /c RD /S /Q \"" + m_touchpoint + L"\"", runOnce[Uninstaller_TouchpointValue()]);
    EXPECT_EQ(1u, NewSelfCopyRunOnceValues().size());

    // The next logon (a restart of the prefix) removes the folder, now that nothing holds it.
    LmTest::RunResult restart = LmTest::RunProgram(L"C:\\windows\\sysnative\\wineboot.exe", L"-r", 120000);
    ASSERT_TRUE(restart.started && restart.finished);
    const DWORD start = GetTickCount();
    while (LmTest::DirectoryExists(m_touchpoint) && GetTickCount() - start < 30000)
        Sleep(100);
    EXPECT_FALSE(LmTest::DirectoryExists(m_touchpoint));
    EXPECT_EQ(0u, ReadValues(KEY_WOW64_64KEY, kRunOnceSubKey).count(Uninstaller_TouchpointValue()));
    EXPECT_TRUE(NewSelfCopyRunOnceValues().empty());
}

namespace {

std::wstring NewGuidText()
{
    GUID guid = {};
    CoCreateGuid(&guid);
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return Lower(std::wstring(text + 1, 36));
}

} // namespace

TEST_F(UninstallProgram, a_del_run_anywhere_but_its_own_temporary_folder_removes_and_schedules_nothing)
{
    ASSERT_NO_FATAL_FAILURE(LayTouchpoint());
    // Places a "/del" copy might be started from: a user's download folder, a folder of the self
    // copy's name that is not directly in the temporary folder, and folders in the temporary
    // folder whose names only look alike.
    LmTest::ScratchFolder downloads(L"Downloads");
    LmTest::ScratchFolder holder(L"uninstall-holder");
    const std::wstring temp = TempFolder();
    const std::wstring guid = NewGuidText();
    const std::vector<std::wstring> folders = {downloads.Path(), holder / (L"pdtpu-" + guid),
                                               temp + L"\\pdtpuninstaller-" + guid, temp + L"\\pdtpu-" + guid + L"x",
                                               temp + L"\\pdtpu-not-a-guid"};
    for (const std::wstring& folder : folders) {
        SCOPED_TRACE(Narrow(folder));
        MakeFolders(folder);
        ASSERT_TRUE(CopyTo(m_touchpoint + L"\\Uninstall.exe", folder + L"\\Uninstaller.exe"));
        LmTest::WriteFileUtf8(folder + L"\\holiday.jpg", L"the user's own file");

        LmTest::RunResult run = LmTest::RunProgram(folder + L"\\Uninstaller.exe", L"/del", kRunTimeoutMs, folder);
        Sleep(500);
        const auto runOnce = ReadValues(KEY_WOW64_64KEY, kRunOnceSubKey);
        for (const auto& value : runOnce)
            if (!m_runOnceBefore.count(value.first)) {
                ADD_FAILURE() << "scheduled for the next logon: " << Narrow(value.second);
                HKEY key = CreateKey(KEY_WOW64_64KEY, kRunOnceSubKey);
                RegDeleteValueW(key, value.first.c_str());
                RegCloseKey(key);
            }
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(1u, run.exitCode);
        EXPECT_TRUE(LmTest::FileExists(folder + L"\\holiday.jpg"));
        EXPECT_TRUE(LmTest::FileExists(folder + L"\\Uninstaller.exe"));
        EXPECT_TRUE(LmTest::FileExists(m_touchpoint + L"\\Uninstall.exe"));
        EXPECT_TRUE(LmTest::FileExists(m_touchpoint + L"\\PinHook.exe"));
        if (folder != downloads.Path())
            LmTest::RemoveTree(folder);
    }
}

TEST_F(UninstallProgram, a_run_that_fails_late_leaves_the_entry_and_the_program_for_another_try)
{
    // Each failure comes after the links and the touchpoint folder went: the main application's
    // uninstaller is not signed, it cannot be copied (another program holds it without sharing),
    // or no temporary folder can be made for the program's own copy.
    struct Case {
        const wchar_t* name;
        const wchar_t* arguments;
    };
    const Case cases[] = {{L"unsigned main uninstaller", L"/silent"},
                          {L"main uninstaller cannot be copied", L"/silent"},
                          {L"no temporary folder for the own copy", L"/silent /InitiatedFromAnInstaller"}};
    const std::wstring entry = std::wstring(kUninstallSubKey) + L"\\" + kTouchpointKeyName;
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.name));
        RemoveEverything();
        ASSERT_NO_FATAL_FAILURE(LayTouchpoint());
        const std::wstring mainUninstaller = m_app + L"\\uninst.exe";
        HANDLE held = nullptr;
        std::wstring savedTemp;
        const std::wstring name = c.name;
        if (name == L"unsigned main uninstaller") {
            ASSERT_TRUE(CopyTo(LmTest::Program(L"PinHook.exe"), mainUninstaller));
        } else if (name == L"main uninstaller cannot be copied") {
            held = CreateFileW(mainUninstaller.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(INVALID_HANDLE_VALUE, held);
        } else {
            savedTemp = TempFolder();
            SetEnvironmentVariableW(L"TMP", (m_log->Path() + L"\\missing").c_str());
        }
        LmTest::RunResult run = LmTest::RunProgram(m_touchpoint + L"\\Uninstall.exe", c.arguments, kRunTimeoutMs,
                                                   m_log->Path());
        if (held)
            CloseHandle(held);
        if (!savedTemp.empty())
            SetEnvironmentVariableW(L"TMP", savedTemp.c_str());
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(1u, run.exitCode);
        EXPECT_FALSE(LmTest::FileExists(m_desktopLink)) << "the failure came later";
        // The entry still starts the program that is still there.
        const auto values = ReadValues(KEY_WOW64_32KEY, entry);
        ASSERT_EQ(1u, values.count(L"UninstallString"));
        EXPECT_EQ(L"\"" + m_touchpoint + L"\\Uninstall.exe\"", values.at(L"UninstallString"));
        EXPECT_TRUE(LmTest::FileExists(m_touchpoint + L"\\Uninstall.exe"));
        EXPECT_TRUE(NewSelfCopyRunOnceValues().empty());

        // Once the cause is gone, running it again finishes the removal.
        if (name == L"unsigned main uninstaller") {
            ASSERT_TRUE(CopyTo(LmTest::TestDir() + L"uninstall-signed\\StandIn.exe", mainUninstaller));
        }
        run = RunUninstall(c.arguments);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(0u, run.exitCode);
        EXPECT_FALSE(KeyExists(KEY_WOW64_32KEY, entry));
        EXPECT_FALSE(LmTest::DirectoryExists(m_touchpoint));
    }
}

TEST_F(UninstallProgram, a_pinhook_that_does_not_end_fails_the_run_within_a_bound)
{
    // The bound shortened from a minute to a few seconds: the test sees it end the wait.
    const LmTest::ScopedTestBound bound(Lm::System::Win32::kPinHookTimeoutTestValue, 3000);
    ASSERT_TRUE(bound.Active()) << "the test environment is off: the shipped bound would count";
    LayOptions options;
    options.recordingPinHook = true;
    ASSERT_NO_FATAL_FAILURE(LayTouchpoint(options));
    // Whatever the outcome, no hung PinHook of this touchpoint outlives the test (it would hold the
    // touchpoint folder); PinHooks that other tests run elsewhere are left alone.
    struct EndHungPinHooks {
        std::wstring pinHook;
        ~EndHungPinHooks() { LmTest::EndProcessesOf(pinHook); }
    } endHungPinHooks{m_touchpoint + L"\\PinHook.exe"};
    SetEnvironmentVariableW(L"LM_STANDIN_SLEEP", L"PinHook.exe:600000");
    HANDLE uninstall = StartUninstall(L"/silent");
    SetEnvironmentVariableW(L"LM_STANDIN_SLEEP", nullptr);
    ASSERT_NE(nullptr, uninstall);
    // The hung PinHook runs...
    const DWORD start = GetTickCount();
    while (RunningProcessesOf(endHungPinHooks.pinHook).empty() && GetTickCount() - start < 60000)
        Sleep(100);
    EXPECT_FALSE(RunningProcessesOf(endHungPinHooks.pinHook).empty()) << "PinHook was not seen running";
    // ...until Uninstall gives up on it.
    const bool finished = WaitForSingleObject(uninstall, 150000) == WAIT_OBJECT_0;
    DWORD exitCode = 0xDEAD;
    if (!finished)
        TerminateProcess(uninstall, 0xDEAD);
    GetExitCodeProcess(uninstall, &exitCode);
    CloseHandle(uninstall);
    ASSERT_TRUE(finished) << "Uninstall waited for the hung PinHook without end";
    EXPECT_EQ(1u, exitCode);
    EXPECT_TRUE(RunningProcessesOf(m_touchpoint + L"\\PinHook.exe").empty()) << "the hung PinHook was left running";
    EXPECT_TRUE(LmTest::FileExists(m_desktopLink));
    EXPECT_TRUE(KeyExists(KEY_WOW64_32KEY, std::wstring(kUninstallSubKey) + L"\\" + kTouchpointKeyName));
    EXPECT_TRUE(LmTest::FileExists(m_touchpoint + L"\\Uninstall.exe"));
    EXPECT_TRUE(MainUninstallerRuns().empty());
}
