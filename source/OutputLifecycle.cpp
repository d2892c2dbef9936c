// Temporary outputs and their final names, and the removal of an output the conversion did not
// finish on every way out: a return, an exception, the library ending the process, a signal. The
// path lives in a plain array, the one piece of process-wide state here, because an exit handler
// or a signal handler can reach nothing else and static strings may be gone by then.
#include "OutputLifecycle.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>

namespace {

char gs_unfinished_output[PATH_MAX + 1];

extern "C" void RemoveUnfinishedOutput()
{
    if (gs_unfinished_output[0] != '\0')
        unlink(gs_unfinished_output);
}

const int ci_cleanup_signals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction gx_previous_actions[3];

extern "C" void RemoveOutputAndEnd(int i_signal)
{
    RemoveUnfinishedOutput();
    signal(i_signal, SIG_DFL);
    raise(i_signal);
}

// Six letters or digits chosen at random.
std::string RandomSuffix()
{
    static const char cs_letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device x_random;
    std::string s_suffix;
    for (int i = 0; i < 6; ++i)
        s_suffix += cs_letters[x_random() % (sizeof cs_letters - 1)];
    return s_suffix;
}

}  // namespace

std::string CreateTemporaryOutput(const std::string& s_final, UnfinishedOutput& x_unfinished,
                                  std::string& s_reason)
{
    const size_t i_slash = s_final.rfind('/');
    const std::string s_folder = i_slash == std::string::npos ? "" : s_final.substr(0, i_slash + 1);
    const std::string s_name = i_slash == std::string::npos ? s_final : s_final.substr(i_slash + 1);
    // A signal between creating the file and arming its removal would leave the file behind.
    sigset_t x_stop, x_previous;
    sigemptyset(&x_stop);
    for (int i_signal : ci_cleanup_signals)
        sigaddset(&x_stop, i_signal);
    pthread_sigmask(SIG_BLOCK, &x_stop, &x_previous);
    std::string s_path;
    for (int i_try = 0; i_try < 100 && s_path.empty(); ++i_try) {
        const std::string s_candidate = s_folder + "." + s_name + "." + RandomSuffix() + ".part";
        // The permissions follow the process's file mode mask, as the output's own would.
        const int i_fd = open(s_candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (i_fd >= 0) {
            close(i_fd);
            x_unfinished.Arm(s_candidate);
            s_path = s_candidate;
        } else if (errno != EEXIST) {
            break;
        }
    }
    if (s_path.empty())
        s_reason = std::strerror(errno);
    pthread_sigmask(SIG_SETMASK, &x_previous, nullptr);
    return s_path;
}

void FreeTemporaryName(const std::string& s_temporary)
{
    unlink(s_temporary.c_str());
}

bool PublishOutput(const std::string& s_temporary, const std::string& s_final, bool b_replace, bool& b_exists,
                   std::string& s_reason)
{
    b_exists = false;
    if (b_replace) {
        if (rename(s_temporary.c_str(), s_final.c_str()) == 0)
            return true;
    } else {
        if (renameat2(AT_FDCWD, s_temporary.c_str(), AT_FDCWD, s_final.c_str(), RENAME_NOREPLACE) == 0)
            return true;
        // File systems without that flag take a hard link, which fails on an existing name too.
        if (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP) {
            if (link(s_temporary.c_str(), s_final.c_str()) == 0) {
                unlink(s_temporary.c_str());
                return true;
            }
        }
        b_exists = errno == EEXIST;
    }
    s_reason = std::strerror(errno);
    return false;
}

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

SignalCleanup::SignalCleanup()
{
    struct sigaction x_action;
    std::memset(&x_action, 0, sizeof x_action);
    x_action.sa_handler = RemoveOutputAndEnd;
    sigemptyset(&x_action.sa_mask);
    // A signal ignored already (a program started with nohup) stays ignored.
    for (size_t i = 0; i < 3; ++i) {
        sigaction(ci_cleanup_signals[i], nullptr, &gx_previous_actions[i]);
        if (gx_previous_actions[i].sa_handler != SIG_IGN)
            sigaction(ci_cleanup_signals[i], &x_action, nullptr);
    }
}

SignalCleanup::~SignalCleanup()
{
    for (size_t i = 0; i < 3; ++i)
        sigaction(ci_cleanup_signals[i], &gx_previous_actions[i], nullptr);
}
