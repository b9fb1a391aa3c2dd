#include "Installer/ComSession.h"

#include "System/Exception.h"

namespace Lm {
namespace Installer {

void CheckCoInitializeResult(HRESULT result)
{
    if (result == S_OK || result == S_FALSE || result == RPC_E_CHANGED_MODE)
        return;
    System::ThrowException("CoInitialize failed", "Installer\\Installer", 783, "CCOMInitializer::CCOMInitializer");
}

CComSession::CComSession() : m_com(new System::Win32::CCOMInitializer())
{
    CheckCoInitializeResult(m_com->GetResult());
    m_module = System::HTMLWindow::GetAtlModuleHolder();
    m_preloader = System::HTMLWindow::CDllPreloader::GetInstance();
}

CComSession::~CComSession()
{
    EndComSession();
}

void CComSession::EndComSession()
{
    if (!m_com)
        return;
    m_preloader = nullptr;
    m_module = nullptr;
    m_com.reset();
}

} // namespace Installer
} // namespace Lm
