// The cookies of one host, in the order they were added (a name may come twice).
#pragma once

#include <memory>
#include <vector>

#include "System/Net/Cookie.h"
#include "System/ReferenceCounted.h"

namespace Lm {
namespace System {
namespace Net {

class CCookieCollection : public CNonCopyable {
public:
    CCookieCollection() = default;
    ~CCookieCollection() { Clear(); }

    // Adds the "name=value" pairs of a "Cookie:" text, separated by ';'. The buffer is cut up in
    // place (terminators replace ';' and '='). A pair without '=' is skipped; leading blanks and
    // TABs of names and values go, trailing ones stay. A null buffer throws.
    void AddCookiesFromBuffer(char* buffer);

    size_t GetCount() const { return m_cookies.size(); }
    // The cookie at index, or null when index is not below the count.
    const CCookie* GetAt(size_t index) const;
    void Clear();

private:
    std::vector<std::unique_ptr<CCookie>> m_cookies;
};

} // namespace Net
} // namespace System
} // namespace Lm
