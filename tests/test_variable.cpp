// What whole outputs cannot show of fields and variables: the value range packing scales by,
// and the conversion of packing codes to shorts and bytes at the edges of their ranges.
#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <limits>
#include <vector>

#include "MinimiseDimensions.h"
#include "RawConvert.h"
#include "Variable.h"

namespace {

std::vector<int> Words(const std::vector<float>& x_values)
{
    std::vector<int> x_words;
    for (float f_value : x_values)
        x_words.push_back(static_cast<int>(FLOAT_TO_RAW(f_value)));
    return x_words;
}

VarField MakeField(int* px_data, int i_cols, int i_type = 1, float f_level = 0.0f)
{
    VarField x_field(1, 16, 16203, i_type);
    x_field.SetBMDI_MKS(-999.0f, 1.0f);
    x_field.SetData(px_data);
    Level x_level;
    x_level.Set(1, f_level);
    x_field.SetDims(Region(1, -90.0f, 0.0f, 2.5f, 3.75f, 1, i_cols), x_level, TimeField());
    return x_field;
}

}  // namespace

TEST(VariableRange, MissingValuesAreSkippedAndIntegersReadAsIntegers)
{
    const float f_nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<int> x_first = Words({1.0f, -999.0f, 7.5f, -3.0f, -999.0f, 2.0f});
    std::vector<int> x_second = Words({-999.0f, 8.0f, f_nan, -999.0f, 0.0f, 1.0f});
    Variable x_var(MakeField(x_first.data(), 6));
    x_var.AddVF(MakeField(x_second.data(), 6));
    EXPECT_EQ(x_var.GetMinimumValue(), -3.0f);
    EXPECT_EQ(x_var.GetMaximumValue(), 8.0f);
    std::vector<int> x_missing = Words(std::vector<float>(6, -999.0f));
    Variable x_empty(MakeField(x_missing.data(), 6));
    EXPECT_EQ(x_empty.GetMinimumValue(), 2.0e20f);
    EXPECT_EQ(x_empty.GetMaximumValue(), -2.0e20f);
    // A grid cut to two points limits the scan; integer words count as the integers they hold.
    EXPECT_EQ(Variable(MakeField(x_first.data(), 2)).GetMaximumValue(), 1.0f);
    std::vector<int> x_ints = {5, -999, 70000, -2};
    EXPECT_EQ(Variable(MakeField(x_ints.data(), 4, 2)).GetMaximumValue(), 70000.0f);
    EXPECT_EQ(Variable(MakeField(x_ints.data(), 4, 2)).GetMinimumValue(), -2.0f);
}

TEST(VarFieldConvert, CodesTruncateTowardZeroAndBytesKeepTheLowEightBits)
{
    std::vector<int> x_words = Words({-1.7f, 0.9f, 99.9f, 200.0f, 40000.0f, -2.5f, 127.0f, 128.0f, -32769.0f,
                                      std::numeric_limits<float>::quiet_NaN()});
    const VarField x_field = MakeField(x_words.data(), 10);
    std::vector<short> x_shorts(12);
    std::vector<ncbyte> x_bytes(12);
    x_field.CopyDataAsShort(x_shorts.data(), 12);
    x_field.CopyDataAsByte(x_bytes.data(), 12);
    EXPECT_EQ(x_shorts, (std::vector<short>{-1, 0, 99, 200, -32768, -2, 127, 128, -32768, -32768, -32768, -32768}));
    EXPECT_EQ(std::vector<int>(x_bytes.begin(), x_bytes.end()),
              (std::vector<int>{-1, 0, 99, -56, 0, -2, 127, -128, 0, 0, 0, 0}));
}

TEST(MinimiseAxes, AxesOutOfOrderAreSortedWithNaNLast)
{
    // Levels 3, NaN, 1, 2 at one time keep their arrival order in the variable; the axis is sorted.
    std::list<Variable> x_vars;
    for (float f_level : {3.0f, std::nanf(""), 1.0f, 2.0f}) {
        if (x_vars.empty())
            x_vars.emplace_back(MakeField(nullptr, 1, 1, f_level));
        else
            x_vars.front().AddVF(MakeField(nullptr, 1, 1, f_level));
    }
    const std::list<float> x_sorted = MinimiseLevels(x_vars).front().GetValues();
    EXPECT_EQ(std::vector<float>(x_sorted.begin(), std::prev(x_sorted.end())), (std::vector<float>{1.0f, 2.0f, 3.0f}));
    EXPECT_TRUE(std::isnan(x_sorted.back()));
}
