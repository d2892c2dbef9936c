// What whole outputs cannot show of grids: the longitude shift at its edges, the rotated-pole
// transform against a double-precision one over many positions and poles, and coordinate lists.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <list>
#include <memory>
#include <vector>

#include "Region.h"
#include "Rot2Global.h"

namespace {

typedef std::pair<float, float> LatLon;

LatLon Rot(float f_rlat, float f_rlon, float f_plat, float f_plon)
{
    LatLon x_pos;
    Rot2Global(f_rlat, f_rlon, f_plat, f_plon, x_pos.first, x_pos.second);
    return x_pos;
}

// Rotates back to (latitude, longitude, longitude offset) in double precision with the usual rotated-pole formulas.
std::array<double, 3> ReferenceRotation(double d_rot_lat, double d_rot_lon, double d_pole_lat, double d_pole_lon)
{
    const double d_rad = M_PI / 180.0;
    const double d_phi = d_rot_lat * d_rad;
    const double d_lambda = d_rot_lon * d_rad;
    const double d_phi_p = d_pole_lat * d_rad;
    const double d_lat = std::asin(std::sin(d_phi) * std::sin(d_phi_p) +
                                   std::cos(d_phi) * std::cos(d_lambda) * std::cos(d_phi_p)) / d_rad;
    const double d_y = std::cos(d_phi) * std::sin(d_lambda);
    const double d_x = std::sin(d_phi_p) * std::cos(d_phi) * std::cos(d_lambda) - std::cos(d_phi_p) * std::sin(d_phi);
    // A pole longitude of exactly 0 marks a grid whose longitudes need no offset; others count from [0, 360).
    const double d_pole = d_pole_lon - 360.0 * std::floor(d_pole_lon / 360.0);
    const double d_offset = d_pole == 0.0 ? 0.0 : d_pole - 180.0;
    return {d_lat, std::atan2(d_y, d_x) / d_rad + d_offset, d_offset};
}

// Returns the difference of two longitudes reduced into [-180, 180).
double LonDiff(double d_a, double d_b)
{
    const double d_diff = std::fmod(d_a - d_b, 360.0);
    return d_diff >= 180.0 ? d_diff - 360.0 : (d_diff < -180.0 ? d_diff + 360.0 : d_diff);
}

}  // namespace

TEST(RegionCoords, RowsStartOneStepAfterZerothAndLongitudesShiftAsAWhole)
{
    const std::list<float> x_lats = Region(1, -90.0f, -1.875f, 2.5f, 3.75f, 73, 96).GetLatitudes();
    ASSERT_EQ(x_lats.size(), 73u);
    size_t i = 0;
    for (float f_lat : x_lats)
        EXPECT_EQ(f_lat, -87.5f + 2.5f * i++) << i - 1;
    // The row moves by whole turns so that its last longitude lies in [0, 360).
    const float px_cases[][2] = {{-1.875f, 1.875f}, {358.125f, 1.875f}, {-181.875f, -178.125f}, {178.125f, -178.125f},
                                 {0.0f, -356.25f}};
    for (const auto& x_case : px_cases) {
        const std::list<float> x_lons = Region(1, -90.0f, x_case[0], 2.5f, 3.75f, 73, 96).GetLongitudes();
        ASSERT_EQ(x_lons.size(), 96u);
        size_t j = 0;
        for (float f_lon : x_lons)
            EXPECT_EQ(f_lon, x_case[1] + 3.75f * j++) << x_case[0] << " column " << j - 1;
    }
}

TEST(Rot2GlobalTransform, AgreesWithDoublePrecisionRotation)
{
    const float px_poles[][2] = {{37.5f, 177.5f}, {37.5f, -182.5f}, {39.25f, 198.0f}, {90.0f, 0.0f}, {-30.0f, 20.0f}};
    int i_checked = 0;
    for (const auto& x_pole : px_poles)
        for (float f_rlat = -80.0f; f_rlat <= 80.0f; f_rlat += 7.25f)
            for (float f_rlon = -190.0f; f_rlon <= 380.0f; f_rlon += 11.5f) {
                const LatLon x_got = Rot(f_rlat, f_rlon, x_pole[0], x_pole[1]);
                const std::array<double, 3> x_ref = ReferenceRotation(f_rlat, f_rlon, x_pole[0], x_pole[1]);
                SCOPED_TRACE(testing::Message() << f_rlat << " " << f_rlon << " pole " << x_pole[1]);
                EXPECT_NEAR(x_got.first, x_ref[0], 0.05);
                // Longitudes lie within half a turn of the offset, and are ill-defined right at a pole.
                EXPECT_LE(std::fabs(x_got.second - x_ref[2]), 180.001);
                if (std::fabs(x_ref[0]) < 89.0) {
                    EXPECT_NEAR(LonDiff(x_got.second, x_ref[1]), 0.0, 0.05);
                    ++i_checked;
                }
            }
    EXPECT_GT(i_checked, 1000);
    // An independent anchor: the rotated origin lies at (90 - pole latitude, pole longitude - 180).
    const LatLon x_origin = Rot(0.0f, 0.0f, 37.5f, 177.5f);
    EXPECT_NEAR(x_origin.first, 52.5f, 0.01);
    EXPECT_NEAR(x_origin.second, -2.5f, 0.05);
}

TEST(Rot2GlobalTransform, PolesBadAndHugeValues)
{
    EXPECT_NEAR(Rot(90.0f, 0.0f, 90.0f, 0.0f).first, 90.0f, 0.01);
    EXPECT_TRUE(std::isfinite(Rot(90.0f, 0.0f, 90.0f, 0.0f).second));
    const LatLon x_south = Rot(-90.0f, 30.0f, 37.5f, 177.5f);
    EXPECT_TRUE(std::isfinite(x_south.first) && std::isfinite(x_south.second));
    // Non-finite longitudes give NaN instead of looping forever.
    const float f_inf = std::numeric_limits<float>::infinity();
    for (float f_bad : {std::numeric_limits<float>::quiet_NaN(), f_inf, -f_inf}) {
        EXPECT_TRUE(std::isnan(Rot(10.0f, f_bad, 37.5f, 177.5f).second)) << f_bad;
        EXPECT_TRUE(std::isnan(Rot(10.0f, 20.0f, 37.5f, f_bad).second)) << f_bad;
    }
    // A huge longitude reduces to the same position as its remainder.
    EXPECT_EQ(Rot(10.0f, 360.0f * 8388608.0f + 360.0f * 2048.0f, 37.5f, 177.5f), Rot(10.0f, 0.0f, 37.5f, 177.5f));
}

// The word -1073741824 read as a real in every position makes longitudes near -8e11; their
// reduction must end and give positions on the globe.
TEST(RegionRotated, MissingDataWordsGivePositionsOnTheGlobe)
{
    const float f_missing = -1073741824.0f;
    Region x_grid(101, f_missing, f_missing, f_missing, f_missing, 3, 80);
    x_grid.SetPoleLocation(f_missing, f_missing);
    float* pf_lat = nullptr;
    float* pf_lon = nullptr;
    x_grid.GetGlobalCoordsForRotatedGrid(pf_lat, pf_lon);
    for (int i = 0; i < 3 * 80; ++i)
        ASSERT_TRUE(std::isfinite(pf_lon[i]) && std::fabs(pf_lat[i]) <= 90.0f) << i;
}

TEST(RegionLists, CoordinateListsTakePartInEquality)
{
    const auto List = [](std::vector<float> x_values) {
        return std::make_shared<const std::vector<float>>(std::move(x_values));
    };
    Region x_grid(1, 0.0f, 0.0f, -1e30f, 1.0f, 3, 2);
    x_grid.SetLatitudeList(List({-1.0f, 0.5f, 4.0f}));
    Region x_same(1, 0.0f, 0.0f, -1e30f, 1.0f, 3, 2);
    x_same.SetLatitudeList(List({-1.0f, 0.5f, 4.0f}));
    Region x_other = x_same;
    x_other.SetLatitudeList(List({-1.0f, 0.5f, 4.5f}));
    EXPECT_EQ(x_grid, x_same);
    EXPECT_NE(x_grid, x_other);
    EXPECT_NE(x_grid, Region(1, 0.0f, 0.0f, -1e30f, 1.0f, 3, 2));
    EXPECT_EQ(x_grid.GetLatitudes(), (std::list<float>{-1.0f, 0.5f, 4.0f}));
    Region x_nan = x_grid;
    x_nan.SetLatitudeList(List({-1.0f, std::nanf(""), 4.0f}));
    EXPECT_NE(x_nan, x_nan);
}

TEST(RegionRotated, CopiesNeverShareTheCachedPositions)
{
    Region x_grid(101, -10.0f, 20.0f, 2.0f, 3.0f, 6, 5);
    x_grid.SetPoleLocation(37.5f, 177.5f);
    float* pf_lat = nullptr;
    float* pf_lon = nullptr;
    x_grid.GetGlobalCoordsForRotatedGrid(pf_lat, pf_lon);
    EXPECT_EQ(LatLon(pf_lat[7], pf_lon[7]), Rot(-10.0f + 2.0f * 2, 20.0f + 3.0f * 3, 37.5f, 177.5f));
    Region x_copy(x_grid);
    Region x_assigned;
    x_assigned = x_grid;
    for (Region* px_region : {&x_copy, &x_assigned}) {
        float* pf_copy_lat = nullptr;
        float* pf_copy_lon = nullptr;
        px_region->GetGlobalCoordsForRotatedGrid(pf_copy_lat, pf_copy_lon);
        EXPECT_NE(pf_copy_lat, pf_lat);
        EXPECT_EQ(pf_copy_lat[7], pf_lat[7]);
    }
}
