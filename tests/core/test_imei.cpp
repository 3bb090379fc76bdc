#include "imei/Imei.h"
#include "support/CoreExtras.h"
#include "utf8/Utf8.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace quillon {
namespace {

struct NormaliseCase {
    std::string input;
    std::string expected;
};

class Normalise : public ::testing::TestWithParam<NormaliseCase> {};

TEST_P(Normalise, CleansTheTypedText) {
    EXPECT_EQ(NormaliseIMEI(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, Normalise,
                         ::testing::Values(NormaliseCase{"49-015420-323751-8", "490154203237518"},
                                           NormaliseCase{"49 015420 323751 8", "490154203237518"},
                                           NormaliseCase{"49/015420.323751/8", "490154203237518"},
                                           NormaliseCase{"4\\9_0~1#5@4,2-0/3.2 3751 8", "490154203237518"},
                                           NormaliseCase{"   490154203237518   ", "490154203237518"},
                                           NormaliseCase{"XXXXXXXXXXXXXXX", "000000000000000"},
                                           NormaliseCase{"35x", "350"}, NormaliseCase{"35*", "350"},
                                           NormaliseCase{"35A", "35A"}, NormaliseCase{"35y", "35y"},
                                           NormaliseCase{" -/.\\_~#@, ", ""}, NormaliseCase{"", ""},
                                           // Only U+0020 is trimmed: a tab stays, and so does a no-break space.
                                           NormaliseCase{"\t35\t", "\t35\t"},
                                           NormaliseCase{"\xC2\xA0"
                                                         "35",
                                                         "\xC2\xA0"
                                                         "35"},
                                           NormaliseCase{"T\xC3\x9Cv-1", "T\xC3\x9Cv1"},
                                           // A byte that is not UTF-8 becomes U+FFFD.
                                           NormaliseCase{"35\xFF"
                                                         "1",
                                                         "35\xEF\xBF\xBD"
                                                         "1"},
                                           NormaliseCase{std::string("3\0"
                                                                     "5",
                                                                     3),
                                                         std::string("3\0"
                                                                     "5",
                                                                     3)}));

TEST(Normalise, IsIdempotent) {
    for (const std::string text : {"49-015420-323751-8", " x*X ", "35\xFF\xFE", "a b\tc", "\xE2\x82\xAC-1"}) {
        const std::string once = NormaliseIMEI(text);
        EXPECT_EQ(NormaliseIMEI(once), once) << text;
    }
}

TEST(Imei, WorkedExample) {
    const std::string imei = "490154203237518";
    const IMEIFields fields = SplitIMEI(imei);
    EXPECT_EQ(fields.reportingBodyIdentifier, "49");
    EXPECT_EQ(fields.typeAllocationCode, "49015420");
    EXPECT_EQ(fields.serialNumber, "323751");
    EXPECT_EQ(fields.checkDigit, "8");
    EXPECT_EQ(FullIMEIPresentation(imei), "490154-20-323751-8");
    EXPECT_EQ(LuhnDigits(imei).Text(), "49025820343552");
    EXPECT_EQ(LuhnSum(imei), 52);
    EXPECT_EQ(CheckDigitValue(imei), 8);
    EXPECT_EQ(LuhnTotal(imei), 60);
    EXPECT_TRUE(IsValidIMEI(imei));
}

struct VerdictCase {
    std::string imei;
    std::string digits; // t1..t14 as shown
    int sum;
    int checkDigit;
    bool valid;
};

class Verdict : public ::testing::TestWithParam<VerdictCase> {};

TEST_P(Verdict, WorkingAndVerdict) {
    const VerdictCase& c = GetParam();
    const LuhnWorking working = ComputeLuhnWorking(c.imei);
    EXPECT_EQ(working.digits.Text(), c.digits);
    EXPECT_EQ(working.sum, c.sum);
    EXPECT_EQ(working.checkDigit, c.checkDigit);
    EXPECT_EQ(working.total, c.sum + c.checkDigit);
    EXPECT_EQ(IsValidIMEI(c.imei), c.valid);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Verdict,
    ::testing::Values(VerdictCase{"490154203237518", "49025820343552", 52, 8, true},
                      VerdictCase{"490154203237517", "49025820343552", 52, 7, false},
                      // Fifteen zeros total 0, which is not a valid total.
                      VerdictCase{"000000000000000", "00000000000000", 0, 0, false},
                      // 14 digits: the 14th digit counts twice (as t14 and as the check digit); the total is a
                      // multiple of ten, but 14 digits are not an IMEI.
                      VerdictCase{"49015420323751", "49025820343552", 52, 1, false},
                      VerdictCase{"49015420323750", "49025820343550", 50, 0, false},
                      // A letter as the last of 15 characters counts 0; total 50 is valid, the verdict is not.
                      VerdictCase{"49015420323750A", "49025820343550", 50, 0, false},
                      // A letter inside counts as 0 and shows as 0.
                      VerdictCase{"4901542A3237518", "49025820343552", 52, 8, false},
                      // Short texts show only the positions they have.
                      VerdictCase{"4901", "4902", 15, 1, false}, VerdictCase{"", "", 0, 0, false},
                      // Every even position doubled with digit sums: 9 -> 18 -> 9.
                      VerdictCase{"999999999999994", "99999999999999", 126, 4, true},
                      // Non-ASCII characters count one position each.
                      VerdictCase{"\xC3\x9C"
                                  "90154203237518",
                                  "09025820343552", 48, 8, false}));

TEST(Imei, CheckDigitMakesTheFirstFourteenValid) {
    for (const std::string fourteen : {"49015420323751", "35693803564380", "99999999999999", "00000000000001"}) {
        const std::optional<int> check = LuhnCheckDigit(fourteen);
        ASSERT_TRUE(check) << fourteen;
        EXPECT_TRUE(IsValidIMEI(fourteen + static_cast<char>('0' + *check))) << fourteen;
    }
    EXPECT_EQ(LuhnCheckDigit("490154203237517"), 8); // the fifteenth character does not count
    EXPECT_EQ(LuhnCheckDigit("00000000000000"), std::nullopt);
}

TEST(Imei, TotalsValidExactlyAtMultiplesOfTenUpTo160) {
    for (int total = -10; total <= 200; ++total) {
        const bool expected = total >= 10 && total <= 160 && total % 10 == 0;
        EXPECT_EQ(IsValidLuhnTotal(total), expected) << total;
    }
}

TEST(Imei, ShortTextsGiveShortFieldsButThreeHyphens) {
    EXPECT_EQ(FullIMEIPresentation(""), "---");
    EXPECT_EQ(FullIMEIPresentation("4901542"), "490154-2--");
    EXPECT_EQ(FullIMEIPresentation("49015420323751"), "490154-20-323751-");
    const IMEIFields fields = SplitIMEI("4");
    EXPECT_EQ(fields.reportingBodyIdentifier, "4");
    EXPECT_EQ(fields.typeAllocationCode, "4");
    EXPECT_EQ(fields.serialNumber, "");
    EXPECT_EQ(fields.checkDigit, "4");
}

TEST(Imei, FieldsCountCharactersNotBytes) {
    const std::string text = "\xC3\x9C\xC3\x9C"
                             "0154203237518"; // two U-umlauts then 13 digits
    const IMEIFields fields = SplitIMEI(text);
    EXPECT_EQ(fields.reportingBodyIdentifier, "\xC3\x9C\xC3\x9C");
    EXPECT_EQ(fields.typeAllocationCode, "\xC3\x9C\xC3\x9C"
                                         "015420");
    EXPECT_EQ(fields.serialNumber, "323751");
    EXPECT_EQ(FullIMEIPresentation(text), "\xC3\x9C\xC3\x9C"
                                          "0154-20-323751-8");
}

TEST(Utf8, LengthsAndSlicesCountCharacters) {
    const std::string text = "a\xC3\x9C\xE2\x82\xAC\xF0\x9F\x98\x80z";
    EXPECT_EQ(Utf8Length(text), 5u);
    EXPECT_EQ(Utf8Left(text, 2), "a\xC3\x9C");
    EXPECT_EQ(Utf8Mid(text, 3, 5), "\xF0\x9F\x98\x80z");
    EXPECT_EQ(Utf8Mid(text, 9, 1), "");
    EXPECT_EQ(Utf8Length("\xFF\xFE"), 2u);
    EXPECT_FALSE(IsValidUtf8("\xC0\x80"));     // overlong
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80")); // surrogate
    EXPECT_FALSE(IsValidUtf8("\xE2\x82"));     // truncated
    EXPECT_TRUE(IsValidUtf8("plain ascii text, long enough"));
    EXPECT_EQ(Cp1252ToUtf8("\x80 \xDC \x81"), "\xE2\x82\xAC \xC3\x9C \xC2\x81");
}

} // namespace
} // namespace quillon
