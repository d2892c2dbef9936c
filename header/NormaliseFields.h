// What the readers of the two kinds of layout share: the packing every field must have, the bytes
// its stored values take, and the assembly of the normalised arrays from the converted lookup
// entries (64 words each, word w at [w - 1]) and the places of the fields' stored values.
#ifndef TESSOLD_NORMALISEFIELDS_H
#define TESSOLD_NORMALISEFIELDS_H

#include <string>
#include <vector>

#include "NormalisedFile.h"
#include "UMWords.h"

// In a file's lookup entry words 1-45 are integers, 46-64 reals; a normalised entry has 64 words.
const int ci_entry_int_words = 45;

// The bytes of a field's stored values in the file.
struct FieldSpan
{
    long long i_offset;
    long long i_bytes;
};

// Converts the 64 words of a lookup entry (or PP header) at px_entry and appends them to
// x_lookup; returns the fault of an integer that does not fit 32 bits ("<s_place> holds ..."), or empty.
std::string AppendEntry(const unsigned char* px_entry, const FileLayout& x_layout, const std::string& s_place,
                        std::vector<int>& x_lookup);

// Checks a converted entry's rows, columns and record length, and that its packing is one this
// program unpacks; returns the fault ("field 2 is packed (LBPACK=4), which this program cannot
// read"), or empty.
// With b_headers_only only the shape is checked.
std::string CheckFieldPacking(const int* px_entry, int i_field, bool b_headers_only);

// Returns the bytes the values of the field take in a file of this layout, for a record of
// i_record_words words: rows*cols words unpacked; rows*cols 4-byte values, in whole words, with
// 32-bit packing; the whole record with WGDOS or any other packing. Never overflows: a field larger than any
// file gives LLONG_MAX.
long long StoredBytes(const int* px_entry, long long i_record_words, const FileLayout& x_layout);

// Fills x_out.x_arrays' lookup and data from the converted entries of the valid fields and the
// spans of their stored values (each checked to lie inside the file), unpacking every field,
// and sets the fixed header's lookup and data words (px_fixhdr must be set). False with s_fault set.
bool AssembleFields(const LayoutFile& x_file, std::vector<int>& x_lookup, const std::vector<FieldSpan>& x_spans,
                    NormalisedFile& x_out, std::string& s_fault);

// The readers of the two kinds of layout (x_out.x_layout gives the layout), as ReadNormalised.
bool ReadFieldsFileAny(const LayoutFile& x_file, NormalisedFile& x_out, std::string& s_fault);
bool ReadPPFile(const LayoutFile& x_file, NormalisedFile& x_out, std::string& s_fault);

#endif
