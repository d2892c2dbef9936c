// Writes the variables of one conversion into a new netCDF classic file.
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

int WriteNetCDFFile(std::string s_output_file_name, std::list<Variable>& x_var_list,
                    const MTime& x_ref_time, const VarLevTrans& x_var_lev_trans,
                    const GlobalAtts& x_global_atts);
int WriteGlobalAtts(NcFile& x_nc_file, const GlobalAtts& x_global_atts);
NcType Tessoldtype(int i_data_type);

void CreateTimeDims(NcFile& x_nc_file, std::list<Series<TimeField>>& x_ts, const MTime& x_ref_time);
void CreateLevelDims(NcFile& x_nc_file, std::list<Series<Level>>& x_ls, const VarLevTrans& x_var_lev_trans);
std::string GetLevelName(NcFile& x_nc_file, const Level& x_lev, const VarLevTrans& x_var_lev_trans, int i_size);
void CreateRegionDims(NcFile& x_nc_file, std::list<Region>& x_rs);
void CreateRegularRegionDim(NcFile& x_nc_file, const Region& x_region);
void CreateRotatedRegionDim(NcFile& x_nc_file, Region& x_region);
void CreateVariables(NcFile& x_nc_file, std::list<Variable>& x_var_list,
                     std::list<Series<Level>>& x_lev_list, const VarLevTrans& x_var_lev_trans);
std::string GetVarName(NcFile& x_nc_file, const Variable& x_var, const VarLevTrans& x_var_lev_trans);
void GetDimensions(NcFile& x_nc_file, Variable* px_var, std::list<Series<Level>>* px_levs,
                   NcDim*& px_lond, NcDim*& px_latd, NcDim*& px_zd, NcDim*& px_td);
std::string GetCellMethod(int i_proc_code);
// Places each field at the index of its own time and level in the variable's series.
void WriteVariables(NcFile& x_nc_file, std::list<Variable>& x_var_list, std::list<Series<Level>>& x_lev_list,
                    const std::list<Series<TimeField>>& x_time_list);

#endif
