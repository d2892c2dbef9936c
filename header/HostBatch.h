// Converts many files with one host call, each in a child process of its own.
#ifndef TESSOLD_HOSTBATCH_H
#define TESSOLD_HOSTBATCH_H

#include <string>
#include <vector>

typedef int (*ConvertFunction)(char*, char*, char*, char*);

struct BatchJob
{
    std::string s_translation;
    std::string s_packing;
    std::string s_global_atts;
    std::vector<std::string> x_inputs;
    int i_jobs;
};

// Converts every input with at most i_jobs children at a time. A failing file, even one
// whose child ends with status 3 or a signal, never stops the batch. Shows a progress bar
// when standard error is a terminal and a one-line summary at the end. Returns 0 when every
// file converted, 1 otherwise (the failing files are listed). SIGINT, SIGTERM or SIGHUP
// stops the batch: no new file starts, the conversions under way finish, and after the
// summary the process ends by that signal.
int RunBatch(ConvertFunction px_convert, const BatchJob& x_job);

#endif
