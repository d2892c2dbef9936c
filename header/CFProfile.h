// The CF profile's policy over the model: which fields form one variable (one diagnostic
// whatever its meaning periods and lead times), the kind of time processing a field carries,
// when two time points are the same, and the text that names a STASH code.
#ifndef TESSOLD_CFPROFILE_H
#define TESSOLD_CFPROFILE_H

#include <array>
#include <list>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "FloatKeys.h"
#include "TimeField.h"
#include "Variable.h"

// What a field's time words and processing code say was done over time.
enum class TimeKind { Instant, Mean, Maximum, Minimum, Sum };

// LBTIM's tens digit: 0 valid at T1, 1 a forecast from T2, 2 a statistic over T1 to T2.
int TimeUse(int i_lbtim);
// The kind of time processing of a field, from LBPROC (time mean, minimum, maximum) and LBTIM
// (a period with none of those is an accumulation).
TimeKind TimeKindOf(int i_lbtim, int i_lbproc);
// True when the field's T2 is the start of the forecast it belongs to.
bool IsForecast(const TimeField& x_time);
// True when the field's T1 and T2 bound the period it describes.
bool HasTimeBounds(const TimeField& x_time);
// Two time points are the same in the CF profile when they are equal and, for forecasts, also
// start from the same reference time.
bool SameCFTime(const TimeField& x_lhs, const TimeField& x_rhs);
// The text "mMMsSSiIII" of a STASH code (section * 1000 + item) of a sub-model.
std::string StashSource(int i_model_code, int i_stash_code);

// Places fields in the CF profile's variables: one per STASH code, sub-model, processing code,
// level type, grid and kind of time processing; a field that repeats a held field's time and
// level, or whose time equals a held time but not its reference time, starts another variable.
class CFGrouper
{
public:
    void Place(VarField& x_field, std::list<Variable>& x_var_list);

private:
    typedef std::array<unsigned int, 15> Key;
    struct Member
    {
        Variable* px_var;
        std::unordered_set<LevelTimeKey, LevelTimeKeyHash> x_places;
        std::unordered_map<unsigned long long, TimeField> x_times;
    };
    static bool Accepts(const Member& x_member, const VarField& x_field);
    static void Record(Member& x_member, const VarField& x_field);

    std::unordered_map<Key, std::vector<Member>, WordsHash> x_groups;
};

#endif
