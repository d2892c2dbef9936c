// Turns the lookup table into fields and groups them into variables.
#ifndef TESSOLD_EXTRACTVARIABLES_H
#define TESSOLD_EXTRACTVARIABLES_H

#include <list>
#include <string>
#include <vector>

#include "Level.h"
#include "Region.h"
#include "TimeField.h"
#include "VarField.h"
#include "Variable.h"

// The coordinates a file gives for grids of variable resolution: the row- and column-dependent
// constants, each with its first dimension (rows or columns), first dimension fastest.
struct GridConstants
{
    const int* px_rows = nullptr;
    long long i_rows = 0;
    const int* px_cols = nullptr;
    long long i_cols = 0;
    // The lists made from them, made once so that every field shares them.
    mutable Region::CoordinateList px_row_list;
    mutable Region::CoordinateList px_col_list;
    // Per field, coordinates of its own (a PP field's extra data), which come first; may be null.
    const std::vector<std::vector<float>>* px_field_lats = nullptr;
    const std::vector<std::vector<float>>* px_field_lons = nullptr;
};

// The row- and column-dependent constants of a file read into x_arrays.
GridConstants GridConstantsOf(const int* px_fixhdr, const int* px_rowc, const int* px_colc);

// How fields are grouped into variables: as the default output always has (VarField::InGroup),
// or by the CF profile's rule (CFGrouper).
enum class FieldGrouping { Default, CF };

// Appends the variables of the file to x_var_list. False with s_fault set ("field N ...") when
// a field of variable resolution finds no coordinate list of its size.
bool ExtractVarFields(int* px_fixhdr, int* px_pphdrs, int* px_data, std::list<Variable>& x_var_list,
                      const GridConstants& x_grid, std::string& s_fault,
                      FieldGrouping x_grouping = FieldGrouping::Default);
// Gives a field of variable resolution its coordinate lists; returns the fault, or empty.
std::string AttachCoordinateLists(Region& x_region, int* px_fixhdr, int* px_pphdrs, int idx,
                                  const GridConstants& x_grid);
// The index of the first field whose data are packed (LBPACK not 0), with its LBPACK; -1 when none.
int FindPackedField(int* px_fixhdr, int* px_pphdrs, int& i_lbpack);
VarField ExtractVarField(int* px_fixhdr, int* px_pphdrs, int* px_data, int idx);
TimeField ExtractTime(int* px_fixhdr, int* px_pphdrs, int idx);
Level ExtractLevel(int* px_fixhdr, int* px_pphdrs, int idx);
Region ExtractRegion(int* px_fixhdr, int* px_pphdrs, int idx);

#endif
