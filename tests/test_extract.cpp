// Checks how lookup entries become fields and variables, and how variables share time, level and grid axes.
#include <gtest/gtest.h>

#include <vector>

#include "ExtractVariables.h"
#include "MinimiseDimensions.h"
#include "RawConvert.h"

namespace {

// An in-memory fixed header, lookup table and data buffer, as the reader leaves them.
class UMTables
{
public:
    explicit UMTables(int i_entry_words = 64) : x_fixhdr(256, 0), i_words(i_entry_words)
    {
        x_fixhdr[1] = 1;           // sub-model
        x_fixhdr[150] = i_words;   // words per lookup entry
        x_fixhdr[159] = ci_data_start;
    }

    // Appends an entry of a 2 x 3 field of STASH i_stash on day i_day, level f_level of type 1.
    int Add(int i_stash, int i_day, float f_level)
    {
        const int idx = static_cast<int>(x_lookup.size() / i_words);
        x_lookup.resize(x_lookup.size() + i_words, 0);
        const int px_date[6] = {1980, 1, i_day, 0, 0, 0};
        for (int i = 0; i < 6; ++i) {
            Set(idx, 1 + i, px_date[i]);
            Set(idx, 7 + i, px_date[i]);
        }
        Set(idx, 13, 2);
        Set(idx, 16, 1);
        Set(idx, 18, 2);
        Set(idx, 19, 3);
        Set(idx, 23, 16);
        Set(idx, 26, 1);
        Set(idx, 29, ci_data_start - 1 + idx * 6);
        Set(idx, 39, 1);
        Set(idx, 42, i_stash);
        SetReal(idx, 52, f_level);
        SetReal(idx, 56, 90.0f);
        SetReal(idx, 57, 0.0f);
        SetReal(idx, 59, -90.0f);
        SetReal(idx, 60, 2.5f);
        SetReal(idx, 61, 0.0f);
        SetReal(idx, 62, 3.75f);
        SetReal(idx, 63, -1e30f);
        SetReal(idx, 64, 1.0f);
        for (int i = 0; i < 6; ++i)
            x_data.push_back(idx * 100 + i);
        return idx;
    }

    void Set(int idx, int i_word, int i_value) { x_lookup[idx * i_words + i_word - 1] = i_value; }
    void SetReal(int idx, int i_word, float f_value) { Set(idx, i_word, static_cast<int>(FLOAT_TO_RAW(f_value))); }
    void SetDate(int idx, int i_first_word, int i_year, int i_month, int i_day, int i_hour)
    {
        const int px_date[6] = {i_year, i_month, i_day, i_hour, 0, 0};
        for (int i = 0; i < 6; ++i)
            Set(idx, i_first_word + i, px_date[i]);
    }

    int* Fix()
    {
        x_fixhdr[151] = static_cast<int>(x_lookup.size() / i_words);
        return x_fixhdr.data();
    }
    int* Lookup() { return x_lookup.empty() ? nullptr : x_lookup.data(); }
    int* Data() { return x_data.empty() ? nullptr : x_data.data(); }

    std::list<Variable> Extract()
    {
        std::list<Variable> x_vars;
        ExtractVarFields(Fix(), Lookup(), Data(), x_vars);
        return x_vars;
    }

    static const int ci_data_start = 2049;

private:
    std::vector<int> x_fixhdr;
    std::vector<int> x_lookup;
    std::vector<int> x_data;
    int i_words;
};

// Lists the first data word of each field of a variable, which names the entry it came from.
std::vector<int> Entries(const Variable& x_var)
{
    std::vector<int> x_entries;
    for (const VarField& x_field : x_var.GetVarFields())
        x_entries.push_back(x_field.GetData()[0] / 100);
    return x_entries;
}

template <typename T>
std::vector<int> Ids(const std::list<T>& x_list)
{
    std::vector<int> x_ids;
    for (const T& x_item : x_list)
        x_ids.push_back(x_item.GetID());
    return x_ids;
}

std::vector<int> TimeIds(const std::list<Variable>& x_vars)
{
    std::vector<int> x_ids;
    for (const Variable& x_var : x_vars)
        x_ids.push_back(x_var.GetTimeID());
    return x_ids;
}

}  // namespace

TEST(ExtractField, CodesDataAndSamplingFrequency)
{
    UMTables x_tables(70);
    const int idx0 = x_tables.Add(3236, 1, 1.5f);
    const int idx1 = x_tables.Add(16203, 1, 850.0f);
    x_tables.Set(idx1, 21, 2);
    x_tables.Set(idx1, 25, 128);
    x_tables.Set(idx1, 39, 2);
    x_tables.SetReal(idx1, 63, -2.0e9f);
    x_tables.SetReal(idx1, 64, 0.01f);
    VarField x_field = ExtractVarField(x_tables.Fix(), x_tables.Lookup(), x_tables.Data(), idx1);
    EXPECT_EQ(x_field.GetStashCode(), 16203);
    EXPECT_EQ(x_field.GetFieldCode(), 16);
    EXPECT_EQ(x_field.GetModelCode(), 1);
    EXPECT_EQ(x_field.GetType(), 2);
    EXPECT_EQ(x_field.GetPackCode(), 2);
    EXPECT_EQ(x_field.GetProcCode(), 128);
    EXPECT_EQ(x_field.GetMissingValue(), -2.0e9f);
    EXPECT_EQ(x_field.GetMKSValue(), 0.01f);
    EXPECT_EQ(x_field.GetData(), x_tables.Data() + 6);

    // An entry starting at the data section's first word points at the buffer's start.
    VarField x_first = ExtractVarField(x_tables.Fix(), x_tables.Lookup(), x_tables.Data(), idx0);
    EXPECT_EQ(x_first.GetData(), x_tables.Data());
    EXPECT_EQ(x_first.GetStashCode(), 3236);

    const int px_lbtim[][2] = {{11, -1}, {100, -1}, {101, 1}, {621, 6}};
    for (const auto& x_case : px_lbtim) {
        x_tables.Set(idx0, 13, x_case[0]);
        VarField x_timed = ExtractVarField(x_tables.Fix(), x_tables.Lookup(), x_tables.Data(), idx0);
        EXPECT_EQ(x_timed.GetSamplingFrequency(), static_cast<float>(x_case[1])) << x_case[0];
    }
}

TEST(ExtractField, LevelPrecedence)
{
    UMTables x_tables;
    const int idx = x_tables.Add(16203, 1, 0.5f);
    Level x_expected;

    x_tables.Set(idx, 43, 3);
    x_expected.Set(1, 3.0f);
    EXPECT_EQ(ExtractLevel(x_tables.Fix(), x_tables.Lookup(), idx), x_expected);

    x_tables.Set(idx, 43, 0);
    x_tables.Set(idx, 26, 9);
    x_tables.SetReal(idx, 54, 500.0f);
    x_expected.Set(9, 500.0f, 0.5f, 100000.0f);
    EXPECT_EQ(ExtractLevel(x_tables.Fix(), x_tables.Lookup(), idx), x_expected);
    EXPECT_EQ(ExtractLevel(x_tables.Fix(), x_tables.Lookup(), idx).GetValue(), 505.0f);

    x_tables.Set(idx, 26, 129);
    x_expected.Set(129, 500.0f, 0.5f, 100000.0f);
    EXPECT_EQ(ExtractLevel(x_tables.Fix(), x_tables.Lookup(), idx), x_expected);

    x_tables.Set(idx, 26, 8);
    x_tables.SetReal(idx, 52, 850.0f);
    x_expected.Set(8, 850.0f);
    EXPECT_EQ(ExtractLevel(x_tables.Fix(), x_tables.Lookup(), idx), x_expected);
}

TEST(ExtractField, RegionAndTime)
{
    UMTables x_tables(66);
    x_tables.Add(16203, 1, 0.5f);
    const int idx = x_tables.Add(16203, 1, 0.5f);
    x_tables.Set(idx, 16, 101);
    x_tables.Set(idx, 18, 40);
    x_tables.Set(idx, 19, 50);
    x_tables.SetReal(idx, 56, 37.5f);
    x_tables.SetReal(idx, 57, 177.5f);
    x_tables.SetReal(idx, 59, -10.0f);
    x_tables.SetReal(idx, 60, 0.44f);
    x_tables.SetReal(idx, 61, 20.0f);
    x_tables.SetReal(idx, 62, 0.5f);
    Region x_expected(101, -10.0f, 20.0f, 0.44f, 0.5f, 40, 50);
    x_expected.SetPoleLocation(37.5f, 177.5f);
    Region x_region = ExtractRegion(x_tables.Fix(), x_tables.Lookup(), idx);
    EXPECT_EQ(x_region, x_expected);
    EXPECT_EQ(x_region.GetLatitudes().front(), -9.56f);

    x_tables.Set(idx, 13, 122);
    x_tables.SetDate(idx, 1, 1970, 1, 1, 0);
    x_tables.SetDate(idx, 7, 1970, 2, 1, 0);
    const int px_val[6] = {1970, 1, 1, 0, 0, 0};
    const int px_dat[6] = {1970, 2, 1, 0, 0, 0};
    TimeField x_time = ExtractTime(x_tables.Fix(), x_tables.Lookup(), idx);
    EXPECT_EQ(x_time, TimeField(122, px_val, px_dat));
    EXPECT_EQ(x_time.GetMeaningPeriod(), 720.0f);
    EXPECT_EQ(x_time.GetType(), 122);
}

TEST(ExtractVariables, FieldsGroupIntoVariablesInFileOrder)
{
    UMTables x_one;
    for (int i_day = 1; i_day <= 4; ++i_day)
        for (float f_level : {10.0f, 20.0f, 30.0f})
            x_one.Add(16203, i_day, f_level);
    std::list<Variable> x_vars = x_one.Extract();
    ASSERT_EQ(x_vars.size(), 1u);
    EXPECT_EQ(Entries(x_vars.front()), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));

    UMTables x_two;
    for (int i_day = 1; i_day <= 3; ++i_day) {
        x_two.Add(3236, i_day, 1.5f);
        x_two.Add(16203, i_day, 850.0f);
    }
    x_vars = x_two.Extract();
    ASSERT_EQ(x_vars.size(), 2u);
    EXPECT_EQ(x_vars.front().GetStashCode(), 3236);
    EXPECT_EQ(Entries(x_vars.front()), (std::vector<int>{0, 2, 4}));
    EXPECT_EQ(Entries(x_vars.back()), (std::vector<int>{1, 3, 5}));

    // Entries arriving out of time order are sorted.
    UMTables x_late;
    x_late.Add(16203, 3, 10.0f);
    x_late.Add(16203, 1, 10.0f);
    x_late.Add(16203, 2, 10.0f);
    x_vars = x_late.Extract();
    ASSERT_EQ(x_vars.size(), 1u);
    EXPECT_EQ(Entries(x_vars.front()), (std::vector<int>{1, 2, 0}));
}

TEST(ExtractVariables, CopiesAndProcessingCodesSplitVariables)
{
    UMTables x_copies;
    x_copies.Add(16203, 1, 10.0f);
    x_copies.Add(16203, 1, 10.0f);
    x_copies.Add(16203, 1, 10.0f);
    x_copies.Add(16203, 2, 10.0f);
    std::list<Variable> x_vars = x_copies.Extract();
    ASSERT_EQ(x_vars.size(), 3u);
    std::list<Variable>::const_iterator it = x_vars.begin();
    EXPECT_EQ(Entries(*it++), (std::vector<int>{0, 3}));
    EXPECT_EQ(Entries(*it++), (std::vector<int>{1}));
    EXPECT_EQ(Entries(*it++), (std::vector<int>{2}));

    UMTables x_procs;
    x_procs.Add(16203, 1, 10.0f);
    x_procs.Set(x_procs.Add(16203, 1, 10.0f), 25, 128);
    x_procs.Add(16203, 2, 10.0f);
    x_vars = x_procs.Extract();
    ASSERT_EQ(x_vars.size(), 2u);
    EXPECT_EQ(x_vars.front().GetProcCode(), 0);
    EXPECT_EQ(Entries(x_vars.front()), (std::vector<int>{0, 2}));
    EXPECT_EQ(x_vars.back().GetProcCode(), 128);
}

TEST(ExtractVariables, EmptyTableGivesNoVariables)
{
    UMTables x_empty;
    std::list<Variable> x_vars = x_empty.Extract();
    EXPECT_TRUE(x_vars.empty());
    EXPECT_TRUE(MinimiseTimes(x_vars).empty());
    EXPECT_TRUE(MinimiseLevels(x_vars).empty());
    EXPECT_TRUE(MinimiseRegions(x_vars).empty());
}

TEST(MinimiseAxes, TimeAndLevelSeriesSharedOrSplit)
{
    UMTables x_tables;
    // Stash 1 and 3 share days {1, 2}; stash 2 has days {1, 3}.
    x_tables.Add(1, 1, 1.0f);
    x_tables.Add(1, 2, 1.0f);
    x_tables.Add(2, 1, 1.0f);
    x_tables.Add(2, 3, 1.0f);
    x_tables.Add(3, 1, 1.0f);
    x_tables.Add(3, 2, 1.0f);
    // Levels running against time keep the arrival order: days 2 then 1.
    x_tables.Add(4, 2, 10.0f);
    x_tables.Add(4, 1, 20.0f);
    // Days {1, 2} again, but each meaned over one day.
    x_tables.Set(x_tables.Add(5, 1, 1.0f), 9, 2);
    x_tables.Set(x_tables.Add(5, 2, 1.0f), 9, 3);
    std::list<Variable> x_vars = x_tables.Extract();
    ASSERT_EQ(x_vars.size(), 5u);
    EXPECT_EQ(Entries(*std::next(x_vars.begin(), 3)), (std::vector<int>{6, 7}));

    std::list<Series<TimeField>> x_times = MinimiseTimes(x_vars);
    EXPECT_EQ(TimeIds(x_vars), (std::vector<int>{0, 1, 0, 2, 3}));
    EXPECT_EQ(Ids(x_times), (std::vector<int>{0, 1, 2, 3}));
    const float f_jan1 = x_vars.front().GetVarFields().front().GetTimeField().GetValue();
    EXPECT_EQ(x_times.front().GetValues(), (std::list<float>{f_jan1, f_jan1 + 1.0f}));
    EXPECT_EQ(std::next(x_times.begin(), 2)->GetValues(), (std::list<float>{f_jan1 + 1.0f, f_jan1}));
    EXPECT_EQ(x_times.back().GetValues(), (std::list<float>{f_jan1 + 0.5f, f_jan1 + 1.5f}));

    std::list<Series<Level>> x_levels = MinimiseLevels(x_vars);
    std::vector<int> x_level_ids;
    for (const Variable& x_var : x_vars)
        x_level_ids.push_back(x_var.GetLevelID());
    EXPECT_EQ(x_level_ids, (std::vector<int>{0, 0, 0, 1, 0}));
    ASSERT_EQ(x_levels.size(), 2u);
    EXPECT_EQ(x_levels.back().GetValues(), (std::list<float>{10.0f, 20.0f}));
    EXPECT_EQ(x_levels.back().GetID(), 1);
}

TEST(MinimiseAxes, SeriesHoldDistinctValuesOfOneVariable)
{
    UMTables x_tables;
    for (int i_day = 1; i_day <= 3; ++i_day)
        for (int i_level = 1; i_level <= 19; ++i_level)
            x_tables.Add(16203, i_day, 50.0f * i_level);
    std::list<Variable> x_vars = x_tables.Extract();
    ASSERT_EQ(x_vars.size(), 1u);
    std::list<Series<TimeField>> x_times = MinimiseTimes(x_vars);
    std::list<Series<Level>> x_levels = MinimiseLevels(x_vars);
    ASSERT_EQ(x_times.size(), 1u);
    ASSERT_EQ(x_levels.size(), 1u);
    EXPECT_EQ(x_times.front().Size(), 3);
    EXPECT_EQ(x_levels.front().Size(), 19);
    EXPECT_EQ(x_vars.front().GetTimeID(), 0);
    EXPECT_EQ(x_vars.front().GetLevelID(), 0);
}

TEST(MinimiseAxes, BaseValueGivesDaysSinceReference)
{
    UMTables x_tables;
    x_tables.SetDate(x_tables.Add(16203, 1, 1.0f), 1, 1970, 1, 1, 0);
    x_tables.SetDate(x_tables.Add(16203, 1, 1.0f), 1, 1970, 1, 31, 12);
    for (int idx = 0; idx < 2; ++idx) {
        x_tables.Set(idx, 13, 1);
        x_tables.SetDate(idx, 7, 1970, 1, 1, 0);
    }
    x_tables.SetDate(1, 7, 1970, 1, 31, 12);
    std::list<Variable> x_vars = x_tables.Extract();
    ASSERT_EQ(x_vars.size(), 1u);
    std::list<Series<TimeField>> x_times = MinimiseTimes(x_vars);
    ASSERT_EQ(x_times.size(), 1u);
    x_times.front().SetBaseValue(719177.0f);
    EXPECT_EQ(x_times.front().GetValues(), (std::list<float>{0.0f, 30.5f}));
}

TEST(MinimiseAxes, GridsDifferingOnlyInPoleAreSeparate)
{
    UMTables x_tables;
    x_tables.Add(1, 1, 1.0f);
    x_tables.Add(2, 1, 1.0f);
    x_tables.SetReal(x_tables.Add(3, 1, 1.0f), 57, 10.0f);
    x_tables.Add(4, 1, 1.0f);
    std::list<Variable> x_vars = x_tables.Extract();
    ASSERT_EQ(x_vars.size(), 4u);
    // An id already given to a field's grid does not keep it from matching.
    x_vars.front().GetVarFields().front().GetRegion().SetID(9);
    std::list<Region> x_regions = MinimiseRegions(x_vars);
    std::vector<int> x_region_ids;
    for (const Variable& x_var : x_vars)
        x_region_ids.push_back(x_var.GetRegionID());
    EXPECT_EQ(x_region_ids, (std::vector<int>{0, 0, 1, 0}));
    EXPECT_EQ(Ids(x_regions), (std::vector<int>{0, 1}));
    EXPECT_EQ(x_regions.back().GetPoleLongitude(), 10.0f);
}
