#include "identity/About.h"

#include "identity/Identity.h"

namespace quillon {

MakerDetails ConfiguredMaker() {
    return MakerDetails{identity::kMakerName, identity::kMakerEmail, identity::kMakerSocial, identity::kDonationAddress,
                        identity::kMakerHost};
}

std::string AboutText(std::string_view versionText, const MakerDetails& maker) {
    constexpr std::string_view kLineEnd = "\r\n";
    std::string text;
    text.append("Quillon v").append(versionText).append(" by ").append(maker.name).append(kLineEnd);
    text.append("E-Mail: ").append(maker.email).append(kLineEnd);
    text.append("Twitter: ").append(maker.social).append(kLineEnd);
    text.append("BitCoin: ").append(maker.donationAddress).append(kLineEnd);
    text.append("Web: ").append(maker.host);
    return text;
}

} // namespace quillon
