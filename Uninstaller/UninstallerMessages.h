// The Uninstall program's message table: the question, the finished text and the caption of its
// two message boxes, one row per UI language index.
#pragma once

#include <windows.h>
#include <string>

namespace Lm {
namespace Uninstaller {

struct CUninstallerMessages {
    std::wstring question;
    std::wstring finished;
    std::wstring caption;
};

// The row of the given UI language index (0-9) from the string table of the module; an index
// outside 0-9 gives the English row.
CUninstallerMessages GetUninstallerMessages(HMODULE module, int languageIndex);

} // namespace Uninstaller
} // namespace Lm
