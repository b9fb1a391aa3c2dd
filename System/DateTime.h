// A point in time as 100-nanosecond ticks since midnight of 1 January of year 1 (proleptic
// Gregorian calendar). The log stamps its header lines with the local time printed by ToString.
#pragma once

#include <cstdint>
#include <string>

namespace Lm {
namespace System {

class CDateTime {
public:
    static const std::uint64_t TicksPerSecond = 10000000ULL;
    static const std::uint64_t TicksPerMinute = 600000000ULL;
    static const std::uint64_t TicksPerHour = 36000000000ULL;
    static const std::uint64_t TicksPerDay = 864000000000ULL;
    // Ticks from 1 January of year 1 to 1 January 1601, the start of a Windows FILETIME.
    static const std::uint64_t FileTimeEpochTicks = 504911232000000000ULL;

    CDateTime() : m_ticks(0) {}
    explicit CDateTime(std::uint64_t ticks) : m_ticks(ticks) {}
    // Midnight of the given day (month 1-12, day 1-31, year 1 or later).
    CDateTime(int year, int month, int day);

    // The current local time.
    static CDateTime Now();
    // The current time in UTC, without the conversion to local time.
    static CDateTime UtcNow();
    // A FILETIME count (100 ns since 1601) as a point in time.
    static CDateTime FromFileTime(std::uint64_t fileTime) { return CDateTime(fileTime + FileTimeEpochTicks); }

    std::uint64_t GetTicks() const { return m_ticks; }
    std::uint64_t GetDays() const { return m_ticks / TicksPerDay; }

    void GetDate(int& year, int& month, int& day) const;
    int GetYear() const;
    int GetMonth() const;     // 1-12
    int GetDay() const;       // 1-31
    int GetDayOfWeek() const; // 0 Sunday ... 6 Saturday
    int GetHour() const;      // 0-23
    int GetMinute() const;    // 0-59
    int GetSecond() const;    // 0-59

    // Three-letter English names: days 0 (Sunday) to 6, months 1 (January) to 12.
    // An index outside those ranges gives an empty text.
    static const wchar_t* GetDayName(int index);
    static const wchar_t* GetMonthName(int index);

    // "Tue, 8 Dec 2026 08:00:55 UT" (the suffix is "UT" whatever the time zone of the value).
    std::wstring ToString() const;

private:
    std::uint64_t m_ticks;
};

} // namespace System
} // namespace Lm
