// Reader tests on files written by the UM file generator.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "ExtractVariables.h"
#include "FieldReadAhead.h"
#include "RawConvert.h"
#include "ReadUMFile.h"
#include "TestFiles.h"
#include "WriteNetCDFFile.h"

namespace {

// Everything ReadHdrs and ReadData produce for one file, released at the end of a test.
struct ReadResult : UMArrays
{
    bool b_headers_ok = false;
    std::string s_fault;
};

void ReadAll(const std::string& s_path, ReadResult& x_result)
{
    std::ifstream x_file(s_path, std::ios::binary);
    ASSERT_TRUE(x_file.good());
    x_result.b_headers_ok = ReadHdrs(x_file, x_result, x_result.s_fault);
    if (x_result.b_headers_ok)
        x_result.px_data = ReadData(x_file, x_result.px_fixhdr, x_result.px_pphdrs, x_result.s_fault);
}

std::string Generate(const TempDir& x_dir, const std::string& s_json)
{
    std::string s_path = x_dir.File("input.um");
    EXPECT_FALSE(GenerateUM(s_json, s_path).empty()) << s_json;
    return s_path;
}

}  // namespace

TEST(ReadUMFile, TheTableEndsAtTheFirstFieldCodeBelowOneOrTheDeclaredCount)
{
    struct Case
    {
        const char* s_json;
        int i_count;
    };
    const Case cx_cases[] = {
        {R"({"spare": 5, "fields": [{}, {}, {"rows": 2, "cols": 3, "data": [1, 2, 3, 4, 5, 6.5]}]})", 3},
        {R"({"fields": [{}, {"lbfc": 0}, {}]})", 1},
        {R"({"fields": [{"lbfc": -99}, {}]})", 0},
        {R"({"fields": [{}, {}, {}], "fixhdr": {"152": 2}})", 2},
    };
    for (const Case& x_case : cx_cases) {
        TempDir x_dir;
        ReadResult x_read;
        ReadAll(Generate(x_dir, x_case.s_json), x_read);
        ASSERT_TRUE(x_read.b_headers_ok) << x_read.s_fault;
        EXPECT_EQ(x_read.px_fixhdr[151], x_case.i_count) << x_case.s_json;
        EXPECT_EQ(x_read.px_data != nullptr, x_case.i_count > 0) << x_case.s_json;
        EXPECT_TRUE(x_read.s_fault.empty()) << x_case.s_json;
    }
    // The data buffer ends at the last field's last word, read little-endian without conversion.
    TempDir x_dir;
    ReadResult x_read;
    ReadAll(Generate(x_dir, cx_cases[0].s_json), x_read);
    EXPECT_EQ(static_cast<unsigned int>(x_read.px_data[12 + 12 + 5]), FLOAT_TO_RAW(6.5f));
}

// Each hostile header is reported as a fault naming what is wrong, and nothing is read.
TEST(ReadUMFile, CorruptHeadersAreReportedNotTrusted)
{
    struct Case
    {
        const char* s_json;
        const char* s_reason;
    };
    const Case cx_cases[] = {
        {R"({"fields": [{}], "truncate": 1000})", "fixed header is shorter than 1024 bytes"},
        {R"({"fields": [{}], "fixhdr": {"101": 1000000}})", "integer constants lie outside the file"},
        {R"({"fields": [{}], "fixhdr": {"106": -4}})", "real constants have a negative length"},
        {R"({"row_consts": [3, 2], "fields": [{}], "fixhdr": {"117": 100000000}})",
         "row-dependent constants lie outside the file"},
        {R"({"fields": [{}], "entry_length": 64, "fixhdr": {"151": 40}})",
         "lookup entry length 40 is below 64 words"},
        {R"({"fields": [{}], "fixhdr": {"150": 2000000000}})", "lookup table lies outside the file"},
        {R"({"fields": [{}], "fixhdr": {"160": 2000000000}})", "data section start"},
        {R"({"fields": [{"rows": 0}, {}]})", "field 0 has 0 rows and 4 columns"},
        {R"({"fields": [{}, {"lookup": {"19": -3}}]})", "field 1 has 3 rows and -3 columns"},
        {R"({"fields": [{}, {"lookup": {"29": 5}}, {}]})", "field 1 data lie outside the data section"},
        {R"({"fields": [{}, {"lookup": {"15": -1}}, {}]})", "field 1 has a negative record length"},
        {R"({"fields": [{}, {"lookup": {"18": 100000}}, {}]})", "field 1 data lie outside the data section"},
        {R"({"fields": [{}, {"lookup": {"15": 100000}}, {}]})", "field 1 data lie outside the data section"},
        {R"({"fields": [{}], "fixhdr": {"160": 0}})", "data section start 0 lies outside the file"},
    };
    for (const Case& x_case : cx_cases) {
        TempDir x_dir;
        std::string s_path = Generate(x_dir, x_case.s_json);
        ReadResult x_read;
        ReadAll(s_path, x_read);
        EXPECT_EQ(x_read.px_data, nullptr) << x_case.s_json;
        EXPECT_NE(x_read.s_fault.find(x_case.s_reason), std::string::npos)
            << x_case.s_json << " gave: " << x_read.s_fault;
    }
}

TEST(ReadUMFile, MappedDataSectionHoldsTheSameWordsAsTheReadOne)
{
    TempDir x_dir;
    std::string s_path = Generate(x_dir, R"({"int_consts": 7, "fields": [{"rows": 5, "cols": 7}, {"pad": 3},
        {"rows": 2, "cols": 2, "data": [1.0, -2.5, null, 4.0]}]})");
    ReadResult x_read;
    ReadAll(s_path, x_read);
    ASSERT_NE(x_read.px_data, nullptr) << x_read.s_fault;
    std::string s_fault;
    int* px_mapped = MapData(s_path, x_read.px_fixhdr, x_read.px_pphdrs, s_fault);
    ASSERT_NE(px_mapped, nullptr) << s_fault;
    const int i_words = 5 * 7 + 12 + 3 + 4;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(px_mapped), 4 * i_words),
              std::string(reinterpret_cast<char*>(x_read.px_data), 4 * i_words));
    // Packing rewrites the buffer in place; the file itself must not change.
    std::string s_before = ReadFileBytes(s_path);
    px_mapped[0] = 12345;
    CleanData(px_mapped);
    EXPECT_EQ(px_mapped, nullptr);
    EXPECT_EQ(ReadFileBytes(s_path), s_before);

    x_read.px_fixhdr[159] = 2000000000;
    EXPECT_EQ(MapData(s_path, x_read.px_fixhdr, x_read.px_pphdrs, s_fault), nullptr);
    EXPECT_NE(s_fault.find("data section start"), std::string::npos) << s_fault;
}

namespace {

// A file of 40 fields of 128 x 128 and 8 of 3 x 4, mapped, with its fields in a shuffled order
// as the writer asks for them. Four large fields fill a slot of the ring, so it wraps round.
struct MappedFields
{
    TempDir x_dir;
    std::string s_path;
    ReadResult x_read;
    int* px_mapped = nullptr;
    std::vector<FieldWords> x_order;

    MappedFields()
    {
        std::string s_fields;
        for (int i_field = 0; i_field < 48; ++i_field)
            s_fields += std::string(i_field ? "," : "") +
                        (i_field % 6 == 5 ? R"({"rows": 3, "cols": 4})" : R"({"rows": 128, "cols": 128})");
        s_path = Generate(x_dir, "{\"fields\": [" + s_fields + "]}");
        ReadAll(s_path, x_read);
        std::string s_fault;
        px_mapped = MapData(s_path, x_read.px_fixhdr, x_read.px_pphdrs, s_fault);
        const int i_start = x_read.px_fixhdr[159] - 1;
        for (int i_field = 0; i_field < 48; ++i_field) {
            const int i_begin = ReadValueFrom2D(x_read.px_fixhdr, x_read.px_pphdrs, 149, 28, i_field);
            x_order.push_back({px_mapped + (i_begin - i_start), i_field % 6 == 5 ? 12 : 128 * 128});
        }
        std::shuffle(x_order.begin(), x_order.end(), std::mt19937(7));
    }
    ~MappedFields() { CleanData(px_mapped); }
};

bool SameWords(const int* px_a, const int* px_b, long long i_count)
{
    return std::memcmp(px_a, px_b, static_cast<size_t>(i_count) * sizeof(int)) == 0;
}

// Sets the read-ahead minimum for one test and puts the default back afterwards.
struct MinimumForThisTest
{
    const long long i_default = ReadAheadMinimum();
    explicit MinimumForThisTest(long long i_words) { SetReadAheadMinimum(i_words); }
    ~MinimumForThisTest() { SetReadAheadMinimum(i_default); }
};

}  // namespace

TEST(FieldReadAhead, HandsOutTheFileWordsInTheWritersOrder)
{
    MappedFields x_file;
    ASSERT_NE(x_file.px_mapped, nullptr);
    // With a thread and a ring; without; and below the minimum, where one buffer serves.
    for (int i_case = 0; i_case < 3; ++i_case) {
        const bool b_threaded = i_case == 0;
        MinimumForThisTest x_minimum(i_case == 2 ? ReadAheadMinimum() : 0);
        FieldReadAhead x_ahead(x_file.x_order, i_case != 1);
        EXPECT_EQ(x_ahead.ReadAheadCount(), x_file.x_order.size());
        EXPECT_EQ(x_ahead.Threaded(), b_threaded);
        for (const FieldWords& x_words : x_file.x_order) {
            const int* px_words = x_ahead.Words(x_words);
            EXPECT_NE(px_words, x_words.px_words) << "not read ahead";
            EXPECT_TRUE(SameWords(px_words, x_words.px_words, x_words.i_count)) << "threaded " << b_threaded;
        }
    }
}

TEST(FieldReadAhead, WordsItCannotReadFromTheFileAreHandedOutWhereTheyLie)
{
    MappedFields x_file;
    ASSERT_NE(x_file.px_mapped, nullptr);
    MinimumForThisTest x_minimum(0);
    // Packing changes a copy taken out of the mapping, which then keeps what the file holds.
    const FieldWords x_mapped = x_file.x_order[2];
    int* px_copy = CopyOutOfMapping(const_cast<int*>(x_mapped.px_words), x_mapped.i_count);
    ASSERT_NE(px_copy, x_mapped.px_words);
    EXPECT_TRUE(SameWords(px_copy, x_mapped.px_words, x_mapped.i_count));
    const int i_file_word = x_mapped.px_words[0];
    px_copy[0] = 424242;
    FieldWords x_changed{px_copy, x_mapped.i_count};
    std::vector<int> x_unmapped(12, 5);
    EXPECT_EQ(CopyOutOfMapping(x_unmapped.data(), 12), x_unmapped.data());
    std::vector<FieldWords> x_order = x_file.x_order;
    x_order[2] = x_changed;
    x_order.insert(x_order.begin() + 4, FieldWords{x_unmapped.data(), 12});
    FieldReadAhead x_ahead(x_order);
    EXPECT_EQ(x_ahead.ReadAheadCount(), x_order.size() - 2);
    for (size_t i_request = 0; i_request < x_order.size(); ++i_request) {
        const FieldWords& x_words = x_order[i_request];
        const int* px_words = x_ahead.Words(x_words);
        EXPECT_TRUE(SameWords(px_words, x_words.px_words, x_words.i_count)) << "request " << i_request;
        if (i_request == 2 || i_request == 4) {
            EXPECT_EQ(px_words, x_words.px_words) << "request " << i_request;
        }
    }
    EXPECT_EQ(x_changed.px_words[0], 424242);
    EXPECT_EQ(x_mapped.px_words[0], i_file_word);

    // A request other than the next one expected is read from the file on its own.
    FieldReadAhead x_skipping(x_file.x_order);
    const int* px_skipped = x_skipping.Words(x_file.x_order[1]);
    EXPECT_NE(px_skipped, x_file.x_order[1].px_words);
    EXPECT_TRUE(SameWords(px_skipped, x_file.x_order[1].px_words, x_file.x_order[1].i_count));

    int i_fd = -1;
    long long i_offset = 0;
    EXPECT_FALSE(MappedFileRange(x_unmapped.data(), 12, i_fd, i_offset));
    EXPECT_FALSE(MappedFileRange(x_file.x_order[0].px_words, 1LL << 40, i_fd, i_offset));
    ASSERT_TRUE(MappedFileRange(x_file.px_mapped, 1, i_fd, i_offset));
    EXPECT_EQ(i_offset, 4LL * (x_file.x_read.px_fixhdr[159] - 1));
}

TEST(ReadUMFile, CopiesOutOfTheMappingHoldTheFileWordsUntilItIsReleased)
{
    MappedFields x_file;
    ASSERT_NE(x_file.px_mapped, nullptr);
    // Enough copies of small and large fields to need several blocks of room.
    std::vector<std::pair<int*, FieldWords>> x_copies;
    for (int i_round = 0; i_round < 4; ++i_round)
        for (const FieldWords& x_words : x_file.x_order)
            x_copies.push_back({CopyOutOfMapping(const_cast<int*>(x_words.px_words), x_words.i_count), x_words});
    for (const auto& x_copy : x_copies) {
        ASSERT_NE(x_copy.first, x_copy.second.px_words);
        ASSERT_TRUE(SameWords(x_copy.first, x_copy.second.px_words, x_copy.second.i_count));
    }
}

TEST(ReadUMFile, ACopyOfALargeFieldHoldsEveryWordUpToItsLast)
{
    // 2,051 x 2,053 words: more than a quarter of a block of room, and no whole number of huge
    // pages, so the copy gets a mapping of its own that is rounded up.
    TempDir x_dir;
    const std::string s_path = Generate(x_dir, R"({"fields": [{"rows": 2051, "cols": 2053}]})");
    ReadResult x_read;
    ReadAll(s_path, x_read);
    std::string s_fault;
    int* px_mapped = MapData(s_path, x_read.px_fixhdr, x_read.px_pphdrs, s_fault);
    ASSERT_NE(px_mapped, nullptr) << s_fault;
    const long long i_count = 2051LL * 2053;
    int* px_copy = CopyOutOfMapping(px_mapped, i_count);
    ASSERT_NE(px_copy, px_mapped);
    EXPECT_TRUE(SameWords(px_copy, px_mapped, i_count));
    px_copy[i_count - 1] = -7;
    EXPECT_NE(px_mapped[i_count - 1], -7);
    CleanData(px_mapped);
}

TEST(FieldReadAhead, AnInputCutShortDuringTheConversionIsReportedAndLeavesNoOutput)
{
    // With the reader thread, and with the single buffer of a small conversion.
    for (long long i_minimum : {0LL, ReadAheadMinimum()}) {
        MappedFields x_file;
        ASSERT_NE(x_file.px_mapped, nullptr);
        std::list<Variable> x_vars;
        std::string s_fault;
        ExtractVarFields(x_file.x_read.px_fixhdr, x_file.x_read.px_pphdrs, x_file.px_mapped, x_vars, GridConstants(),
                         s_fault);
        ASSERT_EQ(truncate(x_file.s_path.c_str(), 4LL * (x_file.x_read.px_fixhdr[159] - 1)), 0);
        // Packing takes its values out of the mapping by reading the file, not the mapped pages.
        EXPECT_THROW(x_vars.front().GetVarFields().front().GetDataToChange(), InputChanged);
        MinimumForThisTest x_minimum(i_minimum);
        VarLevTrans x_trans(x_file.x_dir.File("absent.xml"));
        GlobalAtts x_gatts;
        const int x_date[6] = {1970, 1, 1, 0, 0, 0};
        const std::string s_output = x_file.x_dir.File("out.nc");
        EXPECT_THROW(WriteNetCDFFile(s_output, x_vars, MTime(x_date, 2), x_trans, x_gatts), InputChanged);
        EXPECT_FALSE(PathExists(s_output)) << "minimum " << i_minimum;
    }
    // Words that were not read ahead (a row too wide for the ring, or no ring at all) are read
    // when asked for: handing out the mapped pages of a file cut short would end the process.
    MappedFields x_file;
    ASSERT_NE(x_file.px_mapped, nullptr);
    FieldReadAhead x_nothing_ahead({});
    ASSERT_EQ(truncate(x_file.s_path.c_str(), 4LL * (x_file.x_read.px_fixhdr[159] - 1)), 0);
    EXPECT_THROW(x_nothing_ahead.Words(x_file.x_order[0]), InputChanged);
}
