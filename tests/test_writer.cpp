// Checks the netCDF writer end to end: generated UM files converted and read back with the C API.
#include <gtest/gtest.h>

#include <netcdf.h>

#include <cmath>
#include <cstring>
#include <list>
#include <string>
#include <vector>

#include "GlobalAtts.h"
#include "MTime.h"
#include "TestFiles.h"
#include "VarLevTrans.h"
#include "Variable.h"
#include "WriteNetCDFFile.h"
#include "tessold.h"

namespace {

const float cf_bmdi = -1073741824.0f;

// Read-only view of a netCDF file through the C interface; names "" mean the global attributes.
class NcReader
{
public:
    explicit NcReader(const std::string& s_path) { b_open = nc_open(s_path.c_str(), NC_NOWRITE, &i_id) == NC_NOERR; }
    ~NcReader()
    {
        if (b_open)
            nc_close(i_id);
    }
    NcReader(const NcReader&) = delete;
    NcReader& operator=(const NcReader&) = delete;

    bool Open() const { return b_open; }

    std::vector<std::string> DimNames() const
    {
        int i_ndims = 0;
        nc_inq_ndims(i_id, &i_ndims);
        std::vector<std::string> x_names;
        for (int i = 0; i < i_ndims; ++i)
            x_names.push_back(DimName(i));
        return x_names;
    }

    size_t DimLen(const std::string& s_name) const
    {
        int i_dim = -1;
        size_t i_len = 0;
        if (nc_inq_dimid(i_id, s_name.c_str(), &i_dim) == NC_NOERR)
            nc_inq_dimlen(i_id, i_dim, &i_len);
        return i_len;
    }

    std::string UnlimitedDim() const
    {
        int i_dim = -1;
        nc_inq_unlimdim(i_id, &i_dim);
        return i_dim < 0 ? std::string() : DimName(i_dim);
    }

    std::vector<std::string> VarNames() const
    {
        int i_nvars = 0;
        nc_inq_nvars(i_id, &i_nvars);
        std::vector<std::string> x_names;
        for (int i = 0; i < i_nvars; ++i) {
            char s_name[NC_MAX_NAME + 1] = {0};
            nc_inq_varname(i_id, i, s_name);
            x_names.push_back(s_name);
        }
        return x_names;
    }

    bool HasVar(const std::string& s_var) const
    {
        int i_var = -1;
        return nc_inq_varid(i_id, s_var.c_str(), &i_var) == NC_NOERR;
    }

    std::vector<std::string> VarDims(const std::string& s_var) const
    {
        int x_dims[NC_MAX_VAR_DIMS];
        int i_ndims = 0;
        nc_inq_varndims(i_id, Var(s_var), &i_ndims);
        nc_inq_vardimid(i_id, Var(s_var), x_dims);
        std::vector<std::string> x_names;
        for (int i = 0; i < i_ndims; ++i)
            x_names.push_back(DimName(x_dims[i]));
        return x_names;
    }

    nc_type VarType(const std::string& s_var) const
    {
        nc_type i_type = NC_NAT;
        nc_inq_vartype(i_id, Var(s_var), &i_type);
        return i_type;
    }

    std::vector<std::string> AttNames(const std::string& s_var) const
    {
        int i_natts = 0;
        nc_inq_varnatts(i_id, Var(s_var), &i_natts);
        std::vector<std::string> x_names;
        for (int i = 0; i < i_natts; ++i) {
            char s_name[NC_MAX_NAME + 1] = {0};
            nc_inq_attname(i_id, Var(s_var), i, s_name);
            x_names.push_back(s_name);
        }
        return x_names;
    }

    bool HasAtt(const std::string& s_var, const std::string& s_att) const
    {
        int i_num = 0;
        return nc_inq_attid(i_id, Var(s_var), s_att.c_str(), &i_num) == NC_NOERR;
    }

    nc_type AttType(const std::string& s_var, const std::string& s_att) const
    {
        nc_type i_type = NC_NAT;
        nc_inq_atttype(i_id, Var(s_var), s_att.c_str(), &i_type);
        return i_type;
    }

    size_t AttLen(const std::string& s_var, const std::string& s_att) const
    {
        size_t i_len = 0;
        nc_inq_attlen(i_id, Var(s_var), s_att.c_str(), &i_len);
        return i_len;
    }

    std::string AttText(const std::string& s_var, const std::string& s_att) const
    {
        std::string s_text(AttLen(s_var, s_att), '\0');
        if (!s_text.empty())
            nc_get_att_text(i_id, Var(s_var), s_att.c_str(), &s_text[0]);
        return s_text;
    }

    std::vector<double> AttNumbers(const std::string& s_var, const std::string& s_att) const
    {
        std::vector<double> x_values(AttLen(s_var, s_att));
        if (!x_values.empty())
            nc_get_att_double(i_id, Var(s_var), s_att.c_str(), x_values.data());
        return x_values;
    }

    float AttFloat(const std::string& s_var, const std::string& s_att) const
    {
        float f_value = 0.0f;
        nc_get_att_float(i_id, Var(s_var), s_att.c_str(), &f_value);
        return f_value;
    }

    size_t VarSize(const std::string& s_var) const
    {
        size_t i_size = 1;
        for (const std::string& s_dim : VarDims(s_var))
            i_size *= DimLen(s_dim);
        return i_size;
    }

    std::vector<float> Floats(const std::string& s_var) const
    {
        std::vector<float> x_values(VarSize(s_var));
        nc_get_var_float(i_id, Var(s_var), x_values.data());
        return x_values;
    }

    std::vector<int> Ints(const std::string& s_var) const
    {
        std::vector<int> x_values(VarSize(s_var));
        nc_get_var_int(i_id, Var(s_var), x_values.data());
        return x_values;
    }

    std::vector<short> Shorts(const std::string& s_var) const
    {
        std::vector<short> x_values(VarSize(s_var));
        nc_get_var_short(i_id, Var(s_var), x_values.data());
        return x_values;
    }

    std::vector<signed char> Bytes(const std::string& s_var) const
    {
        std::vector<signed char> x_values(VarSize(s_var));
        nc_get_var_schar(i_id, Var(s_var), x_values.data());
        return x_values;
    }

private:
    int Var(const std::string& s_var) const
    {
        if (s_var.empty())
            return NC_GLOBAL;
        int i_var = -2;
        nc_inq_varid(i_id, s_var.c_str(), &i_var);
        return i_var;
    }

    std::string DimName(int i_dim) const
    {
        char s_name[NC_MAX_NAME + 1] = {0};
        nc_inq_dimname(i_id, i_dim, s_name);
        return s_name;
    }

    int i_id = -1;
    bool b_open = false;
};

// The outcome of one call of the entry point.
struct Outcome
{
    int i_status = -1;
    std::string s_stdout;
    std::string s_stderr;
    std::string s_nc_path;
};

// A description of a UM file: optional file-level keys and the field objects.
std::string UMDesc(const std::vector<std::string>& x_fields, const std::string& s_file_keys = "")
{
    std::string s_json = "{" + s_file_keys + (s_file_keys.empty() ? "" : ",") + "\"fields\":[";
    for (size_t i = 0; i < x_fields.size(); ++i)
        s_json += (i ? "," : "") + x_fields[i];
    return s_json + "]}";
}

// A mutable C string copy for the entry point's char* parameters.
std::vector<char> CString(const std::string& s_text)
{
    std::vector<char> x_chars(s_text.begin(), s_text.end());
    x_chars.push_back('\0');
    return x_chars;
}

// Generates the UM file and converts it with the entry point, capturing both output streams.
Outcome Convert(const TempDir& x_dir, const std::string& s_json, const ConfigFiles& x_cfg,
                const std::string& s_name = "in.um")
{
    Outcome x_outcome;
    const std::string s_in = x_dir.File(s_name);
    if (GenerateUM(s_json, s_in).empty()) {
        ADD_FAILURE() << "umgen failed for " << s_json;
        return x_outcome;
    }
    x_outcome.s_nc_path = s_in + ".nc";
    std::vector<char> x_in = CString(s_in), x_trans = CString(x_cfg.s_trans),
                      x_pack = CString(x_cfg.s_pack), x_gatts = CString(x_cfg.s_gatts);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    x_outcome.i_status = tessold(x_in.data(), x_trans.data(), x_pack.data(), x_gatts.data());
    x_outcome.s_stderr = testing::internal::GetCapturedStderr();
    x_outcome.s_stdout = testing::internal::GetCapturedStdout();
    return x_outcome;
}

// Converts and expects success, so that each test starts from a written file.
Outcome ConvertOk(const TempDir& x_dir, const std::string& s_json, const ConfigFiles& x_cfg)
{
    Outcome x_outcome = Convert(x_dir, s_json, x_cfg);
    EXPECT_EQ(x_outcome.i_status, 0) << x_outcome.s_stderr;
    return x_outcome;
}

// A translation file where 16203 and 16204 both give "temp" and 3236 has no out_name.
std::string WriteTranslation(const TempDir& x_dir)
{
    const std::string s_path = x_dir.File("names.xml");
    WriteTextFile(s_path,
                  "<?xml version=\"1.0\"?>\n<t><stash><submodel id=\"1\">"
                  "<section id=\"16\"><item id=\"203\" out_name=\"temp\" units=\"K\"/>"
                  "<item id=\"204\" out_name=\"temp\"/></section>"
                  "<section id=\"3\"><item id=\"236\"/></section>"
                  "</submodel></stash></t>\n");
    return s_path;
}

// The float32 bit patterns of a value list, for exact comparisons.
std::vector<unsigned int> Bits(const std::vector<float>& x_values)
{
    std::vector<unsigned int> x_bits(x_values.size());
    std::memcpy(x_bits.data(), x_values.data(), x_values.size() * sizeof(float));
    return x_bits;
}

// A slice of a read-back (time, level, lat, lon) array.
std::vector<float> Slab(const std::vector<float>& x_all, size_t i_nlevels, size_t i_npoints, size_t i_time,
                        size_t i_level)
{
    const size_t i_start = (i_time * i_nlevels + i_level) * i_npoints;
    return std::vector<float>(x_all.begin() + i_start, x_all.begin() + i_start + i_npoints);
}

// Rotated to geographic position in double precision, by the usual spherical rotation.
void RotatedToGeographic(double d_rlat, double d_rlon, double d_plat, double d_plon, double& d_lat, double& d_lon)
{
    const double d_deg = M_PI / 180.0;
    const double d_phi = d_rlat * d_deg, d_lam = d_rlon * d_deg, d_pphi = d_plat * d_deg;
    d_lat = std::asin(std::sin(d_phi) * std::sin(d_pphi) + std::cos(d_phi) * std::cos(d_lam) * std::cos(d_pphi)) /
            d_deg;
    const double d_y = std::cos(d_phi) * std::sin(d_lam);
    const double d_x = std::sin(d_pphi) * std::cos(d_phi) * std::cos(d_lam) - std::cos(d_pphi) * std::sin(d_phi);
    d_lon = d_plon - 180.0 + std::atan2(d_y, d_x) / d_deg;
}

// The difference of two longitudes folded into -180 to 180.
double LonDifference(double d_a, double d_b)
{
    double d_diff = std::fmod(d_a - d_b, 360.0);
    if (d_diff > 180.0)
        d_diff -= 360.0;
    if (d_diff < -180.0)
        d_diff += 360.0;
    return d_diff;
}

using Names = std::vector<std::string>;

}  // namespace

TEST(WriterLayout, DimensionsAndVariablesFollowTheLayoutOrder)
{
    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    const std::string s_json = UMDesc({
        R"({"stash":16203,"vt":[1970,1,1,0,0,0]})",
        R"({"stash":16203,"vt":[1970,1,2,0,0,0]})",
        R"({"stash":3236,"lbvc":1,"blev":1.5,"lbcode":101,"bplat":37.5,"bplon":177.5,)"
        R"("bzy":-5.0,"bdy":1.0,"bzx":10.0,"bdx":1.0})",
    });
    Outcome x_out = ConvertOk(x_dir, s_json, x_cfg);
    NcReader x_nc(x_out.s_nc_path);
    ASSERT_TRUE(x_nc.Open());
    EXPECT_EQ(x_nc.DimNames(), (Names{"time0", "time1", "pressure_0", "height_0", "latitude0", "longitude0",
                                      "latitude1", "longitude1"}));
    EXPECT_EQ(x_nc.VarNames(),
              (Names{"time0", "time1", "pressure_0", "height_0", "latitude0", "longitude0", "latitude1",
                     "longitude1", "global_latitude1", "global_longitude1", "rotated_pole1", "temp_0",
                     "field16_0"}));
    EXPECT_EQ(x_nc.UnlimitedDim(), "time0");
    EXPECT_EQ(x_nc.DimLen("time0"), 2u);
    EXPECT_EQ(x_nc.DimLen("time1"), 1u);
    EXPECT_EQ(x_nc.VarDims("temp_0"), (Names{"time0", "pressure_0", "latitude0", "longitude0"}));
    EXPECT_EQ(x_nc.VarDims("field16_0"), (Names{"time1", "height_0", "latitude1", "longitude1"}));
    EXPECT_EQ(x_nc.VarDims("global_latitude1"), (Names{"latitude1", "longitude1"}));
    EXPECT_TRUE(x_nc.VarDims("rotated_pole1").empty());
    EXPECT_EQ(x_nc.AttNames(""), (Names{"Conventions", "source"}));
    EXPECT_EQ(x_nc.AttText("", "Conventions"), "CF-1.3");
    EXPECT_EQ(x_nc.AttText("", "source"), "tests");
    EXPECT_EQ(x_nc.AttNames("temp_0"), (Names{"_FillValue", "stash_item", "stash_section", "out_name", "units"}));
    EXPECT_EQ(x_nc.AttText("temp_0", "out_name"), "temp");
    EXPECT_EQ(x_nc.AttNames("field16_0"),
              (Names{"_FillValue", "grid_mapping", "coordinates", "stash_item", "stash_section"}));
    EXPECT_EQ(x_nc.AttText("field16_0", "grid_mapping"), "rotated_pole1");
    EXPECT_EQ(x_nc.AttText("field16_0", "coordinates"), "global_longitude1 global_latitude1");
    EXPECT_NE(x_out.s_stdout.find("Converted file: "), std::string::npos);
}

TEST(WriterTime, ThreeSixtyDayMeanGivesMidpointAndNoMeaningPeriodBelowType100)
{
    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    const std::string s_json = UMDesc({
        R"({"vt":[1970,1,1,0,0,0],"dt":[1970,2,1,0,0,0],"lbtim":2})",
        R"({"vt":[1970,2,1,0,0,0],"dt":[1970,3,1,0,0,0],"lbtim":2})",
    }, R"("calendar":2,"ref_time":[1970,1,1,0,0,0])");
    Outcome x_out = ConvertOk(x_dir, s_json, x_cfg);
    NcReader x_nc(x_out.s_nc_path);
    ASSERT_TRUE(x_nc.Open());
    EXPECT_EQ(x_nc.Floats("time0"), (std::vector<float>{15.0f, 45.0f}));
    EXPECT_EQ(x_nc.AttNames("time0"), (Names{"standard_name", "axis", "calendar", "units"}));
    EXPECT_EQ(x_nc.AttText("time0", "standard_name"), "time");
    EXPECT_EQ(x_nc.AttText("time0", "axis"), "T");
    EXPECT_EQ(x_nc.AttText("time0", "calendar"), "360_day");
    EXPECT_EQ(x_nc.AttText("time0", "units"), "days since 1970-01-01 00:00:00");
    EXPECT_EQ(x_nc.DimLen("time0"), 2u);
}

TEST(WriterTime, TimeType122AddsMeaningPeriod)
{
    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    const std::string s_json = UMDesc({R"({"vt":[1970,1,1,0,0,0],"dt":[1970,2,1,0,0,0],"lbtim":122})"},
                                      R"("calendar":2,"ref_time":[1970,1,1,0,0,0])");
    Outcome x_out = ConvertOk(x_dir, s_json, x_cfg);
    NcReader x_nc(x_out.s_nc_path);
    ASSERT_TRUE(x_nc.Open());
    EXPECT_EQ(x_nc.Floats("time0"), (std::vector<float>{15.0f}));
    EXPECT_EQ(x_nc.AttNames("time0"), (Names{"standard_name", "axis", "calendar", "units", "meaning_period"}));
    EXPECT_EQ(x_nc.AttText("time0", "meaning_period"), "720 hours");
    EXPECT_EQ(x_nc.AttText("temp_0", "sampling_frequency"), "1 hours");
}

TEST(WriterTime, GregorianDaysCountLeapYears)
{
    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    const std::string s_json = UMDesc({
        R"({"vt":[1970,3,1,0,0,0],"lbtim":1})",
        R"({"vt":[1972,3,1,0,0,0],"lbtim":1})",
        R"({"stash":16204,"vt":[1970,3,1,0,0,0],"dt":[1970,4,1,0,0,0],"lbtim":1})",
    }, R"("calendar":1,"ref_time":[1970,1,1,0,0,0])");
    Outcome x_out = ConvertOk(x_dir, s_json, x_cfg);
    NcReader x_nc(x_out.s_nc_path);
    ASSERT_TRUE(x_nc.Open());
    EXPECT_EQ(x_nc.Floats("time0"), (std::vector<float>{59.0f, 790.0f}));
    EXPECT_EQ(x_nc.Floats("time1"), (std::vector<float>{74.5f}));
    EXPECT_EQ(x_nc.AttText("time0", "calendar"), "gregorian");
    EXPECT_EQ(x_nc.AttText("time1", "units"), "days since 1970-01-01 00:00:00");
    EXPECT_FALSE(x_nc.HasAtt("time1", "meaning_period"));
    EXPECT_EQ(x_nc.UnlimitedDim(), "time0");
}

TEST(WriterLevels, NamesAttributesAndHybridValues)
{
    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    const std::string s_json = UMDesc({
        R"({"stash":16203,"lbvc":8,"blev":850.0})",
        R"({"stash":16204,"lbvc":2,"blev":7.0})",
        R"({"stash":16205,"lbvc":9,"blev":0.5,"bhlev":5000.0})",
        R"({"stash":16206,"lbvc":8,"blev":500.0})",
    });
    Outcome x_out = ConvertOk(x_dir, s_json, x_cfg);
    EXPECT_NE(x_out.s_stdout.find("Error: 2 not supported"), std::string::npos);
    NcReader x_nc(x_out.s_nc_path);
    ASSERT_TRUE(x_nc.Open());
    EXPECT_EQ(x_nc.DimNames(), (Names{"time0", "pressure_0", "Z_0", "hybrid_pressure_x1000_0", "pressure_1",
                                      "latitude0", "longitude0"}));
    EXPECT_EQ(x_nc.AttNames("pressure_0"), (Names{"axis", "standard_name", "units", "direction", "out_name"}));
    EXPECT_EQ(x_nc.AttText("pressure_0", "axis"), "Z");
    EXPECT_EQ(x_nc.AttText("pressure_0", "units"), "hPa");
    EXPECT_EQ(x_nc.AttText("pressure_0", "out_name"), "pressure");
    EXPECT_EQ(x_nc.Floats("pressure_0"), (std::vector<float>{850.0f}));
    EXPECT_EQ(x_nc.Floats("pressure_1"), (std::vector<float>{500.0f}));
    EXPECT_EQ(x_nc.AttNames("Z_0"), (Names{"axis"}));
    EXPECT_EQ(x_nc.AttText("Z_0", "axis"), "Z");
    EXPECT_EQ(x_nc.Floats("Z_0"), (std::vector<float>{7.0f}));
    EXPECT_EQ(x_nc.Floats("hybrid_pressure_x1000_0"), (std::vector<float>{550.0f}));
    EXPECT_EQ(x_nc.AttText("hybrid_pressure_x1000_0", "standard_name"),
              "atmosphere_hybrid_sigma_pressure_coordinate");
    EXPECT_EQ(x_nc.VarDims("field16_0"), (Names{"time0", "Z_0", "latitude0", "longitude0"}));
}

TEST(WriterRegions, RegularGridCoordinates)
{
    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    Outcome x_out = ConvertOk(x_dir, UMDesc({R"({"bzy":-90.0,"bdy":2.5,"bzx":0.0,"bdx":3.75})"}), x_cfg);
    NcReader x_nc(x_out.s_nc_path);
    ASSERT_TRUE(x_nc.Open());
    EXPECT_EQ(x_nc.Floats("latitude0"), (std::vector<float>{-87.5f, -85.0f, -82.5f}));
    EXPECT_EQ(x_nc.Floats("longitude0"), (std::vector<float>{3.75f, 7.5f, 11.25f, 15.0f}));
    EXPECT_EQ(x_nc.AttNames("latitude0"), (Names{"standard_name", "units", "axis"}));
    EXPECT_EQ(x_nc.AttText("latitude0", "units"), "degrees_north");
    EXPECT_EQ(x_nc.AttText("latitude0", "axis"), "Y");
    EXPECT_EQ(x_nc.AttText("longitude0", "standard_name"), "longitude");
    EXPECT_EQ(x_nc.AttText("longitude0", "units"), "degrees_east");
    EXPECT_FALSE(x_nc.HasVar("rotated_pole0"));
    EXPECT_FALSE(x_nc.HasAtt("temp_0", "grid_mapping"));
}

TEST(WriterRegions, RotatedGridMatchesAnIndependentRotation)
{
    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    const double d_plat = 37.5, d_plon = 177.5;
    const std::string s_json = UMDesc({R"({"lbcode":101,"bplat":37.5,"bplon":177.5,"bzy":-5.0,"bdy":1.0,)"
                                       R"("bzx":10.0,"bdx":1.0,"rows":3,"cols":4})"});
    Outcome x_out = ConvertOk(x_dir, s_json, x_cfg);
    NcReader x_nc(x_out.s_nc_path);
    ASSERT_TRUE(x_nc.Open());
    EXPECT_EQ(x_nc.Floats("latitude0"), (std::vector<float>{-4.0f, -3.0f, -2.0f}));
    EXPECT_EQ(x_nc.Floats("longitude0"), (std::vector<float>{11.0f, 12.0f, 13.0f, 14.0f}));
    EXPECT_EQ(x_nc.AttText("latitude0", "standard_name"), "grid_latitude");
    EXPECT_EQ(x_nc.AttText("longitude0", "units"), "degrees");
    EXPECT_EQ(x_nc.AttNames("global_latitude0"), (Names{"long_name", "units"}));
    EXPECT_EQ(x_nc.AttText("global_longitude0", "units"), "degrees_east");
    EXPECT_EQ(x_nc.VarType("rotated_pole0"), NC_CHAR);
    EXPECT_EQ(x_nc.AttNames("rotated_pole0"),
              (Names{"grid_mapping_name", "grid_north_pole_latitude", "grid_north_pole_longitude"}));
    EXPECT_EQ(x_nc.AttText("rotated_pole0", "grid_mapping_name"), "rotated_latitude_longitude");
    EXPECT_EQ(x_nc.AttType("rotated_pole0", "grid_north_pole_latitude"), NC_FLOAT);
    EXPECT_EQ(x_nc.AttFloat("rotated_pole0", "grid_north_pole_latitude"), 37.5f);
    EXPECT_EQ(x_nc.AttFloat("rotated_pole0", "grid_north_pole_longitude"), 177.5f);
    const std::vector<float> x_glat = x_nc.Floats("global_latitude0");
    const std::vector<float> x_glon = x_nc.Floats("global_longitude0");
    ASSERT_EQ(x_glat.size(), 12u);
    ASSERT_EQ(x_glon.size(), 12u);
    for (int i_row = 0; i_row < 3; ++i_row) {
        for (int i_col = 0; i_col < 4; ++i_col) {
            double d_lat = 0.0, d_lon = 0.0;
            RotatedToGeographic(-4.0 + i_row, 11.0 + i_col, d_plat, d_plon, d_lat, d_lon);
            EXPECT_NEAR(x_glat[i_row * 4 + i_col], d_lat, 0.05) << i_row << "," << i_col;
            EXPECT_NEAR(LonDifference(x_glon[i_row * 4 + i_col], d_lon), 0.0, 0.05) << i_row << "," << i_col;
        }
    }
}

TEST(WriterRegions, GridCode100IsRotatedWithoutGridMapping)
{
    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    Outcome x_out = ConvertOk(x_dir, UMDesc({R"({"lbcode":100,"bplat":37.5,"bplon":177.5})"}), x_cfg);
    NcReader x_nc(x_out.s_nc_path);
    ASSERT_TRUE(x_nc.Open());
    EXPECT_TRUE(x_nc.HasVar("rotated_pole0"));
    EXPECT_FALSE(x_nc.HasAtt("temp_0", "grid_mapping"));
    EXPECT_FALSE(x_nc.HasAtt("temp_0", "coordinates"));
}

TEST(WriterVariables, NamesSuffixesCellMethodsAndStashAttributes)
{
    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    x_cfg.s_trans = WriteTranslation(x_dir);
    const std::string s_json = UMDesc({
        R"({"stash":16203,"lbproc":0})",
        R"({"stash":16203,"lbproc":4096})",
        R"({"stash":16203,"lbproc":8192})",
        R"({"stash":16204,"lbproc":0})",
        R"({"stash":16203,"lbproc":192})",
        R"({"stash":16205,"lbfc":7,"lbproc":128})",
        R"({"stash":16203,"lbproc":12288})",
        R"({"stash":3236,"lbfc":9})",
    });
    Outcome x_out = ConvertOk(x_dir, s_json, x_cfg);
    NcReader x_nc(x_out.s_nc_path);
    ASSERT_TRUE(x_nc.Open());
    const Names x_vars = x_nc.VarNames();
    const Names x_data(x_vars.end() - 8, x_vars.end());
    EXPECT_EQ(x_data, (Names{"temp_0", "tempmin_0", "tempmax_0", "temp_1", "temp_2", "field7_0",
                             "tempminmax_0", "field9_0"}));
    EXPECT_FALSE(x_nc.HasAtt("temp_0", "cell_method"));
    EXPECT_EQ(x_nc.AttText("tempmin_0", "cell_method"), "time: minimum ");
    EXPECT_EQ(x_nc.AttText("tempmax_0", "cell_method"), "time: maximum ");
    EXPECT_EQ(x_nc.AttText("temp_2", "cell_method"), "lon: lat: mean time: mean ");
    EXPECT_EQ(x_nc.AttText("tempminmax_0", "cell_method"), "time: minimum time: maximum ");
    EXPECT_EQ(x_nc.AttText("field7_0", "cell_method"), "time: mean ");
    EXPECT_EQ(x_nc.AttNames("field7_0"), (Names{"_FillValue", "stash_item", "stash_section", "cell_method"}));
    EXPECT_EQ(x_nc.AttType("field7_0", "stash_item"), NC_INT);
    EXPECT_EQ(x_nc.AttNumbers("field7_0", "stash_item"), (std::vector<double>{205.0}));
    EXPECT_EQ(x_nc.AttType("field7_0", "stash_section"), NC_INT);
    EXPECT_EQ(x_nc.AttNumbers("field7_0", "stash_section"), (std::vector<double>{16.0}));
    EXPECT_EQ(x_nc.AttType("field9_0", "stash_item"), NC_CHAR);
    EXPECT_EQ(x_nc.AttText("field9_0", "stash_item"), "236");
    EXPECT_EQ(x_nc.AttText("field9_0", "stash_section"), "3");
    EXPECT_EQ(x_nc.AttNames("temp_1"), (Names{"_FillValue", "stash_item", "stash_section", "out_name"}));
}

TEST(WriterVariables, SamplingFrequencyOnlyAboveMinusOne)
{
    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    const std::string s_json = UMDesc({
        R"({"stash":16203,"lbtim":602})",
        R"({"stash":16204,"lbtim":2})",
    });
    Outcome x_out = ConvertOk(x_dir, s_json, x_cfg);
    NcReader x_nc(x_out.s_nc_path);
    ASSERT_TRUE(x_nc.Open());
    EXPECT_EQ(x_nc.AttText("temp_0", "sampling_frequency"), "6 hours");
    EXPECT_FALSE(x_nc.HasAtt("field16_0", "sampling_frequency"));
}

TEST(WriterData, FloatValuesArriveBitForBit)
{
    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    const std::string s_json = UMDesc({R"({"data":[1.5,-0.0,3.4028234663852886e38,1e-40,null,0.1,)"
                                       R"(-123.456,7e-45,2.5,1e10,-1e-10,42.0]})"});
    Outcome x_out = ConvertOk(x_dir, s_json, x_cfg);
    NcReader x_nc(x_out.s_nc_path);
    ASSERT_TRUE(x_nc.Open());
    EXPECT_EQ(x_nc.VarType("temp_0"), NC_FLOAT);
    EXPECT_EQ(x_nc.AttType("temp_0", "_FillValue"), NC_FLOAT);
    EXPECT_EQ(x_nc.AttFloat("temp_0", "_FillValue"), cf_bmdi);
    const std::vector<float> x_expected{1.5f, -0.0f, 3.4028234663852886e38f, 1e-40f, cf_bmdi, 0.1f,
                                        -123.456f, 7e-45f, 2.5f, 1e10f, -1e-10f, 42.0f};
    EXPECT_EQ(Bits(x_nc.Floats("temp_0")), Bits(x_expected));
}

TEST(WriterData, SixFieldsLandAtTheirTimeAndLevel)
{
    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    std::vector<std::string> x_fields;
    const char* s_levels[] = {"850.0", "500.0", "250.0"};
    for (int i_time = 0; i_time < 2; ++i_time)
        for (int i_level = 0; i_level < 3; ++i_level)
            x_fields.push_back("{\"vt\":[1970,1," + std::to_string(i_time + 1) + ",0,0,0],\"blev\":" +
                               s_levels[i_level] + ",\"fill\":" + std::to_string(100 * i_time + i_level) + "}");
    Outcome x_out = ConvertOk(x_dir, UMDesc(x_fields), x_cfg);
    NcReader x_nc(x_out.s_nc_path);
    ASSERT_TRUE(x_nc.Open());
    EXPECT_EQ(x_nc.Floats("pressure_0"), (std::vector<float>{850.0f, 500.0f, 250.0f}));
    EXPECT_EQ(x_nc.DimLen("time0"), 2u);
    const std::vector<float> x_all = x_nc.Floats("temp_0");
    ASSERT_EQ(x_all.size(), 2u * 3u * 12u);
    for (size_t i_time = 0; i_time < 2; ++i_time)
        for (size_t i_level = 0; i_level < 3; ++i_level)
            EXPECT_EQ(Slab(x_all, 3, 12, i_time, i_level),
                      std::vector<float>(12, static_cast<float>(100 * i_time + i_level)))
                << i_time << "," << i_level;
}

TEST(WriterData, MissingTimeLevelPairStaysFill)
{
    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    const std::string s_json = UMDesc({
        R"({"vt":[1970,1,1,0,0,0],"blev":850.0,"fill":1.0})",
        R"({"vt":[1970,1,1,0,0,0],"blev":500.0,"fill":2.0})",
        R"({"vt":[1970,1,2,0,0,0],"blev":850.0,"fill":3.0})",
        R"({"vt":[1970,1,3,0,0,0],"blev":850.0,"fill":5.0})",
        R"({"vt":[1970,1,3,0,0,0],"blev":500.0,"fill":6.0})",
    });
    Outcome x_out = ConvertOk(x_dir, s_json, x_cfg);
    NcReader x_nc(x_out.s_nc_path);
    ASSERT_TRUE(x_nc.Open());
    EXPECT_EQ(x_nc.DimLen("time0"), 3u);
    EXPECT_EQ(x_nc.Floats("time0"), (std::vector<float>{0.0f, 1.0f, 2.0f}));
    const std::vector<float> x_all = x_nc.Floats("temp_0");
    ASSERT_EQ(x_all.size(), 3u * 2u * 12u);
    const float x_expected[3][2] = {{1.0f, 2.0f}, {3.0f, cf_bmdi}, {5.0f, 6.0f}};
    for (size_t i_time = 0; i_time < 3; ++i_time)
        for (size_t i_level = 0; i_level < 2; ++i_level)
            EXPECT_EQ(Slab(x_all, 2, 12, i_time, i_level), std::vector<float>(12, x_expected[i_time][i_level]))
                << i_time << "," << i_level;
}

TEST(WriterData, IntegerFieldsKeepTheirWordsWithIntFill)
{
    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    const std::string s_json = UMDesc({R"({"lbuser1":2,"ints":[0,1,-1,2147483647,-2147483648,100000,)"
                                       R"(-1073741824,7,8,9,10,11]})"});
    Outcome x_out = ConvertOk(x_dir, s_json, x_cfg);
    NcReader x_nc(x_out.s_nc_path);
    ASSERT_TRUE(x_nc.Open());
    EXPECT_EQ(x_nc.VarType("temp_0"), NC_INT);
    EXPECT_EQ(x_nc.AttNames("temp_0").front(), "_FillValue");
    EXPECT_EQ(x_nc.AttType("temp_0", "_FillValue"), NC_INT);
    EXPECT_EQ(x_nc.AttNumbers("temp_0", "_FillValue"), (std::vector<double>{-1073741824.0}));
    EXPECT_EQ(x_nc.Ints("temp_0"),
              (std::vector<int>{0, 1, -1, 2147483647, -2147483647 - 1, 100000, -1073741824, 7, 8, 9, 10, 11}));
}

TEST(WriterData, IntegerFieldWithFractionalMissingValueHasNoFill)
{
    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    Outcome x_out = ConvertOk(x_dir, UMDesc({R"({"lbuser1":-2,"bmdi":0.5,"fill":3})"}), x_cfg);
    NcReader x_nc(x_out.s_nc_path);
    ASSERT_TRUE(x_nc.Open());
    EXPECT_EQ(x_nc.VarType("temp_0"), NC_INT);
    EXPECT_FALSE(x_nc.HasAtt("temp_0", "_FillValue"));
}

TEST(WriterData, LogicalFieldsBecomeBytesWithoutFill)
{
    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    const std::string s_json = UMDesc({R"({"lbuser1":3,"ints":[0,1,-1,127,-128,128,-129,1000,5,-5,2147483647,2]})"});
    Outcome x_out = ConvertOk(x_dir, s_json, x_cfg);
    NcReader x_nc(x_out.s_nc_path);
    ASSERT_TRUE(x_nc.Open());
    EXPECT_EQ(x_nc.VarType("temp_0"), NC_BYTE);
    EXPECT_FALSE(x_nc.HasAtt("temp_0", "_FillValue"));
    EXPECT_EQ(x_nc.Bytes("temp_0"),
              (std::vector<signed char>{0, 1, -1, 127, -128, -128, -128, -128, 5, -5, -128, 2}));
}

TEST(WriterData, ShortPackingWritesCodesScaleAndOffset)
{
    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    WriteTextFile(x_cfg.s_pack, "<?xml version=\"1.0\"?>\n<p><rule section=\"16\" id=\"203\" pack=\"2\"/></p>\n");
    const std::string s_json = UMDesc({R"({"bmks":2.0,"data":[0,1,2,3,4,5,6,7,8,9,10,null]})"});
    Outcome x_out = ConvertOk(x_dir, s_json, x_cfg);
    NcReader x_nc(x_out.s_nc_path);
    ASSERT_TRUE(x_nc.Open());
    EXPECT_EQ(x_nc.VarType("temp_0"), NC_SHORT);
    EXPECT_EQ(x_nc.AttNames("temp_0"),
              (Names{"_FillValue", "scale_factor", "add_offset", "stash_item", "stash_section", "out_name", "units"}));
    EXPECT_EQ(x_nc.AttType("temp_0", "_FillValue"), NC_SHORT);
    EXPECT_EQ(x_nc.AttNumbers("temp_0", "_FillValue"), (std::vector<double>{32767.0}));
    EXPECT_EQ(x_nc.AttType("temp_0", "scale_factor"), NC_FLOAT);
    EXPECT_EQ(x_nc.AttType("temp_0", "add_offset"), NC_DOUBLE);
    const float f_pack_scale = static_cast<float>(10.0 / 65534.0);
    const float f_scale = x_nc.AttFloat("temp_0", "scale_factor");
    EXPECT_FLOAT_EQ(f_scale, 2.0f * f_pack_scale);
    EXPECT_DOUBLE_EQ(x_nc.AttNumbers("temp_0", "add_offset").at(0), 32768.0 * static_cast<double>(f_scale));
    const std::vector<short> x_codes = x_nc.Shorts("temp_0");
    ASSERT_EQ(x_codes.size(), 12u);
    EXPECT_EQ(x_codes.front(), -32768);
    EXPECT_EQ(x_codes.back(), 32767);
    for (size_t i = 0; i + 1 < x_codes.size(); ++i)
        EXPECT_NEAR((x_codes[i] * static_cast<double>(f_pack_scale) + 32768.0 * f_pack_scale), static_cast<double>(i),
                    2.0 * f_pack_scale) << i;
}

TEST(WriterData, BytePackingWritesCodesWithByteFill)
{
    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    WriteTextFile(x_cfg.s_pack, "<?xml version=\"1.0\"?>\n<p><rule section=\"16\" id=\"203\" pack=\"1\"/></p>\n");
    const std::string s_json = UMDesc({R"({"bmks":0.0,"data":[0,254,100.7,null,1,2,3,4,5,6,7,8]})"});
    Outcome x_out = ConvertOk(x_dir, s_json, x_cfg);
    NcReader x_nc(x_out.s_nc_path);
    ASSERT_TRUE(x_nc.Open());
    EXPECT_EQ(x_nc.VarType("temp_0"), NC_BYTE);
    EXPECT_EQ(x_nc.AttType("temp_0", "_FillValue"), NC_BYTE);
    EXPECT_EQ(x_nc.AttNumbers("temp_0", "_FillValue"), (std::vector<double>{127.0}));
    EXPECT_EQ(x_nc.AttFloat("temp_0", "scale_factor"), 1.0f);
    EXPECT_EQ(x_nc.AttNumbers("temp_0", "add_offset"), (std::vector<double>{128.0}));
    EXPECT_EQ(x_nc.Bytes("temp_0"),
              (std::vector<signed char>{-128, 126, -27, 127, -127, -126, -125, -124, -123, -122, -121, -120}));
}

TEST(WriterGlobal, TypedGlobalAttributes)
{
    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    WriteTextFile(x_cfg.s_gatts,
                  "title string 2 a b\n"
                  "single string 1 abc\n"
                  "empty string 0\n"
                  "counts integer 3 1 12abc -7\n"
                  "bad integer 1 abc\n"
                  "ratio float 2 0.5 1.25\n"
                  "precise double 1 0.1\n"
                  "small short 2 3 -4\n"
                  "flags byte 2 12 x\n"
                  "skipme long 1 5\n"
                  "other String 1 q\n");
    Outcome x_out = ConvertOk(x_dir, UMDesc({"{}"}), x_cfg);
    NcReader x_nc(x_out.s_nc_path);
    ASSERT_TRUE(x_nc.Open());
    EXPECT_EQ(x_nc.AttNames(""), (Names{"Conventions", "title", "single", "empty", "counts", "bad", "ratio",
                                        "precise", "small", "flags"}));
    EXPECT_EQ(x_nc.AttText("", "title"), "a,b");
    EXPECT_EQ(x_nc.AttText("", "single"), "abc");
    EXPECT_EQ(x_nc.AttType("", "empty"), NC_CHAR);
    EXPECT_EQ(x_nc.AttLen("", "empty"), 0u);
    EXPECT_EQ(x_nc.AttType("", "counts"), NC_INT);
    EXPECT_EQ(x_nc.AttNumbers("", "counts"), (std::vector<double>{1.0, 12.0, -7.0}));
    EXPECT_EQ(x_nc.AttNumbers("", "bad"), (std::vector<double>{0.0}));
    EXPECT_EQ(x_nc.AttType("", "ratio"), NC_FLOAT);
    EXPECT_EQ(x_nc.AttNumbers("", "ratio"), (std::vector<double>{0.5, 1.25}));
    EXPECT_EQ(x_nc.AttType("", "precise"), NC_DOUBLE);
    EXPECT_EQ(x_nc.AttNumbers("", "precise"), (std::vector<double>{0.1}));
    EXPECT_EQ(x_nc.AttType("", "small"), NC_SHORT);
    EXPECT_EQ(x_nc.AttNumbers("", "small"), (std::vector<double>{3.0, -4.0}));
    EXPECT_EQ(x_nc.AttType("", "flags"), NC_CHAR);
    EXPECT_EQ(x_nc.AttText("", "flags"), "1x");
}

TEST(WriterFile, RefusesToReplaceAnExistingFile)
{
    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    const std::string s_nc = x_dir.File("in.um.nc");
    WriteTextFile(s_nc, "keep these bytes");
    Outcome x_out = Convert(x_dir, UMDesc({"{}"}), x_cfg);
    EXPECT_EQ(x_out.i_status, 1);
    EXPECT_EQ(ReadFileBytes(s_nc), "keep these bytes");
    EXPECT_NE(x_out.s_stderr.find("Error: Output file: " + s_nc + " already exists or could not be opened\n"),
              std::string::npos)
        << x_out.s_stderr;
    EXPECT_EQ(x_out.s_stdout.find("Converted file: "), std::string::npos);
}

TEST(WriterFile, UnloadedGlobalAttributesAndNoVariablesGiveConventionsOnly)
{
    TempDir x_dir;
    const std::string s_nc = x_dir.File("empty.nc");
    std::list<Variable> x_vars;
    const int x_date[6] = {1970, 1, 1, 0, 0, 0};
    VarLevTrans x_trans(x_dir.File("absent.xml"));
    GlobalAtts x_gatts;
    EXPECT_EQ(WriteNetCDFFile(s_nc, x_vars, MTime(x_date, 2), x_trans, x_gatts), 0);
    NcReader x_nc(s_nc);
    ASSERT_TRUE(x_nc.Open());
    EXPECT_EQ(x_nc.AttNames(""), (Names{"Conventions"}));
    EXPECT_EQ(x_nc.AttText("", "Conventions"), "CF-1.3");
    EXPECT_TRUE(x_nc.DimNames().empty());
    EXPECT_TRUE(x_nc.VarNames().empty());
}

TEST(WriterFile, TypeTableAndCellMethodTable)
{
    EXPECT_EQ(Tessoldtype(-3), ncByte);
    EXPECT_EQ(Tessoldtype(-2), ncInt);
    EXPECT_EQ(Tessoldtype(-1), ncFloat);
    EXPECT_EQ(Tessoldtype(0), ncFloat);
    EXPECT_EQ(Tessoldtype(1), ncFloat);
    EXPECT_EQ(Tessoldtype(2), ncInt);
    EXPECT_EQ(Tessoldtype(3), ncByte);
    EXPECT_EQ(Tessoldtype(4), ncFloat);
    EXPECT_EQ(GetCellMethod(0), "");
    EXPECT_EQ(GetCellMethod(1), "lon: lat: time: difference from another experiment ");
    EXPECT_EQ(GetCellMethod(524288), "lon: lat: low pass filter ");
    EXPECT_EQ(GetCellMethod(1048576), "");
    EXPECT_EQ(GetCellMethod(1024 + 2048), "level: difference between fields at BLEV and BRLEV "
                                          "level: mean over layer between BLEV and BRLEV ");
}

// Defines a data variable whose ids name no dimension, which the library refuses fatally.
static void DefineVariableWithoutDimensions(const std::string& s_path)
{
    NcFile x_nc_file(s_path.c_str(), NcFile::New, nullptr, 0, NcFile::Classic);
    const int x_date[6] = {1970, 1, 1, 0, 0, 0};
    VarField x_field(1, 16, 16203, 1);
    Level x_level;
    x_level.Set(8, 850.0f);
    x_field.SetDims(Region(1, -90.0f, 0.0f, 2.5f, 3.75f, 3, 4), x_level, TimeField(2, x_date, x_date));
    std::list<Variable> x_vars{Variable(x_field)};
    std::list<Series<Level>> x_levels;
    VarLevTrans x_trans("absent.xml");
    CreateVariables(x_nc_file, x_vars, x_levels, x_trans);
}

TEST(WriterDeathTest, FailingLibraryCallEndsTheProcessWithStatus3)
{
    TempDir x_dir;
    const std::string s_path = x_dir.File("fatal.nc");
    EXPECT_EXIT(DefineVariableWithoutDimensions(s_path), testing::ExitedWithCode(3), "");
}
