// Decodes WGDOS-packed fields into floats.
// The stream is big-endian 32-bit words whatever the file's word size. Header: total words
// (header included), the accuracy exponent e (signed; the step is 2^e), columns << 16 | rows.
// Per row: the base as an IBM single (sign, 7-bit base-16 exponent offset by 64, 24-bit
// fraction); a word whose high half holds the flags (32 missing, 64 minimum, 128 zero bitmap)
// or-ed with the bits per value n in its low 5 bits, and whose low half counts the words that
// follow for the row; the bitmaps present, in the order missing, minimum, zero, one bit per
// column, high bit first, written back to back with only the end of the last one padded to a
// word; then the n-bit integers k of the points no bitmap covers, from that word boundary,
// high bit first. A missing bit 1 gives BMDI, a minimum bit 1 the base, a zero bit 0 gives 0
// (in that order of precedence); other points are base + k * 2^e in double, rounded to float.
// Reading the bitmaps as one run padded once follows the format's description; the real files
// in tests/data/realdata cannot tell it from padding each bitmap (their rows carry one bitmap, or
// have 96 columns), but they do show that the integers start on a word boundary: their 600-column
// rows with zero bitmaps decode to the independent statistics only that way. Rows are walked with
// the lookup's counts, since real headers sometimes swap rows and columns; each row starts where
// the previous row's word count says, which may leave unused words behind.
#include "WgdosDecoder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "ToString.h"

namespace {

const long long ci_header_words = 3;
const long long ci_row_head_words = 2;
const uint32_t ci_flag_missing = 32;
const uint32_t ci_flag_min = 64;
const uint32_t ci_flag_zero = 128;
const uint32_t ci_width_mask = 31;
const uint32_t ci_known_flags = ci_flag_missing | ci_flag_min | ci_flag_zero | ci_width_mask;
// Steps outside 2^-1100 .. 2^990 give the same floats as these bounds (every non-zero offset
// overflows or vanishes), and clamping keeps k * step finite, so k = 0 never makes 0 * inf.
const int ci_min_exponent = -1100;
const int ci_max_exponent = 990;

// Returns the big-endian 32-bit word at px_word.
inline uint32_t ReadWord(const unsigned char* px_word)
{
    return static_cast<uint32_t>(px_word[0]) << 24 | static_cast<uint32_t>(px_word[1]) << 16 |
           static_cast<uint32_t>(px_word[2]) << 8 | static_cast<uint32_t>(px_word[3]);
}

// Returns the exact value of an IBM single-precision word.
double IbmToDouble(uint32_t i_word)
{
    int i_exponent = static_cast<int>((i_word >> 24) & 0x7F) - 64;
    double d_value = std::ldexp(static_cast<double>(i_word & 0xFFFFFF), 4 * i_exponent - 24);
    return (i_word >> 31) != 0 ? -d_value : d_value;
}

// Reads bit fields of 0 to 32 bits, high bit first, from the words in [px_next, px_end),
// holding the bits not yet taken in a 64-bit accumulator.
class BitReader
{
public:
    // Starts i_skip bits into the word at px_start.
    BitReader(const unsigned char* px_start, const unsigned char* px_stop, long long i_skip)
        : px_next(px_start + 4 * (i_skip / 32)), px_end(px_stop)
    {
        uint32_t i_ignored;
        if (i_skip % 32 != 0)
            Take(static_cast<unsigned>(i_skip % 32), i_ignored);
    }

    // Takes the next i_width (0 to 32) bits into i_value; false when they lie past the end.
    bool Take(unsigned i_width, uint32_t& i_value)
    {
        if (i_have < i_width) {
            if (px_next >= px_end)
                return false;
            x_acc = x_acc << 32 | ReadWord(px_next);
            px_next += 4;
            i_have += 32;
        }
        i_have -= i_width;
        i_value = static_cast<uint32_t>((x_acc >> i_have) & ((uint64_t{1} << i_width) - 1));
        return true;
    }

private:
    const unsigned char* px_next;
    const unsigned char* px_end;
    uint64_t x_acc = 0;
    unsigned i_have = 0;
};

// Where one row's words lie and how to read them.
struct RowLayout
{
    const unsigned char* px_body;  // first word after the base and flag words
    const unsigned char* px_end;   // end of the row's counted words
    uint32_t i_flags;
    unsigned i_width;
    double d_base;
    double d_step;
};

// Returns the fault of a row, counted from 1.
std::string RowFault(long long i_row, const std::string& s_what)
{
    return "WGDOS row " + ToString(i_row + 1, 0, ' ') + " " + s_what;
}

// Decodes i_count consecutive points that no bitmap covers; false when the row's words run out.
inline bool DecodeRun(BitReader& x_values, const RowLayout& x_row, long long i_count, float* pf_out)
{
    if (x_row.i_width == 0) {
        std::fill(pf_out, pf_out + i_count, static_cast<float>(x_row.d_base));
        return true;
    }
    uint32_t i_k;
    for (long long i = 0; i < i_count; ++i) {
        if (!x_values.Take(x_row.i_width, i_k))
            return false;
        pf_out[i] = static_cast<float>(x_row.d_base + static_cast<double>(i_k) * x_row.d_step);
    }
    return true;
}

// Decodes a row with bitmaps whose values start at word i_map_words of its body. Takes the
// bitmaps 32 columns at a time, so that a block with no covered point decodes as a plain run.
bool DecodeMappedRow(const RowLayout& x_row, long long i_cols, long long i_map_words, float f_bmdi,
                     float* pf_row)
{
    const unsigned char* px_maps_end = x_row.px_body + 4 * i_map_words;
    long long i_skip = 0;
    // A reader on each absent bitmap starts at its end and is never asked for a bit.
    const auto x_map = [&](uint32_t i_flag) {
        BitReader x_reader(x_row.px_body, px_maps_end, i_skip);
        if ((x_row.i_flags & i_flag) != 0)
            i_skip += i_cols;
        return x_reader;
    };
    BitReader x_missing = x_map(ci_flag_missing);
    BitReader x_min = x_map(ci_flag_min);
    BitReader x_zero = x_map(ci_flag_zero);
    const bool b_missing = (x_row.i_flags & ci_flag_missing) != 0;
    const bool b_min = (x_row.i_flags & ci_flag_min) != 0;
    const bool b_zero = (x_row.i_flags & ci_flag_zero) != 0;
    BitReader x_values(px_maps_end, x_row.px_end, 0);
    const float f_base = static_cast<float>(x_row.d_base);
    for (long long i_col = 0; i_col < i_cols; i_col += 32) {
        const unsigned i_block = static_cast<unsigned>(std::min(32LL, i_cols - i_col));
        const unsigned i_shift = 32 - i_block;
        // The block's first column goes to the high bit. The bitmaps were checked to fit the
        // row, so these reads cannot fail.
        uint32_t i_missing = 0, i_min = 0, i_nonzero = ~0u;
        if ((b_missing && !x_missing.Take(i_block, i_missing)) || (b_min && !x_min.Take(i_block, i_min)) ||
            (b_zero && !x_zero.Take(i_block, i_nonzero)))
            return false;
        i_missing <<= i_shift;
        i_min <<= i_shift;
        if (b_zero)
            i_nonzero <<= i_shift;
        const uint32_t i_covered = (i_missing | i_min | ~i_nonzero) & (~0u << i_shift);
        float* pf_block = pf_row + i_col;
        if (i_covered == 0) {
            if (!DecodeRun(x_values, x_row, i_block, pf_block))
                return false;
            continue;
        }
        // Selects instead of branches: scattered bitmaps would make branches mispredict.
        for (unsigned i_bit = 0; i_bit < i_block; ++i_bit) {
            const uint32_t i_mask = 0x80000000u >> i_bit;
            uint32_t i_k = 0;
            if (!x_values.Take((i_covered & i_mask) != 0 ? 0 : x_row.i_width, i_k))
                return false;
            float f_value = static_cast<float>(x_row.d_base + static_cast<double>(i_k) * x_row.d_step);
            f_value = (i_nonzero & i_mask) == 0 ? 0.0f : f_value;
            f_value = (i_min & i_mask) != 0 ? f_base : f_value;
            pf_block[i_bit] = (i_missing & i_mask) != 0 ? f_bmdi : f_value;
        }
    }
    return true;
}

// Checks that the header agrees with the record and the lookup; returns the fault, or empty.
std::string CheckHeader(const unsigned char* px_stream, size_t i_bytes, long long i_rows,
                        long long i_cols)
{
    long long i_record_words = static_cast<long long>(i_bytes / 4);
    if (px_stream == nullptr || i_record_words < ci_header_words)
        return "WGDOS stream is shorter than its 3-word header";
    long long i_total = ReadWord(px_stream);
    if (i_total < ci_header_words)
        return "WGDOS stream length " + ToString(i_total, 0, ' ') + " is shorter than its header";
    if (i_total > i_record_words)
        return "WGDOS stream of " + ToString(i_total, 0, ' ') + " words runs past its record of " +
               ToString(i_record_words, 0, ' ') + " words";
    uint32_t i_shape = ReadWord(px_stream + 8);
    long long i_points = static_cast<long long>(i_shape >> 16) * (i_shape & 0xFFFF);
    // Divides before multiplying, so no lookup counts can overflow.
    if (i_rows <= 0 || i_cols <= 0 || i_rows > i_points / i_cols || i_rows * i_cols != i_points)
        return "WGDOS header gives " + ToString(i_shape >> 16, 0, ' ') + " x " +
               ToString(i_shape & 0xFFFF, 0, ' ') + " points for a field of " +
               ToString(i_rows, 0, ' ') + " rows and " + ToString(i_cols, 0, ' ') + " columns";
    return std::string();
}

}  // namespace

bool DecodeWgdos(const unsigned char* px_stream, size_t i_bytes, long long i_rows, long long i_cols,
                 float f_bmdi, float* pf_out, std::string& s_fault)
{
    s_fault = CheckHeader(px_stream, i_bytes, i_rows, i_cols);
    if (!s_fault.empty())
        return false;
    const unsigned char* px_end = px_stream + 4 * static_cast<size_t>(ReadWord(px_stream));
    int i_exponent = static_cast<int32_t>(ReadWord(px_stream + 4));
    i_exponent = std::min(std::max(i_exponent, ci_min_exponent), ci_max_exponent);
    const double d_step = std::ldexp(1.0, i_exponent);

    const unsigned char* px_pos = px_stream + 4 * ci_header_words;
    for (long long i_row = 0; i_row < i_rows; ++i_row) {
        long long i_left = (px_end - px_pos) / 4;
        if (i_left < ci_row_head_words) {
            s_fault = RowFault(i_row, "runs past its stream");
            return false;
        }
        uint32_t i_head = ReadWord(px_pos + 4);
        long long i_count = i_head & 0xFFFF;
        RowLayout x_row{px_pos + 4 * ci_row_head_words, nullptr, i_head >> 16,
                        (i_head >> 16) & ci_width_mask, IbmToDouble(ReadWord(px_pos)), d_step};
        if (i_count > i_left - ci_row_head_words) {
            s_fault = RowFault(i_row, "runs past its stream");
            return false;
        }
        if ((x_row.i_flags & ~ci_known_flags) != 0) {
            s_fault = RowFault(i_row, "has unknown flags " + ToString(x_row.i_flags, 0, ' '));
            return false;
        }
        x_row.px_end = x_row.px_body + 4 * i_count;
        long long i_maps = ((x_row.i_flags & ci_flag_missing) != 0) +
                           ((x_row.i_flags & ci_flag_min) != 0) + ((x_row.i_flags & ci_flag_zero) != 0);
        long long i_map_words = (i_maps * i_cols + 31) / 32;
        if (i_map_words > i_count) {
            s_fault = RowFault(i_row, "bitmaps run past its " + ToString(i_count, 0, ' ') + " words");
            return false;
        }
        float* pf_row = pf_out + i_row * i_cols;
        BitReader x_values(x_row.px_body, x_row.px_end, 0);
        bool b_done = i_maps == 0 ? DecodeRun(x_values, x_row, i_cols, pf_row)
                                  : DecodeMappedRow(x_row, i_cols, i_map_words, f_bmdi, pf_row);
        if (!b_done) {
            s_fault = RowFault(i_row, "needs more than its " + ToString(i_count, 0, ' ') + " words");
            return false;
        }
        px_pos = x_row.px_end;
    }
    return true;
}
