// Packing rules: loading the XML file and the in-place byte packing, cropping, thinning and averaging.
#include <gtest/gtest.h>

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

const int ci_stash = 16203;
const float cf_bmdi = -1.0737418e9f;
const float cf_slat = -90.0f;
const float cf_slon = -1.875f;
const float cf_dlat = 2.5f;
const float cf_dlon = 3.75f;

// A field's values held as raw 32-bit words, as the reader leaves them.
std::vector<int> FloatWords(const std::vector<float>& x_values)
{
    std::vector<int> x_words;
    for (float f_value : x_values)
        x_words.push_back(static_cast<int>(FLOAT_TO_RAW(f_value)));
    return x_words;
}

float WordValue(const int* px_data, int64_t i_index)
{
    return RAW_TO_FLOAT(static_cast<unsigned int>(px_data[i_index]));
}

// Values that name their own place: row × 1000 + column, both counted from 0.
std::vector<int> NumberedWords(int i_rows, int i_cols)
{
    std::vector<float> x_values;
    for (int i = 0; i < i_rows; ++i)
        for (int j = 0; j < i_cols; ++j)
            x_values.push_back(static_cast<float>(i * 1000 + j));
    return FloatWords(x_values);
}

VarField MakeField(std::vector<int>& x_words, int i_rows, int i_cols, int i_stash = ci_stash)
{
    VarField x_field(1, 16, i_stash, 1);
    x_field.SetBMDI_MKS(cf_bmdi, 1.0f);
    x_field.SetData(x_words.data());
    x_field.SetDims(Region(1, cf_slat, cf_slon, cf_dlat, cf_dlon, i_rows, i_cols), Level(),
                    TimeField());
    return x_field;
}

// Loads a packing file with the given text and returns whether loading succeeded.
bool LoadRules(const std::string& s_xml, Packing*& px_packing, const TempDir& x_dir)
{
    std::string s_path = x_dir.File("pack.xml");
    WriteTextFile(s_path, s_xml);
    px_packing = new Packing(s_path);
    return px_packing->LoadAttributes();
}

// Applies the rules of the given XML text to one variable.
void ApplyRules(const std::string& s_xml, Variable& x_variable)
{
    TempDir x_dir;
    Packing* px_packing = nullptr;
    bool b_loaded = LoadRules(s_xml, px_packing, x_dir);
    ASSERT_TRUE(b_loaded);
    px_packing->PackVariable(x_variable);
    delete px_packing;
}

std::string OneRule(const std::string& s_attrs)
{
    return "<packing><rule section=\"16\" id=\"203\" " + s_attrs + "/></packing>";
}

// Loads the text and returns what was written to standard error; stores the result.
std::string LoadCapturingErrors(const std::string& s_xml, bool& b_result,
                                std::list<PackDetails>* px_rules = nullptr)
{
    TempDir x_dir;
    Packing* px_packing = nullptr;
    testing::internal::CaptureStderr();
    b_result = LoadRules(s_xml, px_packing, x_dir);
    std::string s_err = testing::internal::GetCapturedStderr();
    if (px_rules != nullptr)
        *px_rules = px_packing->GetRules();
    delete px_packing;
    return s_err;
}

std::vector<float> ListToVector(const std::list<float>& x_list)
{
    return std::vector<float>(x_list.begin(), x_list.end());
}

// Checks that every kept value came from the old place the reduction names.
void ExpectNumberedPicks(const VarField& x_field, const std::vector<int>& x_old_rows,
                         const std::vector<int>& x_old_cols)
{
    const Region& x_region = x_field.GetRegion();
    ASSERT_EQ(x_region.GetNRows(), static_cast<int>(x_old_rows.size()));
    ASSERT_EQ(x_region.GetNCols(), static_cast<int>(x_old_cols.size()));
    const int64_t i_cols = x_old_cols.size();
    for (size_t i = 0; i < x_old_rows.size(); ++i)
        for (size_t j = 0; j < x_old_cols.size(); ++j)
            ASSERT_EQ(WordValue(x_field.GetData(), i * i_cols + j),
                      static_cast<float>(x_old_rows[i] * 1000 + x_old_cols[j]))
                << "new point " << i << "," << j;
}

std::vector<int> Sequence(int i_first, int i_step, int i_count)
{
    std::vector<int> x_seq;
    for (int i = 0; i < i_count; ++i)
        x_seq.push_back(i_first + i * i_step);
    return x_seq;
}

// Checks that the reduced grid's coordinates are the centres of the old rows and columns kept.
void ExpectCoordsAt(const Region& x_new, const Region& x_old, const std::vector<double>& x_rows,
                    const std::vector<double>& x_cols)
{
    std::vector<float> x_old_lat = ListToVector(x_old.GetLatitudes());
    std::vector<float> x_old_lon = ListToVector(x_old.GetLongitudes());
    std::vector<float> x_new_lat = ListToVector(x_new.GetLatitudes());
    std::vector<float> x_new_lon = ListToVector(x_new.GetLongitudes());
    ASSERT_EQ(x_new_lat.size(), x_rows.size());
    ASSERT_EQ(x_new_lon.size(), x_cols.size());
    // Old positions may fall between two rows (block centres), so they are interpolated.
    auto at = [](const std::vector<float>& x_axis, double d_pos) {
        size_t i_low = static_cast<size_t>(std::floor(d_pos));
        double d_frac = d_pos - i_low;
        if (d_frac == 0.0)
            return static_cast<double>(x_axis[i_low]);
        return x_axis[i_low] + d_frac * (x_axis[i_low + 1] - x_axis[i_low]);
    };
    // Stops at the first mismatch of each axis so a shifted grid gives one line per axis.
    for (size_t i = 0; i < x_rows.size(); ++i)
        if (std::fabs(x_new_lat[i] - at(x_old_lat, x_rows[i])) > 1e-3) {
            ADD_FAILURE() << "row " << i << " at latitude " << x_new_lat[i] << ", data from "
                          << at(x_old_lat, x_rows[i]);
            break;
        }
    // Longitude rows may be moved as a whole by 360 degrees; the place on Earth must agree.
    for (size_t j = 0; j < x_cols.size(); ++j)
        if (std::fabs(std::remainder(x_new_lon[j] - at(x_old_lon, x_cols[j]), 360.0)) > 1e-3) {
            ADD_FAILURE() << "column " << j << " at longitude " << x_new_lon[j]
                          << ", data from " << at(x_old_lon, x_cols[j]);
            break;
        }
}

std::vector<double> Positions(double d_first, double d_step, int i_count)
{
    std::vector<double> x_pos;
    for (int i = 0; i < i_count; ++i)
        x_pos.push_back(d_first + i * d_step);
    return x_pos;
}

// Decodes a packing code the way a netCDF reader applies scale_factor and add_offset.
double Decode(float f_code, const Variable& x_variable, int i_nbytes)
{
    double d_half = std::pow(256.0, i_nbytes) * 0.5;
    double d_scale = x_variable.GetScalingFactor();
    return f_code * d_scale + (d_half * d_scale + x_variable.GetOffset());
}

} // namespace

// ---------------------------------------------------------------- loading

TEST(PackingLoad, EmptyFileNameGivesNoRules)
{
    Packing x_packing("");
    EXPECT_TRUE(x_packing.LoadAttributes());
    EXPECT_TRUE(x_packing.GetRules().empty());
}

TEST(PackingLoad, MissingFileOrDirectoryIsMalformed)
{
    TempDir x_dir;
    for (const std::string& s_path : {x_dir.File("absent.xml"), x_dir.Path()}) {
        Packing x_packing(s_path);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(x_packing.LoadAttributes());
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Malformed XML in file.\n\n") << s_path;
    }
}

TEST(PackingLoad, EmptyFileIsMalformed)
{
    bool b_result = true;
    EXPECT_EQ(LoadCapturingErrors("", b_result), "Malformed XML in file.\n\n");
    EXPECT_FALSE(b_result);
}

TEST(PackingLoad, RuleWithoutPackTakesDefaults)
{
    bool b_result = false;
    std::list<PackDetails> x_rules;
    std::string s_err = LoadCapturingErrors(
        "<anything><!-- a comment -->text<x section=\"3\" id=\"236\" crop=\"2\"/></anything>",
        b_result, &x_rules);
    EXPECT_TRUE(b_result);
    EXPECT_EQ(s_err, "");
    ASSERT_EQ(x_rules.size(), 1u);
    const PackDetails& x_rule = x_rules.front();
    EXPECT_EQ(x_rule.i_stash, 3236);
    EXPECT_EQ(x_rule.i_id, 0);
    EXPECT_EQ(x_rule.i_crop, 2);
    EXPECT_EQ(x_rule.i_pack, 0);
    EXPECT_EQ(x_rule.i_skip, 0);
    EXPECT_EQ(x_rule.i_avg, 0);
}

TEST(PackingLoad, AllAttributesRead)
{
    bool b_result = false;
    std::list<PackDetails> x_rules;
    LoadCapturingErrors("<p><a section=\"16\" id=\"203\" pack=\"2\" crop=\"1\" skip=\"3\" "
                        "avg=\"4\"/><b section=\"0\" id=\"24\" pack=\"4\"/></p>",
                        b_result, &x_rules);
    EXPECT_TRUE(b_result);
    ASSERT_EQ(x_rules.size(), 2u);
    PackDetails x_first = {16203, 0, 3, 1, 4, 2};
    PackDetails x_second = {24, 0, 0, 0, 0, 4};
    EXPECT_TRUE(x_rules.front() == x_first);
    EXPECT_TRUE(x_rules.back() == x_second);
}

TEST(PackingLoad, TextNotStartingWithIntegerCountsAsAbsent)
{
    bool b_result = false;
    std::list<PackDetails> x_rules;
    LoadCapturingErrors("<p><r section=\"1\" id=\"2\" pack=\"x\" crop=\"7abc\" skip=\"\"/></p>",
                        b_result, &x_rules);
    EXPECT_TRUE(b_result);
    ASSERT_EQ(x_rules.size(), 1u);
    EXPECT_EQ(x_rules.front().i_pack, 0);
    EXPECT_EQ(x_rules.front().i_crop, 7);
    EXPECT_EQ(x_rules.front().i_skip, 0);
}

TEST(PackingLoad, IdenticalRulesLoadOnce)
{
    bool b_result = false;
    std::list<PackDetails> x_rules;
    LoadCapturingErrors("<p><r section=\"16\" id=\"203\" crop=\"2\"/>"
                        "<s section=\"16\" id=\"203\" crop=\"2\" pack=\"0\"/>"
                        "<r section=\"16\" id=\"203\" crop=\"3\"/></p>",
                        b_result, &x_rules);
    EXPECT_TRUE(b_result);
    ASSERT_EQ(x_rules.size(), 2u);
    EXPECT_EQ(x_rules.front().i_crop, 2);
    EXPECT_EQ(x_rules.back().i_crop, 3);
}

TEST(PackingLoad, UnsupportedPackValuesRejected)
{
    for (const char* s_pack : {"3", "-1", "8"}) {
        bool b_result = true;
        std::list<PackDetails> x_rules;
        std::string s_err = LoadCapturingErrors(
            "<p><r section=\"1\" id=\"1\"/><r section=\"16\" id=\"203\" pack=\"" +
                std::string(s_pack) + "\"/></p>",
            b_result, &x_rules);
        EXPECT_FALSE(b_result) << s_pack;
        EXPECT_EQ(s_err, "Unsupported byte packing value\n") << s_pack;
        // The rule read before the failure stays.
        EXPECT_EQ(x_rules.size(), 1u) << s_pack;
    }
}

TEST(PackingLoad, SupportedPackValuesAccepted)
{
    for (const char* s_pack : {"0", "1", "2", "4"}) {
        bool b_result = false;
        std::list<PackDetails> x_rules;
        LoadCapturingErrors(OneRule("pack=\"" + std::string(s_pack) + "\""), b_result, &x_rules);
        EXPECT_TRUE(b_result) << s_pack;
        ASSERT_EQ(x_rules.size(), 1u);
        EXPECT_EQ(x_rules.front().i_pack, std::stoi(s_pack));
    }
}

TEST(PackingLoad, MissingSectionOrIdRejected)
{
    const char* s_cases[] = {"<p><myrule id=\"203\"/></p>", "<p><myrule section=\"16\"/></p>",
                             "<p><myrule section=\"-1\" id=\"203\"/></p>",
                             "<p><myrule section=\"16\" id=\"-1\"/></p>",
                             "<p><myrule section=\"abc\" id=\"203\"/></p>"};
    for (const char* s_xml : s_cases) {
        bool b_result = true;
        EXPECT_EQ(LoadCapturingErrors(s_xml, b_result), "Error in XML file: myrule\n") << s_xml;
        EXPECT_FALSE(b_result) << s_xml;
    }
}

TEST(PackingLoad, NegativeReductionsRejected)
{
    for (const char* s_attr : {"crop=\"-1\"", "skip=\"-2\"", "avg=\"-3\""}) {
        bool b_result = true;
        std::string s_err = LoadCapturingErrors(
            "<p><neg section=\"16\" id=\"203\" " + std::string(s_attr) + "/></p>", b_result);
        EXPECT_FALSE(b_result) << s_attr;
        EXPECT_EQ(s_err, "Error in XML file: neg\n") << s_attr;
    }
}

TEST(PackingLoad, RootWithoutRulesLoadsNothing)
{
    bool b_result = false;
    std::list<PackDetails> x_rules;
    EXPECT_EQ(LoadCapturingErrors("<root/>", b_result, &x_rules), "");
    EXPECT_TRUE(b_result);
    EXPECT_TRUE(x_rules.empty());
}

// ---------------------------------------------------------------- reductions

TEST(PackingReduce, Crop2On73x96)
{
    std::vector<int> x_words = NumberedWords(73, 96);
    Variable x_var(MakeField(x_words, 73, 96));
    ApplyRules(OneRule("crop=\"2\""), x_var);
    ExpectNumberedPicks(x_var.GetVarFields().front(), Sequence(2, 1, 69), Sequence(2, 1, 92));
}

TEST(PackingReduce, Skip3On73x96)
{
    std::vector<int> x_words = NumberedWords(73, 96);
    Variable x_var(MakeField(x_words, 73, 96));
    ApplyRules(OneRule("skip=\"3\""), x_var);
    ExpectNumberedPicks(x_var.GetVarFields().front(), Sequence(1, 3, 24), Sequence(1, 3, 32));
    EXPECT_EQ(Sequence(1, 3, 24).back(), 70);
    EXPECT_EQ(Sequence(1, 3, 32).back(), 94);
}

TEST(PackingReduce, Skip2TakesOddRowsAndColumns)
{
    std::vector<int> x_words = NumberedWords(73, 96);
    Variable x_var(MakeField(x_words, 73, 96));
    ApplyRules(OneRule("skip=\"2\""), x_var);
    ExpectNumberedPicks(x_var.GetVarFields().front(), Sequence(1, 2, 36), Sequence(1, 2, 48));
}

TEST(PackingReduce, Skip3OnSmallField)
{
    std::vector<int> x_words = NumberedWords(7, 8);
    Variable x_var(MakeField(x_words, 7, 8));
    SkipVariable(x_var, 3);
    ExpectNumberedPicks(x_var.GetVarFields().front(), {1, 4}, {1, 4});
}

TEST(PackingReduce, Avg2On4x4)
{
    std::vector<float> x_values;
    for (int i = 1; i <= 16; ++i)
        x_values.push_back(static_cast<float>(i));
    std::vector<int> x_words = FloatWords(x_values);
    Variable x_var(MakeField(x_words, 4, 4));
    ApplyRules(OneRule("avg=\"2\""), x_var);
    const VarField& x_field = x_var.GetVarFields().front();
    ASSERT_EQ(x_field.GetRegion().GetNRows(), 2);
    ASSERT_EQ(x_field.GetRegion().GetNCols(), 2);
    EXPECT_EQ(WordValue(x_words.data(), 0), 3.5f);
    EXPECT_EQ(WordValue(x_words.data(), 1), 5.5f);
    EXPECT_EQ(WordValue(x_words.data(), 2), 11.5f);
    EXPECT_EQ(WordValue(x_words.data(), 3), 13.5f);
}

TEST(PackingReduce, Avg3UsesWholeBlocksAndDropsRemainder)
{
    // 7 x 7 numbered field: three-point blocks keep rows and columns 0..5.
    std::vector<int> x_words = NumberedWords(7, 7);
    Variable x_var(MakeField(x_words, 7, 7));
    AvgVariable(x_var, 3);
    ASSERT_EQ(x_var.GetVarFields().front().GetRegion().GetNRows(), 2);
    // Block means of row × 1000 + column are the centre's value, up to float rounding.
    EXPECT_NEAR(WordValue(x_words.data(), 0), 1001.0f, 0.01f);
    EXPECT_NEAR(WordValue(x_words.data(), 1), 1004.0f, 0.01f);
    EXPECT_NEAR(WordValue(x_words.data(), 2), 4001.0f, 0.01f);
    EXPECT_NEAR(WordValue(x_words.data(), 3), 4004.0f, 0.01f);
}

TEST(PackingReduce, AverageSumsInSinglePrecision)
{
    // Weight 1/9 rounded to a float and a float sum at every step, block read row by row.
    std::vector<float> x_values = {0.1f, 0.2f, 0.3f, 1e7f, 3.0f, 7.0f, 0.7f, 1.1f, 9.5f};
    std::vector<int> x_words = FloatWords(x_values);
    float f_weight = 1.0f / 9.0f;
    float f_expected = 0.0f;
    for (float f_value : x_values) {
        volatile float f_term = f_value * f_weight;
        f_expected = f_term + f_expected;
    }
    int i_word = average(x_words.data(), 4, 3, 3);
    EXPECT_EQ(RAW_TO_FLOAT(static_cast<unsigned int>(i_word)), f_expected);
    // The double-precision mean differs, so the check tells the two apart.
    double d_mean = 0.0;
    for (float f_value : x_values)
        d_mean += f_value;
    EXPECT_NE(static_cast<float>(d_mean / 9.0), f_expected);
}

TEST(PackingReduce, Avg1AndSkip1LeaveValues)
{
    std::vector<int> x_words = NumberedWords(5, 6);
    std::vector<int> x_before = x_words;
    Variable x_var(MakeField(x_words, 5, 6));
    Region x_old = x_var.GetVarFields().front().GetRegion();
    ApplyRules(OneRule("skip=\"1\" avg=\"1\""), x_var);
    EXPECT_EQ(x_words, x_before);
    EXPECT_TRUE(x_var.GetVarFields().front().GetRegion() == x_old);
}

TEST(PackingReduce, Crop100DoesNothingAndBlocksSkipAndAvg)
{
    std::vector<int> x_words = NumberedWords(73, 96);
    std::vector<int> x_before = x_words;
    Variable x_var(MakeField(x_words, 73, 96));
    Region x_old = x_var.GetVarFields().front().GetRegion();
    ApplyRules(OneRule("crop=\"100\" skip=\"2\" avg=\"2\""), x_var);
    EXPECT_EQ(x_words, x_before);
    EXPECT_TRUE(x_var.GetVarFields().front().GetRegion() == x_old);
}

TEST(PackingReduce, Crop40On73RowsNotApplied)
{
    std::vector<int> x_words = NumberedWords(73, 96);
    std::vector<int> x_before = x_words;
    Variable x_var(MakeField(x_words, 73, 96));
    ApplyRules(OneRule("crop=\"40\""), x_var);
    EXPECT_EQ(x_words, x_before);
    EXPECT_EQ(x_var.GetVarFields().front().GetRegion().GetNRows(), 73);
    EXPECT_EQ(x_var.GetVarFields().front().GetRegion().GetNCols(), 96);
}

TEST(PackingReduce, Crop40NotAppliedButSkipOfSameRuleIs)
{
    std::vector<int> x_words = NumberedWords(73, 96);
    Variable x_var(MakeField(x_words, 73, 96));
    ApplyRules(OneRule("crop=\"40\" skip=\"2\""), x_var);
    ExpectNumberedPicks(x_var.GetVarFields().front(), Sequence(1, 2, 36), Sequence(1, 2, 48));
}

TEST(PackingReduce, ReductionsLargerThanGridNotApplied)
{
    std::vector<int> x_words = NumberedWords(5, 9);
    std::vector<int> x_before = x_words;
    Variable x_var(MakeField(x_words, 5, 9));
    SkipVariable(x_var, 6);
    AvgVariable(x_var, 7);
    CropVariable(x_var, 3);
    EXPECT_EQ(x_words, x_before);
    EXPECT_EQ(x_var.GetVarFields().front().GetRegion().GetNRows(), 5);
    EXPECT_EQ(x_var.GetVarFields().front().GetRegion().GetNCols(), 9);
}

TEST(PackingReduce, TwoRulesForOneCodeAppliedInFileOrder)
{
    // Crop 1 then skip 2 on 10 x 10: 8 x 8 from old 1..8, then every second from old 2.
    std::vector<int> x_words = NumberedWords(10, 10);
    Variable x_var(MakeField(x_words, 10, 10));
    ApplyRules("<p><a section=\"16\" id=\"203\" crop=\"1\"/>"
               "<b section=\"16\" id=\"203\" skip=\"2\"/></p>",
               x_var);
    ExpectNumberedPicks(x_var.GetVarFields().front(), {2, 4, 6, 8}, {2, 4, 6, 8});

    // The reverse order thins first (old 1, 3, 5, 7, 9), then crops one each side.
    std::vector<int> x_words2 = NumberedWords(10, 10);
    Variable x_var2(MakeField(x_words2, 10, 10));
    ApplyRules("<p><a section=\"16\" id=\"203\" skip=\"2\"/>"
               "<b section=\"16\" id=\"203\" crop=\"1\"/></p>",
               x_var2);
    ExpectNumberedPicks(x_var2.GetVarFields().front(), {3, 5, 7}, {3, 5, 7});
}

TEST(PackingReduce, GuardUsesGridBeforeAnyRule)
{
    // Crop 4 leaves 2 x 4; a second crop 3 passes the guard (10 > 3) but would empty the grid.
    std::vector<int> x_words = NumberedWords(10, 12);
    Variable x_var(MakeField(x_words, 10, 12));
    ApplyRules("<p><a section=\"16\" id=\"203\" crop=\"4\"/>"
               "<b section=\"16\" id=\"203\" crop=\"3\"/></p>",
               x_var);
    ExpectNumberedPicks(x_var.GetVarFields().front(), {4, 5}, {4, 5, 6, 7});
}

TEST(PackingReduce, OtherStashCodesUntouched)
{
    std::vector<int> x_words = NumberedWords(6, 6);
    std::vector<int> x_other = NumberedWords(6, 6);
    std::vector<int> x_before = x_other;
    std::list<Variable> x_vars;
    x_vars.push_back(Variable(MakeField(x_words, 6, 6)));
    x_vars.push_back(Variable(MakeField(x_other, 6, 6, 3236)));
    TempDir x_dir;
    Packing* px_packing = nullptr;
    ASSERT_TRUE(LoadRules(OneRule("crop=\"1\" pack=\"1\""), px_packing, x_dir));
    px_packing->PackVariables(x_vars);
    delete px_packing;
    EXPECT_EQ(x_vars.front().GetVarFields().front().GetRegion().GetNRows(), 4);
    EXPECT_EQ(x_vars.front().GetPackingBytes(), 1);
    EXPECT_EQ(x_other, x_before);
    EXPECT_EQ(x_vars.back().GetVarFields().front().GetRegion().GetNRows(), 6);
    EXPECT_EQ(x_vars.back().GetPackingBytes(), 0);
}

TEST(PackingReduce, EmptyNameLeavesVariables)
{
    std::vector<int> x_words = NumberedWords(6, 6);
    std::vector<int> x_before = x_words;
    std::list<Variable> x_vars;
    x_vars.push_back(Variable(MakeField(x_words, 6, 6)));
    Packing x_packing("");
    ASSERT_TRUE(x_packing.LoadAttributes());
    x_packing.PackVariables(x_vars);
    EXPECT_EQ(x_words, x_before);
    EXPECT_EQ(x_vars.front().GetPackingBytes(), 0);
}

TEST(PackingReduce, EveryFieldOfTheVariableReduced)
{
    std::vector<int> x_first = NumberedWords(6, 8);
    std::vector<int> x_second = NumberedWords(6, 8);
    Variable x_var(MakeField(x_first, 6, 8));
    x_var.AddVF(MakeField(x_second, 6, 8));
    ASSERT_EQ(x_var.GetVarFields().size(), 2u);
    ApplyRules(OneRule("crop=\"1\" skip=\"2\""), x_var);
    for (const VarField& x_field : x_var.GetVarFields())
        ExpectNumberedPicks(x_field, {2, 4}, {2, 4, 6});
}

// ---------------------------------------------------------------- grid descriptions

TEST(PackingRegion, CroppedGridMatchesKeptPoints)
{
    std::vector<int> x_words = NumberedWords(73, 96);
    Variable x_var(MakeField(x_words, 73, 96));
    Region x_old = x_var.GetVarFields().front().GetRegion();
    CropVariable(x_var, 2);
    ExpectCoordsAt(x_var.GetVarFields().front().GetRegion(), x_old, Positions(2, 1, 69),
                   Positions(2, 1, 92));
}

TEST(PackingRegion, ThinnedGridMatchesKeptPoints)
{
    for (int i_skip : {2, 3}) {
        std::vector<int> x_words = NumberedWords(73, 96);
        Variable x_var(MakeField(x_words, 73, 96));
        Region x_old = x_var.GetVarFields().front().GetRegion();
        SkipVariable(x_var, i_skip);
        SCOPED_TRACE("skip " + std::to_string(i_skip));
        ExpectCoordsAt(x_var.GetVarFields().front().GetRegion(), x_old,
                       Positions(i_skip / 2, i_skip, 73 / i_skip),
                       Positions(i_skip / 2, i_skip, 96 / i_skip));
    }
}

TEST(PackingRegion, AveragedGridMatchesBlockCentres)
{
    for (int i_avg : {2, 3}) {
        std::vector<int> x_words = NumberedWords(73, 96);
        Variable x_var(MakeField(x_words, 73, 96));
        Region x_old = x_var.GetVarFields().front().GetRegion();
        AvgVariable(x_var, i_avg);
        SCOPED_TRACE("avg " + std::to_string(i_avg));
        double d_centre = 0.5 * (i_avg - 1);
        ExpectCoordsAt(x_var.GetVarFields().front().GetRegion(), x_old,
                       Positions(d_centre, i_avg, 73 / i_avg),
                       Positions(d_centre, i_avg, 96 / i_avg));
    }
}

// ---------------------------------------------------------------- byte packing

TEST(PackingBytes, OneByteCodes)
{
    // 0 .. 254 row by row, one point at 100.7 and two missing points.
    std::vector<float> x_values;
    for (int i = 0; i < 255; ++i)
        x_values.push_back(static_cast<float>(i));
    x_values[101] = 100.7f;
    x_values.push_back(cf_bmdi);
    x_values.push_back(cf_bmdi);
    x_values.push_back(50.0f);
    std::vector<int> x_words = FloatWords(x_values);
    Variable x_var(MakeField(x_words, 2, 129));
    ApplyRules(OneRule("pack=\"1\""), x_var);
    EXPECT_EQ(x_var.GetPackingBytes(), 1);
    EXPECT_EQ(x_var.GetScalingFactor(), 1.0f);
    EXPECT_EQ(x_var.GetOffset(), 0.0f);
    EXPECT_EQ(WordValue(x_words.data(), 0), -128.0f);
    EXPECT_EQ(WordValue(x_words.data(), 254), 126.0f);
    EXPECT_EQ(WordValue(x_words.data(), 101), -27.0f);
    EXPECT_EQ(WordValue(x_words.data(), 255), 127.0f);
    EXPECT_EQ(WordValue(x_words.data(), 256), 127.0f);
    EXPECT_EQ(WordValue(x_words.data(), 257), -78.0f);
    for (size_t i = 0; i < x_values.size(); ++i) {
        if (x_values[i] == cf_bmdi)
            continue;
        float f_code = WordValue(x_words.data(), i);
        EXPECT_EQ(f_code, std::trunc(f_code));
        EXPECT_GE(f_code, -128.0f);
        EXPECT_LE(f_code, 126.0f);
        EXPECT_NEAR(Decode(f_code, x_var, 1), x_values[i], 1.0) << i;
    }
}

TEST(PackingBytes, TwoByteCodes)
{
    std::vector<float> x_values;
    for (int i = 0; i < 65535; ++i)
        x_values.push_back(static_cast<float>(i));
    x_values.push_back(cf_bmdi);
    std::vector<int> x_words = FloatWords(x_values);
    Variable x_var(MakeField(x_words, 256, 256));
    ApplyRules(OneRule("pack=\"2\""), x_var);
    EXPECT_EQ(x_var.GetPackingBytes(), 2);
    EXPECT_EQ(x_var.GetScalingFactor(), 1.0f);
    EXPECT_EQ(WordValue(x_words.data(), 0), -32768.0f);
    EXPECT_EQ(WordValue(x_words.data(), 65534), 32766.0f);
    EXPECT_EQ(WordValue(x_words.data(), 65535), 32767.0f);
    EXPECT_EQ(WordValue(x_words.data(), 40000), 40000.0f - 32768.0f);
}

TEST(PackingBytes, ScaleAndOffsetFromAllFields)
{
    std::vector<int> x_first = FloatWords({10.0f, 20.0f, cf_bmdi, 15.0f});
    std::vector<int> x_second = FloatWords({-5.0f, 30.0f, 12.5f, 0.0f});
    Variable x_var(MakeField(x_first, 2, 2));
    x_var.AddVF(MakeField(x_second, 2, 2));
    BytePackVariable(x_var, 1);
    EXPECT_EQ(x_var.GetOffset(), -5.0f);
    EXPECT_EQ(x_var.GetScalingFactor(), static_cast<float>(35.0 / 254.0));
    EXPECT_EQ(WordValue(x_second.data(), 0), -128.0f);
    EXPECT_EQ(WordValue(x_second.data(), 1), 126.0f);
    EXPECT_EQ(WordValue(x_first.data(), 2), 127.0f);
    const float f_scale = x_var.GetScalingFactor();
    EXPECT_NEAR(Decode(WordValue(x_first.data(), 0), x_var, 1), 10.0, f_scale);
    EXPECT_NEAR(Decode(WordValue(x_second.data(), 2), x_var, 1), 12.5, f_scale);
}

TEST(PackingBytes, AllEqualValuesDecodeToTheValue)
{
    std::vector<int> x_words = FloatWords({7.25f, 7.25f, cf_bmdi, 7.25f});
    Variable x_var(MakeField(x_words, 2, 2));
    BytePackVariable(x_var, 2);
    EXPECT_EQ(x_var.GetScalingFactor(), 0.0f);
    EXPECT_EQ(x_var.GetOffset(), 7.25f);
    EXPECT_EQ(WordValue(x_words.data(), 0), -32768.0f);
    EXPECT_EQ(WordValue(x_words.data(), 2), 32767.0f);
    EXPECT_EQ(Decode(WordValue(x_words.data(), 3), x_var, 2), 7.25);
}

TEST(PackingBytes, AllMissingGetMissingCode)
{
    std::vector<int> x_words = FloatWords({cf_bmdi, cf_bmdi, cf_bmdi});
    Variable x_var(MakeField(x_words, 1, 3));
    BytePackVariable(x_var, 1);
    EXPECT_EQ(x_var.GetPackingBytes(), 1);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(WordValue(x_words.data(), i), 127.0f);
}

TEST(PackingBytes, NaNGetsMissingCode)
{
    const float f_nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<int> x_words = FloatWords({0.0f, f_nan, 254.0f, cf_bmdi});
    Variable x_var(MakeField(x_words, 2, 2));
    BytePackVariable(x_var, 1);
    EXPECT_EQ(x_var.GetScalingFactor(), 1.0f);
    EXPECT_EQ(WordValue(x_words.data(), 0), -128.0f);
    EXPECT_EQ(WordValue(x_words.data(), 1), 127.0f);
    EXPECT_EQ(WordValue(x_words.data(), 2), 126.0f);
    EXPECT_EQ(WordValue(x_words.data(), 3), 127.0f);
}

TEST(PackingBytes, InfiniteValuesStayInRange)
{
    const float f_inf = std::numeric_limits<float>::infinity();
    std::vector<int> x_words = FloatWords({0.0f, f_inf, 3.0f, -f_inf});
    Variable x_var(MakeField(x_words, 2, 2));
    BytePackVariable(x_var, 1);
    for (int i = 0; i < 4; ++i) {
        float f_code = WordValue(x_words.data(), i);
        EXPECT_GE(f_code, -128.0f) << i;
        EXPECT_LE(f_code, 126.0f) << i;
    }
}

TEST(PackingBytes, Pack4LeavesVariable)
{
    std::vector<int> x_words = FloatWords({1.5f, 2.5f, 3.5f, cf_bmdi});
    std::vector<int> x_before = x_words;
    Variable x_var(MakeField(x_words, 2, 2));
    ApplyRules(OneRule("pack=\"4\""), x_var);
    EXPECT_EQ(x_words, x_before);
    EXPECT_EQ(x_var.GetPackingBytes(), 0);
    EXPECT_EQ(x_var.GetScalingFactor(), cf_unset_marker);
    EXPECT_EQ(x_var.GetOffset(), cf_unset_marker);
}

TEST(PackingBytes, PackRunsBeforeCropOfSameRule)
{
    // Scale and offset come from the full grid; the crop then moves codes.
    std::vector<float> x_values;
    for (int i = 0; i < 16; ++i)
        x_values.push_back(static_cast<float>(i * 10));
    std::vector<int> x_words = FloatWords(x_values);
    Variable x_var(MakeField(x_words, 4, 4));
    ApplyRules(OneRule("pack=\"1\" crop=\"1\""), x_var);
    EXPECT_EQ(x_var.GetOffset(), 0.0f);
    EXPECT_EQ(x_var.GetScalingFactor(), static_cast<float>(150.0 / 254.0));
    ASSERT_EQ(x_var.GetVarFields().front().GetRegion().GetNRows(), 2);
    const int ci_kept[] = {5, 6, 9, 10};
    for (int i = 0; i < 4; ++i) {
        float f_code = WordValue(x_words.data(), i);
        EXPECT_EQ(f_code, std::trunc(f_code));
        EXPECT_NEAR(Decode(f_code, x_var, 1), x_values[ci_kept[i]], x_var.GetScalingFactor());
    }
}
