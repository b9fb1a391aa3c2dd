// Stands in for the Installer's install sequence: runs one of its touchpoint steps as its own
// process, with the Installer's touchpoint resources (PinHook, icon) in its module, so the tests
// see what the step leaves on the machine and how the process ends.
//   TouchpointSteps.exe <step> [/lang=<index>] [/error=<file>] [Installer options...]
// Steps: files (InstallTouchpointFiles), startmenu, desktop, entry, protocol, skus, upgrade,
// legacyconsole. The DP is the "/dp=" option's text as given.
// Exit code 0 when the step returned, 1 when it threw (the exception's text goes to <file>),
// 2 for an unknown step.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "Installer/InstallerMessageTable.h"
#include "Installer/InstallerOptions.h"
#include "Installer/LegacySkus.h"
#include "Installer/OlderInstallations.h"
#include "Installer/Shortcuts.h"
#include "Installer/TouchpointFiles.h"
#include "System/Exception.h"
#include "System/Io/AdministratorsOwned.h"

namespace {

void WriteText(const std::wstring& path, const std::wstring& text)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    using namespace Lm::Installer;
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (argv == nullptr || count < 2)
        return 2;
    const std::wstring step = argv[1];
    // The tests' stand-in for an owner the elevated programs trust (tests/support/TrustedTestOwner.h).
    wchar_t owner[256] = {};
    const DWORD ownerLength = GetEnvironmentVariableW(L"LM_TEST_TRUSTED_OWNER", owner, 256);
    if (ownerLength > 0 && ownerLength < 256)
        Lm::System::IO::SetTestTrustedOwner(owner);
    int language = 0;
    std::wstring errorFile;
    std::vector<const wchar_t*> options{argv[0]};
    for (int index = 2; index < count; ++index) {
        const std::wstring argument = argv[index];
        if (argument.compare(0, 6, L"/lang=") == 0)
            language = _wtoi(argument.c_str() + 6);
        else if (argument.compare(0, 7, L"/error=") == 0)
            errorFile = argument.substr(7);
        else
            options.push_back(argv[index]);
    }
    const CInstallerOptions installerOptions(static_cast<int>(options.size()), options.data());
    const InstallerMessageRow& messages = GetInstallerMessageRow(language);
    const std::wstring& dp = installerOptions.dp;
    int result = 0;
    try {
        if (step == L"files")
            InstallTouchpointFiles(installerOptions, dp, messages, language);
        else if (step == L"startmenu")
            CreateStartMenuShortcut(installerOptions, dp, messages);
        else if (step == L"desktop")
            CreateDesktopShortcut(installerOptions, dp, messages);
        else if (step == L"entry")
            WriteTouchpointUninstallEntry(dp, language);
        else if (step == L"protocol")
            RegisterProtocolHandler(installerOptions);
        else if (step == L"skus")
            RegisterLegacySkus(installerOptions);
        else if (step == L"upgrade")
            UpgradeLegacyUninstall();
        else if (step == L"legacyconsole")
            RemoveLegacyConsole();
        else
            result = 2;
    } catch (const Lm::System::CException& exception) {
        if (!errorFile.empty())
            WriteText(errorFile, exception.ToString());
        result = 1;
    }
    LocalFree(argv);
    return result;
}
