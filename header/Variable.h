// A group of fields of one diagnostic that becomes one output variable.
#ifndef TESSOLD_VARIABLE_H
#define TESSOLD_VARIABLE_H

#include <array>
#include <list>
#include <string>
#include <unordered_set>

#include "FloatKeys.h"
#include "RawConvert.h"
#include "VarField.h"

class NcVar;

// A (level value, time value) pair as bits, for finding a field that repeats both.
struct LevelTimeKey
{
    unsigned int i_level_bits;
    unsigned long long i_time_bits;
    bool operator==(const LevelTimeKey& rhs) const
    {
        return i_level_bits == rhs.i_level_bits && i_time_bits == rhs.i_time_bits;
    }
};

struct LevelTimeKeyHash
{
    size_t operator()(const LevelTimeKey& x_key) const
    {
        return WordsHash()(std::array<unsigned long long, 2>{x_key.i_level_bits, x_key.i_time_bits});
    }
};

class Variable
{
public:
    explicit Variable(VarField x_varfield);

    bool BelongsVF(VarField& x_varfield);
    void AddVF(VarField x_varfield);
    std::list<VarField>& GetVarFields() { return x_varfields; }
    const std::list<VarField>& GetVarFields() const { return x_varfields; }

    int GetType() const { return x_varfields.front().GetType(); }
    int GetFieldCode() const { return x_varfields.front().GetFieldCode(); }
    int GetStashCode() const { return x_varfields.front().GetStashCode(); }
    int GetModelCode() const { return x_varfields.front().GetModelCode(); }
    int GetProcCode() const { return x_varfields.front().GetProcCode(); }
    float GetMissingValue() const { return x_varfields.front().GetMissingValue(); }
    float GetMKSValue() const { return x_varfields.front().GetMKSValue(); }
    float GetSamplingFrequency() const { return x_varfields.front().GetSamplingFrequency(); }
    int GetGridType() const { return x_varfields.front().GetRegion().GetGridType(); }

    bool HoldsIntegers() const { return x_varfields.front().HoldsIntegers(); }
    // The integer that marks missing data in a variable of integer words: the missing value of
    // data type 2 when it is a whole number an int holds. False when there is none.
    bool GetIntegerMissingValue(int& i_missing) const;

    float GetMaximumValue();
    float GetMinimumValue();

    void SetLevelID(int i_id) { i_level_id = i_id; }
    int GetLevelID() const { return i_level_id; }
    void SetRegionID(int i_id) { i_region_id = i_id; }
    int GetRegionID() const { return i_region_id; }
    void SetTimeID(int i_id) { i_time_id = i_id; }
    int GetTimeID() const { return i_time_id; }
    void SetScalingFactor(float f_scale) { f_sf = f_scale; }
    float GetScalingFactor() const { return f_sf; }
    void SetOffset(float f_offset) { f_off = f_offset; }
    float GetOffset() const { return f_off; }
    void SetPackingBytes(int i_bytes) { i_npack_bytes = i_bytes; }
    int GetPackingBytes() const { return i_npack_bytes; }
    void SetNcVar(NcVar* px_var) { px_ncvar = px_var; }
    NcVar* GetNcVar() const { return px_ncvar; }

    void Print();

private:
    void IndexField(const VarField& x_varfield);
    void RecheckTimeOrder();

    std::list<VarField> x_varfields;
    NcVar* px_ncvar;
    int i_level_id;
    int i_region_id;
    int i_time_id;
    float f_sf;
    float f_off;
    int i_npack_bytes;
    std::string s_level_name;

    // Grouping aids that never change a result: the (level, time) value pairs held, and
    // whether the fields' validity times never decrease along the list (then a field that
    // is not earlier than the last one leaves the sort with nothing to move).
    std::unordered_set<LevelTimeKey, LevelTimeKeyHash> x_level_time_keys;
    bool b_time_ordered;
    double d_last_hours;
};

// Reads a variable's words as values: IEEE singles, or for fields of integer words the integers
// they hold. A word is missing when its value equals the variable's missing value.
class WordReader
{
public:
    explicit WordReader(const Variable& x_var);
    bool Integers() const { return b_integers; }
    // Inline: the packing and range scans call these once per point. The forms for a known kind
    // of word let a loop over many points decide the kind once.
    float Value(int i_word) const { return b_integers ? ValueAs<true>(i_word) : ValueAs<false>(i_word); }
    bool IsMissing(int i_word) const { return b_integers ? IsMissingAs<true>(i_word) : IsMissingAs<false>(i_word); }
    template <bool b_ints>
    float ValueAs(int i_word) const
    {
        return b_ints ? static_cast<float>(i_word) : RAW_TO_FLOAT(static_cast<unsigned int>(i_word));
    }
    template <bool b_ints>
    bool IsMissingAs(int i_word) const
    {
        return b_ints ? b_has_int_missing && i_word == i_int_missing
                      : RAW_TO_FLOAT(static_cast<unsigned int>(i_word)) == f_missing;
    }

private:
    bool b_integers;
    bool b_has_int_missing;
    int i_int_missing;
    float f_missing;
};

// True when lhs is strictly earlier than rhs and its level lies before rhs's in the level's sense.
bool Compare(VarField& lhs, VarField& rhs);

// The marker for a packing scale or offset not yet set, and the start of the value range scans.
const float cf_unset_marker = 2.0e20f;

#endif
