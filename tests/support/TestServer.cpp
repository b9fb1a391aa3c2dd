#include "TestServer.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "TestSupport.h"

namespace LmTest {

namespace {

const size_t kPatternLength = 65521;   // tests/servers/http_test_server.py: PATTERN_LENGTH

const std::string& Pattern(unsigned seed)
{
    static std::mutex lock;
    static std::map<unsigned, std::string> patterns;
    std::lock_guard<std::mutex> guard(lock);
    std::string& pattern = patterns[seed];
    if (pattern.empty()) {
        pattern.resize(kPatternLength);
        unsigned x = seed * 2654435761u + 1u;
        for (size_t i = 0; i < kPatternLength; ++i) {
            x = x * 1103515245u + 12345u;
            pattern[i] = static_cast<char>((x >> 16) & 0xFF);
        }
    }
    return pattern;
}

std::string ReadAll(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

std::wstring ServerDir() { return TestDir() + L"servers"; }

int ServerPort(bool https)
{
    std::string text = ReadAll(ServerDir() + (https ? L"\\https.port" : L"\\http.port"));
    return text.empty() ? 0 : atoi(text.c_str());
}

std::string ServerUrl(const std::string& pathAndQuery, bool https)
{
    return std::string(https ? "https" : "http") + "://127.0.0.1:" + std::to_string(ServerPort(https)) +
           pathAndQuery;
}

std::string GeneratedBody(unsigned seed, long long offset, size_t count)
{
    const std::string& pattern = Pattern(seed);
    std::string out;
    out.reserve(count);
    size_t start = static_cast<size_t>(offset % static_cast<long long>(kPatternLength));
    while (out.size() < count) {
        size_t n = std::min(count - out.size(), kPatternLength - start);
        out.append(pattern, start, n);
        start = 0;
    }
    return out;
}

double ServerClockNow()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const unsigned long long ticks = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return (ticks - 116444736000000000ull) / 1e7;
}

double LoggedStartTime(const std::string& line)
{
    const std::string key = "\"started\": ";
    const size_t at = line.find(key);
    return at == std::string::npos ? 0 : std::atof(line.c_str() + at + key.size());
}

std::vector<std::string> ServerLogLines(const std::string& text, unsigned timeoutMs)
{
    ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        std::vector<std::string> found;
        std::istringstream lines(ReadAll(ServerDir() + L"\\requests.log"));
        std::string line;
        while (std::getline(lines, line))
            if (line.find(text) != std::string::npos)
                found.push_back(line);
        if (!found.empty() || GetTickCount64() >= end)
            return found;
        Sleep(50);
    }
}

std::vector<DigestCase> ServerDigestTable()
{
    std::vector<DigestCase> rows;
    std::istringstream lines(ReadAll(ServerDir() + L"\\sha256.txt"));
    DigestCase row;
    while (lines >> row.seed >> row.size >> row.sha256)
        rows.push_back(row);
    return rows;
}

} // namespace LmTest
