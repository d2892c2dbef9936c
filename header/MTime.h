// A model date and time with its calendar and its exact count of minutes since year 1.
#ifndef TESSOLD_MTIME_H
#define TESSOLD_MTIME_H

#include <string>

class MTime
{
public:
    MTime();
    MTime(const int* px_time, int i_time_type);

    bool operator==(const MTime& rhs) const;
    bool operator!=(const MTime& rhs) const;
    bool operator<(const MTime& rhs) const;
    bool operator>(const MTime& rhs) const;
    bool operator<=(const MTime& rhs) const;
    bool operator>=(const MTime& rhs) const;

    // Minutes since 0001-01-01 00:00 of the date's calendar; seconds are ignored.
    long long CalcMinutes() const;
    double CalcDays() const;
    double CalcHours() const;
    const int* GetTimeArray() const { return px_time_array; }
    int GetTimeType() const { return i_time_type; }
    std::string GetFormatted() const;
    void Print() const;

private:
    int px_time_array[6];
    int i_time_type;
};

// Returns the calendar code of a time type: its last decimal digit, with the sign of the type.
int CalendarCode(int i_time_type);

#endif
