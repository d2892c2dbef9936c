// Preloaded into the host by tests, makes every Nth fork fail with EAGAIN, as a limit on the
// number of processes does. N comes from TESSOLD_TEST_FORK_FAILS_EVERY (1: every fork fails).
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
