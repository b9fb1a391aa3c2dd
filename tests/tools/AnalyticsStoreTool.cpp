// Stands in for the other processes that share an analytics store with the one under test (a
// second Updater reporting at the same time, or draining the store at its start):
//   AnalyticsStoreTool.exe add <store file name> <count> <tag>
//       adds <count> events "tag=<tag>&p=<process id>&i=<n>" (n from 0) with empty bodies;
//       exit code 0 when every AddItem returned true, else the number refused
//   AnalyticsStoreTool.exe upload <store file name> <collect url>
//       runs the uploader (20 ms interval) until it ends by itself; exit code 0
//   AnalyticsStoreTool.exe abandon <store mutex name>
//       takes the store mutex and ends without releasing it (a process that died mid-write);
//       exit code 0 when it held the mutex
// Both first report on the named semaphore "<store file name>-ready" and wait for the named event
// "<store file name>-go" when they exist, so that several copies start their work together.
#include <windows.h>

#include <cwchar>
#include <string>

#include "Analytics/AnalyticsBase.h"
#include "System/Exception.h"
#include "System/RefPtr.h"

namespace {

class CToolStore : public Lm::Analytics::CAnalyticsBase {
public:
    CToolStore(const std::wstring& name, const std::string& url) : CAnalyticsBase(name), m_url(url) {}
    ~CToolStore() override { StopUploadThread(); }
    std::string GetCollectUrl(bool) override { return m_url; }

private:
    std::string m_url;
};

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

void WaitForGo(const std::wstring& storeName)
{
    HANDLE ready = OpenSemaphoreW(SEMAPHORE_MODIFY_STATE, FALSE, (storeName + L"-ready").c_str());
    if (ready != nullptr) {
        ReleaseSemaphore(ready, 1, nullptr);
        CloseHandle(ready);
    }
    HANDLE go = OpenEventW(SYNCHRONIZE, FALSE, (storeName + L"-go").c_str());
    if (go != nullptr) {
        WaitForSingleObject(go, 60000);
        CloseHandle(go);
    }
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 3 && std::wcscmp(argv[1], L"abandon") == 0) {
        HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, argv[2]);
        if (mutex == nullptr || WaitForSingleObject(mutex, 60000) != WAIT_OBJECT_0)
            return 1;
        ExitProcess(0);     // still the owner: the system marks the mutex abandoned
    }
    if (argc != 5 && !(argc == 4 && std::wcscmp(argv[1], L"upload") == 0)) {
        fwprintf(stderr, L"usage: AnalyticsStoreTool add <store> <count> <tag> | upload <store> <url> | abandon <mutex>\n");
        return 2;
    }
    try {
        std::wstring command = argv[1];
        std::wstring store = argv[2];
        if (command == L"add") {
            Lm::System::CRefPtr<CToolStore> client(new CToolStore(store, ""));
            int count = _wtoi(argv[3]);
            std::string prefix = "tag=" + Narrow(argv[4]) + "&p=" + std::to_string(GetCurrentProcessId()) + "&i=";
            WaitForGo(store);
            int refused = 0;
            for (int i = 0; i < count; ++i)
                if (!client->AddItem(prefix + std::to_string(i), std::string()))
                    ++refused;
            return refused;
        }
        if (command == L"upload") {
            Lm::System::CRefPtr<CToolStore> client(new CToolStore(store, Narrow(argv[3])));
            WaitForGo(store);
            if (!client->StartUploadThread(20))
                return 3;
            while (client->GetStateFlag())
                Sleep(20);
            return 0;
        }
    } catch (const Lm::System::CException& e) {
        fwprintf(stderr, L"%ls\n", e.ToString().c_str());
        return 4;
    }
    return 2;
}
