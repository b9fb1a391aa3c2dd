// What the suite's programs may change on the machine, as one sorted list that two moments can be
// compared by: registry keys and values of both registry views, and the files and folders of the
// places the programs write. Entries are "<label>\<key path>" (a key), "<label>\<key path>|<value>"
// (a value, its data as text), "<path>\" (a folder) and "<path>" (a file). An allow-list of
// prefixes names what may differ.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace LmTest {

using MachineSnapshot = std::map<std::wstring, std::wstring>;

inline std::wstring LowerText(std::wstring text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return static_cast<wchar_t>(towlower(c)); });
    return text;
}

// Values of a key of HKLM: name -> text form of the data.
inline std::map<std::wstring, std::wstring> SnapshotValues(REGSAM view, const std::wstring& path)
{
    std::map<std::wstring, std::wstring> values;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return values;
    std::vector<wchar_t> name(16384);
    std::vector<BYTE> data(65536);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size()), type = 0, size = static_cast<DWORD>(data.size());
        if (RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
            break;
        std::wstring text;
        if (type == REG_SZ || type == REG_EXPAND_SZ)
            text = std::wstring(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t)).c_str();
        else if (type == REG_DWORD && size == 4)
            text = std::to_wstring(*reinterpret_cast<const DWORD*>(data.data()));
        else
            text = L"<type " + std::to_wstring(type) + L", " + std::to_wstring(size) + L" bytes>";
        values[std::wstring(name.data(), nameLength)] = text;
    }
    RegCloseKey(key);
    return values;
}

// Subkeys of the maker's key that belong to the tests, not to the programs: the test environment's
// Debugging values, and the scratch keys under "Tests" that tests running in parallel make and remove.
inline bool KeepMakerSubKey(const std::wstring& name)
{
    return _wcsicmp(name.c_str(), L"Debugging") != 0 && _wcsicmp(name.c_str(), L"Tests") != 0;
}

// Every key and value below the HKLM path; keep, when given, decides which subkeys of the path
// itself are taken (all of theirs are).
inline void SnapshotKey(REGSAM view, const std::wstring& label, const std::wstring& path, MachineSnapshot& out,
                        bool (*keep)(const std::wstring& subKeyName) = nullptr)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return;
    out[label + L"\\" + path] = L"";
    for (const auto& value : SnapshotValues(view, path))
        out[label + L"\\" + path + L"|" + value.first] = value.second;
    std::vector<std::wstring> children;
    for (DWORD index = 0;; ++index) {
        wchar_t name[512];
        DWORD length = 512;
        if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        children.emplace_back(name, length);
    }
    RegCloseKey(key);
    for (const std::wstring& child : children)
        if (!keep || keep(child))
            SnapshotKey(view, label, path + L"\\" + child, out);
}

// The files and folders in the folder (with everything below them when recursive); keep, when
// given, decides which names of the folder itself are taken.
inline void SnapshotFolder(const std::wstring& path, MachineSnapshot& out, bool recursive,
                           bool (*keep)(const std::wstring& name) = nullptr)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    std::vector<std::wstring> folders;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L".." || (keep && !keep(name)))
            continue;
        const std::wstring full = path + L"\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out[full + L"\\"] = L"<folder>";
            if (recursive)
                folders.push_back(full);
        } else {
            out[full] = L"<file>";
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
    for (const std::wstring& folder : folders)
        SnapshotFolder(folder, out, true);
}

// The differences, one line each: "+" added, "~" changed, "-" gone.
inline std::wstring DescribeSnapshotChange(const MachineSnapshot& before, const MachineSnapshot& after)
{
    std::wstring text;
    for (const auto& entry : after) {
        auto found = before.find(entry.first);
        if (found == before.end())
            text += L"  + " + entry.first + L" = " + entry.second + L"\n";
        else if (found->second != entry.second)
            text += L"  ~ " + entry.first + L" = " + entry.second + L" (was " + found->second + L")\n";
    }
    for (const auto& entry : before)
        if (!after.count(entry.first))
            text += L"  - " + entry.first + L" = " + entry.second + L"\n";
    return text;
}

// Both snapshots without the entries that begin with one of the prefixes (any case): the text of
// what else differs, empty when nothing does.
inline std::wstring SnapshotChangeBeyond(MachineSnapshot before, MachineSnapshot after,
                                         const std::vector<std::wstring>& allowed)
{
    auto isAllowed = [&](const std::wstring& key) {
        const std::wstring lower = LowerText(key);
        for (const std::wstring& prefix : allowed)
            if (lower.compare(0, prefix.size(), LowerText(prefix)) == 0)
                return true;
        return false;
    };
    for (MachineSnapshot* snapshot : {&before, &after})
        for (auto it = snapshot->begin(); it != snapshot->end();)
            it = isAllowed(it->first) ? snapshot->erase(it) : std::next(it);
    return DescribeSnapshotChange(before, after);
}

} // namespace LmTest
