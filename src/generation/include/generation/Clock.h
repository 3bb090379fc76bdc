#pragma once

#include "generation/Report.h"

#include <chrono>

namespace quillon {

// Where the program reads the time: the system's clock in the program, a settable one in tests.
class Clock {
public:
    virtual ~Clock() = default;
    // A monotonic time: an elapsed time taken from two readings is never negative.
    virtual std::chrono::steady_clock::time_point Now() = 0;
    // The local date and time of day, as report names carry them.
    virtual LocalDateTime LocalNow() = 0;
};

class SystemClock final : public Clock {
public:
    std::chrono::steady_clock::time_point Now() override { return std::chrono::steady_clock::now(); }
    LocalDateTime LocalNow() override { return CurrentLocalDateTime(); }
};

// A clock that shows what it is set to. Each reading of Now() moves it on by the step, so two
// readings lie exactly one step apart.
class SettableClock final : public Clock {
public:
    explicit SettableClock(std::chrono::milliseconds step = {}) : m_step(step) {}

    std::chrono::steady_clock::time_point Now() override {
        const auto now = m_now;
        m_now += m_step;
        return now;
    }
    LocalDateTime LocalNow() override { return m_local; }

    void SetStep(std::chrono::milliseconds step) { m_step = step; }
    void SetLocal(const LocalDateTime& local) { m_local = local; }

private:
    std::chrono::steady_clock::time_point m_now{};
    std::chrono::milliseconds m_step;
    LocalDateTime m_local{2026, 1, 2, 3, 4, 5};
};

} // namespace quillon
