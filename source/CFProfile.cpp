// The CF profile's grouping of fields into variables and its reading of the time words.
#include "CFProfile.h"

#include <cstdio>

namespace {

const int ci_proc_time_mean = 128;
const int ci_proc_minimum = 4096;
const int ci_proc_maximum = 8192;

// The words that decide which variable a field joins; false when a NaN makes it equal to none.
bool GroupKeyOf(const VarField& x_field, std::array<unsigned int, 15>& x_key)
{
    const Region& x_region = x_field.GetRegion();
    const float cf_floats[] = {x_region.GetZerothLatitude(), x_region.GetZerothLongitude(),
                               x_region.GetLatitudeSpacing(), x_region.GetLongitudeSpacing(),
                               x_region.GetPoleLatitude(), x_region.GetPoleLongitude()};
    bool b_comparable = true;
    for (size_t i_float = 0; i_float < 6; ++i_float)
        b_comparable = FloatKey(cf_floats[i_float], x_key[i_float]) && b_comparable;
    const int i_lbtim = x_field.GetTimeField().GetType();
    const int ci_ints[] = {x_region.GetNRows(), x_region.GetNCols(), x_region.GetGridType(),
                           x_field.GetStashCode(), x_field.GetModelCode(), x_field.GetProcCode(),
                           x_field.GetLevel().GetType(), TimeUse(i_lbtim), CalendarCode(i_lbtim)};
    for (size_t i_int = 0; i_int < 9; ++i_int)
        x_key[6 + i_int] = static_cast<unsigned int>(ci_ints[i_int]);
    return b_comparable;
}

// The key of a field's (level, time) place; false when a NaN makes it equal to none.
bool PlaceKeyOf(const VarField& x_field, LevelTimeKey& x_key, unsigned long long& i_time_bits)
{
    unsigned int i_level_bits = 0;
    const bool b_level = FloatKey(x_field.GetLevel().GetValue(), i_level_bits);
    const bool b_time = DoubleKey(x_field.GetTimeField().GetValue(), i_time_bits);
    x_key = {i_level_bits, i_time_bits};
    return b_level && b_time;
}

}  // namespace

int TimeUse(int i_lbtim)
{
    return (i_lbtim / 10) % 10;
}

TimeKind TimeKindOf(int i_lbtim, int i_lbproc)
{
    if (i_lbproc & ci_proc_time_mean)
        return TimeKind::Mean;
    if (i_lbproc & ci_proc_maximum)
        return TimeKind::Maximum;
    if (i_lbproc & ci_proc_minimum)
        return TimeKind::Minimum;
    return TimeUse(i_lbtim) == 2 ? TimeKind::Sum : TimeKind::Instant;
}

bool IsForecast(const TimeField& x_time)
{
    return TimeUse(x_time.GetType()) == 1;
}

bool HasTimeBounds(const TimeField& x_time)
{
    return TimeUse(x_time.GetType()) == 2;
}

bool SameCFTime(const TimeField& x_lhs, const TimeField& x_rhs)
{
    return x_lhs == x_rhs && (!IsForecast(x_lhs) || x_lhs.GetDatDate() == x_rhs.GetDatDate());
}

std::string StashSource(int i_model_code, int i_stash_code)
{
    char s_text[48];
    std::snprintf(s_text, sizeof s_text, "m%02ds%02di%03d", i_model_code, i_stash_code / 1000, i_stash_code % 1000);
    return s_text;
}

bool CFGrouper::Accepts(const Member& x_member, const VarField& x_field)
{
    if (!(x_member.px_var->GetVarFields().front().GetRegion() == x_field.GetRegion()))
        return false;
    LevelTimeKey x_place;
    unsigned long long i_time_bits = 0;
    if (!PlaceKeyOf(x_field, x_place, i_time_bits))
        return true;
    if (x_member.x_places.count(x_place) != 0)
        return false;
    const auto it_time = x_member.x_times.find(i_time_bits);
    return it_time == x_member.x_times.end() || SameCFTime(it_time->second, x_field.GetTimeField());
}

void CFGrouper::Record(Member& x_member, const VarField& x_field)
{
    LevelTimeKey x_place;
    unsigned long long i_time_bits = 0;
    if (!PlaceKeyOf(x_field, x_place, i_time_bits))
        return;
    x_member.x_places.insert(x_place);
    x_member.x_times.emplace(i_time_bits, x_field.GetTimeField());
}

void CFGrouper::Place(VarField& x_field, std::list<Variable>& x_var_list)
{
    Key x_key;
    // A field with a NaN in its group words matches no variable, not even its own.
    if (!GroupKeyOf(x_field, x_key)) {
        x_var_list.push_back(Variable(x_field));
        return;
    }
    std::vector<Member>& x_group = x_groups[x_key];
    for (Member& x_member : x_group) {
        if (Accepts(x_member, x_field)) {
            x_member.px_var->AddVF(x_field);
            Record(x_member, x_field);
            return;
        }
    }
    x_var_list.push_back(Variable(x_field));
    x_group.push_back(Member{&x_var_list.back(), {}, {}});
    Record(x_group.back(), x_field);
}
