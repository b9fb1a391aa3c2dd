// One analytics event: a name and typed parameters, turned into the query of one collect request
// by CAnalyticsGA4::BuildQueryString. Every map iterates in ascending order of its keys compared
// code unit by code unit (upper-case letters before '_', '_' before lower-case letters).
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace Lm {
namespace Analytics {

class CAnalyticsEvent {
public:
    using StringMap = std::map<std::wstring, std::wstring>;
    using NumberMap = std::map<std::wstring, std::int64_t>;
    using FlagMap = std::map<std::wstring, bool>;

    // Each setter inserts the key or overwrites its value.
    void SetString(const std::wstring& key, const std::wstring& value) { m_strings[key] = value; }
    void SetNumber(const std::wstring& key, std::int64_t value) { m_numbers[key] = value; }
    void SetFlag(const std::wstring& key, bool value) { m_flags[key] = value; }
    void SetUserString(const std::wstring& key, const std::wstring& value) { m_userStrings[key] = value; }
    void SetUserNumber(const std::wstring& key, std::int64_t value) { m_userNumbers[key] = value; }
    void SetName(const std::wstring& name) { m_name = name; }

    const StringMap& GetStrings() const { return m_strings; }
    const NumberMap& GetNumbers() const { return m_numbers; }
    const FlagMap& GetFlags() const { return m_flags; }
    const std::wstring& GetName() const { return m_name; }
    const StringMap& GetUserStrings() const { return m_userStrings; }
    const NumberMap& GetUserNumbers() const { return m_userNumbers; }

private:
    StringMap m_strings;
    NumberMap m_numbers;
    FlagMap m_flags;
    std::wstring m_name;
    StringMap m_userStrings;
    NumberMap m_userNumbers;
};

} // namespace Analytics
} // namespace Lm
