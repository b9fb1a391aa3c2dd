// DebuggingValues.exe: the test set-up's developer values in the maker's Debugging key
// (HKLM\SOFTWARE\Larchmeadow\Debugging, 32-bit view), so that the programs under test talk to the
// local test server (tests/servers) instead of the real endpoints, over plain HTTP.
//   DebuggingValues.exe set      UseTestEnvironment = 1, ClientServicesUrl = http://127.0.0.1:<port>,
//                                AnalyticsCollectUrl = http://127.0.0.1:<port>/g/collect, with the
//                                port from "<own folder>\servers\http.port"
//   DebuggingValues.exe remove   deletes these three values (other values of the key stay)
// Run by CTest as the fixture LmUpdaterEnvironment (Updater/CMakeLists.txt). Exit code 0, or 1.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const wchar_t kKey[] = L"SOFTWARE\\Larchmeadow\\Debugging";
const wchar_t* const kValues[] = {L"UseTestEnvironment", L"ClientServicesUrl", L"AnalyticsCollectUrl"};

int ServerPort()
{
    std::vector<wchar_t> buffer(32768);
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    std::wstring path(buffer.data(), n);
    path = path.substr(0, path.find_last_of(L'\\') + 1) + L"servers\\http.port";
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr)
        return 0;
    char text[32] = "";
    size_t got = fread(text, 1, sizeof(text) - 1, file);
    fclose(file);
    text[got] = 0;
    return atoi(text);
}

bool SetText(HKEY key, const wchar_t* name, const std::wstring& value)
{
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring command = argc == 2 ? argv[1] : L"";
    if (command == L"set") {
        const int port = ServerPort();
        if (port == 0) {
            fprintf(stderr, "DebuggingValues: the test server's port file is missing\n");
            return 1;
        }
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            return 1;
        const std::wstring base = L"http://127.0.0.1:" + std::to_wstring(port);
        DWORD on = 1;
        bool ok = RegSetValueExW(key, kValues[0], 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on), sizeof(on)) ==
                      ERROR_SUCCESS &&
                  SetText(key, kValues[1], base) && SetText(key, kValues[2], base + L"/g/collect");
        RegCloseKey(key);
        printf("DebuggingValues: test environment on, endpoints at %ls\n", base.c_str());
        return ok ? 0 : 1;
    }
    if (command == L"remove") {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
            return 0;
        for (const wchar_t* name : kValues)
            RegDeleteValueW(key, name);
        RegCloseKey(key);
        return 0;
    }
    fprintf(stderr, "usage: DebuggingValues.exe set|remove\n");
    return 1;
}
