#pragma once

#include "generation/ModelCatalogue.h"
#include "imei/Imei.h"
#include "imei/ReportingBody.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// Plays back a fixed list of values, starting again at its beginning when it runs out; for
// tests and demonstrations. An empty list gives 0.
class SequenceRandomSource final : public RandomSource {
public:
    explicit SequenceRandomSource(std::vector<double> values) : m_values(std::move(values)) {}
    double Next() override;
    std::size_t Drawn() const { return m_drawn; } // values taken so far

private:
    std::vector<double> m_values;
    std::size_t m_drawn = 0;
};

// Microseconds since local midnight: a new seed for every run.
std::uint64_t TimeOfDaySeed();

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

// The texts shown when a run cannot start because its prefix is not eight digits: with such a
// prefix no candidate could ever be a valid 15-digit IMEI and the run would never end.
std::string CustomPrefixProblem(std::string_view imeiText);
std::string DevicePrefixProblem(std::string_view entryText, std::string_view field1);

// Empty when `choice` can start a run; otherwise the message that says why it cannot. `modelText` is
// the model list's text (named in the message for a device entry), `imeiText` the IMEI text box.
std::string ModelPrefixProblem(const ModelChoice& choice, std::string_view modelText, std::string_view imeiText);

// The recipe for a pass; nothing when ModelPrefixProblem would give a message.
std::optional<CandidateRecipe> MakeCandidateRecipe(const BoxStates& boxes, const ModelChoice& choice,
                                                   std::string_view imeiText);

// One candidate. First the reporting-body candidate (box code + 13 random digits, or 15 random
// digits), then a chosen model replaces it: a drawn catalogue code, the Custom prefix or the device
// line's code, each followed by 7 random digits. The replaced candidate still takes its values from
// the source. The check digit is random like the rest, never computed.
void BuildCandidate(const CandidateRecipe& recipe, RandomSource& random, Candidate& out);

// The Luhn total of a candidate, equal to LuhnTotal of its text.
int CandidateLuhnTotal(const Candidate& candidate);
bool IsValidCandidate(const Candidate& candidate);

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

// Builds candidates without pause until `count` of them are valid, handing each valid one to
// `onValid` as it is found; `onValid` returns false to stop early (its output has failed, say).
GenerationCounts GenerateValid(const CandidateRecipe& recipe, std::uint64_t count, RandomSource& random,
                               const std::function<bool(std::string_view)>& onValid);

} // namespace quillon
