// The CF profile's horizontal coordinates: latitude and longitude axes (grid_latitude and
// grid_longitude in degrees on a rotated grid, with the geographic positions as 2-D auxiliary
// coordinates and the rotated pole as grid mapping), each with bounds where its spacing is regular.
#include "WriteCFFile.h"

#include <algorithm>
#include <cmath>

namespace {

// Adds one axis: its dimension and coordinate variable, named from s_base, with the axis's CF
// attributes and its values.
NcVar* AddAxis(WriterState& x_state, const std::string& s_base, const std::list<float>& x_values,
               const char* s_standard_name, const char* s_units, const char* s_axis, NcDim*& px_dim)
{
    const std::string s_name = CFFreeName(x_state.x_nc_file, s_base);
    px_dim = Checked(x_state.x_nc_file.add_dim(s_name.c_str(), static_cast<long>(x_values.size())));
    NcVar* px_var = Checked(x_state.x_nc_file.add_var(s_name.c_str(), ncFloat, px_dim));
    AddText(px_var, "standard_name", s_standard_name);
    AddText(px_var, "units", s_units);
    AddText(px_var, "axis", s_axis);
    PutCoordinates(x_state, px_var, x_values);
    return px_var;
}

// Adds the bounds of a regular axis, each point's cell reaching half a step to either side;
// latitudes of a geographic grid stop at the poles. An axis of listed coordinates or no
// spacing gets none.
void AddBounds(WriterState& x_state, CFLayout& x_layout, NcVar* px_axis, NcDim* px_dim, const std::list<float>& x_values,
               float f_spacing, bool b_listed, bool b_clip_to_poles)
{
    if (b_listed || !(f_spacing != 0.0f) || !std::isfinite(f_spacing) || x_values.empty())
        return;
    const std::string s_name = CFFreeName(x_state.x_nc_file, std::string(px_axis->name()) + "_bnds");
    AddText(px_axis, "bounds", s_name);
    NcVar* px_bounds = Checked(x_state.x_nc_file.add_var(s_name.c_str(), ncFloat, px_dim, BoundsDim(x_state, x_layout)));
    const double d_half = 0.5 * static_cast<double>(f_spacing);
    std::vector<float> x_bounds;
    for (float f_value : x_values)
        for (double d_edge : {static_cast<double>(f_value) - d_half, static_cast<double>(f_value) + d_half})
            x_bounds.push_back(static_cast<float>(b_clip_to_poles ? std::min(90.0, std::max(-90.0, d_edge)) : d_edge));
    PutCoordinateBlock(x_state, px_bounds, x_bounds.data(), static_cast<long>(x_values.size()), 2);
}

// Adds one 2-D geographic coordinate of a rotated grid.
std::string AddGeographic(WriterState& x_state, const std::string& s_base, const CFAxis& x_axes, const float* pf_values,
                          const char* s_units)
{
    const std::string s_name = CFFreeName(x_state.x_nc_file, s_base);
    NcVar* px_var = Checked(x_state.x_nc_file.add_var(s_name.c_str(), ncFloat, x_axes.px_dim, x_axes.px_dim2));
    AddText(px_var, "standard_name", s_base);
    AddText(px_var, "units", s_units);
    const long i_rows = x_axes.px_dim->size();
    const long i_cols = x_axes.px_dim2->size();
    if (i_rows > 0 && i_cols > 0 && pf_values != nullptr)
        PutCoordinateBlock(x_state, px_var, pf_values, i_rows, i_cols);
    return s_name;
}

// Defines the axes of one grid; a rotated grid adds its geographic positions and its pole.
CFAxis CreateGrid(WriterState& x_state, CFLayout& x_layout, Region& x_region)
{
    const bool b_rotated = x_region.GetGridType() > 99;
    const std::list<float> x_lats = x_region.GetLatitudes();
    const std::list<float> x_lons = x_region.GetLongitudes();
    CFAxis x_axes;
    NcVar* px_lat = AddAxis(x_state, b_rotated ? "grid_latitude" : "latitude", x_lats,
                            b_rotated ? "grid_latitude" : "latitude", b_rotated ? "degrees" : "degrees_north", "Y",
                            x_axes.px_dim);
    NcVar* px_lon = AddAxis(x_state, b_rotated ? "grid_longitude" : "longitude", x_lons,
                            b_rotated ? "grid_longitude" : "longitude", b_rotated ? "degrees" : "degrees_east", "X",
                            x_axes.px_dim2);
    AddBounds(x_state, x_layout, px_lat, x_axes.px_dim, x_lats, x_region.GetLatitudeSpacing(),
              x_region.HasLatitudeList(), !b_rotated);
    AddBounds(x_state, x_layout, px_lon, x_axes.px_dim2, x_lons, x_region.GetLongitudeSpacing(),
              x_region.HasLongitudeList(), false);
    if (!b_rotated)
        return x_axes;
    float* pf_global_lat = nullptr;
    float* pf_global_lon = nullptr;
    x_region.GetGlobalCoordsForRotatedGrid(pf_global_lat, pf_global_lon);
    const std::string s_lat = AddGeographic(x_state, "latitude", x_axes, pf_global_lat, "degrees_north");
    const std::string s_lon = AddGeographic(x_state, "longitude", x_axes, pf_global_lon, "degrees_east");
    x_axes.s_coordinates = s_lat + " " + s_lon;
    x_axes.s_grid_mapping = CFFreeName(x_state.x_nc_file, "rotated_pole");
    NcVar* px_pole = Checked(x_state.x_nc_file.add_var(x_axes.s_grid_mapping.c_str(), ncChar));
    AddRotatedPoleMapping(px_pole, x_region);
    return x_axes;
}

}  // namespace

void CreateCFGrids(WriterState& x_state, CFLayout& x_layout, std::list<Region>& x_regions)
{
    for (Region& x_region : x_regions)
        x_layout.x_grids[x_region.GetID()] = CreateGrid(x_state, x_layout, x_region);
}
