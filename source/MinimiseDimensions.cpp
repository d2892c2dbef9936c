// Finds the distinct time axes, level axes and grids of the variables and numbers them.
#include "MinimiseDimensions.h"

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

// Collects each variable's distinct coordinates into a series and shares equal series between variables.
template <typename T, typename GetCoord, typename SetId>
std::list<Series<T>> MinimiseSeries(std::list<Variable>& x_var_list, GetCoord get_coord, SetId set_id)
{
    std::list<Series<T>> x_result;
    int i_next_id = 0;
    for (Variable& x_var : x_var_list) {
        Series<T> x_series = CollectSeries<T>(x_var, get_coord);
        bool b_found = false;
        for (const Series<T>& x_held : x_result) {
            if (x_held == x_series) {
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

std::list<Series<TimeField>> MinimiseTimes(std::list<Variable>& x_var_list)
{
    return MinimiseSeries<TimeField>(
        x_var_list, [](const VarField& x_field) -> const TimeField& { return x_field.GetTimeField(); },
        [](Variable& x_var, int i_id) { x_var.SetTimeID(i_id); });
}

std::list<Series<Level>> MinimiseLevels(std::list<Variable>& x_var_list)
{
    return MinimiseSeries<Level>(
        x_var_list, [](const VarField& x_field) -> const Level& { return x_field.GetLevel(); },
        [](Variable& x_var, int i_id) { x_var.SetLevelID(i_id); });
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
