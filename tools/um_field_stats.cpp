// Prints statistics of every field of a UM file of any layout, read through DetectLayout and
// ReadNormalised: first a line {"layout": {...}}, then one JSON object a line per field with its
// rows, columns, count of values, count of missing values (equal to BMDI), and the minimum,
// maximum and mean of the others (null when all are missing), and the LBPACK it had in the file.
//
//     um_field_stats FILE
//
// Exits with 1 after a line "um_field_stats: FILE: reason" on standard error when the file's
// layout is unknown or it cannot be read.
#include <cstdio>
#include <limits>
#include <string>

#include "NormalisedFile.h"
#include "RawConvert.h"
#include "UMWords.h"

namespace {

// Returns word i_word (1-based) of normalised lookup entry i_field.
int EntryWord(const UMArrays& x_arrays, int i_field, int i_word)
{
    return x_arrays.px_pphdrs[static_cast<long long>(i_field) * FixedWord(x_arrays.px_fixhdr, FH_LOOKUP_ENTRY_WORDS) +
                              i_word - 1];
}

// Prints the statistics line of one field.
void PrintField(const NormalisedFile& x_file, int i_field)
{
    const UMArrays& x_arrays = x_file.x_arrays;
    const long long i_rows = EntryWord(x_arrays, i_field, LBROW);
    const long long i_cols = EntryWord(x_arrays, i_field, LBNPT);
    const bool b_ints = EntryWord(x_arrays, i_field, LBUSER1) == 2 || EntryWord(x_arrays, i_field, LBUSER1) == 3;
    const float f_bmdi = RAW_TO_FLOAT(static_cast<unsigned int>(EntryWord(x_arrays, i_field, BMDI)));
    const int* px_values = x_arrays.px_data + EntryWord(x_arrays, i_field, LBEGIN);
    long long i_missing = 0;
    double d_min = std::numeric_limits<double>::infinity(), d_max = -d_min, d_sum = 0.0;
    for (long long i = 0; i < i_rows * i_cols; ++i) {
        const float f_value = RAW_TO_FLOAT(static_cast<unsigned int>(px_values[i]));
        if (!b_ints && f_value == f_bmdi) {
            ++i_missing;
            continue;
        }
        const double d_value = b_ints ? static_cast<double>(px_values[i]) : static_cast<double>(f_value);
        d_min = d_value < d_min ? d_value : d_min;
        d_max = d_value > d_max ? d_value : d_max;
        d_sum += d_value;
    }
    const long long i_count = i_rows * i_cols;
    std::printf("{\"index\": %d, \"rows\": %lld, \"cols\": %lld, \"n_values\": %lld, \"n_missing\": %lld, ",
                i_field, i_rows, i_cols, i_count, i_missing);
    if (i_missing == i_count)
        std::printf("\"min\": null, \"max\": null, \"mean\": null, ");
    else
        std::printf("\"min\": %.17g, \"max\": %.17g, \"mean\": %.17g, ", d_min, d_max,
                    d_sum / static_cast<double>(i_count - i_missing));
    std::printf("\"lbpack\": %d}\n", x_file.x_lbpack[static_cast<size_t>(i_field)]);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: um_field_stats FILE\n");
        return 2;
    }
    const std::string s_path = argv[1];
    NormalisedFile x_file;
    std::string s_fault = "no known layout fits it";
    if (!DetectLayout(s_path, x_file.x_layout) || !ReadNormalised(s_path, x_file.x_layout, x_file, s_fault)) {
        std::fprintf(stderr, "um_field_stats: %s: %s\n", s_path.c_str(), s_fault.c_str());
        return 1;
    }
    const FileLayout& x_layout = x_file.x_layout;
    std::printf("{\"layout\": {\"kind\": \"%s\", \"byte_order\": \"%s\", \"word_bytes\": %d}}\n",
                x_layout.x_kind == FileLayout::PPFile ? "PP" : "FF", x_layout.b_big_endian ? "big" : "little",
                x_layout.i_word_bytes);
    for (int i_field = 0; i_field < FixedWord(x_file.x_arrays.px_fixhdr, FH_LOOKUP_ENTRIES); ++i_field)
        PrintField(x_file, i_field);
    return 0;
}
