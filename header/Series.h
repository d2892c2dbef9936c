// The ordered distinct coordinate values of one output axis.
#ifndef TESSOLD_SERIES_H
#define TESSOLD_SERIES_H

#include <list>

template <typename T>
class Series
{
public:
    Series() : i_id(-1), d_base_value(0.0) {}

    // Appends x_value unless an equal value is already held.
    void Add(const T& x_value)
    {
        for (const T& x_held : x_series)
            if (x_held == x_value)
                return;
        x_series.push_back(x_value);
    }

    bool operator==(const Series& rhs) const
    {
        if (x_series.size() != rhs.x_series.size())
            return false;
        typename std::list<T>::const_iterator it_rhs = rhs.x_series.begin();
        for (const T& x_value : x_series) {
            if (!(x_value == *it_rhs))
                return false;
            ++it_rhs;
        }
        return true;
    }
    bool operator!=(const Series& rhs) const { return !(*this == rhs); }

    const std::list<T>& Get() const { return x_series; }
    std::list<T>& Get() { return x_series; }
    void SetID(int i_new_id) { i_id = i_new_id; }
    int GetID() const { return i_id; }
    void SetBaseValue(double d_value) { d_base_value = d_value; }
    double GetBaseValue() const { return d_base_value; }

    // Returns each value minus the base value, rounded to float.
    std::list<float> GetValues() const
    {
        std::list<float> x_values;
        for (const T& x_value : x_series)
            x_values.push_back(static_cast<float>(x_value.GetValue() - d_base_value));
        return x_values;
    }

    int Size() const { return static_cast<int>(x_series.size()); }

private:
    std::list<T> x_series;
    int i_id;
    double d_base_value;
};

#endif
