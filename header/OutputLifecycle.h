// The life of an output file while it is written: a conversion that stops half way must not
// leave a file that looks like a result and that the next run would refuse to replace.
#ifndef TESSOLD_OUTPUTLIFECYCLE_H
#define TESSOLD_OUTPUTLIFECYCLE_H

#include <string>

// Removes the output when it goes out of scope unless Keep was called. The library ends the
// process with status 3 when one of its calls fails (a variable name it refuses, a full disk),
// so an exit handler removes the file on that path too.
class UnfinishedOutput
{
public:
    UnfinishedOutput() = default;
    ~UnfinishedOutput();
    UnfinishedOutput(const UnfinishedOutput&) = delete;
    UnfinishedOutput& operator=(const UnfinishedOutput&) = delete;

    // Called once the file exists and is ours, never before: a file that was there already must survive.
    void Arm(const std::string& s_path);
    // The file is complete and closed: it stays.
    void Keep();
};

#endif
