// The intrusive pointer of the library: holds one reference to a CReferenceCounted object.
#pragma once

#include <cstddef>
#include <utility>

#include "System/ReferenceCounted.h"

namespace Lm {
namespace System {

template <typename T>
class CRefPtr {
public:
    CRefPtr() noexcept = default;
    CRefPtr(std::nullptr_t) noexcept {}
    CRefPtr(T* object) : m_object(object)
    {
        if (m_object)
            m_object->AddReference();
    }
    CRefPtr(const CRefPtr& other) : CRefPtr(other.m_object) {}
    template <typename U>
    CRefPtr(const CRefPtr<U>& other) : CRefPtr(other.Get()) {}
    CRefPtr(CRefPtr&& other) noexcept : m_object(other.m_object) { other.m_object = nullptr; }

    ~CRefPtr()
    {
        if (m_object)
            m_object->Release();
    }

    // The new reference is taken before the old one is released, so assigning the held pointer,
    // or an object that only the old pointer kept alive, is safe.
    CRefPtr& operator=(T* object)
    {
        if (object == m_object)
            return *this;
        if (object)
            object->AddReference();
        T* old = m_object;
        m_object = object;
        if (old)
            old->Release();
        return *this;
    }
    CRefPtr& operator=(const CRefPtr& other) { return *this = other.m_object; }
    template <typename U>
    CRefPtr& operator=(const CRefPtr<U>& other) { return *this = other.Get(); }
    CRefPtr& operator=(CRefPtr&& other) noexcept
    {
        if (this != &other) {
            T* old = m_object;
            m_object = other.m_object;
            other.m_object = nullptr;
            if (old)
                old->Release();
        }
        return *this;
    }
    CRefPtr& operator=(std::nullptr_t) { return *this = static_cast<T*>(nullptr); }

    T* Get() const noexcept { return m_object; }
    T* operator->() const noexcept { return m_object; }
    T& operator*() const noexcept { return *m_object; }
    bool IsSet() const noexcept { return m_object != nullptr; }
    explicit operator bool() const noexcept { return m_object != nullptr; }

private:
    T* m_object = nullptr;
};

template <typename T, typename U>
bool operator==(const CRefPtr<T>& a, const CRefPtr<U>& b) { return a.Get() == b.Get(); }
template <typename T, typename U>
bool operator!=(const CRefPtr<T>& a, const CRefPtr<U>& b) { return a.Get() != b.Get(); }
template <typename T>
bool operator==(const CRefPtr<T>& a, std::nullptr_t) { return a.Get() == nullptr; }
template <typename T>
bool operator!=(const CRefPtr<T>& a, std::nullptr_t) { return a.Get() != nullptr; }

// Makes a new object held by a CRefPtr: CRefPtr<CEvent> e = MakeRef<CEvent>(false, true);
template <typename T, typename... Args>
CRefPtr<T> MakeRef(Args&&... args)
{
    return CRefPtr<T>(new T(std::forward<Args>(args)...));
}

} // namespace System
} // namespace Lm
