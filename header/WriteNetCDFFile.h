// Writes the variables of one conversion into a new netCDF classic file. The writer's rooms:
// WriteNetCDFFile (stage order and file life), WriteDimensions (time, level and horizontal
// axes), WriteVariableDefs (data variables and their attributes), WriteVariableData (field data).
#ifndef TESSOLD_WRITENETCDFFILE_H
#define TESSOLD_WRITENETCDFFILE_H

#include <list>
#include <string>

#include <netcdfcpp.h>

#include "GlobalAtts.h"
#include "Level.h"
#include "MTime.h"
#include "Region.h"
#include "Series.h"
#include "TimeField.h"
#include "VarLevTrans.h"
#include "Variable.h"
#include "WriterState.h"

// The layout of the output: the default profile (the established layout, netCDF classic), or
// the CF profile (WriteCFFile.h) in the classic format or in netCDF-4's classic model with
// compression at i_deflate (1 to 9).
struct OutputProfile
{
    bool b_cf = false;
    bool b_netcdf4 = false;
    int i_deflate = 4;
    std::string s_history;  // the command that asked for the conversion; empty: none known
};

// Writes the file under a temporary name and gives it s_output_file_name once it is complete;
// an existing file of that name is replaced only with b_replace. Returns 0, or 1 after reporting
// an output that cannot be written there; a failing netCDF call throws OutputFailed in the
// library's non-fatal error mode.
int WriteNetCDFFile(std::string s_output_file_name, std::list<Variable>& x_var_list,
                    const MTime& x_ref_time, const VarLevTrans& x_var_lev_trans,
                    const GlobalAtts& x_global_atts, bool b_replace = false,
                    const OutputProfile& x_profile = OutputProfile());
int WriteGlobalAtts(NcFile& x_nc_file, const GlobalAtts& x_global_atts);
// Writes one global attribute of a recognised type text; other types are skipped.
void WriteGlobalAtt(NcFile& x_nc_file, const Attribute& x_att);
NcType Tessoldtype(int i_data_type);

void CreateTimeDims(WriterState& x_state, std::list<Series<TimeField>>& x_ts, const MTime& x_ref_time);
void CreateLevelDims(WriterState& x_state, std::list<Series<Level>>& x_ls, const VarLevTrans& x_var_lev_trans);
std::string GetLevelName(WriterState& x_state, const Level& x_lev, const VarLevTrans& x_var_lev_trans, int i_size);
void CreateRegionDims(WriterState& x_state, std::list<Region>& x_rs);
void CreateRegularRegionDim(WriterState& x_state, const Region& x_region);
void CreateRotatedRegionDim(WriterState& x_state, Region& x_region);
// Gives a rotated grid's mapping variable its name and pole.
void AddRotatedPoleMapping(NcVar* px_pole, const Region& x_region);

void CreateVariables(WriterState& x_state, std::list<Variable>& x_var_list, std::list<Series<Level>>& x_lev_list,
                     const VarLevTrans& x_var_lev_trans);
std::string GetVarName(WriterState& x_state, const Variable& x_var, const VarLevTrans& x_var_lev_trans);
// The name a variable's output name is made from: its translated out_name or field<code>, with
// "min" or "max" for the processing codes of those.
std::string VariableBaseName(const Variable& x_var, const VarLevTrans& x_var_lev_trans);
void GetDimensions(NcFile& x_nc_file, Variable* px_var, std::list<Series<Level>>* px_levs,
                   NcDim*& px_lond, NcDim*& px_latd, NcDim*& px_zd, NcDim*& px_td);
std::string GetCellMethod(int i_proc_code);
// Writes "_FillValue" in the variable's own type, or nothing where no value of that type fits.
void WriteFillValue(NcVar* px_ncvar, const Variable& x_var, NcType x_type);
// The "scale_factor" and "add_offset" of a byte-packed variable, in the unpacked values' type.
void PackingScaleOffset(const Variable& x_var, float& f_scale, float& f_offset);
// Writes "scale_factor" and "add_offset" of a byte-packed variable.
void WritePackingAtts(NcVar* px_ncvar, const Variable& x_var);
// The netCDF type of a variable, from its packing bytes and data type code.
NcType VariableType(const Variable& x_var);
// The variable's "_FillValue" in its own type; false where it gets none.
bool FillValue(const Variable& x_var, NcType x_type, double& d_fill);
// The value the library prefills a variable with: its "_FillValue", else its type's default.
double PrefillValue(const Variable& x_var, NcType x_type);

// Places each field at the index of its own time and level in the variable's series.
void WriteVariables(WriterState& x_state, std::list<Variable>& x_var_list, std::list<Series<Level>>& x_lev_list,
                    const std::list<Series<TimeField>>& x_time_list);

#endif
