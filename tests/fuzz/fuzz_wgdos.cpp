// Fuzzes the WGDOS decoder. Input: rows and columns as two big-endian 16-bit numbers, one byte
// choosing the missing-data value, then the record (the stream and anything after it).
// The decoder must stay inside the record and the output, and give a reason exactly when it fails.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "WgdosDecoder.h"

namespace {

const size_t ci_prefix_bytes = 5;
const long long ci_most_points = 1 << 20;
const float cf_bmdis[] = {-1073741824.0f, -1.0e30f, 0.0f, -99.0f};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* px_data, size_t i_size)
{
    if (i_size < ci_prefix_bytes)
        return 0;
    long long i_rows = px_data[0] << 8 | px_data[1];
    long long i_cols = px_data[2] << 8 | px_data[3];
    float f_bmdi = cf_bmdis[px_data[4] % 4];
    // Larger shapes take only the same paths, at the cost of output memory.
    if (i_rows * i_cols > ci_most_points)
        return 0;
    // A copy of exactly the record's size, so that any read past it is caught.
    size_t i_bytes = i_size - ci_prefix_bytes;
    std::unique_ptr<unsigned char[]> px_record(new unsigned char[i_bytes]);
    std::memcpy(px_record.get(), px_data + ci_prefix_bytes, i_bytes);
    std::vector<float> x_out(static_cast<size_t>(i_rows * i_cols));
    std::string s_fault;
    bool b_ok = DecodeWgdos(px_record.get(), i_bytes, i_rows, i_cols, f_bmdi, x_out.data(), s_fault);
    if (b_ok != s_fault.empty())
        std::abort();
    return 0;
}
