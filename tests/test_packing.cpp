// What whole outputs cannot show of packing: rules the loader refuses, reductions a grid cannot
// take (which must change nothing), codes of values no range holds, and the arithmetic of block
// means. Whole conversions with packing rules are in tests/scenarios.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
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

VarField MakeField(std::vector<int>& x_words, int i_rows, int i_cols)
{
    VarField x_field(1, 16, 16203, 1);
    x_field.SetBMDI_MKS(cf_bmdi, 1.0f);
    x_field.SetData(x_words.data());
    x_field.SetDims(Region(1, -90.0f, -1.875f, 2.5f, 3.75f, i_rows, i_cols), Level(), TimeField());
    return x_field;
}

// Loads a packing file holding the text; returns whether it loaded and what it said.
bool Load(const std::string& s_xml, Packing& x_packing, std::string& s_err)
{
    TempDir x_dir;
    WriteTextFile(x_dir.File("pack.xml"), s_xml);
    x_packing = Packing(x_dir.File("pack.xml"));
    testing::internal::CaptureStderr();
    const bool b_ok = x_packing.LoadAttributes();
    s_err = testing::internal::GetCapturedStderr();
    return b_ok;
}

// Decodes a packing code the way a netCDF reader applies scale_factor and add_offset.
double Decode(float f_code, const Variable& x_variable, int i_nbytes)
{
    const double d_half = std::pow(256.0, i_nbytes) * 0.5;
    const double d_scale = x_variable.GetScalingFactor();
    return f_code * d_scale + (d_half * d_scale + x_variable.GetOffset());
}

} // namespace

TEST(PackingLoad, BadRulesRejected)
{
    const std::vector<std::pair<std::string, std::string>> x_cases = {
        {"pack=\"-1\"", "Unsupported byte packing value\n"}, {"pack=\"8\"", "Unsupported byte packing value\n"},
        {"crop=\"-1\"", "Error in XML file: r\n"}, {"skip=\"-2\"", "Error in XML file: r\n"},
        {"avg=\"-3\"", "Error in XML file: r\n"}};
    for (const auto& x_case : x_cases) {
        Packing x_packing("");
        std::string s_err;
        EXPECT_FALSE(Load("<p><r section=\"1\" id=\"1\" " + x_case.first + "/></p>", x_packing, s_err)) << x_case.first;
        EXPECT_EQ(s_err, x_case.second) << x_case.first;
    }
    for (const char* s_ids : {"section=\"-1\" id=\"203\"", "section=\"16\" id=\"-1\"", "section=\"abc\" id=\"2\"",
                              "section=\"3000000\" id=\"1\""}) {
        Packing x_packing("");
        std::string s_err;
        EXPECT_FALSE(Load("<p><r " + std::string(s_ids) + "/></p>", x_packing, s_err)) << s_ids;
        EXPECT_EQ(s_err, "Error in XML file: r\n") << s_ids;
    }
}

// Reductions a grid cannot take leave the field as it was, without reading or writing outside it.
TEST(PackingReduce, ReductionsTooLargeForTheGridChangeNothing)
{
    const std::vector<std::pair<std::string, std::pair<int, int>>> x_cases = {
        {"crop=\"40\"", {73, 96}}, {"crop=\"3\"", {5, 9}}, {"skip=\"6\"", {5, 9}}, {"avg=\"7\"", {5, 9}},
        {"crop=\"80\" skip=\"2\"", {96, 73}}, {"skip=\"1\" avg=\"1\"", {5, 6}}};
    for (const auto& x_case : x_cases) {
        const int i_rows = x_case.second.first, i_cols = x_case.second.second;
        std::vector<float> x_values(static_cast<size_t>(i_rows * i_cols));
        for (size_t i = 0; i < x_values.size(); ++i)
            x_values[i] = static_cast<float>(i);
        std::vector<int> x_words = Words(x_values);
        const std::vector<int> x_before = x_words;
        Variable x_var(MakeField(x_words, i_rows, i_cols));
        Packing x_packing("");
        std::string s_err;
        ASSERT_TRUE(Load("<p><r section=\"16\" id=\"203\" " + x_case.first + "/></p>", x_packing, s_err));
        x_packing.PackVariable(x_var);
        const Region& x_grid = x_var.GetVarFields().front().GetRegion();
        EXPECT_EQ(x_grid.GetNRows() * 1000 + x_grid.GetNCols(), i_rows * 1000 + i_cols) << x_case.first;
        EXPECT_EQ(x_words, x_before) << x_case.first;
    }
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
