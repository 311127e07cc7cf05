#pragma once

#include <atomic>

namespace pivana {

/// Raised once by whoever owns a batch (the Cancel row, Quit, a signal on the command line) and
/// watched by everything the batch runs: the driver starts no further file, `runTool` kills a
/// running tool's process group at once, and in-process work stops at its next progress report
/// or commit. Thread-safe; `cancel()` is async-signal-safe, so a signal handler may call it.
class CancelToken {
public:
    CancelToken();
    ~CancelToken();
    CancelToken(const CancelToken&) = delete;
    CancelToken& operator=(const CancelToken&) = delete;

    void cancel() noexcept;
    bool isCancelled() const noexcept { return m_cancelled.load(std::memory_order_acquire); }
    /// Throws `ConversionError::cancelled()` once cancelled.
    void throwIfCancelled() const;

    /// A descriptor that turns readable when the token is cancelled and stays so, for a `poll`
    /// that waits on a tool and on the token at once.
    int descriptor() const noexcept { return m_eventFd; }

private:
    std::atomic<bool> m_cancelled{false};
    int m_eventFd;
};

}  // namespace pivana
