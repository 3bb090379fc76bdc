#include "imei/ReportingBody.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace quillon {
namespace {

// Boxes checked after a lookup starting from all cleared, as captions.
std::set<std::string> CheckedAfter(const std::string& code, BoxStates start = {}) {
    const BoxStates states = ApplyBoxSettings(start, LookupReportingBody(code).boxes);
    std::set<std::string> checked;
    for (int box = 1; box <= kBoxCount; ++box) {
        if (states[static_cast<std::size_t>(box - 1)]) {
            checked.insert(std::string(BoxCaption(box)));
        }
    }
    return checked;
}

TEST(ReportingBody, EveryRowChecksItsBoxes) {
    const std::vector<std::pair<std::string, std::set<std::string>>> expected = {
        {"00", {}},
        {"01", {"PTCRB"}},
        {"10", {}},
        {"30", {"Iridium"}},
        {"31", {"Iridium"}},
        {"33", {"DGPT"}},
        {"35", {"BABT/BAPT"}},
        {"44", {"BABT/BAPT"}},
        {"45", {"NTA"}},
        {"49", {"BABT/BAPT", "BZT/Cetecom"}},
        {"50", {"BZT/Cetecom"}},
        {"51", {"BZT/Cetecom"}},
        {"52", {"BZT/Cetecom"}},
        {"53", {"BZT/Cetecom"}},
        {"54", {"BZT/Cetecom"}},
        {"86", {"TAF"}},
        {"91", {"MSAI"}},
        {"98", {"BABT/BAPT"}},
        {"99", {}},
        {"77", {}},
    };
    EXPECT_EQ(ReportingBodyTable().size(), 19u);
    BoxStates all;
    all.fill(true);
    for (const auto& [code, boxes] : expected) {
        EXPECT_EQ(CheckedAfter(code), boxes) << code;
        if (code != "50") {
            // Every box not named is cleared, whatever it was before.
            EXPECT_EQ(CheckedAfter(code, all), boxes) << code;
        }
    }
}

TEST(ReportingBody, Row50LeavesTheOtherBoxesAsTheyWere) {
    const BoxStates afterPtcrb = ApplyBoxSettings({}, LookupReportingBody("01").boxes);
    EXPECT_EQ(CheckedAfter("50", afterPtcrb), (std::set<std::string>{"PTCRB", "BZT/Cetecom"}));
    EXPECT_EQ(CheckedAfter("51", afterPtcrb), (std::set<std::string>{"BZT/Cetecom"}));
}

TEST(ReportingBody, Texts) {
    EXPECT_EQ(LookupReportingBody("49").text,
              "49 (BZT / BAPT / Regulatory Authority / Federal Network Agency (FNA), Germany)");
    EXPECT_EQ(LookupReportingBody("53").text, "53 (T\xC3\x9CV Product Service GmbH, Germany)");
    EXPECT_EQ(LookupReportingBody("33").text,
              "33 (Directorate General of Posts and Telecommunications (DGTP), France)");
    EXPECT_EQ(LookupReportingBody("77").text, "77 (Unknown)");
    EXPECT_EQ(LookupReportingBody("4a").text, "4a (Unknown)");
    EXPECT_EQ(LookupReportingBody("4").text, "4 (Unknown)");
    EXPECT_EQ(LookupReportingBody("").text, " (Unknown)");
}

TEST(ReportingBody, GenerationOrderAndCodes) {
    std::string order;
    for (const GenerationBox& box : GenerationBoxOrder()) {
        order += std::string(box.caption) + "=" + std::string(box.code) + " ";
        EXPECT_EQ(BoxCaption(box.boxNumber), box.caption);
        EXPECT_EQ(BoxNumberForCaption(box.caption), box.boxNumber);
    }
    EXPECT_EQ(order, "PTCRB=01 DGPT=33 NTA=45 BZT/Cetecom=52 BABT/BAPT=35 Iridium=30 MSAI=91 TAF=86 ");

    BoxStates boxes{};
    EXPECT_FALSE(FirstCheckedBoxCode(boxes).has_value());
    boxes[0] = true; // TAF
    boxes[7] = true; // PTCRB
    EXPECT_EQ(FirstCheckedBoxCode(boxes), "01");
    // A "49" validation checks BABT/BAPT and BZT/Cetecom; BZT/Cetecom (Check5) comes first.
    EXPECT_EQ(FirstCheckedBoxCode(ApplyBoxSettings({}, LookupReportingBody("49").boxes)), "52");
    EXPECT_FALSE(BoxNumberForCaption("ptcrb").has_value());
}

} // namespace
} // namespace quillon
