#include "system/Clock.h"

#include <ctime>

namespace quillon {

namespace {

// The program reads the clock from one thread only, so localtime's shared buffer is safe here.
std::tm LocalTime(std::time_t when) {
    const std::tm* local = std::localtime(&when);
    return local != nullptr ? *local : std::tm{};
}

} // namespace

LocalDateTime CurrentLocalDateTime() {
    const std::tm local = LocalTime(std::time(nullptr));
    if (local.tm_mday == 0) {
        return {}; // the system could not tell
    }
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

std::uint64_t TimeOfDaySeed() {
    const auto now = std::chrono::system_clock::now();
    const std::tm local = LocalTime(std::chrono::system_clock::to_time_t(now));
    const auto sinceEpoch = std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count();
    const auto microsecond = static_cast<std::uint64_t>(sinceEpoch % 1000000 + 1000000) % 1000000;
    const auto secondOfDay = static_cast<std::uint64_t>((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec);
    return secondOfDay * 1000000 + microsecond;
}

} // namespace quillon
