// The WinINet time-outs that every request of the library sets on each of its handles: Windows
// passes a session's time-outs on to its connection and request handles, Wine 8 heeds only those
// set on the request handle itself. A stalled server ends a blocked connect, send or
// read after these, which is also what bounds every wait for a thread that makes such a call:
// closing a handle from another thread does not end a blocked call everywhere (Wine's does not).
#pragma once

#include <windows.h>
#include <wininet.h>

namespace Lm { namespace System { namespace Net {

const DWORD kInternetConnectTimeoutMs = 60000;
const DWORD kInternetSendTimeoutMs = 30000;
const DWORD kInternetReceiveTimeoutMs = 30000;

// Sets the three time-outs above on a session, connection or request handle; false when WinINet
// refused one of them.
inline bool SetInternetTimeouts(HINTERNET handle)
{
    DWORD connect = kInternetConnectTimeoutMs, send = kInternetSendTimeoutMs, receive = kInternetReceiveTimeoutMs;
    return InternetSetOptionA(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof(DWORD)) &&
           InternetSetOptionA(handle, INTERNET_OPTION_SEND_TIMEOUT, &send, sizeof(DWORD)) &&
           InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof(DWORD));
}

} } } // namespace Lm::System::Net
