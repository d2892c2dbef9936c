// Checks the netCDF writer end to end: generated UM files converted and read back with the C API.
#include <gtest/gtest.h>

#include <netcdf.h>

#include <cmath>
#include <list>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "GlobalAtts.h"
#include "MTime.h"
#include "TestFiles.h"
#include "VarLevTrans.h"
#include "Variable.h"
#include "WriteNetCDFFile.h"
#include "tessold.h"

namespace {

const double cf_bmdi = -1073741824.0;

using Names = std::vector<std::string>;
using Values = std::vector<double>;

// One attribute: its type and its text or numbers, whichever its type holds.
struct NcAtt
{
    nc_type i_type = NC_NAT;
    std::string s_text;
    Values x_numbers;
};

// One variable, or the global attributes under the name "": numbers are read as double, which holds
// every netCDF-3 number exactly, so one reader serves all types bit for bit.
struct NcVar
{
    nc_type i_type = NC_NAT;
    Names x_dims, x_att_names;
    std::map<std::string, NcAtt> x_atts;
    Values x_data;
};

// A whole netCDF file read back through the C interface; absent names read as empty or NC_NAT.
class NcContent
{
public:
    bool Read(const std::string& s_path)
    {
        *this = NcContent();
        char s_name[NC_MAX_NAME + 1] = {0};
        int i_id = -1, i_ndims = 0, i_nvars = 0, i_unlimited = -1;
        if (nc_open(s_path.c_str(), NC_NOWRITE, &i_id) != NC_NOERR)
            return false;
        nc_inq(i_id, &i_ndims, &i_nvars, nullptr, &i_unlimited);
        std::vector<size_t> x_lens(static_cast<size_t>(i_ndims));
        for (int i_dim = 0; i_dim < i_ndims; ++i_dim) {
            nc_inq_dim(i_id, i_dim, s_name, &x_lens[i_dim]);
            x_dim_names.push_back(s_name);
        }
        s_unlimited = i_unlimited >= 0 ? x_dim_names[i_unlimited] : "";
        for (int i_var = NC_GLOBAL; i_var < i_nvars; ++i_var) {
            int x_dims[NC_MAX_VAR_DIMS], i_var_ndims = 0, i_natts = 0;
            s_name[0] = '\0';
            if (i_var != NC_GLOBAL)
                nc_inq_var(i_id, i_var, s_name, nullptr, &i_var_ndims, x_dims, nullptr);
            nc_inq_varnatts(i_id, i_var, &i_natts);
            NcVar& x_var = x_vars[s_name];
            nc_inq_vartype(i_id, i_var, &x_var.i_type);
            size_t i_size = 1;
            for (int i = 0; i < i_var_ndims; ++i) {
                x_var.x_dims.push_back(x_dim_names[x_dims[i]]);
                i_size *= x_lens[x_dims[i]];
            }
            if (i_var != NC_GLOBAL) {
                x_var_names.push_back(s_name);
                x_var.x_data.resize(i_size);
                nc_get_var_double(i_id, i_var, x_var.x_data.data());
            }
            for (int i_att = 0; i_att < i_natts; ++i_att) {
                nc_inq_attname(i_id, i_var, i_att, s_name);
                NcAtt& x_att = x_var.x_atts[s_name];
                size_t i_len = 0;
                nc_inq_att(i_id, i_var, s_name, &x_att.i_type, &i_len);
                const bool b_text = x_att.i_type == NC_CHAR;
                x_att.s_text.assign(b_text ? i_len : 0, '\0');
                x_att.x_numbers.resize(b_text ? 0 : i_len);
                if (b_text)
                    nc_get_att_text(i_id, i_var, s_name, &x_att.s_text[0]);
                else
                    nc_get_att_double(i_id, i_var, s_name, x_att.x_numbers.data());
                x_var.x_att_names.push_back(s_name);
            }
        }
        return nc_close(i_id) == NC_NOERR;
    }
    Names DimNames() const { return x_dim_names; }
    Names VarNames() const { return x_var_names; }
    std::string UnlimitedDim() const { return s_unlimited; }
    Names VarDims(const std::string& s_var) const { return Var(s_var).x_dims; }
    Names AttNames(const std::string& s_var) const { return Var(s_var).x_att_names; }
    nc_type VarType(const std::string& s_var) const { return Var(s_var).i_type; }
    Values Data(const std::string& s_var) const { return Var(s_var).x_data; }
    nc_type AttType(const std::string& s_var, const std::string& s_att) const { return Att(s_var, s_att).i_type; }
    std::string AttText(const std::string& s_var, const std::string& s_att) const { return Att(s_var, s_att).s_text; }
    Values AttNumbers(const std::string& s_var, const std::string& s_att) const { return Att(s_var, s_att).x_numbers; }

private:
    const NcVar& Var(const std::string& s_var) const
    {
        static const NcVar x_absent;
        const auto x_found = x_vars.find(s_var);
        return x_found == x_vars.end() ? x_absent : x_found->second;
    }
    const NcAtt& Att(const std::string& s_var, const std::string& s_att) const
    {
        static const NcAtt x_absent;
        const auto x_found = Var(s_var).x_atts.find(s_att);
        return x_found == Var(s_var).x_atts.end() ? x_absent : x_found->second;
    }

    Names x_dim_names, x_var_names;
    std::string s_unlimited;
    std::map<std::string, NcVar> x_vars;
};

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

// Each test converts generated UM files in its own folder and reads the latest output back.
class Writer : public testing::Test
{
protected:
    // Converts a UM file described by its field objects, capturing both output streams.
    int Convert(const std::string& s_fields, const std::string& s_file_keys = "", const std::string& s_name = "in.um")
    {
        // Copies, because the entry point takes mutable C strings.
        std::string x_args[4] = {x_dir.File(s_name), x_cfg.s_trans, x_cfg.s_pack, x_cfg.s_gatts};
        s_nc_path = x_args[0] + ".nc";
        EXPECT_FALSE(GenerateUM("{" + s_file_keys + "\"fields\":[" + s_fields + "]}", x_args[0]).empty()) << s_fields;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const int i_status = tessold(&x_args[0][0], &x_args[1][0], &x_args[2][0], &x_args[3][0]);
        s_stderr = testing::internal::GetCapturedStderr();
        s_stdout = testing::internal::GetCapturedStdout();
        return i_status;
    }
    // Converts, expects success and reads the output, so that each check starts from a written file.
    void Write(const std::string& s_fields, const std::string& s_file_keys = "", const std::string& s_name = "in.um")
    {
        EXPECT_EQ(Convert(s_fields, s_file_keys, s_name), 0) << s_stderr;
        EXPECT_TRUE(x_nc.Read(s_nc_path)) << s_nc_path;
    }

    TempDir x_dir;
    ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    NcContent x_nc;
    std::string s_nc_path, s_stdout, s_stderr;
};

}  // namespace

TEST_F(Writer, DimensionsAndVariablesFollowTheLayoutOrder)
{
    Write(R"({"stash":16203,"vt":[1970,1,1,0,0,0]}, {"stash":16203,"vt":[1970,1,2,0,0,0]},
             {"stash":3236,"lbvc":1,"blev":1.5,"lbcode":101,"bplat":37.5,"bplon":177.5,
              "bzy":-5.0,"bdy":1.0,"bzx":10.0,"bdx":1.0})");
    EXPECT_EQ(x_nc.DimNames(), (Names{"time0", "time1", "pressure_0", "height_0", "latitude0", "longitude0",
                                      "latitude1", "longitude1"}));
    EXPECT_EQ(x_nc.VarNames(),
              (Names{"time0", "time1", "pressure_0", "height_0", "latitude0", "longitude0", "latitude1",
                     "longitude1", "global_latitude1", "global_longitude1", "rotated_pole1", "temp_0",
                     "field16_0"}));
    EXPECT_EQ(x_nc.UnlimitedDim(), "time0");
    EXPECT_EQ(x_nc.Data("time0").size(), 2u);
    EXPECT_EQ(x_nc.Data("time1").size(), 1u);
    EXPECT_EQ(x_nc.VarDims("temp_0"), (Names{"time0", "pressure_0", "latitude0", "longitude0"}));
    EXPECT_EQ(x_nc.VarDims("field16_0"), (Names{"time1", "height_0", "latitude1", "longitude1"}));
    EXPECT_EQ(x_nc.VarDims("global_latitude1"), (Names{"latitude1", "longitude1"}));
    EXPECT_EQ(x_nc.AttNames(""), (Names{"Conventions", "source"}));
    EXPECT_EQ(x_nc.AttNames("field16_0"),
              (Names{"_FillValue", "grid_mapping", "coordinates", "stash_item", "stash_section"}));
    EXPECT_EQ(x_nc.AttText("field16_0", "coordinates"), "global_longitude1 global_latitude1");
    EXPECT_NE(s_stdout.find("Converted file: "), std::string::npos);
}

// Means sit at the midpoint of their period in days of the file's calendar; only types above 100
// carry "meaning_period", and "sampling_frequency" follows the hundreds of the time type.
TEST_F(Writer, TimeAxesFollowTheCalendar)
{
    struct TimeCase
    {
        std::string s_calendar, s_fields;
        Values x_time0, x_time1;
        std::string s_period, s_sampling;
        Values x_time2;
    };
    const std::vector<TimeCase> x_cases = {
        {"360_day", R"({"vt":[1970,1,1,0,0,0],"dt":[1970,2,1,0,0,0],"lbtim":22},
                      {"vt":[1970,2,1,0,0,0],"dt":[1970,3,1,0,0,0],"lbtim":22})",
         {15.0, 45.0}, {}, "", "", {}},
        {"360_day", R"({"vt":[1970,1,1,0,0,0],"dt":[1970,2,1,0,0,0],"lbtim":122})", {15.0}, {}, "720 hours",
         "1 hours", {}},
        {"360_day", R"({"vt":[1970,1,1,0,0,0],"dt":[1970,1,2,0,0,0],"lbtim":622})", {0.5}, {}, "24 hours",
         "6 hours", {}},
        // Only tens digit 2 makes a period: a forecast (1) lies at its validity time, whatever its data time.
        {"360_day", R"({"vt":[1970,1,2,5,0,0],"dt":[1970,1,1,9,0,0],"lbtim":12},
                      {"vt":[1970,1,2,6,0,0],"dt":[1970,1,1,9,0,0],"lbtim":12})",
         {static_cast<float>(1.0 + 5.0 / 24), 1.25}, {}, "", "", {}},
        // Gregorian day counts skip 29 February 1900; the minutes of 2000-01-01 10:30 survive.
        {"gregorian", R"({"vt":[1970,3,1,0,0,0],"lbtim":1}, {"vt":[1972,3,1,0,0,0],"lbtim":1},
                        {"stash":16204,"vt":[1970,3,1,0,0,0],"dt":[1970,4,1,0,0,0],"lbtim":21},
                        {"stash":16205,"vt":[1900,3,1,0,0,0],"lbtim":1},
                        {"stash":16205,"vt":[2000,1,1,10,30,0],"lbtim":1})",
         {59.0, 790.0}, {74.5}, "", "", {-25508.0, 10957.4375}},
    };
    for (size_t i = 0; i < x_cases.size(); ++i) {
        const TimeCase& x_case = x_cases[i];
        SCOPED_TRACE(x_case.s_fields);
        const std::string s_code = x_case.s_calendar == "gregorian" ? "1" : "2";
        Write(x_case.s_fields, "\"calendar\":" + s_code + ",\"ref_time\":[1970,1,1,0,0,0],", std::to_string(i));
        Names x_atts{"standard_name", "axis", "calendar", "units"};
        if (!x_case.s_period.empty())
            x_atts.push_back("meaning_period");
        EXPECT_EQ(x_nc.AttNames("time0"), x_atts);
        EXPECT_EQ(x_nc.Data("time0"), x_case.x_time0);
        EXPECT_EQ(x_nc.Data("time1"), x_case.x_time1);
        EXPECT_EQ(x_nc.Data("time2"), x_case.x_time2);
        EXPECT_EQ(x_nc.AttText("time0", "calendar"), x_case.s_calendar);
        EXPECT_EQ(x_nc.AttText("time0", "units"), "days since 1970-01-01 00:00:00");
        EXPECT_EQ(x_nc.AttText("time0", "meaning_period"), x_case.s_period);
        EXPECT_EQ(x_nc.AttText("temp_0", "sampling_frequency"), x_case.s_sampling);
    }
}

TEST_F(Writer, LevelNamesAttributesAndHybridValues)
{
    Write(R"({"stash":16203,"lbvc":8,"blev":850.0}, {"stash":16204,"lbvc":2,"blev":7.0},
             {"stash":16205,"lbvc":9,"blev":0.5,"bhlev":5000.0}, {"stash":16206,"lbvc":8,"blev":500.0})");
    EXPECT_EQ(x_nc.DimNames(), (Names{"time0", "pressure_0", "Z_0", "hybrid_pressure_x1000_0", "pressure_1",
                                      "latitude0", "longitude0"}));
    EXPECT_EQ(x_nc.AttNames("pressure_0"), (Names{"axis", "standard_name", "units", "direction", "out_name"}));
    EXPECT_EQ(x_nc.Data("pressure_1"), (Values{500.0}));
    EXPECT_EQ(x_nc.AttNames("Z_0"), (Names{"axis"}));
    EXPECT_EQ(x_nc.AttText("Z_0", "axis"), "Z");
    EXPECT_EQ(x_nc.Data("Z_0"), (Values{7.0}));
    EXPECT_EQ(x_nc.Data("hybrid_pressure_x1000_0"), (Values{550.0}));
    EXPECT_EQ(x_nc.VarDims("field16_0"), (Names{"time0", "Z_0", "latitude0", "longitude0"}));
}

// A regular grid, a rotated grid (code 101) and a rotated grid without grid mapping (code 100).
TEST_F(Writer, RegularAndRotatedGrids)
{
    Write(R"({"stash":16203,"bzy":-90.0,"bdy":2.5,"bzx":0.0,"bdx":3.75},
             {"stash":16204,"lbcode":101,"bplat":37.5,"bplon":177.5,"bzy":-5.0,"bdy":1.0,"bzx":10.0,"bdx":1.0},
             {"stash":16205,"lbcode":100,"bplat":37.5,"bplon":177.5})");
    EXPECT_EQ(x_nc.Data("latitude0"), (Values{-87.5, -85.0, -82.5}));
    EXPECT_EQ(x_nc.Data("longitude0"), (Values{3.75, 7.5, 11.25, 15.0}));
    EXPECT_EQ(x_nc.AttNames("latitude0"), (Names{"standard_name", "units", "axis"}));
    EXPECT_EQ(x_nc.VarType("rotated_pole0"), NC_NAT);
    EXPECT_EQ(x_nc.AttType("temp_0", "grid_mapping"), NC_NAT);
    EXPECT_EQ(x_nc.Data("latitude1"), (Values{-4.0, -3.0, -2.0}));
    EXPECT_EQ(x_nc.Data("longitude1"), (Values{11.0, 12.0, 13.0, 14.0}));
    EXPECT_EQ(x_nc.AttText("latitude1", "standard_name"), "grid_latitude");
    EXPECT_EQ(x_nc.VarType("rotated_pole1"), NC_CHAR);
    EXPECT_EQ(x_nc.AttText("rotated_pole1", "grid_mapping_name"), "rotated_latitude_longitude");
    EXPECT_EQ(x_nc.AttType("rotated_pole1", "grid_north_pole_latitude"), NC_FLOAT);
    EXPECT_EQ(x_nc.AttNumbers("rotated_pole1", "grid_north_pole_latitude"), (Values{37.5}));
    EXPECT_EQ(x_nc.AttNumbers("rotated_pole1", "grid_north_pole_longitude"), (Values{177.5}));
    EXPECT_EQ(x_nc.AttText("field16_0", "grid_mapping"), "rotated_pole1");
    const Values x_glat = x_nc.Data("global_latitude1"), x_glon = x_nc.Data("global_longitude1");
    ASSERT_EQ(x_glat.size(), 12u);
    ASSERT_EQ(x_glon.size(), 12u);
    for (int i = 0; i < 12; ++i) {
        double d_lat = 0.0, d_lon = 0.0;
        RotatedToGeographic(-4.0 + i / 4, 11.0 + i % 4, 37.5, 177.5, d_lat, d_lon);
        EXPECT_NEAR(x_glat[i], d_lat, 0.05) << i;
        // Longitudes compare modulo 360.
        EXPECT_NEAR(std::remainder(x_glon[i] - d_lon, 360.0), 0.0, 0.05) << i;
    }
    EXPECT_EQ(x_nc.VarType("rotated_pole2"), NC_CHAR);
    EXPECT_EQ(x_nc.AttNames("field16_1"), (Names{"_FillValue", "stash_item", "stash_section"}));
}

TEST_F(Writer, NamesSuffixesCellMethodsAndStashAttributes)
{
    // 16203 and 16204 both translate to "temp"; 3236 has no out_name.
    x_cfg.s_trans = x_dir.File("names.xml");
    WriteTextFile(x_cfg.s_trans, "<?xml version=\"1.0\"?>\n<t><stash><submodel id=\"1\"><section id=\"16\">"
                                 "<item id=\"203\" out_name=\"temp\" units=\"K\"/><item id=\"204\" out_name=\"temp\"/>"
                                 "</section><section id=\"3\"><item id=\"236\"/></section></submodel></stash></t>\n");
    Write(R"({"stash":16203,"lbproc":0}, {"stash":16203,"lbproc":4096}, {"stash":16203,"lbproc":8192},
             {"stash":16204,"lbproc":0}, {"stash":16203,"lbproc":192}, {"stash":16205,"lbfc":7,"lbproc":128},
             {"stash":16203,"lbproc":12288}, {"stash":3236,"lbfc":9})");
    const Names x_vars = x_nc.VarNames();
    EXPECT_EQ(Names(x_vars.end() - 8, x_vars.end()), (Names{"temp_0", "tempmin_0", "tempmax_0", "temp_1", "temp_2",
                                                            "field7_0", "tempminmax_0", "field9_0"}));
    EXPECT_EQ(x_nc.AttType("temp_0", "cell_method"), NC_NAT);
    EXPECT_EQ(x_nc.AttText("tempmin_0", "cell_method"), "time: minimum ");
    EXPECT_EQ(x_nc.AttText("tempmax_0", "cell_method"), "time: maximum ");
    EXPECT_EQ(x_nc.AttText("temp_2", "cell_method"), "lon: lat: mean time: mean ");
    EXPECT_EQ(x_nc.AttText("tempminmax_0", "cell_method"), "time: minimum time: maximum ");
    EXPECT_EQ(x_nc.AttNames("field7_0"), (Names{"_FillValue", "stash_item", "stash_section", "cell_method"}));
    EXPECT_EQ(x_nc.AttText("field7_0", "cell_method"), "time: mean ");
    // Untranslated codes are written as numbers, translated ones as the file's text.
    EXPECT_EQ(x_nc.AttType("field7_0", "stash_item"), NC_INT);
    EXPECT_EQ(x_nc.AttType("field7_0", "stash_section"), NC_INT);
    EXPECT_EQ(x_nc.AttNumbers("field7_0", "stash_item"), (Values{205.0}));
    EXPECT_EQ(x_nc.AttNumbers("field7_0", "stash_section"), (Values{16.0}));
    EXPECT_EQ(x_nc.AttText("field9_0", "stash_item"), "236");
    EXPECT_EQ(x_nc.AttText("field9_0", "stash_section"), "3");
    EXPECT_EQ(x_nc.AttNames("temp_1"), (Names{"_FillValue", "stash_item", "stash_section", "out_name"}));
}

// Float fields arrive bit for bit; integer fields keep their words with an int fill; logical fields
// become bytes without fill; an integer field whose missing value is no integer gets no fill.
TEST_F(Writer, UnpackedFieldsKeepTheirValues)
{
    Write(R"({"stash":16203,"data":[1.5,-0.0,3.4028234663852886e38,1e-40,null,0.1,-123.456,7e-45,2.5,1e10,-1e-10,42]},
             {"stash":16204,"lbuser1":2,"ints":[0,1,-1,2147483647,-2147483648,100000,-1073741824,7,8,9,10,11]},
             {"stash":16205,"lbuser1":3,"ints":[0,1,-1,127,-128,128,-129,1000,5,-5,2147483647,2]},
             {"stash":16206,"lbuser1":-2,"bmdi":0.5,"fill":3})");
    EXPECT_EQ(x_nc.VarType("temp_0"), NC_FLOAT);
    EXPECT_EQ(x_nc.AttType("temp_0", "_FillValue"), NC_FLOAT);
    EXPECT_EQ(x_nc.AttNumbers("temp_0", "_FillValue"), (Values{cf_bmdi}));
    // Float values widen to double exactly, so equality is bit for bit apart from the sign of zero.
    const Values x_floats = x_nc.Data("temp_0");
    EXPECT_EQ(x_floats, (Values{1.5f, -0.0f, 3.4028234663852886e38f, 1e-40f, cf_bmdi, 0.1f, -123.456f, 7e-45f, 2.5f,
                                1e10f, -1e-10f, 42.0f}));
    EXPECT_TRUE(x_floats.size() == 12 && std::signbit(x_floats[1]));
    EXPECT_EQ(x_nc.VarType("field16_0"), NC_INT);
    EXPECT_EQ(x_nc.AttNames("field16_0").front(), "_FillValue");
    EXPECT_EQ(x_nc.AttType("field16_0", "_FillValue"), NC_INT);
    EXPECT_EQ(x_nc.AttNumbers("field16_0", "_FillValue"), (Values{cf_bmdi}));
    EXPECT_EQ(x_nc.Data("field16_0"), (Values{0, 1, -1, 2147483647, -2147483648.0, 100000, cf_bmdi, 7, 8, 9, 10, 11}));
    EXPECT_EQ(x_nc.VarType("field16_1"), NC_BYTE);
    EXPECT_EQ(x_nc.AttType("field16_1", "_FillValue"), NC_NAT);
    EXPECT_EQ(x_nc.Data("field16_1"), (Values{0, 1, -1, 127, -128, -128, -128, -128, 5, -5, -128, 2}));
    EXPECT_EQ(x_nc.VarType("field16_2"), NC_INT);
    EXPECT_EQ(x_nc.AttType("field16_2", "_FillValue"), NC_NAT);
}

// temp has all six (time, level) pairs; field16 lacks (1, 1), which must stay fill.
TEST_F(Writer, FieldsLandAtTheirTimeAndLevel)
{
    const char* s_levels[] = {"850.0", "500.0", "250.0"};
    std::string s_fields;
    Values x_temp, x_other;
    for (int i_time = 0; i_time < 2; ++i_time) {
        for (int i_level = 0; i_level < 3; ++i_level) {
            const std::string s_place = "\"vt\":[1970,1," + std::to_string(i_time + 1) + ",0,0,0],\"blev\":" +
                                        s_levels[i_level] + ",\"fill\":" + std::to_string(100 * i_time + i_level);
            const bool b_missing = i_time == 1 && i_level == 1;
            s_fields += (s_fields.empty() ? "{\"stash\":16203," : ",{\"stash\":16203,") + s_place + "}";
            s_fields += b_missing ? "" : ",{\"stash\":16204," + s_place + "}";
            x_temp.insert(x_temp.end(), 12, 100 * i_time + i_level);
            x_other.insert(x_other.end(), 12, b_missing ? cf_bmdi : 100 * i_time + i_level);
        }
    }
    Write(s_fields);
    EXPECT_EQ(x_nc.Data("pressure_0"), (Values{850.0, 500.0, 250.0}));
    EXPECT_EQ(x_nc.Data("time0"), (Values{0.0, 1.0}));
    EXPECT_EQ(x_nc.VarDims("field16_0"), (Names{"time0", "pressure_0", "latitude0", "longitude0"}));
    EXPECT_EQ(x_nc.Data("temp_0"), x_temp);
    EXPECT_EQ(x_nc.Data("field16_0"), x_other);
}

// 16203 packs to shorts with a unit factor of 2, 16204 to bytes with no unit factor.
TEST_F(Writer, PackedFieldsCarryCodesScaleAndOffset)
{
    WriteTextFile(x_cfg.s_pack, "<?xml version=\"1.0\"?>\n<p><rule section=\"16\" id=\"203\" pack=\"2\"/>"
                                "<rule section=\"16\" id=\"204\" pack=\"1\"/></p>\n");
    Write(R"({"stash":16203,"bmks":2.0,"data":[0,1,2,3,4,5,6,7,8,9,10,null]},
             {"stash":16204,"bmks":0.0,"data":[0,254,100.7,null,1,2,3,4,5,6,7,8]})");
    EXPECT_EQ(x_nc.VarType("temp_0"), NC_SHORT);
    EXPECT_EQ(x_nc.AttNames("temp_0"),
              (Names{"_FillValue", "scale_factor", "add_offset", "stash_item", "stash_section", "out_name", "units"}));
    EXPECT_EQ(x_nc.AttType("temp_0", "_FillValue"), NC_SHORT);
    EXPECT_EQ(x_nc.AttNumbers("temp_0", "_FillValue"), (Values{32767.0}));
    EXPECT_EQ(x_nc.AttType("temp_0", "scale_factor"), NC_FLOAT);
    EXPECT_EQ(x_nc.AttType("temp_0", "add_offset"), NC_FLOAT);
    const double d_scale = x_nc.AttNumbers("temp_0", "scale_factor").at(0);
    const double d_offset = x_nc.AttNumbers("temp_0", "add_offset").at(0);
    const Values x_codes = x_nc.Data("temp_0");
    ASSERT_EQ(x_codes.size(), 12u);
    EXPECT_EQ(x_codes.front(), -32768.0);
    EXPECT_EQ(x_codes.back(), 32767.0);
    // Decoded with the file's attributes, the values come out multiplied by the unit factor.
    for (size_t i = 0; i + 1 < x_codes.size(); ++i)
        EXPECT_NEAR(x_codes[i] * d_scale + d_offset, 2.0 * i, d_scale) << i;
    EXPECT_EQ(x_nc.VarType("field16_0"), NC_BYTE);
    EXPECT_EQ(x_nc.AttType("field16_0", "_FillValue"), NC_BYTE);
    EXPECT_EQ(x_nc.AttNumbers("field16_0", "_FillValue"), (Values{127.0}));
    EXPECT_EQ(x_nc.AttNumbers("field16_0", "scale_factor"), (Values{1.0}));
    EXPECT_EQ(x_nc.AttNumbers("field16_0", "add_offset"), (Values{128.0}));
    EXPECT_EQ(x_nc.Data("field16_0"), (Values{-128, 126, -27, 127, -127, -126, -125, -124, -123, -122, -121, -120}));
}

TEST_F(Writer, TypedGlobalAttributes)
{
    WriteTextFile(x_cfg.s_gatts, "title string 2 a b\nsingle string 1 abc\nempty string 0\n"
                                 "counts integer 3 1 12abc -7\nbad integer 1 abc\nratio float 2 0.5 1.25\n"
                                 "precise double 1 0.1\nsmall short 2 3 -4\nflags byte 2 12 x\n"
                                 "skipme long 1 5\nother String 1 q\n");
    Write("{}");
    EXPECT_EQ(x_nc.AttNames(""), (Names{"Conventions", "title", "single", "empty", "counts", "bad", "ratio",
                                        "precise", "small", "flags"}));
    for (const auto& x_text : std::vector<std::pair<std::string, std::string>>{
             {"Conventions", "CF-1.3"}, {"title", "a,b"}, {"single", "abc"}, {"empty", ""}, {"flags", "1x"}}) {
        EXPECT_EQ(x_nc.AttType("", x_text.first), NC_CHAR) << x_text.first;
        EXPECT_EQ(x_nc.AttText("", x_text.first), x_text.second);
    }
    for (const auto& x_number : std::vector<std::tuple<std::string, nc_type, Values>>{
             {"counts", NC_INT, {1.0, 12.0, -7.0}}, {"bad", NC_INT, {0.0}}, {"ratio", NC_FLOAT, {0.5, 1.25}},
             {"precise", NC_DOUBLE, {0.1}}, {"small", NC_SHORT, {3.0, -4.0}}}) {
        EXPECT_EQ(x_nc.AttType("", std::get<0>(x_number)), std::get<1>(x_number)) << std::get<0>(x_number);
        EXPECT_EQ(x_nc.AttNumbers("", std::get<0>(x_number)), std::get<2>(x_number)) << std::get<0>(x_number);
    }
}

TEST_F(Writer, RefusesToReplaceAnExistingFile)
{
    WriteTextFile(x_dir.File("in.um.nc"), "keep these bytes");
    EXPECT_EQ(Convert("{}"), 1);
    EXPECT_EQ(ReadFileBytes(s_nc_path), "keep these bytes");
    EXPECT_NE(s_stderr.find("Error: Output file: " + s_nc_path + " already exists or could not be opened\n"),
              std::string::npos)
        << s_stderr;
    EXPECT_EQ(s_stdout.find("Converted file: "), std::string::npos);
}

TEST_F(Writer, UnloadedGlobalAttributesGiveConventionsOnly)
{
    std::list<Variable> x_vars;
    const int x_date[6] = {1970, 1, 1, 0, 0, 0};
    VarLevTrans x_trans(x_dir.File("absent.xml"));
    GlobalAtts x_gatts;
    EXPECT_EQ(WriteNetCDFFile(x_dir.File("empty.nc"), x_vars, MTime(x_date, 2), x_trans, x_gatts), 0);
    ASSERT_TRUE(x_nc.Read(x_dir.File("empty.nc")));
    EXPECT_EQ(x_nc.AttNames(""), (Names{"Conventions"}));
    EXPECT_EQ(x_nc.AttText("", "Conventions"), "CF-1.3");
    EXPECT_TRUE(x_nc.VarNames().empty());
}

// Representative rows: the level bits combine, and a bit with no text gives none.
TEST(WriterTables, CellMethodTexts)
{
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
    WriterState x_state(x_nc_file, false);
    CreateVariables(x_state, x_vars, x_levels, x_trans);
}

TEST(WriterDeathTest, FailingLibraryCallEndsTheProcessWithStatus3)
{
    TempDir x_dir;
    EXPECT_EXIT(DefineVariableWithoutDimensions(x_dir.File("fatal.nc")), testing::ExitedWithCode(3), "");
}
