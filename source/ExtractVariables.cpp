// Builds fields from the lookup table entries and groups them into variables.
#include "ExtractVariables.h"

#include <array>
#include <unordered_map>
#include <vector>

#include "PlainAlgorithms.h"
#include "RawConvert.h"
#include "ReadUMFile.h"

namespace {

// Position in the fixed header of the lookup table's start word, where entry lengths are found.
const int ci_lookup_idx = 149;

// Reads integer lookup word i_word (numbered from 1) of entry idx.
int LookupInt(int* px_fixhdr, int* px_pphdrs, int idx, int i_word)
{
    return ReadValueFrom2D(px_fixhdr, px_pphdrs, ci_lookup_idx, i_word - 1, idx);
}

// Reads real lookup word i_word (numbered from 1) of entry idx, reinterpreting its bits.
float LookupReal(int* px_fixhdr, int* px_pphdrs, int idx, int i_word)
{
    return RAW_TO_FLOAT(static_cast<unsigned int>(LookupInt(px_fixhdr, px_pphdrs, idx, i_word)));
}

// Offers the field to the variables in order, starting a new variable when none accepts it.
typedef std::array<unsigned int, 15> GroupKey;

// Hashes the words of a group key.
struct GroupKeyHash
{
    size_t operator()(const GroupKey& x_key) const
    {
        size_t i_hash = 1469598103934665603ULL;
        for (unsigned int i_word : x_key)
            i_hash = (i_hash ^ i_word) * 1099511628211ULL;
        return i_hash;
    }
};

// The variables of each group, in list order. A variable accepts a field only when the
// field is in its group, so a field need only be offered to the variables of its own group,
// first to last, to find the same variable that a scan of the whole list finds.
typedef std::unordered_map<GroupKey, std::vector<Variable*>, GroupKeyHash> GroupIndex;

void PlaceFieldByScan(VarField& x_field, std::list<Variable>& x_var_list)
{
    for (Variable& x_var : x_var_list) {
        if (x_var.BelongsVF(x_field)) {
            x_var.AddVF(x_field);
            return;
        }
    }
    x_var_list.push_back(Variable(x_field));
}

void PlaceFieldByIndex(VarField& x_field, std::list<Variable>& x_var_list, GroupIndex& x_index)
{
    GroupKey x_key;
    // A field with a NaN in its group words matches no variable, not even its own.
    if (!x_field.GetGroupKey(x_key)) {
        x_var_list.push_back(Variable(x_field));
        return;
    }
    std::vector<Variable*>& x_group = x_index[x_key];
    for (Variable* px_var : x_group) {
        if (px_var->BelongsVF(x_field)) {
            px_var->AddVF(x_field);
            return;
        }
    }
    x_var_list.push_back(Variable(x_field));
    x_group.push_back(&x_var_list.back());
}

// Indexes the variables a caller's list already holds.
GroupIndex IndexVariables(std::list<Variable>& x_var_list)
{
    GroupIndex x_index;
    GroupKey x_key;
    for (Variable& x_var : x_var_list)
        if (x_var.GetVarFields().front().GetGroupKey(x_key))
            x_index[x_key].push_back(&x_var);
    return x_index;
}

}  // namespace

VarField ExtractVarField(int* px_fixhdr, int* px_pphdrs, int* px_data, int idx)
{
    const int i_field_code = LookupInt(px_fixhdr, px_pphdrs, idx, 23);
    const int i_data_type = LookupInt(px_fixhdr, px_pphdrs, idx, 39);
    const int i_stash_code = LookupInt(px_fixhdr, px_pphdrs, idx, 42);
    const int i_pack_code = LookupInt(px_fixhdr, px_pphdrs, idx, 21);
    const int i_proc_code = LookupInt(px_fixhdr, px_pphdrs, idx, 25);
    const float f_bmdi = LookupReal(px_fixhdr, px_pphdrs, idx, 63);
    const float f_mks = LookupReal(px_fixhdr, px_pphdrs, idx, 64);
    const int i_lbtim = LookupInt(px_fixhdr, px_pphdrs, idx, 13);
    const int i_model_code = px_fixhdr[1];

    // Time types above 100 carry the hours between samples in their hundreds.
    const float f_sampling = i_lbtim > 100 ? static_cast<float>(i_lbtim / 100) : -1.0f;

    VarField x_field(i_model_code, i_field_code, i_stash_code, i_data_type);
    x_field.SetPackCode(i_pack_code);
    x_field.SetBMDI_MKS(f_bmdi, f_mks);
    x_field.SetProcCode(i_proc_code);
    x_field.SetSamplingFrequency(f_sampling);

    // The buffer starts at the data section's first word, so addresses are taken relative to it.
    if (px_data != nullptr) {
        const long long l_begin = LookupInt(px_fixhdr, px_pphdrs, idx, 29);
        const long long l_offset = l_begin - (static_cast<long long>(px_fixhdr[159]) - 1);
        x_field.SetData(px_data + l_offset);
    }
    return x_field;
}

TimeField ExtractTime(int* px_fixhdr, int* px_pphdrs, int idx)
{
    int px_val_time[6];
    int px_dat_time[6];
    for (int i = 0; i < 6; ++i) {
        px_val_time[i] = LookupInt(px_fixhdr, px_pphdrs, idx, 1 + i);
        px_dat_time[i] = LookupInt(px_fixhdr, px_pphdrs, idx, 7 + i);
    }
    return TimeField(LookupInt(px_fixhdr, px_pphdrs, idx, 13), px_val_time, px_dat_time);
}

Level ExtractLevel(int* px_fixhdr, int* px_pphdrs, int idx)
{
    const int i_lbvc = LookupInt(px_fixhdr, px_pphdrs, idx, 26);
    const float f_blev = LookupReal(px_fixhdr, px_pphdrs, idx, 52);
    const int i_pseudo = LookupInt(px_fixhdr, px_pphdrs, idx, 43);
    const float f_bhlev = LookupReal(px_fixhdr, px_pphdrs, idx, 54);

    Level x_level;
    if (i_pseudo != 0)
        x_level.Set(i_lbvc, static_cast<float>(i_pseudo));
    else if (i_lbvc == 9 || i_lbvc == 129)
        x_level.Set(i_lbvc, f_bhlev, f_blev, 100000.0f);
    else
        x_level.Set(i_lbvc, f_blev);
    return x_level;
}

Region ExtractRegion(int* px_fixhdr, int* px_pphdrs, int idx)
{
    Region x_region(LookupInt(px_fixhdr, px_pphdrs, idx, 16), LookupReal(px_fixhdr, px_pphdrs, idx, 59),
                    LookupReal(px_fixhdr, px_pphdrs, idx, 61), LookupReal(px_fixhdr, px_pphdrs, idx, 60),
                    LookupReal(px_fixhdr, px_pphdrs, idx, 62), LookupInt(px_fixhdr, px_pphdrs, idx, 18),
                    LookupInt(px_fixhdr, px_pphdrs, idx, 19));
    x_region.SetPoleLocation(LookupReal(px_fixhdr, px_pphdrs, idx, 56),
                             LookupReal(px_fixhdr, px_pphdrs, idx, 57));
    return x_region;
}

void ExtractVarFields(int* px_fixhdr, int* px_pphdrs, int* px_data, std::list<Variable>& x_var_list)
{
    const int i_nfields = px_fixhdr[151];
    const bool b_plain = UsePlainAlgorithms();
    GroupIndex x_index = b_plain ? GroupIndex() : IndexVariables(x_var_list);
    for (int idx = 0; idx < i_nfields; ++idx) {
        VarField x_field = ExtractVarField(px_fixhdr, px_pphdrs, px_data, idx);
        x_field.SetDims(ExtractRegion(px_fixhdr, px_pphdrs, idx), ExtractLevel(px_fixhdr, px_pphdrs, idx),
                        ExtractTime(px_fixhdr, px_pphdrs, idx));
        if (b_plain)
            PlaceFieldByScan(x_field, x_var_list);
        else
            PlaceFieldByIndex(x_field, x_var_list, x_index);
    }
}
