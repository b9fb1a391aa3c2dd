#include "System/Net/Uri.h"

#include <cctype>
#include <cstdlib>

namespace Lm {
namespace System {
namespace Net {

namespace {

std::string AsciiLower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool IsSchemeText(const std::string& text)
{
    if (text.empty() || !isalpha(static_cast<unsigned char>(text[0])))
        return false;
    for (char c : text)
        if (!isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
            return false;
    return true;
}

int DefaultPort(const std::string& scheme)
{
    if (scheme == "http")
        return 80;
    if (scheme == "https")
        return 443;
    if (scheme == "ftp")
        return 21;
    return 0;             // no default port: the URL must name one

}

} // namespace

// The cracker takes "scheme://[user[:password]@]host[:port]path[?query|#fragment]"; a text
// without "scheme://" is read as an http URL. A URL it cannot crack (an empty host, a port that
// is not a number from 1 to 65535) leaves every part empty, so the request refuses its scheme.
CUri::CUri(const std::string& url)
{
    std::string scheme = "http";
    std::string rest = url;
    size_t mark = url.find("://");
    if (mark != std::string::npos && url.find_first_of("/?#") > mark) {
        scheme = AsciiLower(url.substr(0, mark));
        if (!IsSchemeText(scheme))
            return;
        rest = url.substr(mark + 3);
    }

    size_t authorityEnd = rest.find_first_of("/?#");
    std::string authority = rest.substr(0, authorityEnd);
    std::string tail = authorityEnd == std::string::npos ? std::string() : rest.substr(authorityEnd);

    size_t at = authority.rfind('@');
    if (at != std::string::npos)
        authority = authority.substr(at + 1);          // user name and password are not kept

    std::string host = authority;
    int port = DefaultPort(scheme);
    size_t colon = authority.rfind(':');
    if (colon != std::string::npos) {
        host = authority.substr(0, colon);
        std::string digits = authority.substr(colon + 1);
        if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
            return;
        port = atoi(digits.c_str());
        if (port < 1 || port > 65535)
            return;
    }
    if (host.empty())
        return;

    size_t extra = tail.find_first_of("?#");
    std::string crackedPath = tail.substr(0, extra);
    std::string extraInfo = extra == std::string::npos ? std::string() : tail.substr(extra);

    m_scheme = scheme;
    m_host = AsciiLower(host);
    m_port = port;
    m_portText = std::to_string(port);
    for (char c : crackedPath)
        if (!(c == '/' && !m_path.empty() && m_path.back() == '/'))
            m_path += c;
    if (!extraInfo.empty() && extraInfo[0] == '#')
        m_fragment = extraInfo.substr(1);
    else if (!extraInfo.empty() && extraInfo[0] == '?')
        m_query = extraInfo.substr(1);
}

std::string CUri::GetPathAndQuery() const
{
    return m_query.empty() ? m_path : m_path + "?" + m_query;
}

std::string CUri::ToString() const
{
    std::string text = m_scheme + "://" + m_host;
    if (m_port != 80)
        text += ":" + m_portText;
    text += m_path;
    if (!m_fragment.empty())
        text += "#" + m_fragment;
    if (!m_query.empty())
        text += "?" + m_query;
    return text;
}

} // namespace Net
} // namespace System
} // namespace Lm
