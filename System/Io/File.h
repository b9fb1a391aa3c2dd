// File operations over the Win32 file calls: existence, deletion with retries, copy.
#pragma once

#include <windows.h>

#include <string>

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
};

} // namespace IO
} // namespace System
} // namespace Lm
