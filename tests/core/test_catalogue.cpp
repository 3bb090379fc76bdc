#include "devicedb/DeviceTable.h"
#include "generation/Generation.h"
#include "generation/ModelCatalogue.h"
#include "support/CoreExtras.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace quillon {
namespace {

struct ExpectedEntry {
    const char* text;
    const char* codes; // separated by spaces
};

// The catalogue as the program promises it, typed independently of the implementation.
const ExpectedEntry kExpectedCatalogue[] = {
    {"Apple", "01304000 01296600 01274900 01257300 01181100 01362800 01283600 01304600 01362600 35437606 35438606 "
              "35440806"},
    {"BlackBerry", "35684104 35760604 35426104 35836003 35764600 35842703 35150305 35807304 35197204 35197004 "
                   "35292205 35292105"},
    {"HTC", "35221204 35450302 35495703 35506604 35777903 35798802 35902803 35575102 35583302 35640904 35643404 "
            "35644004 35702402"},
    {"Huawei", "35498701 35618503 35448403 35448803 35476403 35663502 35737204 35768502 35773902 35795501 35818002 "
               "35944400"},
    {"Nokia", "35641900 35652100 35641700 35663400 35644901 35693803 35569801 35573202 35443401 35572402 35572500 "
              "35572502"},
    {"Samsung", "35250203 35255504 35506004 35969601 35531004 35726406 35750605 35753706 35763105 35774905 35802206 "
                "35965604 35621004 35178404"},
    {"BlackBerry 6XXX", "35100820 35100800 01019300 01022600"},
    {"BlackBerry 7XXX", "01019400 10237000 35422200 35452900 35459400 50502000"},
    {"BlackBerry 8XXX", "35176802 35184103 35197004 35212601 35348604 35376301"},
    {"BlackBerry 9XXX", "35387204 35425504 35490904 35620104 35743704 35683804"},
    {"BlackBerry QX", "35676005 35676205 35611205 35696805"},
    {"BlackBerry ZX", "35292105 35292205 35696605 35489705 35703305"},
    {"Apple iPhone 3X", "01174400 01257300 01181100 01203100 01227000 01226500"},
    {"Apple iPhone 4X", "01233700 01253900 01265400 01274900 01294300 01303900"},
    {"Apple iPhone 5X", "01362200 01388300 01362800 35884402 01334900 35884405"},
    {"Apple iPhone 6X", "35924906 35928106 35207406 35437606 35440306 35440806"},
    {"Samsung Galaxy", "35302703 35641803 35659303 35659403 35734403 35529903"},
    {"Samsung Galaxy S", "35175104 35186304 35216605 35663804 35506004 35180104 35490505"},
    {"Samsung Galaxy S2", "35237605 35531004 35793004 35815004 35779805 35846104 35848804"},
    {"Samsung Galaxy S3", "35186905 35332305 35357505 35372005 35372105 35491505 35516405"},
    {"Samsung Galaxy S4", "35274506 35516705 35579405 35584606 35584706 35642005 35656705 35684505 35708605 "
                          "35750605 35763105"},
    {"Samsung Galaxy S5", "35329606 35341106 35341506 35342106 35391906 35489106 35535406 35609906"},
    {"Samsung Galaxy S6", "35993706 35952106 35746006 35774106 35966906"},
};

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

std::vector<std::string> Codes(const CatalogueEntry& entry) {
    return {entry.tacs.begin(), entry.tacs.end()};
}

// A database of `lineCount` lines: line i is "<code>,Maker<i>,Model <i>", the last one a version line.
std::string NumberedDatabase(std::size_t lineCount) {
    std::string bytes;
    for (std::size_t i = 1; i < lineCount; ++i) {
        bytes += std::to_string(35000000 + i) + ",Maker" + std::to_string(i) + ",Model " + std::to_string(i) + "\r\n";
    }
    bytes += "99999999,QN-2026.12\r\n";
    return bytes;
}

TEST(ModelCatalogue, HasTheTwentyThreeEntriesWithTheirCodesInListOrder) {
    const auto catalogue = ModelCatalogue();
    ASSERT_EQ(catalogue.size(), std::size(kExpectedCatalogue));
    std::size_t slots = 0;
    for (std::size_t i = 0; i < catalogue.size(); ++i) {
        SCOPED_TRACE(kExpectedCatalogue[i].text);
        EXPECT_EQ(catalogue[i].text, kExpectedCatalogue[i].text);
        EXPECT_EQ(Codes(catalogue[i]), Words(kExpectedCatalogue[i].codes));
        slots += catalogue[i].tacs.size();
    }
    EXPECT_EQ(slots, 181u);
}

TEST(ModelCatalogue, EveryCodeIsEightDigits) {
    for (const CatalogueEntry& entry : ModelCatalogue()) {
        for (std::string_view tac : entry.tacs) {
            EXPECT_TRUE(IsEightDigitTac(tac)) << entry.text << ": " << tac;
        }
    }
}

TEST(ModelCatalogue, SharedCodesStayInBothEntries) {
    const auto has = [](std::string_view text, std::string_view tac) {
        const auto codes = Codes(*FindCatalogueEntry(text));
        return std::find(codes.begin(), codes.end(), tac) != codes.end();
    };
    EXPECT_TRUE(has("BlackBerry", "35197004"));
    EXPECT_TRUE(has("BlackBerry 8XXX", "35197004"));
    EXPECT_TRUE(has("Apple", "01257300"));
    EXPECT_TRUE(has("Apple iPhone 3X", "01257300"));
}

TEST(FindCatalogueEntry, MatchesWholeTextExactly) {
    struct Case {
        std::string text;
        const char* expected; // nullptr: no entry
    };
    const Case cases[] = {
        {"Apple", "Apple"},
        {"Samsung Galaxy S", "Samsung Galaxy S"},
        {"Samsung Galaxy S6", "Samsung Galaxy S6"},
        {"Apple iPhone 3X", "Apple iPhone 3X"},
        {"apple", nullptr},
        {"Apple ", nullptr},
        {" Apple", nullptr},
        {"Samsung Galaxy S7", nullptr},
        {"Custom", nullptr},
        {"", nullptr},
        {std::string(kSeparatorEntry), nullptr},
        {"HTC One", nullptr},
    };
    for (const Case& c : cases) {
        const CatalogueEntry* entry = FindCatalogueEntry(c.text);
        if (c.expected == nullptr) {
            EXPECT_EQ(entry, nullptr) << "'" << c.text << "'";
        } else {
            ASSERT_NE(entry, nullptr) << "'" << c.text << "'";
            EXPECT_EQ(entry->text, c.expected);
        }
    }
}

TEST(DrawTac, MapsTheValueRangeOntoTheCodesInOrder) {
    for (const CatalogueEntry& entry : ModelCatalogue()) {
        SCOPED_TRACE(entry.text);
        const std::size_t k = entry.tacs.size();
        EXPECT_EQ(DrawTac(entry, 0.0), entry.tacs.front());
        EXPECT_EQ(DrawTac(entry, std::nextafter(1.0, 0.0)), entry.tacs.back());
        for (std::size_t i = 0; i < k; ++i) {
            // The middle of the i-th of k equal slices of [0, 1).
            EXPECT_EQ(DrawTac(entry, (static_cast<double>(i) + 0.5) / static_cast<double>(k)), entry.tacs[i]);
        }
    }
}

TEST(DrawTac, KeepsOutOfRangeValuesInsideTheList) {
    const CatalogueEntry& apple = *FindCatalogueEntry("Apple");
    EXPECT_EQ(DrawTac(apple, -0.5), apple.tacs.front());
    EXPECT_EQ(DrawTac(apple, 1.0), apple.tacs.back());
    EXPECT_EQ(DrawTac(apple, 7.0), apple.tacs.back());
    EXPECT_EQ(DrawTac(apple, std::nan("")), apple.tacs.front());
    EXPECT_EQ(DrawTac(apple, std::numeric_limits<double>::infinity()), apple.tacs.back());
}

TEST(DrawTac, DrawsEachOfApplesTwelveCodesAboutEquallyOften) {
    const CatalogueEntry& apple = *FindCatalogueEntry("Apple");
    ASSERT_EQ(apple.tacs.size(), 12u);
    SeededRandomSource random(20261206); // fixed, so the test is deterministic
    constexpr int kDraws = 120000;
    std::map<std::string_view, int> counts;
    for (int i = 0; i < kDraws; ++i) {
        ++counts[DrawTac(apple, random.Next())];
    }
    ASSERT_EQ(counts.size(), 12u);
    const double expected = kDraws / 12.0;
    double chiSquare = 0;
    for (const auto& [tac, count] : counts) {
        chiSquare += (count - expected) * (count - expected) / expected;
    }
    // 11 degrees of freedom: 31.3 is the 0.1 % point; a biased mapping lands far above it.
    EXPECT_LT(chiSquare, 31.3);
}

TEST(ModelListTexts, FixedPartHasTwentyFiveTexts) {
    const std::vector<std::string> texts = FixedModelListTexts();
    ASSERT_EQ(texts.size(), 25u);
    EXPECT_EQ(texts[0], "");
    for (std::size_t i = 0; i < std::size(kExpectedCatalogue); ++i) {
        EXPECT_EQ(texts[i + 1], kExpectedCatalogue[i].text);
    }
    EXPECT_EQ(texts[24], "Custom");
}

TEST(ModelListTexts, CountListHasSevenTexts) {
    const auto texts = CountListTexts();
    const std::vector<std::string_view> expected{"", "1", "10", "25", "50", "100", "250"};
    EXPECT_EQ(std::vector<std::string_view>(texts.begin(), texts.end()), expected);
}

TEST(ModelListTexts, DeviceEntriesStandAtTheirLineNumbers) {
    struct Case {
        std::size_t lines;
        std::size_t listSize;
    };
    // n - 2 below 26 adds nothing after the separator; 30 lines offer lines 26 to 28.
    const Case cases[] = {{0, 26}, {1, 26}, {27, 26}, {28, 27}, {30, 29}, {32, 31}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        const DeviceTable table = DeviceTable::FromBytes(c.lines == 0 ? std::string() : NumberedDatabase(c.lines));
        ASSERT_EQ(table.LineCount(), c.lines);
        const std::vector<std::string> texts = ModelListTexts(table);
        ASSERT_EQ(texts.size(), c.listSize);
        EXPECT_EQ(texts[kSeparatorIndex], std::string(28, '-'));
        for (std::size_t i = kFirstDeviceIndex; i < texts.size(); ++i) {
            EXPECT_EQ(texts[i], "Maker" + std::to_string(i) + " Model " + std::to_string(i));
        }
    }
}

TEST(ModelListTexts, ShortLinesStillGiveOneEntryEach) {
    std::string bytes = NumberedDatabase(26); // lines 1..25 and a version line that is replaced below
    bytes.erase(bytes.rfind("99999999"));
    bytes += "35000026\r\n35000027,OnlyMaker\r\n35000028,A,B,C,D\r\n35000029,X,Y\r\n99999999,QN-2026.12\r\n";
    const std::vector<std::string> texts = ModelListTexts(DeviceTable::FromBytes(bytes));
    ASSERT_EQ(texts.size(), 29u);
    EXPECT_EQ(texts[28], "A B");
}

struct ResolveCase {
    const char* name;
    std::string text;
    std::size_t position;
    ModelChoiceKind kind;
    std::string catalogueText; // Catalogue
    std::string tac;           // Device
};

TEST(ResolveModelChoice, FollowsFixedNamesFirstThenTheLineAtThePosition) {
    std::string bytes = NumberedDatabase(26);
    bytes.erase(bytes.rfind("99999999"));
    bytes += "35100026,Samsung,Galaxy S4\r\n" // 26: named like a catalogue entry
             "35100027,Acme,Phone X\r\n"      // 27
             "35100028,Acme,Phone X\r\n"      // 28: same text, its own code
             "ABC,Broken,Code\r\n"            // 29: field 1 not a code, still resolved
             "35100030,Acme,Custom\r\n"       // 30
             "35100031,Last,Device\r\n"       // 31: n - 1
             "99999999,QN-2026.12\r\n";       // 32
    const DeviceTable table = DeviceTable::FromBytes(bytes);
    ASSERT_EQ(table.LineCount(), 32u);

    const ResolveCase cases[] = {
        {"catalogue entry", "Samsung Galaxy S6", 23, ModelChoiceKind::Catalogue, "Samsung Galaxy S6", ""},
        {"catalogue text typed", "Apple", static_cast<std::size_t>(-1), ModelChoiceKind::Catalogue, "Apple", ""},
        {"device line named like an entry", "Samsung Galaxy S4", 26, ModelChoiceKind::Catalogue, "Samsung Galaxy S4",
         ""},
        {"device entry", "Acme Phone X", 27, ModelChoiceKind::Device, "", "35100027"},
        {"same text, other line", "Acme Phone X", 28, ModelChoiceKind::Device, "", "35100028"},
        {"field 1 as it stands", "Broken Code", 29, ModelChoiceKind::Device, "", "ABC"},
        {"custom", "Custom", 24, ModelChoiceKind::Custom, "", ""},
        {"line no longer gives back the text", "Acme Phone Y", 27, ModelChoiceKind::None, "", ""},
        {"text of another line", "Acme Phone X", 30, ModelChoiceKind::None, "", ""},
        {"empty", "", 0, ModelChoiceKind::None, "", ""},
        {"separator", std::string(kSeparatorEntry), 25, ModelChoiceKind::None, "", ""},
        {"typed text without a position", "Acme Phone X", static_cast<std::size_t>(-1), ModelChoiceKind::None, "", ""},
        {"position past the table", "Maker5 Model 5", 40, ModelChoiceKind::None, "", ""},
        {"fixed part of the list", "Maker5 Model 5", 5, ModelChoiceKind::None, "", ""},
        {"case differs", "samsung galaxy s6", 23, ModelChoiceKind::None, "", ""},
    };
    for (const ResolveCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ModelChoice choice = ResolveModelChoice(c.text, c.position, table);
        ASSERT_EQ(choice.kind, c.kind);
        if (c.kind == ModelChoiceKind::Catalogue) {
            ASSERT_NE(choice.entry, nullptr);
            EXPECT_EQ(choice.entry->text, c.catalogueText);
        }
        if (c.kind == ModelChoiceKind::Device) {
            EXPECT_EQ(choice.tac, c.tac);
            EXPECT_EQ(choice.lineNumber, c.position);
        }
    }
}

TEST(ResolveModelChoice, AChangedFileNoLongerMatches) {
    std::string before = NumberedDatabase(26);
    before.erase(before.rfind("99999999"));
    std::string after = before;
    before += "35100026,Acme,Phone X\r\n35100027,Acme,Phone Z\r\n99999999,QN-2026.12\r\n";
    after += "35100026,Acme,Phone X2\r\n35100027,Acme,Phone Z\r\n99999999,QN-2026.12\r\n";
    EXPECT_EQ(ResolveModelChoice("Acme Phone X", 26, DeviceTable::FromBytes(before)).kind, ModelChoiceKind::Device);
    EXPECT_EQ(ResolveModelChoice("Acme Phone X", 26, DeviceTable::FromBytes(after)).kind, ModelChoiceKind::None);
}

TEST(DeviceTextCodes, DrawsAmongEveryDistinctCodeOfTheLinesShowingTheText) {
    const DeviceTable table = DeviceTable::FromBytes("35100001,Acme,Phone X\r\n"
                                                     "35100002,Other,Phone\r\n"
                                                     "ABC,Acme,Phone X\r\n"      // shows the text, no code
                                                     "35100001,Acme,Phone X\r\n" // the same code again
                                                     "35100004,Acme,Phone X\r\n"
                                                     "35100005,Solo,Phone\r\n"
                                                     "35100006,Acme,Phone X\r\n"); // the version line
    const DeviceTextCodes several(table, "Acme Phone X");
    EXPECT_EQ(several.LinesShowingText(), 4u);
    EXPECT_EQ(several.FirstCode(), "35100001");
    EXPECT_EQ(several.Codes(), (std::vector<std::string>{"35100001", "35100004"}));
    const ModelChoice drawn = several.Choice();
    ASSERT_EQ(drawn.kind, ModelChoiceKind::Catalogue);
    EXPECT_EQ(drawn.entry->text, "Acme Phone X");
    EXPECT_EQ(Codes(*drawn.entry), (std::vector<std::string>{"35100001", "35100004"}));

    const ModelChoice one = DeviceTextCodes(table, "Solo Phone").Choice();
    EXPECT_EQ(one.kind, ModelChoiceKind::Device);
    EXPECT_EQ(one.tac, "35100005");

    const DeviceTextCodes none(table, "Acme Phone");
    EXPECT_EQ(none.LinesShowingText(), 0u);
    EXPECT_EQ(none.Choice().kind, ModelChoiceKind::None);
}

} // namespace
} // namespace quillon
