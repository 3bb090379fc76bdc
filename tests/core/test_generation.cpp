#include "devicedb/DeviceTable.h"
#include "generation/Generation.h"
#include "generation/ModelCatalogue.h"
#include "imei/Imei.h"
#include "imei/ReportingBody.h"
#include "present/ProblemText.h"
#include "support/CoreExtras.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <set>
#include <string>
#include <vector>

namespace quillon {
namespace {

// Takes values from a seeded source one at a time, so every shortcut of the seeded source (bulk
// fill, skipping) is bypassed; candidates must come out the same either way.
class OneByOneSource final : public RandomSource {
public:
    explicit OneByOneSource(std::uint64_t seed) : m_inner(seed) {}
    double Next() override { return m_inner.Next(); }

private:
    SeededRandomSource m_inner;
};

BoxStates Boxes(std::initializer_list<int> checkedBoxNumbers) {
    BoxStates boxes{};
    for (const int number : checkedBoxNumbers) {
        boxes[static_cast<std::size_t>(number - 1)] = true;
    }
    return boxes;
}

ModelChoice CatalogueChoice(std::string_view text) {
    ModelChoice choice;
    choice.kind = ModelChoiceKind::Catalogue;
    choice.entry = FindCatalogueEntry(text);
    return choice;
}

ModelChoice CustomChoice() {
    ModelChoice choice;
    choice.kind = ModelChoiceKind::Custom;
    return choice;
}

ModelChoice DeviceChoice(std::string tac) {
    ModelChoice choice;
    choice.kind = ModelChoiceKind::Device;
    choice.tac = std::move(tac);
    choice.lineNumber = 26;
    return choice;
}

CandidateRecipe Recipe(const BoxStates& boxes, const ModelChoice& choice, std::string_view imeiText = {}) {
    const std::optional<CandidateRecipe> recipe = MakeCandidateRecipe(boxes, choice, imeiText);
    EXPECT_TRUE(recipe.has_value());
    return recipe.value_or(CandidateRecipe{});
}

std::string Build(const CandidateRecipe& recipe, RandomSource& random) {
    Candidate candidate;
    BuildCandidate(recipe, random, candidate);
    return std::string(candidate.Text());
}

std::string Digits(const std::vector<double>& values) {
    std::string digits;
    for (const double value : values) {
        digits += static_cast<char>('0' + RandomDigit(value));
    }
    return digits;
}

TEST(SeededRandomSource, GivesTheSplitMixValuesForASeed) {
    // Pinned bit for bit: a seed must give the same numbers on every platform and compiler.
    SeededRandomSource zero(0);
    EXPECT_EQ(zero.Next(), 0x1.c4415072f63b9p-1);
    EXPECT_EQ(zero.Next(), 0x1.b9e279aa86e58p-2);
    EXPECT_EQ(zero.Next(), 0x1.b117462002500p-6);
    EXPECT_EQ(zero.Next(), 0x1.f1177150e4990p-1);
    SeededRandomSource one(1);
    EXPECT_EQ(one.Next(), 0x1.22145bd91204bp-1);
    EXPECT_EQ(one.Next(), 0x1.7dd71b42cb1ddp-1);
    EXPECT_EQ(one.Next(), 0x1.f12745ddf664ap-1);
    EXPECT_EQ(one.Next(), 0x1.c7061a43b90b2p-2);
}

TEST(SeededRandomSource, DiscardSkipsExactlyThatManyValues) {
    for (const std::uint64_t skipped : {0ull, 1ull, 13ull, 15ull, 1000ull}) {
        SeededRandomSource single(42);
        SeededRandomSource skipping(42);
        for (std::uint64_t i = 0; i < skipped; ++i) {
            single.Next();
        }
        skipping.Discard(skipped);
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(skipping.Next(), single.Next());
        }
    }
}

TEST(SeededRandomSource, StaysInsideTheUnitInterval) {
    SeededRandomSource random(7);
    for (int i = 0; i < 100000; ++i) {
        const double value = random.Next();
        ASSERT_GE(value, 0.0);
        ASSERT_LT(value, 1.0);
    }
}

TEST(SequenceRandomSource, PlaysItsValuesAgainAndCountsThem) {
    SequenceRandomSource random({0.25, 0.5});
    EXPECT_EQ(random.Next(), 0.25);
    EXPECT_EQ(random.Next(), 0.5);
    EXPECT_EQ(random.Next(), 0.25);
    random.Discard(2);
    EXPECT_EQ(random.Drawn(), 5u);
}

TEST(RandomDigit, IsFloorOfNineTimesRPlusOne) {
    struct Case {
        double r;
        int digit;
    };
    const Case cases[] = {
        {0.0, 1},
        {std::nextafter(1.0 / 9.0, 0.0), 1},
        {1.0 / 9.0, 2},
        {0.5, 5},
        {8.0 / 9.0, 9},
        {std::nextafter(1.0, 0.0), 9},
        {-0.25, 1},
        {1.0, 9},
        {std::numeric_limits<double>::infinity(), 9},
        {std::nan(""), 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RandomDigit(c.r), c.digit) << c.r;
    }
}

TEST(RandomDigit, ComesOutUniformlyFromOneToNine) {
    SeededRandomSource random(99);
    std::array<int, 10> counts{};
    constexpr int kDraws = 90000;
    for (int i = 0; i < kDraws; ++i) {
        ++counts[static_cast<std::size_t>(RandomDigit(random.Next()))];
    }
    EXPECT_EQ(counts[0], 0);
    double chiSquare = 0;
    for (int digit = 1; digit <= 9; ++digit) {
        const double deviation = counts[static_cast<std::size_t>(digit)] - kDraws / 9.0;
        chiSquare += deviation * deviation / (kDraws / 9.0);
    }
    EXPECT_LT(chiSquare, 26.1); // 8 degrees of freedom, 0.1 % point
}

TEST(BuildCandidate, WithoutModelOrBoxIsFifteenRandomDigits) {
    const std::vector<double> values{0.0,  0.12, 0.23, 0.34, 0.45, 0.56, 0.67, 0.78,
                                     0.89, 0.99, 0.05, 0.15, 0.25, 0.35, 0.95, 0.5};
    SequenceRandomSource random(values);
    EXPECT_EQ(Build(Recipe({}, {}), random), Digits({values.begin(), values.begin() + 15}));
    EXPECT_EQ(random.Drawn(), 15u);
}

TEST(BuildCandidate, FirstCheckedBoxGivesTheTwoLeadingDigits) {
    struct Case {
        const char* name;
        BoxStates boxes;
        const char* code;
    };
    const BoxStates afterValidating49 =
        ApplyBoxSettings(BoxStates{}, LookupReportingBody(SplitIMEI("490154203237518").reportingBodyIdentifier).boxes);
    const Case cases[] = {
        {"PTCRB alone", Boxes({8}), "01"},
        {"PTCRB over TAF", Boxes({8, 1}), "01"},
        {"DGPT", Boxes({7}), "33"},
        {"NTA", Boxes({6}), "45"},
        {"BZT/Cetecom over BABT/BAPT", Boxes({5, 4}), "52"},
        {"boxes of a 49 number", afterValidating49, "52"},
        {"BABT/BAPT", Boxes({4}), "35"},
        {"Iridium", Boxes({3}), "30"},
        {"MSAI over TAF", Boxes({2, 1}), "91"},
        {"TAF", Boxes({1}), "86"},
        {"all", Boxes({1, 2, 3, 4, 5, 6, 7, 8}), "01"},
    };
    const std::vector<double> values{0.3, 0.1, 0.9, 0.7, 0.5, 0.2, 0.4, 0.6, 0.8, 0.05, 0.15, 0.25, 0.35};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SequenceRandomSource random(values);
        EXPECT_EQ(Build(Recipe(c.boxes, {}), random), c.code + Digits(values));
        EXPECT_EQ(random.Drawn(), 13u);
    }
    EXPECT_EQ(afterValidating49, Boxes({4, 5}));
}

TEST(BuildCandidate, CatalogueEntryDrawsAfterTheBoxCandidateIsMade) {
    const CatalogueEntry& apple = *FindCatalogueEntry("Apple");
    std::vector<double> values(15, 0.99); // the reporting-body candidate, replaced
    values.push_back(5.5 / 12.0);         // the draw: code 6
    for (const double v : {0.0, 0.2, 0.4, 0.6, 0.8, 0.9, 0.5}) {
        values.push_back(v);
    }
    SequenceRandomSource random(values);
    EXPECT_EQ(Build(Recipe({}, CatalogueChoice("Apple")), random),
              std::string(apple.tacs[5]) + Digits({0.0, 0.2, 0.4, 0.6, 0.8, 0.9, 0.5}));
    EXPECT_EQ(random.Drawn(), 23u);

    // With a box checked the replaced candidate takes 13 values instead of 15.
    std::vector<double> withBox(values.begin() + 2, values.end());
    SequenceRandomSource boxed(withBox);
    EXPECT_EQ(Build(Recipe(Boxes({8}), CatalogueChoice("Apple")), boxed),
              std::string(apple.tacs[5]) + Digits({0.0, 0.2, 0.4, 0.6, 0.8, 0.9, 0.5}));
    EXPECT_EQ(boxed.Drawn(), 21u);
}

TEST(BuildCandidate, CustomKeepsTheFirstEightCharactersOfTheImeiText) {
    std::vector<double> values(13, 0.0); // the replaced PTCRB candidate
    for (const int digit : {9, 8, 7, 6, 5, 4, 3}) {
        values.push_back((digit - 0.5) / 9.0);
    }
    SequenceRandomSource random(values);
    EXPECT_EQ(Build(Recipe(Boxes({8}), CustomChoice(), "490154203237518"), random), "49015420"
                                                                                    "9876543");
    EXPECT_EQ(random.Drawn(), 13u + 7u);
}

TEST(BuildCandidate, DeviceEntryUsesFieldOneOfItsLine) {
    SequenceRandomSource random({0.5});
    EXPECT_EQ(Build(Recipe({}, DeviceChoice("35999901")), random), "35999901"
                                                                   "5555555");
    EXPECT_EQ(random.Drawn(), 15u + 7u);
}

TEST(BuildCandidate, CatalogueCandidatesUseOnlyTheirEntrysCodes) {
    SeededRandomSource random(5);
    for (const CatalogueEntry& entry : ModelCatalogue()) {
        SCOPED_TRACE(entry.text);
        const CandidateRecipe recipe = Recipe(Boxes({2}), CatalogueChoice(entry.text));
        std::set<std::string_view> drawn;
        for (int i = 0; i < 2000; ++i) {
            const std::string candidate = Build(recipe, random);
            const auto tac = std::find(entry.tacs.begin(), entry.tacs.end(), candidate.substr(0, 8));
            ASSERT_NE(tac, entry.tacs.end()) << candidate;
            drawn.insert(*tac);
        }
        EXPECT_EQ(drawn.size(), std::set<std::string_view>(entry.tacs.begin(), entry.tacs.end()).size());
    }
}

TEST(BuildCandidate, RandomPositionsNeverHoldAZero) {
    struct Case {
        const char* name;
        BoxStates boxes;
        ModelChoice choice;
        std::size_t firstRandomPosition; // counted from 1
    };
    const Case cases[] = {
        {"no model, no box", {}, {}, 1},
        {"box prefix", Boxes({6}), {}, 3},
        {"catalogue", {}, CatalogueChoice("Nokia"), 9},
        {"custom", {}, CustomChoice(), 9},
        {"device", {}, DeviceChoice("00000000"), 9},
    };
    SeededRandomSource random(11);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CandidateRecipe recipe = Recipe(c.boxes, c.choice, "00000000");
        for (int i = 0; i < 20000; ++i) {
            const std::string candidate = Build(recipe, random);
            ASSERT_EQ(candidate.size(), 15u);
            ASSERT_EQ(candidate.find('0', c.firstRandomPosition - 1), std::string::npos) << candidate;
        }
    }
}

TEST(GenerationEngine, JudgesCountsAndCollectsLikeTheIMEIVerdict) {
    SeededRandomSource random(3);
    const CandidateRecipe recipe = Recipe({}, {});
    GenerationEngine<SeededRandomSource> engine(random);
    std::string expectedList;
    std::uint64_t valid = 0;
    for (int i = 0; i < 20000; ++i) {
        const bool collect = i % 2 == 0;
        const bool verdict = engine.Step(recipe, collect);
        const std::string number(engine.Current().Text());
        ASSERT_EQ(LuhnTotalOfFifteenDigits(number.data()), LuhnTotal(number)) << number;
        ASSERT_EQ(verdict, IsValidIMEI(number)) << number;
        if (verdict) {
            ++valid;
            expectedList += collect ? "\r\n" + number : std::string();
        }
    }
    EXPECT_EQ(engine.Counts().generated, 20000u);
    EXPECT_EQ(engine.Counts().valid, valid);
    EXPECT_EQ(engine.Collected(), expectedList);
    EXPECT_GT(valid, 1500u); // about one in ten
    EXPECT_LT(valid, 2500u);
}

TEST(GenerateValid, DeliversExactlyTheCountAllValid) {
    for (const std::uint64_t count : {1ull, 10ull, 250ull}) {
        SeededRandomSource random(count);
        const CandidateRecipe recipe = Recipe({}, CatalogueChoice("Samsung Galaxy S6"));
        const CatalogueEntry& entry = *recipe.entry;
        std::vector<std::string> numbers;
        const GenerationCounts counts = GenerateValid(recipe, count, random, [&](std::string_view number) {
            numbers.emplace_back(number);
            return true;
        });
        EXPECT_EQ(counts.valid, count);
        EXPECT_EQ(numbers.size(), count);
        EXPECT_GE(counts.generated, counts.valid);
        for (const std::string& number : numbers) {
            EXPECT_TRUE(IsValidIMEI(number)) << number;
            EXPECT_NE(std::find(entry.tacs.begin(), entry.tacs.end(), number.substr(0, 8)), entry.tacs.end());
        }
    }
}

TEST(GenerateValid, KeepsExactlyTheValidCandidatesOfTheSameSequence) {
    const std::vector<std::pair<BoxStates, ModelChoice>> sources{
        {BoxStates{}, ModelChoice{}},
        {Boxes({7}), ModelChoice{}},
        {BoxStates{}, CatalogueChoice("Apple")},
        {Boxes({4}), CatalogueChoice("Samsung Galaxy S6")},
        {BoxStates{}, CustomChoice()},
        {Boxes({1}), DeviceChoice("35999901")},
    };
    for (const auto& [boxes, choice] : sources) {
        const CandidateRecipe recipe = Recipe(boxes, choice, "01234567");
        SeededRandomSource fast(31);
        std::vector<std::string> found;
        const GenerationCounts counts = GenerateValid(recipe, 300, fast, [&](std::string_view number) {
            found.emplace_back(number);
            return true;
        });

        // The same run built one value at a time and judged by the IMEI verdict itself.
        OneByOneSource slow(31);
        std::vector<std::string> expected;
        std::uint64_t built = 0;
        while (expected.size() < 300) {
            const std::string candidate = Build(recipe, slow);
            ++built;
            if (IsValidIMEI(candidate)) {
                expected.push_back(candidate);
            }
        }
        EXPECT_EQ(found, expected);
        EXPECT_EQ(counts.generated, built);
        // The source has moved on by exactly the values the run took.
        EXPECT_EQ(fast.Next(), slow.Next());
    }
}

TEST(GenerateValid, IsRepeatableForASeed) {
    const CandidateRecipe recipe = Recipe(Boxes({5}), {});
    const auto run = [&](std::uint64_t seed) {
        SeededRandomSource random(seed);
        std::string all;
        GenerateValid(recipe, 50, random, [&](std::string_view number) {
            all += number;
            return true;
        });
        return all;
    };
    EXPECT_EQ(run(1), run(1));
    EXPECT_NE(run(1), run(2));
    EXPECT_EQ(run(1).substr(0, 2), "52");
}

TEST(GenerateValid, StopsWhenTheReceiverSaysSo) {
    SeededRandomSource random(8);
    int received = 0;
    const GenerationCounts counts =
        GenerateValid(Recipe({}, {}), 100, random, [&](std::string_view) { return ++received < 3; });
    EXPECT_EQ(received, 3);
    EXPECT_EQ(counts.valid, 3u);
}

TEST(PrefixChecks, EightDigitTac) {
    struct Case {
        std::string text;
        bool ok;
    };
    const Case cases[] = {
        {"49015420", true},    {"00000000", true},  {"4901542", false},  {"490154201", false},
        {"4901542a", false},   {"", false},         {"4901 420", false}, {"４９０１５４２０", false},
        {"49015420\n", false}, {"-4901542", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsEightDigitTac(c.text), c.ok) << c.text;
    }
}

TEST(PrefixChecks, CustomNeedsEightLeadingDigits) {
    struct Case {
        std::string imeiText;
        bool ok;
    };
    const Case cases[] = {
        {"490154203237518", true},
        {"49015420", true},
        {"49015420abc", true},
        {"4901542", false},
        {"", false},
        {"4901542X3237518", false},
        {"ABCDEFGHIJ", false},
        {"49-015420-323751-8", false},
        {"４９０１５４２０", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.imeiText);
        const std::optional<Problem> problem = CustomPrefixProblem(c.imeiText);
        EXPECT_EQ(!problem, c.ok);
        EXPECT_EQ(ModelPrefixProblem(CustomChoice(), "Custom", c.imeiText).has_value(), !c.ok);
        EXPECT_EQ(MakeCandidateRecipe({}, CustomChoice(), c.imeiText).has_value(), c.ok);
    }
    EXPECT_NE(ProblemText(*CustomPrefixProblem("4901542")).find("begins with \"4901542\""), std::string::npos);
    EXPECT_NE(ProblemText(*CustomPrefixProblem("")).find("empty"), std::string::npos);
}

TEST(PrefixChecks, DeviceNeedsAnEightDigitFieldOne) {
    EXPECT_FALSE(ModelPrefixProblem(DeviceChoice("35999901"), "Acme Phone X", ""));
    for (const char* field : {"3599990", "ABC", "", "359999012", "35999901 "}) {
        SCOPED_TRACE(field);
        const std::string problem =
            ProblemText(*ModelPrefixProblem(DeviceChoice(field), "Acme Phone X", "490154203237518"));
        EXPECT_NE(problem.find("\"Acme Phone X\""), std::string::npos) << problem;
        EXPECT_FALSE(MakeCandidateRecipe({}, DeviceChoice(field), "").has_value());
    }
}

TEST(PrefixChecks, OtherChoicesNeedNothing) {
    EXPECT_FALSE(ModelPrefixProblem({}, "", ""));
    EXPECT_FALSE(ModelPrefixProblem(CatalogueChoice("HTC"), "HTC", "junk"));
    EXPECT_TRUE(MakeCandidateRecipe(Boxes({1}), {}, "junk").has_value());
}

TEST(TimeOfDaySeed, IsWithinOneDayOfMicroseconds) {
    EXPECT_LT(TimeOfDaySeed(), 86401ull * 1000000ull);
}

} // namespace
} // namespace quillon

struct CountCase {
    const char* text;
    double count;
};

class RequestedCountTest : public ::testing::TestWithParam<CountCase> {};

TEST_P(RequestedCountTest, ReadsTheNumberAtTheStart) {
    const CountCase& c = GetParam();
    EXPECT_EQ(quillon::RequestedCount(c.text), c.count) << '"' << c.text << '"';
}

INSTANTIATE_TEST_SUITE_P(Texts, RequestedCountTest,
                         ::testing::Values(CountCase{"25", 25.0}, CountCase{"250", 250.0}, CountCase{"", 0.0},
                                           CountCase{"1.5", 1.5}, CountCase{".5", 0.5}, CountCase{"2.", 2.0},
                                           CountCase{"  10", 10.0}, CountCase{"\t7", 7.0}, CountCase{"+3", 3.0},
                                           CountCase{"-3", -3.0}, CountCase{"- 3", 0.0}, CountCase{"1e3", 1.0},
                                           CountCase{"12abc", 12.0}, CountCase{"10 numbers", 10.0},
                                           CountCase{"1,5", 1.0}, CountCase{"lots", 0.0}, CountCase{".", 0.0},
                                           CountCase{"+", 0.0}, CountCase{"0.000", 0.0},
                                           CountCase{"99999999999999999999", 1e20}));

TEST(RequestedCount, HugeNumbersAreNeverReached) {
    const std::string huge(400, '9');
    EXPECT_EQ(quillon::RequestedCount(huge), std::numeric_limits<double>::infinity());
    EXPECT_EQ(quillon::RequestedCount("-" + huge), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(quillon::RequestedCount("0." + std::string(400, '0') + "1"), 0.0);
}
