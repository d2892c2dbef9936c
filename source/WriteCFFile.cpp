// The CF profile's stage order for one output: consolidate the axes and grids (time axes shared
// only where their reference times agree too), write the global attributes, the time, vertical
// and horizontal coordinates, the data variables, then the coordinate values and the field data.
#include "WriteCFFile.h"

#include <netcdf.h>

#include <ctime>

#include "CFProfile.h"
#include "MinimiseDimensions.h"

namespace {

// The current time in UTC as ISO 8601 text.
std::string UtcNow()
{
    const std::time_t x_now = std::time(nullptr);
    std::tm x_utc{};
    gmtime_r(&x_now, &x_utc);
    char s_text[32];
    std::strftime(s_text, sizeof s_text, "%Y-%m-%dT%H:%M:%SZ", &x_utc);
    return s_text;
}

// Writes "Conventions", "history" (when and by what command), then the global attributes file,
// whose own "Conventions" or "history" would contradict the profile and is left out.
void WriteCFGlobalAtts(NcFile& x_nc_file, const GlobalAtts& x_global_atts, const std::string& s_command)
{
    Checked(x_nc_file.add_att("Conventions", "CF-1.11"));
    const std::string s_history = UtcNow() + ": " + (s_command.empty() ? std::string("tessold") : s_command);
    Checked(x_nc_file.add_att("history", s_history.c_str()));
    if (!x_global_atts.Valid())
        return;
    for (const Attribute& x_att : x_global_atts.GetAttributes().Get())
        if (x_att.GetName() != "Conventions" && x_att.GetName() != "history")
            WriteGlobalAtt(x_nc_file, x_att);
}

// Writes the held coordinate values, now that the file's objects are all defined.
void PutCFCoordinates(const std::vector<CFPut>& x_puts)
{
    for (const CFPut& x_put : x_puts) {
        if (x_put.x_values.empty())
            continue;
        if (x_put.i_rows == 0) {
            Checked(x_put.px_var->put(x_put.x_values.data()));
            continue;
        }
        // Each variable is written once, from its origin, where a new variable's cursor stands.
        if (x_put.i_cols == 0)
            Checked(x_put.px_var->put(x_put.x_values.data(), x_put.i_rows));
        else
            Checked(x_put.px_var->put(x_put.x_values.data(), x_put.i_rows, x_put.i_cols));
    }
}

}  // namespace

std::unique_ptr<NcFile> OpenNetCDF4Output(const std::string& s_path, std::string& s_reason, int& i_error)
{
    // The C++ interface as built here makes classic files whatever format it is asked for; the
    // C interface creates the file, which the C++ interface then opens for writing.
    int i_ncid = 0;
    int i_status = nc_create(s_path.c_str(), NC_NOCLOBBER | NC_NETCDF4 | NC_CLASSIC_MODEL, &i_ncid);
    if (i_status == NC_NOERR)
        i_status = nc_close(i_ncid);
    NcError x_silent(NcError::silent_nonfatal);
    std::unique_ptr<NcFile> px_file(new NcFile(s_path.c_str(), NcFile::Write));
    i_error = i_status != NC_NOERR ? i_status : px_file->is_valid() ? NC_NOERR : x_silent.get_err();
    if (i_error != NC_NOERR)
        s_reason = nc_strerror(i_error);
    return px_file;
}

std::string CFFreeName(NcFile& x_nc_file, const std::string& s_base)
{
    NcError x_silent(NcError::silent_nonfatal);
    std::string s_name = s_base;
    for (int i_suffix = 1; x_nc_file.get_var(s_name.c_str()) != nullptr || x_nc_file.get_dim(s_name.c_str()) != nullptr;
         ++i_suffix)
        s_name = s_base + "_" + std::to_string(i_suffix);
    return s_name;
}

NcDim* BoundsDim(WriterState& x_state, CFLayout& x_layout)
{
    if (x_layout.px_bounds == nullptr)
        x_layout.px_bounds = Checked(x_state.x_nc_file.add_dim(CFFreeName(x_state.x_nc_file, "bnds").c_str(), 2));
    return x_layout.px_bounds;
}

void AddText(NcVar* px_var, const char* s_name, const std::string& s_value)
{
    AddAtt(px_var, s_name, s_value.c_str());
}

void WriteCFContents(WriterState& x_state, std::list<Variable>& x_var_list, const MTime& x_ref_time,
                     const VarLevTrans& x_var_lev_trans, const GlobalAtts& x_global_atts,
                     const OutputProfile& x_profile)
{
    std::list<Series<TimeField>> x_times = MinimiseTimes(x_var_list, SameCFTime);
    std::list<Region> x_regions = MinimiseRegions(x_var_list);
    std::list<Series<Level>> x_levels = MinimiseLevels(x_var_list);
    WriteCFGlobalAtts(x_state.x_nc_file, x_global_atts, x_profile.s_history);
    CFLayout x_layout;
    CreateCFTimeAxes(x_state, x_layout, x_times, x_var_list, x_ref_time);
    CreateCFLevelAxes(x_state, x_layout, x_levels);
    CreateCFGrids(x_state, x_layout, x_regions);
    const std::map<const Variable*, std::string> x_names =
        CreateCFVariables(x_state, x_layout, x_var_list, x_levels, x_var_lev_trans, x_profile);
    CompleteFormulaTerms(x_layout, x_var_list, x_names);
    x_state.x_deferred.FlushFixed();
    PutCFCoordinates(x_layout.x_puts);
    WriteVariables(x_state, x_var_list, x_levels, x_times);
}
