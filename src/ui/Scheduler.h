#pragma once

#include <functional>

namespace pivana {

/// Runs something later on the main thread; tests substitute a clock they control.
class Scheduler {
public:
    virtual ~Scheduler() = default;
    virtual void after(int milliseconds, std::function<void()> work) = 0;
};

}  // namespace pivana
