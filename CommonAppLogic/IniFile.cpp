#include "CommonAppLogic/IniFile.h"

#include <windows.h>

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

const size_t kSectionNamesBufferSize = 1299;
const size_t kSectionKeysBufferSize = 1298;
const size_t kValueBufferSize = 519;
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
    for (const auto& name : ReadIniSectionNames(kSectionNamesBufferSize, m_path))
        m_sections[name];
    LoadSection();
}

void CIniFile::LoadSection()
{
    for (auto& section : m_sections) {
        for (const auto& key : ReadIniSectionKeys(section.first, kSectionKeysBufferSize, m_path))
            section.second[key] = ReadIniString(section.first, key, L"", kValueBufferSize, m_path);
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
