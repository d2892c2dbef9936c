// The data variables of the output: their names, netCDF types, dimensions and attributes (fill
// value, packing, grid mapping, translation, cell method, sampling frequency).
#include "WriteNetCDFFile.h"

#include <cmath>

#include "ToString.h"

namespace {

// Cell method texts of the processing code bits, lowest bit first.
const char* const cs_cell_methods[] = {
    "lon: lat: time: difference from another experiment ",
    "lon: lat: difference from mean ",
    "time: difference from mean ",
    "lon: derivative ",
    "lat: derivative ",
    "time: derivative ",
    "lon: lat: mean ",
    "time: mean ",
    "lon: lat: product of two fields ",
    "lon: lat: square root ",
    "level: difference between fields at BLEV and BRLEV ",
    "level: mean over layer between BLEV and BRLEV ",
    "time: minimum ",
    "time: maximum ",
    "lon: lat: magnitude of vector ",
    "lon: lat: log10 ",
    "lon: lat: variance ",
    "lon: lat: mean over ensemble ",
    "lon: lat: band pass filter ",
    "lon: lat: low pass filter ",
};
const int ci_cell_method_bits = sizeof(cs_cell_methods) / sizeof(cs_cell_methods[0]);

const int ci_proc_minimum = 4096;
const int ci_proc_maximum = 8192;

// Writes the translated attributes as text, or the numeric stash code parts when untranslated.
void WriteTranslationAtts(NcVar* px_ncvar, const Variable& x_var, const VarLevTrans& x_var_lev_trans)
{
    const AttributeList& x_list =
        x_var_lev_trans.GetVariableAttributes(x_var.GetStashCode(), x_var.GetModelCode());
    if (x_list.GetName() != "NULL") {
        for (const Attribute& x_att : x_list.Get())
            AddAtt(px_ncvar, x_att.GetName().c_str(), FirstValue(x_att).c_str());
    } else {
        AddAtt(px_ncvar, "stash_item", x_var.GetStashCode() % 1000);
        AddAtt(px_ncvar, "stash_section", x_var.GetStashCode() / 1000);
    }
}

// Writes the attributes of one data variable in their fixed order.
void WriteVariableAtts(NcVar* px_ncvar, const Variable& x_var, NcType x_type,
                       const VarLevTrans& x_var_lev_trans)
{
    WriteFillValue(px_ncvar, x_var, x_type);
    if (x_var.GetPackingBytes() != 0)
        WritePackingAtts(px_ncvar, x_var);
    if (x_var.GetGridType() > 100) {
        const std::string s_region = ToString(x_var.GetRegionID(), 0, ' ');
        AddAtt(px_ncvar, "grid_mapping", (cs_rotated_pole + s_region).c_str());
        AddAtt(px_ncvar, "coordinates",
                          (cs_global_longitude + s_region + " " + cs_global_latitude + s_region).c_str());
    }
    WriteTranslationAtts(px_ncvar, x_var, x_var_lev_trans);
    const std::string s_cell_method = GetCellMethod(x_var.GetProcCode());
    if (!s_cell_method.empty())
        AddAtt(px_ncvar, "cell_method", s_cell_method.c_str());
    if (x_var.GetSamplingFrequency() > -1.0f)
        AddAtt(px_ncvar, "sampling_frequency",
                          (ToString(x_var.GetSamplingFrequency(), 0, ' ') + " hours").c_str());
}

}  // namespace

void WriteFillValue(NcVar* px_ncvar, const Variable& x_var, NcType x_type)
{
    double d_fill = 0.0;
    if (!FillValue(x_var, x_type, d_fill))
        return;
    if (x_type == ncByte)
        AddAtt(px_ncvar, "_FillValue", static_cast<ncbyte>(d_fill));
    else if (x_type == ncShort)
        AddAtt(px_ncvar, "_FillValue", static_cast<short>(d_fill));
    else if (x_type == ncInt)
        AddAtt(px_ncvar, "_FillValue", static_cast<int>(d_fill));
    else
        AddAtt(px_ncvar, "_FillValue", static_cast<float>(d_fill));
}

void PackingScaleOffset(const Variable& x_var, float& f_scale, float& f_offset)
{
    const int i_pack = x_var.GetPackingBytes();
    f_scale = x_var.GetScalingFactor();
    const float f_mks = x_var.GetMKSValue();
    if (!(f_mks == 0.0f))
        f_scale = f_mks * f_scale;
    const double d_offset = std::pow(256.0, i_pack) * 0.5 * static_cast<double>(f_scale) +
                            static_cast<double>(x_var.GetOffset());
    f_offset = static_cast<float>(d_offset);
}

void WritePackingAtts(NcVar* px_ncvar, const Variable& x_var)
{
    float f_scale = 0.0f;
    float f_offset = 0.0f;
    PackingScaleOffset(x_var, f_scale, f_offset);
    // Both of one type, that of the unpacked values, as readers that unpack require.
    AddAtt(px_ncvar, "scale_factor", f_scale);
    AddAtt(px_ncvar, "add_offset", f_offset);
}

NcType VariableType(const Variable& x_var)
{
    switch (x_var.GetPackingBytes()) {
    case 1:
        return ncByte;
    case 2:
        return ncShort;
    default:
        return Tessoldtype(x_var.GetType());
    }
}

bool FillValue(const Variable& x_var, NcType x_type, double& d_fill)
{
    const int i_pack = x_var.GetPackingBytes();
    const float f_missing = x_var.GetMissingValue();
    int i_int_missing = 0;
    if (i_pack == 1)
        d_fill = 127;
    else if (i_pack == 2)
        d_fill = 32767;
    else if (x_type == ncFloat)
        d_fill = f_missing;
    else if (x_type == ncInt && x_var.GetIntegerMissingValue(i_int_missing))
        d_fill = i_int_missing;
    else
        return false;
    return true;
}

double PrefillValue(const Variable& x_var, NcType x_type)
{
    double d_fill = 0.0;
    if (FillValue(x_var, x_type, d_fill))
        return d_fill;
    switch (x_type) {
    case ncByte:
        return NC_FILL_BYTE;
    case ncShort:
        return NC_FILL_SHORT;
    case ncInt:
        return NC_FILL_INT;
    default:
        return NC_FILL_FLOAT;
    }
}

void CreateVariables(WriterState& x_state, std::list<Variable>& x_var_list,
                     std::list<Series<Level>>& x_lev_list, const VarLevTrans& x_var_lev_trans)
{
    for (Variable& x_var : x_var_list) {
        NcDim* px_lond = nullptr;
        NcDim* px_latd = nullptr;
        NcDim* px_zd = nullptr;
        NcDim* px_td = nullptr;
        GetDimensions(x_state.x_nc_file, &x_var, &x_lev_list, px_lond, px_latd, px_zd, px_td);
        const NcType x_type = VariableType(x_var);
        const std::string s_name = GetVarName(x_state, x_var, x_var_lev_trans);
        NcVar* px_ncvar = Checked(x_state.x_nc_file.add_var(s_name.c_str(), x_type, px_td, px_zd, px_latd, px_lond));
        WriteVariableAtts(px_ncvar, x_var, x_type, x_var_lev_trans);
        x_var.SetNcVar(px_ncvar);
    }
}

std::string GetVarName(WriterState& x_state, const Variable& x_var, const VarLevTrans& x_var_lev_trans)
{
    NcError x_silent(NcError::silent_nonfatal);
    return FirstFreeName(x_state, VariableBaseName(x_var, x_var_lev_trans));
}

std::string VariableBaseName(const Variable& x_var, const VarLevTrans& x_var_lev_trans)
{
    const AttributeList& x_list =
        x_var_lev_trans.GetVariableAttributes(x_var.GetStashCode(), x_var.GetModelCode());
    std::string s_base;
    if (x_list.HasAttribute("out_name"))
        s_base = FirstValue(x_list.GetAttribute("out_name"));
    else
        s_base = "field" + ToString(x_var.GetFieldCode(), 0, ' ');
    if (x_var.GetProcCode() & ci_proc_minimum)
        s_base += "min";
    if (x_var.GetProcCode() & ci_proc_maximum)
        s_base += "max";
    return s_base;
}

void GetDimensions(NcFile& x_nc_file, Variable* px_var, std::list<Series<Level>>* px_levs,
                   NcDim*& px_lond, NcDim*& px_latd, NcDim*& px_zd, NcDim*& px_td)
{
    const std::string s_region = ToString(px_var->GetRegionID(), 0, ' ');
    const std::string s_lat_name = cs_latitude + s_region;
    const std::string s_lon_name = cs_longitude + s_region;
    const std::string s_time_name = "time" + ToString(px_var->GetTimeID(), 0, ' ');
    std::string s_level_name;
    for (Series<Level>& x_series : *px_levs)
        if (x_series.GetID() == px_var->GetLevelID() && x_series.Size() > 0)
            s_level_name = x_series.Get().front().GetName();
    px_lond = Checked(x_nc_file.get_dim(s_lon_name.c_str()));
    px_latd = Checked(x_nc_file.get_dim(s_lat_name.c_str()));
    px_zd = Checked(x_nc_file.get_dim(s_level_name.c_str()));
    px_td = Checked(x_nc_file.get_dim(s_time_name.c_str()));
}

std::string GetCellMethod(int i_proc_code)
{
    std::string s_text;
    for (int i_bit = 0; i_bit < ci_cell_method_bits; ++i_bit)
        if (i_proc_code & (1 << i_bit))
            s_text += cs_cell_methods[i_bit];
    return s_text;
}

