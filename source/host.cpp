// Command-line host: loads libtessold.so the way any host does (dlopen, then dlsym of
// "tessold_convert"), so the exported entry point is exercised on every run. The arguments are
// read in HostOptions.cpp, each call of the library made in HostCall.cpp, batches run in
// HostBatch.cpp.
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "HostBatch.h"
#include "HostCall.h"
#include "HostOptions.h"

namespace {

// The CPUs this process may run on (a scheduler or taskset may allow fewer than the machine has).
int UsableCpuCount()
{
    cpu_set_t x_cpus;
    if (sched_getaffinity(0, sizeof x_cpus, &x_cpus) == 0 && CPU_COUNT(&x_cpus) > 0)
        return CPU_COUNT(&x_cpus);
    return static_cast<int>(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)));
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
    const std::string s_self = ExecutablePath();
    setenv("LD_BIND_NOW", "1", 1);
    execv(s_self.empty() ? "/proc/self/exe" : s_self.c_str(), argv);
    unsetenv("LD_BIND_NOW");
}

}  // namespace

int main(int argc, char** argv)
{
    HostOptions x_options;
    const int i_status = ParseCommandLine(argc, argv, x_options);
    if (i_status != ci_run)
        return i_status;
    if (x_options.x_mode == HostMode::Batch)
        BindSymbolsBeforeForking(argv);
    const ConvertEntry px_convert = LoadEntryPoint();
    if (px_convert == nullptr)
        return 1;
    const HostJob& x_job = x_options.x_job;
    switch (x_options.x_mode) {
    case HostMode::List: return CallEntry(px_convert, x_job, x_options.x_inputs[0], x_job.i_flags);
    case HostMode::Convert: return ConvertSingle(px_convert, x_job, x_options.x_inputs[0]);
    case HostMode::Batch: break;
    }
    // A broken configuration file would fail every file alike, so it fails the batch at once.
    if (CallEntry(px_convert, x_job, "", TESSOLD_CHECK_CONFIG) != TESSOLD_OK)
        return 1;
    if (x_options.i_jobs == 0)
        x_options.i_jobs = UsableCpuCount();
    return RunBatch(px_convert, x_options);
}
