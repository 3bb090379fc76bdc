#pragma once

#include "generation/ModelCatalogue.h"
#include "generation/Report.h"
#include "imei/Imei.h"
#include "imei/ReportingBody.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// Uniform values in [0, 1). A run takes one value per random digit and one per code draw, in the
// order the candidate is built, so a fixed source makes a run repeatable.
class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual double Next() = 0;
    // Draws the next `count` values and throws them away.
    virtual void Discard(std::uint64_t count);
};

// SplitMix64; a value is the output's top 53 bits m scaled to m * 2^-53. Integer steps and an
// exact conversion give the same values for a seed on every platform and compiler. The state
// advances by a constant per value, so Discard skips any number of values in one step.
class SeededRandomSource final : public RandomSource {
public:
    explicit SeededRandomSource(std::uint64_t seed) : m_state(seed) {}

    // The next value as its integer m (0 <= m < 2^53); the value itself is m * 2^-53.
    std::uint64_t NextBits() {
        m_state += kGamma;
        std::uint64_t z = m_state;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return (z ^ (z >> 31)) >> 11;
    }
    double Next() override { return static_cast<double>(NextBits()) * 0x1p-53; }
    void Discard(std::uint64_t count) override { m_state += count * kGamma; } // wraps like single steps

private:
    static constexpr std::uint64_t kGamma = 0x9e3779b97f4a7c15ull;
    std::uint64_t m_state;
};

// floor(r * 9) + 1: a digit 1 to 9, never 0. A value outside [0, 1) gives the nearest digit.
int RandomDigit(double r);

// A candidate: always 15 characters 0-9, since every prefix is checked to be digits first.
struct Candidate {
    std::array<char, kImeiLength> digits{};
    std::string_view Text() const { return {digits.data(), digits.size()}; }
};

// What a pass builds from, resolved from the boxes, the model choice and the IMEI text.
struct CandidateRecipe {
    std::optional<std::array<char, 2>> boxCode; // the first checked box in generation order
    ModelChoiceKind model = ModelChoiceKind::None;
    const CatalogueEntry* entry = nullptr; // Catalogue
    std::array<char, 8> tac{};             // Custom and Device
};

// Whether `text` is exactly eight characters 0-9.
bool IsEightDigitTac(std::string_view text);

// Why a run cannot start because its prefix is not eight digits: with such a prefix no candidate
// could ever be a valid 15-digit IMEI and the run would never end. None when the prefix is fine.
std::optional<Problem> CustomPrefixProblem(std::string_view imeiText);
std::optional<Problem> DevicePrefixProblem(std::string_view entryText, std::string_view field1);

// None when `choice` can start a run; otherwise why it cannot. `modelText` is the model list's text
// (the device entry named in the problem), `imeiText` the text a custom prefix is taken from.
std::optional<Problem> ModelPrefixProblem(const ModelChoice& choice, std::string_view modelText,
                                          std::string_view imeiText);

// The recipe for a pass; nothing when ModelPrefixProblem would give a message.
std::optional<CandidateRecipe> MakeCandidateRecipe(const BoxStates& boxes, const ModelChoice& choice,
                                                   std::string_view imeiText);

// The requested count of a run: the number at the start of the count list's text, read as a user
// would read it. Blanks before the number are skipped; a "+" or "-" may stand directly before it;
// a fraction with a full stop counts ("1.5" asks for 1.5, so a run ends at 2 valid numbers). No
// exponent is read ("1e3" is 1) and nothing after the number matters ("25 pieces" is 25). A text
// that does not begin with a number gives 0; a number too large for a double gives infinity, which
// no run reaches, as with any count larger than a run could ever find.
double RequestedCount(std::string_view text);

struct GenerationCounts {
    std::uint64_t generated = 0; // candidates built
    std::uint64_t valid = 0;
};

namespace detail {

inline constexpr std::size_t kTacLength = 8;

// Values in the order a candidate takes them, from any source.
template <typename Source> class CandidateDraws {
public:
    explicit CandidateDraws(Source& random) : m_random(random) {}
    char Digit() { return static_cast<char>('0' + RandomDigit(m_random.Next())); }
    std::string_view Tac(const CatalogueEntry& entry) { return DrawTac(entry, m_random.Next()); }
    void Skip(std::uint64_t count) { m_random.Discard(count); }

private:
    Source& m_random;
};

// The same values straight from the seeded source, inlined into the unpaced loop. (m * 2^-53) * 9
// and m * (9 * 2^-53) round the same exact product once, so the digits equal RandomDigit's.
// It works on a copy of the source, handed back when the draws end.
template <> class CandidateDraws<SeededRandomSource> {
public:
    explicit CandidateDraws(SeededRandomSource& random) : m_source(random), m_local(random) {}
    ~CandidateDraws() { m_source = m_local; }
    CandidateDraws(const CandidateDraws&) = delete;
    CandidateDraws& operator=(const CandidateDraws&) = delete;

    char Digit() {
        return static_cast<char>('1' + static_cast<int>(static_cast<double>(m_local.NextBits()) * 0x9p-53));
    }
    // DrawTac's floor(r * k), with r * k rounded once as m * (k * 2^-53) for the same reason.
    std::string_view Tac(const CatalogueEntry& entry) {
        const std::size_t count = entry.tacs.size();
        const auto index =
            static_cast<std::size_t>(static_cast<double>(m_local.NextBits()) * (static_cast<double>(count) * 0x1p-53));
        return entry.tacs[index < count ? index : count - 1];
    }
    void Skip(std::uint64_t count) { m_local.Discard(count); }

private:
    SeededRandomSource& m_source;
    SeededRandomSource m_local;
};

// One candidate. First the reporting-body candidate (box code + 13 random digits, or 15 random
// digits), then a chosen model replaces it: a drawn catalogue code, the Custom prefix or the device
// line's code, each followed by 7 random digits. The replaced candidate still takes its values from
// the source. The check digit is random like the rest, never computed.
template <typename Draws> void BuildCandidateFrom(const CandidateRecipe& recipe, Draws& draws, Candidate& out) {
    char* digits = out.digits.data();
    const std::size_t boxRandomDigits = recipe.boxCode ? kImeiLength - 2 : kImeiLength;
    if (recipe.model == ModelChoiceKind::None) {
        std::size_t at = 0;
        if (recipe.boxCode) {
            digits[at++] = (*recipe.boxCode)[0];
            digits[at++] = (*recipe.boxCode)[1];
        }
        while (at < kImeiLength) {
            digits[at++] = draws.Digit();
        }
    } else {
        // The reporting-body candidate is made on every pass and then replaced; its digits are
        // never seen, so only its values are taken from the source.
        draws.Skip(boxRandomDigits);
        if (recipe.model == ModelChoiceKind::Catalogue) {
            std::memcpy(digits, draws.Tac(*recipe.entry).data(), kTacLength);
        } else {
            std::memcpy(digits, recipe.tac.data(), kTacLength);
        }
        for (std::size_t at = kTacLength; at < kImeiLength; ++at) {
            digits[at] = draws.Digit();
        }
    }
}

} // namespace detail

// A generation run, one pass at a time: each pass builds a candidate from the recipe (read anew
// per pass, so a change made during a run takes effect from the next candidate) and judges it by
// its Luhn total; the engine keeps the counts and, on request, the list of valid numbers. The
// window drives it from its timer, a pause between the two halves of each pass; GenerateValid
// drives it without pause. `Source` is RandomSource (any source, through its virtual calls) or
// SeededRandomSource (its values inlined); both give the same candidates for the same values.
template <typename Source> class GenerationEngine {
public:
    explicit GenerationEngine(Source& random) : m_draws(random) {}

    // The first half of a pass: the next candidate, counted as generated.
    const Candidate& BuildNext(const CandidateRecipe& recipe) {
        detail::BuildCandidateFrom(recipe, m_draws, m_candidate);
        ++m_counts.generated;
        return m_candidate;
    }
    // The second half: the verdict on the candidate just built. A valid one is counted and, with
    // `collect`, appended to the collected list.
    bool TestCurrent(bool collect) { return Count(IsValidFifteenDigits(m_candidate.digits.data()), collect); }
    // A whole pass.
    bool Step(const CandidateRecipe& recipe, bool collect = false) {
        BuildNext(recipe);
        return TestCurrent(collect);
    }

    const Candidate& Current() const { return m_candidate; }
    const GenerationCounts& Counts() const { return m_counts; }
    // The collected numbers, each after a CR LF (the report's number list).
    const std::string& Collected() const { return m_collected; }

private:
    bool Count(bool valid, bool collect) {
        if (valid) {
            ++m_counts.valid;
            if (collect) {
                AppendToGeneratedList(m_collected, m_candidate.Text());
            }
        }
        return valid;
    }

    detail::CandidateDraws<Source> m_draws;
    Candidate m_candidate;
    GenerationCounts m_counts;
    std::string m_collected;
};

// Runs passes without pause until `count` candidates are valid, handing each valid one to
// `onValid` as it is found; `onValid` returns false to stop early (its output has failed, say).
// A SeededRandomSource has its values inlined; any other source is called as it is.
template <typename Source>
GenerationCounts GenerateValid(const CandidateRecipe& recipe, std::uint64_t count, Source& random,
                               const std::function<bool(std::string_view)>& onValid) {
    GenerationEngine<Source> engine(random);
    while (engine.Counts().valid < count) {
        if (engine.Step(recipe) && onValid && !onValid(engine.Current().Text())) {
            break;
        }
    }
    return engine.Counts();
}

} // namespace quillon
