#include "pictures/LowPriority.h"

#include <algorithm>
#include <cerrno>
#include <exception>
#include <sys/resource.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace tessaly {

namespace {

// Raises the calling thread's nice value by `nice`; a failure leaves it as it was.
void LowerThisThread(int nice) {
    const auto thread = static_cast<id_t>(::gettid());
    errno = 0;
    const int now = ::getpriority(PRIO_PROCESS, thread);
    if (errno == 0)
        ::setpriority(PRIO_PROCESS, thread, std::min(now + nice, 19));
}

} // namespace

void RunAtLowerPriority(int nice, const std::function<void()>& work) {
    if (nice <= 0) {
        work();
        return;
    }
    std::exception_ptr error;
    std::thread lowered;
    try {
        lowered = std::thread([&] {
            LowerThisThread(nice);
            try {
                work();
            } catch (...) {
                error = std::current_exception();
            }
        });
    } catch (const std::system_error&) {
        work(); // no thread to be had (a limit on threads or on memory): here, as it is
        return;
    }
    lowered.join();
    if (error)
        std::rethrow_exception(error);
}

} // namespace tessaly
