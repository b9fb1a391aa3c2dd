// A folder in the temporary folder that carries the access list of Program Files (x86), so
// ordinary users cannot put files into it; it and everything in it go when the last reference does.
// Its list is protected and holds the source's entries only: nothing of what the temporary folder
// passes on to its children (a user's full control of its own temporary folder) reaches it, so
// nothing can be planted beside the programs that the elevated ones run from it. The folder is
// held from the moment it is made until it goes (System/Io/HeldFolder.h): the user whose
// temporary folder holds it may rename or delete any child there, whatever its list says, but not
// a held one, so nobody can put a folder of their own in its place.
#pragma once

#include <windows.h>

#include <string>

#include "System/Io/HeldFolder.h"
#include "System/ReferenceCounted.h"

namespace Lm {
namespace CommonAppLogic {
namespace InstallUtils {

class CSecureTemporaryFolder : public Lm::System::CReferenceCounted {
public:
    // Creates <temp path><prefix>-<new GUID>; throws when the access list cannot be read or no
    // folder could be made in ten tries.
    explicit CSecureTemporaryFolder(const std::wstring& prefix);
    // The same with the access list of another folder (its entries become the new folder's own).
    CSecureTemporaryFolder(const std::wstring& prefix, const std::wstring& accessListSource);
    // The same with that list itself; a null list (everyone may do everything) throws, as a
    // source folder without one does.
    CSecureTemporaryFolder(const std::wstring& prefix, const ACL* accessList);
    // Deletes the folder's content (read-only files too), then the held folder itself; what was
    // put in place of something it made is removed, never followed. Never throws.
    ~CSecureTemporaryFolder() override;

    // The folder, without a trailing backslash, as the system resolves it (no junction in it).
    const std::wstring& GetPath() const { return m_folder.GetPath(); }

    // Whether the folder has the place and name of one made with this prefix: directly in the
    // temporary folder, named <prefix>-<GUID>. Names are compared without regard to case, long
    // and short forms alike. Never throws.
    static bool IsNamedAsMadeWith(const std::wstring& prefix, const std::wstring& folder);

private:
    // Makes and holds the folder with a protected copy of the list; throws as the constructors do.
    void Create(const std::wstring& prefix, const ACL* accessList);

    Lm::System::IO::CHeldFolder m_folder;
};

} // namespace InstallUtils
} // namespace CommonAppLogic
} // namespace Lm
