#pragma once

// Needs nothing but the system and the standard library: the helper tools use it too.

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>

namespace pivana {

/// While one of these is alive, whatever is written on the process's standard error goes
/// nowhere. For work whose libraries report what they meet on standard error themselves
/// (poppler on every problem of a damaged PDF, libtiff, libpng on each broken picture of a
/// document being typeset), which would otherwise push a tool's own sentence off its first line
/// or reach the terminal of `pivana --to` beside our plain reasons. Any number may be alive at
/// once, on any threads: standard error comes back when the last one goes.
class QuietStandardError {
public:
    QuietStandardError() {
        const std::lock_guard<std::mutex> guard(s_lock);
        if (s_count++ > 0) {
            return;
        }
        std::fflush(stderr);
        s_saved = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
        const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (s_saved >= 0 && nowhere >= 0) {
            ::dup2(nowhere, STDERR_FILENO);
        }
        if (nowhere >= 0) {
            ::close(nowhere);
        }
    }
    ~QuietStandardError() {
        const std::lock_guard<std::mutex> guard(s_lock);
        if (--s_count > 0) {
            return;
        }
        std::fflush(stderr);
        if (s_saved >= 0) {
            ::dup2(s_saved, STDERR_FILENO);
            ::close(s_saved);
            s_saved = -1;
        }
    }
    QuietStandardError(const QuietStandardError&) = delete;
    QuietStandardError& operator=(const QuietStandardError&) = delete;

private:
    static inline std::mutex s_lock;
    static inline int s_count = 0;
    static inline int s_saved = -1;
};

}  // namespace pivana
