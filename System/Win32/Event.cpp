#include "System/Win32/Event.h"

#include "System/Exception.h"
#include "System/String/AnsiWide.h"

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

CEvent::CEvent(bool initialState, bool manualReset, const std::wstring& name)
{
    m_handle = ::CreateEventW(nullptr, manualReset ? TRUE : FALSE, initialState ? TRUE : FALSE, name.c_str());
    if (m_handle == nullptr) {
        const DWORD code = ::GetLastError();
        const std::string prefix = "Failed to create event: " + Utf16ToUtf8(name) + "  ";
        ThrowWin32Exception(prefix.c_str(), code, kSource, 24, "Lm::System::Win32::CEvent::CEvent");
    }
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
