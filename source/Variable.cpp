// A group of fields that becomes one output variable: grouping, time ordering and value range.
#include "Variable.h"

#include <iostream>

#include "RawConvert.h"

Variable::Variable(VarField x_varfield)
    : px_ncvar(nullptr), i_level_id(-1), i_region_id(-1), i_time_id(-1), f_sf(cf_unset_marker),
      f_off(cf_unset_marker), i_npack_bytes(0)
{
    AddVF(x_varfield);
}

bool Variable::BelongsVF(VarField& x_varfield)
{
    if (!x_varfields.front().InGroup(x_varfield))
        return false;
    // A field repeating the level and time of one already held belongs elsewhere.
    const float f_level = x_varfield.GetLevel().GetValue();
    const float f_time = x_varfield.GetTimeField().GetValue();
    for (const VarField& x_held : x_varfields)
        if (x_held.GetLevel().GetValue() == f_level && x_held.GetTimeField().GetValue() == f_time)
            return false;
    return true;
}

void Variable::AddVF(VarField x_varfield)
{
    x_varfields.push_back(x_varfield);
    x_varfields.sort(Compare);
}

namespace {

// Scans every value of every field that is not the missing value, keeping the one that wins by b_better.
template <typename Better>
float ScanValues(const std::list<VarField>& x_fields, float f_start, Better b_better)
{
    const float f_missing = x_fields.front().GetMissingValue();
    float f_result = f_start;
    for (const VarField& x_field : x_fields) {
        const int* px_values = x_field.GetData();
        if (px_values == nullptr)
            continue;
        const long long l_rows = x_field.GetRegion().GetNRows();
        const long long l_cols = x_field.GetRegion().GetNCols();
        if (l_rows <= 0 || l_cols <= 0)
            continue;
        for (long long i = 0; i < l_rows * l_cols; ++i) {
            const float f_value = RAW_TO_FLOAT(static_cast<unsigned int>(px_values[i]));
            if (f_value == f_missing)
                continue;
            if (b_better(f_value, f_result))
                f_result = f_value;
        }
    }
    return f_result;
}

}  // namespace

float Variable::GetMaximumValue()
{
    return ScanValues(x_varfields, -cf_unset_marker, [](float a, float b) { return a > b; });
}

float Variable::GetMinimumValue()
{
    return ScanValues(x_varfields, cf_unset_marker, [](float a, float b) { return a < b; });
}

void Variable::Print()
{
    std::cout << "Var start" << std::endl;
    x_varfields.front().GetTimeField().Print();
    x_varfields.back().GetTimeField().Print();
}

bool Compare(VarField& lhs, VarField& rhs)
{
    if (!(lhs.GetTimeField().GetValDate() < rhs.GetTimeField().GetValDate()))
        return false;
    const int i_type = lhs.GetLevel().GetType();
    const float f_lhs_level = lhs.GetLevel().GetValue();
    const float f_rhs_level = rhs.GetLevel().GetValue();
    // Pressure-like level types count downward, so their order runs from the larger value.
    if (i_type >= 8 && i_type <= 10)
        return f_lhs_level >= f_rhs_level;
    return f_lhs_level <= f_rhs_level;
}
