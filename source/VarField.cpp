// One 2-D field of the input: identity codes, coordinates, data pointer and its integer conversions.
#include "VarField.h"

#include <algorithm>
#include <cmath>
#include <iostream>

#include "FloatKeys.h"
#include "RawConvert.h"
#include "MappedInput.h"

namespace {

// Marks a value that does not fit a 16-bit integer.
const short ci_short_out_of_range = -32768;

// Truncates a real toward zero to a 16-bit integer; NaN and values out of range give -32768.
short RealToShort(float f_value)
{
    if (std::isnan(f_value))
        return ci_short_out_of_range;
    const float f_whole = std::trunc(f_value);
    if (f_whole < -32768.0f || f_whole > 32767.0f)
        return ci_short_out_of_range;
    return static_cast<short>(static_cast<int>(f_whole));
}

// Keeps the low 8 bits of a 16-bit integer as a signed byte.
ncbyte LowByte(short i_value)
{
    int i_low = i_value & 0xFF;
    if (i_low > 127)
        i_low -= 256;
    return static_cast<ncbyte>(i_low);
}

}  // namespace

VarField::VarField(int i_new_model_code, int i_new_field_code, int i_new_stash_code, int i_new_field_type)
    : px_data(nullptr), i_field_code(i_new_field_code), i_field_type(i_new_field_type),
      i_stash_code(i_new_stash_code), i_pack_code(0), i_proc_code(0), i_model_code(i_new_model_code),
      f_bmdi(0.0f), f_mks(0.0f), f_sampling_freq(-1.0f)
{
}

void VarField::SetBMDI_MKS(float f_new_bmdi, float f_new_mks)
{
    f_bmdi = f_new_bmdi;
    f_mks = f_new_mks;
}

void VarField::SetDims(Region x_new_region, Level x_new_level, TimeField x_new_time)
{
    x_region = x_new_region;
    x_level = x_new_level;
    x_time = x_new_time;
}

namespace {

// Counts the values of a field from its grid's current size; a negative count is taken as none.
long long PointCount(const Region& x_region)
{
    const long long l_rows = x_region.GetNRows() > 0 ? x_region.GetNRows() : 0;
    const long long l_cols = x_region.GetNCols() > 0 ? x_region.GetNCols() : 0;
    return l_rows * l_cols;
}

// Reads value i of the field as a real; a field without data reads as NaN.
float RealAt(const int* px_data, long long i)
{
    if (px_data == nullptr)
        return std::nanf("");
    return RAW_TO_FLOAT(static_cast<unsigned int>(px_data[i]));
}

}  // namespace

int* VarField::GetDataToChange()
{
    px_data = CopyOutOfMapping(px_data, PointCount(x_region));
    return px_data;
}

namespace {

// Writes i_count values of a field of i_points points into px_out, each value truncated to a
// 16-bit integer and then given the form x_form makes of it; places past the points get the
// out-of-range value in that form.
template <typename T, typename Form>
void CopyConverted(const int* px_data, long long i_points, T* px_out, long long i_count, Form x_form)
{
    const long long l_total = std::max(0LL, i_count);
    const long long l_count = std::min(l_total, i_points);
    for (long long i = 0; i < l_count; ++i)
        px_out[i] = x_form(RealToShort(RealAt(px_data, i)));
    std::fill(px_out + l_count, px_out + l_total, x_form(ci_short_out_of_range));
}

}  // namespace

void VarField::CopyDataAsShort(short* px_out, long long i_count) const
{
    CopyConverted(px_data, PointCount(x_region), px_out, i_count, [](short i_value) { return i_value; });
}

void VarField::CopyDataAsByte(ncbyte* px_out, long long i_count) const
{
    CopyConverted(px_data, PointCount(x_region), px_out, i_count, LowByte);
}

short* VarField::GetDataAsShort()
{
    if (!x_data_as_short.Empty())
        return x_data_as_short.Get();
    const long long l_count = PointCount(x_region);
    CopyDataAsShort(x_data_as_short.Make(static_cast<size_t>(l_count)), l_count);
    return x_data_as_short.Get();
}

ncbyte* VarField::GetDataAsByte()
{
    if (!x_data_as_byte.Empty())
        return x_data_as_byte.Get();
    const long long l_count = PointCount(x_region);
    CopyDataAsByte(x_data_as_byte.Make(static_cast<size_t>(l_count)), l_count);
    return x_data_as_byte.Get();
}

bool VarField::InGroup(const VarField& rhs) const
{
    return x_time.GetMeaningPeriod() == rhs.x_time.GetMeaningPeriod() && x_region == rhs.x_region &&
           i_field_code == rhs.i_field_code && i_stash_code == rhs.i_stash_code &&
           i_proc_code == rhs.i_proc_code && i_model_code == rhs.i_model_code &&
           x_level.GetType() == rhs.x_level.GetType();
}

bool VarField::GetGroupKey(std::array<unsigned int, 15>& x_key) const
{
    const float cf_floats[] = {x_time.GetMeaningPeriod(), x_region.GetZerothLatitude(),
                               x_region.GetZerothLongitude(), x_region.GetLatitudeSpacing(),
                               x_region.GetLongitudeSpacing(), x_region.GetPoleLatitude(),
                               x_region.GetPoleLongitude()};
    bool b_comparable = true;
    for (int i_float = 0; i_float < 7; ++i_float)
        b_comparable = FloatKey(cf_floats[i_float], x_key[i_float]) && b_comparable;
    const int ci_ints[] = {x_region.GetNRows(), x_region.GetNCols(), x_region.GetGridType(),
                           i_field_code, i_stash_code, i_proc_code, i_model_code, x_level.GetType()};
    for (int i_int = 0; i_int < 8; ++i_int)
        x_key[7 + i_int] = static_cast<unsigned int>(ci_ints[i_int]);
    return b_comparable;
}

void VarField::Print() const
{
    std::cout << i_field_code << "  " << i_stash_code << " " << i_field_type << std::endl;
    x_region.Print();
    x_level.Print();
    x_time.Print();
    std::cout << std::endl;
}
