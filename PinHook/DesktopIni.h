// The desktop.ini in the folder of a link, where the shell records the link's localized name.
// A read-only desktop.ini must be made writable while its localized names change.
#pragma once

#include <string>

namespace Lm { namespace PinHook {

class CDesktopIni {
public:
    // The desktop.ini beside the given link (the link's folder, then "desktop.ini").
    explicit CDesktopIni(const std::wstring& linkPath);

    // The folder that holds a link, as PathRemoveFileSpecW gives it ("" for a bare file name).
    static std::wstring FolderOf(const std::wstring& linkPath);

    const std::wstring& Path() const { return m_path; }

    // True when the file has the read-only attribute, and also when it does not exist (or its
    // attributes cannot be read): a missing desktop.ini counts as read-only, so one that the
    // shell creates while the caller holds it writable is marked read-only afterwards.
    bool IsReadOnly() const;

    // Both read the attributes afresh and change only the read-only bit of a file that exists
    // now; a missing file is left missing. They never throw; they report whether the file now
    // has the wanted state.
    bool ClearReadOnly() const;
    bool SetReadOnly() const;

private:
    std::wstring m_path;
};

}} // namespace Lm::PinHook
