#include "Updater/UpdaterOptions.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>

#include "System/String/AnsiWide.h"

namespace Lm {
namespace Updater {

namespace {

bool HasPrefix(const std::wstring& argument, const wchar_t* prefix)
{
    return _wcsnicmp(argument.c_str(), prefix, wcslen(prefix)) == 0;
}

bool Is(const std::wstring& argument, const wchar_t* option)
{
    return _wcsicmp(argument.c_str(), option) == 0;
}

std::wstring ValueAfter(const std::wstring& argument, const wchar_t* prefix)
{
    return argument.substr(wcslen(prefix));
}

} // namespace

UpdaterOptions ParseUpdaterOptions(const std::wstring& rawCommandLine, const std::vector<std::wstring>& arguments)
{
    UpdaterOptions options;
    const size_t installerArgs = rawCommandLine.find(kInstallerArgsOption);
    if (installerArgs != std::wstring::npos)
        options.installerArgs = rawCommandLine.substr(installerArgs + wcslen(kInstallerArgsOption));

    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::wstring& a = arguments[i];
        if (HasPrefix(a, kProductOption)) {
            options.product = ValueAfter(a, kProductOption);
        } else if (HasPrefix(a, kDpOption)) {
            options.dp = ValueAfter(a, kDpOption);
        } else if (HasPrefix(a, kDpNextOption)) {
            // The next argument is the DP code, and is tested as an option as well.
            if (i + 1 < arguments.size())
                options.dp = arguments[i + 1];
        } else if (HasPrefix(a, kChannelOption)) {
            options.channel = Utf16ToUtf8(ValueAfter(a, kChannelOption));
        } else if (Is(a, kDevOption)) {
            options.dev = true;
        } else if (HasPrefix(a, kLocaleOption)) {
            options.locale = ValueAfter(a, kLocaleOption);
        } else if (HasPrefix(a, kFromOption)) {
            options.from = ValueAfter(a, kFromOption);
        } else if (HasPrefix(a, kPatchUrlOption)) {
            options.patchUrl = ValueAfter(a, kPatchUrlOption);
        } else if (HasPrefix(a, kAppArgsOption)) {
            options.appArgs = ValueAfter(a, kAppArgsOption);
        } else if (Is(a, kPromptOption)) {
            options.prompt = true;
        } else if (Is(a, kNotifyOption)) {
            options.notify = true;
        } else if (Is(a, kNoProgressOption)) {
            options.showProgress = false;
        } else if (HasPrefix(a, kParkPathOption)) {
            options.parkPath = ValueAfter(a, kParkPathOption);
        } else if (Is(a, kNoParkingOption)) {
            options.parking = false;
        } else if (Is(a, kEmitDownloadProgressOption)) {
            options.emitDownloadProgress = true;
        } else if (HasPrefix(a, kInstallerArgsOption)) {
            break;   // the rest of the line belongs to installerArgs
        }
    }
    return options;
}

UpdaterOptions ReadUpdaterOptions()
{
    const wchar_t* raw = GetCommandLineW();
    int count = 0;
    LPWSTR* list = CommandLineToArgvW(raw, &count);
    std::vector<std::wstring> arguments;
    for (int i = 0; list != nullptr && i < count; ++i)
        arguments.push_back(list[i]);
    if (list != nullptr)
        LocalFree(list);
    return ParseUpdaterOptions(raw, arguments);
}

} // namespace Updater
} // namespace Lm
