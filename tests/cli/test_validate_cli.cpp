#include "support/RunProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>
#include <string>
#include <vector>

namespace quillon {
namespace {

using testing::ProcessResult;
using testing::RunProcess;
using testing::TempDir;

constexpr const char* kDatabase = "49015420,Acme,Phone X\r\n"
                                  "35000000,\"Comma, Inc\",Model \"Q\"\r\n"
                                  "99999999,QN-2026.12\r\n";

class ValidateCli : public ::testing::Test {
protected:
    ProcessResult Run(std::vector<std::string> args, const std::string& input = {}) {
        args.insert(args.begin(), {"validate", "--db", m_db.string()});
        return RunProcess(QUILLON_CLI_PATH, args, input);
    }
    TempDir m_dir;
    std::filesystem::path m_db = m_dir.Write("tacdex.csv", kDatabase);
};

TEST_F(ValidateCli, TextPanelForTheTypedExample) {
    const ProcessResult r = Run({"49-015420-323751-8"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Input: 49-015420-323751-8\n"
                     "IMEI: 490154203237518\n"
                     "Result: VALID\n"
                     "Full IMEI Presentation: 490154-20-323751-8\n"
                     "Reporting Body Identifier: 49 (BZT / BAPT / Regulatory Authority / Federal Network Agency "
                     "(FNA), Germany)\n"
                     "Boxes: BZT/Cetecom, BABT/BAPT\n"
                     "Type Allocation Code: 49015420\n"
                     "Serial Number: 323751\n"
                     "Manufacturer: Acme\n"
                     "Model: Phone X\n"
                     "Check: 49025820343552\n"
                     "CheckSum: 52(60)\n"
                     "Luhn: 8\n");
}

TEST_F(ValidateCli, ExitStatusTellsWhetherEveryInputWasValid) {
    EXPECT_EQ(Run({"490154203237518", "356938035643809"}).status, 0);
    const ProcessResult mixed = Run({"490154203237518", "490154203237517"});
    EXPECT_EQ(mixed.status, 1);
    EXPECT_NE(mixed.out.find("Result: INVALID"), std::string::npos);
    const ProcessResult rejected = Run({"4901542032375180"});
    EXPECT_EQ(rejected.status, 1);
    EXPECT_NE(rejected.out.find("Invalid IMEI"), std::string::npos);
    // A valid number unknown to the database shows the not-found lines.
    EXPECT_NE(Run({"356938035643809"})
                  .out.find("Manufacturer: Not Found in Database!\n"
                            "Model:            ^^ Click to Submit ^^\n"),
              std::string::npos);
}

TEST_F(ValidateCli, UsageAndDatabaseErrorsExitWith2) {
    EXPECT_EQ(Run({"--format", "xml", "1"}).status, 2);
    EXPECT_EQ(Run({"--bogus"}).status, 2);
    EXPECT_EQ(Run({"--format"}).status, 2);
    const ProcessResult missing =
        RunProcess(QUILLON_CLI_PATH, {"validate", "--db", (m_dir.path() / "none.csv").string(), "490154203237518"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("does not exist"), std::string::npos);
    EXPECT_TRUE(missing.out.empty());
    const ProcessResult folder = RunProcess(QUILLON_CLI_PATH, {"validate", "--db", m_dir.path().string(), "1"});
    EXPECT_EQ(folder.status, 2);
    EXPECT_FALSE(folder.err.empty());
}

TEST_F(ValidateCli, JsonLinesFromStandardInput) {
    const ProcessResult r = Run({"--format", "json"}, "49-015420-323751-8\r\n35000000000000X\n 4901542032375180\n");
    EXPECT_EQ(r.status, 1);
    std::istringstream lines(r.out);
    std::vector<nlohmann::json> objects;
    for (std::string line; std::getline(lines, line);) {
        objects.push_back(nlohmann::json::parse(line));
    }
    ASSERT_EQ(objects.size(), 3u);

    const nlohmann::json& valid = objects[0];
    EXPECT_EQ(valid["input"], "49-015420-323751-8");
    EXPECT_EQ(valid["imei"], "490154203237518");
    EXPECT_EQ(valid["rejected"], false);
    EXPECT_EQ(valid["presentation"], "490154-20-323751-8");
    EXPECT_EQ(valid["boxes"], nlohmann::json::array({"BZT/Cetecom", "BABT/BAPT"}));
    EXPECT_EQ(valid["tac"], "49015420");
    EXPECT_EQ(valid["serial"], "323751");
    EXPECT_EQ(valid["check"], "49025820343552");
    EXPECT_EQ(valid["checksum"], "52(60)");
    EXPECT_EQ(valid["luhn"], 8);
    EXPECT_EQ(valid["valid"], true);
    EXPECT_EQ(valid["found"], true);
    EXPECT_EQ(valid["manufacturer"], "Acme");
    EXPECT_EQ(valid["model"], "Phone X");
    EXPECT_EQ(valid.size(), 15u);

    const nlohmann::json& quoted = objects[1];
    EXPECT_EQ(quoted["imei"], "350000000000000");
    EXPECT_EQ(quoted["manufacturer"], "\"Comma");
    EXPECT_EQ(quoted["model"], " Inc\"");
    EXPECT_EQ(quoted["boxes"], nlohmann::json::array({"BABT/BAPT"}));

    // The line is taken as it stands: the leading blank is part of the input.
    const nlohmann::json& rejected = objects[2];
    EXPECT_EQ(rejected["input"], " 4901542032375180");
    EXPECT_EQ(rejected["rejected"], true);
    EXPECT_EQ(rejected["valid"], false);
    EXPECT_EQ(rejected.size(), 4u);
}

TEST_F(ValidateCli, CsvQuotesFieldsAsRfc4180) {
    const ProcessResult r = Run({"--format", "csv", "350000000000000", "4901542032375180", "a\"b,c"});
    EXPECT_EQ(r.status, 1);
    std::istringstream lines(r.out);
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);) {
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '\r');
        line.pop_back();
        rows.push_back(line);
    }
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], "input,imei,rejected,presentation,reporting_body,boxes,tac,serial,check,checksum,luhn,valid,"
                       "found,manufacturer,model");
    EXPECT_EQ(rows[1], "350000000000000,350000000000000,false,350000-00-000000-0,\"35 (British Approvals Board of "
                       "Telecommunications (BABT), Great Britain)\",BABT/BAPT,35000000,000000,31000000000000,4(4),0,"
                       "false,true,\"\"\"Comma\",\" Inc\"\"\"");
    EXPECT_EQ(rows[2], "4901542032375180,4901542032375180,true,,,,,,,,,false,,,");
    EXPECT_EQ(rows[3].substr(0, 16), "\"a\"\"b,c\",\"a\"\"bc\"");
}

TEST_F(ValidateCli, OddInputNeverBreaksTheOutput) {
    const std::string nul("49\0"
                          "01",
                          5);
    const ProcessResult r = Run({"--format", "json"}, std::string(10000, '9') + "\n\xFF\xFE\n" + nul + "\n\n");
    EXPECT_EQ(r.status, 1);
    std::istringstream lines(r.out);
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        EXPECT_TRUE(nlohmann::json::accept(line)) << line;
    }
    EXPECT_EQ(count, 4);
}

} // namespace
} // namespace quillon
