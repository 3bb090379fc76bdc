#include "update/About.h"

#include "Identity.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace quillon {
namespace {

const MakerDetails kMaker{"Jane Doe", "jane@example.org", "@janedoe", "PLACEHOLDER-ADDRESS", "jane.example.org"};

TEST(AboutTest, TextByteForByte) {
    EXPECT_EQ(AboutText("2.1.2.5 Professional Edition", kMaker), "Quillon v2.1.2.5 Professional Edition by Jane Doe\r\n"
                                                                 "E-Mail: jane@example.org\r\n"
                                                                 "Twitter: @janedoe\r\n"
                                                                 "BitCoin: PLACEHOLDER-ADDRESS\r\n"
                                                                 "Web: jane.example.org");
}

TEST(AboutTest, ExactlyFourLineBreaksAndNoneAtTheEnd) {
    const std::string text = AboutText("2.1.2.5 Professional Edition", ConfiguredMaker());
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 4);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);
    std::size_t pairs = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) {
        ++pairs;
    }
    EXPECT_EQ(pairs, 4u);
    EXPECT_FALSE(text.ends_with("\n"));
    EXPECT_FALSE(text.ends_with("\r"));
}

TEST(AboutTest, ConfiguredMakerComesFromTheBuildIdentity) {
    const MakerDetails maker = ConfiguredMaker();
    EXPECT_EQ(maker.name, identity::kMakerName);
    EXPECT_EQ(maker.email, identity::kMakerEmail);
    EXPECT_EQ(maker.social, identity::kMakerSocial);
    EXPECT_EQ(maker.donationAddress, identity::kDonationAddress);
    EXPECT_EQ(maker.host, identity::kMakerHost);
    const std::string text = AboutText("X", maker);
    EXPECT_TRUE(text.starts_with("Quillon vX by " + std::string(identity::kMakerName) + "\r\n"));
    EXPECT_TRUE(text.ends_with("\r\nWeb: " + std::string(identity::kMakerHost)));
}

TEST(AboutTest, HomePagesArePlainHttpWithRootPath) {
    EXPECT_EQ(HomePageAddress("jane.example.org"), "http://jane.example.org/");
    EXPECT_EQ(MakerHomePageAddress(), "http://" + std::string(identity::kMakerHost) + "/");
    EXPECT_EQ(ServiceHomePageAddress(), "http://" + std::string(identity::kServiceHost) + "/");
}

} // namespace
} // namespace quillon
