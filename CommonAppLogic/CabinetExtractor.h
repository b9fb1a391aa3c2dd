// A cabinet (MSZIP, as gcab makes them) held in memory, unpacked by the cabinet API of Windows
// (cabinet.dll's FDI). setup carries the Installer so: its first download stays small.
#pragma once

#include <windows.h>

#include <string>

namespace Lm {
namespace CommonAppLogic {

class CCabinetExtractor {
public:
    // The bytes stay the caller's and must outlive the extractor.
    CCabinetExtractor(const void* bytes, DWORD size);

    // Writes the cabinet's one file to the path (a file there is replaced; the folder must exist).
    // The bytes go to "<path>.unpacking" first, which becomes the path only once the whole file
    // came out intact. Throws Lm::System::CException when the cabinet is damaged, holds other than
    // one file, or a write fails; the path is then left as it was and the partial file is gone.
    void ExtractTo(const std::wstring& path) const;

private:
    const BYTE* m_bytes;
    DWORD m_size;
};

} // namespace CommonAppLogic
} // namespace Lm
