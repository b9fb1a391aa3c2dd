// Loads the system libraries that the browser control needs before the control is made, so that
// each comes from the system folder: every one by its full path there (a bare name would take a
// library planted in the program's folder or in the DLL search path first). One process-wide
// object, shared through reference counts; the last release frees the libraries.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "System/RefPtr.h"
#include "System/ReferenceCounted.h"
#include "System/Win32/Handle.h"

namespace Lm {
namespace System {
namespace HTMLWindow {

class CDllPreloader : public CReferenceCounted {
public:
    // The process-wide preloader, made (and the libraries loaded) when there is none.
    static CRefPtr<CDllPreloader> GetInstance();

    // The 19 full paths, in loading order: the system folder + "\" + name (".dll" added to a
    // name without extension).
    static std::vector<std::wstring> GetLibraryPaths();

    // The libraries that loaded.
    std::vector<HMODULE> GetModules() const;

    ~CDllPreloader() override;

private:
    CDllPreloader();

    std::vector<Win32::CModuleHandle> m_modules;   // each freed when the object goes
};

} // namespace HTMLWindow
} // namespace System
} // namespace Lm
