#include "generation/ModelCatalogue.h"

#include "generation/Generation.h"

#include <algorithm>
#include <array>

namespace quillon {

namespace {

using namespace std::string_view_literals;

constexpr std::array kApple{"01304000"sv, "01296600"sv, "01274900"sv, "01257300"sv, "01181100"sv, "01362800"sv,
                            "01283600"sv, "01304600"sv, "01362600"sv, "35437606"sv, "35438606"sv, "35440806"sv};
constexpr std::array kBlackBerry{"35684104"sv, "35760604"sv, "35426104"sv, "35836003"sv, "35764600"sv, "35842703"sv,
                                 "35150305"sv, "35807304"sv, "35197204"sv, "35197004"sv, "35292205"sv, "35292105"sv};
constexpr std::array kHtc{"35221204"sv, "35450302"sv, "35495703"sv, "35506604"sv, "35777903"sv,
                          "35798802"sv, "35902803"sv, "35575102"sv, "35583302"sv, "35640904"sv,
                          "35643404"sv, "35644004"sv, "35702402"sv};
constexpr std::array kHuawei{"35498701"sv, "35618503"sv, "35448403"sv, "35448803"sv, "35476403"sv, "35663502"sv,
                             "35737204"sv, "35768502"sv, "35773902"sv, "35795501"sv, "35818002"sv, "35944400"sv};
constexpr std::array kNokia{"35641900"sv, "35652100"sv, "35641700"sv, "35663400"sv, "35644901"sv, "35693803"sv,
                            "35569801"sv, "35573202"sv, "35443401"sv, "35572402"sv, "35572500"sv, "35572502"sv};
constexpr std::array kSamsung{"35250203"sv, "35255504"sv, "35506004"sv, "35969601"sv, "35531004"sv,
                              "35726406"sv, "35750605"sv, "35753706"sv, "35763105"sv, "35774905"sv,
                              "35802206"sv, "35965604"sv, "35621004"sv, "35178404"sv};
constexpr std::array kBlackBerry6{"35100820"sv, "35100800"sv, "01019300"sv, "01022600"sv};
constexpr std::array kBlackBerry7{"01019400"sv, "10237000"sv, "35422200"sv, "35452900"sv, "35459400"sv, "50502000"sv};
constexpr std::array kBlackBerry8{"35176802"sv, "35184103"sv, "35197004"sv, "35212601"sv, "35348604"sv, "35376301"sv};
constexpr std::array kBlackBerry9{"35387204"sv, "35425504"sv, "35490904"sv, "35620104"sv, "35743704"sv, "35683804"sv};
constexpr std::array kBlackBerryQ{"35676005"sv, "35676205"sv, "35611205"sv, "35696805"sv};
constexpr std::array kBlackBerryZ{"35292105"sv, "35292205"sv, "35696605"sv, "35489705"sv, "35703305"sv};
constexpr std::array kIPhone3{"01174400"sv, "01257300"sv, "01181100"sv, "01203100"sv, "01227000"sv, "01226500"sv};
constexpr std::array kIPhone4{"01233700"sv, "01253900"sv, "01265400"sv, "01274900"sv, "01294300"sv, "01303900"sv};
constexpr std::array kIPhone5{"01362200"sv, "01388300"sv, "01362800"sv, "35884402"sv, "01334900"sv, "35884405"sv};
constexpr std::array kIPhone6{"35924906"sv, "35928106"sv, "35207406"sv, "35437606"sv, "35440306"sv, "35440806"sv};
constexpr std::array kGalaxy{"35302703"sv, "35641803"sv, "35659303"sv, "35659403"sv, "35734403"sv, "35529903"sv};
constexpr std::array kGalaxyS{"35175104"sv, "35186304"sv, "35216605"sv, "35663804"sv,
                              "35506004"sv, "35180104"sv, "35490505"sv};
constexpr std::array kGalaxyS2{"35237605"sv, "35531004"sv, "35793004"sv, "35815004"sv,
                               "35779805"sv, "35846104"sv, "35848804"sv};
constexpr std::array kGalaxyS3{"35186905"sv, "35332305"sv, "35357505"sv, "35372005"sv,
                               "35372105"sv, "35491505"sv, "35516405"sv};
constexpr std::array kGalaxyS4{"35274506"sv, "35516705"sv, "35579405"sv, "35584606"sv, "35584706"sv, "35642005"sv,
                               "35656705"sv, "35684505"sv, "35708605"sv, "35750605"sv, "35763105"sv};
constexpr std::array kGalaxyS5{"35329606"sv, "35341106"sv, "35341506"sv, "35342106"sv,
                               "35391906"sv, "35489106"sv, "35535406"sv, "35609906"sv};
constexpr std::array kGalaxyS6{"35993706"sv, "35952106"sv, "35746006"sv, "35774106"sv, "35966906"sv};

constexpr std::array<CatalogueEntry, 23> kCatalogue{{
    {"Apple", kApple},
    {"BlackBerry", kBlackBerry},
    {"HTC", kHtc},
    {"Huawei", kHuawei},
    {"Nokia", kNokia},
    {"Samsung", kSamsung},
    {"BlackBerry 6XXX", kBlackBerry6},
    {"BlackBerry 7XXX", kBlackBerry7},
    {"BlackBerry 8XXX", kBlackBerry8},
    {"BlackBerry 9XXX", kBlackBerry9},
    {"BlackBerry QX", kBlackBerryQ},
    {"BlackBerry ZX", kBlackBerryZ},
    {"Apple iPhone 3X", kIPhone3},
    {"Apple iPhone 4X", kIPhone4},
    {"Apple iPhone 5X", kIPhone5},
    {"Apple iPhone 6X", kIPhone6},
    {"Samsung Galaxy", kGalaxy},
    {"Samsung Galaxy S", kGalaxyS},
    {"Samsung Galaxy S2", kGalaxyS2},
    {"Samsung Galaxy S3", kGalaxyS3},
    {"Samsung Galaxy S4", kGalaxyS4},
    {"Samsung Galaxy S5", kGalaxyS5},
    {"Samsung Galaxy S6", kGalaxyS6},
}};

constexpr std::array kCountListTexts{""sv, "1"sv, "10"sv, "25"sv, "50"sv, "100"sv, "250"sv};

} // namespace

std::span<const CatalogueEntry> ModelCatalogue() {
    return kCatalogue;
}

const CatalogueEntry* FindCatalogueEntry(std::string_view text) {
    for (const CatalogueEntry& entry : kCatalogue) {
        if (entry.text == text) {
            return &entry;
        }
    }
    return nullptr;
}

std::string_view DrawTac(const CatalogueEntry& entry, double r) {
    const std::size_t count = entry.tacs.size();
    // A value outside [0, 1) from a faulty source still lands inside the list.
    if (!(r > 0.0)) {
        return entry.tacs.front();
    }
    if (r >= 1.0) {
        return entry.tacs.back();
    }
    const auto index = static_cast<std::size_t>(r * static_cast<double>(count));
    return entry.tacs[index < count ? index : count - 1];
}

std::vector<std::string> FixedModelListTexts() {
    std::vector<std::string> texts;
    texts.reserve(kSeparatorIndex);
    texts.emplace_back();
    for (const CatalogueEntry& entry : kCatalogue) {
        texts.emplace_back(entry.text);
    }
    texts.emplace_back(kCustomEntry);
    return texts;
}

std::span<const std::string_view> CountListTexts() {
    return kCountListTexts;
}

ModelChoice ResolveModelChoice(std::string_view text, std::size_t position, const DeviceTable& table) {
    ModelChoice choice;
    if (const CatalogueEntry* entry = FindCatalogueEntry(text)) {
        choice.kind = ModelChoiceKind::Catalogue;
        choice.entry = entry;
        return choice;
    }
    if (text == kCustomEntry) {
        choice.kind = ModelChoiceKind::Custom;
        return choice;
    }
    // Device entries stand from position 26 on; below it the list holds only the fixed texts.
    if (text.empty() || position < kFirstDeviceIndex || position > table.LineCount()) {
        return choice;
    }
    // The line is looked up by its number, not its text, so a file changed since start-up no longer
    // matches and generation falls back to no model.
    const std::string_view line = table.Line(position);
    if (DeviceEntryText(line) != text) {
        return choice;
    }
    choice.kind = ModelChoiceKind::Device;
    choice.tac = std::string(Field(line, 1));
    choice.lineNumber = position;
    return choice;
}

DeviceTextCodes::DeviceTextCodes(const DeviceTable& table, std::string_view text) : m_text(text) {
    // Device lines are 1 .. n-1; the last line is the database's version.
    for (std::size_t line = 1; line < table.LineCount(); ++line) {
        const std::string_view content = table.Line(line);
        if (DeviceEntryText(content) != m_text) {
            continue;
        }
        const std::string_view code = Field(content, 1);
        if (m_lines++ == 0) {
            m_firstCode = std::string(code);
        }
        if (IsEightDigitTac(code) && std::find(m_codes.begin(), m_codes.end(), code) == m_codes.end()) {
            m_codes.emplace_back(code);
        }
    }
    m_views.assign(m_codes.begin(), m_codes.end());
    m_entry = CatalogueEntry{m_text, m_views};
}

ModelChoice DeviceTextCodes::Choice() const {
    ModelChoice choice;
    if (m_codes.size() == 1) {
        choice.kind = ModelChoiceKind::Device;
        choice.tac = m_codes.front();
    } else if (!m_codes.empty()) {
        choice.kind = ModelChoiceKind::Catalogue;
        choice.entry = &m_entry;
    }
    return choice;
}

} // namespace quillon
