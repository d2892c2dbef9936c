// WGDOS decoder on small hand-made streams: each layout feature once, then a table of corrupt
// streams. Expected values are worked out by hand from the bits written here. The suite is named
// in lower case so that "ctest -R wgdos" selects it with the end-to-end tests.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "WgdosDecoder.h"

namespace {

const float cf_bmdi = -999.0f;
// IBM single-precision words: sign, 7-bit base-16 exponent offset by 64, 24-bit fraction.
const uint32_t ci_ibm_one = 0x41100000;        // 1/16 * 16
const uint32_t ci_ibm_half = 0x40800000;       // 8/16 * 1
const uint32_t ci_ibm_225 = 0x42E10000;        // 225/256 * 256
const uint32_t ci_ibm_100 = 0x42640000;        // 100/256 * 256
const uint32_t ci_ibm_minus_2_5 = 0xC1280000;  // -(40/256 * 16)
const uint32_t ci_ibm_zero_e66 = 0x42000000;   // fraction 0: zero whatever the exponent
const uint32_t ci_ibm_minus_2_23 = 0xC6800000; // -(8/16 * 16^6)

// The flag word: flags and bits per value in the high half, the row's following words in the low.
uint32_t Head(uint32_t i_flags, uint32_t i_count)
{
    return i_flags << 16 | i_count;
}

// Header words (total first) and rows; a total of 0 stands for the true word count.
std::vector<uint32_t> Stream(int32_t i_exponent, uint32_t i_cols, uint32_t i_rows,
                             const std::vector<std::vector<uint32_t>>& x_rows, uint32_t i_total = 0)
{
    std::vector<uint32_t> x_words = {i_total, static_cast<uint32_t>(i_exponent), i_cols << 16 | i_rows};
    for (const std::vector<uint32_t>& x_row : x_rows)
        x_words.insert(x_words.end(), x_row.begin(), x_row.end());
    if (i_total == 0)
        x_words[0] = static_cast<uint32_t>(x_words.size());
    return x_words;
}

struct Decoded
{
    bool b_ok;
    std::vector<float> x_values;
    std::string s_fault;
};

// Decodes the words, written big-endian into a buffer of exactly their size (plus i_extra
// bytes of record), so that the sanitizer build catches any read past the record.
Decoded Decode(const std::vector<uint32_t>& x_words, long long i_rows, long long i_cols,
               size_t i_extra = 0)
{
    size_t i_bytes = 4 * x_words.size() + i_extra;
    std::unique_ptr<unsigned char[]> px_record(new unsigned char[i_bytes > 0 ? i_bytes : 1]);
    std::memset(px_record.get(), 0xA5, i_bytes);
    for (size_t i = 0; i < x_words.size(); ++i)
        for (int i_byte = 0; i_byte < 4; ++i_byte)
            px_record[4 * i + i_byte] = static_cast<unsigned char>(x_words[i] >> (24 - 8 * i_byte));
    Decoded x_out;
    bool b_small = i_rows > 0 && i_cols > 0 && i_rows <= 4096 / i_cols;
    x_out.x_values.assign(b_small ? i_rows * i_cols : 1, 12345.0f);
    x_out.b_ok = DecodeWgdos(px_record.get(), i_bytes, i_rows, i_cols, cf_bmdi, x_out.x_values.data(),
                             x_out.s_fault);
    return x_out;
}

struct GoodCase
{
    const char* s_name;
    long long i_rows;
    long long i_cols;
    std::vector<uint32_t> x_words;
    std::vector<float> x_expected;
    size_t i_extra;  // record bytes after the stream
};

// The 2 x 3 field of TwoRowsTheFirstAllBase, with the header's rows and columns as given.
std::vector<uint32_t> TwoRows(uint32_t i_cols, uint32_t i_rows)
{
    // Row 1: n = 0 and one unused word, which the next row must skip. Row 2: n = 2, ks 3 0 2.
    return Stream(0, i_cols, i_rows,
                  {{ci_ibm_225, Head(0, 1), 0xDEADBEEF}, {ci_ibm_minus_2_5, Head(2, 1), 0xC8000000}});
}

const std::vector<float> cx_two_rows = {225.0f, 225.0f, 225.0f, 0.5f, -2.5f, -0.5f};

const GoodCase cx_good[] = {
    // Step 0.5, n = 3, ks 0 1 5 7 = 000 001 101 111; the record has a spare word after the stream.
    {"plain", 1, 4, Stream(-1, 4, 1, {{ci_ibm_one, Head(3, 1), 0x06F00000}}), {1.0f, 1.5f, 3.5f, 4.5f}, 4},
    {"n0_then_negative_base_row_skipped_by_count", 2, 3, TwoRows(3, 2), cx_two_rows, 0},
    {"rows_and_columns_transposed_in_header", 2, 3, TwoRows(2, 3), cx_two_rows, 0},
    // Missing bitmap 01001, then ks 1 3 2 (n = 2, step 1) for columns 0, 2, 3.
    {"missing_bitmap", 1, 5, Stream(0, 5, 1, {{ci_ibm_one, Head(32 | 2, 2), 0x48000000, 0x78000000}}),
     {2.0f, cf_bmdi, 4.0f, 3.0f, cf_bmdi}, 0},
    // Minimum bitmap 1010, then ks 15 1 (n = 4, step 4) for columns 1, 3.
    {"minimum_bitmap", 1, 4, Stream(2, 4, 1, {{ci_ibm_100, Head(64 | 4, 2), 0xA0000000, 0xF1000000}}),
     {100.0f, 160.0f, 100.0f, 104.0f}, 0},
    // Zero bitmap 10110 (0 = zero), then ks 31 0 9 (n = 5, step 0.25) for columns 0, 2, 3.
    {"zero_bitmap", 1, 5, Stream(-2, 5, 1, {{ci_ibm_minus_2_5, Head(128 | 5, 2), 0xB0000000, 0xF8120000}}),
     {5.25f, 0.0f, -2.5f, -0.25f, 0.0f}, 0},
    // Three 12-bit bitmaps back to back in 36 bits, padded together to 2 words (not 3): missing
    // 100000000000, minimum 110000000000 (column 0 in both: missing wins), zero 110111111111;
    // then 9 bytes of ks 1..8, 255.
    {"three_bitmaps_padded_together", 1, 12,
     Stream(0, 12, 1,
            {{ci_ibm_half, Head(32 | 64 | 128 | 8, 5), 0x800C00DF, 0xF0000000, 0x01020304, 0x05060708,
              0xFF000000}}),
     {cf_bmdi, 0.5f, 0.0f, 1.5f, 2.5f, 3.5f, 4.5f, 5.5f, 6.5f, 7.5f, 8.5f, 255.5f}, 0},
    // The widest integers (n = 31), the second crossing a word: ks 2^31 - 1 and 1 from a base of
    // -2^23 in steps of 2^-8. In float, k would round to 2^31 and the first value to 0.
    {"n31_across_words", 1, 2, Stream(-8, 2, 1, {{ci_ibm_minus_2_23, Head(31, 2), 0xFFFFFFFE, 0x00000004}}),
     {-0.00390625f, -8388608.0f}, 0},
    // A zero fraction with a non-zero exponent is zero; ks 1 0 (n = 1, step 1/8).
    {"ibm_zero_base", 1, 2, Stream(-3, 2, 1, {{ci_ibm_zero_e66, Head(1, 1), 0x80000000}}),
     {0.125f, 0.0f}, 0},
};

struct BadCase
{
    const char* s_name;
    long long i_rows;
    long long i_cols;
    std::vector<uint32_t> x_words;
    const char* s_fault;  // text the reason must contain
    size_t i_extra;
};

const std::vector<uint32_t> cx_plain_row = {ci_ibm_one, Head(3, 1), 0x06F00000};

const BadCase cx_bad[] = {
    {"empty_record", 1, 4, {}, "shorter than its 3-word header", 0},
    {"record_shorter_than_header", 1, 4, {9, 0}, "shorter than its 3-word header", 3},
    {"stated_length_below_header", 1, 4, Stream(0, 4, 1, {cx_plain_row}, 2), "shorter than its header", 0},
    {"total_words_past_record", 1, 4, Stream(0, 4, 1, {cx_plain_row}, 7), "runs past its record of 6", 0},
    {"total_words_all_ones", 1, 4, Stream(0, 4, 1, {cx_plain_row}, 0xFFFFFFFF), "runs past its record", 0},
    {"product_of_rows_and_columns_wrong", 1, 4, Stream(0, 3, 1, {cx_plain_row}), "header gives 3 x 1", 0},
    {"no_rows_in_lookup", 0, 4, Stream(0, 4, 1, {cx_plain_row}), "header gives", 0},
    {"lookup_counts_that_overflow", 1LL << 40, 1LL << 40, Stream(0, 4, 1, {cx_plain_row}), "header gives", 0},
    {"row_word_count_past_stream", 1, 4, Stream(0, 4, 1, {{ci_ibm_one, Head(3, 2), 0x06F00000}}),
     "row 1 runs past its stream", 0},
    // The record goes on, but the stream's own length ends the rows.
    {"row_word_count_past_stream_inside_record", 1, 4,
     Stream(0, 4, 1, {{ci_ibm_one, Head(3, 2), 0x06F00000}}, 5), "row 1 runs past its stream", 8},
    {"row_without_flag_word", 1, 4, Stream(0, 4, 1, {{ci_ibm_one}}), "row 1 runs past its stream", 0},
    {"fewer_rows_than_lookup", 2, 2, Stream(0, 2, 2, {cx_plain_row}), "row 2 runs past its stream", 0},
    {"unknown_flag_bit", 1, 4, Stream(0, 4, 1, {{ci_ibm_one, Head(256 | 3, 1), 0x06F00000}}),
     "row 1 has unknown flags 259", 0},
    {"bitmap_longer_than_row", 1, 40, Stream(0, 40, 1, {{ci_ibm_one, Head(32, 1), 0}}),
     "row 1 bitmaps run past its 1 words", 0},
    {"values_longer_than_row", 1, 5, Stream(0, 5, 1, {{ci_ibm_one, Head(8, 1), 0}}),
     "row 1 needs more than its 1 words", 0},
    {"values_after_bitmaps_longer_than_row", 1, 12,
     Stream(0, 12, 1, {{ci_ibm_half, Head(32 | 64 | 128 | 8, 4), 0x800400DF, 0xF0000000, 0x01020304, 0x05060708}}),
     "row 1 needs more than its 4 words", 0},
};

}  // namespace

TEST(wgdos, DecodesHandMadeStreams)
{
    for (const GoodCase& x_case : cx_good) {
        SCOPED_TRACE(x_case.s_name);
        Decoded x_out = Decode(x_case.x_words, x_case.i_rows, x_case.i_cols, x_case.i_extra);
        ASSERT_TRUE(x_out.b_ok) << x_out.s_fault;
        EXPECT_TRUE(x_out.s_fault.empty());
        ASSERT_EQ(x_out.x_values.size(), x_case.x_expected.size());
        for (size_t i = 0; i < x_case.x_expected.size(); ++i)
            EXPECT_EQ(x_out.x_values[i], x_case.x_expected[i]) << "point " << i;
    }
}

TEST(wgdos, RejectsCorruptStreams)
{
    for (const BadCase& x_case : cx_bad) {
        SCOPED_TRACE(x_case.s_name);
        Decoded x_out = Decode(x_case.x_words, x_case.i_rows, x_case.i_cols, x_case.i_extra);
        EXPECT_FALSE(x_out.b_ok);
        EXPECT_NE(x_out.s_fault.find(x_case.s_fault), std::string::npos) << x_out.s_fault;
    }
}
