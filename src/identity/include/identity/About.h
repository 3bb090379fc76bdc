#pragma once

#include <string>
#include <string_view>

namespace quillon {

// The maker's details as the about box names them.
struct MakerDetails {
    std::string_view name;
    std::string_view email;
    std::string_view social;
    std::string_view donationAddress;
    std::string_view host; // without scheme
};

// The details configured at build time.
MakerDetails ConfiguredMaker();

// Five lines joined by CR LF, no line end after the last:
// "Quillon v<version> by <name>", "E-Mail: ", "Twitter: ", "BitCoin: ", "Web: <host>".
std::string AboutText(std::string_view versionText, const MakerDetails& maker);

} // namespace quillon
