#include "System/Net/CookieCollection.h"

#include <cstring>

#include "System/Exception.h"

namespace Lm {
namespace System {
namespace Net {

namespace {

char* SkipBlanks(char* text)
{
    while (*text == ' ' || *text == '\t')
        ++text;
    return text;
}

} // namespace

void CCookieCollection::AddCookiesFromBuffer(char* buffer)
{
    if (buffer == nullptr)
        ThrowException("Buffer cannot be nullptr", "Lm\\System\\Net\\CookieCollection.cpp", 59,
                       "Lm::System::Net::CCookieCollection::AddCookiesFromBuffer");
    char* pair = buffer;
    while (*pair != '\0') {
        char* next = strchr(pair, ';');
        if (next != nullptr)
            *next++ = '\0';
        char* equals = strchr(pair, '=');
        if (equals != nullptr) {
            *equals = '\0';
            m_cookies.push_back(std::make_unique<CCookie>(SkipBlanks(pair), SkipBlanks(equals + 1)));
        }
        if (next == nullptr)
            break;
        pair = next;
    }
}

const CCookie* CCookieCollection::GetAt(size_t index) const
{
    return index < m_cookies.size() ? m_cookies[index].get() : nullptr;
}

void CCookieCollection::Clear()
{
    m_cookies.clear();
}

} // namespace Net
} // namespace System
} // namespace Lm
