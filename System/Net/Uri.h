// A URL split into the parts the HTTP request needs: scheme and host (lower case), port, path
// (runs of '/' folded into one), query and fragment. Nothing is escaped or unescaped.
#pragma once

#include <string>

namespace Lm {
namespace System {
namespace Net {

class CUri {
public:
    CUri() = default;
    explicit CUri(const std::string& url);

    const std::string& GetScheme() const { return m_scheme; }
    const std::string& GetHost() const { return m_host; }
    int GetPort() const { return m_port; }
    const std::string& GetPortText() const { return m_portText; }
    const std::string& GetPath() const { return m_path; }
    const std::string& GetQuery() const { return m_query; }
    const std::string& GetFragment() const { return m_fragment; }

    // Path, then "?" and the query when there is one: the object of the request line.
    std::string GetPathAndQuery() const;
    // scheme://host[:port]path[#fragment][?query]; the port is left out only when it is 80.
    std::string ToString() const;

private:
    std::string m_scheme;
    std::string m_host;
    int m_port = 0;
    std::string m_portText;
    std::string m_path;
    std::string m_query;
    std::string m_fragment;
};

} // namespace Net
} // namespace System
} // namespace Lm
