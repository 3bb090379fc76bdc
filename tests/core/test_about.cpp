#include "identity/About.h"

#include "identity/Identity.h"

#include <gtest/gtest.h>

#include <string>

namespace quillon {
namespace {

TEST(AboutTest, TextByteForByteWithFourLineBreaksAndNoneAtTheEnd) {
    const MakerDetails maker{"Jane Doe", "jane@example.org", "@janedoe", "PLACEHOLDER-ADDRESS", "jane.example.org"};
    EXPECT_EQ(AboutText("2.1.2.5 Professional Edition", maker), "Quillon v2.1.2.5 Professional Edition by Jane Doe\r\n"
                                                                "E-Mail: jane@example.org\r\n"
                                                                "Twitter: @janedoe\r\n"
                                                                "BitCoin: PLACEHOLDER-ADDRESS\r\n"
                                                                "Web: jane.example.org");
}

// Every version text follows the one version; a text made by hand would drift from it.
TEST(IdentityTest, VersionTextsFollowTheProgramVersion) {
    const std::string version(identity::kVersion);
    EXPECT_EQ(std::string(identity::kProgramVersionText), version + " Professional Edition");
    std::string digits = version;
    std::erase(digits, '.');
    EXPECT_EQ(identity::kVersionNumber, digits);
    EXPECT_EQ(std::string(identity::kTitleBeforeStartUp), "Quillon v" + version.substr(0, version.find('.')));
    // Stored report names rely on this one staying as it is.
    EXPECT_EQ(identity::kReportNameVersion, "2.1.2.3");
}

TEST(IdentityTest, AddressesArePlainHttpOnTheirHost) {
    EXPECT_EQ(identity::MakerHomePage(), "http://" + std::string(identity::kMakerHost) + "/");
    EXPECT_EQ(identity::ServiceHomePage(), "http://" + std::string(identity::kServiceHost) + "/");
}

} // namespace
} // namespace quillon
