#include "devicedb/DeviceTable.h"

#include "KeyedHash.h"

#include "system/Files.h"
#include "utf8/Utf8.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <system_error>

namespace quillon {

struct DeviceTable::Data {
    std::string text;
    // Start offset of each line, then the end of the text: line i runs from starts[i - 1] up to
    // the line end before starts[i]. Four bytes a line, whatever the line.
    std::vector<std::uint32_t> starts{0};
    // Open-addressing index of the device lines by key (their first eight characters): each slot
    // holds a line number, 0 when free, and beside it part of the key's hash, so that a probe reads a line
    // only when the hashes agree. A power of two in size, at most half full.
    struct Slot {
        std::uint32_t line = 0;
        std::uint32_t hash = 0;
    };
    std::vector<Slot> slots;
    HashSecrets secrets = IndexHashSecrets();

    std::size_t LineCount() const { return starts.size() - 1; }
    std::string_view Line(std::size_t number) const {
        const std::size_t start = starts[number - 1];
        std::size_t end = starts[number];
        // The line end is CR LF, LF or CR, and no line holds either character.
        if (end > start && text[end - 1] == '\n') {
            --end;
        }
        if (end > start && text[end - 1] == '\r') {
            --end;
        }
        return std::string_view(text).substr(start, end - start);
    }
};

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// The lookup key of a line or an IMEI text: its first eight characters.
std::string_view KeyOf(std::string_view text) {
    if (text.size() >= 8) {
        std::uint64_t chunk = 0;
        std::memcpy(&chunk, text.data(), sizeof chunk);
        if ((chunk & 0x8080808080808080ull) == 0) {
            return text.substr(0, 8);
        }
    }
    return Utf8Left(text, 8);
}

// What a slot keeps of the hash beside the line number: the high half, which the slot's position
// (the low bits) does not already say.
std::uint32_t SlotTag(std::size_t hash) {
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(hash) >> 32);
}

const std::shared_ptr<const DeviceTable::Data>& EmptyData() {
    static const auto empty = std::make_shared<const DeviceTable::Data>();
    return empty;
}

void BuildIndex(DeviceTable::Data& data) {
    const std::size_t devices = data.LineCount() == 0 ? 0 : data.LineCount() - 1;
    const std::size_t size = std::bit_ceil(std::max<std::size_t>(16, devices * 2));
    data.slots.assign(size, {});
    const std::size_t mask = size - 1;
    for (std::size_t number = 1; number <= devices; ++number) {
        const std::string_view key = KeyOf(data.Line(number));
        const std::size_t hash = HashKey(key, data.secrets);
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            DeviceTable::Data::Slot& slot = data.slots[i];
            // A later line with the same key takes the slot over: the last match wins.
            if (slot.line == 0 || (slot.hash == SlotTag(hash) && KeyOf(data.Line(slot.line)) == key)) {
                slot = {static_cast<std::uint32_t>(number), SlotTag(hash)};
                break;
            }
        }
    }
}

struct Limits {
    std::size_t maxLines = static_cast<std::size_t>(UINT32_MAX) - 1;
    std::uint64_t maxTextBytes = UINT32_MAX;
};

// Why the bytes were refused, or the table.
struct Built {
    std::optional<DeviceTable> table;
    std::optional<Problem> refusal;
};

} // namespace

struct DeviceTableBuilder {
    static DeviceTable Wrap(std::shared_ptr<const DeviceTable::Data> data) { return DeviceTable(std::move(data)); }
};

namespace {

// Decodes and splits `bytes`; refuses what would break the limits before allocating for it.
Built Build(std::string bytes, TableLookup lookup, const Limits& limits, const std::filesystem::path& path) {
    auto data = std::make_shared<DeviceTable::Data>();
    const EncodingDecision decision = DecideEncoding(bytes);
    if (decision.encoding == TextEncoding::Utf8) {
        bytes.erase(0, decision.markBytes);
        data->text = std::move(bytes);
    } else if (decision.encoding == TextEncoding::Windows1252) {
        const std::string_view rest = std::string_view(bytes).substr(decision.markBytes);
        if (Cp1252ToUtf8Size(rest) > limits.maxTextBytes) {
            return {std::nullopt, Problem{ProblemKind::DatabaseTooLargeAsUtf8, path, limits.maxTextBytes, {}, {}}};
        }
        data->text = Cp1252ToUtf8(rest);
        std::string().swap(bytes);
    } else {
        // UTF-16 grows by at most half again as UTF-8, so the file limit keeps this bounded.
        data->text = DecodeText(std::move(bytes));
        if (data->text.size() > limits.maxTextBytes) {
            return {std::nullopt, Problem{ProblemKind::DatabaseTooLargeAsUtf8, path, limits.maxTextBytes, {}, {}}};
        }
    }
    if (data->text.size() > limits.maxTextBytes) {
        return {std::nullopt, Problem{ProblemKind::DatabaseTooLarge, path, limits.maxTextBytes, {}, {}}};
    }

    const char* const text = data->text.data();
    const std::size_t size = data->text.size();
    // Lines end at CR LF, LF or CR. The next CR and the next LF are looked up with memchr and
    // reused until passed, so the split runs at memchr speed on any mix of line ends.
    auto next = [&](char c, std::size_t from) {
        const void* hit = from < size ? std::memchr(text + from, c, size - from) : nullptr;
        return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text) : size;
    };
    std::vector<std::uint32_t>& starts = data->starts;
    starts.clear();
    starts.reserve(std::min(size / 24, limits.maxLines) + 2);
    std::size_t nextCr = next('\r', 0);
    std::size_t nextLf = next('\n', 0);
    std::size_t start = 0;
    while (start < size) {
        if (starts.size() == limits.maxLines) {
            return {std::nullopt, Problem{ProblemKind::DatabaseTooManyLines, path, limits.maxLines, {}, {}}};
        }
        starts.push_back(static_cast<std::uint32_t>(start));
        if (nextCr < start) {
            nextCr = next('\r', start);
        }
        if (nextLf < start) {
            nextLf = next('\n', start);
        }
        const std::size_t end = nextCr < nextLf ? nextCr : nextLf;
        if (end == size) {
            break;
        }
        start = end + ((text[end] == '\r' && end + 1 < size && text[end + 1] == '\n') ? 2 : 1);
    }
    starts.push_back(static_cast<std::uint32_t>(size));
    starts.shrink_to_fit();
    if (lookup == TableLookup::Indexed) {
        BuildIndex(*data);
    }
    return {DeviceTableBuilder::Wrap(std::move(data)), {}};
}

} // namespace

DeviceTable::DeviceTable() : m_data(EmptyData()) {}

DeviceTable DeviceTable::FromBytes(std::string bytes, TableLookup lookup) {
    return *Build(std::move(bytes), lookup, Limits{}, {}).table;
}

std::size_t DeviceTable::LineCount() const {
    return m_data->LineCount();
}

std::string_view DeviceTable::Line(std::size_t number) const {
    if (number == 0 || number > m_data->LineCount()) {
        return {};
    }
    return m_data->Line(number);
}

bool DeviceTable::HasIndex() const {
    return !m_data->slots.empty();
}

std::size_t DeviceTable::FindLine(std::string_view key) const {
    const auto& slots = m_data->slots;
    if (slots.empty()) {
        return ScanForLine(key);
    }
    key = KeyOf(key);
    const std::size_t hash = HashKey(key, m_data->secrets);
    const std::size_t mask = slots.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const Data::Slot slot = slots[i];
        if (slot.line == 0) {
            return 0;
        }
        if (slot.hash == SlotTag(hash) && KeyOf(m_data->Line(slot.line)) == key) {
            return slot.line;
        }
    }
}

void DeviceTable::PrefetchKey(std::string_view key) const {
    const auto& slots = m_data->slots;
    // A small index stays in the processor's caches anyway.
    if (slots.size() > (std::size_t{1} << 12)) {
        __builtin_prefetch(&slots[HashKey(KeyOf(key), m_data->secrets) & (slots.size() - 1)]);
    }
}

std::size_t DeviceTable::ScanForLine(std::string_view key) const {
    key = KeyOf(key);
    // A line shorter than eight characters is its own key, so a short key can only equal a whole
    // line; an eight-character key equals the start of every line that begins with it.
    const std::size_t devices = LineCount() == 0 ? 0 : LineCount() - 1;
    std::size_t last = 0;
    for (std::size_t number = 1; number <= devices; ++number) {
        const std::string_view line = m_data->Line(number);
        if (line.starts_with(key) && KeyOf(line).size() == key.size()) {
            last = number;
        }
    }
    return last;
}

std::string_view Field(std::string_view line, std::size_t number) {
    if (number == 0) {
        return {};
    }
    std::size_t start = 0;
    for (std::size_t i = 1; i < number; ++i) {
        const std::size_t comma = line.find(',', start);
        if (comma == std::string_view::npos) {
            return {};
        }
        start = comma + 1;
    }
    const std::size_t comma = line.find(',', start);
    return line.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
}

std::size_t FieldCount(std::string_view line) {
    return 1 + static_cast<std::size_t>(std::count(line.begin(), line.end(), ','));
}

std::string DeviceEntryText(std::string_view line) {
    const std::size_t fields = FieldCount(line);
    if (fields >= 3) {
        std::string text(Field(line, 2));
        text += ' ';
        text += Field(line, 3);
        return text;
    }
    return std::string(fields == 2 ? Field(line, 2) : line);
}

std::optional<Problem> ReadDeviceTable(const std::filesystem::path& path, DeviceTable& table, TableLookup lookup,
                                       std::uintmax_t maxBytes) {
    auto problem = [&path](ProblemKind kind, std::error_code error = {}, std::uintmax_t limit = 0) {
        return Problem{kind, path, limit, error, {}};
    };
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::none) {
        // The path could not even be looked at: say why rather than that the file is not there.
        if (error == std::errc::too_many_symbolic_link_levels) {
            return problem(ProblemKind::DatabaseSymlinkLoop);
        }
        if (error == std::errc::permission_denied) {
            return problem(ProblemKind::DatabaseNotSearchable);
        }
        return problem(ProblemKind::DatabaseUnreachable, error);
    }
    if (!std::filesystem::exists(status)) {
        return problem(ProblemKind::DatabaseMissing);
    }
    if (!std::filesystem::is_regular_file(status)) {
        return problem(ProblemKind::DatabaseNotAFile);
    }
    std::unique_ptr<std::FILE, FileCloser> file(OpenFile(path, "rb"));
    if (!file) {
        return problem(ProblemKind::DatabaseNotOpened, ErrnoCode(errno));
    }
    // Read in one piece when the size is known, then on until the end in case the file grew; never
    // more than one byte past the limit.
    std::error_code sizeError;
    const std::uintmax_t expected = std::filesystem::file_size(path, sizeError);
    if (!sizeError && expected > maxBytes) {
        return problem(ProblemKind::DatabaseTooLarge, {}, maxBytes);
    }
    std::string bytes(sizeError ? 0 : static_cast<std::size_t>(expected) + 1, '\0');
    std::size_t filled = std::fread(bytes.data(), 1, bytes.size(), file.get());
    while (filled == bytes.size() && filled <= maxBytes) {
        bytes.resize(std::min<std::size_t>(bytes.size() * 2 + 4096, maxBytes + 1));
        filled += std::fread(bytes.data() + filled, 1, bytes.size() - filled, file.get());
    }
    bytes.resize(filled);
    if (bytes.size() > maxBytes) {
        return problem(ProblemKind::DatabaseTooLarge, {}, maxBytes);
    }
    if (std::ferror(file.get())) {
        return problem(ProblemKind::DatabaseNotRead, ErrnoCode(errno));
    }
    file.reset();
    Built built = Build(std::move(bytes), lookup, Limits{kMaxDatabaseLines, kMaxDatabaseBytes}, path);
    if (!built.table) {
        return built.refusal;
    }
    if (built.table->LineCount() == 0) {
        return problem(ProblemKind::DatabaseEmpty);
    }
    table = std::move(*built.table);
    return std::nullopt;
}

DatabaseSummary SummariseDatabase(const DeviceTable& table) {
    const std::size_t lines = table.LineCount();
    return {std::string(Utf8Mid(table.Line(lines), 9, 10)), lines == 0 ? 0 : lines - 1};
}

DeviceMatch FindDevice(const DeviceTable& table, std::string_view imeiText) {
    DeviceMatch match;
    const std::size_t number = table.FindLine(imeiText);
    if (number != 0) {
        const std::string_view line = table.Line(number);
        match.found = true;
        match.lineNumber = number;
        match.manufacturer = std::string(Field(line, 2));
        match.model = std::string(Field(line, 3));
    }
    return match;
}

std::optional<Problem> DeviceDatabase::Load() {
    m_table = DeviceTable();
    m_failuresInARow = 0;
    return ReadDeviceTable(m_path, m_table, m_lookup);
}

std::optional<Problem> DeviceDatabase::Reload() {
    std::optional<Problem> problem = ReadDeviceTable(m_path, m_table, m_lookup);
    m_failuresInARow = problem ? m_failuresInARow + 1 : 0;
    return problem;
}

} // namespace quillon
