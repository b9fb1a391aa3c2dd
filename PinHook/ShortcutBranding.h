// Brands one shortcut file of the main application, or takes the branding off again.
#pragma once

#include <string>

namespace Lm { namespace PinHook {

// Branding gives a link a description and a display name that the shell reads from a
// module's string table in the user's language, the link's icon, and the main application's
// user-model id. Every step goes ahead whatever the shell answered to the step before it: a
// link that cannot be loaded keeps its description and icon, but its localized name and
// user-model id are still written. Only a failed allocation throws.
// COM must be initialised on the calling thread as a single-threaded apartment.
class CShortcutBranding {
public:
    explicit CShortcutBranding(const std::wstring& linkPath);

    // Description "@<module>,-107", icon <iconPath> index 0, localized name string 105 of the
    // module, user-model id "Larchmeadow.Playdeck".
    void Brand(const std::wstring& modulePath, const std::wstring& iconPath) const;

    // Empty description and icon location, and no localized name.
    void Clear() const;

    // "@<module>,-107": the shell resource reference to the module's infotip string.
    static std::wstring DescriptionFor(const std::wstring& modulePath);

private:
    void RemoveLocalizedName() const;
    void SetLocalizedName(const std::wstring& modulePath) const;
    void SetAppUserModelId() const;
    void NotifyFolderUpdated() const;

    std::wstring m_linkPath;
};

}} // namespace Lm::PinHook
