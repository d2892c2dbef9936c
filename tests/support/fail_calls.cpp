// Preloaded into the host by tests to make system calls fail as a crowded machine or a file
// cut short would: every Nth fork fails with EAGAIN (N from TESSOLD_TEST_FORK_FAILS_EVERY), and
// with TESSOLD_TEST_PREAD_FAILS set every pread finds the end of the file.
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

extern "C" __attribute__((visibility("default"))) pid_t fork()
{
    static long i_calls = 0;
    const char* ps_every = std::getenv("TESSOLD_TEST_FORK_FAILS_EVERY");
    const long i_every = ps_every != nullptr ? std::atol(ps_every) : 0;
    if (i_every > 0 && ++i_calls % i_every == 0) {
        errno = EAGAIN;
        return -1;
    }
    typedef pid_t (*ForkFunction)();
    ForkFunction px_fork = reinterpret_cast<ForkFunction>(dlsym(RTLD_NEXT, "fork"));
    return px_fork != nullptr ? px_fork() : -1;
}

extern "C" __attribute__((visibility("default"))) ssize_t pread(int i_fd, void* px_buffer, size_t i_count,
                                                                off_t i_offset)
{
    if (std::getenv("TESSOLD_TEST_PREAD_FAILS") != nullptr)
        return 0;
    typedef ssize_t (*PreadFunction)(int, void*, size_t, off_t);
    PreadFunction px_pread = reinterpret_cast<PreadFunction>(dlsym(RTLD_NEXT, "pread"));
    return px_pread != nullptr ? px_pread(i_fd, px_buffer, i_count, i_offset) : -1;
}
