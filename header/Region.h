// A regular or rotated-pole latitude/longitude grid and its coordinate lists.
#ifndef TESSOLD_REGION_H
#define TESSOLD_REGION_H

#include <list>
#include <memory>
#include <vector>

#include "CachedArray.h"

class Region
{
public:
    Region();
    Region(int i_gridc, float f_slat, float f_slon, float f_dlat, float f_dlon,
           int i_nrows, int i_ncols);

    bool operator==(const Region& rhs) const;
    bool operator!=(const Region& rhs) const;

    int GetID() const { return i_id; }
    void SetID(int i_new_id) { i_id = i_new_id; }
    int GetNRows() const { return i_nrows; }
    int GetNCols() const { return i_ncols; }
    int GetGridType() const { return i_gridc; }
    float GetZerothLatitude() const { return f_slat; }
    float GetZerothLongitude() const { return f_slon; }
    float GetLatitudeSpacing() const { return f_dlat; }
    float GetLongitudeSpacing() const { return f_dlon; }

    // Grids of variable resolution give their coordinates as lists, one value per row or column,
    // which then stand in for the zeroth value and the spacing of that axis.
    typedef std::shared_ptr<const std::vector<float>> CoordinateList;
    void SetLatitudeList(CoordinateList px_list);
    void SetLongitudeList(CoordinateList px_list);
    bool HasLatitudeList() const { return px_lat_list != nullptr; }
    bool HasLongitudeList() const { return px_lon_list != nullptr; }

    void SetPoleLocation(float f_pole_lat, float f_pole_lon);
    float GetPoleLatitude() const { return f_plat; }
    float GetPoleLongitude() const { return f_plon; }

    std::list<float> GetLatitudes() const;
    std::list<float> GetLongitudes() const;
    void GetGlobalCoordsForRotatedGrid(float*& pf_global_lat, float*& pf_global_lon);

    // Describes the grid of the means of k x k blocks.
    void SubSample(int i_skip);
    // Describes the grid of every k-th point, starting at point k / 2 of the first block.
    void Thin(int i_skip);
    void Crop(int i_crop_size);
    void Print() const;

private:
    void DropCache();
    void Coarsen(int i_skip, double f_shift_steps, bool b_block_means);
    float RotatedLatitude(long long i_row) const;
    float RotatedLongitude(long long i_col) const;

    float f_slat;
    float f_slon;
    float f_dlat;
    float f_dlon;
    float f_plat;
    float f_plon;
    int i_nrows;
    int i_ncols;
    int i_id;
    int i_gridc;
    CachedArray<float> x_global_lons;  // geographic positions of a rotated grid, row by row
    CachedArray<float> x_global_lats;
    CoordinateList px_lat_list;  // null on a regular axis; never changed once set, so copies share it
    CoordinateList px_lon_list;
};

#endif
