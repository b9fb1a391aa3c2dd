// Small questions about the machine and the running process. None of them throws: a failed
// query gives a neutral answer (empty text, false, -1).
#pragma once

#include <windows.h>
#include <cstdint>
#include <string>

namespace Lm {
namespace System {
namespace Win32 {

// "<major>.<minor>.<build>.<service pack major>.<service pack minor>"; empty when the query fails.
std::wstring GetOSVersionText();
// "<major>.<minor>"; empty when the query fails.
std::wstring GetOSVersionShort();
// True when this 32-bit process runs on 64-bit Windows; false when that cannot be told.
bool IsWow64();
// The size of a file in bytes, opened without access rights; -1 when it cannot be opened or sized.
std::int64_t GetFileSize64(const std::wstring& path);
// The size of an open file in bytes; -1 when it cannot be sized.
std::int64_t GetFileSize64(HANDLE file);
// True when the process token is elevated; false on any failure.
bool IsProcessElevated();
// The folder of the local server registered for a CLSID (HKCR\CLSID\{...}\LocalServer32, quotes
// removed, text before the last backslash). True only when the registration was read.
bool GetComServerPath(REFCLSID clsid, std::wstring& folder);

} // namespace Win32
} // namespace System
} // namespace Lm
