// Writes the variables of one conversion into a new netCDF classic file.
#include "WriteNetCDFFile.h"

#include <limits.h>

#include <cmath>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <vector>

#include "FieldReadAhead.h"
#include "MinimiseDimensions.h"
#include "PlainAlgorithms.h"
#include "SeriesIndex.h"
#include "ToString.h"

namespace {

// The netCDF library's I/O block: a buffer each conversion faults in afresh (in a batch, each
// child does), so small files take small blocks; large ones save system calls with larger
// blocks. 1 MiB blocks were as fast in some runs and several times slower in others.
const size_t ci_small_io_block_bytes = 64 << 10;
const size_t ci_large_io_block_bytes = 512 << 10;
const long long ci_large_data_words = 4 << 20;  // 16 MiB

// Name prefixes of the horizontal objects, followed by the region number.
const std::string cs_latitude = "latitude";
const std::string cs_longitude = "longitude";
const std::string cs_global_latitude = "global_latitude";
const std::string cs_global_longitude = "global_longitude";
const std::string cs_rotated_pole = "rotated_pole";

// Cell method texts of the processing code bits, lowest bit first.
const char* const cs_cell_methods[] = {
    "lon: lat: time: difference from another experiment ",
    "lon: lat: difference from mean ",
    "time: difference from mean ",
    "lon: derivative ",
    "lat: derivative ",
    "time: derivative ",
    "lon: lat: mean ",
    "time: mean ",
    "lon: lat: product of two fields ",
    "lon: lat: square root ",
    "level: difference between fields at BLEV and BRLEV ",
    "level: mean over layer between BLEV and BRLEV ",
    "time: minimum ",
    "time: maximum ",
    "lon: lat: magnitude of vector ",
    "lon: lat: log10 ",
    "lon: lat: variance ",
    "lon: lat: mean over ensemble ",
    "lon: lat: band pass filter ",
    "lon: lat: low pass filter ",
};
const int ci_cell_method_bits = sizeof(cs_cell_methods) / sizeof(cs_cell_methods[0]);

const int ci_proc_minimum = 4096;
const int ci_proc_maximum = 8192;

// The first value of an attribute, or an empty text when it has none (GetValue needs one).
std::string FirstValue(const Attribute& x_att)
{
    return x_att.GetNumber() > 0 ? x_att.GetValue() : std::string();
}

// The values joined with commas, so that a record of one value carries no trailing comma.
std::string JoinValues(const std::list<std::string>& x_values)
{
    std::string s_joined;
    bool b_first = true;
    for (const std::string& s_value : x_values) {
        if (!b_first)
            s_joined += ",";
        s_joined += s_value;
        b_first = false;
    }
    return s_joined;
}

// Each value read by stream extraction from its own stream; a failed read keeps what extraction stored.
template <typename T>
std::vector<T> ExtractValues(const std::list<std::string>& x_values)
{
    std::vector<T> x_out;
    x_out.reserve(x_values.size() + 1);
    for (const std::string& s_value : x_values) {
        std::istringstream x_in(s_value);
        T t_value = T();
        x_in >> t_value;
        x_out.push_back(t_value);
    }
    return x_out;
}

// The first non-blank character of each value, or a zero byte for a blank value.
std::vector<char> ExtractChars(const std::list<std::string>& x_values)
{
    std::vector<char> x_out;
    x_out.reserve(x_values.size() + 1);
    for (const std::string& s_value : x_values) {
        std::istringstream x_in(s_value);
        char c_value = '\0';
        if (!(x_in >> c_value))
            c_value = '\0';
        x_out.push_back(c_value);
    }
    return x_out;
}

// Keeps a valid pointer for zero-length vectors, which the library must not see as null.
template <typename T>
const T* DataOrDummy(const std::vector<T>& x_values)
{
    static const T ct_dummy = T();
    return x_values.empty() ? &ct_dummy : x_values.data();
}

// Writes one global attribute of a recognised type text; other types are skipped.
void WriteGlobalAtt(NcFile& x_nc_file, const Attribute& x_att)
{
    const std::string& s_type = x_att.GetType();
    const char* s_name = x_att.GetName().c_str();
    const int i_count = x_att.GetNumber();
    if (s_type == "string") {
        x_nc_file.add_att(s_name, JoinValues(x_att.GetValues()).c_str());
    } else if (s_type == "integer") {
        x_nc_file.add_att(s_name, i_count, DataOrDummy(ExtractValues<int>(x_att.GetValues())));
    } else if (s_type == "float") {
        x_nc_file.add_att(s_name, i_count, DataOrDummy(ExtractValues<float>(x_att.GetValues())));
    } else if (s_type == "double") {
        x_nc_file.add_att(s_name, i_count, DataOrDummy(ExtractValues<double>(x_att.GetValues())));
    } else if (s_type == "short") {
        x_nc_file.add_att(s_name, i_count, DataOrDummy(ExtractValues<short>(x_att.GetValues())));
    } else if (s_type == "byte") {
        x_nc_file.add_att(s_name, i_count, DataOrDummy(ExtractChars(x_att.GetValues())));
    }
}

// Coordinate values wait here while the file is still being defined, so that the library
// leaves define mode once, not once per coordinate variable (each time it would rewrite the
// header and move the data written so far). The values land where they would have anyway.
class DeferredPuts
{
public:
    struct Put
    {
        NcVar* px_var;
        std::vector<float> x_values;
        long i_rows;
        long i_cols;  // 0 for a one-dimensional put
    };

    void Start() { b_active = true; }
    bool Active() const { return b_active; }
    void Add(Put x_put) { x_puts.push_back(std::move(x_put)); }

    // Writes everything held for fixed-size variables, in the order it was added; the values
    // of record variables stay until their records are written (PutRecords).
    void FlushFixed()
    {
        b_active = false;
        std::vector<Put> x_record_puts;
        for (Put& x_put : x_puts) {
            if (IsRecordVariable(x_put.px_var)) {
                x_record_puts.push_back(std::move(x_put));
            } else if (x_put.i_cols == 0) {
                x_put.px_var->set_cur(0L);
                x_put.px_var->put(x_put.x_values.data(), x_put.i_rows);
            } else {
                x_put.px_var->put(x_put.x_values.data(), x_put.i_rows, x_put.i_cols);
            }
        }
        x_puts.swap(x_record_puts);
    }

    // Writes the values of records i_first up to i_end of the held record variables.
    void PutRecords(long i_first, long i_end)
    {
        for (long i_record = i_first; i_record < i_end; ++i_record)
            for (Put& x_put : x_puts)
                if (i_record < x_put.i_rows) {
                    x_put.px_var->set_cur(i_record);
                    x_put.px_var->put(&x_put.x_values[i_record], 1L);
                }
    }

    // The largest number of records a held record variable has.
    long RecordCount() const
    {
        long i_count = 0;
        for (const Put& x_put : x_puts)
            i_count = std::max(i_count, x_put.i_rows);
        return i_count;
    }

    void Drop()
    {
        b_active = false;
        x_puts.clear();
    }

private:
    static bool IsRecordVariable(NcVar* px_var)
    {
        return px_var->num_dims() > 0 && px_var->get_dim(0)->is_unlimited();
    }

    bool b_active = false;
    std::vector<Put> x_puts;
};

DeferredPuts gx_deferred_puts;

// Ends deferral when a conversion leaves the writer by any path.
struct DeferralScope
{
    explicit DeferralScope(bool b_defer)
    {
        if (b_defer)
            gx_deferred_puts.Start();
    }
    ~DeferralScope() { gx_deferred_puts.Drop(); }
};

// Writes a whole coordinate vector in one put from the variable's origin.
void PutCoordinates(NcVar* px_var, const std::list<float>& x_values)
{
    if (x_values.empty())
        return;
    std::vector<float> x_buffer(x_values.begin(), x_values.end());
    if (gx_deferred_puts.Active()) {
        gx_deferred_puts.Add({px_var, std::move(x_buffer), static_cast<long>(x_values.size()), 0});
        return;
    }
    px_var->set_cur(0L);
    px_var->put(x_buffer.data(), static_cast<long>(x_buffer.size()));
}

// Writes a rows x columns block of geographic coordinates from the variable's origin.
void PutCoordinateBlock(NcVar* px_var, const float* pf_values, long i_rows, long i_cols)
{
    if (gx_deferred_puts.Active()) {
        gx_deferred_puts.Add({px_var, std::vector<float>(pf_values, pf_values + i_rows * i_cols),
                              i_rows, i_cols});
        return;
    }
    px_var->put(pf_values, i_rows, i_cols);
}

// The series of this id, or null when the consolidation gave none.
template <typename T>
const Series<T>* FindSeries(const std::list<Series<T>>& x_series_list, int i_id)
{
    for (const Series<T>& x_series : x_series_list)
        if (x_series.GetID() == i_id)
            return &x_series;
    return nullptr;
}

// The index of the first series entry equal to the value (held entry on the left), or -1.
template <typename T>
long IndexInSeries(const Series<T>* px_series, const T& x_value)
{
    if (px_series == nullptr)
        return -1;
    long i_index = 0;
    for (const T& x_held : px_series->Get()) {
        if (x_held == x_value)
            return i_index;
        ++i_index;
    }
    return -1;
}

// Finds the positions of values in one series: through an index, or by scanning it when the
// plain algorithms are asked for. Both give the first equal entry.
template <typename T>
class SeriesPositions
{
public:
    explicit SeriesPositions(const Series<T>* px_series) : px_series(px_series)
    {
        if (px_series == nullptr || UsePlainAlgorithms())
            return;
        long i_position = 0;
        for (const T& x_value : px_series->Get())
            x_index.Insert(x_value, i_position++);
        b_indexed = true;
    }

    long Find(const T& x_value) const
    {
        return b_indexed ? x_index.Find(x_value) : IndexInSeries(px_series, x_value);
    }

private:
    const Series<T>* px_series;
    SeriesIndex<T> x_index;
    bool b_indexed = false;
};

// The netCDF type of the variable from its packing bytes and data type code.
NcType VariableType(const Variable& x_var)
{
    switch (x_var.GetPackingBytes()) {
    case 1:
        return ncByte;
    case 2:
        return ncShort;
    case 0:
        return Tessoldtype(x_var.GetType());
    default:
        return ncFloat;
    }
}

// The variable's "_FillValue" in its own type; false where it gets none.
bool FillValue(const Variable& x_var, NcType x_type, double& d_fill)
{
    const int i_pack = x_var.GetPackingBytes();
    const float f_missing = x_var.GetMissingValue();
    int i_int_missing = 0;
    if (i_pack == 1)
        d_fill = 127;
    else if (i_pack == 2)
        d_fill = 32767;
    else if (i_pack == 4 || (i_pack == 0 && x_type == ncFloat))
        d_fill = f_missing;
    else if (i_pack == 0 && x_type == ncInt && x_var.GetIntegerMissingValue(i_int_missing))
        d_fill = i_int_missing;
    else
        return false;
    return true;
}

// Writes "_FillValue" in the variable's own type, or nothing where no value of that type fits.
void WriteFillValue(NcVar* px_ncvar, const Variable& x_var, NcType x_type)
{
    double d_fill = 0.0;
    if (!FillValue(x_var, x_type, d_fill))
        return;
    if (x_type == ncByte)
        px_ncvar->add_att("_FillValue", static_cast<ncbyte>(d_fill));
    else if (x_type == ncShort)
        px_ncvar->add_att("_FillValue", static_cast<short>(d_fill));
    else if (x_type == ncInt)
        px_ncvar->add_att("_FillValue", static_cast<int>(d_fill));
    else
        px_ncvar->add_att("_FillValue", static_cast<float>(d_fill));
}

// The value the library prefills a variable with: its "_FillValue", else its type's default.
double PrefillValue(const Variable& x_var, NcType x_type)
{
    double d_fill = 0.0;
    if (FillValue(x_var, x_type, d_fill))
        return d_fill;
    switch (x_type) {
    case ncByte:
        return NC_FILL_BYTE;
    case ncShort:
        return NC_FILL_SHORT;
    case ncInt:
        return NC_FILL_INT;
    default:
        return NC_FILL_FLOAT;
    }
}

// Writes one slab of the prefill value, for a (time, level) place no field fills.
void PutPrefillSlab(NcVar* px_ncvar, NcType x_type, double d_fill, long i_rows, long i_cols)
{
    const size_t i_count = static_cast<size_t>(i_rows * i_cols);
    if (x_type == ncByte)
        px_ncvar->put(std::vector<ncbyte>(i_count, static_cast<ncbyte>(d_fill)).data(), 1, 1, i_rows, i_cols);
    else if (x_type == ncShort)
        px_ncvar->put(std::vector<short>(i_count, static_cast<short>(d_fill)).data(), 1, 1, i_rows, i_cols);
    else if (x_type == ncInt)
        px_ncvar->put(std::vector<int>(i_count, static_cast<int>(d_fill)).data(), 1, 1, i_rows, i_cols);
    else
        px_ncvar->put(std::vector<float>(i_count, static_cast<float>(d_fill)).data(), 1, 1, i_rows, i_cols);
}

// Writes "scale_factor" and "add_offset" of a byte-packed variable.
void WritePackingAtts(NcVar* px_ncvar, const Variable& x_var)
{
    const int i_pack = x_var.GetPackingBytes();
    float f_scale = x_var.GetScalingFactor();
    const float f_offset = x_var.GetOffset();
    const float f_mks = x_var.GetMKSValue();
    if (!(f_mks == 0.0f))
        f_scale = f_mks * f_scale;
    const double d_offset = std::pow(256.0, i_pack) * 0.5 * static_cast<double>(f_scale) +
                            static_cast<double>(f_offset);
    // Both of one type, that of the unpacked values, as readers that unpack require.
    px_ncvar->add_att("scale_factor", f_scale);
    px_ncvar->add_att("add_offset", static_cast<float>(d_offset));
}

// Writes the translated attributes as text, or the numeric stash code parts when untranslated.
void WriteTranslationAtts(NcVar* px_ncvar, const Variable& x_var, const VarLevTrans& x_var_lev_trans)
{
    const AttributeList& x_list =
        x_var_lev_trans.GetVariableAttributes(x_var.GetStashCode(), x_var.GetModelCode());
    if (x_list.GetName() != "NULL") {
        for (const Attribute& x_att : x_list.Get())
            px_ncvar->add_att(x_att.GetName().c_str(), FirstValue(x_att).c_str());
    } else {
        px_ncvar->add_att("stash_item", x_var.GetStashCode() % 1000);
        px_ncvar->add_att("stash_section", x_var.GetStashCode() / 1000);
    }
}

// Writes the attributes of one data variable in their fixed order.
void WriteVariableAtts(NcVar* px_ncvar, const Variable& x_var, NcType x_type,
                       const VarLevTrans& x_var_lev_trans)
{
    WriteFillValue(px_ncvar, x_var, x_type);
    const int i_pack = x_var.GetPackingBytes();
    if (i_pack != 0 && i_pack != 4)
        WritePackingAtts(px_ncvar, x_var);
    if (x_var.GetGridType() > 100) {
        const std::string s_region = ToString(x_var.GetRegionID(), 0, ' ');
        px_ncvar->add_att("grid_mapping", (cs_rotated_pole + s_region).c_str());
        px_ncvar->add_att("coordinates",
                          (cs_global_longitude + s_region + " " + cs_global_latitude + s_region).c_str());
    }
    WriteTranslationAtts(px_ncvar, x_var, x_var_lev_trans);
    const std::string s_cell_method = GetCellMethod(x_var.GetProcCode());
    if (!s_cell_method.empty())
        px_ncvar->add_att("cell_method", s_cell_method.c_str());
    if (x_var.GetSamplingFrequency() > -1.0f)
        px_ncvar->add_att("sampling_frequency",
                          (ToString(x_var.GetSamplingFrequency(), 0, ' ') + " hours").c_str());
}

// While a conversion writes its file: for each base name, the suffix at which the last search
// for a free name stopped. Names are only ever added to a file, so a name found taken stays
// taken and the next search for the same base may start there; without this, each of many
// variables without a translated name (all "field<code>") probed every name before its own.
std::map<std::string, int>* gpx_free_name_starts = nullptr;

struct FreeNameScope
{
    explicit FreeNameScope(bool b_remember)
    {
        if (b_remember)
            gpx_free_name_starts = &x_starts;
    }
    ~FreeNameScope() { gpx_free_name_starts = nullptr; }
    FreeNameScope(const FreeNameScope&) = delete;
    FreeNameScope& operator=(const FreeNameScope&) = delete;

    std::map<std::string, int> x_starts;
};

// The first name base_0, base_1, ... that no variable of the file has yet; the caller silences probes.
std::string FirstFreeName(NcFile& x_nc_file, const std::string& s_base)
{
    int i_from_zero = 0;
    int& i_suffix = gpx_free_name_starts != nullptr ? (*gpx_free_name_starts)[s_base] : i_from_zero;
    std::string s_name = s_base + "_" + ToString(i_suffix, 0, ' ');
    while (x_nc_file.get_var(s_name.c_str()) != nullptr)
        s_name = s_base + "_" + ToString(++i_suffix, 0, ' ');
    return s_name;
}

// Where one field goes in its variable: indices and the slab size the variable holds.
struct SlabPlace
{
    long i_time;
    long i_level;
    long i_rows;
    long i_cols;
};

// How a field's slab is written, from its variable's packing and type.
enum class SlabForm { Short, Byte, Float, Int, IntAsByte, None };

SlabForm FormOf(const Variable& x_var, NcType x_type)
{
    const int i_pack = x_var.GetPackingBytes();
    if (i_pack == 2)
        return SlabForm::Short;
    if (i_pack == 1)
        return SlabForm::Byte;
    if (i_pack == 4 || (i_pack == 0 && x_type == ncFloat))
        return SlabForm::Float;
    if (i_pack == 0 && x_type == ncInt)
        return SlabForm::Int;
    if (i_pack == 0 && x_type == ncByte)
        return SlabForm::IntAsByte;
    return SlabForm::None;
}

// Whether a slab of this form is written from the field's words as they are.
bool WrittenFromWords(SlabForm x_form)
{
    return x_form == SlabForm::Float || x_form == SlabForm::Int || x_form == SlabForm::IntAsByte;
}

// When fields are read ahead, a field of more than this many words is written in blocks of
// whole rows, each read on its own, so that the ring of buffers stays small whatever the grid.
const long ci_max_block_words = 1 << 18;  // 1 MiB

// Calls x_visit(first row, rows) for each block of whole rows of a slab, in file order.
template <typename Visit>
void ForEachRowBlock(long i_rows, long i_cols, Visit x_visit)
{
    const long i_block_rows = std::max(1L, ci_max_block_words / std::max(1L, i_cols));
    for (long i_row = 0; i_row < i_rows; i_row += i_block_rows)
        x_visit(i_row, std::min(i_block_rows, i_rows - i_row));
}

// Writes rows [i_first_row, i_first_row + i_rows) of a slab from words as they are: IEEE singles
// bit for bit, integers, or integers as signed bytes, where words no byte holds become -128.
void PutWords(NcVar* px_ncvar, SlabForm x_form, const int* px_words, const SlabPlace& x_place,
              long i_first_row, long i_rows, std::vector<ncbyte>& x_buffer)
{
    px_ncvar->set_cur(x_place.i_time, x_place.i_level, i_first_row, 0L);
    if (x_form == SlabForm::Float) {
        px_ncvar->put(reinterpret_cast<const float*>(px_words), 1, 1, i_rows, x_place.i_cols);
    } else if (x_form == SlabForm::Int) {
        px_ncvar->put(px_words, 1, 1, i_rows, x_place.i_cols);
    } else {
        const size_t i_count = static_cast<size_t>(i_rows * x_place.i_cols);
        x_buffer.resize(i_count);
        for (size_t i = 0; i < i_count; ++i)
            x_buffer[i] = (px_words[i] >= -128 && px_words[i] <= 127) ? static_cast<ncbyte>(px_words[i])
                                                                      : static_cast<ncbyte>(-128);
        px_ncvar->put(x_buffer.data(), 1, 1, i_rows, x_place.i_cols);
    }
}

// The scratch a writer needs: buffers for byte and short slabs, used again for every field
// (fresh memory for each would cost a page fault per page), and the fields read ahead (none in
// the plain order).
struct WriteScratch
{
    std::vector<ncbyte> x_byte_buffer;
    std::vector<short> x_short_buffer;
    FieldReadAhead* px_read_ahead = nullptr;
};

// Writes one field's slab in the form its variable's type and packing ask for; false when
// the variable's packing writes no data.
bool PutFieldSlab(NcVar* px_ncvar, const Variable& x_var, NcType x_type, const VarField& x_field,
                  const SlabPlace& x_place, WriteScratch& x_scratch)
{
    const SlabForm x_form = FormOf(x_var, x_type);
    if (WrittenFromWords(x_form) && x_scratch.px_read_ahead == nullptr) {
        PutWords(px_ncvar, x_form, x_field.GetData(), x_place, 0, x_place.i_rows, x_scratch.x_byte_buffer);
        return true;
    }
    if (WrittenFromWords(x_form)) {
        ForEachRowBlock(x_place.i_rows, x_place.i_cols, [&](long i_row, long i_rows) {
            const FieldWords x_words{x_field.GetData() + i_row * x_place.i_cols, i_rows * x_place.i_cols};
            PutWords(px_ncvar, x_form, x_scratch.px_read_ahead->Words(x_words), x_place, i_row, i_rows,
                     x_scratch.x_byte_buffer);
        });
        return true;
    }
    // A negative side counts as none here, as in the field's own count of its points.
    const long long i_points = std::max(0L, x_place.i_rows) * static_cast<long long>(std::max(0L, x_place.i_cols));
    if (x_form == SlabForm::Short) {
        x_scratch.x_short_buffer.resize(static_cast<size_t>(i_points));
        x_field.CopyDataAsShort(x_scratch.x_short_buffer.data(), i_points);
        px_ncvar->put(x_scratch.x_short_buffer.data(), 1, 1, x_place.i_rows, x_place.i_cols);
        return true;
    }
    if (x_form == SlabForm::Byte) {
        x_scratch.x_byte_buffer.resize(static_cast<size_t>(i_points));
        x_field.CopyDataAsByte(x_scratch.x_byte_buffer.data(), i_points);
        px_ncvar->put(x_scratch.x_byte_buffer.data(), 1, 1, x_place.i_rows, x_place.i_cols);
        return true;
    }
    return false;
}

// Where the fields of one variable go: one entry per (time, level) place, time outermost as
// in the file, holding the field written there or null where none is.
struct VariablePlan
{
    Variable* px_var;
    NcVar* px_ncvar;
    NcType x_type;
    long i_nlevels;
    long i_nrows;
    long i_ncols;
    std::vector<const VarField*> x_places;
    std::vector<size_t> x_list_order;  // the places of the fields, in the variable's field order
};

// Places every field at the indices of its own time and level; fields that fit no place of
// the variable, or whose grid differs from the variable's, are left out.
VariablePlan PlanVariable(NcFile& x_nc_file, Variable& x_var, std::list<Series<Level>>& x_lev_list,
                          const std::list<Series<TimeField>>& x_time_list)
{
    NcDim* px_lond = nullptr;
    NcDim* px_latd = nullptr;
    NcDim* px_zd = nullptr;
    NcDim* px_td = nullptr;
    GetDimensions(x_nc_file, &x_var, &x_lev_list, px_lond, px_latd, px_zd, px_td);
    VariablePlan x_plan{&x_var, x_var.GetNcVar(), VariableType(x_var), px_zd->size(),
                        px_latd->size(), px_lond->size(), {}, {}};
    const Series<TimeField>* px_times = FindSeries(x_time_list, x_var.GetTimeID());
    const Series<Level>* px_levels = FindSeries(x_lev_list, x_var.GetLevelID());
    const long i_ntimes = px_times != nullptr ? px_times->Size() : 0;
    x_plan.x_places.assign(static_cast<size_t>(i_ntimes * x_plan.i_nlevels), nullptr);
    const SeriesPositions<TimeField> x_time_positions(px_times);
    const SeriesPositions<Level> x_level_positions(px_levels);
    for (const VarField& x_field : x_var.GetVarFields()) {
        const long i_time = x_time_positions.Find(x_field.GetTimeField());
        const long i_level = x_level_positions.Find(x_field.GetLevel());
        if (i_time < 0 || i_time >= i_ntimes || i_level < 0 || i_level >= x_plan.i_nlevels)
            continue;
        if (x_field.GetRegion().GetNRows() != x_plan.i_nrows ||
            x_field.GetRegion().GetNCols() != x_plan.i_ncols)
            continue;
        if (x_field.GetData() == nullptr || x_plan.i_nrows == 0 || x_plan.i_ncols == 0)
            continue;
        x_plan.x_places[i_time * x_plan.i_nlevels + i_level] = &x_field;
        x_plan.x_list_order.push_back(static_cast<size_t>(i_time * x_plan.i_nlevels + i_level));
    }
    return x_plan;
}

// Writes the slab of one place: its field, or the value the library would have prefilled.
void WritePlace(const VariablePlan& x_plan, size_t i_place, bool b_prefilled, WriteScratch& x_scratch)
{
    const long i_time = static_cast<long>(i_place) / x_plan.i_nlevels;
    const long i_level = static_cast<long>(i_place) % x_plan.i_nlevels;
    const VarField* px_field = x_plan.x_places[i_place];
    SlabPlace x_place{i_time, i_level, x_plan.i_nrows, x_plan.i_ncols};
    x_plan.px_ncvar->set_cur(i_time, i_level, 0L, 0L);
    if (px_field != nullptr && PutFieldSlab(x_plan.px_ncvar, *x_plan.px_var, x_plan.x_type, *px_field,
                                            x_place, x_scratch))
        return;
    if (!b_prefilled && x_plan.i_nrows > 0 && x_plan.i_ncols > 0)
        PutPrefillSlab(x_plan.px_ncvar, x_plan.x_type, PrefillValue(*x_plan.px_var, x_plan.x_type),
                       x_plan.i_nrows, x_plan.i_ncols);
}

// Writes the fields of one variable in its field order, leaving the rest to the library's prefill.
void WriteFieldsInListOrder(const VariablePlan& x_plan, WriteScratch& x_scratch)
{
    for (size_t i_place : x_plan.x_list_order)
        WritePlace(x_plan, i_place, true, x_scratch);
}

// Visits every place of every variable in the order the places lie in the file: fixed-size
// variables one after another, then the record variables record by record. x_record(i) is
// called before the places of record i. Returns the number of records.
template <typename VisitPlace, typename StartRecord>
long VisitInFileOrder(const std::vector<VariablePlan>& x_plans, VisitPlace x_visit, StartRecord x_record)
{
    std::vector<const VariablePlan*> x_record_plans;
    long i_nrecords = 0;
    for (const VariablePlan& x_plan : x_plans) {
        if (x_plan.px_var->GetTimeID() == 0) {
            x_record_plans.push_back(&x_plan);
            if (x_plan.i_nlevels > 0)
                i_nrecords = std::max(i_nrecords, static_cast<long>(x_plan.x_places.size()) / x_plan.i_nlevels);
            continue;
        }
        for (size_t i_place = 0; i_place < x_plan.x_places.size(); ++i_place)
            x_visit(x_plan, i_place);
    }
    for (long i_record = 0; i_record < i_nrecords; ++i_record) {
        x_record(i_record);
        for (const VariablePlan* px_plan : x_record_plans)
            for (long i_level = 0; i_level < px_plan->i_nlevels; ++i_level) {
                const size_t i_place = static_cast<size_t>(i_record * px_plan->i_nlevels + i_level);
                if (i_place < px_plan->x_places.size())
                    x_visit(*px_plan, i_place);
            }
    }
    return i_nrecords;
}

// The words the writer will ask for in file order, for reading them ahead.
std::vector<FieldWords> WordsInFileOrder(const std::vector<VariablePlan>& x_plans)
{
    std::vector<FieldWords> x_order;
    VisitInFileOrder(
        x_plans,
        [&](const VariablePlan& x_plan, size_t i_place) {
            const VarField* px_field = x_plan.x_places[i_place];
            if (px_field == nullptr || !WrittenFromWords(FormOf(*x_plan.px_var, x_plan.x_type)))
                return;
            ForEachRowBlock(x_plan.i_nrows, x_plan.i_ncols, [&](long i_row, long i_rows) {
                x_order.push_back({px_field->GetData() + i_row * x_plan.i_ncols, i_rows * x_plan.i_ncols});
            });
        },
        [](long) {});
    return x_order;
}

// Writes every place in file order, so that each write extends the file instead of filling a
// hole the library would first read back, with the fields read ahead of the writes.
void WriteInFileOrder(std::vector<VariablePlan>& x_plans, WriteScratch& x_scratch)
{
    FieldReadAhead x_read_ahead(WordsInFileOrder(x_plans));
    x_scratch.px_read_ahead = &x_read_ahead;
    const long i_nrecords = VisitInFileOrder(
        x_plans,
        [&](const VariablePlan& x_plan, size_t i_place) { WritePlace(x_plan, i_place, false, x_scratch); },
        [](long i_record) { gx_deferred_puts.PutRecords(i_record, i_record + 1); });
    // Record coordinates beyond the last record any variable fills.
    gx_deferred_puts.PutRecords(i_nrecords, gx_deferred_puts.RecordCount());
    x_scratch.px_read_ahead = nullptr;
}

// Counts the words of field data a conversion writes.
long long DataWords(const std::list<Variable>& x_var_list)
{
    long long i_words = 0;
    for (const Variable& x_var : x_var_list)
        for (const VarField& x_field : x_var.GetVarFields())
            if (x_field.GetData() != nullptr && x_field.GetRegion().GetNRows() > 0 &&
                x_field.GetRegion().GetNCols() > 0)
                i_words += static_cast<long long>(x_field.GetRegion().GetNRows()) * x_field.GetRegion().GetNCols();
    return i_words;
}

// The output while it is being written. A conversion that stops half way must not leave a file
// that looks like a result and that the next run would refuse to replace. That includes the
// library ending the process with status 3 when one of its calls fails (a variable name it
// refuses, a full disk), so an exit handler removes the file too. The path lives in a plain
// array: static strings may be gone by the time exit handlers run.
char gs_unfinished_output[PATH_MAX + 1];

extern "C" void RemoveUnfinishedOutput()
{
    if (gs_unfinished_output[0] != '\0')
        std::remove(gs_unfinished_output);
}

class UnfinishedOutput
{
public:
    UnfinishedOutput() = default;
    // Removes the file unless it was kept; the file is closed by then.
    ~UnfinishedOutput()
    {
        RemoveUnfinishedOutput();
        gs_unfinished_output[0] = '\0';
    }
    UnfinishedOutput(const UnfinishedOutput&) = delete;
    UnfinishedOutput& operator=(const UnfinishedOutput&) = delete;

    // Called once the file exists and is ours, never before: a file that was there already
    // must survive.
    void Arm(const std::string& s_path)
    {
        static const bool b_registered = std::atexit(RemoveUnfinishedOutput) == 0;
        if (b_registered && s_path.size() <= PATH_MAX)
            std::memcpy(gs_unfinished_output, s_path.c_str(), s_path.size() + 1);
    }
    void Keep() { gs_unfinished_output[0] = '\0'; }
};

// Creates the file without replacing one; a failure is silent here so that only our message appears.
// The library's I/O block size is only a buffer size: a larger one moves the same bytes in
// fewer system calls.
std::unique_ptr<NcFile> CreateFile(const std::string& s_output_file_name, long long i_data_words)
{
    NcError x_silent(NcError::silent_nonfatal);
    size_t i_block_bytes = i_data_words >= ci_large_data_words ? ci_large_io_block_bytes : ci_small_io_block_bytes;
    return std::unique_ptr<NcFile>(new NcFile(s_output_file_name.c_str(), NcFile::New,
                                              UsePlainAlgorithms() ? nullptr : &i_block_bytes, 0,
                                              NcFile::Classic));
}

}  // namespace

int WriteNetCDFFile(std::string s_output_file_name, std::list<Variable>& x_var_list,
                    const MTime& x_ref_time, const VarLevTrans& x_var_lev_trans,
                    const GlobalAtts& x_global_atts)
{
    UnfinishedOutput x_unfinished;  // outlives the file, so it is closed before removal
    std::unique_ptr<NcFile> px_nc_file = CreateFile(s_output_file_name, DataWords(x_var_list));
    NcFile& x_nc_file = *px_nc_file;
    if (!x_nc_file.is_valid()) {
        std::cerr << "Error: Output file: " << s_output_file_name
                  << " already exists or could not be opened" << std::endl;
        return 1;
    }
    x_unfinished.Arm(s_output_file_name);
    // Instead of letting the library prefill every variable and then overwrite it, the
    // writer fills only the places no field fills; coordinate values wait until every
    // object is defined. The plain order is kept for the tests that compare the two.
    const bool b_plain = UsePlainAlgorithms();
    if (!b_plain)
        x_nc_file.set_fill(NcFile::NoFill);
    DeferralScope x_deferral(!b_plain);
    FreeNameScope x_free_names(!b_plain);
    std::list<Series<TimeField>> x_times = MinimiseTimes(x_var_list);
    std::list<Region> x_regions = MinimiseRegions(x_var_list);
    std::list<Series<Level>> x_levels = MinimiseLevels(x_var_list);
    WriteGlobalAtts(x_nc_file, x_global_atts);
    CreateTimeDims(x_nc_file, x_times, x_ref_time);
    CreateLevelDims(x_nc_file, x_levels, x_var_lev_trans);
    CreateRegionDims(x_nc_file, x_regions);
    CreateVariables(x_nc_file, x_var_list, x_levels, x_var_lev_trans);
    gx_deferred_puts.FlushFixed();
    WriteVariables(x_nc_file, x_var_list, x_levels, x_times);
    x_nc_file.close();
    x_unfinished.Keep();
    return 0;
}

int WriteGlobalAtts(NcFile& x_nc_file, const GlobalAtts& x_global_atts)
{
    x_nc_file.add_att("Conventions", "CF-1.3");
    if (!x_global_atts.Valid())
        return 0;
    for (const Attribute& x_att : x_global_atts.GetAttributes().Get())
        WriteGlobalAtt(x_nc_file, x_att);
    return 0;
}

NcType Tessoldtype(int i_data_type)
{
    switch (i_data_type) {
    case -3:
    case 3:
        return ncByte;
    case -2:
    case 2:
        return ncInt;
    default:
        return ncFloat;
    }
}

void CreateTimeDims(NcFile& x_nc_file, std::list<Series<TimeField>>& x_ts, const MTime& x_ref_time)
{
    for (Series<TimeField>& x_series : x_ts) {
        x_series.SetBaseValue(x_ref_time.CalcDays());
        const std::list<float> x_values = x_series.GetValues();
        const std::string s_name = "time" + ToString(x_series.GetID(), 0, ' ');
        NcDim* px_dim = x_series.GetID() != 0
                            ? x_nc_file.add_dim(s_name.c_str(), static_cast<long>(x_values.size()))
                            : x_nc_file.add_dim(s_name.c_str());
        NcVar* px_var = x_nc_file.add_var(s_name.c_str(), ncFloat, px_dim);
        const TimeField& x_first = x_series.Get().front();
        px_var->add_att("standard_name", "time");
        px_var->add_att("axis", "T");
        px_var->add_att("calendar", x_first.GetCalendarType().c_str());
        px_var->add_att("units", ("days since " + x_ref_time.GetFormatted()).c_str());
        if (x_first.GetType() > 100)
            px_var->add_att("meaning_period",
                            (ToString(x_first.GetMeaningPeriod(), 0, ' ') + " hours").c_str());
        PutCoordinates(px_var, x_values);
    }
}

void CreateLevelDims(NcFile& x_nc_file, std::list<Series<Level>>& x_ls, const VarLevTrans& x_var_lev_trans)
{
    for (Series<Level>& x_series : x_ls) {
        const std::list<float> x_values = x_series.GetValues();
        const int i_size = x_series.Size();
        Level& x_first = x_series.Get().front();
        const std::string s_name = GetLevelName(x_nc_file, x_first, x_var_lev_trans, i_size);
        x_first.SetName(s_name);
        NcDim* px_dim = x_nc_file.add_dim(s_name.c_str(), i_size);
        NcVar* px_var = x_nc_file.add_var(s_name.c_str(), ncFloat, px_dim);
        const AttributeList x_list = x_var_lev_trans.GetLevelAttributes(x_first.GetType(), i_size);
        px_var->add_att("axis", "Z");
        if (x_list.GetName() != "NULL")
            for (const Attribute& x_att : x_list.Get())
                px_var->add_att(x_att.GetName().c_str(), FirstValue(x_att).c_str());
        PutCoordinates(px_var, x_values);
    }
}

std::string GetLevelName(NcFile& x_nc_file, const Level& x_lev, const VarLevTrans& x_var_lev_trans, int i_size)
{
    const AttributeList x_list = x_var_lev_trans.GetLevelAttributes(x_lev.GetType(), i_size);
    std::string s_base = "Z";
    if (x_list.HasAttribute("out_name"))
        s_base = FirstValue(x_list.GetAttribute("out_name"));
    NcError x_silent(NcError::silent_nonfatal);
    return FirstFreeName(x_nc_file, s_base);
}

void CreateRegionDims(NcFile& x_nc_file, std::list<Region>& x_rs)
{
    for (Region& x_region : x_rs) {
        if (x_region.GetGridType() > 99)
            CreateRotatedRegionDim(x_nc_file, x_region);
        else
            CreateRegularRegionDim(x_nc_file, x_region);
    }
}

namespace {

// The two coordinate variables of a region, defined over their own new dimensions.
struct RegionAxes
{
    NcDim* px_latd;
    NcDim* px_lond;
    NcVar* px_latv;
    NcVar* px_lonv;
};

// Adds the latitude and longitude dimensions and coordinate variables of a region.
RegionAxes AddRegionAxes(NcFile& x_nc_file, const Region& x_region, long i_nlats, long i_nlons)
{
    const std::string s_region = ToString(x_region.GetID(), 0, ' ');
    const std::string s_lat_name = cs_latitude + s_region;
    const std::string s_lon_name = cs_longitude + s_region;
    RegionAxes x_axes;
    x_axes.px_latd = x_nc_file.add_dim(s_lat_name.c_str(), i_nlats);
    x_axes.px_lond = x_nc_file.add_dim(s_lon_name.c_str(), i_nlons);
    x_axes.px_latv = x_nc_file.add_var(s_lat_name.c_str(), ncFloat, x_axes.px_latd);
    x_axes.px_lonv = x_nc_file.add_var(s_lon_name.c_str(), ncFloat, x_axes.px_lond);
    return x_axes;
}

// Writes the standard name, units and axis of one horizontal coordinate variable.
void WriteAxisAtts(NcVar* px_var, const char* s_standard_name, const char* s_units, const char* s_axis)
{
    px_var->add_att("standard_name", s_standard_name);
    px_var->add_att("units", s_units);
    px_var->add_att("axis", s_axis);
}

// Adds one geographic coordinate array variable over the region's two dimensions.
NcVar* AddGlobalCoordVar(NcFile& x_nc_file, const std::string& s_name, const RegionAxes& x_axes,
                         const char* s_long_name, const char* s_units)
{
    NcVar* px_var = x_nc_file.add_var(s_name.c_str(), ncFloat, x_axes.px_latd, x_axes.px_lond);
    px_var->add_att("long_name", s_long_name);
    px_var->add_att("units", s_units);
    return px_var;
}

}  // namespace

void CreateRegularRegionDim(NcFile& x_nc_file, const Region& x_region)
{
    const std::list<float> x_lats = x_region.GetLatitudes();
    const std::list<float> x_lons = x_region.GetLongitudes();
    RegionAxes x_axes = AddRegionAxes(x_nc_file, x_region, static_cast<long>(x_lats.size()),
                                      static_cast<long>(x_lons.size()));
    WriteAxisAtts(x_axes.px_latv, "latitude", "degrees_north", "Y");
    WriteAxisAtts(x_axes.px_lonv, "longitude", "degrees_east", "X");
    PutCoordinates(x_axes.px_latv, x_lats);
    PutCoordinates(x_axes.px_lonv, x_lons);
}

void CreateRotatedRegionDim(NcFile& x_nc_file, Region& x_region)
{
    const std::list<float> x_lats = x_region.GetLatitudes();
    const std::list<float> x_lons = x_region.GetLongitudes();
    float* pf_global_lat = nullptr;
    float* pf_global_lon = nullptr;
    x_region.GetGlobalCoordsForRotatedGrid(pf_global_lat, pf_global_lon);
    const long i_nlats = static_cast<long>(x_lats.size());
    const long i_nlons = static_cast<long>(x_lons.size());
    RegionAxes x_axes = AddRegionAxes(x_nc_file, x_region, i_nlats, i_nlons);
    WriteAxisAtts(x_axes.px_latv, "grid_latitude", "degrees", "Y");
    WriteAxisAtts(x_axes.px_lonv, "grid_longitude", "degrees", "X");
    const std::string s_region = ToString(x_region.GetID(), 0, ' ');
    NcVar* px_glat = AddGlobalCoordVar(x_nc_file, cs_global_latitude + s_region, x_axes, "latitude",
                                       "degrees_north");
    NcVar* px_glon = AddGlobalCoordVar(x_nc_file, cs_global_longitude + s_region, x_axes, "longitude",
                                       "degrees_east");
    NcVar* px_pole = x_nc_file.add_var((cs_rotated_pole + s_region).c_str(), ncChar);
    px_pole->add_att("grid_mapping_name", "rotated_latitude_longitude");
    px_pole->add_att("grid_north_pole_latitude", x_region.GetPoleLatitude());
    px_pole->add_att("grid_north_pole_longitude", x_region.GetPoleLongitude());
    PutCoordinates(x_axes.px_latv, x_lats);
    PutCoordinates(x_axes.px_lonv, x_lons);
    if (i_nlats > 0 && i_nlons > 0 && pf_global_lat != nullptr && pf_global_lon != nullptr) {
        PutCoordinateBlock(px_glat, pf_global_lat, i_nlats, i_nlons);
        PutCoordinateBlock(px_glon, pf_global_lon, i_nlats, i_nlons);
    }
}

void CreateVariables(NcFile& x_nc_file, std::list<Variable>& x_var_list,
                     std::list<Series<Level>>& x_lev_list, const VarLevTrans& x_var_lev_trans)
{
    for (Variable& x_var : x_var_list) {
        NcDim* px_lond = nullptr;
        NcDim* px_latd = nullptr;
        NcDim* px_zd = nullptr;
        NcDim* px_td = nullptr;
        GetDimensions(x_nc_file, &x_var, &x_lev_list, px_lond, px_latd, px_zd, px_td);
        const NcType x_type = VariableType(x_var);
        const std::string s_name = GetVarName(x_nc_file, x_var, x_var_lev_trans);
        NcVar* px_ncvar = x_nc_file.add_var(s_name.c_str(), x_type, px_td, px_zd, px_latd, px_lond);
        WriteVariableAtts(px_ncvar, x_var, x_type, x_var_lev_trans);
        x_var.SetNcVar(px_ncvar);
    }
}

std::string GetVarName(NcFile& x_nc_file, const Variable& x_var, const VarLevTrans& x_var_lev_trans)
{
    NcError x_silent(NcError::silent_nonfatal);
    const AttributeList& x_list =
        x_var_lev_trans.GetVariableAttributes(x_var.GetStashCode(), x_var.GetModelCode());
    std::string s_base;
    if (x_list.HasAttribute("out_name"))
        s_base = FirstValue(x_list.GetAttribute("out_name"));
    else
        s_base = "field" + ToString(x_var.GetFieldCode(), 0, ' ');
    if (x_var.GetProcCode() & ci_proc_minimum)
        s_base += "min";
    if (x_var.GetProcCode() & ci_proc_maximum)
        s_base += "max";
    return FirstFreeName(x_nc_file, s_base);
}

void GetDimensions(NcFile& x_nc_file, Variable* px_var, std::list<Series<Level>>* px_levs,
                   NcDim*& px_lond, NcDim*& px_latd, NcDim*& px_zd, NcDim*& px_td)
{
    const std::string s_region = ToString(px_var->GetRegionID(), 0, ' ');
    const std::string s_lat_name = cs_latitude + s_region;
    const std::string s_lon_name = cs_longitude + s_region;
    const std::string s_time_name = "time" + ToString(px_var->GetTimeID(), 0, ' ');
    std::string s_level_name;
    for (Series<Level>& x_series : *px_levs)
        if (x_series.GetID() == px_var->GetLevelID() && x_series.Size() > 0)
            s_level_name = x_series.Get().front().GetName();
    px_lond = x_nc_file.get_dim(s_lon_name.c_str());
    px_latd = x_nc_file.get_dim(s_lat_name.c_str());
    px_zd = x_nc_file.get_dim(s_level_name.c_str());
    px_td = x_nc_file.get_dim(s_time_name.c_str());
}

std::string GetCellMethod(int i_proc_code)
{
    std::string s_text;
    for (int i_bit = 0; i_bit < ci_cell_method_bits; ++i_bit)
        if (i_proc_code & (1 << i_bit))
            s_text += cs_cell_methods[i_bit];
    return s_text;
}

void WriteVariables(NcFile& x_nc_file, std::list<Variable>& x_var_list, std::list<Series<Level>>& x_lev_list,
                    const std::list<Series<TimeField>>& x_time_list)
{
    std::vector<VariablePlan> x_plans;
    for (Variable& x_var : x_var_list)
        x_plans.push_back(PlanVariable(x_nc_file, x_var, x_lev_list, x_time_list));
    WriteScratch x_scratch;
    if (x_nc_file.get_fill() == NcFile::NoFill) {
        WriteInFileOrder(x_plans, x_scratch);
        return;
    }
    for (const VariablePlan& x_plan : x_plans)
        WriteFieldsInListOrder(x_plan, x_scratch);
}
