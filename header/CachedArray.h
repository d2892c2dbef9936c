// An array a value keeps as a cache of something it can compute again. A copy starts without
// it and an assignment drops it, so no two values ever share one, and the compiler's copy
// operations of the value that holds it are the right ones.
#ifndef TESSOLD_CACHEDARRAY_H
#define TESSOLD_CACHEDARRAY_H

#include <cstddef>
#include <memory>

template <typename T>
class CachedArray
{
public:
    CachedArray() = default;
    CachedArray(const CachedArray&) {}
    CachedArray& operator=(const CachedArray&)
    {
        Drop();
        return *this;
    }

    bool Empty() const { return px_values == nullptr; }
    T* Get() const { return px_values.get(); }
    // Replaces the cache by a new array of i_count values.
    T* Make(size_t i_count)
    {
        px_values.reset(new T[i_count]);
        return px_values.get();
    }
    void Drop() { px_values.reset(); }

private:
    std::unique_ptr<T[]> px_values;
};

#endif
