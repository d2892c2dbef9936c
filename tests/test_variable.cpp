// Checks field grouping, time ordering within a variable, value ranges and integer conversions.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "RawConvert.h"
#include "Variable.h"

namespace {

// Describes one field for the tests; the defaults make fields of one diagnostic.
struct FieldDesc
{
    int i_stash = 16203;
    int i_proc = 0;
    int i_field_code = 16;
    int i_model = 1;
    int i_levtype = 1;
    float f_level = 10.0f;
    int i_day = 1;
    int i_mean_days = 0;
    int i_rows = 2;
    int i_cols = 3;
    float f_bmdi = -1e30f;
};

VarField MakeField(const FieldDesc& x_desc, int* px_data = nullptr)
{
    VarField x_field(x_desc.i_model, x_desc.i_field_code, x_desc.i_stash, 1);
    x_field.SetBMDI_MKS(x_desc.f_bmdi, 1.0f);
    x_field.SetProcCode(x_desc.i_proc);
    x_field.SetSamplingFrequency(-1.0f);
    x_field.SetData(px_data);
    int px_val[6] = {1980, 1, x_desc.i_day, 0, 0, 0};
    int px_dat[6] = {1980, 1, x_desc.i_day + x_desc.i_mean_days, 0, 0, 0};
    Level x_level;
    x_level.Set(x_desc.i_levtype, x_desc.f_level);
    x_field.SetDims(Region(1, -90.0f, 0.0f, 2.5f, 3.75f, x_desc.i_rows, x_desc.i_cols), x_level,
                    TimeField(2, px_val, px_dat));
    return x_field;
}

FieldDesc At(int i_day, float f_level, int i_levtype = 1)
{
    FieldDesc x_desc;
    x_desc.i_day = i_day;
    x_desc.f_level = f_level;
    x_desc.i_levtype = i_levtype;
    return x_desc;
}

// Lists the (day, level) pairs of a variable's fields in order.
std::vector<std::pair<int, float>> Order(const Variable& x_var)
{
    std::vector<std::pair<int, float>> x_order;
    for (const VarField& x_field : x_var.GetVarFields())
        x_order.push_back({x_field.GetTimeField().GetValDate().GetTimeArray()[2], x_field.GetLevel().GetValue()});
    return x_order;
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

TEST(VariableCreate, TakesPropertiesOfItsFirstField)
{
    FieldDesc x_desc;
    x_desc.i_proc = 128;
    x_desc.f_bmdi = -999.0f;
    VarField x_field = MakeField(x_desc);
    x_field.SetSamplingFrequency(6.0f);
    x_field.GetRegion() = Region(102, 0.0f, 0.0f, 1.0f, 1.0f, 2, 3);
    Variable x_var(x_field);
    EXPECT_EQ(x_var.GetStashCode(), 16203);
    EXPECT_EQ(x_var.GetProcCode(), 128);
    EXPECT_EQ(x_var.GetFieldCode(), 16);
    EXPECT_EQ(x_var.GetModelCode(), 1);
    EXPECT_EQ(x_var.GetType(), 1);
    EXPECT_EQ(x_var.GetMissingValue(), -999.0f);
    EXPECT_EQ(x_var.GetMKSValue(), 1.0f);
    EXPECT_EQ(x_var.GetSamplingFrequency(), 6.0f);
    EXPECT_EQ(x_var.GetGridType(), 102);
    EXPECT_EQ(x_var.GetLevelID(), -1);
    EXPECT_EQ(x_var.GetRegionID(), -1);
    EXPECT_EQ(x_var.GetTimeID(), -1);
    EXPECT_EQ(x_var.GetScalingFactor(), 2.0e20f);
    EXPECT_EQ(x_var.GetOffset(), 2.0e20f);
    EXPECT_EQ(x_var.GetPackingBytes(), 0);
    EXPECT_EQ(x_var.GetNcVar(), nullptr);
    EXPECT_EQ(x_var.GetVarFields().size(), 1u);
}

TEST(VariableGroup, IdentityCodesDecideMembership)
{
    Variable x_var(MakeField(At(1, 10.0f)));
    VarField x_other_level = MakeField(At(1, 20.0f));
    EXPECT_TRUE(x_var.BelongsVF(x_other_level));

    std::vector<FieldDesc> x_strangers(7, At(2, 10.0f));
    x_strangers[0].i_stash = 16204;
    x_strangers[1].i_proc = 128;
    x_strangers[2].i_levtype = 8;
    x_strangers[3].i_mean_days = 1;
    x_strangers[4].i_field_code = 17;
    x_strangers[5].i_model = 2;
    x_strangers[6].i_rows = 3;
    for (size_t i = 0; i < x_strangers.size(); ++i) {
        VarField x_field = MakeField(x_strangers[i]);
        EXPECT_FALSE(x_var.BelongsVF(x_field)) << "stranger " << i;
        EXPECT_FALSE(x_var.GetVarFields().front().InGroup(x_field)) << "stranger " << i;
    }
    // Missing value and field type are not part of the identity.
    FieldDesc x_other_bmdi = At(2, 10.0f);
    x_other_bmdi.f_bmdi = 5.0f;
    VarField x_field = MakeField(x_other_bmdi);
    EXPECT_TRUE(x_var.BelongsVF(x_field));
}

TEST(VariableGroup, RepeatedTimeAndLevelIsRefused)
{
    Variable x_var = Build({At(1, 10.0f), At(2, 10.0f), At(3, 10.0f)});
    VarField x_repeat = MakeField(At(2, 10.0f));
    EXPECT_TRUE(x_var.GetVarFields().front().InGroup(x_repeat));
    EXPECT_FALSE(x_var.BelongsVF(x_repeat));
    VarField x_new_time = MakeField(At(4, 10.0f));
    EXPECT_TRUE(x_var.BelongsVF(x_new_time));
}

TEST(VariableOrder, TimesSortLevelsKeepArrivalOrder)
{
    typedef std::vector<std::pair<int, float>> Pairs;
    EXPECT_EQ(Order(Build({At(3, 10.0f), At(1, 10.0f), At(2, 10.0f)})), (Pairs{{1, 10.0f}, {2, 10.0f}, {3, 10.0f}}));
    EXPECT_EQ(Order(Build({At(1, 5.0f), At(1, 3.0f)})), (Pairs{{1, 5.0f}, {1, 3.0f}}));
    EXPECT_EQ(Order(Build({At(1, 5.0f), At(1, 3.0f), At(2, 5.0f), At(2, 3.0f)})),
              (Pairs{{1, 5.0f}, {1, 3.0f}, {2, 5.0f}, {2, 3.0f}}));
}

TEST(VariableOrder, LevelTestDependsOnLevelType)
{
    typedef std::vector<std::pair<int, float>> Pairs;
    EXPECT_EQ(Order(Build({At(2, 20.0f, 1), At(1, 10.0f, 1)})), (Pairs{{1, 10.0f}, {2, 20.0f}}));
    EXPECT_EQ(Order(Build({At(2, 10.0f, 1), At(1, 20.0f, 1)})), (Pairs{{2, 10.0f}, {1, 20.0f}}));
    EXPECT_EQ(Order(Build({At(2, 500.0f, 8), At(1, 850.0f, 8)})), (Pairs{{1, 850.0f}, {2, 500.0f}}));
    EXPECT_EQ(Order(Build({At(2, 850.0f, 8), At(1, 500.0f, 8)})), (Pairs{{2, 850.0f}, {1, 500.0f}}));
    EXPECT_EQ(Order(Build({At(2, 850.0f, 10), At(1, 850.0f, 10)})), (Pairs{{1, 850.0f}, {2, 850.0f}}));
    EXPECT_EQ(Order(Build({At(2, 850.0f, 11), At(1, 500.0f, 11)})), (Pairs{{1, 500.0f}, {2, 850.0f}}));
}

TEST(VariableRange, MissingValuesAreSkipped)
{
    std::vector<int> x_first = Words({1.0f, -999.0f, 7.5f, -3.0f, -999.0f, 2.0f});
    std::vector<int> x_second = Words({-999.0f, 8.0f, std::numeric_limits<float>::quiet_NaN(), -999.0f, 0.0f, 1.0f});
    FieldDesc x_desc = At(1, 10.0f);
    x_desc.f_bmdi = -999.0f;
    Variable x_var(MakeField(x_desc, x_first.data()));
    x_desc.i_day = 2;
    x_var.AddVF(MakeField(x_desc, x_second.data()));
    EXPECT_EQ(x_var.GetMinimumValue(), -3.0f);
    EXPECT_EQ(x_var.GetMaximumValue(), 8.0f);

    std::vector<int> x_all_missing = Words({-999.0f, -999.0f, -999.0f, -999.0f, -999.0f, -999.0f});
    Variable x_empty(MakeField(x_desc, x_all_missing.data()));
    EXPECT_EQ(x_empty.GetMinimumValue(), 2.0e20f);
    EXPECT_EQ(x_empty.GetMaximumValue(), -2.0e20f);

    // A cropped grid limits the scan to its current size.
    std::vector<int> x_big = Words({1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 600.0f});
    Variable x_cropped(MakeField(x_desc, x_big.data()));
    x_cropped.GetVarFields().front().GetRegion() = Region(1, 0.0f, 0.0f, 1.0f, 1.0f, 1, 5);
    EXPECT_EQ(x_cropped.GetMaximumValue(), 5.0f);
}

TEST(VarFieldConvert, ByteAndShortTruncateTowardZero)
{
    FieldDesc x_desc = At(1, 10.0f);
    x_desc.i_rows = 2;
    x_desc.i_cols = 5;
    std::vector<int> x_words = Words({-1.7f, 0.9f, 99.9f, 200.0f, 40000.0f, -2.5f, 127.0f, 128.0f, -32769.0f,
                                      std::numeric_limits<float>::quiet_NaN()});
    VarField x_field = MakeField(x_desc, x_words.data());
    const short* px_short = x_field.GetDataAsShort();
    const std::vector<short> x_shorts(px_short, px_short + 10);
    EXPECT_EQ(x_shorts, (std::vector<short>{-1, 0, 99, 200, -32768, -2, 127, 128, -32768, -32768}));
    const ncbyte* px_byte = x_field.GetDataAsByte();
    const std::vector<int> x_bytes(px_byte, px_byte + 10);
    EXPECT_EQ(x_bytes, (std::vector<int>{-1, 0, 99, -56, 0, -2, 127, -128, 0, 0}));
    EXPECT_EQ(x_field.GetDataAsShort(), px_short);
}

TEST(VarFieldConvert, ConversionsAreMadeOnceAndNeverShared)
{
    std::vector<int> x_words = Words({1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f});
    VarField x_field = MakeField(At(1, 10.0f), x_words.data());
    short* px_first = x_field.GetDataAsShort();
    x_words[0] = static_cast<int>(FLOAT_TO_RAW(42.0f));
    EXPECT_EQ(x_field.GetDataAsShort()[0], 1);

    // A copy starts without arrays, so it sees the changed data.
    VarField x_copy(x_field);
    short* px_copy = x_copy.GetDataAsShort();
    EXPECT_NE(px_copy, px_first);
    EXPECT_EQ(px_copy[0], 42);
    VarField x_assigned = MakeField(At(2, 10.0f));
    x_assigned.GetDataAsByte();
    x_assigned = x_field;
    EXPECT_EQ(x_assigned.GetDataAsByte()[0], 42);
    EXPECT_EQ(x_assigned.GetDataAsShort()[5], 6);

    // An empty grid gives an empty array.
    FieldDesc x_desc = At(1, 10.0f);
    x_desc.i_rows = 0;
    VarField x_empty = MakeField(x_desc, x_words.data());
    EXPECT_NE(x_empty.GetDataAsShort(), nullptr);
}
