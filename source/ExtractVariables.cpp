// Builds fields from the lookup table entries and groups them into variables.
#include "ExtractVariables.h"

#include <array>
#include <memory>
#include <unordered_map>
#include <vector>

#include "CFProfile.h"
#include "PlainAlgorithms.h"
#include "RawConvert.h"
#include "FloatKeys.h"
#include "ReadUMFile.h"
#include "ToString.h"
#include "UMWords.h"

namespace {

// Reads integer lookup word i_word (numbered from 1) of entry idx.
int LookupInt(int* px_fixhdr, int* px_pphdrs, int idx, int i_word)
{
    return ReadValueFrom2D(px_fixhdr, px_pphdrs, FH_LOOKUP_START - 1, i_word - 1, idx);
}

// Reads real lookup word i_word (numbered from 1) of entry idx, reinterpreting its bits.
float LookupReal(int* px_fixhdr, int* px_pphdrs, int idx, int i_word)
{
    return RAW_TO_FLOAT(static_cast<unsigned int>(LookupInt(px_fixhdr, px_pphdrs, idx, i_word)));
}

// The words that decide which variables a field may join (VarField::GetGroupKey).
typedef std::array<unsigned int, 15> GroupKey;

// The variables of each group, in list order. A variable accepts a field only when the
// field is in its group, so a field need only be offered to the variables of its own group,
// first to last, to find the same variable that a scan of the whole list finds.
typedef std::unordered_map<GroupKey, std::vector<Variable*>, WordsHash> GroupIndex;

// Offers the field to the variables in order, starting a new variable when none accepts it.
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

// Does what PlaceFieldByScan does, offering the field only to the variables of its group.
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

}  // namespace

VarField ExtractVarField(int* px_fixhdr, int* px_pphdrs, int* px_data, int idx)
{
    const int i_field_code = LookupInt(px_fixhdr, px_pphdrs, idx, LBFC);
    const int i_data_type = LookupInt(px_fixhdr, px_pphdrs, idx, LBUSER1);
    const int i_stash_code = LookupInt(px_fixhdr, px_pphdrs, idx, LBUSER4);
    const int i_pack_code = LookupInt(px_fixhdr, px_pphdrs, idx, LBPACK);
    const int i_proc_code = LookupInt(px_fixhdr, px_pphdrs, idx, LBPROC);
    const float f_bmdi = LookupReal(px_fixhdr, px_pphdrs, idx, BMDI);
    const float f_mks = LookupReal(px_fixhdr, px_pphdrs, idx, BMKS);
    const int i_lbtim = LookupInt(px_fixhdr, px_pphdrs, idx, LBTIM);
    const int i_model_code = FixedWord(px_fixhdr, FH_SUB_MODEL);

    // Time types above 100 carry the hours between samples in their hundreds.
    const float f_sampling = i_lbtim > 100 ? static_cast<float>(i_lbtim / 100) : -1.0f;

    VarField x_field(i_model_code, i_field_code, i_stash_code, i_data_type);
    x_field.SetPackCode(i_pack_code);
    x_field.SetBMDI_MKS(f_bmdi, f_mks);
    x_field.SetProcCode(i_proc_code);
    x_field.SetSamplingFrequency(f_sampling);

    // The buffer starts at the data section's first word, so addresses are taken relative to it.
    if (px_data != nullptr) {
        const long long l_begin = LookupInt(px_fixhdr, px_pphdrs, idx, LBEGIN);
        const long long l_offset = l_begin - (static_cast<long long>(FixedWord(px_fixhdr, FH_DATA_START)) - 1);
        x_field.SetData(px_data + l_offset);
    }
    return x_field;
}

TimeField ExtractTime(int* px_fixhdr, int* px_pphdrs, int idx)
{
    int px_val_time[6];
    int px_dat_time[6];
    for (int i = 0; i < 6; ++i) {
        px_val_time[i] = LookupInt(px_fixhdr, px_pphdrs, idx, LBYR + i);
        px_dat_time[i] = LookupInt(px_fixhdr, px_pphdrs, idx, LBYRD + i);
    }
    return TimeField(LookupInt(px_fixhdr, px_pphdrs, idx, LBTIM), px_val_time, px_dat_time);
}

Level ExtractLevel(int* px_fixhdr, int* px_pphdrs, int idx)
{
    const int i_lbvc = LookupInt(px_fixhdr, px_pphdrs, idx, LBVC);
    const float f_blev = LookupReal(px_fixhdr, px_pphdrs, idx, BLEV);
    const int i_pseudo = LookupInt(px_fixhdr, px_pphdrs, idx, LBUSER5);
    const float f_bhlev = LookupReal(px_fixhdr, px_pphdrs, idx, BHLEV);

    Level x_level;
    if (i_pseudo != 0)
        x_level.SetPseudo(i_lbvc, i_pseudo);
    else if (i_lbvc == 9 || i_lbvc == 129)
        x_level.Set(i_lbvc, f_bhlev, f_blev, 100000.0f);
    else if (i_lbvc == ci_lbvc_hybrid_height)
        x_level.SetHybridHeight(f_blev, f_bhlev);
    else
        x_level.Set(i_lbvc, f_blev);
    return x_level;
}

Region ExtractRegion(int* px_fixhdr, int* px_pphdrs, int idx)
{
    Region x_region(LookupInt(px_fixhdr, px_pphdrs, idx, LBCODE), LookupReal(px_fixhdr, px_pphdrs, idx, BZY),
                    LookupReal(px_fixhdr, px_pphdrs, idx, BZX), LookupReal(px_fixhdr, px_pphdrs, idx, BDY),
                    LookupReal(px_fixhdr, px_pphdrs, idx, BDX), LookupInt(px_fixhdr, px_pphdrs, idx, LBROW),
                    LookupInt(px_fixhdr, px_pphdrs, idx, LBNPT));
    x_region.SetPoleLocation(LookupReal(px_fixhdr, px_pphdrs, idx, BPLAT),
                             LookupReal(px_fixhdr, px_pphdrs, idx, BPLON));
    return x_region;
}

GridConstants GridConstantsOf(const int* px_fixhdr, const int* px_rowc, const int* px_colc)
{
    GridConstants x_grid;
    // The word after a section's start word gives its first dimension.
    if (px_rowc != nullptr) {
        x_grid.px_rows = px_rowc;
        x_grid.i_rows = FixedWord(px_fixhdr, FH_ROW_CONSTS + 1);
    }
    if (px_colc != nullptr) {
        x_grid.px_cols = px_colc;
        x_grid.i_cols = FixedWord(px_fixhdr, FH_COL_CONSTS + 1);
    }
    return x_grid;
}

namespace {

// An axis needs a coordinate list when its spacing is the missing value, or 0 over more than one point.
bool NeedsList(float f_spacing, float f_bmdi, int i_points)
{
    return f_spacing == f_bmdi || (f_spacing == 0.0f && i_points > 1);
}

// The first column of a constants section, which holds the positions of the grid's theta points.
Region::CoordinateList FirstColumn(const int* px_words, long long i_count)
{
    std::vector<float> x_values(static_cast<size_t>(i_count));
    for (long long i = 0; i < i_count; ++i)
        x_values[static_cast<size_t>(i)] = RAW_TO_FLOAT(static_cast<unsigned int>(px_words[i]));
    return std::make_shared<const std::vector<float>>(std::move(x_values));
}

// The list of one axis from its section, made on first use; null when the section does not fit.
Region::CoordinateList AxisList(const int* px_words, long long i_first, int i_points, Region::CoordinateList& px_made)
{
    if (px_words == nullptr || i_first != i_points || i_points <= 0)
        return nullptr;
    if (px_made == nullptr)
        px_made = FirstColumn(px_words, i_first);
    return px_made;
}

// The field's own coordinates (a PP field's extra data), when it has as many as its axis points.
Region::CoordinateList FieldList(const std::vector<std::vector<float>>* px_lists, int idx, int i_points)
{
    if (px_lists == nullptr || idx >= static_cast<int>(px_lists->size()))
        return nullptr;
    const std::vector<float>& x_list = (*px_lists)[static_cast<size_t>(idx)];
    if (i_points <= 0 || x_list.size() != static_cast<size_t>(i_points))
        return nullptr;
    return std::make_shared<const std::vector<float>>(x_list);
}

// Gives one axis its list when its spacing says it needs one: the field's own, else the file's
// section; returns the fault, or empty.
template <typename SetList>
std::string AttachAxis(float f_spacing, float f_bmdi, int i_points, Region::CoordinateList px_own,
                       const int* px_words, long long i_first, Region::CoordinateList& px_made,
                       const std::string& s_what, SetList x_set_list)
{
    if (!NeedsList(f_spacing, f_bmdi, i_points))
        return std::string();
    Region::CoordinateList px_list = px_own != nullptr ? px_own : AxisList(px_words, i_first, i_points, px_made);
    if (px_list == nullptr)
        return " has no " + s_what + " spacing and the file has no " + s_what + "-dependent constants of " +
               ToString(i_points, 0, ' ') + " " + s_what + "s";
    x_set_list(px_list);
    return std::string();
}

}  // namespace

std::string AttachCoordinateLists(Region& x_region, int* px_fixhdr, int* px_pphdrs, int idx,
                                  const GridConstants& x_grid)
{
    const float f_bmdi = LookupReal(px_fixhdr, px_pphdrs, idx, BMDI);
    const int i_rows = x_region.GetNRows(), i_cols = x_region.GetNCols();
    std::string s_fault =
        AttachAxis(LookupReal(px_fixhdr, px_pphdrs, idx, BDY), f_bmdi, i_rows,
                   FieldList(x_grid.px_field_lats, idx, i_rows), x_grid.px_rows, x_grid.i_rows,
                   x_grid.px_row_list, "row", [&](Region::CoordinateList px_list) { x_region.SetLatitudeList(px_list); });
    if (s_fault.empty())
        s_fault = AttachAxis(LookupReal(px_fixhdr, px_pphdrs, idx, BDX), f_bmdi, i_cols,
                             FieldList(x_grid.px_field_lons, idx, i_cols), x_grid.px_cols, x_grid.i_cols,
                             x_grid.px_col_list, "column",
                             [&](Region::CoordinateList px_list) { x_region.SetLongitudeList(px_list); });
    return s_fault.empty() ? s_fault : "field " + ToString(idx, 0, ' ') + s_fault;
}

int FindPackedField(int* px_fixhdr, int* px_pphdrs, int& i_lbpack)
{
    for (int idx = 0; idx < FixedWord(px_fixhdr, FH_LOOKUP_ENTRIES); ++idx) {
        i_lbpack = LookupInt(px_fixhdr, px_pphdrs, idx, LBPACK);
        if (i_lbpack != 0)
            return idx;
    }
    return -1;
}

bool ExtractVarFields(int* px_fixhdr, int* px_pphdrs, int* px_data, std::list<Variable>& x_var_list,
                      const GridConstants& x_grid, std::string& s_fault, FieldGrouping x_grouping)
{
    const int i_nfields = FixedWord(px_fixhdr, FH_LOOKUP_ENTRIES);
    const bool b_plain = UsePlainAlgorithms();
    // The caller's list starts empty, and so does the index of its variables.
    GroupIndex x_index;
    CFGrouper x_cf_grouper;
    for (int idx = 0; idx < i_nfields; ++idx) {
        VarField x_field = ExtractVarField(px_fixhdr, px_pphdrs, px_data, idx);
        Region x_region = ExtractRegion(px_fixhdr, px_pphdrs, idx);
        s_fault = AttachCoordinateLists(x_region, px_fixhdr, px_pphdrs, idx, x_grid);
        if (!s_fault.empty())
            return false;
        x_field.SetDims(x_region, ExtractLevel(px_fixhdr, px_pphdrs, idx), ExtractTime(px_fixhdr, px_pphdrs, idx));
        if (x_grouping == FieldGrouping::CF)
            x_cf_grouper.Place(x_field, x_var_list);
        else if (b_plain)
            PlaceFieldByScan(x_field, x_var_list);
        else
            PlaceFieldByIndex(x_field, x_var_list, x_index);
    }
    return true;
}
