#include "CommonAppLogic/IniFile.h"

#include <windows.h>

#include <set>
#include <unordered_map>

#include "CommonAppLogic/InstallUtils.h"
#include "System/Exception.h"
#include "System/Io/File.h"
#include "System/Win32/CriticalSectionLock.h"
#include "System/Win32/Handle.h"

namespace Lm {
namespace CommonAppLogic {

namespace {

using Lm::System::Win32::CCriticalSectionLock;
using Lm::System::Win32::CHandleGuard;
using Lm::System::Win32::CScopedLock;

// Beyond this a value or list is taken as it is (a private-profile line is far shorter).
const size_t kLargestBuffer = 1 << 20;
// A random name that is taken already is someone's doing; a few new ones are enough.
const int kTemporaryNameTries = 3;

CCriticalSectionLock& ProfileLock()
{
    static CCriticalSectionLock lock;
    return lock;
}

// Names of a double-null-terminated list, up to the first empty one.
std::vector<std::wstring> SplitNameList(const wchar_t* list, size_t length)
{
    std::vector<std::wstring> names;
    size_t at = 0;
    while (at < length && list[at] != L'\0') {
        std::wstring name(list + at);
        at += name.size() + 1;
        names.push_back(name);
    }
    return names;
}

// A line break inside a name or value would start a new line of the file (and could make up
// keys and sections of its own): it is written as a blank.
std::wstring OneLine(const std::wstring& text)
{
    std::wstring line = text;
    for (auto& c : line) {
        if (c == L'\r' || c == L'\n')
            c = L' ';
    }
    return line;
}

bool IsProfileBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

// The private-profile readers drop blanks around a value and one pair of quotes around it;
// such a value is written inside double quotes so that it reads back as it is.
std::wstring ValueText(const std::wstring& value)
{
    std::wstring line = OneLine(value);
    if (line.empty())
        return line;
    bool padded = IsProfileBlank(line.front()) || IsProfileBlank(line.back());
    bool quoted = line.size() >= 2 && (line.front() == L'"' || line.front() == L'\'') && line.back() == line.front();
    return padded || quoted ? L"\"" + line + L"\"" : line;
}

// --- Reading a whole file in one pass -------------------------------------------------------
// The file is parsed once, as the system's private-profile readers parse it, and the object is
// filled as the earlier reader filled it through one private-profile call per section and key
// (each of which searched the whole file again): the time of a load grows with the file, not
// with its square. Kept from that reader:
//   - encodings: UTF-16 (either byte order) or UTF-8 after their byte-order marks, else the ANSI
//     code page;
//   - lines end at CR or LF; ASCII blanks (and Ctrl-Z) around a line, a name and a value go;
//   - "[name]" up to the last ']' of the line starts a section (the name between the brackets,
//     blanks trimmed); a '[' line without ']' is a line like any other;
//   - a line with '=' is a key and its value; lines without '=' and names starting with ';'
//     (comments) are no keys; one pair of quotes around a value goes;
//   - names compare without regard to the case of A-Z: a section's keys are those of the first
//     section of its name, a key's value that of the first key of its name there; names that
//     differ in case are entries of their own with those keys and values.
// A key line with no name ("=value") is no key; unlike the earlier reader it does not hide the
// keys that follow it in its section.

// Larger is no settings file (it would take the private-profile readers days): read as empty.
const LONGLONG kLargestIniFile = 16 << 20;

struct ProfileKey {
    std::wstring name;
    std::wstring value;
    bool hasValue;
};

struct ProfileSection {
    std::wstring name;
    std::vector<ProfileKey> keys;
    // Folded key name -> index of its first key; made when the section is first asked for one.
    std::unordered_map<std::wstring, size_t> firstKey;
    bool indexed = false;
};

bool IsSpace(wchar_t c)
{
    return c == L' ' || (c >= L'\t' && c <= L'\r') || c == 0x1A;
}

// The name or value as a C string: up to its first NUL.
std::wstring Text(const wchar_t* begin, const wchar_t* end)
{
    const wchar_t* stop = begin;
    while (stop < end && *stop != L'\0')
        ++stop;
    return std::wstring(begin, stop);
}

// Names compare as the readers compare them: A-Z as a-z, every other character as it is.
std::wstring Fold(const std::wstring& name)
{
    std::wstring folded = name;
    for (wchar_t& c : folded) {
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return folded;
}

// The whole file; false when it cannot be opened or read, or is too large to be settings.
bool ReadWholeFile(const std::wstring& path, std::string& bytes)
{
    CHandleGuard file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    if (!file.IsValid() || !GetFileSizeEx(file.Get(), &size) || size.QuadPart > kLargestIniFile)
        return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        if (!ReadFile(file.Get(), &bytes[done], static_cast<DWORD>(bytes.size() - done), &read, nullptr))
            return false;
        if (read == 0)
            break; // cut short meanwhile: what is there
        done += read;
    }
    bytes.resize(done);
    return true;
}

std::wstring Decode(const std::string& bytes)
{
    const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t size = bytes.size();
    if (size >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
        const bool bigEndian = b[0] == 0xFE;
        std::wstring text((size - 2) / 2, L'\0');
        for (size_t i = 0; i < text.size(); ++i) {
            const unsigned char first = b[2 + 2 * i], second = b[3 + 2 * i];
            text[i] = static_cast<wchar_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
        }
        return text;
    }
    UINT codePage = CP_ACP;
    size_t skip = 0;
    if (size >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        codePage = CP_UTF8;
        skip = 3;
    }
    if (size == skip)
        return std::wstring();
    const char* from = bytes.data() + skip;
    const int length = static_cast<int>(size - skip);
    std::wstring text(static_cast<size_t>(MultiByteToWideChar(codePage, 0, from, length, nullptr, 0)), L'\0');
    if (!text.empty())
        MultiByteToWideChar(codePage, 0, from, length, &text[0], static_cast<int>(text.size()));
    return text;
}

// The sections in file order; the first one (no name) holds the keys before any section line.
std::vector<ProfileSection> Parse(const std::wstring& text)
{
    std::vector<ProfileSection> sections(1);
    const wchar_t* at = text.data();
    const wchar_t* const end = at + text.size();
    while (at < end) {
        const wchar_t* begin = at;
        while (at < end && *at != L'\n' && *at != L'\r')
            ++at;
        const wchar_t* stop = at;
        while (at < end && (*at == L'\n' || *at == L'\r'))
            ++at;
        while (begin < stop && IsSpace(*begin))
            ++begin;
        while (stop > begin && IsSpace(stop[-1]))
            --stop;
        if (begin == stop)
            continue;
        if (*begin == L'[') {
            const wchar_t* close = stop - 1;
            while (close > begin && *close != L']')
                --close;
            if (close > begin) {
                const wchar_t* name = begin + 1;
                while (name < close && IsSpace(*name))
                    ++name;
                while (close > name && IsSpace(close[-1]))
                    --close;
                sections.emplace_back();
                sections.back().name = Text(name, close);
                continue;
            }
        }
        const wchar_t* equals = begin;
        while (equals < stop && *equals != L'=')
            ++equals;
        ProfileKey key;
        key.hasValue = equals < stop;
        if (key.hasValue) {
            const wchar_t* nameEnd = equals;
            while (nameEnd > begin && IsSpace(nameEnd[-1]))
                --nameEnd;
            const wchar_t* value = equals + 1;
            while (value < stop && IsSpace(*value))
                ++value;
            key.name = Text(begin, nameEnd);
            key.value = Text(value, stop);
        } else {
            key.name = Text(begin, stop);
        }
        sections.back().keys.push_back(std::move(key));
    }
    return sections;
}

// The value as the readers give it: one pair of the same quotes around it goes.
std::wstring Unquoted(const std::wstring& value)
{
    if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// The value of the first key of the name in the section, empty when it has none.
std::wstring ValueOf(ProfileSection& section, const std::wstring& key)
{
    if (!section.indexed) {
        for (size_t i = 0; i < section.keys.size(); ++i)
            section.firstKey.emplace(Fold(section.keys[i].name), i);
        section.indexed = true;
    }
    const auto found = section.firstKey.find(Fold(key));
    if (found == section.firstKey.end() || !section.keys[found->second].hasValue)
        return std::wstring();
    return Unquoted(section.keys[found->second].value);
}

bool WriteAll(HANDLE file, const std::wstring& text)
{
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text.data());
    DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    DWORD written = 0;
    return WriteFile(file, bytes, size, &written, nullptr) && written == size;
}

} // namespace

std::vector<std::wstring> ReadIniSectionNames(size_t bufferSize, const std::wstring& file)
{
    for (size_t size = bufferSize < 4 ? 4 : bufferSize;; size *= 2) {
        std::vector<wchar_t> buffer(size + 2, L'\0');
        DWORD length;
        {
            CScopedLock guard(ProfileLock());
            length = GetPrivateProfileSectionNamesW(buffer.data(), static_cast<DWORD>(size), file.c_str());
        }
        // size - 2 means the list was cut to fit.
        if (length + 2 < size || size >= kLargestBuffer)
            return SplitNameList(buffer.data(), length);
    }
}

std::vector<std::wstring> ReadIniSectionKeys(const std::wstring& section, size_t bufferSize, const std::wstring& file)
{
    for (size_t size = bufferSize < 4 ? 4 : bufferSize;; size *= 2) {
        std::vector<wchar_t> buffer(size + 2, L'\0');
        DWORD length;
        {
            CScopedLock guard(ProfileLock());
            length = GetPrivateProfileStringW(section.c_str(), nullptr, nullptr, buffer.data(),
                                              static_cast<DWORD>(size), file.c_str());
        }
        if (length + 2 < size || size >= kLargestBuffer)
            return SplitNameList(buffer.data(), length);
    }
}

std::wstring ReadIniString(const std::wstring& section, const std::wstring& key, const std::wstring& defaultValue,
                           size_t bufferSize, const std::wstring& file)
{
    for (size_t size = bufferSize < 2 ? 2 : bufferSize;; size *= 2) {
        std::vector<wchar_t> buffer(size + 1, L'\0');
        DWORD length;
        {
            CScopedLock guard(ProfileLock());
            length = GetPrivateProfileStringW(section.c_str(), key.c_str(), defaultValue.c_str(), buffer.data(),
                                              static_cast<DWORD>(size), file.c_str());
        }
        // size - 1 means the value may have been cut to fit.
        if (length + 1 < size || size >= kLargestBuffer)
            return std::wstring(buffer.data(), length < size ? length : size);
    }
}

CIniFile::CIniFile(const std::wstring& path) : m_path(path)
{
    if (Lm::System::IO::CFile::Exists(m_path))
        LoadFile();
}

void CIniFile::LoadFile()
{
    m_sections.clear();
    if (!Lm::System::IO::CFile::Exists(m_path))
        Lm::System::ThrowException("File does not exist in CIniFile::LoadFile", "Lm\\CommonAppLogic\\IniFile.cpp",
                                   153, "Lm::CommonAppLogic::CIniFile::LoadFile");
    Load(false);
}

void CIniFile::LoadSection()
{
    Load(true);
}

void CIniFile::Load(bool knownSectionsOnly)
{
    std::string bytes;
    if (!ReadWholeFile(m_path, bytes))
        return; // as the private-profile readers: a file that cannot be read holds nothing
    std::vector<ProfileSection> sections = Parse(Decode(bytes));

    // Folded name -> the first section of the name (the nameless head included).
    std::unordered_map<std::wstring, size_t> firstSection;
    for (size_t i = 0; i < sections.size(); ++i)
        firstSection.emplace(Fold(sections[i].name), i);

    std::set<std::wstring> done;
    for (size_t i = 1; i < sections.size(); ++i) {
        const std::wstring& name = sections[i].name;
        if (name.empty() || !done.insert(name).second)
            continue;
        if (knownSectionsOnly && m_sections.find(name) == m_sections.end())
            continue;
        Section& target = m_sections[name];
        ProfileSection& first = sections[firstSection.at(Fold(name))];
        for (const ProfileKey& key : first.keys) {
            if (!key.hasValue || key.name.empty() || key.name[0] == L';')
                continue;
            target[key.name] = ValueOf(first, key.name);
        }
    }
}

std::wstring CIniFile::GetValue(const std::wstring& section, const std::wstring& key)
{
    return m_sections[section][key];
}

void CIniFile::SetValue(const std::wstring& section, const std::wstring& key, const std::wstring& value)
{
    m_sections[section][key] = value;
}

void CIniFile::Save()
{
    std::wstring text(1, L'\xFEFF');
    for (const auto& section : m_sections) {
        text += L"[" + OneLine(section.first) + L"]\r\n";
        for (const auto& entry : section.second)
            text += OneLine(entry.first) + L"=" + ValueText(entry.second) + L"\r\n";
    }

    // The folder of shared settings lets users create files: a temporary file of a name that they
    // could guess might be theirs already (or a link to a file of someone else's), and writing
    // through it would write into their file. So the name holds a new random GUID, and CREATE_NEW
    // never opens what is already there.
    std::wstring temporary;
    bool written = false;
    for (int attempt = 0; attempt < kTemporaryNameTries && temporary.empty(); ++attempt) {
        const std::wstring candidate = m_path + L"." + InstallUtils::CreateGuidString() + L".tmp";
        CHandleGuard file(CreateFileW(candidate.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.IsValid()) {
            if (GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS)
                continue; // someone else's file: leave it and take another name
            return;       // the folder is not writable: the old file stays as it was
        }
        temporary = candidate;
        written = WriteAll(file.Get(), text) && FlushFileBuffers(file.Get());
    }
    if (temporary.empty())
        return;
    if (!written || !MoveFileExW(temporary.c_str(), m_path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        DeleteFileW(temporary.c_str()); // the old file stays whole; nothing else to undo
}

} // namespace CommonAppLogic
} // namespace Lm
