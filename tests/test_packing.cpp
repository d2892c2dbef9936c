// Packing rules: loading the XML file and the in-place byte packing, cropping, thinning and averaging.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <list>
#include <string>
#include <vector>

#include "Packing.h"
#include "RawConvert.h"
#include "TestFiles.h"

namespace
{

const float cf_bmdi = -1.0737418e9f;

// A field's values held as raw 32-bit words, as the reader leaves them.
std::vector<int> Words(const std::vector<float>& x_values)
{
    std::vector<int> x_words;
    for (float f_value : x_values)
        x_words.push_back(static_cast<int>(FLOAT_TO_RAW(f_value)));
    return x_words;
}

float Value(const int* px_data, int64_t i_index)
{
    return RAW_TO_FLOAT(static_cast<unsigned int>(px_data[i_index]));
}

// Values that name their own place: row × 1000 + column, both counted from 0.
std::vector<int> Numbered(int i_rows, int i_cols)
{
    std::vector<float> x_values;
    for (int i = 0; i < i_rows; ++i)
        for (int j = 0; j < i_cols; ++j)
            x_values.push_back(static_cast<float>(i * 1000 + j));
    return Words(x_values);
}

VarField MakeField(std::vector<int>& x_words, int i_rows, int i_cols, int i_stash = 16203)
{
    VarField x_field(1, 16, i_stash, 1);
    x_field.SetBMDI_MKS(cf_bmdi, 1.0f);
    x_field.SetData(x_words.data());
    x_field.SetDims(Region(1, -90.0f, -1.875f, 2.5f, 3.75f, i_rows, i_cols), Level(), TimeField());
    return x_field;
}

// Rules for code 16203, one element each, in the order given.
std::string Rules(std::initializer_list<const char*> x_attrs)
{
    std::string s_xml = "<packing>";
    for (const char* s_attrs : x_attrs)
        s_xml += "<rule section=\"16\" id=\"203\" " + std::string(s_attrs) + "/>";
    return s_xml + "</packing>";
}

struct Loaded
{
    bool b_ok;
    std::string s_err;
    std::vector<PackDetails> x_rules;
};

// Loads the packing file at the path or, when text is given, a file holding that text; then
// applies the rules to the variable, if one is given, as the converter does.
Loaded Load(std::string s_path, const std::string& s_xml = "", Variable* px_var = nullptr)
{
    TempDir x_dir;
    if (!s_xml.empty())
        WriteTextFile(s_path = x_dir.File("pack.xml"), s_xml);
    Packing x_packing(s_path);
    testing::internal::CaptureStderr();
    const bool b_ok = x_packing.LoadAttributes();
    const std::string s_err = testing::internal::GetCapturedStderr();
    if (b_ok && px_var != nullptr)
        x_packing.PackVariable(*px_var);
    const std::list<PackDetails>& x_rules = x_packing.GetRules();
    return Loaded{b_ok, s_err, std::vector<PackDetails>(x_rules.begin(), x_rules.end())};
}

void ApplyRules(const std::string& s_xml, Variable& x_var)
{
    ASSERT_TRUE(Load("", s_xml, &x_var).b_ok) << s_xml;
}

std::vector<double> Seq(double d_first, double d_step, int i_count)
{
    std::vector<double> x_seq;
    for (int i = 0; i < i_count; ++i)
        x_seq.push_back(d_first + i * d_step);
    return x_seq;
}

// Compares an axis with the old one at (possibly fractional) old positions; stops at the first miss.
void ExpectAxis(const std::list<float>& x_new_list, const std::list<float>& x_old_list,
                const std::vector<double>& x_pos, const char* s_axis)
{
    const std::vector<float> x_new(x_new_list.begin(), x_new_list.end());
    const std::vector<float> x_old(x_old_list.begin(), x_old_list.end());
    ASSERT_EQ(x_new.size(), x_pos.size()) << s_axis;
    for (size_t i = 0; i < x_pos.size(); ++i) {
        const size_t i_low = std::min(static_cast<size_t>(x_pos[i]), x_old.size() - 2);
        const double d_old = x_old[i_low] + (x_pos[i] - i_low) * (x_old[i_low + 1] - x_old[i_low]);
        // Longitudes may be moved as a whole by 360 degrees; the place on Earth must agree.
        ASSERT_LE(std::fabs(std::remainder(x_new[i] - d_old, 360.0)), 1e-3) << s_axis << " " << i;
    }
}

// Checks that a reduced numbered field holds the old rows and columns named (block centres for
// averages, whose means equal the centre's number) and that its grid sits at the same places.
void ExpectKept(const VarField& x_field, const Region& x_old, const std::vector<double>& x_rows,
                const std::vector<double>& x_cols)
{
    const Region& x_new = x_field.GetRegion();
    ASSERT_EQ(x_new.GetNRows(), static_cast<int>(x_rows.size()));
    ASSERT_EQ(x_new.GetNCols(), static_cast<int>(x_cols.size()));
    for (size_t i = 0; i < x_rows.size(); ++i)
        for (size_t j = 0; j < x_cols.size(); ++j)
            ASSERT_NEAR(Value(x_field.GetData(), i * x_cols.size() + j), x_rows[i] * 1000 + x_cols[j], 0.1)
                << "new point " << i << "," << j;
    ExpectAxis(x_new.GetLatitudes(), x_old.GetLatitudes(), x_rows, "latitude");
    ExpectAxis(x_new.GetLongitudes(), x_old.GetLongitudes(), x_cols, "longitude");
}

// Decodes a packing code the way a netCDF reader applies scale_factor and add_offset.
double Decode(float f_code, const Variable& x_variable, int i_nbytes)
{
    const double d_half = std::pow(256.0, i_nbytes) * 0.5;
    const double d_scale = x_variable.GetScalingFactor();
    return f_code * d_scale + (d_half * d_scale + x_variable.GetOffset());
}

} // namespace

// ---------------------------------------------------------------- loading

TEST(PackingLoad, FileNames)
{
    // No name means no rules; a missing file, a directory and an empty file are all malformed.
    const Loaded x_none = Load("");
    EXPECT_TRUE(x_none.b_ok);
    EXPECT_TRUE(x_none.x_rules.empty());
    TempDir x_dir;
    WriteTextFile(x_dir.File("empty.xml"), "");
    for (const std::string& s_path : {x_dir.File("absent.xml"), x_dir.Path(), x_dir.File("empty.xml")}) {
        const Loaded x_res = Load(s_path);
        EXPECT_FALSE(x_res.b_ok) << s_path;
        EXPECT_EQ(x_res.s_err, "Malformed XML in file.\n\n") << s_path;
    }
}

TEST(PackingLoad, RulesReadInFileOrder)
{
    // Fields: code, id, skip, crop, avg, pack.
    const std::vector<std::pair<std::string, std::vector<PackDetails>>> x_cases = {
        {"<root/>", {}},
        {"<any><!-- c -->text<x section=\"3\" id=\"236\" crop=\"2\"/></any>", {{3236, 0, 0, 2, 0, 0}}},
        {"<p><a section=\"16\" id=\"203\" pack=\"2\" crop=\"1\" skip=\"3\" avg=\"4\"/>"
         "<b section=\"0\" id=\"24\" pack=\"4\"/></p>",
         {{16203, 0, 3, 1, 4, 2}, {24, 0, 0, 0, 0, 4}}},
        // Text that does not start with an integer counts as absent.
        {"<p><r section=\"1\" id=\"2\" pack=\"x\" crop=\"7abc\" skip=\"\"/></p>", {{1002, 0, 0, 7, 0, 0}}},
        // Identical rules are loaded once; an explicit default is identical to an absent one.
        {"<p><r section=\"16\" id=\"203\" crop=\"2\"/><s section=\"16\" id=\"203\" crop=\"2\" pack=\"0\"/>"
         "<r section=\"16\" id=\"203\" crop=\"3\"/></p>",
         {{16203, 0, 0, 2, 0, 0}, {16203, 0, 0, 3, 0, 0}}},
        {"<p><r section=\"1\" id=\"1\" pack=\"1\"/><r section=\"1\" id=\"1\" pack=\"2\"/></p>",
         {{1001, 0, 0, 0, 0, 1}, {1001, 0, 0, 0, 0, 2}}},
    };
    for (const auto& x_case : x_cases) {
        const Loaded x_res = Load("", x_case.first);
        EXPECT_TRUE(x_res.b_ok) << x_case.first;
        EXPECT_EQ(x_res.s_err, "") << x_case.first;
        EXPECT_TRUE(x_res.x_rules == x_case.second) << x_case.first;
    }
}

TEST(PackingLoad, BadRulesRejected)
{
    // A rule read before the failure stays loaded.
    for (const char* s_pack : {"3", "-1", "8"}) {
        const Loaded x_res = Load("", "<p><r section=\"1\" id=\"1\"/><r section=\"16\" id=\"203\" pack=\"" +
                                      std::string(s_pack) + "\"/></p>");
        EXPECT_FALSE(x_res.b_ok) << s_pack;
        EXPECT_EQ(x_res.s_err, "Unsupported byte packing value\n") << s_pack;
        EXPECT_EQ(x_res.x_rules.size(), 1u) << s_pack;
    }
    for (const char* s_attrs : {"id=\"203\"", "section=\"16\"", "section=\"-1\" id=\"203\"",
                                "section=\"16\" id=\"-1\"", "section=\"abc\" id=\"203\"",
                                "section=\"1\" id=\"1\" crop=\"-1\"", "section=\"1\" id=\"1\" skip=\"-2\"",
                                "section=\"1\" id=\"1\" avg=\"-3\""}) {
        const Loaded x_res = Load("", "<p><myrule " + std::string(s_attrs) + "/></p>");
        EXPECT_FALSE(x_res.b_ok) << s_attrs;
        EXPECT_EQ(x_res.s_err, "Error in XML file: myrule\n") << s_attrs;
    }
}

// ---------------------------------------------------------------- reductions

TEST(PackingReduce, KeptPointsAndTheirCoordinates)
{
    // Old rows and columns each reduced grid holds; none listed means the rule must change nothing.
    struct Case
    {
        std::string s_xml;
        int i_rows, i_cols;
        std::vector<double> x_rows, x_cols;
    };
    const std::vector<Case> x_cases = {
        {Rules({"crop=\"2\""}), 73, 96, Seq(2, 1, 69), Seq(2, 1, 92)},
        // Thinning takes the middle point of each block: old rows 1, 4, .. 70 and columns 1 .. 94.
        {Rules({"skip=\"3\""}), 73, 96, Seq(1, 3, 24), Seq(1, 3, 32)},
        {Rules({"skip=\"2\""}), 73, 96, Seq(1, 2, 36), Seq(1, 2, 48)},
        // Averages sit at block centres; the rows left over after whole blocks are dropped.
        {Rules({"avg=\"2\""}), 73, 96, Seq(0.5, 2, 36), Seq(0.5, 2, 48)},
        {Rules({"avg=\"3\""}), 73, 96, Seq(1, 3, 24), Seq(1, 3, 32)},
        // A crop too large for the grid is skipped alone; the rest of its rule still applies.
        {Rules({"crop=\"40\" skip=\"2\""}), 73, 96, Seq(1, 2, 36), Seq(1, 2, 48)},
        // Two rules for one code apply in file order.
        {Rules({"crop=\"1\"", "skip=\"2\""}), 10, 10, {2, 4, 6, 8}, {2, 4, 6, 8}},
        {Rules({"skip=\"2\"", "crop=\"1\""}), 10, 10, {3, 5, 7}, {3, 5, 7}},
        // The guard looks at the grid before any rule, so the second crop still applies.
        {Rules({"crop=\"4\"", "crop=\"3\""}), 10, 12, {4, 5}, {4, 5, 6, 7}},
        {Rules({"skip=\"1\" avg=\"1\""}), 5, 6, {}, {}},
        // A crop not below both grid sizes blocks the skip and average of its rule as well.
        {Rules({"crop=\"100\" skip=\"2\" avg=\"2\""}), 73, 96, {}, {}},
        {Rules({"crop=\"80\" skip=\"2\""}), 73, 96, {}, {}},
        {Rules({"crop=\"80\" skip=\"2\""}), 96, 73, {}, {}},
        // Crop 40 passes the 73-row guard but would leave no rows.
        {Rules({"crop=\"40\""}), 73, 96, {}, {}},
        {Rules({"crop=\"3\""}), 5, 9, {}, {}},
        {Rules({"skip=\"6\""}), 5, 9, {}, {}},
        {Rules({"avg=\"7\""}), 5, 9, {}, {}},
        // Four bytes are plain floats; rules for other codes do not apply.
        {Rules({"pack=\"4\""}), 5, 6, {}, {}},
        {"<p><r section=\"3\" id=\"236\" crop=\"1\" pack=\"1\"/></p>", 5, 6, {}, {}},
    };
    for (const Case& x_case : x_cases) {
        SCOPED_TRACE(x_case.s_xml);
        std::vector<int> x_words = Numbered(x_case.i_rows, x_case.i_cols);
        Variable x_var(MakeField(x_words, x_case.i_rows, x_case.i_cols));
        const Region x_old = x_var.GetVarFields().front().GetRegion();
        ApplyRules(x_case.s_xml, x_var);
        const bool b_same = x_case.x_rows.empty();
        ExpectKept(x_var.GetVarFields().front(), x_old, b_same ? Seq(0, 1, x_case.i_rows) : x_case.x_rows,
                   b_same ? Seq(0, 1, x_case.i_cols) : x_case.x_cols);
        EXPECT_EQ(x_var.GetPackingBytes(), 0);
    }
}

TEST(PackingReduce, Avg2On4x4)
{
    std::vector<int> x_words = Words({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
    Variable x_var(MakeField(x_words, 4, 4));
    ApplyRules(Rules({"avg=\"2\""}), x_var);
    ASSERT_EQ(x_var.GetVarFields().front().GetRegion().GetNRows(), 2);
    ASSERT_EQ(x_var.GetVarFields().front().GetRegion().GetNCols(), 2);
    const float cf_means[] = {3.5f, 5.5f, 11.5f, 13.5f};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Value(x_words.data(), i), cf_means[i]) << i;
}

TEST(PackingReduce, AverageSumsInSinglePrecision)
{
    // Weight 1/9 rounded to a float and a float sum at every step, block read row by row.
    const std::vector<float> x_values = {0.1f, 0.2f, 0.3f, 1e7f, 3.0f, 7.0f, 0.7f, 1.1f, 9.5f};
    std::vector<int> x_words = Words(x_values);
    float f_expected = 0.0f;
    for (float f_value : x_values) {
        volatile float f_term = f_value * (1.0f / 9.0f);
        f_expected = f_term + f_expected;
    }
    EXPECT_EQ(RAW_TO_FLOAT(static_cast<unsigned int>(average(x_words.data(), 4, 3, 3, BlockForm()))), f_expected);
    // The double-precision mean differs, so the check tells the two apart.
    double d_mean = 0.0;
    for (float f_value : x_values)
        d_mean += f_value;
    EXPECT_NE(static_cast<float>(d_mean / 9.0), f_expected);
}

TEST(PackingReduce, EveryFieldOfTheVariable)
{
    std::vector<int> x_first = Numbered(6, 8);
    std::vector<int> x_second = Numbered(6, 8);
    Variable x_var(MakeField(x_first, 6, 8));
    x_var.AddVF(MakeField(x_second, 6, 8));
    const Region x_old = x_var.GetVarFields().front().GetRegion();
    ApplyRules(Rules({"crop=\"1\" skip=\"2\""}), x_var);
    ASSERT_EQ(x_var.GetVarFields().size(), 2u);
    for (const VarField& x_field : x_var.GetVarFields())
        ExpectKept(x_field, x_old, {2, 4}, {2, 4, 6});
}

// ---------------------------------------------------------------- byte packing

TEST(PackingBytes, RampCodes)
{
    // 0, 1, .. up to the last code step, one point at 100.7 and missing points after the ramp.
    struct Case
    {
        int i_nbytes, i_rows, i_cols, i_ramp;
        std::vector<std::pair<int, float>> x_codes;
    };
    const std::vector<Case> x_cases = {
        {1, 2, 129, 255, {{0, -128}, {254, 126}, {101, -27}, {255, 127}, {257, 127}}},
        {2, 256, 256, 65535, {{0, -32768}, {40000, 7232}, {65534, 32766}, {101, -32667}, {65535, 32767}}},
    };
    for (const Case& x_case : x_cases) {
        SCOPED_TRACE(x_case.i_nbytes);
        std::vector<float> x_values(x_case.i_rows * x_case.i_cols, cf_bmdi);
        for (int i = 0; i < x_case.i_ramp; ++i)
            x_values[i] = static_cast<float>(i);
        x_values[101] = 100.7f;
        std::vector<int> x_words = Words(x_values);
        Variable x_var(MakeField(x_words, x_case.i_rows, x_case.i_cols));
        ApplyRules(Rules({x_case.i_nbytes == 1 ? "pack=\"1\"" : "pack=\"2\""}), x_var);
        EXPECT_EQ(x_var.GetPackingBytes(), x_case.i_nbytes);
        EXPECT_EQ(x_var.GetScalingFactor(), 1.0f);
        EXPECT_EQ(x_var.GetOffset(), 0.0f);
        for (const auto& x_code : x_case.x_codes)
            EXPECT_EQ(Value(x_words.data(), x_code.first), x_code.second) << x_code.first;
        for (int i = 0; i < x_case.i_ramp; ++i)
            ASSERT_NEAR(Decode(Value(x_words.data(), i), x_var, x_case.i_nbytes), x_values[i], 1.0) << i;
    }
}

TEST(PackingBytes, EqualMissingNaNAndInfiniteValues)
{
    // Missing and NaN points get the missing code; others stay in range and decode back within a step.
    const float f_nan = std::numeric_limits<float>::quiet_NaN();
    const float f_inf = std::numeric_limits<float>::infinity();
    const std::vector<std::pair<int, std::vector<float>>> x_cases = {
        {2, {7.25f, 7.25f, cf_bmdi, 7.25f}},
        {1, {cf_bmdi, cf_bmdi, cf_bmdi}},
        {1, {0.0f, f_nan, 254.0f, cf_bmdi}},
        {1, {0.0f, f_inf, 3.0f, -f_inf}},
    };
    for (const auto& x_case : x_cases) {
        const float f_half = x_case.first == 1 ? 128.0f : 32768.0f;
        std::vector<int> x_words = Words(x_case.second);
        Variable x_var(MakeField(x_words, 1, static_cast<int>(x_words.size())));
        BytePackVariable(x_var, x_case.first);
        EXPECT_EQ(x_var.GetPackingBytes(), x_case.first);
        for (size_t i = 0; i < x_words.size(); ++i) {
            const float f_value = x_case.second[i];
            const float f_code = Value(x_words.data(), i);
            SCOPED_TRACE(testing::Message() << "value " << f_value << " code " << f_code);
            if (std::isnan(f_value) || f_value == cf_bmdi) {
                EXPECT_EQ(f_code, f_half - 1.0f);
                continue;
            }
            EXPECT_GE(f_code, -f_half);
            EXPECT_LE(f_code, f_half - 2.0f);
            // Equal values give a zero scale, so they must decode exactly.
            if (std::isfinite(f_value) && std::isfinite(x_var.GetScalingFactor())) {
                EXPECT_NEAR(Decode(f_code, x_var, x_case.first), f_value, x_var.GetScalingFactor());
            }
        }
    }
}

TEST(PackingBytes, ScaleAndOffsetFromAllFields)
{
    std::vector<int> x_first = Words({10.0f, 20.0f, cf_bmdi, 15.0f});
    std::vector<int> x_second = Words({-5.0f, 30.0f, 12.5f, 0.0f});
    Variable x_var(MakeField(x_first, 2, 2));
    x_var.AddVF(MakeField(x_second, 2, 2));
    BytePackVariable(x_var, 1);
    EXPECT_EQ(x_var.GetOffset(), -5.0f);
    EXPECT_EQ(x_var.GetScalingFactor(), static_cast<float>(35.0 / 254.0));
    EXPECT_EQ(Value(x_second.data(), 0), -128.0f);
    EXPECT_EQ(Value(x_second.data(), 1), 126.0f);
    EXPECT_EQ(Value(x_first.data(), 2), 127.0f);
    EXPECT_NEAR(Decode(Value(x_first.data(), 0), x_var, 1), 10.0, x_var.GetScalingFactor());
}

TEST(PackingBytes, PackRunsBeforeCropOfSameRule)
{
    // Scale and offset come from the full 4 x 4 grid (0 .. 3003); the crop then moves the codes.
    std::vector<int> x_words = Numbered(4, 4);
    Variable x_var(MakeField(x_words, 4, 4));
    ApplyRules(Rules({"pack=\"1\" crop=\"1\""}), x_var);
    EXPECT_EQ(x_var.GetScalingFactor(), static_cast<float>(3003.0 / 254.0));
    ASSERT_EQ(x_var.GetVarFields().front().GetRegion().GetNRows(), 2);
    const float cf_kept[] = {1001, 1002, 2001, 2002};
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(Decode(Value(x_words.data(), i), x_var, 1), cf_kept[i], x_var.GetScalingFactor());
}

TEST(PackingReduce, BlockMeansLeaveOutMissingWords)
{
    // One 2 x 2 block per case, read around its word 3 in a field 2 words wide.
    BlockForm x_reals;
    x_reals.f_missing = -99.0f;
    BlockForm x_integers;
    x_integers.x_kind = BlockForm::Integer;
    x_integers.b_has_int_missing = true;
    x_integers.i_missing = -99;
    BlockForm x_no_missing = x_integers;
    x_no_missing.b_has_int_missing = false;
    const float f_nan = std::nanf("");
    struct Case
    {
        std::vector<float> x_reals;
        float f_mean;
    };
    const Case x_real_cases[] = {{{1, 2, 3, 6}, 3.0f}, {{1, -99, 3, 8}, 4.0f}, {{f_nan, 2, -99, 4}, 3.0f},
                                 {{-99, -99, f_nan, -99}, -99.0f}};
    for (const Case& x_case : x_real_cases) {
        const std::vector<int> x_words = Words(x_case.x_reals);
        EXPECT_EQ(RAW_TO_FLOAT(static_cast<unsigned int>(average(x_words.data(), 3, 2, 2, x_reals))), x_case.f_mean)
            << x_case.f_mean;
    }
    // Integers average as integers, rounded to the nearest; only a declared missing word is left out.
    const std::pair<std::vector<int>, int> x_int_cases[] = {
        {{1, 2, 3, 5}, 3}, {{-1, -2, -3, -5}, -3}, {{10, -99, 20, 31}, 20}, {{-99, -99, -99, -99}, -99},
        {{2000000000, 2000000000, 2000000000, 2000000001}, 2000000000}};
    for (const auto& x_case : x_int_cases)
        EXPECT_EQ(average(x_case.first.data(), 3, 2, 2, x_integers), x_case.second) << x_case.second;
    const std::vector<int> x_with_code = {-99, 1, 1, 1};
    EXPECT_EQ(average(x_with_code.data(), 3, 2, 2, x_no_missing), -24);
}
