// Finds the distinct time axes, level axes and grids of all variables and numbers them.
#ifndef TESSOLD_MINIMISEDIMENSIONS_H
#define TESSOLD_MINIMISEDIMENSIONS_H

#include <list>

#include "Level.h"
#include "Region.h"
#include "Series.h"
#include "TimeField.h"
#include "Variable.h"

// When two time points of two series are the same; by default when they are equal.
typedef bool (*SameTime)(const TimeField& x_lhs, const TimeField& x_rhs);
bool EqualTimes(const TimeField& x_lhs, const TimeField& x_rhs);

std::list<Series<TimeField>> MinimiseTimes(std::list<Variable>& x_var_list, SameTime b_same = EqualTimes);
std::list<Series<Level>> MinimiseLevels(std::list<Variable>& x_var_list);
std::list<Region> MinimiseRegions(std::list<Variable>& x_var_list);

#endif
