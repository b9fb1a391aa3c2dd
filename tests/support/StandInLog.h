// Reading what StandIn.exe (tests/tools/StandIn.cpp) recorded: one record per run, appended to
// "<own file name>.log" in its own folder (or in LM_STANDIN_LOG_DIR).
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace LmTest {

struct StandInRecord {
    std::wstring exe;          // full path of the running copy
    std::wstring workdir;      // its current folder at start (no trailing backslash unless a root)
    std::wstring commandLine;  // the whole command line it received
    std::wstring arguments;    // the command line after its own name
    std::map<std::wstring, std::wstring> values;   // every key of the record (stand-ins may add their own)
};

// Copies StandIn.exe to folder\fileName (overwriting); returns the copy's path, empty on failure.
std::wstring InstallStandIn(const std::wstring& folder, const std::wstring& fileName);

// The log a copy writes when LM_STANDIN_LOG_DIR is not set: "<copy path>.log".
std::wstring StandInLogOf(const std::wstring& copyPath);

std::vector<StandInRecord> ReadStandInRecords(const std::wstring& logPath);

// Waits until the log holds at least `count` records or the time is up; returns what it holds.
std::vector<StandInRecord> WaitForStandInRecords(const std::wstring& logPath, size_t count, DWORD timeoutMs);

} // namespace LmTest
