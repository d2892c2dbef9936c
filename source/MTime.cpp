// A model date with its calendar code, exact minute and day counts and text form.
#include "MTime.h"

#include <cmath>
#include <iostream>

#include "ToString.h"

namespace {

// Days of a common year that have passed before each month begins; the last entry is the year's length.
const int ci_days_elapsed[13] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};
const long long ci_minutes_per_day = 1440;

// The integer quotient rounded toward minus infinity, so that years before year 1 count back.
long long FloorDiv(long long i_num, long long i_den)
{
    return i_num / i_den - ((i_num % i_den != 0) && ((i_num < 0) != (i_den < 0)) ? 1 : 0);
}

// True for a Gregorian leap year: every fourth year, but of the centuries only every fourth.
bool IsGregorianLeapYear(long long i_year)
{
    return i_year % 4 == 0 && (i_year % 100 != 0 || i_year % 400 == 0);
}

// Counts whole days before the given year and month under the Gregorian rule.
long long GregorianDaysBefore(long long i_year, int i_month)
{
    const long long i_years = i_year - 1;
    long long i_days = 365 * i_years + FloorDiv(i_years, 4) - FloorDiv(i_years, 100) + FloorDiv(i_years, 400);
    // A month outside the table contributes no days, so nothing is read beyond it.
    if (i_month >= 1 && i_month <= 12) {
        i_days += ci_days_elapsed[i_month - 1];
        if (IsGregorianLeapYear(i_year) && i_month > 2)
            i_days += 1;
    }
    return i_days;
}

// Counts whole days before the given year and month in a calendar of twelve 30-day months.
long long Days360Before(long long i_year, long long i_month)
{
    return (i_year - 1) * 360 + (i_month - 1) * 30;
}

}  // namespace

int CalendarCode(int i_time_type)
{
    return (i_time_type % 100) % 10;
}

MTime::MTime() : px_time_array{1, 1, 1, 0, 0, 0}, i_time_type(0) {}

MTime::MTime(const int* px_time, int i_new_time_type) : i_time_type(i_new_time_type)
{
    for (int i = 0; i < 6; ++i)
        px_time_array[i] = px_time[i];
}

bool MTime::operator==(const MTime& rhs) const
{
    for (int i = 0; i < 6; ++i)
        if (px_time_array[i] != rhs.px_time_array[i])
            return false;
    return true;
}

bool MTime::operator!=(const MTime& rhs) const { return !(*this == rhs); }
bool MTime::operator<(const MTime& rhs) const { return CalcMinutes() < rhs.CalcMinutes(); }
bool MTime::operator>(const MTime& rhs) const { return CalcMinutes() > rhs.CalcMinutes(); }
bool MTime::operator<=(const MTime& rhs) const { return CalcMinutes() <= rhs.CalcMinutes(); }
bool MTime::operator>=(const MTime& rhs) const { return CalcMinutes() >= rhs.CalcMinutes(); }

long long MTime::CalcMinutes() const
{
    const long long i_year = px_time_array[0];
    const int i_month = px_time_array[1];
    const long long i_days = CalendarCode(i_time_type) == 1 ? GregorianDaysBefore(i_year, i_month)
                                                            : Days360Before(i_year, i_month);
    // Whole minutes are exact in 64 bits for any year an int can hold; seconds are not counted.
    return (i_days + px_time_array[2] - 1LL) * ci_minutes_per_day + px_time_array[3] * 60LL + px_time_array[4];
}

double MTime::CalcDays() const
{
    return static_cast<double>(CalcMinutes()) / ci_minutes_per_day;
}

double MTime::CalcHours() const
{
    return static_cast<double>(CalcMinutes()) / 60.0;
}

std::string MTime::GetFormatted() const
{
    return ToString(px_time_array[0], 0, ' ') + "-" + ToString(px_time_array[1], 2, '0') + "-" +
           ToString(px_time_array[2], 2, '0') + " " + ToString(px_time_array[3], 2, '0') + ":" +
           ToString(px_time_array[4], 2, '0') + ":" + ToString(px_time_array[5], 2, '0');
}

void MTime::Print() const
{
    for (int i = 0; i < 6; ++i)
        std::cout << px_time_array[i] << " ";
    std::cout << std::endl;
}
