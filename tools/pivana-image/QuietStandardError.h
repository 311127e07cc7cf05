#pragma once

// Libraries that report what they meet on standard error (poppler, every problem of a damaged
// PDF; GLib's warnings) would push the tool's own sentence off the first line, which belongs to
// it. While one of these is alive, that output goes nowhere; standard error comes back when it
// goes, before the failure is reported.

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace pivana::image {

class QuietStandardError {
public:
    QuietStandardError() {
        std::fflush(stderr);
        m_saved = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
        const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (m_saved >= 0 && nowhere >= 0) {
            ::dup2(nowhere, STDERR_FILENO);
        }
        if (nowhere >= 0) {
            ::close(nowhere);
        }
    }
    ~QuietStandardError() {
        std::fflush(stderr);
        if (m_saved >= 0) {
            ::dup2(m_saved, STDERR_FILENO);
            ::close(m_saved);
        }
    }
    QuietStandardError(const QuietStandardError&) = delete;
    QuietStandardError& operator=(const QuietStandardError&) = delete;

private:
    int m_saved = -1;
};

}  // namespace pivana::image
