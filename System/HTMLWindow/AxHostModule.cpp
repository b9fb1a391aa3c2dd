#include "System/HTMLWindow/AxHostModule.h"

#include "System/Win32/CriticalSectionLock.h"

namespace Lm {
namespace System {
namespace HTMLWindow {

CAxHostModule::CAxHostModule() : m_instance(::GetModuleHandleW(nullptr)) {}

CRefPtr<CAxHostModule> GetAtlModuleHolder()
{
    // Both made on first use, so that static construction order does not matter; never freed
    // before the process ends.
    static Win32::CCriticalSectionLock* lock = new Win32::CCriticalSectionLock();
    static CRefPtr<CAxHostModule>* holder = new CRefPtr<CAxHostModule>();
    Win32::CScopedLock guard(*lock);
    if (!holder->IsSet())
        *holder = new CAxHostModule();
    return *holder;
}

} // namespace HTMLWindow
} // namespace System
} // namespace Lm
