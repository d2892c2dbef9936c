// The CF profile's data variables: named by their output name alone unless another variable
// shares it, on the dimensions of their time axis, level axis where they have one, and grid,
// with CF attributes (cell_methods, coordinates, grid_mapping, um_stash_source, the packing
// attributes and actual_range) and, in a netCDF-4 file, compressed one field per chunk.
#include "WriteCFFile.h"

#include <netcdf.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "CFProfile.h"
#include "RawConvert.h"

namespace {

const int ci_proc_area_mean = 64;

// The translation's attributes the profile writes in a form of its own, or uses otherwise.
bool IsProfileAttribute(const std::string& s_name)
{
    return s_name == "stash_item" || s_name == "stash_section" || s_name == "out_name" || s_name == "height";
}

TimeKind KindOf(const Variable& x_var)
{
    return TimeKindOf(x_var.GetVarFields().front().GetTimeField().GetType(), x_var.GetProcCode());
}

// The CF word of a time statistic; empty for an instantaneous field.
std::string KindWord(TimeKind x_kind)
{
    switch (x_kind) {
    case TimeKind::Mean:
        return "mean";
    case TimeKind::Maximum:
        return "maximum";
    case TimeKind::Minimum:
        return "minimum";
    case TimeKind::Sum:
        return "sum";
    default:
        return "";
    }
}

// The suffix that tells a time statistic's variable from others of its name: "max" and "min"
// as in common variable names; empty for an instantaneous field.
std::string NameSuffix(TimeKind x_kind)
{
    const std::string s_word = KindWord(x_kind);
    return x_kind == TimeKind::Maximum || x_kind == TimeKind::Minimum ? s_word.substr(0, 3) : s_word;
}

// "area: mean" where LBPROC says so, then the time statistic with its sampling interval when known.
std::string CellMethods(const Variable& x_var)
{
    std::string s_methods = (x_var.GetProcCode() & ci_proc_area_mean) ? "area: mean" : "";
    const std::string s_kind = KindWord(KindOf(x_var));
    if (s_kind.empty())
        return s_methods;
    s_methods += (s_methods.empty() ? "" : " ") + std::string("time: ") + s_kind;
    const float f_hours = x_var.GetSamplingFrequency();
    if (f_hours > 0.0f) {
        const long i_hours = std::lround(f_hours);
        s_methods += " (interval: " + std::to_string(i_hours) + (i_hours == 1 ? " hour)" : " hours)");
    }
    return s_methods;
}

const AttributeList& TranslationOf(const Variable& x_var, const VarLevTrans& x_var_lev_trans)
{
    return x_var_lev_trans.GetVariableAttributes(x_var.GetStashCode(), x_var.GetModelCode());
}

// The translated output name, or the STASH source text of an untranslated variable.
std::string BaseName(const Variable& x_var, const VarLevTrans& x_var_lev_trans)
{
    const AttributeList& x_list = TranslationOf(x_var, x_var_lev_trans);
    if (x_list.GetName() != "NULL" && x_list.HasAttribute("out_name"))
        return FirstValue(x_list.GetAttribute("out_name"));
    return StashSource(x_var.GetModelCode(), x_var.GetStashCode());
}

// Each variable's name: its base alone when no other variable has that base; else the base and
// its time statistic, then a number where that still repeats a name.
std::map<const Variable*, std::string> NameVariables(NcFile& x_nc_file, const std::list<Variable>& x_var_list,
                                                     const VarLevTrans& x_var_lev_trans)
{
    std::map<std::string, int> x_uses;
    for (const Variable& x_var : x_var_list)
        ++x_uses[BaseName(x_var, x_var_lev_trans)];
    std::map<const Variable*, std::string> x_names;
    std::set<std::string> x_taken;
    const auto b_free = [&](const std::string& s_name) {
        return x_taken.count(s_name) == 0 && CFFreeName(x_nc_file, s_name) == s_name;
    };
    for (const Variable& x_var : x_var_list) {
        std::string s_base = BaseName(x_var, x_var_lev_trans);
        const std::string s_kind = NameSuffix(KindOf(x_var));
        if (x_uses[s_base] > 1 && !s_kind.empty())
            s_base += "_" + s_kind;
        std::string s_name = s_base;
        for (int i_suffix = 1; !b_free(s_name); ++i_suffix)
            s_name = s_base + "_" + std::to_string(i_suffix);
        x_taken.insert(s_name);
        x_names[&x_var] = s_name;
    }
    return x_names;
}

// What an untranslated variable is: its STASH code and its processing.
std::string DescribeUntranslated(const Variable& x_var)
{
    std::string s_text = "UM STASH " + StashSource(x_var.GetModelCode(), x_var.GetStashCode());
    const std::string s_methods = CellMethods(x_var);
    if (x_var.GetProcCode() == 0 && s_methods.empty())
        return s_text;
    s_text += " (";
    if (x_var.GetProcCode() != 0)
        s_text += "LBPROC " + std::to_string(x_var.GetProcCode()) + (s_methods.empty() ? "" : ", ");
    return s_text + s_methods + ")";
}

// The range of a packed variable's values as readers unpack them, from its lowest and highest
// codes; false when every point is missing.
bool PackedRange(const Variable& x_var, float f_scale, float f_offset, float (&f_range)[2])
{
    const float f_missing_code = static_cast<float>(std::pow(256.0, x_var.GetPackingBytes()) * 0.5 - 1.0);
    float f_low = cf_unset_marker;
    float f_high = -cf_unset_marker;
    for (const VarField& x_field : x_var.GetVarFields()) {
        const long long i_points = static_cast<long long>(std::max(0, x_field.GetRegion().GetNRows())) *
                                   std::max(0, x_field.GetRegion().GetNCols());
        for (long long i = 0; x_field.GetData() != nullptr && i < i_points; ++i) {
            const float f_code = RAW_TO_FLOAT(static_cast<unsigned int>(x_field.GetData()[i]));
            if (f_code == f_missing_code || std::isnan(f_code))
                continue;
            f_low = std::min(f_low, f_code);
            f_high = std::max(f_high, f_code);
        }
    }
    f_range[0] = static_cast<float>(static_cast<double>(f_low) * f_scale + f_offset);
    f_range[1] = static_cast<float>(static_cast<double>(f_high) * f_scale + f_offset);
    return f_low <= f_high;
}

// Writes the data type's attributes: fill value, and of a packed variable its packing and range.
void WriteValueAtts(NcVar* px_ncvar, const Variable& x_var, NcType x_type)
{
    WriteFillValue(px_ncvar, x_var, x_type);
    if (x_var.GetPackingBytes() == 0)
        return;
    float f_scale = 0.0f;
    float f_offset = 0.0f;
    PackingScaleOffset(x_var, f_scale, f_offset);
    AddAtt(px_ncvar, "scale_factor", f_scale);
    AddAtt(px_ncvar, "add_offset", f_offset);
    float f_range[2];
    if (PackedRange(x_var, f_scale, f_offset, f_range))
        AddAtt(px_ncvar, "actual_range", 2, f_range);
}

// Writes the identity and method attributes of one data variable.
void WriteDescription(NcVar* px_ncvar, const Variable& x_var, const VarLevTrans& x_var_lev_trans)
{
    const AttributeList& x_list = TranslationOf(x_var, x_var_lev_trans);
    if (x_list.GetName() != "NULL") {
        for (const Attribute& x_att : x_list.Get())
            if (!IsProfileAttribute(x_att.GetName()))
                AddText(px_ncvar, x_att.GetName().c_str(), FirstValue(x_att));
    } else {
        AddText(px_ncvar, "long_name", DescribeUntranslated(x_var));
    }
    AddText(px_ncvar, "um_stash_source", StashSource(x_var.GetModelCode(), x_var.GetStashCode()));
    AddAtt(px_ncvar, "stash_section", x_var.GetStashCode() / 1000);
    AddAtt(px_ncvar, "stash_item", x_var.GetStashCode() % 1000);
    const std::string s_methods = CellMethods(x_var);
    if (!s_methods.empty())
        AddText(px_ncvar, "cell_methods", s_methods);
}

// The auxiliary coordinates' names joined with blanks, the empty ones left out.
std::string JoinNames(std::initializer_list<std::string> x_names)
{
    std::string s_joined;
    for (const std::string& s_name : x_names)
        if (!s_name.empty())
            s_joined += (s_joined.empty() ? "" : " ") + s_name;
    return s_joined;
}

// Compresses a variable of a netCDF-4 file with shuffle and zlib, one field to a chunk.
void Compress(NcFile& x_nc_file, NcVar* px_ncvar, int i_level)
{
    const int i_ndims = px_ncvar->num_dims();
    std::vector<size_t> x_chunk(static_cast<size_t>(i_ndims), 1);
    x_chunk[static_cast<size_t>(i_ndims - 2)] = static_cast<size_t>(px_ncvar->get_dim(i_ndims - 2)->size());
    x_chunk[static_cast<size_t>(i_ndims - 1)] = static_cast<size_t>(px_ncvar->get_dim(i_ndims - 1)->size());
    if (x_chunk[static_cast<size_t>(i_ndims - 2)] > 0 && x_chunk[static_cast<size_t>(i_ndims - 1)] > 0)
        CheckedStatus(nc_def_var_chunking(x_nc_file.id(), px_ncvar->id(), NC_CHUNKED, x_chunk.data()));
    CheckedStatus(nc_def_var_deflate(x_nc_file.id(), px_ncvar->id(), 1, 1, i_level));
}

}  // namespace

std::map<const Variable*, std::string> CreateCFVariables(WriterState& x_state, CFLayout& x_layout,
                                                         std::list<Variable>& x_var_list,
                                                         std::list<Series<Level>>& x_levels,
                                                         const VarLevTrans& x_var_lev_trans,
                                                         const OutputProfile& x_profile)
{
    // Scalar heights are defined before any name is given, so that no data variable takes theirs.
    std::map<const Variable*, std::string> x_heights;
    for (const Variable& x_var : x_var_list)
        for (const Series<Level>& x_series : x_levels)
            if (x_series.GetID() == x_var.GetLevelID())
                x_heights[&x_var] = ScalarHeightOf(x_state, x_layout, x_var, x_series, x_var_lev_trans);
    const std::map<const Variable*, std::string> x_names = NameVariables(x_state.x_nc_file, x_var_list, x_var_lev_trans);
    for (Variable& x_var : x_var_list) {
        const CFAxis& x_time = x_layout.x_times[x_var.GetTimeID()];
        const CFAxis& x_level = x_layout.x_levels[x_var.GetLevelID()];
        const CFAxis& x_grid = x_layout.x_grids[x_var.GetRegionID()];
        const NcType x_type = VariableType(x_var);
        NcVar* px_ncvar =
            x_level.px_dim != nullptr
                ? Checked(x_state.x_nc_file.add_var(x_names.at(&x_var).c_str(), x_type, x_time.px_dim, x_level.px_dim,
                                                    x_grid.px_dim, x_grid.px_dim2))
                : Checked(x_state.x_nc_file.add_var(x_names.at(&x_var).c_str(), x_type, x_time.px_dim, x_grid.px_dim,
                                                    x_grid.px_dim2));
        WriteDescription(px_ncvar, x_var, x_var_lev_trans);
        const std::string s_coordinates = JoinNames({x_time.s_coordinates, x_heights[&x_var], x_grid.s_coordinates});
        if (!s_coordinates.empty())
            AddText(px_ncvar, "coordinates", s_coordinates);
        if (!x_grid.s_grid_mapping.empty())
            AddText(px_ncvar, "grid_mapping", x_grid.s_grid_mapping);
        WriteValueAtts(px_ncvar, x_var, x_type);
        if (x_profile.b_netcdf4)
            Compress(x_state.x_nc_file, px_ncvar, x_profile.i_deflate);
        x_var.SetNcVar(px_ncvar);
    }
    return x_names;
}
