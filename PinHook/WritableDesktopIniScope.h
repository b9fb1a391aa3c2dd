// Keeps the desktop.ini beside a link writable while the shell changes the link's localized name.
#pragma once

#include "PinHook/DesktopIni.h"

#include <string>

namespace Lm { namespace PinHook {

// When the desktop.ini counts as read-only (CDesktopIni::IsReadOnly, a missing one included),
// clears its read-only bit for the scope and sets it again when the scope ends, also when an
// exception passes. Both steps read the file's attributes at that moment.
class CWritableDesktopIniScope {
public:
    explicit CWritableDesktopIniScope(const std::wstring& linkPath);
    ~CWritableDesktopIniScope();
    CWritableDesktopIniScope(const CWritableDesktopIniScope&) = delete;
    CWritableDesktopIniScope& operator=(const CWritableDesktopIniScope&) = delete;

    bool WasReadOnly() const { return m_wasReadOnly; }

private:
    CDesktopIni m_desktopIni;
    bool m_wasReadOnly;
};

}} // namespace Lm::PinHook
