#include "support/thread_priority.h"

#include <cerrno>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace plumbrae::support {

void runBehindOtherThreads() noexcept {
#ifdef _WIN32
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
#elif defined(__linux__)
    // On Linux a thread has a nice value of its own, set through its thread id.
    constexpr int Behind = 5;
    const auto self = static_cast<id_t>(::syscall(SYS_gettid));
    errno = 0;
    const int current = ::getpriority(PRIO_PROCESS, self);
    if (errno == 0) {
        ::setpriority(PRIO_PROCESS, self, current + Behind);
    }
#endif
}

} // namespace plumbrae::support
