// Keeps COM initialised on this thread for the life of the object (single-threaded apartment).
#pragma once

#include <objbase.h>

#include "System/ReferenceCounted.h"

namespace Lm {
namespace System {
namespace Win32 {

class CCOMInitializer : public CNonCopyable {
public:
    CCOMInitializer() : m_result(CoInitialize(nullptr)) {}
    // Only a successful CoInitialize (S_OK or S_FALSE) is balanced.
    ~CCOMInitializer()
    {
        if (SUCCEEDED(m_result))
            CoUninitialize();
    }
    HRESULT GetResult() const { return m_result; }

private:
    HRESULT m_result;
};

} // namespace Win32
} // namespace System
} // namespace Lm
