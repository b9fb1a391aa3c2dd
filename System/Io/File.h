// File operations over the Win32 file calls: existence, deletion with retries, copy, holding.
#pragma once

#include <windows.h>

#include <string>

#include "System/Win32/Handle.h"

namespace Lm {
namespace System {
namespace IO {

class CFile {
public:
    // The path names an existing file (not a folder).
    static bool Exists(const std::wstring& path);
    // DeleteFileW, retried up to tries times (0 counts as 1) with sleeps of 50, 100, 150... ms;
    // throws "Could not DeleteFileW \"<path>\"" after the last failure. Attributes are not
    // touched: a read-only file fails every try.
    static bool DeleteAFile(const std::wstring& path, int tries);
    // CopyFileW; the result is not reported.
    static void Copy(const std::wstring& source, const std::wstring& destination, bool overwrite);
    // Opens the file for reading and shares reading only: while the handle is held nobody can
    // write, rename or delete the file, and a program can still be started from it. An invalid
    // handle when the file cannot be opened so (missing, or open for writing elsewhere).
    static Win32::CHandleGuard Hold(const std::wstring& path);
};

} // namespace IO
} // namespace System
} // namespace Lm
