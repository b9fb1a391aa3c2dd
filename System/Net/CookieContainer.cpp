#include "System/Net/CookieContainer.h"

namespace Lm {
namespace System {
namespace Net {

CCookieCollection* CCookieContainer::FindCollection(const CUri& uri)
{
    auto found = m_collections.find(uri.GetHost());
    return found == m_collections.end() ? nullptr : found->second.get();
}

CCookieCollection& CCookieContainer::GetOrCreateCollection(const CUri& uri)
{
    std::unique_ptr<CCookieCollection>& slot = m_collections[uri.GetHost()];
    if (!slot)
        slot = std::make_unique<CCookieCollection>();
    return *slot;
}

} // namespace Net
} // namespace System
} // namespace Lm
