// The time coordinate of one field and the identity rules of time axes.
#include "TimeField.h"

#include <iostream>

TimeField::TimeField() : i_time_type(0), f_meaning_period(0.0f) {}

namespace {

// Only time types whose tens digit is 2 describe a period: T1 its start and T2 its end. For the
// others T2 is unused or the forecast's data time, and the field is valid at T1 alone.
bool HasMeaningPeriod(int i_time_type)
{
    return (i_time_type / 10) % 10 == 2;
}

}  // namespace

TimeField::TimeField(int i_new_time_type, const int* px_val_time, const int* px_dat_time)
    : i_time_type(i_new_time_type),
      x_val_date(px_val_time, i_new_time_type),
      x_dat_date(px_dat_time, i_new_time_type),
      f_meaning_period(0.0f)
{
    if (HasMeaningPeriod(i_time_type))
        f_meaning_period = static_cast<float>(static_cast<double>(x_dat_date.CalcMinutes() - x_val_date.CalcMinutes()) / 60.0);
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

double TimeField::GetValue() const
{
    if (f_meaning_period == 0.0f)
        return x_val_date.CalcDays();
    // A meaned field sits at the midpoint of its period, counted in exact minutes.
    return static_cast<double>(x_val_date.CalcMinutes() + x_dat_date.CalcMinutes()) / 2880.0;
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
