// Converts many files with one host call, each in a child process of its own.
#ifndef TESSOLD_HOSTBATCH_H
#define TESSOLD_HOSTBATCH_H

#include "HostCall.h"
#include "HostOptions.h"

// Converts every input with at most i_jobs children at a time, each as the job says (an input
// whose output exists counts as skipped with --skip-existing). A failing file, even one
// whose child ends with status 3 or a signal, never stops the batch. Shows a progress bar
// when standard error is a terminal and a one-line summary at the end (neither when quiet,
// but for a summary of failures or an interruption). Returns 0 when every
// file converted, 1 otherwise (the failing files are listed). SIGINT, SIGTERM or SIGHUP
// stops the batch: no new file starts, the conversions under way finish, and after the
// summary the process ends by that signal.
int RunBatch(ConvertEntry px_convert, const HostOptions& x_options);

#endif
