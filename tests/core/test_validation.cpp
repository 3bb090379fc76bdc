#include "support/TempDir.h"
#include "validation/Validation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillon {
namespace {

using testing::TempDir;

const DeviceTable& SampleTable() {
    static const DeviceTable table = DeviceTable::FromBytes("35000000,First,One\r\n"
                                                            "49015420,Acme,Phone X\r\n"
                                                            "49015420,Later,Phone Y\r\n"
                                                            "99999999,QN-2026.12\r\n");
    return table;
}

BoxStates Boxes(std::initializer_list<int> checked) {
    BoxStates boxes{};
    for (int box : checked) {
        boxes[static_cast<std::size_t>(box - 1)] = true;
    }
    return boxes;
}

TEST(Validation, TheTypedExampleFillsThePanel) {
    const ValidationResult r = RunValidation("49-015420-323751-8", SampleTable(), Boxes({1, 8}));
    EXPECT_FALSE(r.rejected);
    EXPECT_EQ(r.normalised, "490154203237518");
    EXPECT_EQ(r.presentation, "490154-20-323751-8");
    ASSERT_NE(r.reportingBody, nullptr);
    EXPECT_EQ(r.reportingBody->code, "49");
    EXPECT_EQ(r.reportingBodyText, "49 (BZT / BAPT / Regulatory Authority / Federal Network Agency (FNA), Germany)");
    EXPECT_EQ(r.boxes, Boxes({4, 5}));
    EXPECT_EQ(r.tac, "49015420");
    EXPECT_EQ(r.serial, "323751");
    EXPECT_TRUE(r.device.found);
    EXPECT_EQ(r.device.lineNumber, 3u);
    EXPECT_EQ(r.device.manufacturer, "Later");
    EXPECT_EQ(r.device.model, "Phone Y");
    EXPECT_EQ(r.luhn.digits.Text(), "49025820343552");
    EXPECT_EQ(r.luhn.sum, 52);
    EXPECT_EQ(r.luhn.total, 60);
    EXPECT_EQ(r.luhn.checkDigit, 8);
    EXPECT_TRUE(r.valid);
}

// A found device is named whatever the verdict; only fifteen digits with a valid total are valid.
TEST(Validation, VerdictAndLookupAreIndependent) {
    const struct {
        std::string input;
        bool valid;
        bool found;
    } cases[] = {{"490154203237518", true, true},
                 {"490154203237517", false, true},
                 {"356938035643809", true, false},
                 {"356938035643808", false, false},
                 {"35693803564383", false, false}};
    for (const auto& c : cases) {
        const ValidationResult r = RunValidation(c.input, SampleTable(), {});
        EXPECT_EQ(r.valid, c.valid) << c.input;
        EXPECT_EQ(r.device.found, c.found) << c.input;
        EXPECT_EQ(r.device.manufacturer, c.found ? "Later" : "") << c.input;
    }
}

TEST(Validation, RejectsTooLongAndEmptyTexts) {
    for (const std::string& text :
         std::vector<std::string>{"4901542032375180", "  ", "--//..", "", std::string(10000, '7')}) {
        const ValidationResult r = RunValidation(text, SampleTable(), Boxes({3}));
        EXPECT_TRUE(r.rejected) << text;
        EXPECT_EQ(r.boxes, Boxes({3})) << text;
        EXPECT_EQ(r.normalised, NormaliseIMEI(text));
    }
    // Separators do not count towards the fifteen characters.
    EXPECT_FALSE(RunValidation("490-154-203-237-518", SampleTable(), {}).rejected);
    // Fifteen characters counted as characters, not bytes.
    EXPECT_FALSE(RunValidation("\xC3\x9C\xC3\x9C"
                               "0154203237518",
                               SampleTable(), {})
                     .rejected);
}

TEST(Validation, OddTextsStillGiveAPanel) {
    const ValidationResult r = RunValidation("\t35\x01"
                                             "A\xE2\x82\xAC",
                                             SampleTable(), {});
    EXPECT_FALSE(r.rejected);
    EXPECT_FALSE(r.valid);
    EXPECT_EQ(r.luhn.digits.Text(), "065000");
    EXPECT_EQ(r.reportingBody, nullptr);
    EXPECT_EQ(r.reportingBodyText, "\t3 (Unknown)");
    const ValidationResult short14 = RunValidation("49015420323751", SampleTable(), {});
    EXPECT_EQ(short14.presentation, "490154-20-323751-");
    EXPECT_EQ(short14.luhn.total, 53);
    EXPECT_EQ(short14.luhn.checkDigit, 1);
}

TEST(Validation, Row50AfterRow01KeepsPtcrb) {
    const ValidationResult first = RunValidation("01000000000000", SampleTable(), {});
    EXPECT_EQ(first.boxes, Boxes({8}));
    const ValidationResult second = RunValidation("50000000000000", SampleTable(), first.boxes);
    EXPECT_EQ(second.boxes, Boxes({5, 8}));
    const ValidationResult third = RunValidation("51000000000000", SampleTable(), first.boxes);
    EXPECT_EQ(third.boxes, Boxes({5}));
}

TEST(Validation, EachRunReadsTheFileAgainButARejectedTextDoesNot) {
    TempDir dir;
    const auto file = dir.Write("tacdex.csv", "49015420,Acme,Phone X\r\n99999999,QN-2026.12\r\n");
    DeviceDatabase database(file);
    ASSERT_FALSE(database.Load());
    EXPECT_EQ(ValidateText("490154203237518", database, {}).device.manufacturer, "Acme");

    dir.Write("tacdex.csv", "49015420,Zeta,Phone Z\r\n99999999,QN-2026.12\r\n");
    EXPECT_TRUE(ValidateText("4901542032375180", database, {}).rejected);
    EXPECT_EQ(FindDevice(database.Table(), "49015420").manufacturer, "Acme");
    EXPECT_EQ(ValidateText("490154203237518", database, {}).device.manufacturer, "Zeta");

    // A vanished file is told once, and the last good read answers.
    std::filesystem::remove(file);
    const ValidationResult kept = ValidateText("490154203237518", database, {});
    EXPECT_EQ(kept.device.manufacturer, "Zeta");
    ASSERT_TRUE(kept.databaseProblem);
    EXPECT_EQ(kept.databaseProblem->kind, ProblemKind::DatabaseMissing);
    EXPECT_FALSE(ValidateText("490154203237518", database, {}).databaseProblem);
}

} // namespace
} // namespace quillon
