// Checks field grouping, time ordering within a variable, value ranges and integer conversions.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "RawConvert.h"
#include "Variable.h"

namespace {

// Describes one field; the defaults make fields of one diagnostic.
struct FieldDesc
{
    int i_day = 1;
    float f_level = 10.0f;
    int i_levtype = 1;
    int i_stash = 16203;
    int i_proc = 0;
    int i_field_code = 16;
    int i_model = 1;
    int i_mean_days = 0;
    int i_rows = 2;
    int i_cols = 3;
    float f_bmdi = -999.0f;
};

VarField MakeField(const FieldDesc& x_desc, int* px_data = nullptr)
{
    VarField x_field(x_desc.i_model, x_desc.i_field_code, x_desc.i_stash, 1);
    x_field.SetBMDI_MKS(x_desc.f_bmdi, 1.0f);
    x_field.SetProcCode(x_desc.i_proc);
    x_field.SetData(px_data);
    const int px_val[6] = {1980, 1, x_desc.i_day, 0, 0, 0};
    const int px_dat[6] = {1980, 1, x_desc.i_day + x_desc.i_mean_days, 0, 0, 0};
    Level x_level;
    x_level.Set(x_desc.i_levtype, x_desc.f_level);
    x_field.SetDims(Region(1, -90.0f, 0.0f, 2.5f, 3.75f, x_desc.i_rows, x_desc.i_cols), x_level,
                    TimeField(22, px_val, px_dat));
    return x_field;
}

Variable Build(const std::vector<FieldDesc>& x_descs)
{
    Variable x_var(MakeField(x_descs.front()));
    for (size_t i = 1; i < x_descs.size(); ++i)
        x_var.AddVF(MakeField(x_descs[i]));
    return x_var;
}

std::vector<int> Words(const std::vector<float>& x_values)
{
    std::vector<int> x_words;
    for (float f_value : x_values)
        x_words.push_back(static_cast<int>(FLOAT_TO_RAW(f_value)));
    return x_words;
}

}  // namespace

TEST(VariableGroup, IdentityCodesDecideMembership)
{
    Variable x_var = Build({{1}, {2}});
    VarField x_other_level = MakeField({1, 20.0f});
    EXPECT_TRUE(x_var.BelongsVF(x_other_level));
    // The same time and level again is a copy that must not join.
    VarField x_repeat = MakeField({2});
    EXPECT_TRUE(x_var.GetVarFields().front().InGroup(x_repeat));
    EXPECT_FALSE(x_var.BelongsVF(x_repeat));
    // Level type, STASH, processing, field and model codes, meaning period and grid each set a field apart.
    const FieldDesc x_strangers[] = {{3, 10.0f, 8},         {3, 10.0f, 1, 16204},         {3, 10.0f, 1, 16203, 128},
                                     {3, 10.0f, 1, 16203, 0, 17}, {3, 10.0f, 1, 16203, 0, 16, 2},
                                     {3, 10.0f, 1, 16203, 0, 16, 1, 1}, {3, 10.0f, 1, 16203, 0, 16, 1, 0, 3}};
    for (const FieldDesc& x_desc : x_strangers) {
        VarField x_field = MakeField(x_desc);
        EXPECT_FALSE(x_var.BelongsVF(x_field)) << "stranger " << (&x_desc - x_strangers);
        EXPECT_FALSE(x_var.GetVarFields().front().InGroup(x_field)) << "stranger " << (&x_desc - x_strangers);
    }
    // The missing value is not part of the identity.
    VarField x_other_bmdi = MakeField({3, 10.0f, 1, 16203, 0, 16, 1, 0, 2, 3, 5.0f});
    EXPECT_TRUE(x_var.BelongsVF(x_other_bmdi));
}

TEST(VariableOrder, TimesSortAndLevelTestDependsOnLevelType)
{
    typedef std::vector<std::pair<int, float>> Pairs;
    const std::pair<std::vector<FieldDesc>, Pairs> x_cases[] = {
        {{{3}, {1}, {2}}, {{1, 10.0f}, {2, 10.0f}, {3, 10.0f}}},
        {{{1, 5.0f}, {1, 3.0f}, {2, 5.0f}, {2, 3.0f}}, {{1, 5.0f}, {1, 3.0f}, {2, 5.0f}, {2, 3.0f}}},
        // An earlier field moves ahead only if its level comes first: upward for type 1, downward for 8 to 10.
        {{{2, 20.0f, 1}, {1, 10.0f, 1}}, {{1, 10.0f}, {2, 20.0f}}},
        {{{2, 10.0f, 1}, {1, 20.0f, 1}}, {{2, 10.0f}, {1, 20.0f}}},
        {{{2, 500.0f, 8}, {1, 850.0f, 8}}, {{1, 850.0f}, {2, 500.0f}}},
        {{{2, 850.0f, 8}, {1, 500.0f, 8}}, {{2, 850.0f}, {1, 500.0f}}},
        {{{2, 850.0f, 8}, {1, 850.0f, 8}}, {{1, 850.0f}, {2, 850.0f}}},
        {{{2, 850.0f, 11}, {1, 500.0f, 11}}, {{1, 500.0f}, {2, 850.0f}}}};
    for (const auto& x_case : x_cases) {
        Pairs x_order;
        const Variable x_var = Build(x_case.first);
        for (const VarField& x_field : x_var.GetVarFields())
            x_order.push_back({x_field.GetTimeField().GetValDate().GetTimeArray()[2], x_field.GetLevel().GetValue()});
        EXPECT_EQ(x_order, x_case.second) << "case " << (&x_case - x_cases);
    }
}

TEST(VariableRange, MissingValuesAreSkipped)
{
    std::vector<int> x_first = Words({1.0f, -999.0f, 7.5f, -3.0f, -999.0f, 2.0f});
    std::vector<int> x_second = Words({-999.0f, 8.0f, std::numeric_limits<float>::quiet_NaN(), -999.0f, 0.0f, 1.0f});
    std::vector<int> x_missing = Words(std::vector<float>(6, -999.0f));
    Variable x_var(MakeField({1}, x_first.data()));
    x_var.AddVF(MakeField({2}, x_second.data()));
    EXPECT_EQ(x_var.GetMinimumValue(), -3.0f);
    EXPECT_EQ(x_var.GetMaximumValue(), 8.0f);
    Variable x_empty(MakeField({1}, x_missing.data()));
    EXPECT_EQ(x_empty.GetMinimumValue(), 2.0e20f);
    EXPECT_EQ(x_empty.GetMaximumValue(), -2.0e20f);
    // A cropped grid limits the scan to its current size.
    EXPECT_EQ(Variable(MakeField({1, 10.0f, 1, 16203, 0, 16, 1, 0, 1, 2}, x_first.data())).GetMaximumValue(), 1.0f);
}

TEST(VarFieldConvert, TruncateTowardZeroOnceAndNeverShare)
{
    std::vector<int> x_words = Words({-1.7f, 0.9f, 99.9f, 200.0f, 40000.0f, -2.5f, 127.0f, 128.0f, -32769.0f,
                                      std::numeric_limits<float>::quiet_NaN()});
    VarField x_field = MakeField({1, 10.0f, 1, 16203, 0, 16, 1, 0, 2, 5}, x_words.data());
    const short* px_short = x_field.GetDataAsShort();
    EXPECT_EQ(std::vector<short>(px_short, px_short + 10),
              (std::vector<short>{-1, 0, 99, 200, -32768, -2, 127, 128, -32768, -32768}));
    const ncbyte* px_byte = x_field.GetDataAsByte();
    EXPECT_EQ(std::vector<int>(px_byte, px_byte + 10), (std::vector<int>{-1, 0, 99, -56, 0, -2, 127, -128, 0, 0}));

    // The arrays are made once; a copy or an assignment starts without them, so it sees changed data.
    x_words[0] = static_cast<int>(FLOAT_TO_RAW(42.0f));
    EXPECT_EQ(x_field.GetDataAsShort()[0], -1);
    VarField x_copy(x_field);
    EXPECT_NE(x_copy.GetDataAsShort(), px_short);
    EXPECT_EQ(x_copy.GetDataAsShort()[0], 42);
    VarField x_assigned = MakeField({2}, x_words.data());
    x_assigned.GetDataAsByte();
    x_assigned = x_field;
    EXPECT_EQ(x_assigned.GetDataAsByte()[0], 42);
    // An empty grid gives an empty array, not a null one.
    EXPECT_NE(MakeField({1, 10.0f, 1, 16203, 0, 16, 1, 0, 0}, x_words.data()).GetDataAsShort(), nullptr);

    // Into the caller's memory: places past the field's own points get the out-of-range value,
    // and nothing is written past the count asked for.
    std::vector<short> x_shorts(13, 7);
    x_field.CopyDataAsShort(x_shorts.data(), 12);
    EXPECT_EQ(x_shorts, (std::vector<short>{42, 0, 99, 200, -32768, -2, 127, 128, -32768, -32768, -32768, -32768, 7}));
    std::vector<ncbyte> x_bytes(4, 7);
    x_field.CopyDataAsByte(x_bytes.data(), 3);
    EXPECT_EQ(std::vector<int>(x_bytes.begin(), x_bytes.end()), (std::vector<int>{42, 0, 99, 7}));
}
