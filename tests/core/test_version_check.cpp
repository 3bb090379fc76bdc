#include "update/UpdateCheck.h"

#include "present/UpdateText.h"

#include "identity/Identity.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {
namespace {

constexpr std::int64_t kOwnVersion = 2125;

struct VersionFileCase {
    const char* name;
    std::string content;
    VersionParseError error;
    std::int64_t value;                      // meaningful when error is None
    std::optional<std::string_view> message; // what the check shows; unused on a parse error
};

const VersionFileCase kVersionFileCases[] = {
    {"Newer", "2126", VersionParseError::None, 2126, kUpdateAvailableMessage},
    {"Equal", "2125", VersionParseError::None, 2125, kLatestVersionMessage},
    {"Older", "2124", VersionParseError::None, 2124, std::nullopt},
    {"BlanksAround", " 2125 ", VersionParseError::None, 2125, kLatestVersionMessage},
    {"TabsAround", "\t2126\t", VersionParseError::None, 2126, kUpdateAvailableMessage},
    {"CrLfThenMore", "2126\r\nmore", VersionParseError::None, 2126, kUpdateAvailableMessage},
    {"LfThenMore", "2126\n2000\n", VersionParseError::None, 2126, kUpdateAvailableMessage},
    {"BareCr", "2124\r9999", VersionParseError::None, 2124, std::nullopt},
    {"TrailingLineEnd", "2125\r\n", VersionParseError::None, 2125, kLatestVersionMessage},
    {"ByteOrderMark", std::string("\xEF\xBB\xBF") + "2126\r\n", VersionParseError::None, 2126, kUpdateAvailableMessage},
    {"LeadingZeros", "002125", VersionParseError::None, 2125, kLatestVersionMessage},
    {"PlusSign", "+2126", VersionParseError::None, 2126, kUpdateAvailableMessage},
    {"Negative", "-1", VersionParseError::None, -1, std::nullopt},
    // Beyond 16 bits, where the old conversion would have overflowed: compared as the number it is.
    {"Beyond16Bits", "40000", VersionParseError::None, 40000, kUpdateAvailableMessage},
    {"Int64Max", "9223372036854775807", VersionParseError::None, std::numeric_limits<std::int64_t>::max(),
     kUpdateAvailableMessage},
    {"Int64Min", "-9223372036854775808", VersionParseError::None, std::numeric_limits<std::int64_t>::min(),
     std::nullopt},
    {"Empty", "", VersionParseError::EmptyFile, 0, std::nullopt},
    {"OnlyLineEnd", "\r\n2126", VersionParseError::EmptyLine, 0, std::nullopt},
    {"OnlyBlanks", "   \n", VersionParseError::EmptyLine, 0, std::nullopt},
    {"Letters", "abc", VersionParseError::NotANumber, 0, std::nullopt},
    {"ErrorPage", "<html>", VersionParseError::NotANumber, 0, std::nullopt},
    {"NumberThenWord", "2126 beta", VersionParseError::NotANumber, 0, std::nullopt},
    {"InnerBlank", "21 26", VersionParseError::NotANumber, 0, std::nullopt},
    {"Fraction", "2126.5", VersionParseError::NotANumber, 0, std::nullopt},
    {"SignOnly", "-", VersionParseError::NotANumber, 0, std::nullopt},
    {"SignThenBlank", "- 5", VersionParseError::NotANumber, 0, std::nullopt},
    {"DoubleSign", "--5", VersionParseError::NotANumber, 0, std::nullopt},
    {"PlusThenMinus", "+-5", VersionParseError::NotANumber, 0, std::nullopt},
    {"PlusOnly", "+", VersionParseError::NotANumber, 0, std::nullopt},
    {"Hex", "0x84D", VersionParseError::NotANumber, 0, std::nullopt},
    {"NulInside", std::string("21") + '\0' + "26", VersionParseError::NotANumber, 0, std::nullopt},
    {"TooLarge", "99999999999999999999", VersionParseError::OutOfRange, 0, std::nullopt},
    {"Int64MaxPlusOne", "9223372036854775808", VersionParseError::OutOfRange, 0, std::nullopt},
    {"TooSmall", "-9223372036854775809", VersionParseError::OutOfRange, 0, std::nullopt},
};

class VersionFileTest : public testing::TestWithParam<VersionFileCase> {};

TEST_P(VersionFileTest, ReadsFirstLineAndCompares) {
    const VersionFileCase& c = GetParam();
    const ParsedVersion parsed = ReadPublishedVersion(c.content);
    ASSERT_EQ(parsed.error, c.error);
    if (c.error != VersionParseError::None) {
        EXPECT_FALSE(parsed.ok());
        EXPECT_FALSE(VersionProblemText(parsed.error).empty()) << "a refused version needs a reason for the user";
        return;
    }
    EXPECT_TRUE(parsed.ok());
    EXPECT_EQ(parsed.value, c.value);
    EXPECT_EQ(ComparisonMessage(CompareVersions(parsed.value, kOwnVersion)), c.message);
}

INSTANTIATE_TEST_SUITE_P(Table, VersionFileTest, testing::ValuesIn(kVersionFileCases),
                         [](const testing::TestParamInfo<VersionFileCase>& row) { return row.param.name; });

TEST(VersionCheckTest, ReasonsTellTheCasesApart) {
    auto reason = [](std::string_view content) { return VersionProblemText(ReadPublishedVersion(content).error); };
    EXPECT_EQ(reason(""), "the version file is empty");
    EXPECT_EQ(reason("\r\n2126"), "its first line is empty");
    EXPECT_EQ(reason("<html>"), "its first line is not a whole number");
    EXPECT_EQ(reason("99999999999999999999"), "the number on its first line is too large");
}

TEST(VersionCheckTest, FirstLineStopsAtEitherLineEnd) {
    EXPECT_EQ(FirstLine("2126\r\nmore"), "2126");
    EXPECT_EQ(FirstLine("2126\nmore"), "2126");
    EXPECT_EQ(FirstLine("2126\rmore"), "2126");
    EXPECT_EQ(FirstLine("2126"), "2126");
    EXPECT_EQ(FirstLine(""), "");
    EXPECT_EQ(FirstLine("\n2126"), "");
}

TEST(VersionCheckTest, VersionLineDropsAByteOrderMarkOnlyAtTheStart) {
    EXPECT_EQ(VersionLine("\xEF\xBB\xBF"
                          "2126\r\n2000"),
              "2126");
    EXPECT_EQ(VersionLine("2126\r\n\xEF\xBB\xBF"), "2126");
    EXPECT_EQ(VersionLine(" 2125 \n"), " 2125 ");
    EXPECT_EQ(VersionLine("\xEF\xBB\xBF"), "");
}

TEST(VersionCheckTest, ComparesAsWholeNumbersNotText) {
    // As text "10000" sorts before "2125"; as numbers it is newer.
    EXPECT_EQ(CompareVersions(ParseVersionNumber("10000").value, kOwnVersion), VersionComparison::Newer);
    EXPECT_EQ(CompareVersions(ParseVersionNumber("999").value, kOwnVersion), VersionComparison::Older);
    EXPECT_EQ(CompareVersions(std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max()),
              VersionComparison::Older);
}

TEST(VersionCheckTest, VersionFileAddressIsPlainHttpOnTheServiceHost) {
    EXPECT_EQ(identity::VersionFileAddress("imei.example.net"), "http://imei.example.net/ver");
    EXPECT_EQ(identity::VersionFileAddress("127.0.0.1:8080"), "http://127.0.0.1:8080/ver");
    EXPECT_EQ(identity::VersionFileAddress(), "http://" + std::string(identity::kServiceHost) + "/ver");
}

} // namespace
} // namespace quillon
