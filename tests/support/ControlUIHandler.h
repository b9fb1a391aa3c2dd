// The UI handler a hosted control finds: its client site asked for IDocHostUIHandler, as the
// browser control asks it. Header only; for the tests of the HTML window library.
#pragma once

#include <windows.h>
#include <mshtmhst.h>
#include <ole2.h>

#include "System/Win32/Handle.h"

namespace LmTest {

// The handler behind the client site of the control (the browser, or any of its interfaces);
// empty when the control has no site or the site no handler.
inline Lm::System::Win32::CComPtrT<IDocHostUIHandler> ControlUIHandler(IUnknown* control)
{
    using Lm::System::Win32::CComPtrT;
    CComPtrT<IDocHostUIHandler> handler;
    CComPtrT<IOleObject> object;
    if (!control || FAILED(control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(object.Receive()))))
        return handler;
    CComPtrT<IOleClientSite> site;
    if (FAILED(object->GetClientSite(site.Receive())) || !site)
        return handler;
    site->QueryInterface(IID_IDocHostUIHandler, reinterpret_cast<void**>(handler.Receive()));
    return handler;
}

} // namespace LmTest
