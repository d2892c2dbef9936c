// The CF profile's time axes: one double-precision coordinate per distinct axis, the one most
// variables use on the record dimension and named "time", the others "time_1", ...; the start
// and end of each period as bounds where fields describe periods, and the reference time and
// lead of each forecast as auxiliary coordinates.
#include "WriteCFFile.h"

#include "CFProfile.h"

namespace {

// The calendar attribute of a calendar code. Code 1 counts every year by the Gregorian rule;
// every other code is counted in 30-day months, and named so.
std::string CalendarName(int i_lbtim)
{
    return CalendarCode(i_lbtim) == 1 ? "proleptic_gregorian" : "360_day";
}

// The id of the time series most variables use; the lowest such id on a tie.
int RecordSeriesId(const std::list<Series<TimeField>>& x_times, const std::list<Variable>& x_var_list)
{
    std::map<int, int> x_uses;
    for (const Variable& x_var : x_var_list)
        ++x_uses[x_var.GetTimeID()];
    int i_best = x_times.empty() ? 0 : x_times.front().GetID();
    for (const Series<TimeField>& x_series : x_times)
        if (x_uses[x_series.GetID()] > x_uses[i_best])
            i_best = x_series.GetID();
    return i_best;
}

// Adds a double coordinate variable over the axis with the time units and calendar.
NcVar* AddTimeVariable(WriterState& x_state, const std::string& s_name, NcDim* px_dim, const std::string& s_units,
                       const std::string& s_calendar)
{
    NcVar* px_var = Checked(x_state.x_nc_file.add_var(s_name.c_str(), ncDouble, px_dim));
    AddText(px_var, "units", s_units);
    AddText(px_var, "calendar", s_calendar);
    return px_var;
}

const double cd_minutes_per_day = 1440.0;

// Days from the reference time to a date, exact to the minute (days since year 1 are not).
double DaysSince(const MTime& x_date, const MTime& x_ref_time)
{
    return static_cast<double>(x_date.CalcMinutes() - x_ref_time.CalcMinutes()) / cd_minutes_per_day;
}

// The coordinate of a time point: its validity time, or the middle of the period it describes.
double CoordinateDays(const TimeField& x_time, const MTime& x_ref_time)
{
    if (x_time.GetMeaningPeriod() == 0.0f)
        return DaysSince(x_time.GetValDate(), x_ref_time);
    const long long i_ref = x_ref_time.CalcMinutes();
    return static_cast<double>((x_time.GetValDate().CalcMinutes() - i_ref) + (x_time.GetDatDate().CalcMinutes() - i_ref)) /
           (2.0 * cd_minutes_per_day);
}

// True when every forecast of the axis starts from the same reference time.
bool OneReferenceTime(const Series<TimeField>& x_series)
{
    for (const TimeField& x_time : x_series.Get())
        if (x_time.GetDatDate() != x_series.Get().front().GetDatDate())
            return false;
    return true;
}

// Adds the forecast reference time (a scalar where the axis has one) and the forecast period of
// a forecast axis; returns their names.
std::string AddForecastCoordinates(WriterState& x_state, CFLayout& x_layout, const Series<TimeField>& x_series,
                                   NcDim* px_dim, const std::string& s_suffix, const std::string& s_units,
                                   const MTime& x_ref_time)
{
    const bool b_scalar = OneReferenceTime(x_series);
    const std::string s_ref_name = CFFreeName(x_state.x_nc_file, "forecast_reference_time" + s_suffix);
    NcVar* px_ref = AddTimeVariable(x_state, s_ref_name, b_scalar ? nullptr : px_dim, s_units,
                                    CalendarName(x_series.Get().front().GetType()));
    AddText(px_ref, "standard_name", "forecast_reference_time");
    const std::string s_period_name = CFFreeName(x_state.x_nc_file, "forecast_period" + s_suffix);
    NcVar* px_period = Checked(x_state.x_nc_file.add_var(s_period_name.c_str(), ncDouble, px_dim));
    AddText(px_period, "standard_name", "forecast_period");
    AddText(px_period, "units", "hours");
    std::vector<double> x_refs, x_periods;
    for (const TimeField& x_time : x_series.Get()) {
        if (!b_scalar || x_refs.empty())
            x_refs.push_back(DaysSince(x_time.GetDatDate(), x_ref_time));
        x_periods.push_back(static_cast<double>(x_time.GetValDate().CalcMinutes() - x_time.GetDatDate().CalcMinutes()) /
                            60.0);
    }
    const long i_size = static_cast<long>(x_periods.size());
    x_layout.x_puts.push_back({px_ref, std::move(x_refs), b_scalar ? 0 : i_size, 0});
    x_layout.x_puts.push_back({px_period, std::move(x_periods), i_size, 0});
    return s_period_name + " " + s_ref_name;
}

// Defines one time axis: its dimension, coordinate, bounds and forecast coordinates.
CFAxis CreateTimeAxis(WriterState& x_state, CFLayout& x_layout, const Series<TimeField>& x_series, bool b_record,
                      const MTime& x_ref_time)
{
    const std::string s_name = CFFreeName(x_state.x_nc_file, "time");
    const long i_size = x_series.Size();
    CFAxis x_axis;
    x_axis.px_dim = b_record ? Checked(x_state.x_nc_file.add_dim(s_name.c_str()))
                             : Checked(x_state.x_nc_file.add_dim(s_name.c_str(), i_size));
    const TimeField& x_first = x_series.Get().front();
    const std::string s_units = "days since " + x_ref_time.GetFormatted();
    NcVar* px_var = AddTimeVariable(x_state, s_name, x_axis.px_dim, s_units, CalendarName(x_first.GetType()));
    AddText(px_var, "standard_name", "time");
    AddText(px_var, "axis", "T");
    std::vector<double> x_values, x_bounds;
    for (const TimeField& x_time : x_series.Get()) {
        x_values.push_back(CoordinateDays(x_time, x_ref_time));
        x_bounds.push_back(DaysSince(x_time.GetValDate(), x_ref_time));
        x_bounds.push_back(DaysSince(x_time.GetDatDate(), x_ref_time));
    }
    x_layout.x_puts.push_back({px_var, std::move(x_values), i_size, 0});
    if (HasTimeBounds(x_first)) {
        const std::string s_bounds = CFFreeName(x_state.x_nc_file, s_name + "_bnds");
        AddText(px_var, "bounds", s_bounds);
        NcVar* px_bounds = Checked(x_state.x_nc_file.add_var(s_bounds.c_str(), ncDouble, x_axis.px_dim,
                                                             BoundsDim(x_state, x_layout)));
        x_layout.x_puts.push_back({px_bounds, std::move(x_bounds), i_size, 2});
    }
    if (IsForecast(x_first))
        x_axis.s_coordinates = AddForecastCoordinates(x_state, x_layout, x_series, x_axis.px_dim,
                                                      s_name.substr(4), s_units, x_ref_time);
    return x_axis;
}

}  // namespace

void CreateCFTimeAxes(WriterState& x_state, CFLayout& x_layout, std::list<Series<TimeField>>& x_times,
                      const std::list<Variable>& x_var_list, const MTime& x_ref_time)
{
    const int i_record = RecordSeriesId(x_times, x_var_list);
    // The record axis is defined first, so that it takes the plain name "time".
    for (const Series<TimeField>& x_series : x_times)
        if (x_series.GetID() == i_record && x_series.Size() > 0)
            x_layout.x_times[i_record] = CreateTimeAxis(x_state, x_layout, x_series, true, x_ref_time);
    for (const Series<TimeField>& x_series : x_times)
        if (x_series.GetID() != i_record && x_series.Size() > 0)
            x_layout.x_times[x_series.GetID()] = CreateTimeAxis(x_state, x_layout, x_series, false, x_ref_time);
}
