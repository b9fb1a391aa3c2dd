// setup's main flow: the registry write probe, the DP, the secure temporary folder T with the
// Installer and Park unpacked into it, Park armed to start the main application, the local patch,
// and the Installer run and waited for. Throws Lm::System::CException when one of its own steps
// fails; the Installer's result does not change the outcome.
#pragma once

namespace Lm {
namespace Setup {

void RunSetup(int argc, const wchar_t* const* argv);

} // namespace Setup
} // namespace Lm
