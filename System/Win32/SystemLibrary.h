// Where the suite's programs take their libraries from. Every program starts by limiting the
// library search of its process to the system folder (System/Win32/ProgramStart.cpp), before the C
// runtime or any static constructor runs; it links statically only known DLLs, which Windows maps
// from the system's own copies whatever the search path says, and every other system library
// is delay-loaded through LoadSystemLibrary. So no library beside a program, in its current
// folder or on the PATH ever runs inside it.
#pragma once

#include <windows.h>

namespace Lm {
namespace System {
namespace Win32 {

// Limits the search for libraries loaded by name to the system folder (SetDefaultDllDirectories
// with LOAD_LIBRARY_SEARCH_SYSTEM32; Windows 7 has it only with update KB2533623, so it is looked
// up at run time) and takes the current folder out of the search in any case. Returns whether
// the search is limited. Uses kernel32 only: it runs before the C runtime has started.
bool RestrictDllSearchToSystemFolder();

// Whether RestrictDllSearchToSystemFolder limited the search of this process.
bool IsDllSearchRestricted();

// Loads the library of that file name ("wininet.dll") from the system folder, by its full path,
// with its own imports taken from the system folder too; null when it cannot be loaded, or when
// the name is not a plain file name. Never searches the program's folder. Allocates nothing and
// throws nothing: the delay-load helper calls it from inside C code.
HMODULE LoadSystemLibrary(const wchar_t* fileName);

} // namespace Win32
} // namespace System
} // namespace Lm
