#include "PinHook/UpdateShortcut.h"

#include "PinHook/PinHookContract.h"
#include "PinHook/ShortcutBranding.h"

namespace Lm { namespace PinHook {

unsigned UpdateShortcut(int argc, const wchar_t* const* argv)
{
    const int arguments = argc - 1;
    if (arguments == kClearArgumentCount) {
        CShortcutBranding(argv[kLinkArgument]).Clear();
        return kExitSuccess;
    }
    if (arguments >= kSetMinArgumentCount) {
        CShortcutBranding(argv[kLinkArgument]).Brand(argv[kModuleArgument], argv[kIconArgument]);
        return kExitSuccess;
    }
    return kExitFailure;
}

}} // namespace Lm::PinHook
