// A folder in the temporary folder that carries the access list of Program Files (x86), so
// ordinary users cannot put files into it; it and everything in it go when the last reference does.
// Its list is protected and holds the source's entries only: nothing of what the temporary folder
// passes on to its children (a user's full control of its own temporary folder) reaches it, so
// nothing can be planted beside the programs that the elevated ones run from it.
#pragma once

#include <string>

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
    // Deletes the folder and its content (read-only files too); never throws.
    ~CSecureTemporaryFolder() override;

    // The folder, without a trailing backslash.
    const std::wstring& GetPath() const { return m_path; }

    // Whether the folder has the place and name of one made with this prefix: directly in the
    // temporary folder, named <prefix>-<GUID>. Names are compared without regard to case, long
    // and short forms alike. Never throws.
    static bool IsNamedAsMadeWith(const std::wstring& prefix, const std::wstring& folder);

private:
    std::wstring m_path;
};

} // namespace InstallUtils
} // namespace CommonAppLogic
} // namespace Lm
