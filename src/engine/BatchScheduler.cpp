#include "engine/BatchScheduler.h"

#include "engine/CancelToken.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace pivana {

namespace {

// Hands the next unit to whichever worker asks, by the rules of `runUnits`.
class Scheduler {
public:
    Scheduler(const std::vector<WorkUnit>& units, const CancelToken* cancel)
        : m_units(units), m_state(units.size(), State::Pending), m_cancel(cancel) {}

    /// The next unit for a worker, waiting until one may start; none when the worker is done.
    std::optional<size_t> next() {
        std::unique_lock lock(m_mutex);
        while (!cancelled()) {
            if (const auto unit = pick()) {
                m_state[*unit] = State::Running;
                ++m_running;
                m_exclusiveRunning |= m_units[*unit].kind == WorkKind::Exclusive;
                m_officeRunning |= m_units[*unit].kind == WorkKind::Office;
                return unit;
            }
            if (std::find(m_state.begin(), m_state.end(), State::Pending) == m_state.end()) {
                return std::nullopt;
            }
            // Woken when a unit ends; the timeout only catches a cancel while all wait.
            m_changed.wait_for(lock, std::chrono::milliseconds(200));
        }
        return std::nullopt;
    }

    void finished(size_t unit) {
        const std::lock_guard lock(m_mutex);
        m_state[unit] = State::Done;
        --m_running;
        if (m_units[unit].kind == WorkKind::Exclusive) {
            m_exclusiveRunning = false;
        }
        if (m_units[unit].kind == WorkKind::Office) {
            m_officeRunning = false;
        }
        m_changed.notify_all();
    }

    bool neverStarted(size_t unit) const { return m_state[unit] == State::Pending; }

private:
    enum class State { Pending, Running, Done };

    bool cancelled() const { return m_cancel && m_cancel->isCancelled(); }

    bool fileDone(int file) const {
        for (size_t unit = 0; unit < m_units.size(); ++unit) {
            const std::vector<int>& files = m_units[unit].files;
            if (std::find(files.begin(), files.end(), file) != files.end()) {
                return m_state[unit] == State::Done;
            }
        }
        return true;
    }

    bool mayStart(const WorkUnit& unit) const {
        if (m_exclusiveRunning) {
            return false;
        }
        switch (unit.kind) {
            case WorkKind::Exclusive:
                return m_running == 0;
            case WorkKind::Office:
                return !m_officeRunning;
            case WorkKind::Parallel:
                return true;
        }
        return true;
    }

    std::optional<size_t> pick() const {
        for (size_t unit = 0; unit < m_units.size(); ++unit) {
            if (m_state[unit] != State::Pending ||
                (m_units[unit].after && !fileDone(*m_units[unit].after))) {
                continue;
            }
            if (mayStart(m_units[unit])) {
                return unit;
            }
            if (m_units[unit].kind == WorkKind::Exclusive) {
                return std::nullopt;  // waits for the machine to be free; nothing overtakes it
            }
        }
        return std::nullopt;
    }

    const std::vector<WorkUnit>& m_units;
    std::vector<State> m_state;
    const CancelToken* m_cancel;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_running = 0;
    bool m_exclusiveRunning = false;
    bool m_officeRunning = false;
};

}  // namespace

void runUnits(const std::vector<WorkUnit>& units, int workers, const CancelToken* cancel,
              const std::function<void(const WorkUnit&)>& run,
              const std::function<void(const WorkUnit&)>& skipped) {
    if (units.empty()) {
        return;
    }
    Scheduler scheduler(units, cancel);
    const auto work = [&] {
        while (const auto unit = scheduler.next()) {
            run(units[*unit]);
            scheduler.finished(*unit);
        }
    };
    {
        std::vector<std::jthread> threads;
        const size_t count = std::clamp<size_t>(static_cast<size_t>(workers), 1, units.size());
        for (size_t i = 1; i < count; ++i) {
            threads.emplace_back(work);
        }
        work();  // the calling thread is a worker too
    }
    for (size_t unit = 0; unit < units.size(); ++unit) {
        if (scheduler.neverStarted(unit)) {
            skipped(units[unit]);
        }
    }
}

}  // namespace pivana
