// Finds the first value of a coordinate series equal to a given one without scanning the
// series: values are bucketed by a key that equal values always share, then compared with ==.
#ifndef TESSOLD_SERIESINDEX_H
#define TESSOLD_SERIESINDEX_H

#include <unordered_map>
#include <utility>
#include <vector>

#include "Level.h"
#include "FloatKeys.h"
#include "TimeField.h"

// Equal times share the meaning period, the calendar code and the validity date.
inline bool SeriesKey(const TimeField& x_time, unsigned long long& i_key)
{
    unsigned int i_period;
    if (!FloatKey(x_time.GetMeaningPeriod(), i_period))
        return false;
    i_key = MixHash(MixHash(ci_hash_start, i_period), static_cast<unsigned int>(CalendarCode(x_time.GetType())));
    for (int i_word = 0; i_word < 6; ++i_word)
        i_key = MixHash(i_key, static_cast<unsigned int>(x_time.GetValDate().GetTimeArray()[i_word]));
    return true;
}

// Equal levels share the level type and value.
inline bool SeriesKey(const Level& x_level, unsigned long long& i_key)
{
    unsigned int i_value;
    if (!FloatKey(x_level.GetValue(), i_value))
        return false;
    i_key = MixHash(MixHash(ci_hash_start, i_value), static_cast<unsigned int>(x_level.GetType()));
    return true;
}

template <typename T>
class SeriesIndex
{
public:
    // Records the value at position i_position of the series.
    void Insert(const T& x_value, long i_position)
    {
        unsigned long long i_key;
        if (SeriesKey(x_value, i_key))
            x_buckets[i_key].push_back(std::make_pair(x_value, i_position));
    }

    // The position of the first recorded value equal to x_value (recorded value on the left), or -1.
    long Find(const T& x_value) const
    {
        unsigned long long i_key;
        if (!SeriesKey(x_value, i_key))
            return -1;
        auto it_bucket = x_buckets.find(i_key);
        if (it_bucket == x_buckets.end())
            return -1;
        for (const std::pair<T, long>& x_entry : it_bucket->second)
            if (x_entry.first == x_value)
                return x_entry.second;
        return -1;
    }

private:
    std::unordered_map<unsigned long long, std::vector<std::pair<T, long>>> x_buckets;
};

#endif
