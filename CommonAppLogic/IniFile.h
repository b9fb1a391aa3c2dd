// A whole ini file held in memory as sections of key=value pairs, and thin readers over the
// system's private-profile calls (for single values). Every private-profile call of the suite's
// ini code runs under one process-wide lock.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace Lm {
namespace CommonAppLogic {

class CIniFile {
public:
    using Section = std::map<std::wstring, std::wstring>;

    // Loads the file when it exists; a missing file gives an empty object.
    explicit CIniFile(const std::wstring& path);

    // (Re)reads the whole file in one pass, as the private-profile readers read it (encodings,
    // comments, names without regard to case, the first of duplicate sections and keys); throws
    // when it does not exist. A file that cannot be read gives an empty object.
    void LoadFile();
    // Reads the keys and values of every section already known.
    void LoadSection();

    // The value; a missing section or key is added with an empty value (a later Save writes it).
    std::wstring GetValue(const std::wstring& section, const std::wstring& key);
    void SetValue(const std::wstring& section, const std::wstring& key, const std::wstring& value);

    // Rewrites the whole file from memory, sections and keys in sorted order, as UTF-16 with a
    // byte-order mark (what the private-profile readers read back unchanged). The text goes to a
    // new temporary file beside the target first ("<file>.<random GUID>.tmp", never one that is
    // there already), which then replaces the target, so a failed save leaves the old file whole.
    // Failures are not reported.
    void Save();

    const std::wstring& GetPath() const { return m_path; }
    const std::map<std::wstring, Section>& GetSections() const { return m_sections; }

private:
    void Load(bool knownSectionsOnly);

    std::wstring m_path;
    std::map<std::wstring, Section> m_sections;
};

// Names of the sections of an ini file.
std::vector<std::wstring> ReadIniSectionNames(size_t bufferSize, const std::wstring& file);
// Key names of a section. A list that fills the buffer is read again with a larger one.
std::vector<std::wstring> ReadIniSectionKeys(const std::wstring& section, size_t bufferSize, const std::wstring& file);
// The value of a key, or the default when the file, section or key is missing. A value that
// fills the buffer is read again with a larger one.
std::wstring ReadIniString(const std::wstring& section, const std::wstring& key, const std::wstring& defaultValue,
                           size_t bufferSize, const std::wstring& file);

} // namespace CommonAppLogic
} // namespace Lm
