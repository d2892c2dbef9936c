// The time coordinate of one field: validity date, data date and meaning period.
#ifndef TESSOLD_TIMEFIELD_H
#define TESSOLD_TIMEFIELD_H

#include <string>

#include "MTime.h"

class TimeField
{
public:
    TimeField();
    TimeField(int i_time_type, const int* px_val_time, const int* px_dat_time);

    bool operator==(const TimeField& rhs) const;
    bool operator!=(const TimeField& rhs) const;

    // Days since 0001-01-01 of the calendar: the validity time, or a meaning period's midpoint.
    double GetValue() const;
    float GetMeaningPeriod() const { return f_meaning_period; }
    const MTime& GetValDate() const { return x_val_date; }
    const MTime& GetDatDate() const { return x_dat_date; }
    int GetType() const { return i_time_type; }
    std::string GetCalendarType() const;
    void Print() const;

private:
    int i_time_type;
    MTime x_val_date;
    MTime x_dat_date;
    float f_meaning_period;
};

#endif
