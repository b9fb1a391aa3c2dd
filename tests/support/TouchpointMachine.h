// The machine-wide state that the Installer's touchpoint steps write, saved before a test and put
// back after it: the touchpoint folder tree, the uninstall entries of the touchpoint, the main
// application and its master entry, InstalledSKUs, the legacy install helper's registration,
// the links with their folders' desktop.ini, and the shared settings file. Tests that use it hold
// the CTest resource lock "LarchmeadowTouchpoint". Also runs the step driver
// (tests/tools/TouchpointSteps.cpp) and places signed and unsigned stand-ins.
#pragma once

#include <windows.h>
#include <shlobj.h>
#include <knownfolders.h>

#include <memory>
#include <string>
#include <vector>

#include "StandInLog.h"
#include "TestRegistry.h"
#include "TestSupport.h"

namespace LmTest {

inline std::wstring KnownFolder(REFKNOWNFOLDERID id)
{
    PWSTR path = nullptr;
    std::wstring result;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path)))
        result = path;
    CoTaskMemFree(path);
    return result;
}

constexpr const wchar_t* kTestUninstallRoot = L"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const wchar_t* kTestTouchpointEntry = L"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                                                L"{3C5E9A12-7B4D-4f21-8E6A-5D2B9C0F4E71}.Larchmeadow Games App-larchplay";
constexpr const wchar_t* kTestMainAppEntry = L"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                                             L"{6A1D3F58-2E9C-4b07-A4D3-91C8E5B27F0A}.Larchmeadow Games App";
constexpr const wchar_t* kTestMasterEntry = L"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                                            L"Larchmeadow larchplay Master Uninstall";
constexpr const wchar_t* kTestInstalledSkus = L"HKLM\\Software\\Larchmeadow\\InstalledSKUs";
constexpr const wchar_t* kTestInterfaceKey = L"HKCR\\Interface\\{5B7E2D91-4C3A-4E8F-9D16-A2C4F0B83E57}";
constexpr const wchar_t* kTestAppIdKey = L"HKCR\\AppID\\{C19A4F62-7D8E-4B35-8A0C-3E6F2B9D1A74}";

inline std::wstring GamesFolder() { return KnownFolder(FOLDERID_ProgramFilesX86) + L"\\Larchmeadow Games"; }
inline std::wstring TouchpointFolder() { return GamesFolder() + L"\\Touchpoints\\larchplay"; }
inline std::wstring MainAppFolder() { return GamesFolder() + L"\\App"; }
inline std::wstring SharedIniPath() { return KnownFolder(FOLDERID_ProgramData) + L"\\Larchmeadow\\Larchmeadow.ini"; }
inline std::wstring StartMenuGamesFolder() { return KnownFolder(FOLDERID_CommonPrograms) + L"\\Games"; }
inline std::wstring PublicDesktopLink() { return KnownFolder(FOLDERID_PublicDesktop) + L"\\Larchmeadow Games.lnk"; }

inline bool ReadWholeFile(const std::wstring& path, std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bytes.clear();
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    CloseHandle(file);
    return true;
}

inline bool WriteWholeFile(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

inline bool SameFileContent(const std::wstring& a, const std::wstring& b)
{
    std::string left, right;
    return ReadWholeFile(a, left) && ReadWholeFile(b, right) && left == right;
}

// A file that is put back as it was (or removed when it was not there).
class FileSnapshot {
public:
    explicit FileSnapshot(const std::wstring& path) : path_(path)
    {
        existed_ = ReadWholeFile(path_, bytes_);
        attributes_ = GetFileAttributesW(path_.c_str());
    }
    ~FileSnapshot()
    {
        SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!existed_) {
            DeleteFileW(path_.c_str());
            return;
        }
        WriteWholeFile(path_, bytes_);
        SetFileAttributesW(path_.c_str(), attributes_);
    }
    FileSnapshot(const FileSnapshot&) = delete;
    FileSnapshot& operator=(const FileSnapshot&) = delete;

private:
    std::wstring path_;
    bool existed_ = false;
    DWORD attributes_ = INVALID_FILE_ATTRIBUTES;
    std::string bytes_;
};

// Everything the touchpoint steps touch, restored when the object goes. The games folder and the
// start-menu "Games" folder are removed when they were not there before.
class TouchpointMachine {
public:
    TouchpointMachine()
    {
        for (const wchar_t* key : {kTestTouchpointEntry, kTestMainAppEntry, kTestMasterEntry, kTestInstalledSkus,
                                   kTestInterfaceKey, kTestAppIdKey})
            keys_.emplace_back(new RegistryKeySnapshot(key));
        gamesFolderExisted_ = DirectoryExists(GamesFolder());
        startMenuFolderExisted_ = DirectoryExists(StartMenuGamesFolder());
        for (const std::wstring& file :
             {SharedIniPath(), PublicDesktopLink(), StartMenuGamesFolder() + L"\\Larchmeadow Games.lnk",
              KnownFolder(FOLDERID_CommonPrograms) + L"\\Larchmeadow Games.lnk",
              KnownFolder(FOLDERID_PublicDesktop) + L"\\desktop.ini",
              KnownFolder(FOLDERID_CommonPrograms) + L"\\desktop.ini", StartMenuGamesFolder() + L"\\desktop.ini"})
            files_.emplace_back(new FileSnapshot(file));
    }
    ~TouchpointMachine()
    {
        files_.clear();
        keys_.clear();
        if (!gamesFolderExisted_)
            RemoveTree(GamesFolder());
        if (!startMenuFolderExisted_)
            RemoveTree(StartMenuGamesFolder());
    }
    TouchpointMachine(const TouchpointMachine&) = delete;
    TouchpointMachine& operator=(const TouchpointMachine&) = delete;

private:
    std::vector<std::unique_ptr<RegistryKeySnapshot>> keys_;
    std::vector<std::unique_ptr<FileSnapshot>> files_;
    bool gamesFolderExisted_ = false;
    bool startMenuFolderExisted_ = false;
};

// Copies of StandIn: signed as the maker (build\tests\installer-signed\StandIn.exe) or not.
inline std::wstring PlaceStandIn(const std::wstring& path, bool signedAsMaker)
{
    const std::wstring source = signedAsMaker ? TestDir() + L"installer-signed\\StandIn.exe" : Tool(L"StandIn.exe");
    const size_t slash = path.rfind(L'\\');
    SHCreateDirectoryExW(nullptr, path.substr(0, slash).c_str(), nullptr);
    return CopyFileW(source.c_str(), path.c_str(), FALSE) ? path : std::wstring();
}

// Result of one step run by the driver.
struct StepResult {
    RunResult run;
    std::wstring error;   // the exception's text when the step threw
};

// Runs TouchpointSteps.exe <step> <arguments> and waits (generous bound: only hangs fail).
inline StepResult RunTouchpointStep(const std::wstring& step, const std::wstring& arguments)
{
    ScratchFolder folder(L"lmstep");
    const std::wstring errorFile = folder / L"error.txt";
    StepResult result;
    result.run = RunProgram(Tool(L"TouchpointSteps.exe"), step + L" \"/error=" + errorFile + L"\" " + arguments,
                            180000);
    if (FileExists(errorFile))
        result.error = ReadFileUtf8(errorFile);
    return result;
}

// Sets LM_STANDIN_LOG_DIR for this process and the programs it starts, for the scope.
class StandInLogFolder {
public:
    StandInLogFolder() { SetEnvironmentVariableW(L"LM_STANDIN_LOG_DIR", folder_.Path().c_str()); }
    ~StandInLogFolder() { SetEnvironmentVariableW(L"LM_STANDIN_LOG_DIR", nullptr); }
    StandInLogFolder(const StandInLogFolder&) = delete;
    StandInLogFolder& operator=(const StandInLogFolder&) = delete;
    // The records of the copies named fileName.
    std::vector<StandInRecord> Records(const std::wstring& fileName) const
    {
        return ReadStandInRecords(folder_ / (fileName + L".log"));
    }
    void Clear(const std::wstring& fileName) const { DeleteFileW((folder_ / (fileName + L".log")).c_str()); }

private:
    ScratchFolder folder_{L"lmlog"};
};

} // namespace LmTest
