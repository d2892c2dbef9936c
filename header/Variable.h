// A group of fields of one diagnostic that becomes one output variable.
#ifndef TESSOLD_VARIABLE_H
#define TESSOLD_VARIABLE_H

#include <list>
#include <string>
#include <unordered_set>

#include "VarField.h"

class NcVar;

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
    void SyncIndex();
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
    std::unordered_set<unsigned long long> x_level_time_keys;
    size_t i_indexed_fields;
    bool b_time_ordered;
    double d_last_hours;
};

// True when lhs is strictly earlier than rhs and its level lies before rhs's in the level's sense.
bool Compare(VarField& lhs, VarField& rhs);

// The marker for a packing scale or offset not yet set, and the start of the value range scans.
const float cf_unset_marker = 2.0e20f;

#endif
