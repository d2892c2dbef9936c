// The writer's stages in their order, for one output file: create it (never over an existing
// one), consolidate the axes and grids, write the global attributes, the dimensions, the data
// variables and the field data, and close it; an unfinished file is removed on every way out.
#include "WriteNetCDFFile.h"

#include <memory>
#include <sstream>
#include <vector>

#include "Messages.h"
#include "WriteCFFile.h"
#include "MinimiseDimensions.h"
#include "OutputLifecycle.h"
#include "PlainAlgorithms.h"

namespace {

// The netCDF library's I/O block: a buffer each conversion faults in afresh (in a batch, each
// child does), so small files take small blocks; large ones save system calls with larger
// blocks. 1 MiB blocks were as fast in some runs and several times slower in others.
const size_t ci_small_io_block_bytes = 64 << 10;
const size_t ci_large_io_block_bytes = 512 << 10;
const long long ci_large_data_words = 4 << 20;  // 16 MiB

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

// Creates the temporary file, which must not exist, for writing; a failure is silent here so
// that only our message appears. i_error is the library's error code.
// The library's I/O block size is only a buffer size: a larger one moves the same bytes in fewer
// system calls.
std::unique_ptr<NcFile> OpenOutput(const std::string& s_path, long long i_data_words, std::string& s_reason,
                                   int& i_error)
{
    NcError x_silent(NcError::silent_nonfatal);
    size_t i_block_bytes = i_data_words >= ci_large_data_words ? ci_large_io_block_bytes : ci_small_io_block_bytes;
    std::unique_ptr<NcFile> px_file(new NcFile(s_path.c_str(), NcFile::New,
                                               UsePlainAlgorithms() ? nullptr : &i_block_bytes, 0, NcFile::Classic));
    i_error = px_file->is_valid() ? NC_NOERR : x_silent.get_err();
    if (i_error != NC_NOERR)
        s_reason = x_silent.get_errmsg();
    return px_file;
}

// Reports an output that cannot be written where it was asked for, and why when that is known.
int ReportUnwritable(const std::string& s_output_file_name, const std::string& s_reason)
{
    error("Error: Output file: " + s_output_file_name + " already exists or could not be opened");
    if (!s_reason.empty())
        error("Error: Output file: " + s_output_file_name + ": " + s_reason);
    return 1;
}

// Writes every object of the file in the stages' order.
void WriteContents(WriterState& x_state, std::list<Variable>& x_var_list, const MTime& x_ref_time,
                   const VarLevTrans& x_var_lev_trans, const GlobalAtts& x_global_atts)
{
    std::list<Series<TimeField>> x_times = MinimiseTimes(x_var_list);
    std::list<Region> x_regions = MinimiseRegions(x_var_list);
    std::list<Series<Level>> x_levels = MinimiseLevels(x_var_list);
    WriteGlobalAtts(x_state.x_nc_file, x_global_atts);
    CreateTimeDims(x_state, x_times, x_ref_time);
    CreateLevelDims(x_state, x_levels, x_var_lev_trans);
    CreateRegionDims(x_state, x_regions);
    CreateVariables(x_state, x_var_list, x_levels, x_var_lev_trans);
    x_state.x_deferred.FlushFixed();
    WriteVariables(x_state, x_var_list, x_levels, x_times);
}

}  // namespace

int WriteNetCDFFile(std::string s_output_file_name, std::list<Variable>& x_var_list,
                    const MTime& x_ref_time, const VarLevTrans& x_var_lev_trans,
                    const GlobalAtts& x_global_atts, bool b_replace, const OutputProfile& x_profile)
{
    std::string s_reason;
    UnfinishedOutput x_unfinished;  // outlives the file, so it is closed before removal
    const std::string s_temporary = CreateTemporaryOutput(s_output_file_name, x_unfinished, s_reason);
    if (s_temporary.empty())
        return ReportUnwritable(s_output_file_name, s_reason);
    FreeTemporaryName(s_temporary);
    int i_error = NC_NOERR;
    std::unique_ptr<NcFile> px_nc_file = x_profile.b_netcdf4
                                             ? OpenNetCDF4Output(s_temporary, s_reason, i_error)
                                             : OpenOutput(s_temporary, DataWords(x_var_list), s_reason, i_error);
    if (!px_nc_file->is_valid()) {
        // Another process took the free name in between: the file is theirs, not ours to remove.
        if (i_error == NC_EEXIST)
            x_unfinished.Keep();
        return ReportUnwritable(s_output_file_name, s_reason);
    }
    // Instead of letting the library prefill every variable and then overwrite it, the
    // writer fills only the places no field fills; coordinate values wait until every
    // object is defined. The plain order is kept for the tests that compare the two.
    WriterState x_state(*px_nc_file, UsePlainAlgorithms());
    if (!x_state.b_plain)
        px_nc_file->set_fill(NcFile::NoFill);
    if (x_profile.b_cf)
        WriteCFContents(x_state, x_var_list, x_ref_time, x_var_lev_trans, x_global_atts, x_profile);
    else
        WriteContents(x_state, x_var_list, x_ref_time, x_var_lev_trans, x_global_atts);
    Checked(px_nc_file->close());
    bool b_exists = false;
    if (!PublishOutput(s_temporary, s_output_file_name, b_replace, b_exists, s_reason))
        return ReportUnwritable(s_output_file_name, b_exists ? std::string() : s_reason);
    x_unfinished.Keep();
    return 0;
}

void WriteGlobalAtt(NcFile& x_nc_file, const Attribute& x_att)
{
    const std::string& s_type = x_att.GetType();
    const char* s_name = x_att.GetName().c_str();
    const int i_count = x_att.GetNumber();
    if (s_type == "string") {
        Checked(x_nc_file.add_att(s_name, JoinValues(x_att.GetValues()).c_str()));
    } else if (s_type == "integer") {
        Checked(x_nc_file.add_att(s_name, i_count, DataOrDummy(ExtractValues<int>(x_att.GetValues()))));
    } else if (s_type == "float") {
        Checked(x_nc_file.add_att(s_name, i_count, DataOrDummy(ExtractValues<float>(x_att.GetValues()))));
    } else if (s_type == "double") {
        Checked(x_nc_file.add_att(s_name, i_count, DataOrDummy(ExtractValues<double>(x_att.GetValues()))));
    } else if (s_type == "short") {
        Checked(x_nc_file.add_att(s_name, i_count, DataOrDummy(ExtractValues<short>(x_att.GetValues()))));
    } else if (s_type == "byte") {
        Checked(x_nc_file.add_att(s_name, i_count, DataOrDummy(ExtractChars(x_att.GetValues()))));
    }
}

int WriteGlobalAtts(NcFile& x_nc_file, const GlobalAtts& x_global_atts)
{
    Checked(x_nc_file.add_att("Conventions", "CF-1.3"));
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

