#include "engine/QuietStandardError.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>

namespace pivana {

namespace {

std::mutex quietLock;
int quietCount = 0;
int savedStandardError = -1;

}  // namespace

QuietStandardError::QuietStandardError() {
    const std::lock_guard<std::mutex> guard(quietLock);
    if (quietCount++ > 0) {
        return;
    }
    std::fflush(stderr);
    savedStandardError = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (savedStandardError >= 0 && nowhere >= 0) {
        ::dup2(nowhere, STDERR_FILENO);
    }
    if (nowhere >= 0) {
        ::close(nowhere);
    }
}

QuietStandardError::~QuietStandardError() {
    const std::lock_guard<std::mutex> guard(quietLock);
    if (--quietCount > 0) {
        return;
    }
    std::fflush(stderr);
    if (savedStandardError >= 0) {
        ::dup2(savedStandardError, STDERR_FILENO);
        ::close(savedStandardError);
        savedStandardError = -1;
    }
}

}  // namespace pivana
