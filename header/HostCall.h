// The host program's calls of the library: loading its entry point, and one call for one input
// with the buffers it needs, printing what came back as the library's own lines.
#ifndef TESSOLD_HOSTCALL_H
#define TESSOLD_HOSTCALL_H

#include <string>

#include "HostOptions.h"
#include "tessold.h"

typedef int (*ConvertEntry)(tessold_request*, char*, size_t);

// The path of this executable, or an empty string.
std::string ExecutablePath();

// Loads libtessold.so beside the executable (else through the usual search path) and returns
// its tessold_convert; nullptr after printing why not.
ConvertEntry LoadEntryPoint();

// The output of s_input: -o's name, else the input's name with ".nc" appended, in the output
// folder if one is given, else beside the input.
std::string OutputPath(const HostJob& x_job, const std::string& s_input);

// True when something (even a dangling link) stands under the path, as the library sees it.
bool PathTaken(const std::string& s_path);

// Calls the library for s_input with i_flags and the job's files; prints the messages on
// standard error and the report (unless the job is quiet and this is no listing) on standard
// output. A listing that did not fit is asked for again with room for all of it; a conversion
// runs once, whatever did not fit. Returns the library's result.
int CallEntry(ConvertEntry px_convert, const HostJob& x_job, const std::string& s_input,
              unsigned int i_flags);

// Converts one input as a command of its own: Ctrl-C, SIGTERM or SIGHUP remove the unfinished
// output and end the process by that signal. With --skip-existing an existing output is kept
// and counts as success.
int ConvertSingle(ConvertEntry px_convert, const HostJob& x_job, const std::string& s_input);

#endif
