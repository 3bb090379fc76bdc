// Arbitrary bytes as the text typed or pasted into the IMEI box: normalisation, the field split, the
// grouped presentation, the Luhn working and the whole validation run on a small device table.
#include "FuzzCheck.h"

#include "devicedb/DeviceTable.h"
#include "imei/Imei.h"
#include "imei/ReportingBody.h"
#include "support/CoreExtras.h"
#include "utf8/Utf8.h"
#include "validation/Validation.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

using namespace quillon;

bool IsDroppedCharacter(char32_t c) {
    return c == U' ' || c == U'-' || c == U'/' || c == U'.' || c == U'\\' || c == U'_' || c == U'~' || c == U'#' ||
           c == U'@' || c == U',';
}

// Normalisation written the slow, obvious way: character by character over the decoded text.
std::string ReferenceNormalise(std::string_view text) {
    std::u32string kept;
    for (const char32_t c : DecodeUtf8(text)) {
        if (IsDroppedCharacter(c)) {
            continue;
        }
        kept += (c == U'X' || c == U'x' || c == U'*') ? U'0' : c;
    }
    return EncodeUtf8(kept);
}

bool AllAsciiDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

const DeviceTable& SmallTable() {
    static const DeviceTable table = DeviceTable::FromBytes("49015420,Apple,iPhone 7\r\n"
                                                            "35332509,Samsung,Galaxy S6\r\n"
                                                            "4901542,Short,Key\r\n"
                                                            "49015420,Apple,iPhone 7 Plus\r\n"
                                                            "0000000,Zero\r\n"
                                                            "Version: 2024-01-01\r\n");
    return table;
}

void CheckNormalisation(std::string_view text, const std::string& normalised) {
    QUILLON_FUZZ_CHECK(IsValidUtf8(normalised));
    QUILLON_FUZZ_CHECK(NormaliseIMEI(normalised) == normalised);
    QUILLON_FUZZ_CHECK(normalised == ReferenceNormalise(text));
    for (const char32_t c : DecodeUtf8(normalised)) {
        QUILLON_FUZZ_CHECK(!IsDroppedCharacter(c));
        QUILLON_FUZZ_CHECK(c != U'X' && c != U'x' && c != U'*');
    }
    QUILLON_FUZZ_CHECK(normalised.empty() || (normalised.front() != ' ' && normalised.back() != ' '));
}

void CheckArithmetic(const std::string& n) {
    const std::size_t length = Utf8Length(n);

    const IMEIFields fields = SplitIMEI(n);
    QUILLON_FUZZ_CHECK(fields.reportingBodyIdentifier == Utf8Left(n, 2));
    QUILLON_FUZZ_CHECK(fields.typeAllocationCode == Utf8Left(n, 8));
    QUILLON_FUZZ_CHECK(fields.serialNumber == Utf8Mid(n, 8, 6));
    QUILLON_FUZZ_CHECK(fields.checkDigit == (length == 0 ? std::string_view() : Utf8Mid(n, length - 1, 1)));

    // The normalised text holds no hyphen, so the presentation's hyphens are exactly its three.
    const std::string presentation = FullIMEIPresentation(n);
    QUILLON_FUZZ_CHECK(std::count(presentation.begin(), presentation.end(), '-') == 3);
    std::string ungrouped = presentation;
    std::erase(ungrouped, '-');
    QUILLON_FUZZ_CHECK(ungrouped == Utf8Left(n, kImeiLength));

    const LuhnDigitList digits = LuhnDigits(n);
    QUILLON_FUZZ_CHECK(digits.count == std::min<std::size_t>(length, 14));
    int digitSum = 0;
    for (std::size_t i = 0; i < digits.count; ++i) {
        QUILLON_FUZZ_CHECK(digits.digits[i] >= 0 && digits.digits[i] <= 9);
        digitSum += digits.digits[i];
    }
    QUILLON_FUZZ_CHECK(digits.Text().size() == digits.count);
    const int sum = LuhnSum(n);
    const int check = CheckDigitValue(n);
    const int total = LuhnTotal(n);
    QUILLON_FUZZ_CHECK(sum == digitSum);
    QUILLON_FUZZ_CHECK(sum >= 0 && sum <= 126);
    QUILLON_FUZZ_CHECK(check >= 0 && check <= 9);
    QUILLON_FUZZ_CHECK(total == sum + check);
    QUILLON_FUZZ_CHECK(IsValidLuhnTotal(total) == (total >= 10 && total <= 160 && total % 10 == 0));

    const LuhnWorking working = ComputeLuhnWorking(n);
    QUILLON_FUZZ_CHECK(working.sum == sum && working.checkDigit == check && working.total == total);
    QUILLON_FUZZ_CHECK(working.digits.Text() == digits.Text());

    const bool complete = length == kImeiLength && n.size() == kImeiLength && AllAsciiDigits(n);
    QUILLON_FUZZ_CHECK(IsCompleteIMEI(n) == complete);
    const bool valid = IsValidIMEI(n);
    QUILLON_FUZZ_CHECK(valid == (complete && IsValidLuhnTotal(total)));
    if (valid) {
        QUILLON_FUZZ_CHECK(n.size() == 15 && AllAsciiDigits(n));
        QUILLON_FUZZ_CHECK(total >= 10 && total <= 160);
    }

    const ReportingBody body = LookupReportingBody(fields.reportingBodyIdentifier);
    QUILLON_FUZZ_CHECK(std::string_view(body.text).starts_with(fields.reportingBodyIdentifier + " ("));
}

void CheckValidationRun(std::string_view text, const std::string& n, std::uint8_t boxBits) {
    BoxStates boxes{};
    for (int i = 0; i < kBoxCount; ++i) {
        boxes[static_cast<std::size_t>(i)] = ((boxBits >> i) & 1) != 0;
    }
    const ValidationResult result = RunValidation(text, SmallTable(), boxes);
    QUILLON_FUZZ_CHECK(result.normalised == n);
    QUILLON_FUZZ_CHECK(result.rejected == IsRejectedIMEI(n));
    QUILLON_FUZZ_CHECK(result.rejected == (n.empty() || Utf8Length(n) > kImeiLength));
    if (result.rejected) {
        QUILLON_FUZZ_CHECK(result.boxes == boxes);
        QUILLON_FUZZ_CHECK(!result.valid && !result.device.found);
        return;
    }
    QUILLON_FUZZ_CHECK(result.presentation == FullIMEIPresentation(n));
    QUILLON_FUZZ_CHECK(result.tac == Utf8Left(n, 8));
    QUILLON_FUZZ_CHECK(result.valid == IsValidIMEI(n));
    if (result.valid) {
        QUILLON_FUZZ_CHECK(result.luhn.total >= 10 && result.luhn.total <= 160);
    }
    QUILLON_FUZZ_CHECK(result.luhn.digits.Text() == LuhnDigits(n).Text());
    QUILLON_FUZZ_CHECK(result.reportingBodyText.starts_with(Utf8Left(n, 2)));
    if (result.device.found) {
        const DeviceTable& table = SmallTable();
        const std::string_view line = table.Line(FindDevice(table, result.tac).lineNumber);
        QUILLON_FUZZ_CHECK(line.starts_with(result.tac));
        QUILLON_FUZZ_CHECK(result.device.manufacturer == Field(line, 2));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string normalised = NormaliseIMEI(text);
    CheckNormalisation(text, normalised);
    CheckArithmetic(normalised);
    CheckValidationRun(text, normalised, static_cast<std::uint8_t>(size * 37 + (size ? data[0] : 0)));
    return 0;
}
