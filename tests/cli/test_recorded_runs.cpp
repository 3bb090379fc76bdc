// Recorded runs of quillon-cli: for the same seed and clock, the numbers, messages, exit statuses,
// help texts and report files are byte for byte what users and their scripts have always seen.
// A change that moves any of them on purpose records the new bytes here.
#include "CommandRun.h"
#include "support/RunProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace quillon {
namespace {

using testing::TempDir;

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The files the runs read, in a folder the texts name as {dir}.
class RecordedRuns : public ::testing::Test {
protected:
    RecordedRuns() {
        std::string db;
        for (int i = 1; i <= 25; ++i) {
            db += std::to_string(35000000 + i) + ",Filler,Model " + std::to_string(i) + "\r\n";
        }
        db += "35999901,Acme,Phone X\r\n3599990,Acme,Short Code\r\n"
              "86123456,Soci\xC3\xA9t\xC3\xA9,T\xC3\xA9l\xC3\xA9phone\r\n"
              "35999902,Acme,Twin\r\n35999903,Acme,Twin\r\n35999902,Acme,Twin\r\n35999929,Acme,Not Offered\r\n"
              "99999999,QN-2026.12\r\n";
        m_dir.Write("tacdex.csv", db);
        m_dir.Write("export.csv", "TAC,Brand,Model\r\n35111111,Zeta,Z One\r\n3522222,Zeta,Z Two\r\nbad,x,y\r\n");
        m_dir.Write("plain", "x");
    }
    std::string Dir() const { return m_dir.path().string(); }

    TempDir m_dir;
};

struct RecordedRun {
    std::vector<std::string> args;
    std::string in;
    int status;
    std::string out;
    std::string err;
};

#ifndef _WIN32
TEST_F(RecordedRuns, CommandLineGivesTheRecordedBytes) {
    const RecordedRun runs[] = {
        {{"generate", "--seed", "1", "--count", "3"},
         "",
         0,
         "517573116228976\n"
         "763796388746141\n"
         "524417495471669\n",
         ""},
        {{"generate", "--seed", "2", "--count", "3", "--box", "PTCRB"},
         "",
         0,
         "011936245843554\n"
         "018346194969918\n"
         "018471376788751\n",
         ""},
        {{"generate", "--seed", "3", "--count", "3", "--custom", "49015420"},
         "",
         0,
         "490154204428454\n"
         "490154203435658\n"
         "490154207373665\n",
         ""},
        {{"generate", "--seed", "4", "--count", "3", "--model", "Samsung Galaxy S6"},
         "",
         0,
         "357460066132247\n"
         "357460062434787\n"
         "359521069213843\n",
         ""},
        {{"generate", "--seed", "5", "--count", "3", "--model", "Acme Phone X", "--db", "{dir}/tacdex.csv"},
         "",
         0,
         "359999018616888\n"
         "359999011674298\n"
         "359999018462887\n",
         ""},
        {{"generate", "--seed", "6", "--count", "4", "--model", "Acme Twin", "--db", "{dir}/tacdex.csv"},
         "",
         0,
         "359999023342835\n"
         "359999025441874\n"
         "359999038757514\n"
         "359999034228858\n",
         ""},
        {{"generate", "--seed", "7", "--count", "2", "--model", "Soci\u00e9t\u00e9 T\u00e9l\u00e9phone", "--db",
          "{dir}/tacdex.csv"},
         "",
         0,
         "861234568482882\n"
         "861234563281388\n",
         ""},
        {{"generate", "--seed", "8", "--model", "----------------------------", "--box", "BZT/Cetecom"},
         "",
         2,
         "",
         "quillon-cli generate: choose at most one of --model, --custom and --box\n"
         "Run 'quillon-cli generate --help' for the options.\n"},
        {{"generate", "--model", "Acme Short Code", "--db", "{dir}/tacdex.csv"},
         "",
         2,
         "",
         "quillon-cli generate: The device entry \"Acme Short Code\" cannot be used for generating: its Type "
         "Allocation Code in tacdex.csv, \"3599990\", is not eight digits 0-9. (database \"{dir}/tacdex.csv\")\n"
         "Run 'quillon-cli generate --help' for the options.\n"},
        {{"generate", "--model", "Nobody Here", "--db", "{dir}/tacdex.csv"},
         "",
         2,
         "",
         "quillon-cli generate: --model: 'Nobody Here' is neither a catalogue entry nor a device of the database "
         "\"{dir}/tacdex.csv\"\n"
         "Run 'quillon-cli generate --help' for the options.\n"},
        {{"generate", "--model", "Acme Phone X", "--db", "{dir}/missing.csv"},
         "",
         2,
         "",
         "quillon-cli generate: the device database \"{dir}/missing.csv\" does not exist.\n"},
        {{"generate", "--model", "Custom"},
         "",
         2,
         "",
         "quillon-cli generate: --model Custom takes its prefix from --custom PREFIX\n"
         "Run 'quillon-cli generate --help' for the options.\n"},
        {{"generate", "--model", "Apple iPhone 6X", "--custom", "12345678"},
         "",
         2,
         "",
         "quillon-cli generate: choose at most one of --model, --custom and --box\n"
         "Run 'quillon-cli generate --help' for the options.\n"},
        {{"generate", "--custom", "1234567"},
         "",
         2,
         "",
         "quillon-cli generate: --custom needs a prefix of exactly eight digits 0-9 (a Type Allocation Code such as "
         "49015420), not '1234567'\n"
         "Run 'quillon-cli generate --help' for the options.\n"},
        {{"generate", "--box", "NOPE"},
         "",
         2,
         "",
         "quillon-cli generate: --box: unknown reporting body 'NOPE'; they are PTCRB, DGPT, NTA, BZT/Cetecom, "
         "BABT/BAPT, Iridium, MSAI, TAF\n"
         "Run 'quillon-cli generate --help' for the options.\n"},
        {{"generate", "--count", "0"},
         "",
         2,
         "",
         "quillon-cli generate: --count needs a whole number of 1 or more, not '0'\n"
         "Run 'quillon-cli generate --help' for the options.\n"},
        {{"generate", "--seed", "-1"},
         "",
         2,
         "",
         "quillon-cli generate: --seed needs a whole number from 0 to 18446744073709551615, not '-1'\n"
         "Run 'quillon-cli generate --help' for the options.\n"},
        {{"generate", "--report", "{dir}/plain"},
         "",
         2,
         "",
         "quillon-cli generate: --report needs an existing folder, not '{dir}/plain'\n"
         "Run 'quillon-cli generate --help' for the options.\n"},
        {{"generate", "--model="},
         "",
         2,
         "",
         "quillon-cli generate: --model: the value may not be empty\n"
         "Run 'quillon-cli generate --help' for the options.\n"},
        {{"generate", "--db", ""},
         "",
         2,
         "",
         "quillon-cli generate: --db: the value may not be empty\n"
         "Run 'quillon-cli generate --help' for the options.\n"},
        {{"generate", "--frob"},
         "",
         2,
         "",
         "quillon-cli generate: The following argument was not expected: --frob\n"
         "Run 'quillon-cli generate --help' for the options.\n"},
        {{"generate", "--help"},
         "",
         0,
         "Make random IMEIs that pass the Luhn check\n"
         "Usage: quillon-cli generate [OPTIONS]\n"
         "\n"
         "Options:\n"
         "  -h,--help                   Print this help and exit\n"
         "  --db FILE                   Device database (default: the user's own tacdex.csv from import,\n"
         "                              else the one beside the program)\n"
         "  --model TEXT                A catalogue entry (\"Apple iPhone 6X\") or a device of the database as\n"
         "                              manufacturer and model (\"Nokia 3310\"), drawing among the codes of\n"
         "                              all its lines\n"
         "  --custom PREFIX             An eight-digit Type Allocation Code to start from\n"
         "  --box CAPTION               Start from the code of a reporting body, one of\n"
         "                              PTCRB, DGPT, NTA, BZT/Cetecom, BABT/BAPT, Iridium, MSAI, TAF\n"
         "  --count N                   How many valid numbers to print (default: 1)\n"
         "  --seed N                    Seed for a repeatable run (default: the clock)\n"
         "  --report DIR                Also write a report file into this folder; its path goes to\n"
         "                              standard error\n"
         "\n"
         "The numbers go to standard output, one per line. Exit status: 0, or 2 on a\n"
         "usage, database, report or output error.\n",
         ""},
        {{"validate", "--db", "{dir}/tacdex.csv", "490154203237518", "49-015420-323751-8", "35999901000001"},
         "",
         1,
         "IMEI: 490154203237518 (490154-20-323751-8)\n"
         "Result: valid\n"
         "Reporting body: 49 (BZT / BAPT / Regulatory Authority / Federal Network Agency (FNA), Germany)\n"
         "Type Allocation Code: 49015420\n"
         "Serial number: 323751\n"
         "Device: not in the database\n"
         "Luhn check: digit sum 52 + check digit 8 = 60, a multiple of 10\n"
         "\n"
         "Input: 49-015420-323751-8\n"
         "IMEI: 490154203237518 (490154-20-323751-8)\n"
         "Result: valid\n"
         "Reporting body: 49 (BZT / BAPT / Regulatory Authority / Federal Network Agency (FNA), Germany)\n"
         "Type Allocation Code: 49015420\n"
         "Serial number: 323751\n"
         "Device: not in the database\n"
         "Luhn check: digit sum 52 + check digit 8 = 60, a multiple of 10\n"
         "\n"
         "IMEI: 35999901000001 (359999-01-000001-)\n"
         "Result: not valid (an IMEI has 15 digits 0-9)\n"
         "Reporting body: 35 (British Approvals Board of Telecommunications (BABT), Great Britain)\n"
         "Type Allocation Code: 35999901\n"
         "Serial number: 000001\n"
         "Device: Acme Phone X\n"
         "Luhn check: digit sum 44 + check digit 1 = 45, not a multiple of 10\n",
         ""},
        {{"validate", "--db", "{dir}/tacdex.csv", "--format", "csv"},
         "490154203237518\n"
         "=1+2\n"
         "861234560000000\r\n"
         "\377\n"
         "\n",
         1,
         "input,imei,rejected,presentation,reporting_body,boxes,tac,serial,check,checksum,luhn,valid,found,"
         "manufacturer,model\r\n"
         "490154203237518,490154203237518,false,490154-20-323751-8,\"49 (BZT / BAPT / Regulatory Authority / Federal "
         "Network Agency (FNA), "
         "Germany)\",BZT/Cetecom|BABT/BAPT,49015420,323751,49025820343552,52(60),8,true,false,,\r\n"
         "'=1+2,'=1+2,false,'=1+2---,'=1 (Unknown),,'=1+2,,0204,6(8),2,false,false,,\r\n"
         "861234560000000,861234560000000,false,861234-56-000000-0,\"86 (Telecommunication Terminal Testing & Approval "
         "Forum (TAF), "
         "China)\",TAF,86123456,000000,83143853000000,35(35),0,false,true,Soci\303\251t\303\251,"
         "T\303\251l\303\251phone\r\n"
         "\357\277\275,\357\277\275,false,\357\277\275---,\357\277\275 "
         "(Unknown),,\357\277\275,,0,0(0),0,false,false,,\r\n"
         ",,true,,,,,,,,,false,,,\r\n",
         ""},
        {{"validate", "--db", "{dir}/tacdex.csv", "--format", "json", "-"},
         "35999901000000X\n"
         "12345678901234567\n",
         1,
         "{\"input\":\"35999901000000X\",\"imei\":\"359999010000000\",\"rejected\":false,\"presentation\":\"359999-01-"
         "000000-0\",\"reporting_body\":\"35 (British Approvals Board of Telecommunications (BABT), Great "
         "Britain)\",\"boxes\":[\"BABT/"
         "BAPT\"],\"tac\":\"35999901\",\"serial\":\"000000\",\"check\":\"31999902000000\",\"checksum\":\"42(42)\","
         "\"luhn\":0,\"valid\":false,\"found\":true,\"manufacturer\":\"Acme\",\"model\":\"Phone X\"}\n"
         "{\"input\":\"12345678901234567\",\"imei\":\"12345678901234567\",\"rejected\":true,\"valid\":false}\n",
         ""},
        {{"validate", "--db", "{dir}/missing.csv", "1"},
         "",
         2,
         "",
         "quillon-cli validate: the device database \"{dir}/missing.csv\" does not exist.\n"},
        {{"validate", "--format", "xml"},
         "",
         2,
         "",
         "quillon-cli validate: --format: xml not in {text,csv,json}\n"
         "Run 'quillon-cli validate --help' for the options.\n"},
        {{"validate"},
         std::string("\377\3761\0002\000", 6),
         1,
         "IMEI: 12 (12---)\n"
         "Result: not valid (an IMEI has 15 digits 0-9)\n"
         "Reporting body: 12 (Unknown)\n"
         "Type Allocation Code: 12\n"
         "Serial number: \n"
         "Device: not in the database\n"
         "Luhn check: digit sum 5 + check digit 2 = 7, not a multiple of 10\n",
         ""},
        {{"validate", "--help"},
         "",
         0,
         "Check IMEIs and name their devices\n"
         "Usage: quillon-cli validate [OPTIONS] [IMEI...]\n"
         "\n"
         "Positionals:\n"
         "  IMEI TEXT ...               Numbers to check; none or - reads one per line from standard input\n"
         "\n"
         "Options:\n"
         "  -h,--help                   Print this help and exit\n"
         "  --db FILE                   Device database (default: the user's own tacdex.csv from import,\n"
         "                              else the one beside the program)\n"
         "  --format FORMAT             text for reading (the default), csv or json for scripts\n"
         "  --column NAME               Read the IMEIs from column NAME of a table with a header row on\n"
         "                              standard input, not one per line\n"
         "\n"
         "In csv, a field that would begin with =, +, -, @, a tab or a carriage return gets a\n"
         "leading ' so that a spreadsheet shows it as text. Input lines may be up to 128 MiB long.\n"
         "Exit status: 0 when every number was valid, 1 when any was not, 2 on a usage,\n"
         "database, input or output error.\n",
         ""},
        {{"complete", "49015420323751", "4901542032375101", "abc"},
         "",
         1,
         "490154203237518\n"
         "490154203237518\n",
         "quillon-cli complete: 'abc' is not a 14-digit IMEI or a 16-digit IMEISV\n"},
        {{"complete", "--help"},
         "",
         0,
         "Turn 14-digit IMEIs and 16-digit IMEISVs into 15-digit IMEIs\n"
         "Usage: quillon-cli complete [OPTIONS] [NUMBER...]\n"
         "\n"
         "Positionals:\n"
         "  NUMBER TEXT ...             Numbers to complete; none or - reads one per line from standard input\n"
         "\n"
         "Options:\n"
         "  -h,--help                   Print this help and exit\n"
         "\n"
         "Exit status: 0 when every number was completed, 1 when any was not (each\n"
         "named on standard error), 2 on a usage, input or output error.\n",
         ""},
        {{"import", "--replace", "--layout", "csv", "--version-text", "T-1", "-o", "-", "{dir}/export.csv"},
         "",
         0,
         "35111111,Zeta,Z One\r\n"
         "99999999,T-1\r\n",
         "quillon-cli import: \"{dir}/export.csv\": 3 rows read, CSV layout, UTF-8\n"
         "quillon-cli import: skipped 1 row without an eight-digit code, at line 4\n"
         "quillon-cli import: skipped 1 row whose code has seven or fewer digits, its leading zeros lost in a "
         "spreadsheet (--pad-codes puts them back), at line 3\n"
         "quillon-cli import: 1 device imported: 1 new, 0 replaced (--replace: no base)\n"
         "quillon-cli import: the window's model list leaves out lines 1 to 25 and the last device line, so it will "
         "not offer 1 imported device (validation finds them): 35111111 (line 1)\n"
         "quillon-cli import: wrote standard output: 1 device, version T-1\n"},
        {{"import", "--layout", "gsma", "--db", "{dir}/tacdex.csv", "--version-text", "T-2", "-o", "-",
          "{dir}/export.csv"},
         "",
         2,
         "",
         "quillon-cli import: \"{dir}/export.csv\" has no header row that import reads: its first line names the "
         "columns TAC, Brand, Model; looked for a code column (tac, type allocation code, tac code), a manufacturer "
         "column (brand name, brand, manufacturer, manufacturer (or) applicant) and a model column (marketing name, "
         "model name, model), the Osmocom header (tac,name,name,...) or a tacdex.csv line (eight digits and a comma). "
         "--code-column, --manufacturer-column and --model-column name other columns. Nothing was written.\n"},
        {{"import", "--pad-codes", "--replace", "--code-column", "TAC", "--manufacturer-column", "Brand",
          "--model-column", "Model", "--version-text", "T-3", "-o", "-", "{dir}/export.csv"},
         "",
         0,
         "35111111,Zeta,Z One\r\n"
         "03522222,Zeta,Z Two\r\n"
         "99999999,T-3\r\n",
         "quillon-cli import: \"{dir}/export.csv\": 3 rows read, CSV layout, UTF-8\n"
         "quillon-cli import: skipped 1 row without an eight-digit code, at line 4\n"
         "quillon-cli import: 2 devices imported: 2 new, 0 replaced (--replace: no base)\n"
         "quillon-cli import: the window's model list leaves out lines 1 to 25 and the last device line, so it will "
         "not offer 2 imported devices (validation finds them): 35111111 (line 1), 03522222 (line 2)\n"
         "quillon-cli import: wrote standard output: 2 devices, version T-3\n"},
        {{"import", "--replace", "--db", "{dir}/tacdex.csv", "{dir}/export.csv"},
         "",
         2,
         "",
         "quillon-cli import: --db excludes --replace\n"
         "Run 'quillon-cli import --help' for the options.\n"},
        {{"import", "--help"},
         "",
         0,
         "Build the device database from GSMA, Osmocom or spreadsheet exports\n"
         "Usage: quillon-cli import [OPTIONS] FILE...\n"
         "\n"
         "Positionals:\n"
         "  FILE TEXT ... REQUIRED      Exports to read, in order; - reads standard input\n"
         "\n"
         "Options:\n"
         "  -h,--help                   Print this help and exit\n"
         "  --layout LAYOUT             gsma, osmocom, csv or tacdex (default: recognised from the\n"
         "                              header row)\n"
         "  --code-column NAME          The header's name of the code column\n"
         "  --manufacturer-column NAME  The header's name of the manufacturer column\n"
         "  --model-column NAME         The header's name of the model column\n"
         "  --pad-codes                 Put back the leading zeros of codes of seven or fewer digits\n"
         "  --long-rows                 Let through CSV rows whose quoted cells take in more than 10 lines\n"
         "  --db FILE Excludes: --replace\n"
         "                              The base the devices are added to (default: the database in use,\n"
         "                              the user's own or else tacdex.csv beside the program)\n"
         "  --replace Excludes: --db    Write the imported devices alone, on no base\n"
         "  --version-text TEXT         The database version, 1 to 10 printable characters (default:\n"
         "                              today's date as YYYY-MM-DD)\n"
         "  -o,--output FILE            Where to write (- for standard output; default: tacdex.csv in\n"
         "                              the user's data folder)\n"
         "\n"
         "The summary goes to standard error. Exit status: 0 when the database was written,\n"
         "rows skipped or not, 2 when nothing was written.\n",
         ""},
        {{},
         "",
         2,
         "",
         "quillon-cli: a command is needed: validate, generate, complete or import\n"
         "Run 'quillon-cli --help' for the options.\n"},
        {{"frob"},
         "",
         2,
         "",
         "quillon-cli: The following argument was not expected: frob\n"
         "Run 'quillon-cli --help' for the options.\n"},
        {{"--help"},
         "",
         0,
         "Checks IMEI numbers, looks their devices up in the device database tacdex.csv, completes\n"
         "IMEIs without their check digit, generates numbers that pass the Luhn check and builds\n"
         "the database from device lists.\n"
         "Usage: quillon-cli [OPTIONS] [SUBCOMMAND]\n"
         "\n"
         "Options:\n"
         "  --version                   Print the version and exit\n"
         "  -h,--help                   Print this help and exit\n"
         "\n"
         "Subcommands:\n"
         "  validate                    Check IMEIs and name their devices\n"
         "  generate                    Make random IMEIs that pass the Luhn check\n"
         "  complete                    Turn 14-digit IMEIs and 16-digit IMEISVs into 15-digit IMEIs\n"
         "  import                      Build the device database from GSMA, Osmocom or spreadsheet exports\n"
         "\n"
         "'quillon-cli COMMAND --help' describes a command. Exit status: 0 when all went well,\n"
         "1 when a number was not valid (validate) or could not be completed (complete), 2 on a usage,\n"
         "database, input or output error.\n",
         ""},
        {{"--version"}, "", 0, "quillon-cli 2.1.2.5 Professional Edition\n", ""},
    };
    for (const RecordedRun& run : runs) {
        std::vector<std::string> args;
        std::string named;
        for (const std::string& arg : run.args) {
            args.push_back(Replaced(arg, "{dir}", Dir()));
            named += " " + arg;
        }
        const testing::ProcessResult result = testing::RunProcess(QUILLON_CLI_PATH, args, run.in);
        EXPECT_EQ(result.status, run.status) << named;
        EXPECT_EQ(Replaced(result.out, Dir(), "{dir}"), run.out) << named;
        EXPECT_EQ(Replaced(result.err, Dir(), "{dir}"), run.err) << named;
    }
}
#endif

// Reports under a clock that reads 2026-01-02 03:04:05 and moves 1.234 s a reading.
TEST_F(RecordedRuns, ReportsGiveTheRecordedBytes) {
    struct Report {
        cli::GenerateOptions options;
        std::string out;
        std::string text;
    };
    const Report reports[] = {
        {{.count = "2", .seed = "1"},
         "517573116228976\n763796388746141\n",
         "Quillon v2.1.2.5 Professional Edition\r\nMade by The Quillon developers\r\nHomepage: "
         "http://quillon.example.org/\r\n"
         "Mobile Device Type: \r\nCalculation completed in  1.234 seconds.\r\n"
         "--------------------------------------\r\n517573116228976\r\n763796388746141\r\n"},
        {{.model = "Samsung Galaxy S6", .count = "3", .seed = "4"},
         "357460066132247\n357460062434787\n359521069213843\n",
         "Quillon v2.1.2.5 Professional Edition\r\nMade by The Quillon developers\r\nHomepage: "
         "http://quillon.example.org/\r\n"
         "Mobile Device Type: Samsung Galaxy S6\r\nCalculation completed in  1.234 seconds.\r\n"
         "--------------------------------------\r\n357460066132247\r\n357460062434787\r\n359521069213843\r\n"},
        {{.db = "{dir}/tacdex.csv", .model = "Acme Twin", .count = "4", .seed = "6"},
         "359999023342835\n359999025441874\n359999038757514\n359999034228858\n",
         "Quillon v2.1.2.5 Professional Edition\r\nMade by The Quillon developers\r\nHomepage: "
         "http://quillon.example.org/\r\n"
         "Mobile Device Type: Acme Twin\r\nCalculation completed in  1.234 seconds.\r\n"
         "--------------------------------------"
         "\r\n359999023342835\r\n359999025441874\r\n359999038757514\r\n359999034228858\r\n"},
        {{.custom = "49015420", .count = "2", .seed = "3"},
         "490154204428454\n490154203435658\n",
         "Quillon v2.1.2.5 Professional Edition\r\nMade by The Quillon developers\r\nHomepage: "
         "http://quillon.example.org/\r\n"
         "Mobile Device Type: Custom\r\nCalculation completed in  1.234 seconds.\r\n"
         "--------------------------------------\r\n490154204428454\r\n490154203435658\r\n"},
    };
    for (const Report& report : reports) {
        TempDir folder;
        cli::GenerateOptions options = report.options;
        options.report = folder.path().string();
        if (options.db) {
            options.db = Replaced(*options.db, "{dir}", Dir());
        }
        cli::StringInput in;
        cli::StringOutput out, err;
        SettableClock clock(std::chrono::milliseconds(1234));
        ASSERT_EQ(cli::RunGenerateCommand(options, {m_dir.path(), in, out, err, clock}), 0) << err.Text();
        EXPECT_EQ(out.Text(), report.out);
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
            files.push_back(entry.path());
        }
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(err.Text(), files[0].string() + "\n");
        EXPECT_EQ(files[0].filename().string(), "Quillon.v2.1.2.3.Professional-(01-02-2026_030405).txt");
        EXPECT_EQ(testing::ReadFile(files[0]), report.text);
    }
}

} // namespace
} // namespace quillon
