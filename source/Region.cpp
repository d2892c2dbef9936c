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
      i_nrows(0), i_ncols(0), i_id(-1), i_gridc(0)
{
}

Region::Region(int i_new_gridc, float f_new_slat, float f_new_slon, float f_new_dlat, float f_new_dlon,
               int i_new_nrows, int i_new_ncols)
    : f_slat(f_new_slat), f_slon(f_new_slon), f_dlat(f_new_dlat), f_dlon(f_new_dlon),
      f_plat(cf_no_pole), f_plon(cf_no_pole), i_nrows(i_new_nrows), i_ncols(i_new_ncols), i_id(-1),
      i_gridc(i_new_gridc)
{
}

void Region::DropCache()
{
    x_global_lons.Drop();
    x_global_lats.Drop();
}

namespace {

// Lists are equal when both are absent or both hold the same values (NaN equals nothing).
bool SameList(const Region::CoordinateList& px_lhs, const Region::CoordinateList& px_rhs)
{
    if (px_lhs == nullptr || px_rhs == nullptr)
        return px_lhs == px_rhs;
    if (px_lhs->size() != px_rhs->size())
        return false;
    for (size_t i = 0; i < px_lhs->size(); ++i)
        if (!((*px_lhs)[i] == (*px_rhs)[i]))
            return false;
    return true;
}

// The values of old[i * k + i_offset] for each whole block of k, or the block means.
Region::CoordinateList CoarsenList(const std::vector<float>& x_old, int i_skip, bool b_block_means)
{
    std::vector<float> x_new;
    const size_t i_blocks = x_old.size() / static_cast<size_t>(i_skip);
    for (size_t i_block = 0; i_block < i_blocks; ++i_block) {
        const size_t i_first = i_block * static_cast<size_t>(i_skip);
        if (!b_block_means) {
            x_new.push_back(x_old[i_first + static_cast<size_t>(i_skip / 2)]);
            continue;
        }
        double d_sum = 0.0;
        for (size_t i = i_first; i < i_first + static_cast<size_t>(i_skip); ++i)
            d_sum += x_old[i];
        x_new.push_back(static_cast<float>(d_sum / i_skip));
    }
    return std::make_shared<const std::vector<float>>(std::move(x_new));
}

// Value i of a list; a list shorter than its axis (never made so) reads as NaN rather than past its end.
float ListValue(const std::vector<float>& x_list, long long i)
{
    return i >= 0 && static_cast<size_t>(i) < x_list.size() ? x_list[static_cast<size_t>(i)] : std::nanf("");
}

// The list without i_crop values at each end; empty when nothing is left.
Region::CoordinateList CropList(const std::vector<float>& x_old, int i_crop)
{
    const size_t i_cut = static_cast<size_t>(i_crop);
    if (x_old.size() <= 2 * i_cut)
        return std::make_shared<const std::vector<float>>();
    return std::make_shared<const std::vector<float>>(x_old.begin() + i_cut, x_old.end() - i_cut);
}

}  // namespace

bool Region::operator==(const Region& rhs) const
{
    return f_slat == rhs.f_slat && f_slon == rhs.f_slon && f_dlat == rhs.f_dlat &&
           f_dlon == rhs.f_dlon && i_nrows == rhs.i_nrows && i_ncols == rhs.i_ncols &&
           f_plon == rhs.f_plon && f_plat == rhs.f_plat && i_gridc == rhs.i_gridc &&
           SameList(px_lat_list, rhs.px_lat_list) && SameList(px_lon_list, rhs.px_lon_list);
}

bool Region::operator!=(const Region& rhs) const { return !(*this == rhs); }

void Region::SetPoleLocation(float f_pole_lat, float f_pole_lon)
{
    DropCache();
    f_plat = f_pole_lat;
    f_plon = f_pole_lon;
}

void Region::SetLatitudeList(CoordinateList px_list)
{
    DropCache();
    px_lat_list = std::move(px_list);
}

void Region::SetLongitudeList(CoordinateList px_list)
{
    DropCache();
    px_lon_list = std::move(px_list);
}

// Row i_row (from 0) lies one step past the zeroth latitude per row, or where the list says.
float Region::RotatedLatitude(long long i_row) const
{
    if (px_lat_list != nullptr)
        return ListValue(*px_lat_list, i_row);
    return static_cast<float>((i_row + 1) * static_cast<double>(f_dlat) + f_slat);
}

float Region::RotatedLongitude(long long i_col) const
{
    if (px_lon_list != nullptr)
        return ListValue(*px_lon_list, i_col);
    return static_cast<float>((i_col + 1) * static_cast<double>(f_dlon) + f_slon);
}

std::list<float> Region::GetLatitudes() const
{
    std::list<float> x_lats;
    for (long long i = 0; i < i_nrows; ++i)
        x_lats.push_back(RotatedLatitude(i));
    return x_lats;
}

std::list<float> Region::GetLongitudes() const
{
    // Moves the whole row by a multiple of 360 so that its last longitude lies in [0, 360).
    std::list<float> x_lons;
    if (i_ncols <= 0)
        return x_lons;
    const float f_last = RotatedLongitude(i_ncols - 1);
    const double d_shift = 360.0 * std::floor(static_cast<double>(f_last) / 360.0);
    for (int j = 1; j <= i_ncols; ++j) {
        if (px_lon_list != nullptr)
            x_lons.push_back(static_cast<float>(ListValue(*px_lon_list, j - 1) - d_shift));
        else
            x_lons.push_back(static_cast<float>(j * static_cast<double>(f_dlon) + f_slon - d_shift));
    }
    return x_lons;
}

void Region::GetGlobalCoordsForRotatedGrid(float*& pf_global_lat, float*& pf_global_lon)
{
    if (x_global_lats.Empty() || x_global_lons.Empty()) {
        const long long l_rows = i_nrows > 0 ? i_nrows : 0;
        const long long l_cols = i_ncols > 0 ? i_ncols : 0;
        float* pf_lats = x_global_lats.Make(static_cast<size_t>(l_rows * l_cols));
        float* pf_lons = x_global_lons.Make(static_cast<size_t>(l_rows * l_cols));
        for (long long r = 0; r < l_rows; ++r) {
            const float f_rot_lat = RotatedLatitude(r);
            for (long long c = 0; c < l_cols; ++c)
                Rot2Global(f_rot_lat, RotatedLongitude(c), f_plat, f_plon, pf_lats[r * l_cols + c],
                           pf_lons[r * l_cols + c]);
        }
    }
    pf_global_lat = x_global_lats.Get();
    pf_global_lon = x_global_lons.Get();
}

void Region::SubSample(int i_skip)
{
    // The zeroth value is one step before the first point, so the first block's centre,
    // (k + 1) / 2 old steps past it, becomes one new step past the new zeroth value.
    Coarsen(i_skip, -0.5 * (i_skip - 1), true);
}

void Region::Thin(int i_skip)
{
    // Thinning keeps point k / 2 (from 0) of each block, k / 2 + 1 old steps past the zeroth value.
    Coarsen(i_skip, i_skip / 2 + 1 - i_skip, false);
}

void Region::Coarsen(int i_skip, double f_shift_steps, bool b_block_means)
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
    if (px_lat_list != nullptr)
        px_lat_list = CoarsenList(*px_lat_list, i_skip, b_block_means);
    if (px_lon_list != nullptr)
        px_lon_list = CoarsenList(*px_lon_list, i_skip, b_block_means);
}

void Region::Crop(int i_crop_size)
{
    DropCache();
    i_nrows -= 2 * i_crop_size;
    i_ncols -= 2 * i_crop_size;
    f_slon = static_cast<float>(static_cast<double>(f_dlon) * i_crop_size + f_slon);
    f_slat = static_cast<float>(i_crop_size * static_cast<double>(f_dlat) + f_slat);
    if (px_lat_list != nullptr)
        px_lat_list = CropList(*px_lat_list, i_crop_size);
    if (px_lon_list != nullptr)
        px_lon_list = CropList(*px_lon_list, i_crop_size);
}

void Region::Print() const
{
    std::cout << f_slat << " " << f_slon << " " << f_dlat << " " << f_dlon << " " << i_nrows << " "
              << i_ncols << " " << i_gridc << " " << f_plon << " " << f_plat << std::endl;
}
