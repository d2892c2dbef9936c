// The two exported entry points. Both form the job, check that the named files exist and run the
// conversion, one call at a time (the netCDF library keeps process-wide state and is not safe for
// threads). tessold writes its messages to the standard streams and lets the netCDF library end
// the process on a failure, as it always has; tessold_convert keeps its messages in the caller's
// buffers and turns every failure into a result. No exception crosses either boundary.
#include "tessold.h"

#include <netcdf.h>
#include <netcdfcpp.h>
#include <sys/stat.h>

#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <string>

#include "Configuration.h"
#include "ConvertFile.h"
#include "FileListing.h"
#include "Messages.h"
#include "OutputLifecycle.h"

namespace {

// The compression level of a netCDF-4 output when the request leaves it 0.
const int ci_default_deflate = 4;

// The one lock every exported call holds for its whole length.
std::mutex& CallLock()
{
    static std::mutex x_lock;
    return x_lock;
}

// True when the file system can report the path's status (a folder counts too).
bool FileExists(const std::string& s_path)
{
    struct stat x_status;
    return stat(s_path.c_str(), &x_status) == 0;
}

// Reports the first of the named files that does not exist; true when all exist. The global
// attributes file is checked before the packing file. With b_empty_is_none an empty name of a
// configuration file stands for no file.
bool AllFilesExist(const ConversionJob& x_job, bool b_with_input, bool b_empty_is_none)
{
    for (const std::string* ps_path : {&x_job.s_input, &x_job.s_translation, &x_job.s_attributes, &x_job.s_packing}) {
        if (ps_path == &x_job.s_input ? !b_with_input : (b_empty_is_none && ps_path->empty()))
            continue;
        if (!FileExists(*ps_path)) {
            error("file : " + *ps_path + " does not exist");
            return false;
        }
    }
    return true;
}

// Runs the job, turning an exception into a failure with one line.
template <typename Run>
int Guarded(Run x_run)
{
    try {
        return x_run();
    } catch (const std::exception& x_error) {
        error(std::string("Error: Conversion stopped: ") + x_error.what());
    } catch (const std::string& s_error) {
        error("Error: Conversion stopped: " + s_error);
    } catch (...) {
        error("Error: Conversion stopped by an unexpected failure.");
    }
    return ci_failed;
}

// Copies text into a caller's buffer of i_size bytes, cut short if need be, always terminated.
void CopyOut(const std::string& s_text, char* ps_buffer, size_t i_size)
{
    if (ps_buffer == nullptr || i_size == 0)
        return;
    const size_t i_count = std::min(s_text.size(), i_size - 1);
    std::memcpy(ps_buffer, s_text.data(), i_count);
    ps_buffer[i_count] = '\0';
}

std::string TextOrEmpty(const char* ps_text)
{
    return ps_text != nullptr ? ps_text : "";
}

// The job a request describes.
ConversionJob JobOf(const tessold_request& x_request)
{
    ConversionJob x_job;
    x_job.s_input = TextOrEmpty(x_request.input);
    x_job.s_output = TextOrEmpty(x_request.output);
    if (x_job.s_output.empty())
        x_job.s_output = x_job.s_input + ".nc";
    x_job.s_translation = TextOrEmpty(x_request.translation);
    x_job.s_packing = TextOrEmpty(x_request.packing);
    x_job.s_attributes = TextOrEmpty(x_request.attributes);
    x_job.b_replace = (x_request.flags & TESSOLD_REPLACE) != 0;
    x_job.b_any_layout = (x_request.flags & TESSOLD_ANY_LAYOUT) != 0;
    x_job.b_cf = (x_request.flags & TESSOLD_CF) != 0;
    x_job.b_netcdf4 = (x_request.flags & TESSOLD_NETCDF4) != 0;
    x_job.i_deflate = x_request.deflate_level == 0 ? ci_default_deflate : x_request.deflate_level;
    x_job.s_history = TextOrEmpty(x_request.history);
    return x_job;
}

// Reports a request whose output options contradict each other or are out of range.
bool OutputOptionsValid(const tessold_request& x_request)
{
    if (x_request.deflate_level < 0 || x_request.deflate_level > 9) {
        error("Error: deflate level " + std::to_string(x_request.deflate_level) + " is not between 0 and 9");
        return false;
    }
    if ((x_request.flags & TESSOLD_NETCDF4) && !(x_request.flags & TESSOLD_CF)) {
        error("Error: netCDF-4 output is written in the CF profile only");
        return false;
    }
    return true;
}

// Does what the request's flags ask for.
int Serve(const tessold_request& x_request, const ConversionJob& x_job)
{
    if (x_request.flags & TESSOLD_CHECK_CONFIG) {
        Configuration x_config(x_job.s_translation, x_job.s_packing, x_job.s_attributes);
        return AllFilesExist(x_job, false, true) && x_config.Load() ? ci_converted : ci_failed;
    }
    if (!AllFilesExist(x_job, true, true) || !OutputOptionsValid(x_request))
        return ci_failed;
    if (x_request.flags & TESSOLD_LIST)
        return ListFile(x_job, (x_request.flags & TESSOLD_LIST_JSON) != 0) ? ci_converted : ci_failed;
    std::unique_ptr<SignalCleanup> px_cleanup;
    if (x_request.flags & TESSOLD_SIGNAL_CLEANUP)
        px_cleanup.reset(new SignalCleanup());
    return ConvertFile(x_job);
}

// netCDF sets itself up (its format tables, HDF5 and the remote-access libraries) on first
// use, and that costs more than converting a small file. Doing it when this library loads lets
// the children of a batch, forked afterwards, inherit it instead of each repeating it.
__attribute__((constructor)) void PrepareNetCDF()
{
    nc_initialize();
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int tessold(char* strInFile, char* strMetadataTrans,
                                                              char* strPackData, char* strGlobalAtts)
{
    std::lock_guard<std::mutex> x_lock(CallLock());
    return Guarded([&]() {
        // The original interface names every file; a missing name is a file that does not exist.
        ConversionJob x_job;
        x_job.s_input = TextOrEmpty(strInFile);
        x_job.s_output = x_job.s_input + ".nc";
        x_job.s_translation = strMetadataTrans != nullptr ? strMetadataTrans : "(null)";
        x_job.s_packing = strPackData != nullptr ? strPackData : "(null)";
        x_job.s_attributes = strGlobalAtts != nullptr ? strGlobalAtts : "(null)";
        if (strInFile == nullptr)
            x_job.s_input = "(null)";
        if (!AllFilesExist(x_job, true, false))
            return ci_failed;
        return ConvertFile(x_job);
    });
}

extern "C" __attribute__((visibility("default"))) int tessold_convert(tessold_request* px_request, char* ps_message,
                                                                      size_t i_message_size)
{
    std::lock_guard<std::mutex> x_lock(CallLock());
    std::string s_errors, s_report;
    int i_result = ci_failed;
    {
        MessageCapture x_capture(s_errors, s_report);
        // Every netCDF failure becomes a result; nothing of the library's own is printed.
        NcError x_non_fatal(NcError::silent_nonfatal);
        if (px_request == nullptr || px_request->input == nullptr)
            error("Error: no input file was named");
        else
            i_result = Guarded([&]() { return Serve(*px_request, JobOf(*px_request)); });
    }
    CopyOut(s_errors, ps_message, i_message_size);
    if (px_request != nullptr) {
        CopyOut(s_report, px_request->report, px_request->report_size);
        px_request->report_length = s_report.size();
        px_request->message_length = s_errors.size();
    }
    return i_result;
}
