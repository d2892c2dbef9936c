// A UM file of any layout read into the 32-bit model the rest of the program knows: after this
// nothing can tell which layout the file had.
#ifndef TESSOLD_NORMALISEDFILE_H
#define TESSOLD_NORMALISEDFILE_H

#include <string>
#include <vector>

#include "ReadUMFile.h"
#include "UMLayout.h"

struct NormalisedFile
{
    FileLayout x_layout;
    // Set before reading: the lookup is read and checked, but no field's packing is checked and
    // no value is read (px_data stays empty), as a listing needs.
    bool b_headers_only = false;
    UMArrays x_arrays;            // all arrays allocated with new[] (UMArrays' destructor releases them)
    std::vector<int> x_lbpack;    // per field, the LBPACK it had in the file
    // Per field: the PP extra data's y and x vectors, empty when none.
    std::vector<std::vector<float>> x_field_lats, x_field_lons;
};

// Reads a file of any layout into the 32-bit model: fixed header (PP: synthesised), constants,
// the valid lookup entries (spares left out) and every field's values unpacked, one field after
// another, in px_data. Each normalised entry is 64 words; its LBEGIN (29) is the 0-based index
// of its values in px_data, LBLREC (15) and LBNREC (30) are rows*cols and LBPACK (21) is 0; the
// fixed header's word 150 (lookup start) is 1, 151 (entry length) 64, 152 the field count, 160
// (data start) 1 and 161 the number of values. A file without valid fields gives no arrays for
// the lookup and the data and is no fault. False with s_fault set ("field 3 data lie outside the
// file", "lookup entry 2 holds 4294967296 in word 18, which does not fit 32 bits", "field 1 is
// packed (LBPACK=4), which this program cannot read", ...) on any fault. x_out must be fresh.
bool ReadNormalised(const std::string& s_path, const FileLayout& x_layout, NormalisedFile& x_out,
                    std::string& s_fault);

#endif
