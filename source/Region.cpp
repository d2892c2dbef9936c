// A regular or rotated-pole latitude/longitude grid, its coordinate lists and its cached geographic positions.
#include "Region.h"

#include <cmath>
#include <iostream>

#include "Rot2Global.h"

namespace {

// The pole position that means no rotated pole was given.
const float cf_no_pole = -1e20f;

}  // namespace

Region::Region()
    : f_slat(0.0f), f_slon(0.0f), f_dlat(0.0f), f_dlon(0.0f), f_plat(cf_no_pole), f_plon(cf_no_pole),
      i_nrows(0), i_ncols(0), i_id(-1), i_gridc(0), pf_global_lon_coords(nullptr),
      pf_global_lat_coords(nullptr)
{
}

Region::Region(int i_new_gridc, float f_new_slat, float f_new_slon, float f_new_dlat, float f_new_dlon,
               int i_new_nrows, int i_new_ncols)
    : f_slat(f_new_slat), f_slon(f_new_slon), f_dlat(f_new_dlat), f_dlon(f_new_dlon),
      f_plat(cf_no_pole), f_plon(cf_no_pole), i_nrows(i_new_nrows), i_ncols(i_new_ncols), i_id(-1),
      i_gridc(i_new_gridc), pf_global_lon_coords(nullptr), pf_global_lat_coords(nullptr)
{
}

// Copies start without the cache so that no two regions ever share an array.
Region::Region(const Region& rhs)
    : f_slat(rhs.f_slat), f_slon(rhs.f_slon), f_dlat(rhs.f_dlat), f_dlon(rhs.f_dlon),
      f_plat(rhs.f_plat), f_plon(rhs.f_plon), i_nrows(rhs.i_nrows), i_ncols(rhs.i_ncols),
      i_id(rhs.i_id), i_gridc(rhs.i_gridc), pf_global_lon_coords(nullptr), pf_global_lat_coords(nullptr)
{
}

Region& Region::operator=(const Region& rhs)
{
    if (this == &rhs)
        return *this;
    DropCache();
    f_slat = rhs.f_slat;
    f_slon = rhs.f_slon;
    f_dlat = rhs.f_dlat;
    f_dlon = rhs.f_dlon;
    f_plat = rhs.f_plat;
    f_plon = rhs.f_plon;
    i_nrows = rhs.i_nrows;
    i_ncols = rhs.i_ncols;
    i_id = rhs.i_id;
    i_gridc = rhs.i_gridc;
    return *this;
}

Region::~Region()
{
    DropCache();
}

void Region::DropCache()
{
    delete[] pf_global_lon_coords;
    delete[] pf_global_lat_coords;
    pf_global_lon_coords = nullptr;
    pf_global_lat_coords = nullptr;
}

bool Region::operator==(const Region& rhs) const
{
    return f_slat == rhs.f_slat && f_slon == rhs.f_slon && f_dlat == rhs.f_dlat &&
           f_dlon == rhs.f_dlon && i_nrows == rhs.i_nrows && i_ncols == rhs.i_ncols &&
           f_plon == rhs.f_plon && f_plat == rhs.f_plat && i_gridc == rhs.i_gridc;
}

bool Region::operator!=(const Region& rhs) const { return !(*this == rhs); }

void Region::SetPoleLocation(float f_pole_lat, float f_pole_lon)
{
    DropCache();
    f_plat = f_pole_lat;
    f_plon = f_pole_lon;
}

std::list<float> Region::GetLatitudes() const
{
    std::list<float> x_lats;
    for (int i = 1; i <= i_nrows; ++i)
        x_lats.push_back(static_cast<float>(i * static_cast<double>(f_dlat) + f_slat));
    return x_lats;
}

std::list<float> Region::GetLongitudes() const
{
    // Moves the whole row by a multiple of 360 so that its last longitude lies in [0, 360).
    float f_last = static_cast<float>(i_ncols * static_cast<double>(f_dlon) + f_slon);
    double d_shift = 360.0 * std::floor(static_cast<double>(f_last) / 360.0);
    std::list<float> x_lons;
    for (int j = 1; j <= i_ncols; ++j)
        x_lons.push_back(static_cast<float>(j * static_cast<double>(f_dlon) + f_slon - d_shift));
    return x_lons;
}

void Region::GetGlobalCoordsForRotatedGrid(float*& pf_global_lat, float*& pf_global_lon)
{
    if (pf_global_lat_coords == nullptr || pf_global_lon_coords == nullptr) {
        DropCache();
        const long long l_rows = i_nrows > 0 ? i_nrows : 0;
        const long long l_cols = i_ncols > 0 ? i_ncols : 0;
        pf_global_lat_coords = new float[l_rows * l_cols];
        pf_global_lon_coords = new float[l_rows * l_cols];
        for (long long r = 0; r < l_rows; ++r) {
            float f_rot_lat = static_cast<float>((r + 1) * static_cast<double>(f_dlat) + f_slat);
            for (long long c = 0; c < l_cols; ++c) {
                float f_rot_lon = static_cast<float>((c + 1) * static_cast<double>(f_dlon) + f_slon);
                Rot2Global(f_rot_lat, f_rot_lon, f_plat, f_plon, pf_global_lat_coords[r * l_cols + c],
                           pf_global_lon_coords[r * l_cols + c]);
            }
        }
    }
    pf_global_lat = pf_global_lat_coords;
    pf_global_lon = pf_global_lon_coords;
}

void Region::SubSample(int i_skip)
{
    // The zeroth value is one step before the first point, so the first block's centre,
    // (k + 1) / 2 old steps past it, becomes one new step past the new zeroth value.
    Coarsen(i_skip, -0.5 * (i_skip - 1));
}

void Region::Thin(int i_skip)
{
    // Thinning keeps point k / 2 (from 0) of each block, k / 2 + 1 old steps past the zeroth value.
    Coarsen(i_skip, i_skip / 2 + 1 - i_skip);
}

void Region::Coarsen(int i_skip, double f_shift_steps)
{
    // A step below 1 describes no reduction, and would divide by zero.
    if (i_skip < 1)
        return;
    DropCache();
    f_slon = static_cast<float>(f_slon + f_shift_steps * f_dlon);
    f_slat = static_cast<float>(f_slat + f_shift_steps * f_dlat);
    f_dlon = f_dlon * i_skip;
    f_dlat = f_dlat * i_skip;
    i_nrows = i_nrows / i_skip;
    i_ncols = i_ncols / i_skip;
}

void Region::Crop(int i_crop_size)
{
    DropCache();
    i_nrows -= 2 * i_crop_size;
    i_ncols -= 2 * i_crop_size;
    f_slon = static_cast<float>(static_cast<double>(f_dlon) * i_crop_size + f_slon);
    f_slat = static_cast<float>(i_crop_size * static_cast<double>(f_dlat) + f_slat);
}

void Region::Print() const
{
    std::cout << f_slat << " " << f_slon << " " << f_dlat << " " << f_dlon << " " << i_nrows << " "
              << i_ncols << " " << i_gridc << " " << f_plon << " " << f_plat << std::endl;
}
