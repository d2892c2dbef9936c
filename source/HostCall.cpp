// The host program's calls of the library: the library keeps its lines in buffers and never
// prints, so the host prints them where the library's original entry point did, the failures
// on standard error and the rest on standard output, so a command line reads as it did. Only a
// failing netCDF call differs: the library no longer prints the netCDF text on standard output
// and ends the process, but returns status 3 with an "Error: NetCDF: ..." message.
#include "HostCall.h"

#include <dlfcn.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// Enough for every message a conversion writes; a listing's report grows as it needs.
const size_t ci_buffer_bytes = 64 << 10;

// Prints the text a buffer holds, and on standard error how much more did not fit.
void PrintBuffer(FILE* px_stream, const std::string& s_buffer, size_t i_length)
{
    std::fputs(s_buffer.c_str(), px_stream);
    std::fflush(px_stream);
    if (i_length >= s_buffer.size())
        std::fprintf(stderr, "Error: %zu more bytes of the library's lines did not fit\n",
                     i_length - (s_buffer.size() - 1));
}

}  // namespace

std::string ExecutablePath()
{
    char s_path[PATH_MAX];
    const ssize_t i_length = readlink("/proc/self/exe", s_path, sizeof s_path - 1);
    return i_length <= 0 ? std::string() : std::string(s_path, static_cast<size_t>(i_length));
}

ConvertEntry LoadEntryPoint()
{
    const std::string s_self = ExecutablePath();
    const std::string s_beside = s_self.substr(0, s_self.rfind('/') + 1) + "libtessold.so";
    void* px_library = dlopen(s_beside.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (px_library == nullptr)
        px_library = dlopen("libtessold.so", RTLD_NOW | RTLD_LOCAL);
    if (px_library == nullptr) {
        std::fprintf(stderr, "Error: could not load libtessold.so: %s\n", dlerror());
        return nullptr;
    }
    void* px_symbol = dlsym(px_library, "tessold_convert");
    if (px_symbol == nullptr) {
        std::fprintf(stderr, "Error: libtessold.so does not export tessold_convert\n");
        return nullptr;
    }
    ConvertEntry px_convert;
    std::memcpy(&px_convert, &px_symbol, sizeof px_convert);
    return px_convert;
}

std::string OutputPath(const HostJob& x_job, const std::string& s_input)
{
    if (!x_job.s_output.empty())
        return x_job.s_output;
    if (x_job.s_output_dir.empty())
        return s_input + ".nc";
    const std::string& s_dir = x_job.s_output_dir;
    return s_dir + (s_dir.back() == '/' ? "" : "/") + s_input.substr(s_input.rfind('/') + 1) + ".nc";
}

bool PathTaken(const std::string& s_path)
{
    struct stat x_status;
    return lstat(s_path.c_str(), &x_status) == 0;
}

int CallEntry(ConvertEntry px_convert, const HostJob& x_job, const std::string& s_input, unsigned int i_flags)
{
    const std::string s_output = OutputPath(x_job, s_input);
    std::string s_message(ci_buffer_bytes, '\0'), s_report(ci_buffer_bytes, '\0');
    tessold_request x_request;
    int i_result;
    for (;;) {
        std::memset(&x_request, 0, sizeof x_request);
        x_request.input = s_input.c_str();
        x_request.output = s_output.c_str();
        x_request.translation = x_job.s_translation.c_str();
        x_request.packing = x_job.s_packing.c_str();
        x_request.attributes = x_job.s_attributes.c_str();
        x_request.flags = i_flags;
        x_request.deflate_level = x_job.i_deflate;
        x_request.history = x_job.s_history.c_str();
        x_request.report = &s_report[0];
        x_request.report_size = s_report.size();
        i_result = px_convert(&x_request, &s_message[0], s_message.size());
        const bool b_all_fit =
            x_request.report_length < s_report.size() && x_request.message_length < s_message.size();
        // A listing changes nothing, so it may run again; a conversion must not.
        if (b_all_fit || (i_flags & TESSOLD_LIST) == 0)
            break;
        s_report.assign(std::max(s_report.size(), x_request.report_length + 1), '\0');
        s_message.assign(std::max(s_message.size(), x_request.message_length + 1), '\0');
    }
    PrintBuffer(stderr, s_message, x_request.message_length);
    if (!x_job.b_quiet || (i_flags & TESSOLD_LIST) != 0)
        PrintBuffer(stdout, s_report, x_request.report_length);
    return i_result;
}

int ConvertSingle(ConvertEntry px_convert, const HostJob& x_job, const std::string& s_input)
{
    const std::string s_output = OutputPath(x_job, s_input);
    if (x_job.b_skip_existing && PathTaken(s_output)) {
        if (!x_job.b_quiet)
            std::printf("Skipped: %s (%s exists)\n", s_input.c_str(), s_output.c_str());
        return 0;
    }
    return CallEntry(px_convert, x_job, s_input, x_job.i_flags | TESSOLD_SIGNAL_CLEANUP);
}
