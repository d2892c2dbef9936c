// Command-line host: loads libtessold.so the way any host does (dlopen, then dlsym of
// "tessold"), so the exported entry point is exercised on every run.
#include <dlfcn.h>
#include <limits.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "HostBatch.h"

namespace {

const char* const cs_usage =
    "Usage: tessold INPUT.um TRANSLATION.xml PACKING.xml GLOBAL_ATTRIBUTES.txt\n"
    "       tessold --batch [--jobs N] [--] TRANSLATION.xml PACKING.xml GLOBAL_ATTRIBUTES.txt "
    "INPUT.um...\n";

void PrintHelp()
{
    std::printf("%s\n", cs_usage);
    std::printf(
        "Converts one UM fields file (32-bit little-endian words, unpacked data) into one\n"
        "CF-1.3 netCDF classic file named as the input with \".nc\" appended, next to the\n"
        "input. The metadata translation XML maps STASH codes to variable names and\n"
        "attributes, the packing XML says which diagnostics are byte-packed, cropped,\n"
        "thinned or averaged, and the global attributes text file lists the file's global\n"
        "attributes. An existing output file is never overwritten. The exit status is 0 on\n"
        "success and 1 on failure (3 when the netCDF library fails while writing).\n\n"
        "With --batch (or --jobs N) it converts every INPUT.um with the same three\n"
        "configuration files, each file in a process of its own and N at a time (default:\n"
        "the number of cores it may use); a failing file never stops the others. A progress\n"
        "bar shows on a terminal, a summary line at the end lists the failing files, and the\n"
        "exit status is 1 when any file failed. Ctrl-C (or SIGTERM, SIGHUP) starts no new\n"
        "file and lets the conversions under way finish, so no output is left cut short.\n"
        "Names after -- are never read as options.\n\n"
        "Example:\n"
        "  tessold examples/example.um examples/translation.xml examples/packing.xml \\\n"
        "          examples/global_attributes.txt\n"
        "  ncdump -h examples/example.um.nc\n"
        "  tessold --batch --jobs 2 examples/translation.xml examples/packing.xml \\\n"
        "          examples/global_attributes.txt run1/*.um run2/*.um\n");
}

// Returns the path of this executable, or an empty string.
std::string ExecutablePath()
{
    char s_path[PATH_MAX];
    ssize_t i_length = readlink("/proc/self/exe", s_path, sizeof s_path - 1);
    if (i_length <= 0)
        return std::string();
    s_path[i_length] = '\0';
    return s_path;
}

// Returns the folder that holds this executable, or an empty string.
std::string ExecutableFolder()
{
    const std::string s_full = ExecutablePath();
    const size_t i_slash = s_full.rfind('/');
    return i_slash == std::string::npos ? std::string() : s_full.substr(0, i_slash);
}

// Loads the library next to the executable, else through the usual search path.
ConvertFunction LoadEntryPoint()
{
    std::string s_beside = ExecutableFolder() + "/libtessold.so";
    void* px_library = dlopen(s_beside.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (px_library == nullptr)
        px_library = dlopen("libtessold.so", RTLD_NOW | RTLD_LOCAL);
    if (px_library == nullptr) {
        std::fprintf(stderr, "Error: could not load libtessold.so: %s\n", dlerror());
        return nullptr;
    }
    void* px_symbol = dlsym(px_library, "tessold");
    if (px_symbol == nullptr) {
        std::fprintf(stderr, "Error: libtessold.so does not export tessold\n");
        return nullptr;
    }
    ConvertFunction px_convert;
    std::memcpy(&px_convert, &px_symbol, sizeof px_convert);
    return px_convert;
}

// The CPUs this process may run on (a scheduler or taskset may allow fewer than the machine has).
int UsableCpuCount()
{
    cpu_set_t x_cpus;
    if (sched_getaffinity(0, sizeof x_cpus, &x_cpus) == 0 && CPU_COUNT(&x_cpus) > 0)
        return CPU_COUNT(&x_cpus);
    return static_cast<int>(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)));
}

// Reads a job count; false after printing what is wrong.
bool ParseJobs(const char* ps_count, int& i_jobs)
{
    char* ps_end = nullptr;
    long i_count = std::strtol(ps_count, &ps_end, 10);
    if (*ps_count == '\0' || *ps_end != '\0' || i_count < 1 || i_count > 1024) {
        std::fprintf(stderr, "Error: --jobs needs a number from 1 to 1024\n");
        return false;
    }
    i_jobs = static_cast<int>(i_count);
    return true;
}

// Reads the batch options and file names; false after printing what is wrong. Options may
// stand anywhere before "--"; every argument after it is a name, so that a file whose name
// begins with "-" can still be given.
bool ParseBatch(int argc, char** argv, BatchJob& x_job)
{
    x_job.i_jobs = UsableCpuCount();
    std::vector<std::string> x_names;
    bool b_options = true;
    for (int i_arg = 1; i_arg < argc; ++i_arg) {
        const std::string s_arg = argv[i_arg];
        if (!b_options || s_arg.size() < 2 || s_arg[0] != '-') {
            x_names.push_back(s_arg);
        } else if (s_arg == "--") {
            b_options = false;
        } else if (s_arg == "--batch") {
            // the mode, chosen already
        } else if (s_arg == "--jobs") {
            // A missing count reads as an empty one, which is refused.
            if (!ParseJobs(i_arg + 1 < argc ? argv[++i_arg] : "", x_job.i_jobs))
                return false;
        } else if (s_arg.compare(0, 7, "--jobs=") == 0) {
            if (!ParseJobs(argv[i_arg] + 7, x_job.i_jobs))
                return false;
        } else {
            std::fprintf(stderr, "Error: unknown option %s (put -- before names that begin with -)\n",
                         s_arg.c_str());
            return false;
        }
    }
    if (x_names.size() < 4) {
        std::fprintf(stderr, "%sTry 'tessold --help' for more information.\n", cs_usage);
        return false;
    }
    x_job.s_translation = x_names[0];
    x_job.s_packing = x_names[1];
    x_job.s_global_atts = x_names[2];
    x_job.x_inputs.assign(x_names.begin() + 3, x_names.end());
    return true;
}

// Children forked from the batch process would each resolve the library functions they call
// on first use, writing into their own copies of the symbol tables, one page fault per page;
// binding every symbol once, before the first fork, saves each child that work (about a tenth
// of converting a small file). Symbols are bound eagerly only at program start, so the host
// starts itself again with LD_BIND_NOW set; if that fails it goes on as it is. It starts
// from its own path rather than /proc/self/exe, which would rename the process "exe" for ps,
// top and pkill.
void BindSymbolsBeforeForking(char** argv)
{
    if (std::getenv("LD_BIND_NOW") != nullptr)
        return;
    std::string s_self = ExecutablePath();
    setenv("LD_BIND_NOW", "1", 1);
    execv(s_self.empty() ? "/proc/self/exe" : s_self.c_str(), argv);
    unsetenv("LD_BIND_NOW");
}

bool IsBatch(int argc, char** argv)
{
    for (int i_arg = 1; i_arg < argc && std::strcmp(argv[i_arg], "--") != 0; ++i_arg)
        if (std::strcmp(argv[i_arg], "--batch") == 0 || std::strcmp(argv[i_arg], "--jobs") == 0 ||
            std::strncmp(argv[i_arg], "--jobs=", 7) == 0)
            return true;
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        PrintHelp();
        return 0;
    }
    if (IsBatch(argc, argv)) {
        BatchJob x_job;
        if (!ParseBatch(argc, argv, x_job))
            return 2;
        BindSymbolsBeforeForking(argv);
        ConvertFunction px_convert = LoadEntryPoint();
        return px_convert == nullptr ? 1 : RunBatch(px_convert, x_job);
    }
    if (argc != 5) {
        std::fprintf(stderr, "%sTry 'tessold --help' for more information.\n", cs_usage);
        return 2;
    }
    ConvertFunction px_convert = LoadEntryPoint();
    if (px_convert == nullptr)
        return 1;
    return px_convert(argv[1], argv[2], argv[3], argv[4]);
}
