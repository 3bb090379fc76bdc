#include "CommandRun.h"
#include "devicedb/DeviceTable.h"
#include "support/RunProcess.h"
#include "support/TempDir.h"
#include "support/UserData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace quillon {
namespace {

using testing::CommandRun;
using testing::ReadFile;
using testing::TempDir;
using testing::UserDatabaseIn;
using testing::UserDataFolder;

constexpr const char* kProgramDatabase = "49015420,Acme,Phone X\r\n"
                                         "35000000,Base,Zero\r\n"
                                         "35999999,Base,Last\r\n"
                                         "99999999,PROGRAM\r\n";

// A phone of 2024 in the GSMA's older layout, with one row of each kind of damage.
constexpr const char* kGsmaExport =
    "TAC|Marketing Name|Internal Model Name|Manufacturer|Bands|Allocation Date|Brand Name|Model Name|OS\r\n"
    "35332811|Galaxy S24 Ultra|SM-S928B|Samsung Electronics|GSM|01-Jan-2024|Samsung|SM-S928B|Android\r\n"
    "35000000|Phone, \"Zero\"|x|Acme|b|d|Not Known|Z|o\r\n"
    "3533281|a|b|c|d|e|f|g|h\r\n"
    "3.5E+07|a|b|c|d|e|f|g|h\r\n";

// Each test has a program folder with its own tacdex.csv, and a user data folder of its own.
class ImportCli : public ::testing::Test {
protected:
    template <typename Options>
    CommandRun Run(int (*command)(const Options&, const cli::CommandContext&), const Options& options,
                   std::string input = {}) {
        return testing::Run(command, options, std::move(input), m_program.path());
    }
    CommandRun Import(cli::ImportOptions options, std::string input = {}) {
        return Run(cli::RunImportCommand, options, std::move(input));
    }
    CommandRun Validate(const std::string& imei) {
        return Run(cli::RunValidateCommand, cli::ValidateOptions{std::nullopt, cli::Format::Text, {imei}});
    }
    std::filesystem::path UserDatabase() const { return UserDatabaseIn(m_user.path()); }
    std::string Export(const std::string& name, const std::string& bytes) const {
        return m_exports.Write(name, bytes).string();
    }

    TempDir m_program;
    TempDir m_user;
    TempDir m_exports;
    UserDataFolder m_userFolder{m_user.path()};
    std::filesystem::path m_programDatabase = m_program.Write("tacdex.csv", kProgramDatabase);
};

// The way a user takes: import an export, then every command reads the user's database; once it
// is deleted, the database beside the program is back.
TEST_F(ImportCli, UsersDatabaseIsReadBeforeTheProgramsAndDeletingItBringsThatBack) {
    EXPECT_NE(Validate("353328111234561").out.find("Device: not in the database"), std::string::npos);
    const CommandRun imported = Import({.files = {Export("gsma.txt", kGsmaExport)}});
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(ReadFile(UserDatabase()), "49015420,Acme,Phone X\r\n"
                                        "35000000,Acme,Phone  \"Zero\"\r\n"
                                        "35332811,Samsung,Galaxy S24 Ultra\r\n"
                                        "35999999,Base,Last\r\n"
                                        "99999999,2026-01-02\r\n");
    EXPECT_NE(Validate("353328111234561").out.find("Device: Samsung Galaxy S24 Ultra"), std::string::npos);

    // A second import takes the user's database as its base.
    const CommandRun again =
        Import({.files = {Export("more.csv", "tac,brand,model\n35123456,Apple,iPhone 17\n")}, .versionText = "MINE-2"});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.err.find("in the base \"" + testing::UserDatabaseIn(m_user.path()).make_preferred().string()),
              std::string::npos)
        << again.err;
    EXPECT_NE(Validate("353328111234561").out.find("Device: Samsung Galaxy S24 Ultra"), std::string::npos);
    EXPECT_NE(Validate("351234561234561").out.find("Device: Apple iPhone 17"), std::string::npos);

    std::filesystem::remove(UserDatabase());
    EXPECT_NE(Validate("353328111234561").out.find("Device: not in the database"), std::string::npos);
    EXPECT_NE(Validate("350000001234561").out.find("Device: Base Zero"), std::string::npos);
}

// A user's database that is there but refused: the commands exit 2 with the reason; --db still
// names a file outright.
TEST_F(ImportCli, RefusedUsersDatabaseStopsTheCommandsWithItsReason) {
    std::filesystem::create_directories(UserDatabase().parent_path());
    { std::ofstream empty(UserDatabase(), std::ios::binary); }
    const CommandRun validate = Validate("490154203237518");
    EXPECT_EQ(validate.status, 2);
    EXPECT_NE(validate.err.find(UserDatabase().string()), std::string::npos) << validate.err;
    EXPECT_NE(validate.err.find("is empty"), std::string::npos) << validate.err;

    const std::string exported = Export("a.csv", "tac,brand,model\n35123456,Apple,iPhone 17\n");
    const CommandRun import = Import({.files = {exported}});
    EXPECT_EQ(import.status, 2);
    EXPECT_NE(import.err.find("is empty"), std::string::npos) << import.err;
    EXPECT_EQ(ReadFile(UserDatabase()), "");

    const CommandRun based = Import({.files = {exported}, .db = m_programDatabase.string()});
    EXPECT_EQ(based.status, 0) << based.err;
    EXPECT_NE(Validate("351234561234561").out.find("Device: Apple iPhone 17"), std::string::npos);
}

TEST_F(ImportCli, WritesWhereToldAndAlone) {
    const std::string exported = Export("a.csv", "tac;brand;model\n35000000;New;Zero\n35123456;Apple;iPhone 17\n");
    struct Case {
        const char* what;
        cli::ImportOptions options;
        std::string expected;
    };
    const std::string other = (m_exports.path() / "other.csv").string();
    const Case cases[] = {
        {"--replace to standard output",
         {.files = {exported}, .replace = true, .output = "-"},
         "35000000,New,Zero\r\n35123456,Apple,iPhone 17\r\n99999999,2026-01-02\r\n"},
        {"merged into --db to a file",
         {.files = {exported}, .db = m_programDatabase.string(), .versionText = "V-1", .output = other},
         "49015420,Acme,Phone X\r\n35000000,New,Zero\r\n35123456,Apple,iPhone 17\r\n35999999,Base,Last\r\n"
         "99999999,V-1\r\n"},
    };
    for (const Case& c : cases) {
        const CommandRun run = Import(c.options);
        EXPECT_EQ(run.status, 0) << c.what << run.err;
        EXPECT_EQ(c.options.output == "-" ? run.out : ReadFile(other), c.expected) << c.what;
        EXPECT_FALSE(std::filesystem::exists(UserDatabase())) << c.what;
    }
}

// The summary: rows per file and layout, new and replaced, skipped rows by reason with their first
// lines, the model list's gaps, and what was written.
TEST_F(ImportCli, SummarySaysWhatWasReadSkippedAndWritten) {
    const std::string gsma = Export("gsma.txt", kGsmaExport);
    const CommandRun run = Import({.files = {gsma, "-"}, .replace = true, .versionText = "S-1"},
                                  "tac,brand,model\n35332811,Samsung,Galaxy S24 Ultra (2)\n1,A,B\n");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string prefix = "quillon-cli import: ";
    const std::string quotedGsma = "\"" + std::filesystem::path(gsma).make_preferred().string() + "\"";
    const std::vector<std::string> lines = {
        quotedGsma + ": 4 rows read, GSMA layout, UTF-8",
        "standard input: 2 rows read, CSV layout, UTF-8",
        "skipped 2 rows whose code has seven or fewer digits, its leading zeros lost in a spreadsheet "
        "(--pad-codes puts them back), at " +
            quotedGsma + " line 4, standard input line 3",
        "skipped 1 row whose code is a number in exponent form (such as 3.5E+07), its digits lost in a spreadsheet, "
        "at " +
            quotedGsma + " line 5",
        "2 devices imported: 2 new, 0 replaced (--replace: no base); 1 row repeated an earlier row's code (each code "
        "keeps its first place and its last row's names)",
        "the window's model list leaves out lines 1 to 25 and the last device line, so it will not offer 2 imported "
        "devices (validation finds them): 35332811 (line 1), 35000000 (line 2)",
        "wrote \"" + UserDatabase().make_preferred().string() + "\": 2 devices, version S-1",
    };
    std::string expected;
    for (const std::string& line : lines) {
        expected += prefix + line + "\n";
    }
    EXPECT_EQ(run.err, expected);
    EXPECT_EQ(ReadFile(UserDatabase()),
              "35332811,Samsung,Galaxy S24 Ultra (2)\r\n35000000,Acme,Phone  \"Zero\"\r\n99999999,S-1\r\n");
}

// Standard input in the "Unicode text" a spreadsheet saves: UTF-16 LE with its mark, tabs.
TEST_F(ImportCli, ReadsASpreadsheetsUnicodeTextFromStandardInput) {
    const std::u16string text = u"TAC\tBrand\tModel\r\n35123456\tAp\u00E9le\tiPhone 17\r\n";
    std::string bytes = "\xFF\xFE";
    for (const char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    const CommandRun run = Import({.files = {"-"}, .replace = true, .output = "-"}, bytes);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "35123456,Ap\xC3\xA9le,iPhone 17\r\n99999999,2026-01-02\r\n");
    EXPECT_NE(run.err.find("standard input: 1 row read, CSV layout, UTF-16 LE"), std::string::npos) << run.err;
}

// Nothing is written when nothing can be: status 2 and the reason, the old file as it was.
TEST_F(ImportCli, BadInputWritesNothing) {
    std::filesystem::create_directories(UserDatabase().parent_path());
    const std::string kept = "35000000,Mine,Kept\r\n99999999,MINE\r\n";
    { std::ofstream(UserDatabase(), std::ios::binary) << kept; }
    struct Case {
        const char* what;
        cli::ImportOptions options;
        std::string message;
    };
    const Case cases[] = {
        {"no header",
         {.files = {Export("n.csv", "code;maker;device\n35000001;A;B\n")}},
         "has no header row that import reads: its first line names the columns code, maker, device; looked for a "
         "code column (tac, type allocation code, tac code), a manufacturer column (brand name, brand, "
         "manufacturer, manufacturer (or) applicant) and a model column (marketing name, model name, model)"},
        {"no device", {.files = {Export("e.csv", "tac,brand,model\n1234567,A,B\n")}}, "no row held a device to import"},
        {"a missing export", {.files = {(m_exports.path() / "missing.csv").string()}}, "cannot open \""},
        {"a missing base",
         {.files = {Export("a.csv", "tac,brand,model\n35000001,A,B\n")},
          .db = (m_exports.path() / "none.csv").string()},
         "does not exist"},
        {"an output folder that is not there",
         {.files = {Export("b.csv", "tac,brand,model\n35000001,A,B\n")},
          .output = (m_exports.path() / "no" / "tacdex.csv").string()},
         "cannot create a file beside"},
    };
    for (const Case& c : cases) {
        const CommandRun run = Import(c.options);
        EXPECT_EQ(run.status, 2) << c.what;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.what << ": " << run.err;
        EXPECT_EQ(ReadFile(UserDatabase()), kept) << c.what;
    }
}

TEST_F(ImportCli, RefusesAResultBeyondTheLimitsBeforeWriting) {
    std::string base;
    for (std::size_t i = 0; i + 1 < kMaxDatabaseLines; ++i) {
        base += "1,A,B\n";
    }
    const std::string db = m_exports.Write("big.csv", base + "99999999,BIG\n").string();
    const CommandRun run = Import({.files = {Export("a.csv", "tac,brand,model\n35000001,A,B\n")}, .db = db});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("the result would have 2000001 lines"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(UserDatabase()));
}

TEST_F(ImportCli, OptionsThatContradictAreUsageErrors) {
    const std::string exported = Export("a.csv", "tac,brand,model\n35000001,A,B\n");
    const cli::ImportOptions cases[] = {
        {.files = {exported}, .versionText = "ELEVEN-CHAR"},
        {.files = {exported}, .versionText = "tab\there"},
        {.files = {exported}, .db = exported, .replace = true},
        {.files = {"-", "-"}},
        {.files = {exported}, .settings = {.layout = ImportLayout::Osmocom, .codeColumn = "code"}},
    };
    for (const cli::ImportOptions& options : cases) {
        EXPECT_THROW(Import(options), cli::UsageError);
    }
}

// The Osmocom export imported alone gives the lookups of the same rows converted by hand as
// data/README.md says (commas in names replaced, a version line), for every row whose code is
// eight digits and whose names are plain.
TEST_F(ImportCli, OsmocomExportGivesTheLookupsOfTheHandConversion) {
    struct Row {
        std::string code, manufacturer, model;
    };
    const std::vector<Row> rows = {
        {"35761300", "Nokia", "6020"},     {"35293600", "Nokia", "3100"}, {"01234567", "Maker, Inc", "M1"},
        {"35761300", "Nokia", "6020 bis"}, {"3576130", "Short", "Code"},  {"35000001", "Not Known", "X"},
        {"35000002", " Spaced", "Y"},      {"35000003", "", ""},          {"35000004", "Acme", "Two, \"Q\""},
        {"35000005", "Tab\there", "Z"},    {"ABCDEFGH", "Letters", "L"},
    };
    std::string osmocom = "# Osmocom TAC database, CC-BY-SA\ntac,name,name,contributor,comment,gsmarena,gsmarena,aka\n";
    std::string byHand;
    auto quoted = [](const std::string& text) {
        std::string out = "\"";
        for (const char c : text) {
            out += c == '"' ? std::string("\"\"") : std::string(1, c);
        }
        return out + "\"";
    };
    auto replaceCommas = [](std::string text) {
        std::replace(text.begin(), text.end(), ',', ' ');
        return text;
    };
    auto plain = [](const std::string& name) {
        return !name.empty() && name != "Not Known" && name.front() != ' ' && name.back() != ' ' &&
               std::none_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
    };
    std::vector<std::string> codes;
    for (const Row& row : rows) {
        osmocom += row.code + "," + quoted(row.manufacturer) + "," + quoted(row.model) + ",someone,,,,\n";
        if (row.code.size() == 8 && std::all_of(row.code.begin(), row.code.end(), ::isdigit) &&
            plain(row.manufacturer) && plain(row.model)) {
            byHand += row.code + "," + replaceCommas(row.manufacturer) + "," + replaceCommas(row.model) + "\r\n";
            codes.push_back(row.code);
        }
    }
    byHand += "99999999,OSMO-TEST\r\n";
    const CommandRun run =
        Import({.files = {Export("osmocom.csv", osmocom)}, .replace = true, .versionText = "OSMO-TEST", .output = "-"});
    ASSERT_EQ(run.status, 0) << run.err;
    const DeviceTable imported = DeviceTable::FromBytes(run.out);
    const DeviceTable converted = DeviceTable::FromBytes(byHand);
    ASSERT_EQ(codes.size(), 5u);
    for (const std::string& code : codes) {
        const DeviceMatch a = FindDevice(imported, code + "0000000");
        const DeviceMatch b = FindDevice(converted, code + "0000000");
        EXPECT_TRUE(a.found) << code;
        EXPECT_EQ(a.manufacturer, b.manufacturer) << code;
        EXPECT_EQ(a.model, b.model) << code;
    }
    EXPECT_EQ(SummariseDatabase(imported).version, SummariseDatabase(converted).version);
}

#ifndef _WIN32
// A write that fails halfway (a file size limit here, as a full disk would) leaves the old file as
// it was and no temporary file behind.
TEST_F(ImportCli, FailedWriteLeavesTheOldFileAsItWas) {
    std::string bytes = "tac,brand,model\n";
    for (int i = 0; i < 20000; ++i) {
        bytes += std::to_string(35000000 + i) + ",Maker,Model\n";
    }
    const std::string exported = Export("big.csv", bytes);
    TempDir out;
    const std::filesystem::path target = out.Write("tacdex.csv", "35000000,Old,One\r\n99999999,OLD\r\n");
    const testing::ProcessResult run =
        testing::RunProcess("/bin/sh", {"-c", "ulimit -f 64; exec \"$0\" import --replace -o \"$1\" \"$2\"",
                                        QUILLON_CLI_PATH, target.string(), exported});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("; the file is as it was."), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(target), "35000000,Old,One\r\n99999999,OLD\r\n");
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(out.path())) {
        files += entry.path().filename() != ".tacdex.csv.lock"; // the lock stays, empty
    }
    EXPECT_EQ(files, 1u);
}
#endif

// Empty option values are usage errors that name the option; the program's own file is read
// only through the user's empty data folder, never the developer's.
TEST(ImportCommandLine, EmptyValuesAreUsageErrors) {
    const std::vector<std::vector<std::string>> cases = {
        {"import", "--version-text", "", "x"},
        {"import", "-o", "", "x"},
        {"import", "--layout=", "x"},
        {"import", "--db=", "x"},
        {"import", "--code-column=", "x"},
        {"import", "--layout", "xml", "x"},
        {"import"},
        {"import", "--replace", "--db", "a", "x"},
    };
    for (const std::vector<std::string>& args : cases) {
        const testing::ProcessResult run = testing::RunProcess(QUILLON_CLI_PATH, args);
        EXPECT_EQ(run.status, 2) << args[1];
        EXPECT_EQ(run.err.rfind("quillon-cli import: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find("Run 'quillon-cli import --help' for the options."), std::string::npos) << run.err;
    }
}

#ifndef _WIN32
// Two imports started at once into the user's own file, none there before: every pair keeps both
// lists, and the lock file stays behind, empty.
TEST_F(ImportCli, ImportsStartedTogetherTakeTurns) {
    const std::string a = Export("a.csv", "tac,brand,model\n35000011,A,One\n");
    const std::string b = Export("b.csv", "tac,brand,model\n35000022,B,Two\n");
    const std::string cli = testing::ShellQuote(QUILLON_CLI_PATH);
    for (int pair = 0; pair < 20; ++pair) {
        std::filesystem::remove(UserDatabase());
        const std::string both = cli + " import " + testing::ShellQuote(a) + " 2>/dev/null & " + cli + " import " +
                                 testing::ShellQuote(b) + " 2>/dev/null & wait";
        ASSERT_EQ(testing::RunProcess("/bin/sh", {"-c", both}).status, 0);
        const std::string merged = ReadFile(UserDatabase());
        EXPECT_NE(merged.find("35000011,A,One"), std::string::npos) << "pair " << pair << ": " << merged;
        EXPECT_NE(merged.find("35000022,B,Two"), std::string::npos) << "pair " << pair << ": " << merged;
    }
    EXPECT_EQ(ReadFile(UserDatabase().parent_path() / ".tacdex.csv.lock"), "");
}

// Links at the target (FIFOs, devices and modes are the file writer's own tests): a link at the user's
// own file or folder is refused, a link named with -o is followed and its file replaced with its
// permission bits, a dangling one refused.
TEST_F(ImportCli, WhatStandsAtTheTargetIsKept) {
    const std::string exported = Export("a.csv", "tac,brand,model\n35000011,A,One\n");
    const std::string written = "35000011,A,One\r\n99999999,T\r\n";
    const cli::ImportOptions options{.files = {exported}, .replace = true, .versionText = "T"};
    TempDir out;

    // A link named with -o: the file it names is replaced, in its folder, with its mode bits.
    const std::filesystem::path real = out.Write("real.csv", "old");
    std::filesystem::permissions(real, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    std::filesystem::create_symlink(real, out.path() / "link.csv");
    cli::ImportOptions toLink = options;
    toLink.output = (out.path() / "link.csv").string();
    EXPECT_EQ(Import(toLink).status, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(out.path() / "link.csv"));
    EXPECT_EQ(ReadFile(real), written);
    EXPECT_EQ(std::filesystem::status(real).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    cli::ImportOptions toDangling = options;
    std::filesystem::create_symlink(out.path() / "none" / "x.csv", out.path() / "dangling.csv");
    toDangling.output = (out.path() / "dangling.csv").string();
    EXPECT_EQ(Import(toDangling).status, 2);

    // Links at the user's own file and at its folder are refused, naming them; nothing replaced.
    std::filesystem::create_directories(UserDatabase().parent_path());
    std::filesystem::create_symlink(real, UserDatabase());
    const CommandRun atFile = Import({.files = {exported}});
    EXPECT_EQ(atFile.status, 2);
    EXPECT_NE(atFile.err.find(UserDatabase().string()), std::string::npos) << atFile.err;
    EXPECT_TRUE(std::filesystem::is_symlink(UserDatabase()));
    std::filesystem::remove_all(UserDatabase().parent_path());
    std::filesystem::create_directory_symlink(out.path(), UserDatabase().parent_path());
    EXPECT_EQ(Import({.files = {exported}}).status, 2);
    EXPECT_FALSE(std::filesystem::exists(out.path() / "tacdex.csv"));
    EXPECT_FALSE(std::filesystem::exists(out.path() / ".tacdex.csv.lock")); // not even the lock
    EXPECT_EQ(ReadFile(real), written);
}
#endif

} // namespace
} // namespace quillon
