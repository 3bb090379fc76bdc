#include "utf8/Utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace quillon {
namespace {

struct EncodingCase {
    const char* name;
    std::string bytes;
    bool complete;
    TextEncoding encoding;
    std::size_t markBytes;
};

class Encoding : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(Encoding, IsDecidedByMarkThenBytes) {
    const EncodingDecision decision = DecideEncoding(GetParam().bytes, GetParam().complete);
    EXPECT_EQ(decision.encoding, GetParam().encoding);
    EXPECT_EQ(decision.markBytes, GetParam().markBytes);
}

INSTANTIATE_TEST_SUITE_P(
    Text, Encoding,
    ::testing::Values(EncodingCase{"Empty", "", true, TextEncoding::Utf8, 0},
                      EncodingCase{"Ascii", "35000000,Acme,X", true, TextEncoding::Utf8, 0},
                      EncodingCase{"Utf8", "T\xC3\x9CV", true, TextEncoding::Utf8, 0},
                      EncodingCase{"Utf8Mark", "\xEF\xBB\xBFT\xC3\x9CV", true, TextEncoding::Utf8, 3},
                      EncodingCase{"MarkThenWindows1252", "\xEF\xBB\xBFSoci\xE9t\xE9", true, TextEncoding::Windows1252,
                                   3},
                      EncodingCase{"Windows1252", "Soci\xE9t\xE9", true, TextEncoding::Windows1252, 0},
                      EncodingCase{"CutSequenceInWholeFile", "ab\xE2\x82", true, TextEncoding::Windows1252, 0},
                      EncodingCase{"CutSequenceInStart", "ab\xE2\x82", false, TextEncoding::Utf8, 0},
                      EncodingCase{"BadByteInStart",
                                   "ab\xFF"
                                   "cd",
                                   false, TextEncoding::Windows1252, 0},
                      EncodingCase{"Utf16LE",
                                   "\xFF\xFE"
                                   "a",
                                   true, TextEncoding::Utf16LE, 2},
                      EncodingCase{"Utf16BE", "\xFE\xFF", true, TextEncoding::Utf16BE, 2},
                      EncodingCase{"Utf16LEWithoutMark",
                                   std::string("\r\0\n\0"
                                               "3\0",
                                               6),
                                   true, TextEncoding::Utf16LE, 0},
                      EncodingCase{"Utf16BEWithoutMark",
                                   std::string("\0\r\0\n\0"
                                               "3",
                                               6),
                                   false, TextEncoding::Utf16BE, 0}),
    [](const auto& testInfo) { return testInfo.param.name; });

TEST(TextEncoding, OpenTailIsOnlyASequenceNotYetWhole) {
    struct Case {
        const char* name;
        std::string text;
        std::size_t open;
    };
    const Case cases[] = {
        {"empty", "", 0},
        {"ASCII", "abc", 0},
        {"whole two-byte character", "Caf\xC3\xA9", 0},
        {"whole three-byte character", "\xE2\x82\xAC", 0},
        {"whole four-byte character", "x\xF0\x9F\x98\x80", 0},
        {"lead byte alone", "ab\xC3", 1},
        {"three-byte character cut after two", "a\xE2\x82", 2},
        {"four-byte character cut after three", "\xF0\x9F\x98", 3},
        {"continuation bytes without a lead", "\x82\xAC", 0},
        {"more continuations than a lead can take", "\xE2\x82\xAC\xAC", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8OpenTail(c.text), c.open) << c.name;
    }
}

TEST(TextEncoding, Utf16DecodesPairsAndReplacesWhatIsBroken) {
    // "a", U+00DC, U+1F600 as a surrogate pair, a lone high surrogate, then an odd last byte.
    const std::string le("a\0\xDC\0\x3D\xD8\x00\xDE\x3D\xD8"
                         "b\0"
                         "c",
                         13);
    EXPECT_EQ(Utf16ToUtf8(le, false), "a\xC3\x9C\xF0\x9F\x98\x80\xEF\xBF\xBD"
                                      "b\xEF\xBF\xBD");
    const std::string be("\0a\xD8\x3D\xDE\x00", 6);
    EXPECT_EQ(Utf16ToUtf8(be, true), "a\xF0\x9F\x98\x80");
    EXPECT_EQ(Utf16ToUtf8(std::string("\x00\xDC", 2), false), "\xEF\xBF\xBD"); // lone low surrogate
}

TEST(TextEncoding, DecodeTextDropsTheMark) {
    EXPECT_EQ(DecodeText("\xEF\xBB\xBF"
                         "abc"),
              "abc");
    EXPECT_EQ(DecodeText("\xEF\xBB\xBF"
                         "\xE9"),
              "\xC3\xA9");
    EXPECT_EQ(DecodeText(std::string("\xFE\xFF\0a\0b", 6)), "ab");
    EXPECT_EQ(DecodeText("\xE9t\xE9"), "\xC3\xA9t\xC3\xA9");
}

TEST(TextEncoding, Utf16WithoutMarkIsSeenInTheFirstLine) {
    EXPECT_TRUE(LooksLikeUtf16(std::string("3\0"
                                           "5\0"
                                           "0\0",
                                           6)));
    EXPECT_TRUE(LooksLikeUtf16(std::string("\0"
                                           "3\0"
                                           "5\0"
                                           "0",
                                           6)));
    EXPECT_FALSE(LooksLikeUtf16(std::string("3\0", 2)));      // too short to tell
    EXPECT_FALSE(LooksLikeUtf16(std::string("35\0\0", 4)));   // not alternating
    EXPECT_FALSE(LooksLikeUtf16(std::string("\0\0\0\0", 4))); // only NUL
    EXPECT_FALSE(LooksLikeUtf16("490154203237518"));
    EXPECT_TRUE(LooksLikeUtf16(std::string("\0"
                                           "3\0"
                                           "5\0",
                                           5))); // big-endian, cut before its LF
}

// The first 64 KiB decide, not the first line: an empty first line is no reason to miss UTF-16,
// and what follows the 64 KiB is not looked at.
TEST(TextEncoding, Utf16WithoutMarkIsSeenInTheFirst64KiB) {
    std::string le;
    while (le.size() < kEncodingHeadBytes) {
        le += std::string("\r\0\n\0"
                          "4\0"
                          "9\0",
                          8);
    }
    EXPECT_TRUE(LooksLikeUtf16(le));
    EXPECT_TRUE(LooksLikeUtf16(le + "49\xFF"));
    EXPECT_FALSE(LooksLikeUtf16(le.substr(0, kEncodingHeadBytes - 2) + "49"));
    EXPECT_FALSE(LooksLikeUtf16(std::string("4\0"
                                            "9\0\n\0"
                                            "490154203237518\n",
                                            22))); // only the first line alternates
    EXPECT_EQ(DecideEncoding(le + "49").encoding, TextEncoding::Utf16LE);
    // What is still open: fewer than two bytes, or pairs that all alternate so far.
    EXPECT_TRUE(MayLookLikeUtf16("\xFF"));
    EXPECT_TRUE(MayLookLikeUtf16(std::string("\0"
                                             "4\0",
                                             3)));
    EXPECT_FALSE(MayLookLikeUtf16("49"));
    EXPECT_FALSE(MayLookLikeUtf16(std::string("\0\0", 2)));
}

} // namespace
} // namespace quillon
