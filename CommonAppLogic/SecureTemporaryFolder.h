// A folder in the temporary folder that carries the access list of Program Files (x86), so
// ordinary users cannot put files into it; it and everything in it go when the last reference does.
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
    // The same with the access list of another folder.
    CSecureTemporaryFolder(const std::wstring& prefix, const std::wstring& accessListSource);
    // Deletes the folder and its content (read-only files too); never throws.
    ~CSecureTemporaryFolder() override;

    // The folder, without a trailing backslash.
    const std::wstring& GetPath() const { return m_path; }

private:
    std::wstring m_path;
};

} // namespace InstallUtils
} // namespace CommonAppLogic
} // namespace Lm
