// Turns the lookup table into fields and groups them into variables.
#ifndef TESSOLD_EXTRACTVARIABLES_H
#define TESSOLD_EXTRACTVARIABLES_H

#include <list>

#include "Level.h"
#include "Region.h"
#include "TimeField.h"
#include "VarField.h"
#include "Variable.h"

void ExtractVarFields(int* px_fixhdr, int* px_pphdrs, int* px_data, std::list<Variable>& x_var_list);
VarField ExtractVarField(int* px_fixhdr, int* px_pphdrs, int* px_data, int idx);
TimeField ExtractTime(int* px_fixhdr, int* px_pphdrs, int idx);
Level ExtractLevel(int* px_fixhdr, int* px_pphdrs, int idx);
Region ExtractRegion(int* px_fixhdr, int* px_pphdrs, int idx);

#endif
