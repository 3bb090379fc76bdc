// The report's elapsed-seconds text over every 64-bit millisecond value, and its file name over the
// whole range the clock gives, both read back and compared with what went in.
#include "FuzzCheck.h"

#include "generation/Report.h"
#include "support/CoreExtras.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

namespace {

using namespace quillon;

// Reads input bytes as numbers; past the end it reads zeros.
class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    template <typename T> T Take() {
        T value{};
        const std::size_t count = m_position < m_size ? std::min(sizeof(T), m_size - m_position) : 0;
        if (count != 0) {
            std::memcpy(&value, m_data + m_position, count);
        }
        m_position += count;
        return value;
    }

    // A value in [low, high], spread over the whole range.
    int TakeIn(int low, int high) {
        const std::uint32_t span = static_cast<std::uint32_t>(high - low) + 1;
        return low + static_cast<int>(Take<std::uint32_t>() % span);
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_position = 0;
};

bool IsDigits(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

// The seconds text read back as a signed number of milliseconds, held as sign and magnitude so the
// most negative value fits; also checks the shape on the way.
void CheckSecondsText(std::int64_t milliseconds) {
    const std::string text = SecondsText(milliseconds);
    QUILLON_FUZZ_CHECK(text.size() >= 2);
    const bool negative = text[0] == '-';
    QUILLON_FUZZ_CHECK(negative || text[0] == ' ');
    QUILLON_FUZZ_CHECK(negative == (milliseconds < 0));

    std::string_view rest = std::string_view(text).substr(1);
    const std::size_t point = rest.find('.');
    const std::string_view whole = rest.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view() : rest.substr(point + 1);

    std::uint64_t magnitude = 0;
    if (point == std::string_view::npos) {
        QUILLON_FUZZ_CHECK(IsDigits(whole));
    } else {
        // A value below one second has no zero before the point; the fraction has one to three
        // digits and no trailing zero.
        QUILLON_FUZZ_CHECK(whole.empty() || IsDigits(whole));
        QUILLON_FUZZ_CHECK(IsDigits(fraction) && fraction.size() <= 3 && fraction.back() != '0');
    }
    QUILLON_FUZZ_CHECK(whole.empty() || whole == "0" || whole[0] != '0');
    QUILLON_FUZZ_CHECK(whole != "0" || point == std::string_view::npos);
    QUILLON_FUZZ_CHECK(whole.size() <= 17); // 2^63 ms is below 10^17 s

    for (const char c : whole) {
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
    }
    std::uint64_t thousandths = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        thousandths = thousandths * 10 + (i < fraction.size() ? static_cast<std::uint64_t>(fraction[i] - '0') : 0);
    }
    magnitude = magnitude * 1000 + thousandths;

    const std::uint64_t expected = milliseconds < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(milliseconds)
                                                    : static_cast<std::uint64_t>(milliseconds);
    QUILLON_FUZZ_CHECK(magnitude == expected);

    const std::string report = ReportText("1", "m", text, {});
    QUILLON_FUZZ_CHECK(report.find("\r\nCalculation completed in " + text + " seconds.\r\n") != std::string::npos);
}

int ReadNumber(std::string_view digits) {
    int value = 0;
    for (const char c : digits) {
        value = value * 10 + (c - '0');
    }
    return value;
}

void CheckFileName(const LocalDateTime& when) {
    const std::string name = ReportFileName(when);
    constexpr std::string_view kStart = "Quillon.v2.1.2.3.Professional-(";
    constexpr std::string_view kEnd = ").txt";
    // mm-dd-yyyy_HHmmss
    QUILLON_FUZZ_CHECK(name.size() == kStart.size() + 17 + kEnd.size());
    QUILLON_FUZZ_CHECK(name.starts_with(kStart) && name.ends_with(kEnd));
    const std::string_view stamp = std::string_view(name).substr(kStart.size(), 17);
    QUILLON_FUZZ_CHECK(stamp[2] == '-' && stamp[5] == '-' && stamp[10] == '_');
    const std::string_view month = stamp.substr(0, 2);
    const std::string_view day = stamp.substr(3, 2);
    const std::string_view year = stamp.substr(6, 4);
    const std::string_view hour = stamp.substr(11, 2);
    const std::string_view minute = stamp.substr(13, 2);
    const std::string_view second = stamp.substr(15, 2);
    for (const std::string_view part : {month, day, year, hour, minute, second}) {
        QUILLON_FUZZ_CHECK(IsDigits(part));
    }
    QUILLON_FUZZ_CHECK(ReadNumber(month) == when.month && ReadNumber(day) == when.day);
    QUILLON_FUZZ_CHECK(ReadNumber(year) == when.year);
    QUILLON_FUZZ_CHECK(ReadNumber(hour) == when.hour && ReadNumber(minute) == when.minute);
    QUILLON_FUZZ_CHECK(ReadNumber(second) == when.second);

    // Later tries at a free name keep the stamp and the extension.
    for (const int attempt : {1, 2, 10, 10000}) {
        const std::string numbered = NumberedReportFileName(name, attempt);
        QUILLON_FUZZ_CHECK(numbered.ends_with(".txt"));
        QUILLON_FUZZ_CHECK(numbered.starts_with(name.substr(0, name.size() - 4)));
        QUILLON_FUZZ_CHECK((attempt == 1) == (numbered == name));
        if (attempt > 1) {
            QUILLON_FUZZ_CHECK(numbered == name.substr(0, name.size() - 4) + " (" + std::to_string(attempt) + ").txt");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ByteReader reader(data, size);

    // Elapsed time is end ticks minus start ticks: any 64-bit value, and any difference of two
    // 64-bit readings that does not overflow.
    const auto elapsed = reader.Take<std::int64_t>();
    CheckSecondsText(elapsed);
    CheckSecondsText(-(elapsed / 3));
    const auto start = reader.Take<std::int64_t>();
    const auto end = reader.Take<std::int64_t>();
    std::int64_t difference = 0;
    if (!__builtin_sub_overflow(end, start, &difference)) {
        CheckSecondsText(difference);
    }
    for (const std::int64_t edge : {std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max(),
                                    std::int64_t{0}, std::int64_t{-1}, std::int64_t{1}}) {
        CheckSecondsText(edge + (elapsed & 0xff) * (edge < 0 ? 1 : -1));
    }

    // Every date and time the clock can give, leap second included, with four-digit years.
    LocalDateTime when;
    when.year = reader.TakeIn(0, 9999);
    when.month = reader.TakeIn(1, 12);
    when.day = reader.TakeIn(1, 31);
    when.hour = reader.TakeIn(0, 23);
    when.minute = reader.TakeIn(0, 59);
    when.second = reader.TakeIn(0, 60);
    CheckFileName(when);
    return 0;
}
