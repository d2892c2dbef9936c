// Reinterprets 32-bit UM words as IEEE single-precision reals and back, bit for bit.
#ifndef TESSOLD_RAWCONVERT_H
#define TESSOLD_RAWCONVERT_H

#include <cstring>

// Returns the 32 bits of x as an unsigned integer.
inline unsigned int FLOAT_TO_RAW(float x)
{
    unsigned int i_raw;
    std::memcpy(&i_raw, &x, sizeof i_raw);
    return i_raw;
}

// Returns the single-precision number whose bits are x.
inline float RAW_TO_FLOAT(unsigned int x)
{
    float f_value;
    std::memcpy(&f_value, &x, sizeof f_value);
    return f_value;
}

#endif
