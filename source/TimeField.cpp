// The time coordinate of one field and the identity rules of time axes.
#include "TimeField.h"

#include <iostream>

TimeField::TimeField() : i_time_type(0), f_meaning_period(0.0f) {}

TimeField::TimeField(int i_new_time_type, const int* px_val_time, const int* px_dat_time)
    : i_time_type(i_new_time_type),
      x_val_date(px_val_time, i_new_time_type),
      x_dat_date(px_dat_time, i_new_time_type),
      f_meaning_period(static_cast<float>((x_dat_date.CalcDays() - x_val_date.CalcDays()) * 24.0))
{
}

bool TimeField::operator==(const TimeField& rhs) const
{
    if (!(f_meaning_period == rhs.f_meaning_period) ||
        CalendarCode(i_time_type) != CalendarCode(rhs.i_time_type))
        return false;
    if (x_val_date != rhs.x_val_date)
        return false;
    // Time types from 100 up make the data date part of the coordinate's identity.
    if (i_time_type > 99 && x_dat_date != rhs.x_dat_date)
        return false;
    return true;
}

bool TimeField::operator!=(const TimeField& rhs) const { return !(*this == rhs); }

float TimeField::GetValue() const
{
    if (f_meaning_period == 0.0f)
        return static_cast<float>(x_val_date.CalcDays());
    // A meaned field sits at the midpoint between its validity and data dates.
    return static_cast<float>(x_val_date.CalcDays() + 0.5 * f_meaning_period / 24.0);
}

std::string TimeField::GetCalendarType() const
{
    switch (CalendarCode(i_time_type)) {
    case 1:
        return "gregorian";
    case 2:
        return "360_day";
    case 0:
        return "none";
    default:
        return "";
    }
}

void TimeField::Print() const
{
    std::cout << i_time_type << " " << f_meaning_period << std::endl;
    std::cout << "\t";
    x_val_date.Print();
    std::cout << "\t";
    if (i_time_type > 99)
        x_dat_date.Print();
}
