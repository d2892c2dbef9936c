// The dimensions and coordinate variables of the output: one time axis per distinct series
// (the first unlimited), one level axis per distinct series with the level table's attributes,
// and the latitude and longitude axes of every grid, rotated grids with their geographic
// positions and grid mapping.
#include "WriteNetCDFFile.h"

#include "ToString.h"

void CreateTimeDims(WriterState& x_state, std::list<Series<TimeField>>& x_ts, const MTime& x_ref_time)
{
    for (Series<TimeField>& x_series : x_ts) {
        x_series.SetBaseValue(x_ref_time.CalcDays());
        const std::list<float> x_values = x_series.GetValues();
        const std::string s_name = "time" + ToString(x_series.GetID(), 0, ' ');
        NcDim* px_dim = x_series.GetID() != 0
                            ? Checked(x_state.x_nc_file.add_dim(s_name.c_str(), static_cast<long>(x_values.size())))
                            : Checked(x_state.x_nc_file.add_dim(s_name.c_str()));
        NcVar* px_var = Checked(x_state.x_nc_file.add_var(s_name.c_str(), ncFloat, px_dim));
        const TimeField& x_first = x_series.Get().front();
        AddAtt(px_var, "standard_name", "time");
        AddAtt(px_var, "axis", "T");
        AddAtt(px_var, "calendar", x_first.GetCalendarType().c_str());
        AddAtt(px_var, "units", ("days since " + x_ref_time.GetFormatted()).c_str());
        if (x_first.GetType() > 100)
            AddAtt(px_var, "meaning_period",
                            (ToString(x_first.GetMeaningPeriod(), 0, ' ') + " hours").c_str());
        PutCoordinates(x_state, px_var, x_values);
    }
}

void CreateLevelDims(WriterState& x_state, std::list<Series<Level>>& x_ls, const VarLevTrans& x_var_lev_trans)
{
    for (Series<Level>& x_series : x_ls) {
        const std::list<float> x_values = x_series.GetValues();
        const int i_size = x_series.Size();
        Level& x_first = x_series.Get().front();
        const std::string s_name = GetLevelName(x_state, x_first, x_var_lev_trans, i_size);
        x_first.SetName(s_name);
        NcDim* px_dim = Checked(x_state.x_nc_file.add_dim(s_name.c_str(), i_size));
        NcVar* px_var = Checked(x_state.x_nc_file.add_var(s_name.c_str(), ncFloat, px_dim));
        const AttributeList x_list = x_var_lev_trans.GetLevelAttributes(x_first.GetType(), i_size);
        AddAtt(px_var, "axis", "Z");
        if (x_list.GetName() != "NULL")
            for (const Attribute& x_att : x_list.Get())
                AddAtt(px_var, x_att.GetName().c_str(), FirstValue(x_att).c_str());
        PutCoordinates(x_state, px_var, x_values);
    }
}

std::string GetLevelName(WriterState& x_state, const Level& x_lev, const VarLevTrans& x_var_lev_trans, int i_size)
{
    const AttributeList x_list = x_var_lev_trans.GetLevelAttributes(x_lev.GetType(), i_size);
    std::string s_base = "Z";
    if (x_list.HasAttribute("out_name"))
        s_base = FirstValue(x_list.GetAttribute("out_name"));
    NcError x_silent(NcError::silent_nonfatal);
    return FirstFreeName(x_state, s_base);
}

void CreateRegionDims(WriterState& x_state, std::list<Region>& x_rs)
{
    for (Region& x_region : x_rs) {
        if (x_region.GetGridType() > 99)
            CreateRotatedRegionDim(x_state, x_region);
        else
            CreateRegularRegionDim(x_state, x_region);
    }
}

namespace {

// The two coordinate variables of a region, defined over their own new dimensions.
struct RegionAxes
{
    NcDim* px_latd;
    NcDim* px_lond;
    NcVar* px_latv;
    NcVar* px_lonv;
};

// Adds the latitude and longitude dimensions and coordinate variables of a region.
RegionAxes AddRegionAxes(WriterState& x_state, const Region& x_region, long i_nlats, long i_nlons)
{
    const std::string s_region = ToString(x_region.GetID(), 0, ' ');
    const std::string s_lat_name = cs_latitude + s_region;
    const std::string s_lon_name = cs_longitude + s_region;
    RegionAxes x_axes;
    x_axes.px_latd = Checked(x_state.x_nc_file.add_dim(s_lat_name.c_str(), i_nlats));
    x_axes.px_lond = Checked(x_state.x_nc_file.add_dim(s_lon_name.c_str(), i_nlons));
    x_axes.px_latv = Checked(x_state.x_nc_file.add_var(s_lat_name.c_str(), ncFloat, x_axes.px_latd));
    x_axes.px_lonv = Checked(x_state.x_nc_file.add_var(s_lon_name.c_str(), ncFloat, x_axes.px_lond));
    return x_axes;
}

// Writes the standard name, units and axis of one horizontal coordinate variable.
void WriteAxisAtts(NcVar* px_var, const char* s_standard_name, const char* s_units, const char* s_axis)
{
    AddAtt(px_var, "standard_name", s_standard_name);
    AddAtt(px_var, "units", s_units);
    AddAtt(px_var, "axis", s_axis);
}

// Adds one geographic coordinate array variable over the region's two dimensions.
NcVar* AddGlobalCoordVar(WriterState& x_state, const std::string& s_name, const RegionAxes& x_axes,
                         const char* s_long_name, const char* s_units)
{
    NcVar* px_var = Checked(x_state.x_nc_file.add_var(s_name.c_str(), ncFloat, x_axes.px_latd, x_axes.px_lond));
    AddAtt(px_var, "long_name", s_long_name);
    AddAtt(px_var, "units", s_units);
    return px_var;
}

}  // namespace

void CreateRegularRegionDim(WriterState& x_state, const Region& x_region)
{
    const std::list<float> x_lats = x_region.GetLatitudes();
    const std::list<float> x_lons = x_region.GetLongitudes();
    RegionAxes x_axes = AddRegionAxes(x_state, x_region, static_cast<long>(x_lats.size()),
                                      static_cast<long>(x_lons.size()));
    WriteAxisAtts(x_axes.px_latv, "latitude", "degrees_north", "Y");
    WriteAxisAtts(x_axes.px_lonv, "longitude", "degrees_east", "X");
    PutCoordinates(x_state, x_axes.px_latv, x_lats);
    PutCoordinates(x_state, x_axes.px_lonv, x_lons);
}

void CreateRotatedRegionDim(WriterState& x_state, Region& x_region)
{
    const std::list<float> x_lats = x_region.GetLatitudes();
    const std::list<float> x_lons = x_region.GetLongitudes();
    float* pf_global_lat = nullptr;
    float* pf_global_lon = nullptr;
    x_region.GetGlobalCoordsForRotatedGrid(pf_global_lat, pf_global_lon);
    const long i_nlats = static_cast<long>(x_lats.size());
    const long i_nlons = static_cast<long>(x_lons.size());
    RegionAxes x_axes = AddRegionAxes(x_state, x_region, i_nlats, i_nlons);
    WriteAxisAtts(x_axes.px_latv, "grid_latitude", "degrees", "Y");
    WriteAxisAtts(x_axes.px_lonv, "grid_longitude", "degrees", "X");
    const std::string s_region = ToString(x_region.GetID(), 0, ' ');
    NcVar* px_glat = AddGlobalCoordVar(x_state, cs_global_latitude + s_region, x_axes, "latitude",
                                       "degrees_north");
    NcVar* px_glon = AddGlobalCoordVar(x_state, cs_global_longitude + s_region, x_axes, "longitude",
                                       "degrees_east");
    NcVar* px_pole = Checked(x_state.x_nc_file.add_var((cs_rotated_pole + s_region).c_str(), ncChar));
    AddRotatedPoleMapping(px_pole, x_region);
    PutCoordinates(x_state, x_axes.px_latv, x_lats);
    PutCoordinates(x_state, x_axes.px_lonv, x_lons);
    if (i_nlats > 0 && i_nlons > 0 && pf_global_lat != nullptr && pf_global_lon != nullptr) {
        PutCoordinateBlock(x_state, px_glat, pf_global_lat, i_nlats, i_nlons);
        PutCoordinateBlock(x_state, px_glon, pf_global_lon, i_nlats, i_nlons);
    }
}

void AddRotatedPoleMapping(NcVar* px_pole, const Region& x_region)
{
    AddAtt(px_pole, "grid_mapping_name", "rotated_latitude_longitude");
    AddAtt(px_pole, "grid_north_pole_latitude", x_region.GetPoleLatitude());
    AddAtt(px_pole, "grid_north_pole_longitude", x_region.GetPoleLongitude());
}
