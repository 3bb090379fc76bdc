// The command line as a shell user meets it: help and version, both option spellings, "-" for
// standard input, one error style and the exit codes.
#include "CommandSupport.h"
#include "generation/Report.h"
#include "support/RunProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillon {
namespace {

using testing::ProcessResult;
using testing::RunProcess;
using testing::TempDir;

ProcessResult Cli(const std::vector<std::string>& args, const std::string& input = {}) {
    return RunProcess(QUILLON_CLI_PATH, args, input);
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(CommandLine, VersionAndHelpGoToStandardOutputWithStatus0) {
    const ProcessResult version = Cli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "quillon-cli " + std::string(kProgramVersionText) + "\n");
    EXPECT_EQ(version.err, "");

    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> mentions; // what this help, and no other, describes
    };
    const Case cases[] = {
        {{"--help"}, {"validate", "generate", "complete", "--version"}},
        {{"-h"}, {"validate", "generate", "complete"}},
        {{"validate", "--help"}, {"--db", "--format", "IMEI"}},
        {{"validate", "-h"}, {"--format"}},
        {{"generate", "--help"}, {"--model", "--custom", "--box", "--count", "--seed", "--report"}},
        {{"complete", "--help"}, {"IMEISV", "NUMBER"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.args.back());
        const ProcessResult r = Cli(c.args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        for (const std::string& word : c.mentions) {
            EXPECT_TRUE(Contains(r.out, word)) << word << " not in\n" << r.out;
        }
        EXPECT_TRUE(Contains(r.out, "Exit status")) << r.out;
    }
    // A subcommand's help is its own: validate's does not offer generate's options.
    EXPECT_FALSE(Contains(Cli({"validate", "--help"}).out, "--seed"));
}

TEST(CommandLine, BothOptionSpellingsMeanTheSame) {
    TempDir dir;
    const std::string db = dir.Write("tacdex.csv", "49015420,Acme,Phone X\r\n99999999,QN-2026.12\r\n").string();
    const std::vector<std::vector<std::string>> pairs[] = {
        {{"validate", "--db", db, "--format", "json", "490154203237518"},
         {"validate", "--db=" + db, "--format=json", "490154203237518"}},
        {{"generate", "--custom", "49015420", "--count", "5", "--seed", "7"},
         {"generate", "--custom=49015420", "--count=5", "--seed=7"}},
        {{"generate", "--model", "Acme Phone X", "--db", db, "--count", "3", "--seed", "1"},
         {"generate", "--model=Acme Phone X", "--db=" + db, "--count=3", "--seed=1"}},
    };
    for (const auto& pair : pairs) {
        SCOPED_TRACE(pair[1][1]);
        const ProcessResult spaced = Cli(pair[0]);
        const ProcessResult joined = Cli(pair[1]);
        EXPECT_EQ(spaced.status, 0) << spaced.err;
        EXPECT_FALSE(spaced.out.empty());
        EXPECT_EQ(joined.status, spaced.status);
        EXPECT_EQ(joined.out, spaced.out);
    }
}

TEST(CommandLine, DashReadsStandardInputWhereItStands) {
    TempDir dir;
    const std::string db = dir.Write("tacdex.csv", "49015420,Acme,Phone X\r\n99999999,QN-2026.12\r\n").string();
    const ProcessResult validate = Cli(
        {"validate", "--db", db, "--format", "csv", "356938035643809", "-", "490154203237517"}, "490154203237518\n");
    EXPECT_EQ(validate.status, 1);
    const std::string lines[] = {"356938035643809,", "490154203237518,", "490154203237517,"};
    std::size_t at = 0;
    for (const std::string& line : lines) {
        at = validate.out.find("\r\n" + line, at);
        ASSERT_NE(at, std::string::npos) << line << " not in order in\n" << validate.out;
    }

    const ProcessResult complete = Cli({"complete", "49015420323751", "-"}, "3569380356438091\n");
    EXPECT_EQ(complete.status, 0) << complete.err;
    EXPECT_EQ(complete.out, "490154203237518\n356938035643809\n");
}

// Every mistake on the command line: exit 2, nothing on standard output, a message that starts with
// the program (and command) name and names the culprit, control characters escaped; then --help.
TEST(CommandLine, UsageErrorsShareOneStyleAndExit2) {
    struct Case {
        std::vector<std::string> args;
        std::string prefix;
        std::string mentions;
    };
    const Case cases[] = {
        {{}, "quillon-cli: ", "a command is needed"},
        {{"frobnicate"}, "quillon-cli: ", "frobnicate"},
        {{"--colour"}, "quillon-cli: ", "--colour"},
        {{"validate", "--bogus"}, "quillon-cli validate: ", "--bogus"},
        {{"validate", "--format"}, "quillon-cli validate: ", "--format"},
        {{"validate", "--format=xml", "1"}, "quillon-cli validate: ", "xml"},
        {{"generate", "--count"}, "quillon-cli generate: ", "--count"},
        {{"generate", "--count", "0"}, "quillon-cli generate: ", "--count"},
        {{"generate", "--count=2", "--count=3"}, "quillon-cli generate: ", "--count"},
        {{"generate", "490154203237518"}, "quillon-cli generate: ", "490154203237518"},
        {{"generate", "--box", "FCC"}, "quillon-cli generate: ", "FCC"},
        // (No invalid byte here: Windows hands arguments over as UTF-16, where none can be.)
        {{"generate", "--box", "a\nb\x1b\xc2\x9b"}, "quillon-cli generate: ", "'a\\nb\\x1b\\xc2\\x9b'"},
        {{"complete", "--db", "x"}, "quillon-cli complete: ", "--db"},
        // An empty value names nothing, and `--db=` must not take the next argument for its value.
        {{"validate", "--db=", "490154203237518"}, "quillon-cli validate: ", "--db: the value may not be empty"},
        {{"validate", "--db", "", "1"}, "quillon-cli validate: ", "--db: the value may not be empty"},
        {{"validate", "--format=", "1"}, "quillon-cli validate: ", "--format: the value may not be empty"},
        {{"generate", "--report="}, "quillon-cli generate: ", "--report: the value may not be empty"},
        {{"generate", "--model", ""}, "quillon-cli generate: ", "--model: the value may not be empty"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? std::string("(none)") : c.args.back());
        const ProcessResult r = Cli(c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind(c.prefix, 0), 0u) << r.err;
        EXPECT_TRUE(Contains(r.err, c.mentions)) << r.err;
        EXPECT_TRUE(Contains(r.err, "--help' for the options.\n")) << r.err;
    }
    // Invalid bytes (which reach a command through standard input or a file) are escaped as well.
    EXPECT_EQ(cli::EscapeForMessage("a\xff\xc3"), "a\\xff\\xc3");
}

} // namespace
} // namespace quillon
