#include "Installer/RegistryText.h"

#include "System/Exception.h"

namespace Lm {
namespace Installer {

std::wstring ReadTextOrEmpty(System::Win32::CRegistryKey& key, const std::wstring& name)
{
    try {
        return key.GetString(name, L"");
    } catch (const System::CException&) {
        return std::wstring();
    }
}

std::wstring ReadTextOrEmpty(const std::wstring& keyPath, const std::wstring& name)
{
    try {
        System::Win32::CRegistryKey key(keyPath, true);
        return key.GetString(name, L"");
    } catch (const System::CException&) {
        return std::wstring();
    }
}

} // namespace Installer
} // namespace Lm
