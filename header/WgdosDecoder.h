// Decodes WGDOS-packed UM fields: per row, an IBM base value, optional bitmaps of missing,
// minimum and zero points, and n-bit integer offsets from the base in steps of 2^e.
#ifndef TESSOLD_WGDOSDECODER_H
#define TESSOLD_WGDOSDECODER_H

#include <cstddef>
#include <string>

// Decodes one WGDOS-packed field of i_rows x i_cols points into pf_out (i_rows * i_cols floats,
// row by row). px_stream/i_bytes: the field's record as stored (big-endian 32-bit words; the record
// may be longer than the stream, whose first word gives its length). False with s_fault set to a
// short lower-case reason (e.g. "WGDOS row 3 runs past its record") on any inconsistency.
// Rows in reasons are counted from 1; pf_out holds nothing usable after a failure.
bool DecodeWgdos(const unsigned char* px_stream, size_t i_bytes, long long i_rows, long long i_cols,
                 float f_bmdi, float* pf_out, std::string& s_fault);

#endif
