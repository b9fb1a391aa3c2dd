// Cookies kept per host name (compared exactly); an HTTP request with a container attached sends
// the host's cookies and stores the ones it sent.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "System/Net/CookieCollection.h"
#include "System/Net/Uri.h"
#include "System/ReferenceCounted.h"

namespace Lm {
namespace System {
namespace Net {

class CCookieContainer : public CReferenceCounted {
public:
    // The collection of uri's host, or null when there is none.
    CCookieCollection* FindCollection(const CUri& uri);
    // The same, made (empty) when the host has none yet.
    CCookieCollection& GetOrCreateCollection(const CUri& uri);

private:
    std::map<std::string, std::unique_ptr<CCookieCollection>> m_collections;
};

} // namespace Net
} // namespace System
} // namespace Lm
