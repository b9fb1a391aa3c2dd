// Park's cross-program contract: its event names, its command-line options and the command
// lines the suite sends it. Written by setup, the Installer and the Updater (they start Park),
// read by Park itself. Plain constants only, so that Park needs nothing but Windows to use it.
#pragma once

#include <wchar.h>

namespace Lm {
namespace Park {

// Named events, manual reset, created not signalled by the waiting Park; set by a signalling Park.
inline constexpr wchar_t EventTerminateName[] = L"Global\\LMPARKTERM";   // set: the waiting Park quits
inline constexpr wchar_t EventExecuteName[]   = L"Global\\LMPARKEXEC";   // set: it starts the program, then quits

// Option names, each after '-' or '/', compared without regard to case. Valued options take the
// next word, or a double-quoted text that may hold blanks (there is no escape for a quote).
inline constexpr wchar_t OptionExecute[]         = L"Execute";          // program to start (made absolute)
inline constexpr wchar_t OptionLaunchParams[]    = L"LaunchParams";     // argument text for that program
inline constexpr wchar_t OptionEventTerminate[]  = L"EventTerminate";   // name of the terminate event
inline constexpr wchar_t OptionEventExecute[]    = L"EventExecute";     // name of the execute event
inline constexpr wchar_t OptionSignalTerminate[] = L"SignalTerminate";  // signal mode: set the terminate event
inline constexpr wchar_t OptionSignalExecute[]   = L"SignalExecute";    // signal mode: set the execute event

// Longest option value Park accepts, and longest full path of the program it starts (characters,
// terminator excluded). A command line with a longer value is refused as a whole: Park then
// creates, sets and starts nothing and exits with E_FAIL.
inline constexpr size_t MaxValueLength       = 519;
inline constexpr size_t MaxExecuteFullLength = 518;

// Exit codes: 0, or E_FAIL (0x80004005) when the wait fails or the command line is refused.
inline constexpr unsigned long ExitSuccess = 0;
inline constexpr unsigned long ExitFailure = 0x80004005UL;

// The signal command lines the suite sends (setup, the Installer, the Updater).
inline constexpr wchar_t SignalTerminateCommandLine[] = L"/EventTerminate \"Global\\LMPARKTERM\" /SignalTerminate";
inline constexpr wchar_t SignalExecuteCommandLine[]   = L"/EventExecute \"Global\\LMPARKEXEC\" /SignalExecute";

// The wait command line is, with the program's full path and its arguments filled in
// (a format for _snwprintf, where %s is a wide text):
//   /Execute "<program>" /LaunchParams "<arguments>" /EventTerminate "Global\LMPARKTERM" /EventExecute "Global\LMPARKEXEC"
inline constexpr wchar_t WaitCommandLineFormat[] =
    L"/Execute \"%s\" /LaunchParams \"%s\" /EventTerminate \"Global\\LMPARKTERM\" /EventExecute \"Global\\LMPARKEXEC\"";

} // namespace Park
} // namespace Lm
