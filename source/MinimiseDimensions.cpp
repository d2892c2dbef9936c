// Finds the distinct time axes, level axes and grids of the variables and numbers them.
#include "MinimiseDimensions.h"

#include <algorithm>
#include <cmath>

#include "PlainAlgorithms.h"
#include "SeriesIndex.h"

namespace {

// Collects the distinct coordinates of one variable in order of first appearance.
template <typename T, typename GetCoord>
Series<T> CollectSeries(const Variable& x_var, GetCoord get_coord)
{
    Series<T> x_series;
    if (UsePlainAlgorithms()) {
        for (const VarField& x_field : x_var.GetVarFields())
            x_series.Add(get_coord(x_field));
        return x_series;
    }
    // The same as Add, which scans the whole series for every value.
    SeriesIndex<T> x_index;
    for (const VarField& x_field : x_var.GetVarFields()) {
        const T& x_coord = get_coord(x_field);
        if (x_index.Find(x_coord) >= 0)
            continue;
        x_index.Insert(x_coord, x_series.Size());
        x_series.Get().push_back(x_coord);
    }
    return x_series;
}

// True when the values run strictly up, or strictly down, along the series (a NaN does neither).
template <typename T>
bool StrictlyMonotonic(const std::list<T>& x_values)
{
    bool b_up = true;
    bool b_down = true;
    const T* px_previous = nullptr;
    for (const T& x_value : x_values) {
        if (px_previous != nullptr) {
            b_up = b_up && px_previous->GetValue() < x_value.GetValue();
            b_down = b_down && px_previous->GetValue() > x_value.GetValue();
        }
        px_previous = &x_value;
    }
    return b_up || b_down;
}

// Coordinate axes must be monotonic: a series whose values do not run one way in the order the
// fields gave them is sorted by increasing value (stably, NaN last). The writer places every field
// at the index of its own value, so values and data stay together.
template <typename T>
void MakeMonotonic(Series<T>& x_series)
{
    if (StrictlyMonotonic(x_series.Get()))
        return;
    x_series.Get().sort([](const T& x_lhs, const T& x_rhs) {
        const double d_lhs = x_lhs.GetValue();
        const double d_rhs = x_rhs.GetValue();
        return d_lhs < d_rhs || (!std::isnan(d_lhs) && std::isnan(d_rhs));
    });
}

// True when the series are of one length and b_same holds for the values at each place.
template <typename T, typename Same>
bool SameSeries(const Series<T>& x_lhs, const Series<T>& x_rhs, Same b_same)
{
    return x_lhs.Size() == x_rhs.Size() &&
           std::equal(x_lhs.Get().begin(), x_lhs.Get().end(), x_rhs.Get().begin(), b_same);
}

// Collects each variable's distinct coordinates into a series and shares equal series between
// variables; series are equal when b_same holds for each pair of their values.
template <typename T, typename GetCoord, typename SetId, typename Same>
std::list<Series<T>> MinimiseSeries(std::list<Variable>& x_var_list, GetCoord get_coord, SetId set_id, Same b_same)
{
    std::list<Series<T>> x_result;
    int i_next_id = 0;
    for (Variable& x_var : x_var_list) {
        Series<T> x_series = CollectSeries<T>(x_var, get_coord);
        MakeMonotonic(x_series);
        bool b_found = false;
        for (const Series<T>& x_held : x_result) {
            if (SameSeries(x_held, x_series, b_same)) {
                set_id(x_var, x_held.GetID());
                b_found = true;
                break;
            }
        }
        if (!b_found) {
            set_id(x_var, i_next_id);
            x_series.SetID(i_next_id);
            x_result.push_back(x_series);
            ++i_next_id;
        }
    }
    return x_result;
}

}  // namespace

bool EqualTimes(const TimeField& x_lhs, const TimeField& x_rhs)
{
    return x_lhs == x_rhs;
}

std::list<Series<TimeField>> MinimiseTimes(std::list<Variable>& x_var_list, SameTime b_same)
{
    return MinimiseSeries<TimeField>(
        x_var_list, [](const VarField& x_field) -> const TimeField& { return x_field.GetTimeField(); },
        [](Variable& x_var, int i_id) { x_var.SetTimeID(i_id); }, b_same);
}

std::list<Series<Level>> MinimiseLevels(std::list<Variable>& x_var_list)
{
    return MinimiseSeries<Level>(
        x_var_list, [](const VarField& x_field) -> const Level& { return x_field.GetLevel(); },
        [](Variable& x_var, int i_id) { x_var.SetLevelID(i_id); },
        [](const Level& x_lhs, const Level& x_rhs) { return x_lhs == x_rhs; });
}

std::list<Region> MinimiseRegions(std::list<Variable>& x_var_list)
{
    std::list<Region> x_result;
    int i_next_id = 0;
    for (Variable& x_var : x_var_list) {
        Region x_grid = x_var.GetVarFields().front().GetRegion();
        bool b_found = false;
        for (const Region& x_held : x_result) {
            if (x_held == x_grid) {
                x_var.SetRegionID(x_held.GetID());
                b_found = true;
                break;
            }
        }
        if (!b_found) {
            x_grid.SetID(i_next_id);
            x_var.SetRegionID(i_next_id);
            x_result.push_back(x_grid);
            ++i_next_id;
        }
    }
    return x_result;
}
