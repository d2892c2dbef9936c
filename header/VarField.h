// One 2-D field of the input: identity codes, coordinates and a pointer into the data buffer.
#ifndef TESSOLD_VARFIELD_H
#define TESSOLD_VARFIELD_H

#include <array>
#include <cstdlib>

#include "CachedArray.h"
#include "Level.h"
#include "Region.h"
#include "TimeField.h"

typedef signed char ncbyte;

class VarField
{
public:
    VarField(int i_model_code, int i_field_code, int i_stash_code, int i_field_type);

    void SetBMDI_MKS(float f_new_bmdi, float f_new_mks);
    void SetPackCode(int i_new_pack_code) { i_pack_code = i_new_pack_code; }
    void SetProcCode(int i_new_proc_code) { i_proc_code = i_new_proc_code; }
    void SetData(int* px_new_data) { px_data = px_new_data; }
    void SetSamplingFrequency(float f_frequency) { f_sampling_freq = f_frequency; }
    void SetDims(Region x_new_region, Level x_new_level, TimeField x_new_time);

    int GetType() const { return i_field_type; }
    int GetFieldCode() const { return i_field_code; }
    int GetStashCode() const { return i_stash_code; }
    int GetModelCode() const { return i_model_code; }
    int GetProcCode() const { return i_proc_code; }
    int GetPackCode() const { return i_pack_code; }
    float GetMissingValue() const { return f_bmdi; }
    float GetMKSValue() const { return f_mks; }
    float GetSamplingFrequency() const { return f_sampling_freq; }
    // True when the words hold integers (data type codes 2 and 3, or -2 and -3), not reals.
    bool HoldsIntegers() const { return std::abs(i_field_type) == 2 || std::abs(i_field_type) == 3; }
    const int* GetData() const { return px_data; }
    // The words for changing in place: on the first call they are copied out of the mapped
    // input (CopyOutOfMapping), which keeps what the file holds. Throws InputChanged when the
    // file was cut short meanwhile.
    int* GetDataToChange();
    TimeField& GetTimeField() { return x_time; }
    const TimeField& GetTimeField() const { return x_time; }
    Level& GetLevel() { return x_level; }
    const Level& GetLevel() const { return x_level; }
    Region& GetRegion() { return x_region; }
    const Region& GetRegion() const { return x_region; }

    ncbyte* GetDataAsByte();
    short* GetDataAsShort();
    // Write the first i_count values, as GetDataAsShort and GetDataAsByte give them, into the
    // caller's memory; places past the field's own points get the out-of-range value.
    void CopyDataAsShort(short* px_out, long long i_count) const;
    void CopyDataAsByte(ncbyte* px_out, long long i_count) const;

    bool InGroup(const VarField& rhs) const;
    // The words InGroup compares, as a hash key; false when a NaN makes the field equal to no other.
    bool GetGroupKey(std::array<unsigned int, 15>& x_key) const;
    void Print() const;

private:
    Region x_region;
    TimeField x_time;
    Level x_level;
    int* px_data;
    CachedArray<ncbyte> x_data_as_byte;  // made on request; a copy starts without them
    CachedArray<short> x_data_as_short;
    int i_field_code;
    int i_field_type;
    int i_stash_code;
    int i_pack_code;
    int i_proc_code;
    int i_model_code;
    float f_bmdi;
    float f_mks;
    float f_sampling_freq;
};

#endif
