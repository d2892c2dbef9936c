// Runs every stage of one conversion in a fixed order and reports each failure with one
// line on standard error: reading, extraction, metadata, packing, global attributes, writing.
#include "ConvertFile.h"

#include <sys/stat.h>

#include <fstream>
#include <list>

#include "ExtractVariables.h"
#include "Configuration.h"
#include "GlobalAtts.h"
#include "MappedInput.h"
#include "Messages.h"
#include "MTime.h"
#include "Packing.h"
#include "ReadInput.h"
#include "ReadUMFile.h"
#include "ToString.h"
#include "UMWords.h"
#include "VarLevTrans.h"
#include "Variable.h"
#include "WriteNetCDFFile.h"

namespace {

const int ci_hdrchk_words = 6;

// Builds the file's reference time from fixed-header words 21 to 26 and the calendar word 8.
MTime ReferenceTime(const int* px_fixhdr)
{
    if (px_fixhdr == nullptr)
        return MTime();
    return MTime(px_fixhdr + FH_DATA_TIME - 1, FixedWord(px_fixhdr, FH_CALENDAR));
}

// Reads the input, reporting one that holds no data as well.
InputRead ReadInput(const ConversionJob& x_job, InputFile& x_input)
{
    const InputRead x_read = ReadInputFile(x_job.s_input, x_job.b_any_layout, false, x_input);
    if (x_read != InputRead::Read || x_input.Arrays().px_data != nullptr)
        return x_read;
    error("Error: Input file: " + x_job.s_input + " contains no data.");
    return InputRead::Faulty;
}

// Groups the fields into variables; false after reporting a field whose grid cannot be placed.
bool Extract(InputFile& x_input, std::list<Variable>& x_var_list, const std::string& s_input_file_name,
             FieldGrouping x_grouping)
{
    std::string s_fault;
    UMArrays& x_hdrs = x_input.Arrays();
    if (ExtractVarFields(x_hdrs.px_fixhdr, x_hdrs.px_pphdrs, x_hdrs.px_data, x_var_list, x_input.Grids(), s_fault,
                         x_grouping))
        return true;
    error("Error: Input file: " + s_input_file_name + " is corrupt: " + s_fault);
    return false;
}

// Reports an input file that another process cut short during the conversion.
void ReportChangedInput(const std::string& s_input_file_name)
{
    error("Error: Input file: " + s_input_file_name + " changed while it was being converted.");
}

// Applies the packing rules; false after reporting an input cut short meanwhile.
bool Pack(Packing& x_packing, std::list<Variable>& x_var_list, const std::string& s_input_file_name)
{
    try {
        x_packing.PackVariables(x_var_list);
        return true;
    } catch (const InputChanged&) {
        ReportChangedInput(s_input_file_name);
    }
    return false;
}

// Writes the output file; an input cut short or a failing netCDF call during the writing is reported.
int WriteOutput(const ConversionJob& x_job, std::list<Variable>& x_var_list, const MTime& x_ref_time,
                const Configuration& x_config)
{
    try {
        OutputProfile x_profile;
        x_profile.b_cf = x_job.b_cf;
        x_profile.b_netcdf4 = x_job.b_netcdf4;
        x_profile.i_deflate = x_job.i_deflate;
        x_profile.s_history = x_job.s_history;
        return WriteNetCDFFile(x_job.s_output, x_var_list, x_ref_time, x_config.x_translation,
                               x_config.x_attributes, x_job.b_replace, x_profile);
    } catch (const InputChanged&) {
        ReportChangedInput(x_job.s_input);
    } catch (const OutputFailed& x_failure) {
        error(std::string("Error: ") + x_failure.what());
        return ci_write_failed;
    }
    return ci_failed;
}

// An existing output is kept unless the job replaces it, and that is known before any work.
bool OutputIsFree(const ConversionJob& x_job)
{
    struct stat x_status;
    if (x_job.b_replace || lstat(x_job.s_output.c_str(), &x_status) != 0)
        return true;
    error("Error: Output file: " + x_job.s_output + " already exists or could not be opened");
    return false;
}

}  // namespace

bool IsUMFile(std::istream& x_infile)
{
    int px_words[ci_hdrchk_words];
    x_infile.clear();
    x_infile.seekg(0, std::ios::beg);
    x_infile.read(reinterpret_cast<char*>(px_words), sizeof px_words);
    if (x_infile.gcount() != static_cast<std::streamsize>(sizeof px_words))
        return false;
    return px_words[FH_DATA_SET_FORMAT - 1] == -32768 && px_words[1] >= 1 && px_words[1] <= 4 &&
           px_words[2] >= 1 && px_words[2] <= 6 && px_words[3] >= 0 && px_words[3] <= 105 &&
           px_words[4] >= 1 && px_words[4] <= 10;
}

int ConvertFile(const ConversionJob& x_job)
{
    const std::string& s_input_file_name = x_job.s_input;
    if (!OutputIsFree(x_job)) {
        error("Error: Output file could not be written.");
        return ci_failed;
    }
    // Released on every path once reading has begun.
    InputFile x_input;
    const InputRead x_read = ReadInput(x_job, x_input);
    if (x_read == InputRead::Refused)
        return ci_failed;

    int i_ret = ci_failed;
    std::list<Variable> x_var_list;
    bool b_failed = x_read != InputRead::Read;
    MTime x_ref_time = ReferenceTime(x_input.Arrays().px_fixhdr);
    b_failed = b_failed ||
               !Extract(x_input, x_var_list, s_input_file_name, x_job.b_cf ? FieldGrouping::CF : FieldGrouping::Default);
    Configuration x_config(x_job.s_translation, x_job.s_packing, x_job.s_attributes);
    x_config.x_packing.SetRoundCodes(x_job.b_cf);
    b_failed = b_failed || !x_config.Load() || !Pack(x_config.x_packing, x_var_list, s_input_file_name);
    if (!b_failed)
        i_ret = WriteOutput(x_job, x_var_list, x_ref_time, x_config);
    if (i_ret != ci_converted)
        error("Error: Output file could not be written.");

    // The fields point into the data buffer, so the variables go before the buffer does.
    x_var_list.clear();
    if (i_ret == ci_converted)
        inform("Converted file: " + s_input_file_name + " to: " + x_job.s_output);
    return i_ret;
}
