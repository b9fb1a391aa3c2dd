// Closes the WinINet handles of finished or abandoned attempts on a thread of its own, and keeps
// the threads of abandoned attempts until they have ended.
//
// Closing a request whose answer was not read to its end can take long: WinINet may read the
// rest of the answer first so that the connection can serve another request (Wine's does, with
// small non-blocking reads until the socket runs dry; on a fast link that is the whole rest of
// the file). No stream, restart or join may wait for that, so an attempt hands its handles over
// and goes on at once. The closer owns what it was given and touches nothing else; it lives until
// the process ends, and a close still under way then simply stops with the process.
#pragma once

#include "System/RefPtr.h"
#include "System/Win32/Handle.h"
#include "System/Win32/Thread.h"

namespace Lm { namespace System { namespace Net {

// The handles of one attempt; closed child first: request, connection, session.
struct InternetHandles {
    Win32::CInternetHandle request;
    Win32::CInternetHandle connect;
    Win32::CInternetHandle session;

    bool Empty() const { return !request && !connect && !session; }
};

class CInternetHandleCloser {
public:
    // Takes the handles (they are empty afterwards) and closes them: here when the answer was
    // read to its end (nothing is left to read, the close is quick), else on the closer's thread
    // in the order they were handed over (or here when no closer thread can be started).
    // Never throws.
    static void Close(InternetHandles& handles, bool answerEnded) noexcept;

    // Takes a started thread that its owner no longer waits for (one still blocked in a WinINet
    // call, which ends only at its time-out) and releases it once its thread has ended: the
    // object of a running thread may not go, nor be destroyed on its own thread. The release
    // happens on a thread of the closer's, one thread after another in the order they were
    // handed over (or here, after a wait, when no such thread can be started). Never throws.
    static void ReleaseWhenEnded(CRefPtr<Win32::CThread> thread) noexcept;
};

} } } // namespace Lm::System::Net
