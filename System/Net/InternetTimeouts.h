// The WinINet time-outs that every request of the library sets on each of its handles: Windows
// passes a session's time-outs on to its connection and request handles, Wine 8 heeds only those
// set on the request handle itself. A stalled server ends a blocked connect, send or
// read after these, which is also what bounds every wait for a thread that makes such a call:
// no handle is closed from another thread while a call may still use it (WinINet may give a
// closed handle's value to a new handle at once), so a blocked call ends only by its time-out.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>

namespace Lm { namespace System { namespace Net {

const DWORD kInternetConnectTimeoutMs = 60000;
const DWORD kInternetSendTimeoutMs = 30000;
const DWORD kInternetReceiveTimeoutMs = 30000;

// A package download that receives fewer than kProgressBytes within this long fails: the same
// order as the receive time-out, so a trickling server is ended as a silent one is.
const DWORD kDownloadStallBoundMs = 30000;
const std::uint64_t kProgressBytes = 65536;

// Sets the time-outs on a session, connection or request handle; false when WinINet refused one
// of them. A download's stall bound below the shipped one shortens them with it (send and
// receive the bound, connect twice the bound), so that no blocked call outlasts the bound by
// much; the shipped bound gives the three values above.
inline bool SetInternetTimeouts(HINTERNET handle, DWORD stallBoundMs = kDownloadStallBoundMs)
{
    const bool shorter = stallBoundMs != 0 && stallBoundMs < kDownloadStallBoundMs;
    DWORD connect = shorter ? 2 * stallBoundMs : kInternetConnectTimeoutMs;
    DWORD send = shorter ? stallBoundMs : kInternetSendTimeoutMs;
    DWORD receive = shorter ? stallBoundMs : kInternetReceiveTimeoutMs;
    return InternetSetOptionA(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof(DWORD)) &&
           InternetSetOptionA(handle, INTERNET_OPTION_SEND_TIMEOUT, &send, sizeof(DWORD)) &&
           InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof(DWORD));
}

} } } // namespace Lm::System::Net
