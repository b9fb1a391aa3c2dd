// CDateTime's calendar arithmetic, checked against the system's own FILETIME conversion.
#include <windows.h>
#include <gtest/gtest.h>

#include "System/DateTime.h"

using Lm::System::CDateTime;

namespace {

std::uint64_t FileTimeOf(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    SYSTEMTIME st = {};
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    st.wHour = static_cast<WORD>(hour);
    st.wMinute = static_cast<WORD>(minute);
    st.wSecond = static_cast<WORD>(second);
    FILETIME ft = {};
    EXPECT_TRUE(SystemTimeToFileTime(&st, &ft)) << year << "-" << month << "-" << day;
    ULARGE_INTEGER v;
    v.LowPart = ft.dwLowDateTime;
    v.HighPart = ft.dwHighDateTime;
    return v.QuadPart;
}

// Compares every field of the tick count with what FileTimeToSystemTime makes of the same instant.
::testing::AssertionResult MatchesSystem(std::uint64_t fileTime)
{
    ULARGE_INTEGER v;
    v.QuadPart = fileTime;
    FILETIME ft = { v.LowPart, v.HighPart };
    SYSTEMTIME st = {};
    if (!FileTimeToSystemTime(&ft, &st))
        return ::testing::AssertionFailure() << "FileTimeToSystemTime refused " << fileTime;
    const CDateTime t = CDateTime::FromFileTime(fileTime);
    int year, month, day;
    t.GetDate(year, month, day);
    if (year != st.wYear || month != st.wMonth || day != st.wDay || t.GetDayOfWeek() != st.wDayOfWeek ||
        t.GetHour() != st.wHour || t.GetMinute() != st.wMinute || t.GetSecond() != st.wSecond) {
        return ::testing::AssertionFailure()
               << "file time " << fileTime << ": system " << st.wYear << "-" << st.wMonth << "-" << st.wDay
               << " dow " << st.wDayOfWeek << " " << st.wHour << ":" << st.wMinute << ":" << st.wSecond
               << ", CDateTime " << year << "-" << month << "-" << day << " dow " << t.GetDayOfWeek() << " "
               << t.GetHour() << ":" << t.GetMinute() << ":" << t.GetSecond();
    }
    // Midnight of the same day, built from the calendar fields, must be the same day count.
    if (CDateTime(year, month, day).GetTicks() != t.GetDays() * CDateTime::TicksPerDay)
        return ::testing::AssertionFailure() << "date constructor disagrees for " << year << "-" << month << "-" << day;
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(DateTime, first_filetime_day_is_monday_1_jan_1601)
{
    const CDateTime t = CDateTime::FromFileTime(0);
    EXPECT_EQ(504911232000000000ULL, t.GetTicks());
    EXPECT_EQ(0x701CE1722770000ULL, t.GetTicks());
    EXPECT_EQ(L"Mon, 1 Jan 1601 00:00:00 UT", t.ToString());
}

TEST(DateTime, tick_zero_is_monday_1_jan_of_year_1)
{
    const CDateTime t(0);
    EXPECT_EQ(1, t.GetYear());
    EXPECT_EQ(1, t.GetMonth());
    EXPECT_EQ(1, t.GetDay());
    EXPECT_EQ(1, t.GetDayOfWeek());
    EXPECT_EQ(L"Mon, 1 Jan    1 00:00:00 UT", t.ToString());
    EXPECT_EQ(0u, CDateTime(1, 1, 1).GetTicks());
}

TEST(DateTime, text_form_pads_time_but_not_the_day)
{
    struct Case { int y, mo, d, h, mi, s; const wchar_t* text; } cases[] = {
        { 2026, 12, 8, 8, 0, 55, L"Tue, 8 Dec 2026 08:00:55 UT" },
        { 2000, 2, 29, 23, 59, 59, L"Tue, 29 Feb 2000 23:59:59 UT" },
        { 2000, 3, 1, 0, 0, 0, L"Wed, 1 Mar 2000 00:00:00 UT" },
        { 1900, 2, 28, 12, 30, 5, L"Wed, 28 Feb 1900 12:30:05 UT" },
        { 1900, 3, 1, 1, 2, 3, L"Thu, 1 Mar 1900 01:02:03 UT" },
        { 1970, 1, 1, 0, 0, 0, L"Thu, 1 Jan 1970 00:00:00 UT" },
        { 2024, 7, 14, 9, 5, 7, L"Sun, 14 Jul 2024 09:05:07 UT" },
        { 2023, 11, 25, 18, 45, 0, L"Sat, 25 Nov 2023 18:45:00 UT" },
        { 30827, 12, 31, 23, 59, 59, L"Fri, 31 Dec 30827 23:59:59 UT" },
    };
    for (const Case& c : cases) {
        const CDateTime t = CDateTime::FromFileTime(FileTimeOf(c.y, c.mo, c.d, c.h, c.mi, c.s));
        EXPECT_EQ(std::wstring(c.text), t.ToString());
    }
}

TEST(DateTime, leap_days_and_century_rules)
{
    // 1900 is not a leap year, 2000 is; 1 March follows the last day of February either way.
    EXPECT_EQ(CDateTime(1900, 2, 28).GetDays() + 1, CDateTime(1900, 3, 1).GetDays());
    EXPECT_EQ(CDateTime(2000, 2, 29).GetDays() + 1, CDateTime(2000, 3, 1).GetDays());
    EXPECT_EQ(CDateTime(2100, 2, 28).GetDays() + 1, CDateTime(2100, 3, 1).GetDays());
    EXPECT_EQ(CDateTime(2024, 2, 29).GetDays() + 1, CDateTime(2024, 3, 1).GetDays());
    int y, m, d;
    CDateTime(CDateTime(2000, 2, 29).GetTicks()).GetDate(y, m, d);
    EXPECT_EQ(2000, y);
    EXPECT_EQ(2, m);
    EXPECT_EQ(29, d);
}

TEST(DateTime, day_counts_of_known_dates)
{
    EXPECT_EQ(730119u, CDateTime(2000, 1, 1).GetDays());
    EXPECT_EQ(719162u, CDateTime(1970, 1, 1).GetDays());
    EXPECT_EQ(584388u, CDateTime(1601, 1, 1).GetDays());
}

TEST(DateTime, every_day_around_century_turns_matches_the_system)
{
    const int ranges[][2] = { { 1601, 1602 }, { 1699, 1701 }, { 1899, 1901 }, { 1999, 2001 }, { 2099, 2101 } };
    for (const auto& range : ranges) {
        const std::uint64_t from = FileTimeOf(range[0], 1, 1);
        const std::uint64_t to = FileTimeOf(range[1] + 1, 1, 1);
        // Each day at a time of day that moves, so hours, minutes and seconds vary too.
        std::uint64_t offset = 0;
        for (std::uint64_t t = from; t < to; t += CDateTime::TicksPerDay) {
            ASSERT_TRUE(MatchesSystem(t + offset));
            offset = (offset + 37 * CDateTime::TicksPerMinute + 13 * CDateTime::TicksPerSecond) % CDateTime::TicksPerDay;
        }
    }
}

TEST(DateTime, sampled_days_from_1601_to_30827_match_the_system)
{
    const std::uint64_t from = 0;
    const std::uint64_t to = FileTimeOf(30827, 12, 31, 23, 59, 59);
    // A stride of 29 days and a few hours reaches every month, weekday and day of month.
    const std::uint64_t stride = 29 * CDateTime::TicksPerDay + 5 * CDateTime::TicksPerHour + 7 * CDateTime::TicksPerSecond;
    int checked = 0;
    for (std::uint64_t t = from; t <= to; t += stride, ++checked)
        ASSERT_TRUE(MatchesSystem(t));
    ASSERT_TRUE(MatchesSystem(to));
    EXPECT_GT(checked, 100000);
}

TEST(DateTime, last_and_first_moment_of_each_day_of_a_leap_year)
{
    for (int month = 1; month <= 12; ++month) {
        const int days[] = { 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
        for (int day = 1; day <= days[month - 1]; ++day) {
            ASSERT_TRUE(MatchesSystem(FileTimeOf(2024, month, day)));
            ASSERT_TRUE(MatchesSystem(FileTimeOf(2024, month, day, 23, 59, 59) + CDateTime::TicksPerSecond - 1));
        }
    }
}

TEST(DateTime, names_cover_their_ranges_and_nothing_else)
{
    EXPECT_STREQ(L"Sun", CDateTime::GetDayName(0));
    EXPECT_STREQ(L"Sat", CDateTime::GetDayName(6));
    EXPECT_STREQ(L"", CDateTime::GetDayName(7));
    EXPECT_STREQ(L"", CDateTime::GetDayName(-1));
    EXPECT_STREQ(L"Jan", CDateTime::GetMonthName(1));
    EXPECT_STREQ(L"Dec", CDateTime::GetMonthName(12));
    EXPECT_STREQ(L"", CDateTime::GetMonthName(0));
    EXPECT_STREQ(L"", CDateTime::GetMonthName(13));
}

TEST(DateTime, now_is_local_time_and_utc_now_is_not_converted)
{
    SYSTEMTIME before = {};
    GetSystemTime(&before);
    const CDateTime utc = CDateTime::UtcNow();
    const CDateTime local = CDateTime::Now();
    // The two differ by the time-zone offset only (at most 14 hours either way), plus the time between the calls.
    const std::int64_t diff = static_cast<std::int64_t>(local.GetTicks() - utc.GetTicks());
    EXPECT_LE(diff < 0 ? -diff : diff, static_cast<std::int64_t>(15 * CDateTime::TicksPerHour));
    FILETIME ft = {};
    SystemTimeToFileTime(&before, &ft);
    ULARGE_INTEGER v;
    v.LowPart = ft.dwLowDateTime;
    v.HighPart = ft.dwHighDateTime;
    EXPECT_GE(utc.GetTicks(), CDateTime::FromFileTime(v.QuadPart).GetTicks());
    EXPECT_GE(utc.GetYear(), 2020);
}
