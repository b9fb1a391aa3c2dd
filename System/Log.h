// The process-wide log of a program: one object, made on first use and kept until the process
// ends, that owns the log file's path and stamps the file with a header line (80 '-', the local
// date and time, a line break) each time the path is set. By default the file is
// "<program file name>.log" in "Larchmeadow\Logs" of the user's roaming application data.
#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "System/Win32/CriticalSectionLock.h"

namespace Lm {
namespace System {

class CLog {
public:
    // The one object, made on the first call (thread-safe).
    static CLog& GetInstance();
    // Points the process log at the given file (the Updater's start-up): one more header line.
    static void Init(const std::wstring& path, bool deleteOld);

    // The default file: roaming application data + "Larchmeadow\Logs\" + program file name + ".log";
    // empty when the roaming folder is unknown.
    static std::wstring GetDefaultPath();

    // Sets the output path and, when it is not empty, writes a header line to it (after deleting
    // the old file when deleteOld is set). An empty path turns the log off. A folder that cannot
    // be made or a file that cannot be opened only means that nothing is written.
    void _SetOutputFile(const std::wstring& path, bool deleteOld);
    std::wstring GetOutputPath();

    // Appends the text and a line feed to the process log (and to the debugger's output); nothing
    // is written when the log is off or its file cannot be opened. Never throws.
    static void WriteLine(const std::wstring& text);

    // Forgets what the log keeps about a thread (called when a thread object goes away).
    void RemoveThread(DWORD threadId);

    // Appends the text to the file in text mode (line feeds become CR LF); nothing when the file
    // cannot be opened.
    static void AppendTextToFile(const std::wstring& text, const std::wstring& path);
    // The header line: 80 '-', the current local time in CDateTime's text form, a line feed.
    static std::wstring MakeHeaderLine();

    CLog(const CLog&) = delete;
    CLog& operator=(const CLog&) = delete;

private:
    CLog();
    ~CLog() = delete; // never destroyed

    Win32::CCriticalSectionLock m_lock; // guards m_outputPath and m_threads
    std::map<DWORD, std::wstring> m_threads; // per-thread entries by thread id
    std::wstring m_outputPath;
};

} // namespace System
} // namespace Lm
