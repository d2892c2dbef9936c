// Reads the host program's command line. Every rule about which name is which lives here, so
// that a command means one thing only: see the help text below and README.md.
#include "HostOptions.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>

#include "tessold.h"

namespace {

const char* const cs_usage =
    "Usage: tessold [OPTIONS] INPUT.um\n"
    "       tessold [OPTIONS] INPUT.um TRANSLATION.xml PACKING.xml GLOBAL_ATTRIBUTES.txt\n"
    "       tessold --batch [OPTIONS] (--translation F | --packing F | --attributes F)... INPUT.um...\n"
    "       tessold --batch [OPTIONS] TRANSLATION.xml PACKING.xml GLOBAL_ATTRIBUTES.txt INPUT.um...\n"
    "       tessold --list [--json] [--translation F] INPUT.um   (or: tessold list ...)\n";

const char* const cs_help =
    "Converts UM fields files (32- or 64-bit words, either byte order) and PP files, unpacked or\n"
    "WGDOS-packed, into netCDF: CF-1.3 classic files, or with --cf the CF-1.11 profile. An\n"
    "output is written under a temporary name (.NAME.XXXXXX.part) in its folder and takes its\n"
    "name only once complete; an existing output is replaced only with --force.\n"
    "\n"
    "Names:\n"
    "  One name is the input, converted with the configuration files given as options, or\n"
    "  none. Four names are the input, the translation, the packing and the global attributes\n"
    "  files. With --batch (or --jobs), every name is an input when any of --translation,\n"
    "  --packing or --attributes is given; otherwise the first three names are the\n"
    "  configuration files and the others the inputs. An empty file name means none. The word\n"
    "  list as the first argument means --list. Options may stand anywhere before --; every\n"
    "  argument after it is a name.\n"
    "\n"
    "Options:\n"
    "  --translation FILE    metadata translation XML: STASH codes to names and attributes\n"
    "  --packing FILE        packing XML: byte packing, cropping, thinning, block means\n"
    "  --attributes FILE     global attributes text file\n"
    "  -o FILE, --output FILE\n"
    "                        the output of the one input (default: the input's name with .nc\n"
    "                        appended, beside the input)\n"
    "  --output-dir DIR      each output goes to DIR, named as its input with .nc appended\n"
    "  --force               replace an existing output, atomically\n"
    "  --skip-existing       an input whose output exists is skipped, not converted or failed\n"
    "  -q, --quiet           print errors only: no success line, no progress bar, and no\n"
    "                        summary unless a file failed or the batch was interrupted\n"
    "  --batch               convert every input, each in a process of its own\n"
    "  --jobs N              convert N files at a time (1 to 1024; default: the cores this\n"
    "                        process may use); implies --batch\n"
    "  --list                list the input's fields and the variables a conversion would make,\n"
    "                        converting nothing\n"
    "  --json                with --list: one JSON object per line\n"
    "  --cf                  write the CF-1.11 profile: one variable per diagnostic, double\n"
    "                        times with bounds, cell_methods, formula_terms, um_stash_source\n"
    "  --netcdf4             with --cf: a netCDF-4 file (classic model), compressed with\n"
    "                        shuffle and zlib, one field per chunk\n"
    "  --deflate N           with --netcdf4: the zlib level, 1 (fastest) to 9 (smallest);\n"
    "                        default 4\n"
    "  --version             print the version\n"
    "  -h, --help            print this help\n"
    "  Options with a value also take the form --NAME=VALUE.\n"
    "\n"
    "With --batch a failing file never stops the others. A progress bar shows on a terminal,\n"
    "a summary line at the end lists the failing files, and the configuration files are\n"
    "checked once before any file starts. Ctrl-C (or SIGTERM, SIGHUP) starts no new file and\n"
    "lets the conversions under way finish, so no output is left cut short; a single\n"
    "conversion removes its unfinished output instead.\n"
    "\n"
    "Exit status:\n"
    "  0       success: every file converted (or skipped), or the listing printed\n"
    "  1       a file failed: a missing or faulty input or configuration file, an existing\n"
    "          output (in a batch: any file failed, whatever its own status)\n"
    "  2       the command line cannot be understood\n"
    "  3       the netCDF library failed while writing (a full disk, a refused name)\n"
    "  128+N   ended by signal N (130 for Ctrl-C, 143 for SIGTERM, 129 for SIGHUP)\n"
    "\n"
    "Examples:\n"
    "  tessold examples/example.um examples/translation.xml examples/packing.xml \\\n"
    "          examples/global_attributes.txt\n"
    "  tessold --translation examples/translation.xml -o /tmp/example.nc examples/example.um\n"
    "  tessold --list --json examples/example.um\n"
    "  tessold --cf --netcdf4 --translation examples/translation.xml examples/example.um\n"
    "  tessold --batch --jobs 2 --output-dir out --skip-existing --translation t.xml run1/*.um\n";

// What the arguments say, before the names are given their roles.
struct CommandLine
{
    std::map<std::string, std::string> x_values;  // options with a value, by their long names
    std::set<std::string> x_flags;                // options without one, by their long names
    std::vector<std::string> x_names;

    bool Given(const std::string& s_name) const
    {
        return x_values.count(s_name) + x_flags.count(s_name) != 0;
    }
};

// The options by their long names; the short names stand for long ones.
const std::set<std::string> cs_flag_options = {"--batch", "--force", "--skip-existing", "--quiet",
                                               "--list",  "--json",  "--cf",            "--netcdf4"};
const std::set<std::string> cs_value_options = {"--output",  "--output-dir", "--translation", "--packing",
                                                "--attributes", "--jobs",     "--deflate"};
const std::map<std::string, std::string> cx_short_names = {{"-o", "--output"}, {"-q", "--quiet"}};

// Prints what is wrong with the arguments; returns the usage status.
int Refuse(const std::string& s_reason, bool b_with_usage = false)
{
    std::fprintf(stderr, "Error: %s\n", s_reason.c_str());
    if (b_with_usage)
        std::fprintf(stderr, "%sTry 'tessold --help' for more information.\n", cs_usage);
    return ci_usage_error;
}

// Reads a job count; false after printing what is wrong.
bool ParseJobs(const std::string& s_count, int& i_jobs)
{
    char* ps_end = nullptr;
    const long i_count = std::strtol(s_count.c_str(), &ps_end, 10);
    if (s_count.empty() || *ps_end != '\0' || i_count < 1 || i_count > 1024) {
        Refuse("--jobs needs a number from 1 to 1024");
        return false;
    }
    i_jobs = static_cast<int>(i_count);
    return true;
}

// Reads a compression level; false after printing what is wrong.
bool ParseDeflate(const std::string& s_level, int& i_deflate)
{
    if (s_level.size() != 1 || s_level[0] < '1' || s_level[0] > '9') {
        Refuse("--deflate needs a number from 1 to 9");
        return false;
    }
    i_deflate = s_level[0] - '0';
    return true;
}

// The command as a shell would take it again: an argument holding anything but plain
// characters goes in single quotes.
std::string CommandText(int argc, char** argv)
{
    const char* const cs_plain = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_=./,:+@%";
    std::string s_command = "tessold";
    for (int i_arg = 1; i_arg < argc; ++i_arg) {
        const std::string s_arg = argv[i_arg];
        if (!s_arg.empty() && s_arg.find_first_not_of(cs_plain) == std::string::npos) {
            s_command += " " + s_arg;
            continue;
        }
        s_command += " '";
        for (char c_char : s_arg)
            s_command += c_char == '\'' ? std::string("'\\''") : std::string(1, c_char);
        s_command += "'";
    }
    return s_command;
}

// Sorts the arguments into options and names; ci_run, or the status after help, the version or
// an error.
int ReadArguments(int argc, char** argv, CommandLine& x_line)
{
    bool b_options = true;
    for (int i_arg = 1; i_arg < argc; ++i_arg) {
        const std::string s_arg = argv[i_arg];
        if (i_arg == 1 && s_arg == "list") {
            x_line.x_flags.insert("--list");
            continue;
        }
        if (!b_options || s_arg.size() < 2 || s_arg[0] != '-') {
            x_line.x_names.push_back(s_arg);
            continue;
        }
        if (s_arg == "--") {
            b_options = false;
            continue;
        }
        if (s_arg == "--help" || s_arg == "-h") {
            std::printf("%s\n%s", cs_usage, cs_help);
            return 0;
        }
        if (s_arg == "--version") {
            std::printf("tessold %s\n", TESSOLD_VERSION);
            return 0;
        }
        const size_t i_equals = s_arg.compare(0, 2, "--") == 0 ? s_arg.find('=') : std::string::npos;
        std::string s_name = s_arg.substr(0, i_equals);
        const auto it_short = cx_short_names.find(s_name);
        if (it_short != cx_short_names.end())
            s_name = it_short->second;
        const bool b_value = cs_value_options.count(s_name) != 0;
        if (!b_value && cs_flag_options.count(s_name) == 0)
            return Refuse("unknown option " + s_arg + " (names after -- are files)");
        if (!b_value && i_equals != std::string::npos)
            return Refuse(s_name + " takes no value");
        if (!b_value)
            x_line.x_flags.insert(s_name);
        else if (i_equals != std::string::npos)
            x_line.x_values[s_name] = s_arg.substr(i_equals + 1);
        else if (i_arg + 1 < argc)
            x_line.x_values[s_name] = argv[++i_arg];
        else if (s_name == "--jobs")
            return Refuse("--jobs needs a number from 1 to 1024");
        else
            return Refuse(s_arg + " needs a value");
    }
    return ci_run;
}

// The value of an option, or "" when it was not given.
std::string ValueOf(const CommandLine& x_line, const std::string& s_name)
{
    const auto it_value = x_line.x_values.find(s_name);
    return it_value == x_line.x_values.end() ? std::string() : it_value->second;
}

// Gives the names their roles (inputs, or the three configuration files first); false after
// printing what is wrong.
bool AssignNames(const CommandLine& x_line, HostOptions& x_options)
{
    const bool b_config_options =
        x_line.Given("--translation") || x_line.Given("--packing") || x_line.Given("--attributes");
    const std::vector<std::string>& x_names = x_line.x_names;
    const size_t i_count = x_names.size();
    const bool b_batch = x_options.x_mode == HostMode::Batch;
    // Without configuration options, the names are laid out as they always were.
    const bool b_laid_out =
        !b_config_options && x_options.x_mode != HostMode::List && (b_batch || i_count == 4);
    const size_t i_configs = b_laid_out ? 3 : 0;
    const size_t i_inputs = i_count > i_configs ? i_count - i_configs : 0;
    if (i_inputs == 0 || (!b_batch && i_inputs != 1)) {
        Refuse(i_count == 0 ? "no input file was named"
                            : std::to_string(i_count) + " names fit none of these forms",
               true);
        return false;
    }
    // A batch names its configuration files first, a single conversion after its input.
    const size_t i_first_config = b_batch ? 0 : 1;
    if (i_configs == 3) {
        x_options.x_job.s_translation = x_names[i_first_config];
        x_options.x_job.s_packing = x_names[i_first_config + 1];
        x_options.x_job.s_attributes = x_names[i_first_config + 2];
    }
    const auto it_inputs = x_names.begin() + static_cast<long>(b_batch ? i_configs : 0);
    x_options.x_inputs.assign(it_inputs, it_inputs + static_cast<long>(i_inputs));
    return true;
}

// Refuses options that contradict each other or the mode; false after printing which.
bool CheckCombinations(const CommandLine& x_line, const HostOptions& x_options)
{
    std::string s_reason;
    bool b_writes = false;
    for (const char* ps_name :
         {"--batch", "--jobs", "--output", "--output-dir", "--force", "--skip-existing"})
        b_writes = b_writes || x_line.Given(ps_name);
    for (const char* ps_name : {"--cf", "--netcdf4", "--deflate"})
        b_writes = b_writes || x_line.Given(ps_name);
    if (x_options.x_mode == HostMode::List && b_writes)
        s_reason = "--list converts nothing: it takes no --batch, --jobs, -o, --output-dir, --force, "
                   "--skip-existing, --cf, --netcdf4 or --deflate";
    else if (x_line.Given("--netcdf4") && !x_line.Given("--cf"))
        s_reason = "--netcdf4 writes the CF profile only: give --cf too";
    else if (x_line.Given("--deflate") && !x_line.Given("--netcdf4"))
        s_reason = "--deflate goes with --netcdf4";
    else if (x_line.Given("--json") && x_options.x_mode != HostMode::List)
        s_reason = "--json goes with --list";
    else if (x_line.Given("--force") && x_line.Given("--skip-existing"))
        s_reason = "--force and --skip-existing do not go together";
    else if (x_line.Given("--output") && x_line.Given("--output-dir"))
        s_reason = "-o and --output-dir do not go together";
    if (!s_reason.empty())
        Refuse(s_reason);
    return s_reason.empty();
}

// Refuses -o with several inputs, and inputs of one name from different folders with
// --output-dir, where the second would find the first one's output and fail (or replace it).
bool CheckOutputs(const HostOptions& x_options)
{
    if (!x_options.x_job.s_output.empty() && x_options.x_inputs.size() != 1) {
        Refuse("-o names the output of one input; use --output-dir for several");
        return false;
    }
    std::map<std::string, std::string> x_input_of;
    for (const std::string& s_input : x_options.x_inputs) {
        const auto x_entry = x_input_of.emplace(s_input.substr(s_input.rfind('/') + 1), s_input);
        if (!x_options.x_job.s_output_dir.empty() && !x_entry.second && x_entry.first->second != s_input) {
            Refuse("--output-dir: " + x_entry.first->second + " and " + s_input +
                   " would have the same output");
            return false;
        }
    }
    return true;
}

}  // namespace

int ParseCommandLine(int argc, char** argv, HostOptions& x_options)
{
    CommandLine x_line;
    const int i_status = ReadArguments(argc, argv, x_line);
    if (i_status != ci_run)
        return i_status;
    if (x_line.Given("--jobs") && !ParseJobs(x_line.x_values["--jobs"], x_options.i_jobs))
        return ci_usage_error;
    if (x_line.Given("--deflate") && !ParseDeflate(x_line.x_values["--deflate"], x_options.x_job.i_deflate))
        return ci_usage_error;
    if (x_line.Given("--list"))
        x_options.x_mode = HostMode::List;
    else if (x_line.Given("--batch") || x_line.Given("--jobs"))
        x_options.x_mode = HostMode::Batch;
    HostJob& x_job = x_options.x_job;
    x_job.s_translation = ValueOf(x_line, "--translation");
    x_job.s_packing = ValueOf(x_line, "--packing");
    x_job.s_attributes = ValueOf(x_line, "--attributes");
    x_job.s_output = ValueOf(x_line, "--output");
    x_job.s_output_dir = ValueOf(x_line, "--output-dir");
    x_job.b_skip_existing = x_line.Given("--skip-existing");
    x_job.b_quiet = x_line.Given("--quiet");
    if (x_line.Given("--force"))
        x_job.i_flags |= TESSOLD_REPLACE;
    if (x_options.x_mode == HostMode::List)
        x_job.i_flags |= TESSOLD_LIST | (x_line.Given("--json") ? TESSOLD_LIST_JSON : 0u);
    if (x_line.Given("--cf")) {
        x_job.i_flags |= TESSOLD_CF | (x_line.Given("--netcdf4") ? TESSOLD_NETCDF4 : 0u);
        x_job.s_history = CommandText(argc, argv);
    }
    if (!CheckCombinations(x_line, x_options) || !AssignNames(x_line, x_options) || !CheckOutputs(x_options))
        return ci_usage_error;
    return ci_run;
}
