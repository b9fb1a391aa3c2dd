#include "System/Win32/Event.h"

#include "System/Exception.h"

namespace Lm {
namespace System {
namespace Win32 {

namespace {
const char kSource[] = "Lm\\System\\Win32\\Event.cpp";
}

CEvent::CEvent(bool initialState, bool manualReset)
{
    m_handle = ::CreateEventW(nullptr, manualReset ? TRUE : FALSE, initialState ? TRUE : FALSE, nullptr);
    if (m_handle == nullptr)
        ThrowWin32Exception("Failed to create event: ", kSource, 33, "Lm::System::Win32::CEvent::CEvent");
}

CEvent::~CEvent()
{
    if (m_handle != nullptr)
        ::CloseHandle(m_handle);
}

void CEvent::Set()
{
    if (!::SetEvent(m_handle))
        ThrowWin32Exception("Failed to Set event: ", kSource, 41, "Lm::System::Win32::CEvent::Set");
}

void CEvent::Reset()
{
    if (!::ResetEvent(m_handle))
        ThrowWin32Exception("Failed to Reset event: ", kSource, 49, "Lm::System::Win32::CEvent::Reset");
}

} // namespace Win32
} // namespace System
} // namespace Lm
