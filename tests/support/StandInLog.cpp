#include "StandInLog.h"

#include "TestSupport.h"

namespace LmTest {

std::wstring InstallStandIn(const std::wstring& folder, const std::wstring& fileName)
{
    std::wstring copy = folder + L"\\" + fileName;
    if (!CopyFileW(Tool(L"StandIn.exe").c_str(), copy.c_str(), FALSE))
        return std::wstring();
    return copy;
}

std::wstring StandInLogOf(const std::wstring& copyPath) { return copyPath + L".log"; }

std::vector<StandInRecord> ReadStandInRecords(const std::wstring& logPath)
{
    std::vector<StandInRecord> records;
    std::wstring text = ReadFileUtf8(logPath);
    StandInRecord current;
    bool open = false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find(L"\r\n", pos);
        if (end == std::wstring::npos)
            break;   // a record still being written
        std::wstring line = text.substr(pos, end - pos);
        pos = end + 2;
        if (line.empty()) {
            if (open)
                records.push_back(current);
            current = StandInRecord();
            open = false;
            continue;
        }
        size_t eq = line.find(L'=');
        if (eq == std::wstring::npos)
            continue;
        std::wstring key = line.substr(0, eq), value = line.substr(eq + 1);
        open = true;
        current.values[key] = value;
        if (key == L"exe")
            current.exe = value;
        else if (key == L"workdir")
            current.workdir = value;
        else if (key == L"commandline")
            current.commandLine = value;
        else if (key == L"arguments")
            current.arguments = value;
    }
    return records;
}

std::vector<StandInRecord> WaitForStandInRecords(const std::wstring& logPath, size_t count, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        std::vector<StandInRecord> records = ReadStandInRecords(logPath);
        if (records.size() >= count || GetTickCount() - start >= timeoutMs)
            return records;
        Sleep(25);
    }
}

} // namespace LmTest
