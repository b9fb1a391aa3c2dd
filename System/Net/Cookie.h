// One name/value cookie, owned by its CCookieCollection.
#pragma once

#include <string>

namespace Lm {
namespace System {
namespace Net {

class CCookie {
public:
    CCookie(const std::string& name, const std::string& value) : m_name(name), m_value(value) {}

    const std::string& GetName() const { return m_name; }
    const std::string& GetValue() const { return m_value; }

private:
    std::string m_name;
    std::string m_value;
};

} // namespace Net
} // namespace System
} // namespace Lm
