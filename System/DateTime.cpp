#include "System/DateTime.h"

#include <windows.h>
#include <cstdio>

namespace Lm {
namespace System {

namespace {

const wchar_t* const DayNames[7] = { L"Sun", L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat" };
const wchar_t* const MonthNames[13] = { L"", L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                        L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec" };

std::uint64_t FileTimeToTicks(const FILETIME& fileTime)
{
    ULARGE_INTEGER value;
    value.LowPart = fileTime.dwLowDateTime;
    value.HighPart = fileTime.dwHighDateTime;
    return value.QuadPart + CDateTime::FileTimeEpochTicks;
}

} // namespace

CDateTime::CDateTime(int year, int month, int day)
{
    // Years counted from March, so that the leap day is the last day of a year. The month term
    // is negative for March (m = 0) and must be shifted as a signed number (rounding down).
    const std::int64_t m = (month + 9) % 12;
    const std::int64_t y = month <= 2 ? year - 1 : year;
    const std::int64_t days = ((m * 979 - 9805) >> 5) + 365 * y + y / 4 - y / 100 + y / 400 + day;
    m_ticks = static_cast<std::uint64_t>(days) * TicksPerDay;
}

CDateTime CDateTime::Now()
{
    SYSTEMTIME systemTime;
    FILETIME utc = {}, local = {};
    GetSystemTime(&systemTime);
    SystemTimeToFileTime(&systemTime, &utc);
    FileTimeToLocalFileTime(&utc, &local);
    return CDateTime(FileTimeToTicks(local));
}

CDateTime CDateTime::UtcNow()
{
    SYSTEMTIME systemTime;
    FILETIME utc = {};
    GetSystemTime(&systemTime);
    SystemTimeToFileTime(&systemTime, &utc);
    return CDateTime(FileTimeToTicks(utc));
}

void CDateTime::GetDate(int& year, int& month, int& day) const
{
    // Civil date from the day count, with years starting on 1 March. Every intermediate is a
    // signed 64-bit number: the first remainder can come out negative and is then corrected.
    const std::int64_t d = static_cast<std::int64_t>(GetDays()) + 306;
    std::int64_t c = (400 * d + 591) / 146097;
    std::int64_t r = d - 365 * c - c / 4 + c / 100 - c / 400;
    if (r < 0) {
        --c;
        r = d - 365 * c - c / 4 + c / 100 - c / 400;
    }
    const std::int64_t m = (535 * r + 33100) >> 14; // 2 (March) ... 13 (February)
    month = static_cast<int>(m % 12) + 1;
    year = static_cast<int>(c + m / 12);
    day = static_cast<int>(r - ((979 * m - 1971) >> 5));
}

int CDateTime::GetYear() const
{
    int year, month, day;
    GetDate(year, month, day);
    return year;
}

int CDateTime::GetMonth() const
{
    int year, month, day;
    GetDate(year, month, day);
    return month;
}

int CDateTime::GetDay() const
{
    int year, month, day;
    GetDate(year, month, day);
    return day;
}

int CDateTime::GetDayOfWeek() const
{
    // Day 0, 1 January of year 1, was a Monday.
    return static_cast<int>((GetDays() + 1) % 7);
}

int CDateTime::GetHour() const
{
    return static_cast<int>((m_ticks / TicksPerHour) % 24);
}

int CDateTime::GetMinute() const
{
    return static_cast<int>((m_ticks / TicksPerMinute) % 60);
}

int CDateTime::GetSecond() const
{
    return static_cast<int>((m_ticks / TicksPerSecond) % 60);
}

const wchar_t* CDateTime::GetDayName(int index)
{
    return index >= 0 && index < 7 ? DayNames[index] : L"";
}

const wchar_t* CDateTime::GetMonthName(int index)
{
    return index >= 1 && index <= 12 ? MonthNames[index] : L"";
}

std::wstring CDateTime::ToString() const
{
    int year, month, day;
    GetDate(year, month, day);
    wchar_t buffer[64] = {};
    // Microsoft runtime conventions: "%s" takes a wide string here.
    _snwprintf(buffer, 63, L"%s, %d %s %4d %02d:%02d:%02d UT", GetDayName(GetDayOfWeek()), day,
               GetMonthName(month), year, GetHour(), GetMinute(), GetSecond());
    return buffer;
}

} // namespace System
} // namespace Lm
