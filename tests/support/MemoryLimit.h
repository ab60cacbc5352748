// Runs a piece of a test in a child process whose address space is limited, so that a step
// that takes more memory than it should fails there (std::bad_alloc, or a crash) while the
// test process keeps its own limits.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <malloc.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tessaly::testing {

// True when the build reserves address space for a sanitizer, where such limits mean nothing.
constexpr bool kAddressSpaceIsReserved =
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) ||                         \
    __has_feature(memory_sanitizer)
    true;
#else
    false;
#endif
#else
    false;
#endif

// The address space the process holds now, in bytes (VmSize).
inline std::uint64_t AddressSpaceInUse() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmSize:") {
            std::uint64_t kib = 0;
            status >> kib;
            return kib * 1024;
        }
        status.ignore(1 << 12, '\n');
    }
    return 0;
}

// Runs `step` in a child allowed `extraBytes` of address space beyond what the process holds
// now. True when the step returned true there without failing. The child's threads share
// one malloc arena: each arena of its own would reserve 64 MiB of address space that it
// does not use, which the limit would count.
inline bool RunsWithin(std::uint64_t extraBytes, const std::function<bool()>& step) {
    const std::uint64_t limit = AddressSpaceInUse() + extraBytes;
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit rl{limit, limit};
        int code = 2;
        if (::mallopt(M_ARENA_MAX, 1) == 1 && ::setrlimit(RLIMIT_AS, &rl) == 0) {
            try {
                code = step() ? 0 : 1;
            } catch (...) {
                code = 3;
            }
        }
        std::_Exit(code);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child)
        return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace tessaly::testing
