// quillon-cli complete: 14-digit IMEIs and 16-digit IMEISVs become 15-digit IMEIs.
#include "CommandRun.h"
#include "Utf16Text.h"
#include "imei/Imei.h"
#include "support/CoreExtras.h"
#include "support/RunProcess.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace quillon {
namespace {

using testing::CommandRun;

CommandRun Complete(std::vector<std::string> inputs, const std::string& input = {}) {
    return testing::Run(cli::RunCompleteCommand, cli::CompleteOptions{std::move(inputs)}, input);
}

TEST(CompleteCli, GivesTheCheckDigitThatMakesTheNumberValid) {
    struct Case {
        std::string input;
        std::string imei;
    };
    const Case cases[] = {
        {"49015420323751", "490154203237518"},   // 14 digits
        {"4901542032375180", "490154203237518"}, // an IMEISV: software version 80 dropped
        {"4901542032375199", "490154203237518"}, // whatever the software version
        {"49-015420-323751", "490154203237518"}, // separators as validation drops them
        {" 35693803564380 ", "356938035643809"}, // blanks around
        {"99999999999999", "999999999999994"},   // every doubled digit carries
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        const CommandRun r = Complete({c.input});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, c.imei + "\n");
        EXPECT_EQ(r.err, "");
    }
}

TEST(CompleteCli, AnythingElseIsReportedAndMakesTheStatus1) {
    const std::vector<std::string> refused = {
        "490154203237518",   // 15 digits: already complete
        "4901542032375",     // 13
        "49015420323751800", // 17
        "4901542032375X",    // X would read as 0
        "490154203237*1",    //
        "4901542032375a",    //
        "",                  //
        "\xD9\xA4\xD9\xA9"
        "015420323751", // Arabic-Indic digits are not 0-9
    };
    // Fourteen zeros have a Luhn total of 0, which no check digit makes valid.
    const CommandRun zeros = Complete({"00000000000000"});
    EXPECT_EQ(zeros.status, 1);
    EXPECT_EQ(zeros.out, "");
    EXPECT_EQ(zeros.err, "quillon-cli complete: '00000000000000' cannot be completed: no check digit makes it valid\n");

    for (const std::string& input : refused) {
        SCOPED_TRACE(input);
        const CommandRun r = Complete({"49015420323751", input, "35693803564380"});
        EXPECT_EQ(r.status, 1);
        // The good ones still come out, in order.
        EXPECT_EQ(r.out, "490154203237518\n356938035643809\n");
        EXPECT_EQ(r.err, "quillon-cli complete: '" + input + "' is not a 14-digit IMEI or a 16-digit IMEISV\n");
    }
}

TEST(CompleteCli, ReadsLinesOfStandardInputWithoutArguments) {
    std::string input;
    std::vector<std::string> numbers;
    for (int i = 0; i < 2000; ++i) {
        numbers.push_back(i == 1000 ? "bad" : std::to_string(35000000000000LL + i * 7919LL));
        input += numbers.back() + (i % 2 == 0 ? "\r\n" : "\n");
    }
    const CommandRun r = Complete({}, input);
    EXPECT_EQ(r.status, 1);
    // One line out for each line in: an empty one for the refused line.
    std::istringstream lines(r.out);
    std::size_t count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        ASSERT_LT(count, numbers.size());
        ASSERT_TRUE(count == 1000 ? line.empty() : IsValidIMEI(line) && line.starts_with(numbers[count])) << line;
    }
    EXPECT_EQ(count, numbers.size());
    EXPECT_EQ(r.err, "quillon-cli complete: 'bad' is not a 14-digit IMEI or a 16-digit IMEISV\n");
}

// UTF-16 from a pipe, a line out for each line in, as from UTF-8.
TEST(CompleteCli, ReadsUtf16FromStandardInput) {
    for (const bool bigEndian : {false, true}) {
        const testing::ProcessResult r = testing::RunProcess(
            QUILLON_CLI_PATH, {"complete"}, testing::Utf16("49015420323751\r\n\r\n35693803564380\n", bigEndian, true));
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "490154203237518\n\n356938035643809\n");
        EXPECT_EQ(r.err, "quillon-cli complete: '' is not a 14-digit IMEI or a 16-digit IMEISV\n");
    }
}

#ifndef _WIN32 // /dev/full
TEST(CompleteCli, OutputErrorsExit2) {
    const std::string command =
        testing::ShellQuote(QUILLON_CLI_PATH) + " complete 49015420323751 >/dev/full 2>/dev/null";
    const int raw = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 2);
}
#endif

} // namespace
} // namespace quillon
