// Turns the valid fields a layout reader found into the normalised arrays: checks each field's
// packing, unpacks its stored values (plain words, 32-bit values two to an 8-byte word, or WGDOS)
// into one buffer of 32-bit words, field after field, and rewrites its lookup entry to point
// there. LBPACK (21) has the decimal digits thousands (number format: 0 native, 2 and 3 IEEE,
// 1 IBM), hundreds and tens (compression and its mask: land/sea compression and the like) and
// units (0 none, 1 WGDOS, 2 32-bit, 3 GRIB, 4 run-length ...); only the IEEE formats without
// compression and with units 0, 1 or 2 are read.
#include "NormaliseFields.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "MappedInput.h"
#include "ToString.h"
#include "WgdosDecoder.h"

namespace {

const int ci_lookup_pos = FH_LOOKUP_START - 1;
const int ci_data_start_pos = FH_DATA_START - 1;
// WGDOS stores a field's rows and columns in 16 bits each, and every row takes at least its base
// and flag words after the 3-word header.
const long long ci_wgdos_max_side = 0xFFFF;
const long long ci_wgdos_header_words = 3;
const long long ci_wgdos_row_words = 2;

// Returns the field's number of values, rows * cols (each at most 2^31, so no overflow).
long long Values(const int* px_entry)
{
    return static_cast<long long>(px_entry[LBROW - 1]) * px_entry[LBNPT - 1];
}

// True when the field's values are integers (LBUSER1, the data type, 2) or logicals (3), not reals.
bool HoldsIntegers(const int* px_entry)
{
    return px_entry[LBUSER1 - 1] == 2 || px_entry[LBUSER1 - 1] == 3;
}

// Checks that a WGDOS field's rows and columns can be held by its record before anything is
// allocated for them: the most values a record can stand for is 65535 per two words.
std::string CheckWgdosSize(const int* px_entry, int i_field, long long i_record_bytes)
{
    const long long i_rows = px_entry[LBROW - 1];
    const long long i_cols = px_entry[LBNPT - 1];
    const long long i_words = i_record_bytes / 4;
    if (i_rows > ci_wgdos_max_side || i_cols > ci_wgdos_max_side ||
        i_rows > (i_words - ci_wgdos_header_words) / ci_wgdos_row_words)
        return "field " + ToString(i_field, 0, ' ') + " has " + ToString(i_rows, 0, ' ') + " rows and " +
               ToString(i_cols, 0, ' ') + " columns, more than its WGDOS record of " +
               ToString(i_words, 0, ' ') + " words can hold";
    return std::string();
}

// Unpacks one field's stored bytes into px_out (rows*cols 32-bit words); returns the fault, or empty.
// x_floats is room for decoded values that the fields share: fresh room for each field would
// cost the first touch of every page again.
std::string UnpackField(const unsigned char* px_bytes, long long i_bytes, const int* px_entry, int i_field,
                        const FileLayout& x_layout, std::vector<float>& x_floats, int* px_out)
{
    const int i_units = px_entry[LBPACK - 1] % 10;
    const long long i_values = Values(px_entry);
    if (i_units == 1) {
        float f_bmdi;
        std::memcpy(&f_bmdi, &px_entry[BMDI - 1], sizeof f_bmdi);
        x_floats.resize(static_cast<size_t>(i_values));
        std::string s_fault;
        if (!DecodeWgdos(px_bytes, static_cast<size_t>(i_bytes), px_entry[LBROW - 1],
                         px_entry[LBNPT - 1], f_bmdi, x_floats.data(), s_fault))
            return "field " + ToString(i_field, 0, ' ') + ": " + s_fault;
        std::memcpy(px_out, x_floats.data(), x_floats.size() * sizeof(float));
        return std::string();
    }
    // 32-bit packing keeps 4-byte values in the file's byte order, whatever the word size, the
    // first value in the first four bytes of a word.
    FileLayout x_values_layout = x_layout;
    if (i_units == 2)
        x_values_layout.i_word_bytes = 4;
    return ConvertWords(px_bytes, i_values, !HoldsIntegers(px_entry), x_values_layout, px_out,
                        "field " + ToString(i_field, 0, ' '));
}

}  // namespace

std::string AppendEntry(const unsigned char* px_entry, const FileLayout& x_layout, const std::string& s_place,
                        std::vector<int>& x_lookup)
{
    const size_t i_at = x_lookup.size();
    x_lookup.resize(i_at + ci_lookup_words);
    ConvertWords(px_entry + ci_entry_int_words * x_layout.i_word_bytes, ci_lookup_words - ci_entry_int_words, true,
                 x_layout, &x_lookup[i_at + ci_entry_int_words], s_place);
    return ConvertWords(px_entry, ci_entry_int_words, false, x_layout, &x_lookup[i_at], s_place);
}

std::string CheckFieldPacking(const int* px_entry, int i_field, bool b_headers_only)
{
    std::string s_fault = CheckFieldShape(px_entry, i_field);
    if (!s_fault.empty() || b_headers_only)
        return s_fault;
    const int i_lbpack = px_entry[LBPACK - 1];
    const int i_units = i_lbpack % 10;
    const int i_format = i_lbpack / 1000;
    // WGDOS packs reals; integers packed so would come back as reals.
    const bool b_known = i_lbpack >= 0 && i_lbpack < 10000 && (i_lbpack / 10) % 100 == 0 &&
                         (i_format == 0 || i_format == 2 || i_format == 3) && i_units <= 2 &&
                         !(i_units == 1 && HoldsIntegers(px_entry));
    if (!b_known)
        return "field " + ToString(i_field, 0, ' ') + " is packed (LBPACK=" + ToString(i_lbpack, 0, ' ') +
               "), which this program cannot read";
    return std::string();
}

long long StoredBytes(const int* px_entry, long long i_record_words, const FileLayout& x_layout)
{
    const long long i_wb = x_layout.i_word_bytes;
    const long long i_per_word = i_wb / 4;
    const int i_units = px_entry[LBPACK - 1] % 10;
    long long i_words = Values(px_entry);
    if (i_units == 2)
        i_words = (i_words + i_per_word - 1) / i_per_word;
    else if (i_units != 0)
        i_words = i_record_words;
    return i_words > LLONG_MAX / i_wb ? LLONG_MAX : i_words * i_wb;
}

bool AssembleFields(const LayoutFile& x_file, std::vector<int>& x_lookup, const std::vector<FieldSpan>& x_spans,
                    NormalisedFile& x_out, std::string& s_fault)
{
    const int i_count = static_cast<int>(x_spans.size());
    long long i_total = 0;
    for (int i_field = 0; i_field < i_count; ++i_field) {
        const int* px_entry = &x_lookup[static_cast<size_t>(i_field) * ci_lookup_words];
        if (px_entry[LBPACK - 1] % 10 == 1 && !x_out.b_headers_only)
            s_fault = CheckWgdosSize(px_entry, i_field, x_spans[static_cast<size_t>(i_field)].i_bytes);
        if (!s_fault.empty())
            return false;
        i_total += Values(px_entry);
        // Normalised addresses are 32-bit words, as in the files the model reads.
        if (i_total > INT_MAX) {
            s_fault = "fields 0 to " + ToString(i_field, 0, ' ') + " hold more than " + ToString(INT_MAX, 0, ' ') +
                      " values";
            return false;
        }
    }
    UMArrays& x_arrays = x_out.x_arrays;
    try {
        if (i_count > 0) {
            x_arrays.px_pphdrs = new int[static_cast<size_t>(i_count) * ci_lookup_words];
            x_arrays.px_data = x_out.b_headers_only ? nullptr : new int[static_cast<size_t>(i_total)];
            if (x_arrays.px_data != nullptr)
                AdviseHugePages(x_arrays.px_data, static_cast<size_t>(i_total) * sizeof(int));
        }
    } catch (const std::bad_alloc&) {
        s_fault = "the fields' " + ToString(i_total, 0, ' ') + " values do not fit in memory";
        return false;
    }
    std::vector<unsigned char> x_bytes;
    std::vector<float> x_floats;
    long long i_next = 0;
    for (int i_field = 0; i_field < i_count; ++i_field) {
        int* px_entry = &x_lookup[static_cast<size_t>(i_field) * ci_lookup_words];
        const FieldSpan& x_span = x_spans[static_cast<size_t>(i_field)];
        if (!x_out.b_headers_only && !x_file.Read(x_span.i_offset, x_span.i_bytes, x_bytes)) {
            s_fault = "field " + ToString(i_field, 0, ' ') + " data could not be read";
            return false;
        }
        if (!x_out.b_headers_only)
            s_fault = UnpackField(x_bytes.data(), x_span.i_bytes, px_entry, i_field, x_out.x_layout, x_floats,
                                  x_arrays.px_data + i_next);
        if (!s_fault.empty())
            return false;
        const long long i_values = Values(px_entry);
        x_out.x_lbpack.push_back(px_entry[LBPACK - 1]);
        px_entry[LBPACK - 1] = 0;
        px_entry[LBLREC - 1] = px_entry[LBNREC - 1] = static_cast<int>(i_values);
        px_entry[LBEGIN - 1] = static_cast<int>(i_next);
        i_next += i_values;
    }
    if (i_count > 0)
        std::copy(x_lookup.begin(), x_lookup.end(), x_arrays.px_pphdrs);
    x_out.x_field_lats.resize(static_cast<size_t>(i_count));
    x_out.x_field_lons.resize(static_cast<size_t>(i_count));
    int* px_fixhdr = x_arrays.px_fixhdr;
    px_fixhdr[ci_lookup_pos] = 1;
    px_fixhdr[ci_lookup_pos + 1] = ci_lookup_words;
    px_fixhdr[ci_lookup_pos + 2] = i_count;
    px_fixhdr[ci_data_start_pos] = 1;
    px_fixhdr[ci_data_start_pos + 1] = static_cast<int>(i_total);
    return true;
}

bool ReadNormalised(const std::string& s_path, const FileLayout& x_layout, NormalisedFile& x_out,
                    std::string& s_fault)
{
    s_fault.clear();
    x_out.x_layout = x_layout;
    const bool b_sizes = (x_layout.i_word_bytes == 4 || x_layout.i_word_bytes == 8) &&
                         (x_layout.x_kind != FileLayout::PPFile || x_layout.i_marker_bytes == 4 ||
                          x_layout.i_marker_bytes == 8);
    if (!b_sizes) {
        s_fault = "the layout " + x_layout.Describe() + " is not one this program reads";
        return false;
    }
    LayoutFile x_file(s_path);
    if (!x_file.IsOpen()) {
        s_fault = "the file could not be opened";
        return false;
    }
    if (x_layout.x_kind == FileLayout::PPFile)
        return ReadPPFile(x_file, x_out, s_fault);
    return ReadFieldsFileAny(x_file, x_out, s_fault);
}
