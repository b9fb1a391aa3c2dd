#include "System/Win32/NetworkConnectivity.h"

#include "System/Win32/Handle.h"

#include <windows.h>
#include <initguid.h>
#include <netlistmgr.h>

namespace Lm {
namespace System {
namespace Win32 {

namespace {

constexpr DWORD kNetworkListManagerContext =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
constexpr int kLocalConnectivityMask = NLM_CONNECTIVITY_IPV4_SUBNET | NLM_CONNECTIVITY_IPV4_LOCALNETWORK |
                                       NLM_CONNECTIVITY_IPV6_SUBNET | NLM_CONNECTIVITY_IPV6_LOCALNETWORK;

int AskNetworkListManager()
{
    CComPtrT<INetworkListManager> manager;
    if (FAILED(CoCreateInstance(CLSID_NetworkListManager, nullptr, kNetworkListManagerContext,
                                IID_INetworkListManager, reinterpret_cast<void**>(manager.Receive()))) ||
        !manager)
        return ConnectivityUnknown;

    VARIANT_BOOL connected = VARIANT_FALSE;
    if (FAILED(manager->IsConnectedToInternet(&connected)))
        return ConnectivityUnknown;
    if (connected == VARIANT_TRUE)
        return ConnectivityInternet;
    if (connected != VARIANT_FALSE)
        return ConnectivityNone;

    NLM_CONNECTIVITY connectivity = NLM_CONNECTIVITY_DISCONNECTED;
    if (SUCCEEDED(manager->GetConnectivity(&connectivity)) && (connectivity & kLocalConnectivityMask))
        return ConnectivityLocalNetwork;
    return ConnectivityNone;
}

} // namespace

int GetNetworkConnectivity()
{
    // A probe: whatever a COM server throws at us means "unknown", never a failure of the caller.
    try {
        return AskNetworkListManager();
    } catch (...) {
        return ConnectivityUnknown;
    }
}

bool IsConnectedToInternet()
{
    const int connectivity = GetNetworkConnectivity();
    return connectivity == ConnectivityInternet || connectivity == ConnectivityLocalNetwork;
}

} // namespace Win32
} // namespace System
} // namespace Lm
