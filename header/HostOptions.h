// The command line of the host program: what it is asked to do, read from its arguments.
#ifndef TESSOLD_HOSTOPTIONS_H
#define TESSOLD_HOSTOPTIONS_H

#include "tessold.h"

#include <string>
#include <vector>

// What every file of one command shares.
struct HostJob
{
    std::string s_translation;  // "" = none
    std::string s_packing;      // "" = none
    std::string s_attributes;   // "" = none
    std::string s_output;       // -o: the output of the one input; "" = by the folder rule
    std::string s_output_dir;   // --output-dir: outputs go there; "" = beside each input
    unsigned int i_flags = TESSOLD_ANY_LAYOUT;   // every layout; TESSOLD_REPLACE with --force, listing flags
    int i_deflate = 0;          // --deflate: the netCDF-4 compression level; 0 = the library's default
    std::string s_history;      // with --cf: the command, for the output's history
    bool b_skip_existing = false;
    bool b_quiet = false;
};

enum class HostMode { Convert, Batch, List };

struct HostOptions
{
    HostMode x_mode = HostMode::Convert;
    HostJob x_job;
    std::vector<std::string> x_inputs;
    int i_jobs = 0;  // 0: as many as the cores the process may use
};

// ParseCommandLine's result when there is work to do.
const int ci_run = -1;
// The exit status of a command line that cannot be understood.
const int ci_usage_error = 2;

// Reads the arguments into x_options. Returns ci_run when there is work to do, else the exit
// status after printing the help, the version or what is wrong with the arguments.
int ParseCommandLine(int argc, char** argv, HostOptions& x_options);

#endif
