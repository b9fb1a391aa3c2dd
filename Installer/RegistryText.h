// Reading text that other programs keep in the registry: a value that is missing, or that holds
// another type than REG_SZ or REG_EXPAND_SZ, or a key that cannot be opened, reads as the empty
// text. Only what the Installer itself writes may fail it.
#pragma once

#include <string>

#include "System/Win32/RegistryKey.h"

namespace Lm {
namespace Installer {

std::wstring ReadTextOrEmpty(System::Win32::CRegistryKey& key, const std::wstring& name);
std::wstring ReadTextOrEmpty(const std::wstring& keyPath, const std::wstring& name);

} // namespace Installer
} // namespace Lm
