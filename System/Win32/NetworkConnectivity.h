// Internet connectivity as the system's network list manager sees it. The caller has initialised COM.
#pragma once

namespace Lm {
namespace System {
namespace Win32 {

enum NetworkConnectivity : int {
    ConnectivityNone = 0,          // no connection
    ConnectivityUnknown = 1,       // the network list manager could not be asked
    ConnectivityInternet = 2,      // connected to the Internet
    ConnectivityLocalNetwork = 3,  // a subnet or local network only
};

int GetNetworkConnectivity();
// A local network counts as online: connectivity 2 or 3.
bool IsConnectedToInternet();

} // namespace Win32
} // namespace System
} // namespace Lm
