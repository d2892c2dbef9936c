// A group of fields that becomes one output variable: grouping, time ordering and value range.
#include "Variable.h"

#include <cmath>
#include <iostream>
#include <limits>

#include "FloatKeys.h"
#include "PlainAlgorithms.h"
#include "RawConvert.h"

namespace {

// The key of a (level value, time value) pair; false when a NaN makes the pair equal to none.
bool MakeLevelTimeKey(float f_level, double d_time, LevelTimeKey& x_key)
{
    unsigned int i_level_bits = 0;
    unsigned long long i_time_bits = 0;
    const bool b_comparable = FloatKey(f_level, i_level_bits) && DoubleKey(d_time, i_time_bits);
    x_key = {i_level_bits, i_time_bits};
    return b_comparable;
}

double ValidityHours(const VarField& x_varfield)
{
    return x_varfield.GetTimeField().GetValDate().CalcHours();
}

}  // namespace

Variable::Variable(VarField x_varfield)
    : px_ncvar(nullptr), i_level_id(-1), i_region_id(-1), i_time_id(-1), f_sf(cf_unset_marker),
      f_off(cf_unset_marker), i_npack_bytes(0), b_time_ordered(true),
      d_last_hours(-std::numeric_limits<double>::infinity())
{
    AddVF(x_varfield);
}

bool Variable::BelongsVF(VarField& x_varfield)
{
    if (!x_varfields.front().InGroup(x_varfield))
        return false;
    // A field repeating the level and time of one already held belongs elsewhere.
    const float f_level = x_varfield.GetLevel().GetValue();
    const double d_time = x_varfield.GetTimeField().GetValue();
    if (!UsePlainAlgorithms()) {
        LevelTimeKey x_key;
        return !MakeLevelTimeKey(f_level, d_time, x_key) || x_level_time_keys.count(x_key) == 0;
    }
    for (const VarField& x_held : x_varfields)
        if (x_held.GetLevel().GetValue() == f_level && x_held.GetTimeField().GetValue() == d_time)
            return false;
    return true;
}

void Variable::AddVF(VarField x_varfield)
{
    const double d_hours = ValidityHours(x_varfield);
    const bool b_indexed = !UsePlainAlgorithms();
    x_varfields.push_back(x_varfield);
    if (b_indexed)
        IndexField(x_varfield);
    if (b_indexed && b_time_ordered && d_hours >= d_last_hours) {
        d_last_hours = d_hours;
        return;
    }
    x_varfields.sort(Compare);
    RecheckTimeOrder();
}

// Records one added field's (level, time) pair; NaN values equal nothing and are left out.
void Variable::IndexField(const VarField& x_varfield)
{
    LevelTimeKey x_key;
    if (MakeLevelTimeKey(x_varfield.GetLevel().GetValue(), x_varfield.GetTimeField().GetValue(), x_key))
        x_level_time_keys.insert(x_key);
}

// A list whose neighbours never go back in time holds no pair the sort would swap.
void Variable::RecheckTimeOrder()
{
    b_time_ordered = true;
    d_last_hours = -std::numeric_limits<double>::infinity();
    for (const VarField& x_held : x_varfields) {
        const double d_hours = ValidityHours(x_held);
        if (d_hours < d_last_hours)
            b_time_ordered = false;
        d_last_hours = d_hours;
    }
}

namespace {

// True when the float is a whole number that an int can hold, tested before any cast.
bool FitsInt(float f_value)
{
    return std::isfinite(f_value) && f_value == std::floor(f_value) && f_value >= -2147483648.0f &&
           f_value < 2147483648.0f;
}

}  // namespace

bool Variable::GetIntegerMissingValue(int& i_missing) const
{
    const int i_type = GetType();
    if ((i_type != 2 && i_type != -2) || !FitsInt(GetMissingValue()))
        return false;
    i_missing = static_cast<int>(GetMissingValue());
    return true;
}

WordReader::WordReader(const Variable& x_var)
    : b_integers(x_var.HoldsIntegers()), b_has_int_missing(false), i_int_missing(0),
      f_missing(x_var.GetMissingValue())
{
    if (b_integers)
        b_has_int_missing = x_var.GetIntegerMissingValue(i_int_missing);
}

namespace {

// Scans the words of one field that are not missing, keeping the value that wins by b_better.
template <bool b_ints, typename Better>
float ScanWords(const int* px_values, long long l_count, const WordReader& x_reader, float f_result, Better b_better)
{
    for (long long i = 0; i < l_count; ++i) {
        if (x_reader.IsMissingAs<b_ints>(px_values[i]))
            continue;
        const float f_value = x_reader.ValueAs<b_ints>(px_values[i]);
        if (b_better(f_value, f_result))
            f_result = f_value;
    }
    return f_result;
}

// Scans every value of every field that is not missing, keeping the one that wins by b_better.
template <typename Better>
float ScanValues(const Variable& x_var, float f_start, Better b_better)
{
    const WordReader x_reader(x_var);
    float f_result = f_start;
    for (const VarField& x_field : x_var.GetVarFields()) {
        const int* px_values = x_field.GetData();
        if (px_values == nullptr)
            continue;
        const long long l_rows = x_field.GetRegion().GetNRows();
        const long long l_cols = x_field.GetRegion().GetNCols();
        if (l_rows <= 0 || l_cols <= 0)
            continue;
        f_result = x_reader.Integers() ? ScanWords<true>(px_values, l_rows * l_cols, x_reader, f_result, b_better)
                                       : ScanWords<false>(px_values, l_rows * l_cols, x_reader, f_result, b_better);
    }
    return f_result;
}

}  // namespace

float Variable::GetMaximumValue()
{
    return ScanValues(*this, -cf_unset_marker, [](float a, float b) { return a > b; });
}

float Variable::GetMinimumValue()
{
    return ScanValues(*this, cf_unset_marker, [](float a, float b) { return a < b; });
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
