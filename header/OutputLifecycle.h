// The life of an output file while it is written. It is written under a temporary name in its
// own folder (.NAME.XXXXXX.part, which no one takes for an output) and takes its final name only
// once it is complete and closed, so a conversion that stops half way leaves no file that looks
// like a result, and an existing file is replaced only when the caller asks for it.
#ifndef TESSOLD_OUTPUTLIFECYCLE_H
#define TESSOLD_OUTPUTLIFECYCLE_H

#include <string>

class UnfinishedOutput;

// Creates a new empty file beside s_final under a temporary name, arms x_unfinished with it and
// returns its path; an empty path, with the system's reason in s_reason, when none can be
// created there. The stop signals wait until the file is armed, so that none leaves it behind.
std::string CreateTemporaryOutput(const std::string& s_final, UnfinishedOutput& x_unfinished,
                                  std::string& s_reason);

// Removes the empty file that holds the temporary name, just before the writer creates the file
// again with its no-clobber mode. Opening the empty file with truncation instead would cost a
// whole flush to disk: ext4 writes out a file truncated to nothing when it is closed (its guard
// for programs that rewrite a file in place), and a conversion would wait for that.
void FreeTemporaryName(const std::string& s_temporary);

// Gives the finished file s_temporary the name s_final. Without b_replace an existing file of that
// name is never replaced: false with b_exists set. False with s_reason on any other failure.
bool PublishOutput(const std::string& s_temporary, const std::string& s_final, bool b_replace, bool& b_exists,
                   std::string& s_reason);

// Removes the temporary file when it goes out of scope unless Keep was called. The library ends
// the process with status 3 when one of its calls fails in its fatal mode, so an exit handler
// removes the file on that path too.
class UnfinishedOutput
{
public:
    UnfinishedOutput() = default;
    ~UnfinishedOutput();
    UnfinishedOutput(const UnfinishedOutput&) = delete;
    UnfinishedOutput& operator=(const UnfinishedOutput&) = delete;

    // Called once the file exists and is ours, never before: a file that was there already must survive.
    void Arm(const std::string& s_path);
    // The file has its final name: nothing is left to remove.
    void Keep();
};

// While it lives, SIGINT, SIGTERM and SIGHUP remove the unfinished output and then end the
// process by the same signal, as a shell expects of an interrupted command.
class SignalCleanup
{
public:
    SignalCleanup();
    ~SignalCleanup();
    SignalCleanup(const SignalCleanup&) = delete;
    SignalCleanup& operator=(const SignalCleanup&) = delete;
};

#endif
