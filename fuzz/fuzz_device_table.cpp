// Arbitrary bytes as the contents of tacdex.csv: decoding, line split, the captions, the model list
// and the lookup with a key taken from the same input.
#include "FuzzCheck.h"

#include "devicedb/DeviceTable.h"
#include "generation/ModelCatalogue.h"
#include "imei/Imei.h"
#include "support/CoreExtras.h"
#include "utf8/Utf8.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace quillon;

// The file's text as the table must hold it: UTF-16 after its mark or when its start alternates
// NUL and other bytes, UTF-8 without its byte order mark, anything else read as Windows-1252.
std::string ReferenceText(std::string_view bytes) {
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
        return Utf16ToUtf8(bytes.substr(2), bytes[0] == '\xFE');
    }
    if (LooksLikeUtf16(bytes)) {
        return Utf16ToUtf8(bytes, bytes[0] == '\0');
    }
    // A UTF-8 mark is dropped; the bytes after it decide.
    const std::string_view rest = bytes.starts_with("\xEF\xBB\xBF") ? bytes.substr(3) : bytes;
    return IsValidUtf8(rest) ? std::string(rest) : Cp1252ToUtf8(rest);
}

// The line split done one character at a time.
std::vector<std::string> ReferenceLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string current;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(current);
            current.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else {
            current += c;
        }
    }
    if (!current.empty()) {
        lines.push_back(current);
    }
    return lines;
}

// Whether `line` matches the lookup key `imeiText` by characters: their first eight characters are
// the same.
bool KeyMatches(std::string_view line, std::string_view imeiText) {
    return DecodeUtf8(Utf8Left(line, 8)) == DecodeUtf8(Utf8Left(imeiText, 8));
}

void CheckLookup(const DeviceTable& table, std::string_view imeiText, bool normalisedKey) {
    const DeviceMatch match = FindDevice(table, imeiText);
    // The index and a scan of every device line always agree.
    QUILLON_FUZZ_CHECK(match.lineNumber == table.ScanForLine(imeiText));
    const std::string_view key = Utf8Left(imeiText, 8);
    std::size_t lastMatch = 0;
    if (normalisedKey) {
        // Device lines only: the version line is never a device.
        for (std::size_t i = 1; i < table.LineCount(); ++i) {
            if (KeyMatches(table.Line(i), imeiText)) {
                lastMatch = i;
            }
        }
        QUILLON_FUZZ_CHECK(match.found == (lastMatch != 0));
        QUILLON_FUZZ_CHECK(match.lineNumber == lastMatch);
    }
    if (!match.found) {
        QUILLON_FUZZ_CHECK(match.lineNumber == 0 && match.manufacturer.empty() && match.model.empty());
        return;
    }
    QUILLON_FUZZ_CHECK(match.lineNumber >= 1 && match.lineNumber < table.LineCount());
    const std::string_view line = table.Line(match.lineNumber);
    // An eight-character key matches lines that start with it; a shorter one only a whole equal line.
    if (Utf8Length(key) == 8) {
        QUILLON_FUZZ_CHECK(line.starts_with(key));
    } else {
        QUILLON_FUZZ_CHECK(line == key);
    }
    QUILLON_FUZZ_CHECK(match.manufacturer == Field(line, 2));
    QUILLON_FUZZ_CHECK(match.model == Field(line, 3));
}

void CheckModelList(const DeviceTable& table) {
    const std::vector<std::string> texts = ModelListTexts(table);
    const std::size_t n = table.LineCount();
    const std::size_t expected = n >= kFirstDeviceIndex + 2 ? n - 1 : kFirstDeviceIndex;
    QUILLON_FUZZ_CHECK(texts.size() == expected);
    QUILLON_FUZZ_CHECK(texts[kSeparatorIndex] == kSeparatorEntry);
    for (std::size_t i = kFirstDeviceIndex; i < texts.size(); ++i) {
        const std::string_view line = table.Line(i);
        QUILLON_FUZZ_CHECK(texts[i] == DeviceEntryText(line));
        QUILLON_FUZZ_CHECK(texts[i].find_first_of("\r\n") == std::string::npos);
        const ModelChoice choice = ResolveModelChoice(texts[i], i, table);
        if (choice.kind == ModelChoiceKind::Device) {
            QUILLON_FUZZ_CHECK(choice.lineNumber == i);
            QUILLON_FUZZ_CHECK(choice.tac == Field(line, 1));
        } else {
            // Only an empty entry or one that reads like a fixed entry selects something else.
            QUILLON_FUZZ_CHECK(texts[i].empty() || texts[i] == kCustomEntry || FindCatalogueEntry(texts[i]) != nullptr);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const DeviceTable table = DeviceTable::FromBytes(std::string(bytes));

    if (!IsValidUtf8(bytes)) {
        // Every byte of a Windows-1252 file is one character.
        const std::string decoded = Cp1252ToUtf8(bytes);
        QUILLON_FUZZ_CHECK(IsValidUtf8(decoded) && Utf8Length(decoded) == size);
    }
    const std::vector<std::string> lines = ReferenceLines(ReferenceText(bytes));
    QUILLON_FUZZ_CHECK(table.LineCount() == lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        QUILLON_FUZZ_CHECK(table.Line(i + 1) == lines[i]);
        QUILLON_FUZZ_CHECK(IsValidUtf8(table.Line(i + 1)));
    }
    QUILLON_FUZZ_CHECK(table.Line(0).empty() && table.Line(lines.size() + 1).empty());

    const DatabaseSummary summary = SummariseDatabase(table);
    QUILLON_FUZZ_CHECK(summary.version == Utf8Mid(table.Line(table.LineCount()), 9, 10));
    QUILLON_FUZZ_CHECK(Utf8Length(summary.version) <= 10);
    QUILLON_FUZZ_CHECK(summary.deviceCount == (lines.empty() ? 0 : lines.size() - 1));

    CheckModelList(table);

    // Keys as the program makes them (a normalised IMEI text or a line's first field) and raw ones.
    const std::size_t pick = size == 0 ? 0 : data[0];
    const std::string_view someLine = lines.empty() ? std::string_view() : std::string_view(lines[pick % lines.size()]);
    const std::size_t cut = size < 2 ? 8 : data[1] % 12;
    CheckLookup(table, NormaliseIMEI(Utf8Left(someLine, cut)), true);
    CheckLookup(table, NormaliseIMEI(Field(someLine, 1)), true);
    CheckLookup(table, NormaliseIMEI(bytes.substr(0, 16)), true);
    CheckLookup(table, Utf8Left(someLine, cut), false);
    CheckLookup(table, bytes.substr(0, cut), false);
    return 0;
}
