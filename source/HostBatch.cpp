// Converts many files with one host call: each file in a child process of its own, at most
// a given number at a time, so one failing file (even one whose conversion ends its process)
// never stops the others.
#include "HostBatch.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace {

typedef std::chrono::steady_clock Clock;

struct Running
{
    size_t i_input;
    int i_log;  // the child's standard output and error, an in-memory file (or -1)
};

struct Failure
{
    std::string s_input;
    std::string s_reason;
};

// Ctrl-C, a closed terminal and a scheduler's SIGTERM reach every process of the batch. A
// child cut short would leave an output that looks whole and that no later run replaces, so
// the children ignore these signals and the batch process only records the first one: it
// then starts no new file, lets the conversions under way finish, reports, and ends by the
// same signal, as a shell expects of an interrupted command.
const int ci_stop_signals[] = {SIGINT, SIGTERM, SIGHUP};
const size_t ci_stop_signal_count = sizeof ci_stop_signals / sizeof ci_stop_signals[0];

volatile sig_atomic_t gi_stop_signal = 0;

void RecordStopSignal(int i_signal)
{
    if (gi_stop_signal == 0)
        gi_stop_signal = i_signal;
}

class StopSignals
{
public:
    // Without SA_RESTART, so that waiting for a child returns at once and the interruption
    // shows while the files under way finish. A signal ignored already (a batch started with
    // nohup) stays ignored.
    StopSignals()
    {
        gi_stop_signal = 0;
        struct sigaction x_action;
        std::memset(&x_action, 0, sizeof x_action);
        x_action.sa_handler = RecordStopSignal;
        sigemptyset(&x_action.sa_mask);
        for (size_t i = 0; i < ci_stop_signal_count; ++i) {
            sigaction(ci_stop_signals[i], nullptr, &x_previous[i]);
            if (x_previous[i].sa_handler != SIG_IGN)
                sigaction(ci_stop_signals[i], &x_action, nullptr);
        }
    }
    ~StopSignals() { Restore(); }

    void Restore()
    {
        for (size_t i = 0; i < ci_stop_signal_count; ++i)
            sigaction(ci_stop_signals[i], &x_previous[i], nullptr);
    }

    // A handler would break a child's blocking calls off with EINTR; ignoring never does.
    static void IgnoreInChild()
    {
        for (int i_signal : ci_stop_signals)
            signal(i_signal, SIG_IGN);
    }

private:
    struct sigaction x_previous[ci_stop_signal_count];
};

// Holds the stop signals back while the batch prints: a handler that ran during a write to a
// full pipe or a stopped terminal would cut the write short, and the C library would drop the
// rest of the line, even of the summary. A signal held back arrives when printing ends.
class StopSignalsHeld
{
public:
    StopSignalsHeld()
    {
        sigset_t x_stop;
        sigemptyset(&x_stop);
        for (int i_signal : ci_stop_signals)
            sigaddset(&x_stop, i_signal);
        sigprocmask(SIG_BLOCK, &x_stop, &x_previous);
    }
    ~StopSignalsHeld() { sigprocmask(SIG_SETMASK, &x_previous, nullptr); }
    StopSignalsHeld(const StopSignalsHeld&) = delete;
    StopSignalsHeld& operator=(const StopSignalsHeld&) = delete;

private:
    sigset_t x_previous;
};

// Runs in the child: converts one file with its messages and report in a log of its own, the
// messages first, as their first line names what went wrong, then ends the process with the
// conversion's result. Without a log, standard error stays the batch's own, so that no reason
// is lost.
[[noreturn]] void ConvertInChild(ConvertEntry px_convert, const HostJob& x_job, const std::string& s_input,
                                 int i_null, int i_log)
{
    StopSignals::IgnoreInChild();
    const int i_out = i_log >= 0 ? i_log : i_null;
    if (i_out >= 0)
        dup2(i_out, STDOUT_FILENO);
    if (i_log >= 0)
        dup2(i_log, STDERR_FILENO);
    if (i_null > STDERR_FILENO)
        close(i_null);
    if (i_log > STDERR_FILENO)
        close(i_log);
    const int i_result = CallEntry(px_convert, x_job, s_input, x_job.i_flags);
    std::fflush(nullptr);
    _exit(i_result);
}

// A log for one child's output: a file in memory, so that starting a child creates
// and removes nothing on disk; an unnamed temporary file where that is not available.
int OpenLog()
{
    int i_log = memfd_create("tessold-child-log", MFD_CLOEXEC);
    if (i_log < 0)
        i_log = open("/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    return i_log;
}

// Reads the start of what a child wrote to its log, enough for the line that names what went
// wrong, and closes the log. A child may write any amount; the batch does not hold it all.
std::string ReadLog(int i_log)
{
    std::string s_text;
    if (i_log < 0)
        return s_text;
    const size_t ci_most = 16 << 10;
    char s_chunk[4096];
    ssize_t i_read;
    while (s_text.size() < ci_most && s_text.find('\n') == std::string::npos &&
           (i_read = pread(i_log, s_chunk, sizeof s_chunk, static_cast<off_t>(s_text.size()))) > 0)
        s_text.append(s_chunk, static_cast<size_t>(i_read));
    close(i_log);
    while (!s_text.empty() && s_text.back() == '\n')
        s_text.pop_back();
    return s_text;
}

// The first line of a child's log, which names what went wrong.
std::string FirstLine(const std::string& s_text)
{
    return s_text.substr(0, s_text.find('\n'));
}

// Describes how a child ended; empty when its file converted.
std::string Outcome(int i_status, const std::string& s_log_text)
{
    if (WIFEXITED(i_status) && WEXITSTATUS(i_status) == 0)
        return std::string();
    std::string s_reason = WIFSIGNALED(i_status) ? "ended by signal " + std::to_string(WTERMSIG(i_status))
                                                 : "exit status " + std::to_string(WEXITSTATUS(i_status));
    if (!s_log_text.empty())
        s_reason += ": " + FirstLine(s_log_text);
    return s_reason;
}

class Progress
{
public:
    Progress(size_t i_files, bool b_quiet)
        : i_total(i_files), b_terminal(!b_quiet && isatty(STDERR_FILENO)), x_start(Clock::now())
    {
    }

    double Seconds() const { return std::chrono::duration<double>(Clock::now() - x_start).count(); }

    // Redraws the bar on a terminal: files done, rate and time left.
    void Show(size_t i_done)
    {
        if (!b_terminal)
            return;
        StopSignalsHeld x_held;
        const int ci_width = 30;
        const double d_seconds = Seconds();
        const double d_rate = d_seconds > 0 ? static_cast<double>(i_done) / d_seconds : 0.0;
        const int i_filled = i_total ? static_cast<int>(ci_width * i_done / i_total) : ci_width;
        std::string s_bar(static_cast<size_t>(i_filled), '#');
        s_bar.resize(ci_width, '.');
        std::string s_left = d_rate > 0 ? std::to_string(static_cast<long>(static_cast<double>(i_total - i_done) / d_rate)) + " s left"
                                        : "";
        std::fprintf(stderr, "\r[%s] %zu/%zu files  %.1f files/s  %s   ", s_bar.c_str(), i_done, i_total,
                     d_rate, s_left.c_str());
        std::fflush(stderr);
    }

    // Prints a line above the bar.
    void Line(const std::string& s_text)
    {
        StopSignalsHeld x_held;
        std::fprintf(stderr, "%s%s\n", b_terminal ? "\r\033[K" : "", s_text.c_str());
    }

    void Finish()
    {
        StopSignalsHeld x_held;
        if (b_terminal)
            std::fprintf(stderr, "\r\033[K");
    }

private:
    size_t i_total;
    bool b_terminal;
    Clock::time_point x_start;
};

// One batch: which files have started, which children are running, what failed.
class Batch
{
public:
    Batch(ConvertEntry px_entry, const HostOptions& x_options)
        : px_convert(px_entry), x_job(x_options.x_job), x_inputs(x_options.x_inputs),
          i_total(x_inputs.size()), i_jobs(x_options.i_jobs > 0 ? x_options.i_jobs : 1),
          x_progress(i_total, x_job.b_quiet)
    {
    }

    int Run()
    {
        std::fflush(nullptr);
        x_progress.Show(0);
        i_null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        while (i_done < i_next || (i_next < i_total && gi_stop_signal == 0)) {
            ReportStop();
            StartChildren();
            if (!x_running.empty())
                WaitForOneChild();
        }
        ReportStop();  // a signal that came as the last child ended
        if (i_null >= 0)
            close(i_null);
        x_progress.Finish();
        PrintSummary();
        return x_failures.empty() ? 0 : 1;
    }

private:
    void ReportStop()
    {
        if (gi_stop_signal == 0 || b_stop_reported)
            return;
        b_stop_reported = true;
        const size_t i_running = x_running.size();
        x_progress.Line(i_running == 0 ? std::string("Interrupted: no new file starts.")
                                       : "Interrupted: finishing the " + std::to_string(i_running) +
                                             (i_running == 1 ? " file" : " files") +
                                             " under way; no new file starts.");
    }

    // A file whose process cannot start (a limit on processes, short memory) waits for a
    // running child to end and tries again; it fails only when nothing else is running. So
    // does a file whose log cannot open (a limit on open files); with nothing running, its
    // child writes to the batch's own standard error instead.
    void StartChildren()
    {
        while (gi_stop_signal == 0 && i_next < i_total && static_cast<int>(x_running.size()) < i_jobs) {
            if (x_job.b_skip_existing && PathTaken(OutputPath(x_job, x_inputs[i_next]))) {
                ++i_next;
                ++i_skipped;
                x_progress.Show(++i_done);
                continue;
            }
            const int i_log = OpenLog();
            if (i_log < 0 && !x_running.empty())
                return;
            pid_t i_child = fork();
            if (i_child == 0) {
                CloseLogsOfOthers();
                ConvertInChild(px_convert, x_job, x_inputs[i_next], i_null, i_log);
            }
            if (i_child > 0) {
                x_running[i_child] = {i_next++, i_log};
                continue;
            }
            const std::string s_reason = std::string("could not start a process: ") + std::strerror(errno);
            ReadLog(i_log);
            if (!x_running.empty())
                return;
            x_failures.push_back({x_inputs[i_next++], s_reason});
            x_progress.Line("Failed: " + x_failures.back().s_input + " (" + s_reason + ")");
            x_progress.Show(++i_done);
        }
    }

    // In a new child: the logs of the children already running stay open in the batch, not
    // here, where they would count against the child's limit on open files (the children
    // never call exec, so closing on exec does not apply).
    void CloseLogsOfOthers() const
    {
        for (const auto& x_entry : x_running)
            if (x_entry.second.i_log >= 0)
                close(x_entry.second.i_log);
    }

    // Waits for a child to end and records how its file went; returns early on a signal.
    void WaitForOneChild()
    {
        int i_status = 0;
        pid_t i_child = waitpid(-1, &i_status, 0);
        auto it_running = x_running.find(i_child);
        if (it_running == x_running.end())
            return;
        const std::string& s_input = x_inputs[it_running->second.i_input];
        std::string s_reason = Outcome(i_status, ReadLog(it_running->second.i_log));
        if (!s_reason.empty()) {
            x_failures.push_back({s_input, s_reason});
            x_progress.Line("Failed: " + s_input + " (" + s_reason + ")");
        }
        x_running.erase(it_running);
        x_progress.Show(++i_done);
    }

    // Quiet, the summary shows only when something went wrong.
    void PrintSummary() const
    {
        if (x_job.b_quiet && x_failures.empty() && gi_stop_signal == 0)
            return;
        StopSignalsHeld x_held;
        const double d_seconds = x_progress.Seconds();
        const std::string s_skipped =
            i_skipped > 0 ? "; " + std::to_string(i_skipped) + " skipped (output exists)" : "";
        const std::string s_not_started =
            i_next < i_total ? "; " + std::to_string(i_total - i_next) + " not started (interrupted)" : "";
        std::fprintf(stderr, "Converted %zu of %zu files in %.1f s (%.1f files/s, %d jobs)%s%s%s\n",
                     i_done - x_failures.size() - i_skipped, i_total, d_seconds,
                     d_seconds > 0 ? static_cast<double>(i_done) / d_seconds : 0.0, i_jobs, s_skipped.c_str(),
                     s_not_started.c_str(), x_failures.empty() ? "" : "; failed:");
        for (const Failure& x_failure : x_failures)
            std::fprintf(stderr, "  %s (%s)\n", x_failure.s_input.c_str(), x_failure.s_reason.c_str());
    }

    ConvertEntry px_convert;
    const HostJob& x_job;
    const std::vector<std::string>& x_inputs;
    const size_t i_total;
    const int i_jobs;
    Progress x_progress;
    std::map<pid_t, Running> x_running;
    std::vector<Failure> x_failures;
    size_t i_next = 0;     // inputs started so far
    size_t i_done = 0;     // inputs whose children have ended, or skipped
    size_t i_skipped = 0;  // inputs whose outputs existed (--skip-existing)
    bool b_stop_reported = false;
    int i_null = -1;
};

}  // namespace

int RunBatch(ConvertEntry px_convert, const HostOptions& x_options)
{
    // An ignored SIGCHLD, inherited from whoever started us, would let children vanish
    // without a status to wait for.
    signal(SIGCHLD, SIG_DFL);
    StopSignals x_stop_signals;
    const int i_result = Batch(px_convert, x_options).Run();
    if (gi_stop_signal != 0) {
        x_stop_signals.Restore();
        signal(gi_stop_signal, SIG_DFL);
        raise(gi_stop_signal);
    }
    return i_result;
}
