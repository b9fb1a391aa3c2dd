// Reference counting shared by the library's objects: exceptions, events, threads, registry keys,
// streams. The count is changed with interlocked operations because these objects cross threads
// (a worker's exception is read and released by the thread that joins it).
#pragma once

#include <windows.h>

namespace Lm {
namespace System {

// Objects derived from this class are neither copied nor assigned.
class CNonCopyable {
protected:
    CNonCopyable() = default;
    ~CNonCopyable() = default;
public:
    CNonCopyable(const CNonCopyable&) = delete;
    CNonCopyable& operator=(const CNonCopyable&) = delete;
};

// Intrusive reference count. A new object (a copy too) starts at 0; the release that takes the
// count from 1 to 0 destroys the object through its virtual destructor. Objects that live on the
// stack or are thrown are never released through a pointer: their owner destroys them.
class CReferenceCounted : public CNonCopyable {
public:
    virtual ~CReferenceCounted() = default;

    void AddReference() const { ::InterlockedIncrement(&m_referenceCount); }

    void Release() const
    {
        if (::InterlockedDecrement(&m_referenceCount) == 0)
            delete this;
    }

    // The current count; for diagnostics and tests, never for decisions across threads.
    LONG GetReferenceCount() const { return m_referenceCount; }

protected:
    CReferenceCounted() = default;

private:
    mutable volatile LONG m_referenceCount = 0;
};

// The common base of the library's reference-counted objects; adds nothing.
class CObject : public CReferenceCounted {
protected:
    CObject() = default;
};

} // namespace System
} // namespace Lm
