// The writer's state for one file: coordinate values held back until define mode ends, and the
// search for free variable names.
#include "WriterState.h"

#include <algorithm>

#include <netcdf.h>

#include "ToString.h"

const std::string cs_latitude = "latitude";
const std::string cs_longitude = "longitude";
const std::string cs_global_latitude = "global_latitude";
const std::string cs_global_longitude = "global_longitude";
const std::string cs_rotated_pole = "rotated_pole";

std::string LastNetCDFError()
{
    // An NcError object reads the library's last error; it puts the error mode back when it goes.
    NcError x_probe(NcError::silent_nonfatal);
    const std::string s_text = x_probe.get_errmsg();
    return s_text.compare(0, 7, "NetCDF:") == 0 ? s_text : "NetCDF: " + s_text;
}

void CheckedStatus(int i_status)
{
    if (i_status != NC_NOERR)
        throw OutputFailed(nc_strerror(i_status));
}

namespace {

bool IsRecordVariable(NcVar* px_var)
{
    return px_var->num_dims() > 0 && px_var->get_dim(0)->is_unlimited();
}

}  // namespace

void DeferredPuts::FlushFixed()
{
    b_active = false;
    std::vector<Put> x_record_puts;
    for (Put& x_put : x_puts) {
        if (IsRecordVariable(x_put.px_var)) {
            x_record_puts.push_back(std::move(x_put));
        } else if (x_put.i_cols == 0) {
            Checked(x_put.px_var->set_cur(0L));
            Checked(x_put.px_var->put(x_put.x_values.data(), x_put.i_rows));
        } else {
            Checked(x_put.px_var->put(x_put.x_values.data(), x_put.i_rows, x_put.i_cols));
        }
    }
    x_puts.swap(x_record_puts);
}

void DeferredPuts::PutRecords(long i_first, long i_end)
{
    for (long i_record = i_first; i_record < i_end; ++i_record)
        for (Put& x_put : x_puts)
            if (i_record < x_put.i_rows) {
                Checked(x_put.px_var->set_cur(i_record));
                Checked(x_put.px_var->put(&x_put.x_values[static_cast<size_t>(i_record)], 1L));
            }
}

long DeferredPuts::RecordCount() const
{
    long i_count = 0;
    for (const Put& x_put : x_puts)
        i_count = std::max(i_count, x_put.i_rows);
    return i_count;
}

WriterState::WriterState(NcFile& x_file, bool b_plain_order) : x_nc_file(x_file), b_plain(b_plain_order)
{
    if (!b_plain)
        x_deferred.Start();
}

void PutCoordinates(WriterState& x_state, NcVar* px_var, const std::list<float>& x_values)
{
    if (x_values.empty())
        return;
    std::vector<float> x_buffer(x_values.begin(), x_values.end());
    if (x_state.x_deferred.Active()) {
        x_state.x_deferred.Add({px_var, std::move(x_buffer), static_cast<long>(x_values.size()), 0});
        return;
    }
    Checked(px_var->set_cur(0L));
    Checked(px_var->put(x_buffer.data(), static_cast<long>(x_buffer.size())));
}

void PutCoordinateBlock(WriterState& x_state, NcVar* px_var, const float* pf_values, long i_rows, long i_cols)
{
    if (x_state.x_deferred.Active()) {
        x_state.x_deferred.Add({px_var, std::vector<float>(pf_values, pf_values + i_rows * i_cols), i_rows, i_cols});
        return;
    }
    Checked(px_var->put(pf_values, i_rows, i_cols));
}

std::string FirstFreeName(WriterState& x_state, const std::string& s_base)
{
    int i_from_zero = 0;
    int& i_suffix = x_state.b_plain ? i_from_zero : x_state.x_free_name_starts[s_base];
    std::string s_name = s_base + "_" + ToString(i_suffix, 0, ' ');
    while (x_state.x_nc_file.get_var(s_name.c_str()) != nullptr)
        s_name = s_base + "_" + ToString(++i_suffix, 0, ' ');
    return s_name;
}
