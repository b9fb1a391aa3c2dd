// InstallServiceStandIn.dll: stands in for the main application's install service, the COM class
// that an unelevated Updater asks to start the tested package (Updater/UpdaterContract.h). A test
// registers it for the current user as the in-process server of that class; the Updater's
// CoCreateInstance then loads it into the calling process.
//
// Run appends one record to the file named by LM_INSTALL_SERVICE_LOG (UTF-8 "key=value" lines
// ended by an empty line: pid, path, arguments, folder, reserved), then starts
// "<quoted path> <arguments>" in the folder and hands back its process and thread handles,
// duplicated into the caller's process. LM_INSTALL_SERVICE_MODE changes that:
//   createfails   the class object refuses to create the service (CLASS_E_CLASSNOTAVAILABLE)
//   runfails      Run records the call and returns E_FAIL without starting anything
//   nohandle      Run records the call and returns S_OK without handles
#include <windows.h>
#include <objbase.h>

#include <string>
#include <vector>

#include "ToolSupport.h"
#include "Updater/UpdaterContract.h"

using namespace LmTool;

using Lm::Updater::IInstallService;

namespace {

LONG g_objects = 0;

void AppendRecord(const std::wstring& text)
{
    const std::wstring path = Environment(L"LM_INSTALL_SERVICE_LOG");
    if (!path.empty())
        AppendUtf8(path, text);
}

std::wstring Text(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }

class InstallService : public IInstallService {
public:
    InstallService() { InterlockedIncrement(&g_objects); }
    virtual ~InstallService() { InterlockedDecrement(&g_objects); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (out == nullptr)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, Lm::Updater::kInstallServiceInterfaceId)) {
            *out = static_cast<IInstallService*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&m_references); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG left = InterlockedDecrement(&m_references);
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE Reserved3() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved4() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved5() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved6() override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE Run(DWORD callerProcessId, BSTR quotedPackagePath, BSTR packageArguments,
                                  BSTR packageFolder, DWORD reserved1, DWORD reserved2, HANDLE* process,
                                  HANDLE* second) override
    {
        if (process == nullptr || second == nullptr)
            return E_POINTER;
        *process = *second = nullptr;
        AppendRecord(L"pid=" + std::to_wstring(callerProcessId) + L"\r\npath=" + Text(quotedPackagePath) +
                     L"\r\narguments=" + Text(packageArguments) + L"\r\nfolder=" + Text(packageFolder) +
                     L"\r\nreserved=" + std::to_wstring(reserved1) + L"," + std::to_wstring(reserved2) + L"\r\n\r\n");
        const std::wstring mode = Environment(L"LM_INSTALL_SERVICE_MODE");
        if (mode == L"runfails")
            return E_FAIL;
        if (mode == L"nohandle")
            return S_OK;

        std::wstring commandLine = Text(quotedPackagePath);
        if (SysStringLen(packageArguments) != 0)
            commandLine += L" " + Text(packageArguments);
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION started = {};
        std::wstring folder = Text(packageFolder);
        if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                            folder.empty() ? nullptr : folder.c_str(), &startup, &started))
            return HRESULT_FROM_WIN32(GetLastError());
        HANDLE caller = OpenProcess(PROCESS_DUP_HANDLE, FALSE, callerProcessId);
        HRESULT result = S_OK;
        if (caller == nullptr ||
            !DuplicateHandle(GetCurrentProcess(), started.hProcess, caller, process, 0, FALSE, DUPLICATE_SAME_ACCESS) ||
            !DuplicateHandle(GetCurrentProcess(), started.hThread, caller, second, 0, FALSE, DUPLICATE_SAME_ACCESS))
            result = HRESULT_FROM_WIN32(GetLastError());
        if (caller != nullptr)
            CloseHandle(caller);
        CloseHandle(started.hProcess);
        CloseHandle(started.hThread);
        return result;
    }

private:
    LONG m_references = 1;
};

class ClassFactory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (out == nullptr)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }    // a static object
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (out == nullptr)
            return E_POINTER;
        *out = nullptr;
        if (outer != nullptr)
            return CLASS_E_NOAGGREGATION;
        if (Environment(L"LM_INSTALL_SERVICE_MODE") == L"createfails")
            return CLASS_E_CLASSNOTAVAILABLE;
        InstallService* service = new InstallService;
        HRESULT result = service->QueryInterface(iid, out);
        service->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

ClassFactory g_factory;

} // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    if (!IsEqualCLSID(clsid, Lm::Updater::kInstallServiceClassId)) {
        if (out != nullptr)
            *out = nullptr;
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return g_factory.QueryInterface(iid, out);
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    return g_objects == 0 ? S_OK : S_FALSE;
}
