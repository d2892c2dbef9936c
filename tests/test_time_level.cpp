// Checks model dates, calendars, time coordinates, levels and the text helpers they rest on.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Level.h"
#include "MTime.h"
#include "TimeField.h"

namespace {

MTime Date(int i_type, int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    int px_time[6] = {y, mo, d, h, mi, s};
    return MTime(px_time, i_type);
}

}  // namespace

TEST(MTimeDays, DayCounts)
{
    struct Case
    {
        int i_type, i_year, i_month, i_day, i_hour, i_minute;
        double d_days;
    };
    const Case x_cases[] = {
        {1, 1970, 1, 1, 0, 0, 719162.0}, {2, 1970, 1, 1, 0, 0, 708840.0},
        // Only the last digit of the time type names the calendar; all but 1 count thirty-day months.
        {21, 1970, 1, 1, 0, 0, 719162.0}, {122, 1970, 3, 1, 0, 0, 708900.0}, {0, 1970, 3, 1, 0, 0, 708900.0},
        // Every fourth year leaps, but of the centuries only every fourth: 2000 does, 1900 and 2100 do not.
        {1, 2000, 2, 28, 0, 0, 730177.0}, {1, 2000, 2, 29, 0, 0, 730178.0}, {1, 2000, 3, 1, 0, 0, 730179.0},
        {1, 2100, 3, 1, 0, 0, 766703.0}, {1, 1, 3, 1, 0, 0, 59.0},
        // Minutes are exact: 06:30 and 06:31 stay apart, as any two minutes do.
        {1, 2000, 1, 1, 6, 30, 730119.0 + 390.0 / 1440}, {1, 2000, 1, 1, 6, 31, 730119.0 + 391.0 / 1440},
        // A month outside 1..12 adds nothing rather than reading past the table.
        {1, 1970, 0, 1, 0, 0, 719162.0}, {1, 1970, 13, 1, 0, 0, 719162.0}, {1, 1970, -5000, 1, 0, 0, 719162.0}};
    for (const Case& x : x_cases)
        EXPECT_DOUBLE_EQ(Date(x.i_type, x.i_year, x.i_month, x.i_day, x.i_hour, x.i_minute).CalcDays(), x.d_days)
            << x.i_type << " " << x.i_year << "-" << x.i_month << "-" << x.i_day << " " << x.i_hour << ":"
            << x.i_minute;
    EXPECT_EQ(Date(1, 1900, 3, 1).CalcDays() - Date(1, 1900, 2, 28).CalcDays(), 1.0);
    EXPECT_EQ(Date(1, 2000, 3, 1).CalcDays() - Date(1, 2000, 2, 28).CalcDays(), 2.0);
    EXPECT_EQ(Date(1, 2101, 1, 1).CalcDays() - Date(1, 2100, 1, 1).CalcDays(), 365.0);
    EXPECT_EQ(Date(1, 2001, 1, 1).CalcDays() - Date(1, 2000, 1, 1).CalcDays(), 366.0);
}

TEST(MTimeCompare, EqualityUsesFieldsOrderUsesDayCounts)
{
    MTime x_a = Date(2, 1980, 5, 5, 1, 2, 3);
    MTime x_b = Date(2, 1980, 5, 5, 1, 2, 4);
    // A second apart: unequal, yet neither comes first; a minute apart, the earlier comes first.
    EXPECT_NE(x_a, x_b);
    EXPECT_FALSE(x_a < x_b || x_b < x_a);
    EXPECT_TRUE(x_a <= x_b && x_a >= x_b);
    EXPECT_TRUE(Date(1, 2000, 1, 1, 10, 0) < Date(1, 2000, 1, 1, 10, 1));
    EXPECT_EQ(Date(1, 1980, 5, 5), Date(2, 1980, 5, 5));
    // Each operand counts in its own calendar: 1970-01-01 is later in the Gregorian one.
    EXPECT_TRUE(Date(2, 1970, 1, 1) < Date(1, 1970, 1, 1));
}

TEST(TimeFieldValue, MeaningPeriodMidpointAndCalendarName)
{
    const int px_val[6] = {1970, 1, 1, 0, 0, 0};
    const int px_feb[6] = {1970, 2, 1, 0, 0, 0};
    // 360-day January is 720 hours, Gregorian 744; the value is the period's midpoint.
    EXPECT_EQ(TimeField(22, px_val, px_feb).GetMeaningPeriod(), 720.0f);
    EXPECT_EQ(TimeField(22, px_val, px_feb).GetValue(), 708855.0);
    EXPECT_EQ(TimeField(22, px_val, px_val).GetValue(), 708840.0);
    EXPECT_EQ(TimeField(21, px_val, px_feb).GetMeaningPeriod(), 744.0f);
    EXPECT_EQ(TimeField(621, px_val, px_feb).GetValue(), 719177.5);
    // Other tens digits have no period: T2 is unused (0) or the forecast's data time (1), so a
    // T+29 forecast from 1970-01-01 09:00 lies at its validity time, 1970-01-02 14:00.
    const int px_valid[6] = {1970, 1, 2, 14, 0, 0};
    const int px_start[6] = {1970, 1, 1, 9, 0, 0};
    for (int i_type : {1, 11, 31, 111}) {
        EXPECT_EQ(TimeField(i_type, px_valid, px_start).GetMeaningPeriod(), 0.0f) << i_type;
        EXPECT_DOUBLE_EQ(TimeField(i_type, px_valid, px_start).GetValue(), 719163.0 + 14.0 / 24) << i_type;
    }
    const std::pair<int, const char*> x_names[] = {{0, "none"}, {3, ""}, {12, "360_day"}, {21, "gregorian"}, {-1, ""}};
    for (const auto& x_name : x_names)
        EXPECT_EQ(TimeField(x_name.first, px_val, px_val).GetCalendarType(), x_name.second) << x_name.first;
}

TEST(TimeFieldEquality, DataDateCountsFromTimeType100)
{
    const int px_val[6] = {1970, 1, 1, 0, 0, 0};
    const int px_val_1h[6] = {1970, 1, 1, 1, 0, 0};
    const int px_dat_a[6] = {1970, 2, 1, 0, 0, 0};
    const int px_dat_b[6] = {1970, 2, 1, 0, 0, 30};
    const int px_dat_c[6] = {1970, 1, 2, 0, 0, 0};
    EXPECT_EQ(TimeField(22, px_val, px_dat_a), TimeField(22, px_val, px_dat_b));
    EXPECT_NE(TimeField(122, px_val, px_dat_a), TimeField(122, px_val, px_dat_b));
    EXPECT_EQ(TimeField(122, px_val, px_dat_a), TimeField(122, px_val, px_dat_a));
    // Calendar code, meaning period and validity date all take part.
    EXPECT_EQ(TimeField(2, px_val, px_val), TimeField(12, px_val, px_val));
    EXPECT_NE(TimeField(1, px_val, px_val), TimeField(2, px_val, px_val));
    EXPECT_NE(TimeField(22, px_val, px_dat_a), TimeField(22, px_val, px_dat_c));
    // A forecast's data time is not part of its identity below time type 100.
    EXPECT_EQ(TimeField(12, px_val, px_dat_a), TimeField(12, px_val, px_dat_c));
    EXPECT_NE(TimeField(2, px_val, px_val), TimeField(2, px_val_1h, px_val_1h));
}

TEST(LevelValue, HybridValuesRoundOnceAndEveryBitCounts)
{
    // One rounding from double: rounding the sum to float first would give 245.73999.
    Level x_odd;
    x_odd.Set(9, 13574.0f, 11 * 0.01f, 100000.0f);
    EXPECT_EQ(x_odd.GetValue(), 245.740005f);
    Level x_plain;
    x_plain.Set(9, 245.740005f);
    EXPECT_NE(x_plain, x_odd);
    // Names are ignored; every bit of the value counts, and NaN equals nothing.
    Level x_a, x_b;
    x_a.Set(8, 850.0f);
    x_b.Set(8, std::nextafter(850.0f, 1000.0f));
    EXPECT_NE(x_a, x_b);
    x_b.Set(8, 850.0f);
    x_a.SetName("p");
    EXPECT_EQ(x_a, x_b);
    x_b.Set(1, std::numeric_limits<float>::quiet_NaN());
    EXPECT_NE(x_b, x_b);
}
