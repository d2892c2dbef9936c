// Removal of an output the conversion did not finish, on every way out of the writer: a return,
// an exception, or the library ending the process. The path lives in a plain array, the one
// piece of process-wide state here, because an exit handler can reach nothing else and static
// strings may be gone by the time exit handlers run.
#include "OutputLifecycle.h"

#include <limits.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

char gs_unfinished_output[PATH_MAX + 1];

extern "C" void RemoveUnfinishedOutput()
{
    if (gs_unfinished_output[0] != '\0')
        std::remove(gs_unfinished_output);
}

}  // namespace

// Removes the file unless it was kept; the file is closed by then.
UnfinishedOutput::~UnfinishedOutput()
{
    RemoveUnfinishedOutput();
    gs_unfinished_output[0] = '\0';
}

void UnfinishedOutput::Arm(const std::string& s_path)
{
    static const bool b_registered = std::atexit(RemoveUnfinishedOutput) == 0;
    if (b_registered && s_path.size() <= PATH_MAX)
        std::memcpy(gs_unfinished_output, s_path.c_str(), s_path.size() + 1);
}

void UnfinishedOutput::Keep()
{
    gs_unfinished_output[0] = '\0';
}
