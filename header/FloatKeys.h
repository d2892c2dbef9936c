// Hash keys of values that are compared with == on floats: equal values (+0 and -0 alike) give
// equal keys, and a NaN, which equals nothing, is reported so that it is never looked up.
#ifndef TESSOLD_FLOATKEYS_H
#define TESSOLD_FLOATKEYS_H

#include <cstddef>
#include <cstring>

#include "RawConvert.h"

const unsigned long long ci_hash_start = 1469598103934665603ULL;

// Mixes one word into a running hash.
inline unsigned long long MixHash(unsigned long long i_hash, unsigned long long i_word)
{
    return (i_hash ^ i_word) * 1099511628211ULL;
}

// The bits of a float under float equality; false for a NaN.
inline bool FloatKey(float f_value, unsigned int& i_bits)
{
    i_bits = FLOAT_TO_RAW(f_value + 0.0f);
    return f_value == f_value;
}

// The bits of a double under double equality; false for a NaN.
inline bool DoubleKey(double d_value, unsigned long long& i_bits)
{
    const double d_normal = d_value + 0.0;
    std::memcpy(&i_bits, &d_normal, sizeof i_bits);
    return d_value == d_value;
}

// Hashes an array of words (a std::array of keys).
struct WordsHash
{
    template <typename Words>
    size_t operator()(const Words& x_words) const
    {
        unsigned long long i_hash = ci_hash_start;
        for (auto i_word : x_words)
            i_hash = MixHash(i_hash, i_word);
        return static_cast<size_t>(i_hash);
    }
};

#endif
