#include "PinHook/WritableDesktopIniScope.h"

namespace Lm { namespace PinHook {

CWritableDesktopIniScope::CWritableDesktopIniScope(const std::wstring& linkPath)
    : m_desktopIni(linkPath), m_wasReadOnly(m_desktopIni.IsReadOnly())
{
    // A desktop.ini that does not exist yet counts as read-only: clearing then does nothing,
    // and one that the shell creates within the scope is marked read-only at its end.
    if (m_wasReadOnly)
        m_desktopIni.ClearReadOnly();
}

CWritableDesktopIniScope::~CWritableDesktopIniScope()
{
    if (m_wasReadOnly)
        m_desktopIni.SetReadOnly();
}

}} // namespace Lm::PinHook
