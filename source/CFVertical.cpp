// The CF profile's vertical coordinates: an axis per level series with "positive" and a valid
// standard name, the hybrid height and hybrid pressure axes with their coefficients and
// formula_terms, pseudo levels as a plain coordinate, no dimension at all for a single surface
// level, and scalar height coordinates for screen- and 10 m-level fields.
#include "WriteCFFile.h"

#include <cstdlib>

#include "CFProfile.h"
#include "UMWords.h"

namespace {

const int ci_lbvc_height = 1;
const int ci_lbvc_hybrid_pressure = 9;
const double cf_reference_pressure = 100000.0;  // Pa; the divisor of A in a hybrid pressure level
const int ci_orography_stash = 33;
const int ci_surface_pressure_stash = 409;

// How the CF profile describes the axis of one level type.
struct LevelRow
{
    int i_type;
    const char* s_name;
    const char* s_standard_name;  // null: none fits
    const char* s_units;
    const char* s_positive;
};

const LevelRow cx_level_rows[] = {
    {ci_lbvc_height, "height", "height", "m", "up"},
    {2, "depth", "depth", "m", "down"},
    {6, "depth", "depth", "m", "down"},  // soil levels, by their depth
    {8, "pressure", "air_pressure", "hPa", "down"},
    {ci_lbvc_hybrid_pressure, "hybrid_pressure", "atmosphere_hybrid_sigma_pressure_coordinate", "1", "down"},
    {10, "sigma", "atmosphere_sigma_coordinate", "1", "down"},
    {ci_lbvc_hybrid_height, "hybrid_height", "atmosphere_hybrid_height_coordinate", "m", "up"},
};

// The row of a level type, or null for a type with no row of its own.
const LevelRow* RowOf(int i_type)
{
    for (const LevelRow& x_row : cx_level_rows)
        if (x_row.i_type == i_type)
            return &x_row;
    return nullptr;
}

// A single level of a type without an axis of its own (the surface, the top of the atmosphere,
// a height given by the translation) needs no dimension.
bool NeedsDimension(const Series<Level>& x_series)
{
    const Level& x_first = x_series.Get().front();
    if (x_series.Size() > 1 || x_first.IsPseudo())
        return true;
    return x_first.GetType() != ci_lbvc_height && RowOf(x_first.GetType()) != nullptr;
}

// Adds a variable over the level dimension, of floats as the lookup words are, with its values.
NcVar* AddLevelVariable(WriterState& x_state, const std::string& s_name, NcDim* px_dim,
                        const std::list<float>& x_values)
{
    NcVar* px_var = Checked(x_state.x_nc_file.add_var(s_name.c_str(), ncFloat, px_dim));
    PutCoordinates(x_state, px_var, x_values);
    return px_var;
}

// One value per level, as f_value gives it.
template <typename Value>
std::list<float> LevelValues(const Series<Level>& x_series, Value f_value)
{
    std::list<float> x_values;
    for (const Level& x_level : x_series.Get())
        x_values.push_back(f_value(x_level));
    return x_values;
}

// Adds one coefficient variable of a hybrid axis; returns its formula term ("a: level_height").
template <typename Value>
std::string AddTerm(WriterState& x_state, const Series<Level>& x_series, NcDim* px_dim, const std::string& s_term,
                    const char* s_base, const char* s_units, Value f_value)
{
    NcVar* px_var = AddLevelVariable(x_state, CFFreeName(x_state.x_nc_file, s_base), px_dim, LevelValues(x_series, f_value));
    AddText(px_var, "long_name", "vertical coordinate formula term: " + s_term + "(k)");
    AddText(px_var, "units", s_units);
    return s_term + ": " + px_var->name();
}

// Adds a hybrid axis's coefficient variables; returns the formula_terms they make.
std::string AddHybridCoefficients(WriterState& x_state, const Series<Level>& x_series, NcDim* px_dim)
{
    // One statement each, so that the variables are defined in this order.
    std::string s_terms;
    if (x_series.Get().front().GetType() == ci_lbvc_hybrid_pressure) {
        s_terms = AddTerm(x_state, x_series, px_dim, "ap", "ap", "Pa", [](const Level& x) { return x.GetACoeff(); });
        return s_terms + " " + AddTerm(x_state, x_series, px_dim, "b", "b", "1", [](const Level& x) { return x.GetBCoeff(); });
    }
    s_terms = AddTerm(x_state, x_series, px_dim, "a", "level_height", "m", [](const Level& x) { return x.GetValue(); });
    return s_terms + " " + AddTerm(x_state, x_series, px_dim, "b", "sigma", "1", [](const Level& x) { return x.GetSigma(); });
}

// The coordinate value of a level: hybrid pressure as A / p0 + B, every other type as it is.
float CoordinateValue(const Level& x_level)
{
    if (x_level.GetType() == ci_lbvc_hybrid_pressure && !x_level.IsPseudo())
        return static_cast<float>(static_cast<double>(x_level.GetACoeff()) / cf_reference_pressure +
                                  static_cast<double>(x_level.GetBCoeff()));
    return x_level.GetValue();
}

// Defines the dimension and coordinate variables of one level series.
CFAxis CreateLevelAxis(WriterState& x_state, const Series<Level>& x_series)
{
    const Level& x_first = x_series.Get().front();
    CFAxis x_axis;
    x_axis.i_level_type = x_first.GetType();
    if (!NeedsDimension(x_series))
        return x_axis;
    const LevelRow* px_row = x_first.IsPseudo() ? nullptr : RowOf(x_first.GetType());
    const std::string s_name = CFFreeName(x_state.x_nc_file, x_first.IsPseudo() ? "pseudo_level"
                                                              : px_row != nullptr ? px_row->s_name : "level");
    x_axis.px_dim = Checked(x_state.x_nc_file.add_dim(s_name.c_str(), x_series.Size()));
    x_axis.px_var = AddLevelVariable(x_state, s_name, x_axis.px_dim, LevelValues(x_series, CoordinateValue));
    if (x_first.IsPseudo()) {
        // Pseudo levels number categories (tiles, bands), not heights: no vertical axis.
        AddText(x_axis.px_var, "long_name", "pseudo level");
        AddText(x_axis.px_var, "units", "1");
        return x_axis;
    }
    if (px_row != nullptr && px_row->s_standard_name != nullptr)
        AddText(x_axis.px_var, "standard_name", px_row->s_standard_name);
    else
        AddText(x_axis.px_var, "long_name", "UM level type " + std::to_string(x_first.GetType()));
    AddText(x_axis.px_var, "units", px_row != nullptr ? px_row->s_units : "1");
    AddText(x_axis.px_var, "positive", px_row != nullptr ? px_row->s_positive : "up");
    AddText(x_axis.px_var, "axis", "Z");
    if (x_first.GetType() == ci_lbvc_hybrid_pressure || x_first.GetType() == ci_lbvc_hybrid_height)
        x_axis.s_formula_terms = AddHybridCoefficients(x_state, x_series, x_axis.px_dim);
    return x_axis;
}

// The height a variable's translation gives, as a number; false when it gives none.
bool TranslatedHeight(const Variable& x_var, const VarLevTrans& x_var_lev_trans, double& d_height)
{
    const AttributeList& x_list = x_var_lev_trans.GetVariableAttributes(x_var.GetStashCode(), x_var.GetModelCode());
    if (x_list.GetName() == "NULL" || !x_list.HasAttribute("height"))
        return false;
    const std::string s_text = FirstValue(x_list.GetAttribute("height"));
    char* ps_end = nullptr;
    d_height = std::strtod(s_text.c_str(), &ps_end);
    return !s_text.empty() && ps_end != nullptr && *ps_end == '\0';
}

}  // namespace

void CreateCFLevelAxes(WriterState& x_state, CFLayout& x_layout, std::list<Series<Level>>& x_levels)
{
    for (const Series<Level>& x_series : x_levels)
        if (x_series.Size() > 0)
            x_layout.x_levels[x_series.GetID()] = CreateLevelAxis(x_state, x_series);
}

std::string ScalarHeightOf(WriterState& x_state, CFLayout& x_layout, const Variable& x_var,
                           const Series<Level>& x_levels, const VarLevTrans& x_var_lev_trans)
{
    if (x_layout.x_levels[x_var.GetLevelID()].px_dim != nullptr || x_levels.Size() == 0)
        return std::string();
    double d_height = 0.0;
    const Level& x_level = x_levels.Get().front();
    if (!TranslatedHeight(x_var, x_var_lev_trans, d_height)) {
        // The level word of a height level below the ground is a marker, not a height.
        if (x_level.GetType() != ci_lbvc_height || !(x_level.GetValue() >= 0.0f))
            return std::string();
        d_height = x_level.GetValue();
    }
    const float f_key = static_cast<float>(d_height);
    auto it_held = x_layout.x_scalar_heights.find(f_key);
    if (it_held != x_layout.x_scalar_heights.end())
        return it_held->second;
    const std::string s_name = CFFreeName(x_state.x_nc_file, "height");
    NcVar* px_var = Checked(x_state.x_nc_file.add_var(s_name.c_str(), ncDouble));
    AddText(px_var, "standard_name", "height");
    AddText(px_var, "units", "m");
    AddText(px_var, "positive", "up");
    AddText(px_var, "axis", "Z");
    x_layout.x_puts.push_back({px_var, {d_height}, 0, 0});
    x_layout.x_scalar_heights[f_key] = s_name;
    return s_name;
}

void CompleteFormulaTerms(CFLayout& x_layout, const std::list<Variable>& x_var_list,
                          const std::map<const Variable*, std::string>& x_names)
{
    for (auto& x_entry : x_layout.x_levels) {
        CFAxis& x_axis = x_entry.second;
        if (x_axis.s_formula_terms.empty())
            continue;
        const bool b_pressure = x_axis.i_level_type == ci_lbvc_hybrid_pressure;
        const int i_surface_stash = b_pressure ? ci_surface_pressure_stash : ci_orography_stash;
        std::string s_terms = x_axis.s_formula_terms;
        for (const Variable& x_var : x_var_list)
            if (x_var.GetStashCode() == i_surface_stash && x_var.GetModelCode() == 1) {
                s_terms += (b_pressure ? " ps: " : " orog: ") + x_names.at(&x_var);
                break;
            }
        AddText(x_axis.px_var, "formula_terms", s_terms);
    }
}
