#pragma once

#include "ui/Scheduler.h"

#include <functional>
#include <map>

namespace pivana::test {

// A clock the test moves by hand.
class ManualScheduler : public Scheduler {
public:
    void after(int milliseconds, std::function<void()> work) override {
        m_tasks.emplace(m_now + milliseconds, std::move(work));
    }
    void advance(int milliseconds) {
        m_now += milliseconds;
        while (!m_tasks.empty() && m_tasks.begin()->first <= m_now) {
            auto work = std::move(m_tasks.begin()->second);
            m_tasks.erase(m_tasks.begin());
            work();
        }
    }

private:
    long m_now = 0;
    std::multimap<long, std::function<void()>> m_tasks;
};

}  // namespace pivana::test
