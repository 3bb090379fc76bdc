#include "devicedb/DeviceTable.h"

#include "imei/Utf8.h"
#include "system/Files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>

namespace quillon {
namespace {

std::string ReasonText(int error) {
    return std::generic_category().message(error);
}

std::string TooLargeMessage(const std::filesystem::path& path) {
    return "The device database " + path.string() + " is larger than 64 MiB and was not read.";
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

} // namespace

DeviceTable DeviceTable::FromBytes(std::string bytes) {
    DeviceTable table;
    if (IsValidUtf8(bytes)) {
        if (bytes.starts_with("\xEF\xBB\xBF")) {
            bytes.erase(0, 3);
        }
        table.m_text = std::move(bytes);
    } else {
        table.m_text = Cp1252ToUtf8(bytes);
    }

    const char* const data = table.m_text.data();
    const std::size_t size = table.m_text.size();
    // Lines end at CR LF, LF or CR. The next CR and the next LF are looked up with memchr and
    // reused until passed, so the split runs at memchr speed on any mix of line ends.
    auto next = [&](char c, std::size_t from) {
        const void* hit = from < size ? std::memchr(data + from, c, size - from) : nullptr;
        return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - data) : size;
    };
    table.m_bounds.reserve(size / 24 * 2 + 4);
    std::size_t nextCr = next('\r', 0);
    std::size_t nextLf = next('\n', 0);
    std::size_t start = 0;
    while (start < size) {
        if (nextCr < start) {
            nextCr = next('\r', start);
        }
        if (nextLf < start) {
            nextLf = next('\n', start);
        }
        const std::size_t end = nextCr < nextLf ? nextCr : nextLf;
        table.m_bounds.push_back(static_cast<std::uint32_t>(start));
        table.m_bounds.push_back(static_cast<std::uint32_t>(end));
        if (end == size) {
            break;
        }
        start = end + ((data[end] == '\r' && end + 1 < size && data[end + 1] == '\n') ? 2 : 1);
    }
    table.m_lineCount = table.m_bounds.size() / 2;
    return table;
}

std::string_view DeviceTable::Line(std::size_t number) const {
    if (number == 0 || number > m_lineCount) {
        return {};
    }
    const std::size_t start = m_bounds[2 * (number - 1)];
    const std::size_t end = m_bounds[2 * (number - 1) + 1];
    return std::string_view(m_text).substr(start, end - start);
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
    std::size_t count = 1;
    for (char c : line) {
        count += c == ',' ? 1 : 0;
    }
    return count;
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

DatabaseReadResult ReadDeviceTable(const std::filesystem::path& path, DeviceTable& table) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status)) {
        return {DatabaseError::Missing, "The device database " + path.string() + " does not exist."};
    }
    if (!std::filesystem::is_regular_file(status)) {
        return {DatabaseError::Unreadable, "The device database " + path.string() + " is not a regular file."};
    }
    std::unique_ptr<std::FILE, FileCloser> file(OpenFile(path, "rb"));
    if (!file) {
        return {DatabaseError::Unreadable,
                "The device database " + path.string() + " could not be opened: " + ReasonText(errno) + "."};
    }
    // Read in one piece when the size is known, then on until the end in case the file grew; never
    // more than one byte past the limit.
    std::error_code sizeError;
    const std::uintmax_t expected = std::filesystem::file_size(path, sizeError);
    if (!sizeError && expected > kMaxDatabaseBytes) {
        return {DatabaseError::TooLarge, TooLargeMessage(path)};
    }
    std::string bytes(sizeError ? 0 : static_cast<std::size_t>(expected) + 1, '\0');
    std::size_t filled = std::fread(bytes.data(), 1, bytes.size(), file.get());
    while (filled == bytes.size() && filled <= kMaxDatabaseBytes) {
        bytes.resize(std::min<std::size_t>(bytes.size() * 2 + 4096, kMaxDatabaseBytes + 1));
        filled += std::fread(bytes.data() + filled, 1, bytes.size() - filled, file.get());
    }
    bytes.resize(filled);
    if (bytes.size() > kMaxDatabaseBytes) {
        return {DatabaseError::TooLarge, TooLargeMessage(path)};
    }
    if (std::ferror(file.get())) {
        return {DatabaseError::Unreadable,
                "The device database " + path.string() + " could not be read: " + ReasonText(errno) + "."};
    }
    table = DeviceTable::FromBytes(std::move(bytes));
    return {};
}

DatabaseCaptions MakeDatabaseCaptions(const DeviceTable& table) {
    DatabaseCaptions captions;
    captions.versionText = std::string(Utf8Mid(table.Line(table.LineCount()), 9, 10));
    captions.versionCaption = "Database Version:   " + captions.versionText;
    captions.countCaption = "Devices Supported: " + std::to_string(static_cast<long long>(table.LineCount()) - 1);
    return captions;
}

DeviceMatch FindDevice(const DeviceTable& table, std::string_view imeiText) {
    const std::string_view key = Utf8Left(imeiText, 8);
    // An eight-character key matches every line that starts with it; a shorter key can only equal
    // a whole line, since a longer line's first eight characters are eight characters long.
    const bool wholeLine = Utf8Length(key) < 8;
    std::size_t last = 0;
    const std::size_t count = table.LineCount();
    for (std::size_t i = 1; i <= count; ++i) {
        const std::string_view line = table.Line(i);
        if (wholeLine ? line == key : line.starts_with(key)) {
            last = i;
        }
    }
    DeviceMatch match;
    if (last != 0) {
        const std::string_view line = table.Line(last);
        match.found = true;
        match.lineNumber = last;
        match.manufacturer = std::string(Field(line, 2));
        match.model = std::string(Field(line, 3));
    }
    return match;
}

DatabaseReadResult DeviceDatabase::Load() {
    m_table = DeviceTable();
    std::error_code error;
    if (!std::filesystem::exists(m_path, error)) {
        return {DatabaseError::Missing, std::string(kDatabaseMissingMessage)};
    }
    return ReadDeviceTable(m_path, m_table);
}

DatabaseReadResult DeviceDatabase::Reload() {
    return ReadDeviceTable(m_path, m_table);
}

} // namespace quillon
