// Checks grid coordinate lists, thinning and cropping, and the rotated-pole transform.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <vector>

#include "Region.h"
#include "Rot2Global.h"

namespace {

std::vector<float> AsVector(const std::list<float>& x_list)
{
    return std::vector<float>(x_list.begin(), x_list.end());
}

// Rotates a position back to geographic coordinates in double precision with the usual rotated-pole formulas.
void ReferenceRotation(double d_rot_lat, double d_rot_lon, double d_pole_lat, double d_pole_lon,
                       double& d_lat, double& d_lon)
{
    const double d_rad = M_PI / 180.0;
    const double d_phi = d_rot_lat * d_rad;
    const double d_lambda = d_rot_lon * d_rad;
    const double d_phi_p = d_pole_lat * d_rad;
    d_lat = std::asin(std::sin(d_phi) * std::sin(d_phi_p) +
                      std::cos(d_phi) * std::cos(d_lambda) * std::cos(d_phi_p)) / d_rad;
    const double d_y = std::cos(d_phi) * std::sin(d_lambda);
    const double d_x = std::sin(d_phi_p) * std::cos(d_phi) * std::cos(d_lambda) -
                       std::cos(d_phi_p) * std::sin(d_phi);
    // A pole longitude of exactly 0 marks a grid whose longitudes need no offset.
    const double d_offset = d_pole_lon == 0.0 ? 0.0 : d_pole_lon - 180.0;
    d_lon = (std::atan2(d_y, d_x) / d_rad) + d_offset;
}

// Returns the difference of two longitudes reduced into [-180, 180).
double LonDiff(double d_a, double d_b)
{
    double d_diff = std::fmod(d_a - d_b, 360.0);
    if (d_diff >= 180.0)
        d_diff -= 360.0;
    if (d_diff < -180.0)
        d_diff += 360.0;
    return d_diff;
}

}  // namespace

TEST(RegionCoords, LatitudesStartOneStepAfterZeroth)
{
    Region x_grid(1, -90.0f, -1.875f, 2.5f, 3.75f, 73, 96);
    std::vector<float> x_lats = AsVector(x_grid.GetLatitudes());
    ASSERT_EQ(x_lats.size(), 73u);
    for (size_t i = 0; i < x_lats.size(); ++i)
        EXPECT_EQ(x_lats[i], -87.5f + 2.5f * i) << i;
    EXPECT_EQ(x_lats.back(), 92.5f);
}

TEST(RegionCoords, LongitudeRowShiftedAsAWhole)
{
    struct Case
    {
        float f_slon;
        float f_first;
    };
    const Case x_cases[] = {{-1.875f, 1.875f}, {358.125f, 1.875f}, {-181.875f, -178.125f}, {178.125f, -178.125f}};
    for (const Case& x_case : x_cases) {
        Region x_grid(1, -90.0f, x_case.f_slon, 2.5f, 3.75f, 73, 96);
        std::vector<float> x_lons = AsVector(x_grid.GetLongitudes());
        ASSERT_EQ(x_lons.size(), 96u);
        for (size_t j = 0; j < x_lons.size(); ++j)
            EXPECT_EQ(x_lons[j], x_case.f_first + 3.75f * j) << x_case.f_slon << " column " << j;
    }
}

TEST(RegionShape, SubSampleAndCrop)
{
    Region x_grid(1, -90.0f, -1.875f, 2.5f, 3.75f, 73, 96);
    Region x_same = x_grid;
    x_same.SubSample(1);
    EXPECT_EQ(x_same, x_grid);

    // For odd k the block centre and the kept point agree: old row 1 and column 1.
    Region x_mean = x_grid;
    x_mean.SubSample(3);
    EXPECT_EQ(x_mean, Region(1, -92.5f, -5.625f, 7.5f, 11.25f, 24, 32));
    EXPECT_EQ(AsVector(x_mean.GetLatitudes()).front(), -85.0f);
    EXPECT_EQ(AsVector(x_mean.GetLongitudes()).front(), 5.625f);
    Region x_thin = x_grid;
    x_thin.Thin(3);
    EXPECT_EQ(x_thin, x_mean);

    // For even k the mean lies between the two points, the thinned grid on the second.
    Region x_mean2 = x_grid;
    x_mean2.SubSample(2);
    EXPECT_EQ(AsVector(x_mean2.GetLatitudes()).front(), -86.25f);
    Region x_thin2 = x_grid;
    x_thin2.Thin(2);
    EXPECT_EQ(AsVector(x_thin2.GetLatitudes()).front(), -85.0f);
    EXPECT_EQ(x_thin2.GetNRows(), 36);

    Region x_crop = x_grid;
    x_crop.Crop(2);
    EXPECT_EQ(x_crop, Region(1, -85.0f, 5.625f, 2.5f, 3.75f, 69, 92));
    EXPECT_EQ(AsVector(x_crop.GetLongitudes()).front(), 9.375f);
}

TEST(RegionEquality, IdsIgnoredEveryOtherMemberCounted)
{
    Region x_grid(101, -10.0f, 20.0f, 0.5f, 0.5f, 40, 50);
    x_grid.SetPoleLocation(37.5f, 177.5f);
    Region x_copy(x_grid);
    x_copy.SetID(7);
    EXPECT_EQ(x_copy.GetID(), 7);
    EXPECT_EQ(x_grid.GetID(), -1);
    EXPECT_EQ(x_grid, x_copy);

    Region x_other_pole(x_grid);
    x_other_pole.SetPoleLocation(37.5f, 177.0f);
    EXPECT_NE(x_grid, x_other_pole);
    EXPECT_NE(x_grid, Region(100, -10.0f, 20.0f, 0.5f, 0.5f, 40, 50));
    EXPECT_NE(Region(1, 0.0f, 0.0f, 1.0f, 1.0f, 2, 3), Region(1, 0.0f, 0.0f, 1.0f, 1.0f, 3, 2));

    Region x_default;
    EXPECT_EQ(x_default.GetID(), -1);
    EXPECT_EQ(x_default.GetPoleLatitude(), -1e20f);
    EXPECT_EQ(x_default.GetPoleLongitude(), -1e20f);
    EXPECT_EQ(x_default.GetNRows(), 0);
    EXPECT_TRUE(x_default.GetLatitudes().empty());
}

TEST(RegionRotated, CacheFollowsTheGridAndIsNeverShared)
{
    Region x_grid(101, -10.0f, 20.0f, 2.0f, 3.0f, 6, 5);
    x_grid.SetPoleLocation(37.5f, 177.5f);
    float* pf_lat = nullptr;
    float* pf_lon = nullptr;
    x_grid.GetGlobalCoordsForRotatedGrid(pf_lat, pf_lon);
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 5; ++c) {
            float f_lat = 0.0f;
            float f_lon = 0.0f;
            Rot2Global(-10.0f + 2.0f * (r + 1), 20.0f + 3.0f * (c + 1), 37.5f, 177.5f, f_lat, f_lon);
            EXPECT_EQ(pf_lat[r * 5 + c], f_lat);
            EXPECT_EQ(pf_lon[r * 5 + c], f_lon);
        }
    float* pf_lat2 = nullptr;
    float* pf_lon2 = nullptr;
    x_grid.GetGlobalCoordsForRotatedGrid(pf_lat2, pf_lon2);
    EXPECT_EQ(pf_lat2, pf_lat);
    EXPECT_EQ(pf_lon2, pf_lon);

    // Copies make their own arrays; the sanitizer build catches a shared or doubly freed one.
    Region x_copy(x_grid);
    Region x_assigned;
    x_assigned = x_grid;
    float* pf_copy_lat = nullptr;
    float* pf_copy_lon = nullptr;
    x_copy.GetGlobalCoordsForRotatedGrid(pf_copy_lat, pf_copy_lon);
    EXPECT_NE(pf_copy_lat, pf_lat);
    EXPECT_EQ(pf_copy_lat[29], pf_lat[29]);
    x_assigned.GetGlobalCoordsForRotatedGrid(pf_copy_lat, pf_copy_lon);
    EXPECT_NE(pf_copy_lon, pf_lon);
    x_assigned = x_copy;

    // Cropping drops the cache, so the next call describes the smaller grid.
    x_grid.Crop(1);
    x_grid.GetGlobalCoordsForRotatedGrid(pf_lat, pf_lon);
    float f_lat = 0.0f;
    float f_lon = 0.0f;
    Rot2Global(-10.0f + 2.0f * 2, 20.0f + 3.0f * 2, 37.5f, 177.5f, f_lat, f_lon);
    EXPECT_EQ(pf_lat[0], f_lat);
    EXPECT_EQ(pf_lon[0], f_lon);
}

TEST(Rot2GlobalTransform, DocumentedPositions)
{
    struct Case
    {
        float f_rlat, f_rlon, f_plat, f_plon, f_lat, f_lon;
    };
    const Case x_cases[] = {{10, 20, 90, 0, 10, 20},
                            {10, 200, 90, 0, 10, -160},
                            {10, 20, 90, 180, 10, 20},
                            {0, 0, 37.5f, 177.5f, 52.5f, -2.5f}};
    for (const Case& x_case : x_cases) {
        float f_lat = 0.0f;
        float f_lon = 0.0f;
        Rot2Global(x_case.f_rlat, x_case.f_rlon, x_case.f_plat, x_case.f_plon, f_lat, f_lon);
        EXPECT_NEAR(f_lat, x_case.f_lat, 0.01) << x_case.f_rlon << " " << x_case.f_plon;
        EXPECT_NEAR(f_lon, x_case.f_lon, 0.05) << x_case.f_rlon << " " << x_case.f_plon;
    }
}

TEST(Rot2GlobalTransform, AgreesWithDoublePrecisionRotation)
{
    const float x_poles[][2] = {{37.5f, 177.5f}, {39.25f, 198.0f}, {90.0f, 0.0f}, {-30.0f, 20.0f}, {60.0f, -45.0f}};
    int i_checked = 0;
    for (const auto& x_pole : x_poles) {
        for (float f_rlat = -80.0f; f_rlat <= 80.0f; f_rlat += 7.25f) {
            for (float f_rlon = -190.0f; f_rlon <= 380.0f; f_rlon += 11.5f) {
                float f_lat = 0.0f;
                float f_lon = 0.0f;
                Rot2Global(f_rlat, f_rlon, x_pole[0], x_pole[1], f_lat, f_lon);
                double d_lat = 0.0;
                double d_lon = 0.0;
                ReferenceRotation(f_rlat, f_rlon, x_pole[0], x_pole[1], d_lat, d_lon);
                EXPECT_NEAR(f_lat, d_lat, 0.05) << f_rlat << " " << f_rlon << " pole " << x_pole[0];
                // Longitudes are ill-defined right at a geographic pole.
                if (std::fabs(d_lat) < 89.0) {
                    EXPECT_NEAR(LonDiff(f_lon, d_lon), 0.0, 0.05)
                        << f_rlat << " " << f_rlon << " pole " << x_pole[0] << " " << x_pole[1];
                    ++i_checked;
                }
            }
        }
    }
    EXPECT_GT(i_checked, 1000);
}

TEST(Rot2GlobalTransform, LongitudeRangeFollowsPoleLongitude)
{
    for (float f_rlon = 0.0f; f_rlon < 360.0f; f_rlon += 5.0f) {
        float f_lat = 0.0f;
        float f_lon = 0.0f;
        Rot2Global(20.0f, f_rlon, 37.5f, 177.5f, f_lat, f_lon);
        EXPECT_GE(f_lon, 177.5f - 360.0f);
        EXPECT_LE(f_lon, 177.5f);
        Rot2Global(20.0f, f_rlon, 90.0f, 0.0f, f_lat, f_lon);
        EXPECT_GE(f_lon, -180.0f);
        EXPECT_LE(f_lon, 180.0f);
        // A pole longitude of -182.5 reduces to 177.5.
        float f_lat2 = 0.0f;
        float f_lon2 = 0.0f;
        Rot2Global(20.0f, f_rlon, 37.5f, -182.5f, f_lat2, f_lon2);
        Rot2Global(20.0f, f_rlon, 37.5f, 177.5f, f_lat, f_lon);
        EXPECT_EQ(f_lon2, f_lon);
        EXPECT_EQ(f_lat2, f_lat);
    }
}

TEST(Rot2GlobalTransform, PolesAndBadValues)
{
    float f_lat = 0.0f;
    float f_lon = 0.0f;
    Rot2Global(90.0f, 0.0f, 90.0f, 0.0f, f_lat, f_lon);
    EXPECT_NEAR(f_lat, 90.0f, 0.01);
    EXPECT_TRUE(std::isfinite(f_lon));
    Rot2Global(-90.0f, 30.0f, 37.5f, 177.5f, f_lat, f_lon);
    EXPECT_TRUE(std::isfinite(f_lat));
    EXPECT_TRUE(std::isfinite(f_lon));

    const float f_nan = std::numeric_limits<float>::quiet_NaN();
    const float f_inf = std::numeric_limits<float>::infinity();
    Rot2Global(10.0f, f_nan, 37.5f, 177.5f, f_lat, f_lon);
    EXPECT_TRUE(std::isnan(f_lat));
    EXPECT_TRUE(std::isnan(f_lon));
    Rot2Global(10.0f, 20.0f, 37.5f, f_inf, f_lat, f_lon);
    EXPECT_TRUE(std::isnan(f_lon));
    Rot2Global(10.0f, -f_inf, 37.5f, 177.5f, f_lat, f_lon);
    EXPECT_TRUE(std::isnan(f_lon));

    // A huge longitude reduces to the same position as its remainder.
    float f_lat_big = 0.0f;
    float f_lon_big = 0.0f;
    const float f_big = 360.0f * 8388608.0f + 360.0f * 2048.0f;
    Rot2Global(10.0f, f_big, 37.5f, 177.5f, f_lat_big, f_lon_big);
    Rot2Global(10.0f, 0.0f, 37.5f, 177.5f, f_lat, f_lon);
    EXPECT_EQ(f_lat_big, f_lat);
    EXPECT_EQ(f_lon_big, f_lon);
}

TEST(RegionRotated, MissingDataWordsComputeQuickly)
{
    // The word -1073741824 read as a real in every position makes longitudes near -8e11.
    const float f_missing = -1073741824.0f;
    Region x_grid(101, f_missing, f_missing, f_missing, f_missing, 30, 800);
    x_grid.SetPoleLocation(f_missing, f_missing);
    const auto x_start = std::chrono::steady_clock::now();
    float* pf_lat = nullptr;
    float* pf_lon = nullptr;
    x_grid.GetGlobalCoordsForRotatedGrid(pf_lat, pf_lon);
    const double d_seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - x_start).count();
    EXPECT_LT(d_seconds, 5.0);
    for (int i = 0; i < 30 * 800; ++i) {
        ASSERT_TRUE(std::isfinite(pf_lat[i])) << i;
        ASSERT_TRUE(std::isfinite(pf_lon[i])) << i;
        ASSERT_LE(std::fabs(pf_lat[i]), 90.0f) << i;
    }
}
