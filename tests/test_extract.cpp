// Checks how lookup entries become fields and variables, and how variables share time, level and grid axes.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <iterator>
#include <vector>

#include "ExtractVariables.h"
#include "MinimiseDimensions.h"
#include "RawConvert.h"

namespace {

// An in-memory fixed header, lookup table and data buffer, as the reader leaves them.
struct UMTables
{
    explicit UMTables(int i_entry_words = 64) : x_fixhdr(256, 0), i_words(i_entry_words)
    {
        x_fixhdr[1] = 1;
        x_fixhdr[150] = i_words;  // words per lookup entry
        x_fixhdr[159] = ci_data_start;
    }

    // Appends an entry of a 2 x 3 field of STASH i_stash on 1980-01-<i_day>, level f_level of type 1.
    int Add(int i_stash, int i_day, float f_level)
    {
        const int idx = static_cast<int>(x_lookup.size() / i_words);
        x_lookup.resize(x_lookup.size() + i_words, 0);
        // Each field's data starts where the previous one's ends.
        Set(idx, {{1, 1980}, {2, 1}, {3, i_day}, {7, 1980}, {8, 1}, {9, i_day}, {13, 2}, {16, 1}, {18, 2}, {19, 3},
                  {23, 16}, {26, 1}, {29, ci_data_start - 1 + idx * 6}, {39, 1}, {42, i_stash}});
        SetReal(idx, {{52, f_level}, {56, 90.0f}, {59, -90.0f}, {60, 2.5f}, {62, 3.75f}, {63, -1e30f}, {64, 1.0f}});
        for (int i = 0; i < 6; ++i)
            x_data.push_back(idx * 100 + i);
        return idx;
    }

    void Set(int idx, std::initializer_list<std::pair<int, int>> x_words)
    {
        for (const auto& x_word : x_words)
            x_lookup[idx * i_words + x_word.first - 1] = x_word.second;
    }
    void SetReal(int idx, std::initializer_list<std::pair<int, float>> x_words)
    {
        for (const auto& x_word : x_words)
            Set(idx, {{x_word.first, static_cast<int>(FLOAT_TO_RAW(x_word.second))}});
    }

    int* Fix()
    {
        x_fixhdr[151] = static_cast<int>(x_lookup.size() / i_words);
        return x_fixhdr.data();
    }
    int* Lookup() { return x_lookup.empty() ? nullptr : x_lookup.data(); }
    int* Data() { return x_data.empty() ? nullptr : x_data.data(); }
    VarField Field(int idx) { return ExtractVarField(Fix(), Lookup(), Data(), idx); }
    std::list<Variable> Extract()
    {
        std::list<Variable> x_vars;
        std::string s_fault;
        EXPECT_TRUE(ExtractVarFields(Fix(), Lookup(), Data(), x_vars, GridConstants(), s_fault)) << s_fault;
        return x_vars;
    }

    static const int ci_data_start = 2049;
    std::vector<int> x_fixhdr;
    std::vector<int> x_lookup;
    std::vector<int> x_data;
    int i_words;
};

template <typename T, typename F>
auto Map(const std::list<T>& x_list, F pf_get)
{
    std::vector<decltype(pf_get(x_list.front()))> x_out;
    for (const T& x_item : x_list)
        x_out.push_back(pf_get(x_item));
    return x_out;
}

// Names the entry each field of a variable came from by its first data word.
std::vector<int> Entries(const Variable& x_var)
{
    return Map(x_var.GetVarFields(), [](const VarField& x_field) { return x_field.GetData()[0] / 100; });
}

template <typename T>
std::vector<int> Ids(const std::list<T>& x_list)
{
    return Map(x_list, std::mem_fn(&T::GetID));
}

}  // namespace

TEST(ExtractField, CodesDataSamplingFrequencyLevelRegionAndTime)
{
    // Entries 70 words long, as the fixed header says, put entry 1 at word 71.
    UMTables x_tables(70);
    const int idx0 = x_tables.Add(3236, 1, 1.5f);
    const int idx = x_tables.Add(16203, 1, 0.5f);
    x_tables.Set(idx, {{21, 2}, {25, 128}, {39, 2}});
    x_tables.SetReal(idx, {{63, -2.0e9f}, {64, 0.01f}});
    VarField x_field = x_tables.Field(idx);
    EXPECT_EQ((std::vector<int>{x_field.GetStashCode(), x_field.GetFieldCode(), x_field.GetModelCode(),
                                x_field.GetType(), x_field.GetPackCode(), x_field.GetProcCode()}),
              (std::vector<int>{16203, 16, 1, 2, 2, 128}));
    EXPECT_EQ(x_field.GetMissingValue(), -2.0e9f);
    EXPECT_EQ(x_field.GetMKSValue(), 0.01f);
    EXPECT_EQ(x_field.GetData(), x_tables.Data() + 6);
    // An entry starting at the data section's first word points at the buffer's start.
    EXPECT_EQ(x_tables.Field(idx0).GetData(), x_tables.Data());
    const int px_lbtim[][2] = {{11, -1}, {100, -1}, {101, 1}, {621, 6}};
    for (const auto& x_case : px_lbtim) {
        x_tables.Set(idx0, {{13, x_case[0]}});
        EXPECT_EQ(x_tables.Field(idx0).GetSamplingFrequency(), static_cast<float>(x_case[1])) << x_case[0];
    }

    // A pseudo level beats a hybrid one (types 9 and 129), which beats the plain value.
    x_tables.SetReal(idx, {{54, 500.0f}});
    const int px_levels[][2] = {{9, 3}, {9, 0}, {129, 0}, {8, 0}};
    Level x_expected[4];
    x_expected[0].Set(9, 3.0f);
    x_expected[1].Set(9, 500.0f, 0.5f, 100000.0f);
    x_expected[2].Set(129, 500.0f, 0.5f, 100000.0f);
    x_expected[3].Set(8, 0.5f);
    for (int i = 0; i < 4; ++i) {
        x_tables.Set(idx, {{26, px_levels[i][0]}, {43, px_levels[i][1]}});
        EXPECT_EQ(ExtractLevel(x_tables.Fix(), x_tables.Lookup(), idx), x_expected[i]) << i;
    }

    x_tables.Set(idx, {{16, 101}, {18, 40}, {19, 50}});
    x_tables.SetReal(idx, {{56, 37.5f}, {57, 177.5f}, {59, -10.0f}, {60, 0.44f}, {61, 20.0f}, {62, 0.5f}});
    Region x_region(101, -10.0f, 20.0f, 0.44f, 0.5f, 40, 50);
    x_region.SetPoleLocation(37.5f, 177.5f);
    EXPECT_EQ(ExtractRegion(x_tables.Fix(), x_tables.Lookup(), idx), x_region);

    x_tables.Set(idx, {{13, 122}});
    x_tables.Set(idx, {{1, 1970}, {7, 1970}, {8, 2}});
    const int px_val[6] = {1970, 1, 1, 0, 0, 0};
    const int px_dat[6] = {1970, 2, 1, 0, 0, 0};
    EXPECT_EQ(ExtractTime(x_tables.Fix(), x_tables.Lookup(), idx), TimeField(122, px_val, px_dat));
}

TEST(ExtractVariables, FieldsGroupIntoVariablesInOrderOfFirstAppearance)
{
    UMTables x_one;
    for (int i_day = 1; i_day <= 4; ++i_day)
        for (float f_level : {10.0f, 20.0f, 30.0f})
            x_one.Add(16203, i_day, f_level);
    std::list<Variable> x_vars = x_one.Extract();
    ASSERT_EQ(x_vars.size(), 1u);
    EXPECT_EQ(Entries(x_vars.front()), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    // Each axis holds the distinct values only.
    EXPECT_EQ(MinimiseTimes(x_vars).front().Size(), 4);
    EXPECT_EQ(MinimiseLevels(x_vars).front().Size(), 3);

    UMTables x_two;
    for (int i_day = 1; i_day <= 3; ++i_day) {
        x_two.Add(3236, i_day, 1.5f);
        x_two.Add(16203, i_day, 850.0f);
    }
    EXPECT_EQ(Map(x_two.Extract(), Entries), (std::vector<std::vector<int>>{{0, 2, 4}, {1, 3, 5}}));

    // Entries arriving out of time order are sorted.
    UMTables x_late;
    for (int i_day : {3, 1, 2})
        x_late.Add(16203, i_day, 10.0f);
    EXPECT_EQ(Map(x_late.Extract(), Entries), (std::vector<std::vector<int>>{{1, 2, 0}}));

    UMTables x_empty;
    x_vars = x_empty.Extract();
    EXPECT_TRUE(x_vars.empty());
    EXPECT_TRUE(MinimiseTimes(x_vars).empty() && MinimiseLevels(x_vars).empty() && MinimiseRegions(x_vars).empty());
}

TEST(ExtractVariables, CopiesAndProcessingCodesSplitVariables)
{
    UMTables x_copies;
    for (int i_day : {1, 1, 1, 2})
        x_copies.Add(16203, i_day, 10.0f);
    // The second copy of a field starts a second variable, the third a third.
    std::list<Variable> x_vars = x_copies.Extract();
    EXPECT_EQ(Map(x_vars, Entries), (std::vector<std::vector<int>>{{0, 3}, {1}, {2}}));

    UMTables x_procs;
    x_procs.Add(16203, 1, 10.0f);
    x_procs.Set(x_procs.Add(16203, 1, 10.0f), {{25, 128}});
    x_procs.Add(16203, 2, 10.0f);
    x_vars = x_procs.Extract();
    EXPECT_EQ(Map(x_vars, Entries), (std::vector<std::vector<int>>{{0, 2}, {1}}));
    EXPECT_EQ(x_vars.back().GetProcCode(), 128);
}

TEST(MinimiseAxes, TimeAndLevelSeriesSharedOrSplit)
{
    UMTables x_tables;
    // Stash 1 and 3 share days {1, 2}; stash 2 has days {1, 3}.
    for (const auto& x_entry : {std::make_pair(1, 1), {1, 2}, {2, 1}, {2, 3}, {3, 1}, {3, 2}})
        x_tables.Add(x_entry.first, x_entry.second, 1.0f);
    // Levels running against time keep the arrival order: days 2 then 1.
    x_tables.Add(4, 2, 10.0f);
    x_tables.Add(4, 1, 20.0f);
    // Days {1, 2} again, but each meaned over one day.
    x_tables.Set(x_tables.Add(5, 1, 1.0f), {{9, 2}, {13, 22}});
    x_tables.Set(x_tables.Add(5, 2, 1.0f), {{9, 3}, {13, 22}});
    std::list<Variable> x_vars = x_tables.Extract();
    EXPECT_EQ(Map(x_vars, Entries), (std::vector<std::vector<int>>{{0, 1}, {2, 3}, {4, 5}, {6, 7}, {8, 9}}));

    std::list<Series<TimeField>> x_times = MinimiseTimes(x_vars);
    EXPECT_EQ(Map(x_vars, std::mem_fn(&Variable::GetTimeID)), (std::vector<int>{0, 1, 0, 2, 3}));
    EXPECT_EQ(Ids(x_times), (std::vector<int>{0, 1, 2, 3}));
    const float f_jan1 = static_cast<float>(x_vars.front().GetVarFields().front().GetTimeField().GetValue());
    EXPECT_EQ(x_times.front().GetValues(), (std::list<float>{f_jan1, f_jan1 + 1.0f}));
    EXPECT_EQ(std::next(x_times.begin(), 2)->GetValues(), (std::list<float>{f_jan1 + 1.0f, f_jan1}));
    EXPECT_EQ(x_times.back().GetValues(), (std::list<float>{f_jan1 + 0.5f, f_jan1 + 1.5f}));

    std::list<Series<Level>> x_levels = MinimiseLevels(x_vars);
    EXPECT_EQ(Map(x_vars, std::mem_fn(&Variable::GetLevelID)), (std::vector<int>{0, 0, 0, 1, 0}));
    EXPECT_EQ(Ids(x_levels), (std::vector<int>{0, 1}));
    EXPECT_EQ(x_levels.back().GetValues(), (std::list<float>{10.0f, 20.0f}));
}

TEST(MinimiseAxes, GridsDifferingOnlyInPoleAreSeparate)
{
    UMTables x_tables;
    for (int i_stash = 1; i_stash <= 4; ++i_stash)
        x_tables.Add(i_stash, 1, 1.0f);
    x_tables.SetReal(2, {{57, 10.0f}});
    std::list<Variable> x_vars = x_tables.Extract();
    ASSERT_EQ(x_vars.size(), 4u);
    // An id already given to a field's grid does not keep it from matching.
    x_vars.front().GetVarFields().front().GetRegion().SetID(9);
    std::list<Region> x_regions = MinimiseRegions(x_vars);
    EXPECT_EQ(Map(x_vars, std::mem_fn(&Variable::GetRegionID)), (std::vector<int>{0, 0, 1, 0}));
    EXPECT_EQ(Ids(x_regions), (std::vector<int>{0, 1}));
    EXPECT_EQ(x_regions.back().GetPoleLongitude(), 10.0f);
}

TEST(MinimiseAxes, AxesOutOfOrderAreSortedWithNaNLast)
{
    UMTables x_tables;
    for (float f_level : {3.0f, std::nanf(""), 1.0f, 2.0f})
        x_tables.Add(7, 1, f_level);
    // Strictly falling values keep their order.
    for (float f_level : {30.0f, 20.0f, 10.0f})
        x_tables.Add(8, 1, f_level);
    std::list<Variable> x_vars = x_tables.Extract();
    std::list<Series<Level>> x_levels = MinimiseLevels(x_vars);
    ASSERT_EQ(x_levels.size(), 2u);
    const std::list<float> x_sorted = x_levels.front().GetValues();
    EXPECT_EQ(std::vector<float>(x_sorted.begin(), std::prev(x_sorted.end())), (std::vector<float>{1.0f, 2.0f, 3.0f}));
    EXPECT_TRUE(std::isnan(x_sorted.back()));
    EXPECT_EQ(x_levels.back().GetValues(), (std::list<float>{30.0f, 20.0f, 10.0f}));
}
