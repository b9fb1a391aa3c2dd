#include "Uninstaller/UninstallerMessages.h"

#include "Uninstaller/UninstallerResource.h"

namespace Lm {
namespace Uninstaller {

namespace {

std::wstring LoadText(HMODULE module, UINT id)
{
    // With a zero buffer size LoadStringW hands out a pointer into the resource itself.
    const wchar_t* text = nullptr;
    int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text)
        return std::wstring();
    return std::wstring(text, static_cast<size_t>(length));
}

} // namespace

CUninstallerMessages GetUninstallerMessages(HMODULE module, int languageIndex)
{
    if (languageIndex < 0 || languageIndex >= UNINSTALL_LANGUAGE_COUNT)
        languageIndex = 0;
    CUninstallerMessages row;
    row.question = LoadText(module, IDS_UNINSTALL_QUESTION_BASE + languageIndex);
    row.finished = LoadText(module, IDS_UNINSTALL_FINISHED_BASE + languageIndex);
    row.caption = LoadText(module, IDS_UNINSTALL_CAPTION_BASE + languageIndex);
    return row;
}

} // namespace Uninstaller
} // namespace Lm
