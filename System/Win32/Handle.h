// One owner for every kind of handle: CHandleT<Traits> closes what it holds when it goes, and
// each kind of handle is a traits struct and a one-line alias below. Nothing closes a handle by
// hand on an early-return path.
#pragma once

#include <windows.h>
#include <wincrypt.h>
#include <unknwn.h>
#include <objbase.h>
#include <oleauto.h>
#include <wininet.h>

#include <cstdio>
#include <utility>

namespace Lm {
namespace System {
namespace Win32 {

template <typename Traits>
class CHandleT {
public:
    using HandleType = typename Traits::HandleType;

    CHandleT() noexcept : m_handle(Traits::Invalid()) {}
    explicit CHandleT(HandleType handle) noexcept : m_handle(handle) {}
    ~CHandleT() { Close(); }

    CHandleT(const CHandleT&) = delete;
    CHandleT& operator=(const CHandleT&) = delete;
    CHandleT(CHandleT&& other) noexcept : m_handle(other.Detach()) {}
    CHandleT& operator=(CHandleT&& other) noexcept
    {
        if (this != &other)
            Reset(other.Detach());
        return *this;
    }

    HandleType Get() const noexcept { return m_handle; }
    HandleType operator->() const noexcept { return m_handle; }
    bool IsValid() const noexcept { return Traits::IsValid(m_handle); }
    explicit operator bool() const noexcept { return IsValid(); }

    // Holds the given handle, then closes the one held before (when valid). The owner holds its
    // new value while the old one is closed, so a release that calls back into the owner's code
    // (a COM object's last Release) never finds the old one still here.
    void Reset(HandleType handle = Traits::Invalid()) noexcept
    {
        if (handle == m_handle)
            return;
        HandleType old = m_handle;
        m_handle = handle;
        if (Traits::IsValid(old))
            Traits::Close(old);
    }

    // Gives the handle up without closing it.
    HandleType Detach() noexcept
    {
        HandleType handle = m_handle;
        m_handle = Traits::Invalid();
        return handle;
    }

    // For out-parameters: closes what is held and returns the address to receive a new handle.
    HandleType* Receive() noexcept
    {
        Close();
        return &m_handle;
    }

    // Empties the owner first, then closes what it held (see Reset).
    void Close() noexcept { Reset(Traits::Invalid()); }

private:
    HandleType m_handle;
};

// Kernel handles: files, events, processes, threads, mutexes. Both null and INVALID_HANDLE_VALUE
// mean "none" (CreateFileW fails with the one, CreateEventW with the other).
struct CKernelHandleTraits {
    using HandleType = HANDLE;
    static HANDLE Invalid() noexcept { return nullptr; }
    static bool IsValid(HANDLE h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) noexcept { ::CloseHandle(h); }
};

struct CFindHandleTraits {
    using HandleType = HANDLE;
    static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HANDLE h) noexcept { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void Close(HANDLE h) noexcept { ::FindClose(h); }
};

// Registry keys opened or created by the caller (never a predefined root key).
struct CRegKeyTraits {
    using HandleType = HKEY;
    static HKEY Invalid() noexcept { return nullptr; }
    static bool IsValid(HKEY h) noexcept { return h != nullptr; }
    static void Close(HKEY h) noexcept { ::RegCloseKey(h); }
};

struct CModuleTraits {
    using HandleType = HMODULE;
    static HMODULE Invalid() noexcept { return nullptr; }
    static bool IsValid(HMODULE h) noexcept { return h != nullptr; }
    static void Close(HMODULE h) noexcept { ::FreeLibrary(h); }
};

// Memory from LocalAlloc and from the calls that allocate with it (FormatMessage, SDDL).
struct CLocalMemoryTraits {
    using HandleType = HLOCAL;
    static HLOCAL Invalid() noexcept { return nullptr; }
    static bool IsValid(HLOCAL h) noexcept { return h != nullptr; }
    static void Close(HLOCAL h) noexcept { ::LocalFree(h); }
};

struct CCryptProviderTraits {
    using HandleType = HCRYPTPROV;
    static HCRYPTPROV Invalid() noexcept { return 0; }
    static bool IsValid(HCRYPTPROV h) noexcept { return h != 0; }
    static void Close(HCRYPTPROV h) noexcept { ::CryptReleaseContext(h, 0); }
};

struct CCryptHashTraits {
    using HandleType = HCRYPTHASH;
    static HCRYPTHASH Invalid() noexcept { return 0; }
    static bool IsValid(HCRYPTHASH h) noexcept { return h != 0; }
    static void Close(HCRYPTHASH h) noexcept { ::CryptDestroyHash(h); }
};

struct CCertContextTraits {
    using HandleType = PCCERT_CONTEXT;
    static PCCERT_CONTEXT Invalid() noexcept { return nullptr; }
    static bool IsValid(PCCERT_CONTEXT h) noexcept { return h != nullptr; }
    static void Close(PCCERT_CONTEXT h) noexcept { ::CertFreeCertificateContext(h); }
};

struct CCertStoreTraits {
    using HandleType = HCERTSTORE;
    static HCERTSTORE Invalid() noexcept { return nullptr; }
    static bool IsValid(HCERTSTORE h) noexcept { return h != nullptr; }
    static void Close(HCERTSTORE h) noexcept { ::CertCloseStore(h, 0); }
};

struct CCryptMsgTraits {
    using HandleType = HCRYPTMSG;
    static HCRYPTMSG Invalid() noexcept { return nullptr; }
    static bool IsValid(HCRYPTMSG h) noexcept { return h != nullptr; }
    static void Close(HCRYPTMSG h) noexcept { ::CryptMsgClose(h); }
};

// Memory that COM hands out (StringFromCLSID, SHGetKnownFolderPath): freed with CoTaskMemFree.
template <typename T>
struct CCoTaskMemTraits {
    using HandleType = T*;
    static T* Invalid() noexcept { return nullptr; }
    static bool IsValid(T* p) noexcept { return p != nullptr; }
    static void Close(T* p) noexcept { ::CoTaskMemFree(p); }
};

// COM interface pointers: the owner holds one reference and releases it.
template <typename Interface>
struct CComTraits {
    using HandleType = Interface*;
    static Interface* Invalid() noexcept { return nullptr; }
    static bool IsValid(Interface* p) noexcept { return p != nullptr; }
    static void Close(Interface* p) noexcept { p->Release(); }
};

// OLE Automation strings (SysAllocString, strings a COM call hands out): SysFreeString. Link
// with oleaut32.
struct CBstrTraits {
    using HandleType = BSTR;
    static BSTR Invalid() noexcept { return nullptr; }
    static bool IsValid(BSTR s) noexcept { return s != nullptr; }
    static void Close(BSTR s) noexcept { ::SysFreeString(s); }
};

// WinINet handles (session, connection, request): InternetCloseHandle. Link with wininet.
struct CInternetHandleTraits {
    using HandleType = HINTERNET;
    static HINTERNET Invalid() noexcept { return nullptr; }
    static bool IsValid(HINTERNET h) noexcept { return h != nullptr; }
    static void Close(HINTERNET h) noexcept { ::InternetCloseHandle(h); }
};

// C runtime streams (_wfopen_s, _fdopen): fclose.
struct CCrtFileTraits {
    using HandleType = FILE*;
    static FILE* Invalid() noexcept { return nullptr; }
    static bool IsValid(FILE* f) noexcept { return f != nullptr; }
    static void Close(FILE* f) noexcept { std::fclose(f); }
};

using CHandleGuard = CHandleT<CKernelHandleTraits>;
using CInternetHandle = CHandleT<CInternetHandleTraits>;
using CCrtFile = CHandleT<CCrtFileTraits>;
using CRegKeyHandle = CHandleT<CRegKeyTraits>;
using CModuleHandle = CHandleT<CModuleTraits>;
using CLocalMemory = CHandleT<CLocalMemoryTraits>;
using CCryptProvider = CHandleT<CCryptProviderTraits>;
using CCryptHash = CHandleT<CCryptHashTraits>;
using CCertContext = CHandleT<CCertContextTraits>;
using CCertStore = CHandleT<CCertStoreTraits>;
using CCryptMsg = CHandleT<CCryptMsgTraits>;
using CBstr = CHandleT<CBstrTraits>;
template <typename Interface>
using CComPtrT = CHandleT<CComTraits<Interface>>;
template <typename T>
using CCoTaskMemT = CHandleT<CCoTaskMemTraits<T>>;

} // namespace Win32

namespace IO {
using CFindHandle = Win32::CHandleT<Win32::CFindHandleTraits>;
} // namespace IO

} // namespace System
} // namespace Lm
