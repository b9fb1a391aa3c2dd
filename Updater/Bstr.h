// An owned BSTR made from a wide text; the install service's call takes three of them.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

#include "System/Exception.h"

namespace Lm {
namespace Updater {

class CBstr {
public:
    // Throws (E_OUTOFMEMORY as the last error) when the string cannot be allocated.
    explicit CBstr(const std::wstring& text) : m_text(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())))
    {
        if (m_text == nullptr) {
            SetLastError(static_cast<DWORD>(E_OUTOFMEMORY));
            System::ThrowException("SysAllocStringLen failed", "Lm\\Updater\\Bstr.h", 20, "Lm::Updater::CBstr::CBstr");
        }
    }
    ~CBstr() { SysFreeString(m_text); }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;
    BSTR Get() const { return m_text; }

private:
    BSTR m_text;
};

} // namespace Updater
} // namespace Lm
