// The CF profile's writer: a layout of its own over the same model and the same field data
// writer. Its rooms: WriteCFFile (stage order, global attributes, names), CFTime (time axes,
// bounds, forecast coordinates), CFVertical (vertical axes, hybrid coefficients, scalar
// heights), CFGrid (grids with bounds and the rotated pole), CFVariables (data variables,
// their attributes and netCDF-4 compression). The default profile's rooms are not consulted.
#ifndef TESSOLD_WRITECFFILE_H
#define TESSOLD_WRITECFFILE_H

#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "WriteNetCDFFile.h"

// Coordinate values in double precision, held until every object of the file is defined.
struct CFPut
{
    NcVar* px_var;
    std::vector<double> x_values;
    long i_rows;  // 0 for a scalar
    long i_cols;  // 0 for a scalar or a vector
};

// What the data variables of one time axis, level series or grid refer to.
struct CFAxis
{
    NcDim* px_dim = nullptr;   // null where the axis has no dimension (a single surface level)
    NcDim* px_dim2 = nullptr;  // a grid's longitude dimension
    NcVar* px_var = nullptr;   // the coordinate variable (of a hybrid axis, for its formula_terms)
    std::string s_coordinates;  // auxiliary coordinates the data variables name
    std::string s_grid_mapping;
    std::string s_formula_terms;  // a hybrid axis's terms, before the surface field is known
    int i_level_type = 0;
};

// Everything the CF rooms share while they write one file.
struct CFLayout
{
    std::map<int, CFAxis> x_times;   // by time series id
    std::map<int, CFAxis> x_levels;  // by level series id
    std::map<int, CFAxis> x_grids;   // by region id
    std::map<float, std::string> x_scalar_heights;  // height (m) to its scalar coordinate
    std::vector<CFPut> x_puts;
    NcDim* px_bounds = nullptr;  // "bnds", made when a first bounds variable needs it
};

// Creates a netCDF-4 file of the classic model at s_path, which must not exist, and opens it for
// writing; the reason of a failure goes to s_reason (the library's error code to i_error) and the
// file returned is then not valid.
std::unique_ptr<NcFile> OpenNetCDF4Output(const std::string& s_path, std::string& s_reason, int& i_error);

// Writes every object of a CF profile file in the stages' order.
void WriteCFContents(WriterState& x_state, std::list<Variable>& x_var_list, const MTime& x_ref_time,
                     const VarLevTrans& x_var_lev_trans, const GlobalAtts& x_global_atts,
                     const OutputProfile& x_profile);

// The name itself when no variable or dimension has it yet, else the first free name_1, name_2, ...
std::string CFFreeName(NcFile& x_nc_file, const std::string& s_base);
// The dimension "bnds" of two, made on first use.
NcDim* BoundsDim(WriterState& x_state, CFLayout& x_layout);
// A text attribute on a variable.
void AddText(NcVar* px_var, const char* s_name, const std::string& s_value);

void CreateCFTimeAxes(WriterState& x_state, CFLayout& x_layout, std::list<Series<TimeField>>& x_times,
                      const std::list<Variable>& x_var_list, const MTime& x_ref_time);
void CreateCFLevelAxes(WriterState& x_state, CFLayout& x_layout, std::list<Series<Level>>& x_levels);
// The scalar height coordinate of a variable without a level dimension, made or shared: the
// translation's "height", else the level value of a single height level that is not negative.
// Empty when the variable has none.
std::string ScalarHeightOf(WriterState& x_state, CFLayout& x_layout, const Variable& x_var,
                           const Series<Level>& x_levels, const VarLevTrans& x_var_lev_trans);
// Completes the formula_terms of hybrid axes with the surface field variable, where the file has it.
void CompleteFormulaTerms(CFLayout& x_layout, const std::list<Variable>& x_var_list,
                          const std::map<const Variable*, std::string>& x_names);
void CreateCFGrids(WriterState& x_state, CFLayout& x_layout, std::list<Region>& x_regions);
// Defines every data variable; returns the name each was given.
std::map<const Variable*, std::string> CreateCFVariables(WriterState& x_state, CFLayout& x_layout,
                                                         std::list<Variable>& x_var_list,
                                                         std::list<Series<Level>>& x_levels,
                                                         const VarLevTrans& x_var_lev_trans,
                                                         const OutputProfile& x_profile);

#endif
