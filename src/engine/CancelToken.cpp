#include "engine/CancelToken.h"

#include "engine/Error.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace pivana {

CancelToken::CancelToken() : m_eventFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (m_eventFd < 0) {
        throw ConversionError::processFailed(QStringLiteral("Cannot prepare the batch: ") +
                                             QString::fromLocal8Bit(std::strerror(errno)));
    }
}

CancelToken::~CancelToken() {
    ::close(m_eventFd);
}

void CancelToken::cancel() noexcept {
    m_cancelled.store(true, std::memory_order_release);
    // Never read back, so the descriptor stays readable for every waiter.
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_eventFd, &one, sizeof one);
}

void CancelToken::throwIfCancelled() const {
    if (isCancelled()) {
        throw ConversionError::cancelled();
    }
}

}  // namespace pivana
