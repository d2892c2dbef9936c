// Checks model dates, calendars, time coordinates, levels and the text helpers they rest on.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Level.h"
#include "MTime.h"
#include "TimeField.h"
#include "ToString.h"

namespace {

MTime Date(int i_type, int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    int px_time[6] = {y, mo, d, h, mi, s};
    return MTime(px_time, i_type);
}

TimeField Field(int i_type, const int* px_val, const int* px_dat)
{
    return TimeField(i_type, px_val, px_dat);
}

}  // namespace

TEST(MTimeDays, OriginAndEpochInBothCalendars)
{
    EXPECT_EQ(Date(1, 1, 1, 1).CalcDays(), 0.0);
    EXPECT_EQ(Date(2, 1, 1, 1).CalcDays(), 0.0);
    EXPECT_EQ(Date(1, 1970, 1, 1).CalcDays(), 719177.0);
    EXPECT_EQ(Date(2, 1970, 1, 1).CalcDays(), 708840.0);
    EXPECT_EQ(Date(2, 1970, 1, 1).CalcHours(), 708840.0 * 24.0);
}

TEST(MTimeDays, LeapRuleHasNoCenturyException)
{
    EXPECT_EQ(Date(1, 2000, 2, 28).CalcDays(), 730192.0);
    EXPECT_EQ(Date(1, 2000, 2, 29).CalcDays(), 730193.0);
    EXPECT_EQ(Date(1, 2000, 3, 1).CalcDays(), 730194.0);
    // 1900 leaps here: March 1st is two days after February 28th.
    EXPECT_EQ(Date(1, 1900, 3, 1).CalcDays() - Date(1, 1900, 2, 28).CalcDays(), 2.0);
    EXPECT_EQ(Date(1, 1901, 3, 1).CalcDays() - Date(1, 1901, 2, 28).CalcDays(), 1.0);
}

TEST(MTimeDays, ThirtyMinutesAreLostInSinglePrecision)
{
    MTime x_six = Date(1, 2000, 1, 1, 6, 0);
    MTime x_six_thirty = Date(1, 2000, 1, 1, 6, 30);
    EXPECT_EQ(x_six.CalcDays(), 730134.25);
    EXPECT_EQ(x_six_thirty.CalcDays(), 730134.25);
    EXPECT_FALSE(x_six < x_six_thirty);
    EXPECT_FALSE(x_six_thirty < x_six);
    EXPECT_TRUE(x_six <= x_six_thirty);
    EXPECT_NE(x_six, x_six_thirty);
    // Near the origin the minutes survive.
    EXPECT_EQ(Date(2, 1, 1, 1, 0, 30).CalcDays(), static_cast<double>(30.0f / 1440.0f));
}

TEST(MTimeDays, CalendarCodesAndNames)
{
    EXPECT_EQ(CalendarCode(122), 2);
    EXPECT_EQ(CalendarCode(-1), -1);
    EXPECT_EQ(CalendarCode(-11), -1);
    int px_date[6] = {1970, 3, 1, 0, 0, 0};
    // Codes 0, 3 and 2 all count thirty-day months.
    for (int i_type : {0, 3, 12, -1})
        EXPECT_EQ(MTime(px_date, i_type).CalcDays(), 708840.0 + 60.0) << i_type;
    EXPECT_EQ(Field(0, px_date, px_date).GetCalendarType(), "none");
    EXPECT_EQ(Field(3, px_date, px_date).GetCalendarType(), "");
    EXPECT_EQ(Field(12, px_date, px_date).GetCalendarType(), "360_day");
    EXPECT_EQ(Field(21, px_date, px_date).GetCalendarType(), "gregorian");
    EXPECT_EQ(Field(-1, px_date, px_date).GetCalendarType(), "");
}

TEST(MTimeDays, MonthOutsideTableAddsNoDays)
{
    EXPECT_EQ(Date(1, 1970, 0, 1).CalcDays(), 719177.0);
    EXPECT_EQ(Date(1, 1970, 13, 1).CalcDays(), 719177.0);
    EXPECT_EQ(Date(1, 1970, -5000, 1).CalcDays(), 719177.0);
}

TEST(MTimeCompare, SecondsMatterForEqualityOnly)
{
    MTime x_a = Date(2, 1980, 5, 5, 1, 2, 3);
    MTime x_b = Date(2, 1980, 5, 5, 1, 2, 4);
    EXPECT_FALSE(x_a == x_b);
    EXPECT_TRUE(x_a != x_b);
    EXPECT_FALSE(x_a < x_b);
    EXPECT_FALSE(x_b < x_a);
    EXPECT_TRUE(x_a >= x_b);
    // The time type is not part of equality.
    EXPECT_EQ(Date(1, 1980, 5, 5), Date(2, 1980, 5, 5));
    // Each operand orders by its own calendar: 1970-01-01 Gregorian lies after it in 360 days.
    EXPECT_TRUE(Date(2, 1970, 1, 1) < Date(1, 1970, 1, 1));
    EXPECT_TRUE(Date(1, 1970, 1, 1) > Date(2, 1970, 1, 1));
}

TEST(MTimeText, FormattedDateAndToString)
{
    EXPECT_EQ(Date(2, 5, 3, 7, 4, 5, 6).GetFormatted(), "5-03-07 04:05:06");
    EXPECT_EQ(Date(2, 1978, 9, 1).GetFormatted(), "1978-09-01 00:00:00");
    EXPECT_EQ(ToString(7, 2, '0'), "07");
    EXPECT_EQ(ToString(123, 2, '0'), "123");
    EXPECT_EQ(ToString(7, 0, ' '), "7");
    EXPECT_EQ(ToString(-7, 3, '0'), "0-7");
    EXPECT_EQ(ToString(2.5f, 0, ' '), "2.5");
    EXPECT_EQ(ToString(1234567.0f, 0, ' '), "1.23457e+06");
}

TEST(TimeFieldValue, MeaningPeriodAndMidpoint)
{
    int px_val[6] = {1970, 1, 1, 0, 0, 0};
    int px_dat[6] = {1970, 2, 1, 0, 0, 0};
    TimeField x_mean(2, px_val, px_dat);
    EXPECT_EQ(x_mean.GetMeaningPeriod(), 720.0f);
    EXPECT_EQ(x_mean.GetValue(), 708855.0f);
    EXPECT_EQ(x_mean.GetType(), 2);
    EXPECT_EQ(x_mean.GetValDate().CalcDays(), 708840.0);

    TimeField x_inst(2, px_val, px_val);
    EXPECT_EQ(x_inst.GetMeaningPeriod(), 0.0f);
    EXPECT_EQ(x_inst.GetValue(), 708840.0f);

    // Gregorian January has 31 days.
    TimeField x_greg(1, px_val, px_dat);
    EXPECT_EQ(x_greg.GetMeaningPeriod(), 744.0f);
    EXPECT_EQ(x_greg.GetValue(), 719192.5f);
}

TEST(TimeFieldEquality, DataDateCountsFromTimeType100)
{
    int px_val[6] = {1970, 1, 1, 0, 0, 0};
    int px_dat_a[6] = {1970, 2, 1, 0, 0, 0};
    int px_dat_b[6] = {1970, 2, 1, 0, 0, 30};
    EXPECT_EQ(Field(2, px_val, px_dat_a), Field(2, px_val, px_dat_b));
    EXPECT_NE(Field(122, px_val, px_dat_a), Field(122, px_val, px_dat_b));
    EXPECT_EQ(Field(122, px_val, px_dat_a), Field(122, px_val, px_dat_a));
    // Same calendar code, same dates: types 2 and 12 match; 1 and 2 do not.
    EXPECT_EQ(Field(2, px_val, px_val), Field(12, px_val, px_val));
    EXPECT_NE(Field(1, px_val, px_val), Field(2, px_val, px_val));
    // A different meaning period is a different coordinate.
    int px_dat_c[6] = {1970, 1, 2, 0, 0, 0};
    EXPECT_NE(Field(2, px_val, px_dat_a), Field(2, px_val, px_dat_c));
    int px_val2[6] = {1970, 1, 1, 1, 0, 0};
    EXPECT_NE(Field(2, px_val, px_val), Field(2, px_val2, px_val2));
}

TEST(LevelValue, HybridAndPlainLevels)
{
    Level x_hybrid;
    x_hybrid.Set(9, 5000.0f, 0.5f, 100000.0f);
    EXPECT_EQ(x_hybrid.GetValue(), 550.0f);
    EXPECT_EQ(x_hybrid.GetType(), 9);
    // One rounding from double: rounding the sum to float first would give 245.73999.
    Level x_odd;
    x_odd.Set(9, 13574.0f, 11 * 0.01f, 100000.0f);
    EXPECT_EQ(x_odd.GetValue(), 245.740005f);
    EXPECT_NE(x_odd.GetValue(), 245.73999f);

    Level x_plain;
    x_plain.Set(9, 550.0f);
    EXPECT_EQ(x_plain.GetValue(), 550.0f);
    EXPECT_NE(x_plain, x_hybrid);
    EXPECT_FALSE(x_plain == x_hybrid);
}

TEST(LevelEquality, NamesIgnoredBitsCounted)
{
    Level x_default;
    EXPECT_EQ(x_default.GetType(), 0);
    EXPECT_EQ(x_default.GetValue(), 0.0f);
    EXPECT_EQ(x_default.GetName(), "");

    Level x_a;
    Level x_b;
    x_a.Set(8, 850.0f);
    x_b.Set(8, 850.0f);
    x_a.SetName("p");
    x_b.SetName("q");
    EXPECT_EQ(x_a, x_b);
    x_b.Set(8, std::nextafter(850.0f, 1000.0f));
    EXPECT_NE(x_a, x_b);
    x_b.Set(1, 850.0f);
    EXPECT_NE(x_a, x_b);
    EXPECT_EQ(x_a.GetName(), "p");
    x_a.Set(9, 1.0f, 2.0f, 3.0f);
    EXPECT_EQ(x_a.GetName(), "p");

    Level x_nan;
    x_nan.Set(1, std::numeric_limits<float>::quiet_NaN());
    EXPECT_NE(x_nan, x_nan);
}
