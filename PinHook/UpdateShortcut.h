// PinHook's main flow: the mode is chosen by the number of command-line arguments.
#pragma once

namespace Lm { namespace PinHook {

// argc and argv as a C program receives them (argv[0] is the program). One argument clears the
// link named by it; three or more brand it; any other count does nothing. Returns the exit
// code; a failed allocation throws.
unsigned UpdateShortcut(int argc, const wchar_t* const* argv);

}} // namespace Lm::PinHook
