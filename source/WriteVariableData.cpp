// The field data of the output: every field's slab at the index of its own time and level, with
// the places no field fills given the fill value. Fields are written in the order they lie in the
// file (fixed-size variables, then record by record), each write extending the file, with the
// words read ahead on a second thread for large conversions. The plain order writes each
// variable's fields in list order over the library's prefill instead.
#include "WriteNetCDFFile.h"

#include <algorithm>
#include <vector>

#include "FieldReadAhead.h"
#include "PlainAlgorithms.h"
#include "SeriesIndex.h"

namespace {

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
    explicit SeriesPositions(const Series<T>* px_of) : px_series(px_of)
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

// A variable of three dimensions has no level axis (the CF profile's single-level fields); its
// slabs are placed by time alone.
bool HasLevelAxis(NcVar* px_ncvar)
{
    return px_ncvar->num_dims() != 3;
}

// Sets the variable's cursor at a row of the slab of one time and level.
void SetSlabCursor(NcVar* px_ncvar, long i_time, long i_level, long i_row)
{
    if (HasLevelAxis(px_ncvar))
        Checked(px_ncvar->set_cur(i_time, i_level, i_row, 0L));
    else
        Checked(px_ncvar->set_cur(i_time, i_row, 0L));
}

// Writes rows x columns values from the cursor, one time and level deep.
template <typename T>
void PutSlab(NcVar* px_ncvar, const T* px_values, long i_rows, long i_cols)
{
    if (HasLevelAxis(px_ncvar))
        Checked(px_ncvar->put(px_values, 1, 1, i_rows, i_cols));
    else
        Checked(px_ncvar->put(px_values, 1, i_rows, i_cols));
}

// Writes one slab of the prefill value, for a (time, level) place no field fills.
void PutPrefillSlab(NcVar* px_ncvar, NcType x_type, double d_fill, long i_rows, long i_cols)
{
    const size_t i_count = static_cast<size_t>(i_rows * i_cols);
    if (x_type == ncByte)
        PutSlab(px_ncvar, std::vector<ncbyte>(i_count, static_cast<ncbyte>(d_fill)).data(), i_rows, i_cols);
    else if (x_type == ncShort)
        PutSlab(px_ncvar, std::vector<short>(i_count, static_cast<short>(d_fill)).data(), i_rows, i_cols);
    else if (x_type == ncInt)
        PutSlab(px_ncvar, std::vector<int>(i_count, static_cast<int>(d_fill)).data(), i_rows, i_cols);
    else
        PutSlab(px_ncvar, std::vector<float>(i_count, static_cast<float>(d_fill)).data(), i_rows, i_cols);
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
enum class SlabForm { Short, Byte, Float, Int, IntAsByte };

SlabForm FormOf(NcType x_type, int i_pack)
{
    if (i_pack == 2)
        return SlabForm::Short;
    if (i_pack == 1)
        return SlabForm::Byte;
    if (x_type == ncInt)
        return SlabForm::Int;
    if (x_type == ncByte)
        return SlabForm::IntAsByte;
    return SlabForm::Float;
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
    SetSlabCursor(px_ncvar, x_place.i_time, x_place.i_level, i_first_row);
    if (x_form == SlabForm::Float) {
        PutSlab(px_ncvar, reinterpret_cast<const float*>(px_words), i_rows, x_place.i_cols);
    } else if (x_form == SlabForm::Int) {
        PutSlab(px_ncvar, px_words, i_rows, x_place.i_cols);
    } else {
        const size_t i_count = static_cast<size_t>(i_rows * x_place.i_cols);
        x_buffer.resize(i_count);
        for (size_t i = 0; i < i_count; ++i)
            x_buffer[i] = (px_words[i] >= -128 && px_words[i] <= 127) ? static_cast<ncbyte>(px_words[i])
                                                                      : static_cast<ncbyte>(-128);
        PutSlab(px_ncvar, x_buffer.data(), i_rows, x_place.i_cols);
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

// Writes one field's slab in the form its variable's type and packing ask for.
void PutFieldSlab(NcVar* px_ncvar, SlabForm x_form, const VarField& x_field, const SlabPlace& x_place,
                  WriteScratch& x_scratch)
{
    if (WrittenFromWords(x_form) && x_scratch.px_read_ahead == nullptr) {
        PutWords(px_ncvar, x_form, x_field.GetData(), x_place, 0, x_place.i_rows, x_scratch.x_byte_buffer);
        return;
    }
    if (WrittenFromWords(x_form)) {
        ForEachRowBlock(x_place.i_rows, x_place.i_cols, [&](long i_row, long i_rows) {
            const FieldWords x_words{x_field.GetData() + i_row * x_place.i_cols, i_rows * x_place.i_cols};
            PutWords(px_ncvar, x_form, x_scratch.px_read_ahead->Words(x_words), x_place, i_row, i_rows,
                     x_scratch.x_byte_buffer);
        });
        return;
    }
    // A negative side counts as none here, as in the field's own count of its points.
    const long long i_points = std::max(0L, x_place.i_rows) * static_cast<long long>(std::max(0L, x_place.i_cols));
    if (x_form == SlabForm::Short) {
        x_scratch.x_short_buffer.resize(static_cast<size_t>(i_points));
        x_field.CopyDataAsShort(x_scratch.x_short_buffer.data(), i_points);
        PutSlab(px_ncvar, x_scratch.x_short_buffer.data(), x_place.i_rows, x_place.i_cols);
        return;
    }
    x_scratch.x_byte_buffer.resize(static_cast<size_t>(i_points));
    x_field.CopyDataAsByte(x_scratch.x_byte_buffer.data(), i_points);
    PutSlab(px_ncvar, x_scratch.x_byte_buffer.data(), x_place.i_rows, x_place.i_cols);
}

// Where the fields of one variable go: one entry per (time, level) place, time outermost as
// in the file, holding the field written there or null where none is.
struct VariablePlan
{
    Variable* px_var;
    NcVar* px_ncvar;
    NcType x_type;
    SlabForm x_form;
    bool b_record;  // on the unlimited dimension: written record by record
    long i_nlevels;
    long i_nrows;
    long i_ncols;
    std::vector<const VarField*> x_places;
    std::vector<size_t> x_list_order;  // the places of the fields, in the variable's field order
};

// Places every field at the indices of its own time and level; fields that fit no place of
// the variable, or whose grid differs from the variable's, are left out.
VariablePlan PlanVariable(Variable& x_var, std::list<Series<Level>>& x_lev_list,
                          const std::list<Series<TimeField>>& x_time_list)
{
    // The sizes are those of the variable's own dimensions: time, level where it has one, rows, columns.
    NcVar* px_ncvar = x_var.GetNcVar();
    const int i_ndims = px_ncvar->num_dims();
    const long i_nlevels = HasLevelAxis(px_ncvar) ? Checked(px_ncvar->get_dim(1))->size() : 1;
    const NcType x_type = VariableType(x_var);
    VariablePlan x_plan{&x_var, px_ncvar, x_type, FormOf(x_type, x_var.GetPackingBytes()),
                        Checked(px_ncvar->get_dim(0))->is_unlimited() != 0, i_nlevels,
                        Checked(px_ncvar->get_dim(i_ndims - 2))->size(), Checked(px_ncvar->get_dim(i_ndims - 1))->size(),
                        {}, {}};
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
        const size_t i_place = static_cast<size_t>(i_time * x_plan.i_nlevels + i_level);
        x_plan.x_places[i_place] = &x_field;
        x_plan.x_list_order.push_back(i_place);
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
    SetSlabCursor(x_plan.px_ncvar, i_time, i_level, 0L);
    if (px_field != nullptr)
        PutFieldSlab(x_plan.px_ncvar, x_plan.x_form, *px_field, x_place, x_scratch);
    else if (!b_prefilled && x_plan.i_nrows > 0 && x_plan.i_ncols > 0)
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
        if (x_plan.b_record) {
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
            if (px_field == nullptr || !WrittenFromWords(x_plan.x_form))
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
void WriteInFileOrder(WriterState& x_state, std::vector<VariablePlan>& x_plans, WriteScratch& x_scratch)
{
    FieldReadAhead x_read_ahead(WordsInFileOrder(x_plans));
    x_scratch.px_read_ahead = &x_read_ahead;
    const long i_nrecords = VisitInFileOrder(
        x_plans,
        [&](const VariablePlan& x_plan, size_t i_place) { WritePlace(x_plan, i_place, false, x_scratch); },
        [&](long i_record) { x_state.x_deferred.PutRecords(i_record, i_record + 1); });
    // Record coordinates beyond the last record any variable fills.
    x_state.x_deferred.PutRecords(i_nrecords, x_state.x_deferred.RecordCount());
    x_scratch.px_read_ahead = nullptr;
}

}  // namespace

void WriteVariables(WriterState& x_state, std::list<Variable>& x_var_list, std::list<Series<Level>>& x_lev_list,
                    const std::list<Series<TimeField>>& x_time_list)
{
    std::vector<VariablePlan> x_plans;
    for (Variable& x_var : x_var_list)
        x_plans.push_back(PlanVariable(x_var, x_lev_list, x_time_list));
    WriteScratch x_scratch;
    if (!x_state.b_plain) {
        WriteInFileOrder(x_state, x_plans, x_scratch);
        return;
    }
    for (const VariablePlan& x_plan : x_plans)
        WriteFieldsInListOrder(x_plan, x_scratch);
}
