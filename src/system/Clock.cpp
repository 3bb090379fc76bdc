#include "system/Clock.h"

#include <ctime>

namespace quillon {

LocalDateTime CurrentLocalDateTime() {
    const std::time_t now = std::time(nullptr);
    LocalDateTime when;
    // The program reads the clock from one thread only, so localtime's shared buffer is safe here.
    if (const std::tm* local = std::localtime(&now)) {
        when.year = local->tm_year + 1900;
        when.month = local->tm_mon + 1;
        when.day = local->tm_mday;
        when.hour = local->tm_hour;
        when.minute = local->tm_min;
        when.second = local->tm_sec;
    }
    return when;
}

std::uint64_t TimeOfDaySeed() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    if (const std::tm* converted = std::localtime(&seconds)) {
        local = *converted;
    }
    const auto sinceEpoch = std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count();
    const auto microsecond = static_cast<std::uint64_t>(sinceEpoch % 1000000 + 1000000) % 1000000;
    const auto secondOfDay = static_cast<std::uint64_t>((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec);
    return secondOfDay * 1000000 + microsecond;
}

} // namespace quillon
