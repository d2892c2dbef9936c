// A model date with its calendar code, single-precision day count and text form.
#include "MTime.h"

#include <cmath>
#include <iostream>

#include "ToString.h"

namespace {

// Days of a common year that have passed before each month begins; the last entry is the year's length.
const int ci_days_elapsed[13] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};

// Counts whole days before the given year and month under the Gregorian rule (every fourth year leaps).
double GregorianDaysBefore(int i_year, int i_month)
{
    double d_days = std::trunc((static_cast<double>(i_year) - 1.0) * 365.25);
    // A month outside the table contributes no days, so nothing is read beyond it.
    if (i_month >= 1 && i_month <= 12) {
        d_days += ci_days_elapsed[i_month - 1];
        if (i_year % 4 == 0 && i_month > 2)
            d_days += 1.0;
    }
    return d_days;
}

// Counts whole days before the given year and month in a calendar of twelve 30-day months.
double Days360Before(int i_year, int i_month)
{
    double d_days = std::trunc((static_cast<double>(i_year) - 1.0) * 360.0);
    return d_days + (static_cast<double>(i_month) - 1.0) * 30.0;
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
bool MTime::operator<(const MTime& rhs) const { return CalcHours() < rhs.CalcHours(); }
bool MTime::operator>(const MTime& rhs) const { return CalcHours() > rhs.CalcHours(); }
bool MTime::operator<=(const MTime& rhs) const { return CalcHours() <= rhs.CalcHours(); }
bool MTime::operator>=(const MTime& rhs) const { return CalcHours() >= rhs.CalcHours(); }

double MTime::CalcDays() const
{
    const int i_year = px_time_array[0];
    const int i_month = px_time_array[1];
    double d_days = CalendarCode(i_time_type) == 1 ? GregorianDaysBefore(i_year, i_month)
                                                   : Days360Before(i_year, i_month);
    d_days += (static_cast<double>(px_time_array[2]) - 1.0) + px_time_array[3] / 24.0;
    // The day count is held in single precision, rounded before and after the minutes are added.
    float f_days = static_cast<float>(d_days);
    f_days = static_cast<float>(f_days + px_time_array[4] / 1440.0);
    return f_days;
}

double MTime::CalcHours() const
{
    return CalcDays() * 24.0;
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
