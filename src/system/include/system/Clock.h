#pragma once

// The program's time: a monotonic clock for elapsed times, the local date and time of day, and
// the seed of a run that is given none. The system's clock in the programs, a settable one in tests.

#include <chrono>
#include <cstdint>

namespace quillon {

struct LocalDateTime {
    int year = 0;
    int month = 0; // 1..12
    int day = 0;   // 1..31
    int hour = 0;  // 0..23
    int minute = 0;
    int second = 0;
};
LocalDateTime CurrentLocalDateTime();

// Microseconds since local midnight: a new seed for every run.
std::uint64_t TimeOfDaySeed();

class Clock {
public:
    virtual ~Clock() = default;
    // A monotonic time: an elapsed time taken from two readings is never negative.
    virtual std::chrono::steady_clock::time_point Now() = 0;
    // The local date and time of day, as report names carry them.
    virtual LocalDateTime LocalNow() = 0;
    // Microseconds since local midnight: the seed of a run that is given none.
    virtual std::uint64_t TimeOfDaySeed() = 0;
};

class SystemClock final : public Clock {
public:
    std::chrono::steady_clock::time_point Now() override { return std::chrono::steady_clock::now(); }
    LocalDateTime LocalNow() override { return CurrentLocalDateTime(); }
    std::uint64_t TimeOfDaySeed() override { return quillon::TimeOfDaySeed(); }
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
    // The local time of day to the second, no fraction.
    std::uint64_t TimeOfDaySeed() override {
        return static_cast<std::uint64_t>((m_local.hour * 60 + m_local.minute) * 60 + m_local.second) * 1'000'000;
    }

    void SetStep(std::chrono::milliseconds step) { m_step = step; }
    void SetLocal(const LocalDateTime& local) { m_local = local; }

private:
    std::chrono::steady_clock::time_point m_now{};
    std::chrono::milliseconds m_step;
    LocalDateTime m_local{2026, 1, 2, 3, 4, 5};
};

} // namespace quillon
