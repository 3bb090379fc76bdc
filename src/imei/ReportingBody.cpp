#include "imei/ReportingBody.h"

#include <array>

namespace quillon {
namespace {

constexpr BoxSetting C = BoxSetting::Cleared;
constexpr BoxSetting K = BoxSetting::Checked;

// Settings for boxes 1..8 with exactly the listed boxes checked.
constexpr BoxSettings Only(std::initializer_list<int> boxNumbers) {
    BoxSettings settings{C, C, C, C, C, C, C, C};
    for (int box : boxNumbers) {
        settings[static_cast<std::size_t>(box - 1)] = K;
    }
    return settings;
}

constexpr int kTaf = 1;
constexpr int kMsai = 2;
constexpr int kIridium = 3;
constexpr int kBabt = 4;
constexpr int kBzt = 5;
constexpr int kNta = 6;
constexpr int kDgpt = 7;
constexpr int kPtcrb = 8;

constexpr BoxSettings kRow50{
    BoxSetting::Unchanged, BoxSetting::Unchanged, BoxSetting::Unchanged, BoxSetting::Unchanged, K,
    BoxSetting::Unchanged, BoxSetting::Unchanged, BoxSetting::Unchanged};

const std::array<ReportingBodyRow, 19> kTable{{
    {"00", "00 (Test and pre-series)", Only({})},
    {"01", "01 (PCS Type Certification Review Board (PTCRB), North America)", Only({kPtcrb})},
    {"10", "10 (DECT PP with GSM functionality)", Only({})},
    {"30", "30 (Iridium)", Only({kIridium})},
    {"31", "31 (ICO Satellite Management)", Only({kIridium})},
    {"33", "33 (Directorate General of Posts and Telecommunications (DGTP), France)", Only({kDgpt})},
    {"35", "35 (British Approvals Board of Telecommunications (BABT), Great Britain)", Only({kBabt})},
    {"44", "44 (British Approvals Board of Telecommunications (BABT), Great Britain)", Only({kBabt})},
    {"45", "45 (National Telecom Agency (NTA), Denmark)", Only({kNta})},
    {"49", "49 (BZT / BAPT / Regulatory Authority / Federal Network Agency (FNA), Germany)", Only({kBabt, kBzt})},
    {"50", "50 (BZT ETS Certification GmbH, Germany)", kRow50},
    {"51", "51 (CETECOM GmbH, Germany)", Only({kBzt})},
    {"52", "52 (CETECOM GmbH, Germany)", Only({kBzt})},
    {"53", "53 (T\u00dcV Product Service GmbH, Germany)", Only({kBzt})},
    {"54", "54 (Phoenix Test-Lab GmbH, Germany)", Only({kBzt})},
    {"86", "86 (Telecommunication Terminal Testing & Approval Forum (TAF), China)", Only({kTaf})},
    {"91", "91 (Mobile Standard Alliance of India (MSAI), India)", Only({kMsai})},
    {"98", "98 (British Approvals Board of Telecommunications (BAPT), Great Britain)", Only({kBabt})},
    {"99", "99 (Global Hexadecimal Administrator (GHA), the world)", Only({})},
}};

constexpr std::array<std::string_view, kBoxCount> kCaptions{"TAF",         "MSAI", "Iridium", "BABT/BAPT",
                                                            "BZT/Cetecom", "NTA",  "DGPT",    "PTCRB"};

constexpr std::array<GenerationBox, kBoxCount> kGenerationOrder{{
    {kPtcrb, "PTCRB", "01"},
    {kDgpt, "DGPT", "33"},
    {kNta, "NTA", "45"},
    {kBzt, "BZT/Cetecom", "52"},
    {kBabt, "BABT/BAPT", "35"},
    {kIridium, "Iridium", "30"},
    {kMsai, "MSAI", "91"},
    {kTaf, "TAF", "86"},
}};

} // namespace

std::span<const ReportingBodyRow> ReportingBodyTable() {
    return kTable;
}

const ReportingBodyRow* FindReportingBodyRow(std::string_view code) {
    // Two digits, the usual code, index a table of all hundred; anything else is looked for.
    static const auto byDigits = [] {
        std::array<const ReportingBodyRow*, 100> rows{};
        for (const ReportingBodyRow& row : kTable) {
            rows[static_cast<std::size_t>((row.code[0] - '0') * 10 + (row.code[1] - '0'))] = &row;
        }
        return rows;
    }();
    if (code.size() == 2 && code[0] >= '0' && code[0] <= '9' && code[1] >= '0' && code[1] <= '9') {
        return byDigits[static_cast<std::size_t>((code[0] - '0') * 10 + (code[1] - '0'))];
    }
    for (const ReportingBodyRow& row : kTable) {
        if (row.code == code) {
            return &row;
        }
    }
    return nullptr;
}

const BoxSettings& UnknownBodyBoxes() {
    static const BoxSettings cleared = Only({});
    return cleared;
}

ReportingBody LookupReportingBody(std::string_view code) {
    if (const ReportingBodyRow* row = FindReportingBodyRow(code)) {
        return {std::string(row->text), row->boxes};
    }
    return {std::string(code) + " (Unknown)", UnknownBodyBoxes()};
}

BoxStates ApplyBoxSettings(const BoxStates& current, const BoxSettings& settings) {
    BoxStates result = current;
    for (std::size_t i = 0; i < result.size(); ++i) {
        if (settings[i] != BoxSetting::Unchanged) {
            result[i] = settings[i] == BoxSetting::Checked;
        }
    }
    return result;
}

std::string_view BoxCaption(int boxNumber) {
    if (boxNumber < 1 || boxNumber > kBoxCount) {
        return {};
    }
    return kCaptions[static_cast<std::size_t>(boxNumber - 1)];
}

std::optional<int> BoxNumberForCaption(std::string_view caption) {
    for (std::size_t i = 0; i < kCaptions.size(); ++i) {
        if (kCaptions[i] == caption) {
            return static_cast<int>(i + 1);
        }
    }
    return std::nullopt;
}

std::span<const GenerationBox> GenerationBoxOrder() {
    return kGenerationOrder;
}

std::optional<std::string_view> FirstCheckedBoxCode(const BoxStates& boxes) {
    for (const GenerationBox& box : kGenerationOrder) {
        if (boxes[static_cast<std::size_t>(box.boxNumber - 1)]) {
            return box.code;
        }
    }
    return std::nullopt;
}

} // namespace quillon
