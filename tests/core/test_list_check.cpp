#include "devicedb/DeviceTable.h"
#include "present/ListText.h"
#include "support/ListReadingCases.h"
#include "validation/ImeiList.h"
#include "validation/ListCheck.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <utility>
#include <vector>

namespace quillon {
namespace {

using Inputs = std::vector<std::pair<std::size_t, std::string>>;

ListRead ReadAll(const std::string& bytes, const std::optional<ListColumn>& column, Inputs& inputs,
                 std::size_t maxLines = kNoLineLimit, std::size_t maxLine = kMaxLineBytes) {
    StringInput in(bytes, maxLine);
    return ReadList(
        in, column,
        [&](const ListInput& input) {
            inputs.emplace_back(input.line, std::string(input.text));
            return true;
        },
        maxLines);
}

TEST(ListReading, EveryCaseGivesItsInputs) {
    for (const testing::ListReadingCase& c : testing::ListReadingCases()) {
        Inputs inputs;
        const std::optional<ListColumn> column =
            c.column ? std::optional<ListColumn>(ListColumn{.name = *c.column}) : std::nullopt;
        const ListRead read = ReadAll(c.bytes, column, inputs);
        EXPECT_EQ(read.outcome, ListRead::Outcome::Read) << c.name;
        EXPECT_EQ(inputs, c.inputs) << c.name;
        EXPECT_EQ(read.inputs, c.inputs.size()) << c.name;
    }
}

TEST(ListReading, StopsWhereTheListCannotBeReadOnAndSaysWhere) {
    const ListColumn imei{.name = "IMEI"};
    struct Case {
        const char* name;
        std::string bytes;
        std::optional<ListColumn> column;
        std::size_t maxLines;
        std::size_t maxLine;
        ListRead::Outcome outcome;
        std::size_t line;
        std::size_t inputsBefore;
    };
    const std::string longRow = "IMEI,Note\n1,\"" + std::string(11, '\n') + "\"\n";
    const std::vector<Case> cases = {
        {"TooManyLines", "1\n2\n3\n", std::nullopt, 2, kMaxLineBytes, ListRead::Outcome::TooManyLines, 3, 2},
        {"TooManyRows", "IMEI\n1\n2\n", imei, 2, kMaxLineBytes, ListRead::Outcome::TooManyLines, 3, 1},
        {"LongLine", "1\n" + std::string(40, '7') + "\n3\n", std::nullopt, kNoLineLimit, 32,
         ListRead::Outcome::LineTooLong, 2, 1},
        {"LongLineInATable", "IMEI\n1\n" + std::string(40, '7') + "\n", imei, kNoLineLimit, 32,
         ListRead::Outcome::LineTooLong, 3, 1},
        {"QuoteOpenAtEnd", "IMEI\n1\n\"2\n", imei, kNoLineLimit, kMaxLineBytes, ListRead::Outcome::QuoteOpenAtEnd, 3,
         1},
        {"RowTooLong", longRow, imei, kNoLineLimit, kMaxLineBytes, ListRead::Outcome::RowTooLong, 2, 0},
        {"NoHeaderAtAll", "", imei, kNoLineLimit, kMaxLineBytes, ListRead::Outcome::NoColumn, 0, 0},
    };
    for (const Case& c : cases) {
        Inputs inputs;
        const ListRead read = ReadAll(c.bytes, c.column, inputs, c.maxLines, c.maxLine);
        EXPECT_EQ(read.outcome, c.outcome) << c.name;
        EXPECT_EQ(read.line, c.line) << c.name;
        EXPECT_EQ(inputs.size(), c.inputsBefore) << c.name;
        EXPECT_FALSE(ListReadText(read, "IMEI").empty()) << c.name;
    }
}

TEST(ListReading, AHeaderWithoutTheColumnNamesTheColumnsItHas) {
    Inputs inputs;
    const ListRead read = ReadAll("Serial;Model\n1;2\n", ListColumn{.name = "IMEI"}, inputs);
    ASSERT_EQ(read.outcome, ListRead::Outcome::NoColumn);
    EXPECT_EQ(read.headerFields, (std::vector<std::string>{"Serial", "Model"}));
    EXPECT_EQ(ListReadText(read, "IMEI"), "has no column \"IMEI\" in its header row; its columns are \"Serial\", "
                                          "\"Model\"");
}

TEST(ListReading, TheStartTellsAHeaderFromData) {
    struct Case {
        const char* name;
        std::string bytes;
        std::optional<std::size_t> imeiColumn;
        bool looksLikeHeader;
    };
    const std::vector<Case> cases = {
        {"NamedColumn", "Model,IMEI Number\nA,490154203237518\n", 1, false},
        {"UnknownNames", "Serial\tDevice\n1\t49-015420-323751-8\n", std::nullopt, true},
        {"NumbersOnly", "490154203237518\n352099001761481\n", std::nullopt, false},
        {"NoNumberAnywhere", "a,b\nc,d\n", std::nullopt, false},
        {"FirstLineHoldsANumber", "x,490154203237518\ny,352099001761481\n", std::nullopt, false},
    };
    for (const Case& c : cases) {
        StringInput in(c.bytes);
        const ListStart start = ExamineList(in);
        EXPECT_EQ(start.imeiColumn, c.imeiColumn) << c.name;
        EXPECT_EQ(start.looksLikeHeader, c.looksLikeHeader) << c.name;
    }
}

DeviceTable Devices() {
    return DeviceTable::FromBytes("49015420,Zeta,Z1\r\n35209900,Alpha,A1\r\n01234567,Mid,M\r\n00000000,v2026\r\n");
}

TEST(ListCheck, CountsVerdictsAndRepeatedNumbers) {
    CheckedList list(Devices());
    StringInput in("490154203237518\n490154203237517\n\n1234\n35209900176148A\n49-015420-323751-8\n"
                   "999999999999994\n12-34\n");
    const ListRead read = CheckList(in, std::nullopt, list);
    ASSERT_EQ(read.outcome, ListRead::Outcome::Read);
    EXPECT_EQ(list.Counts(),
              (ListCounts{.inputs = 8, .valid = 3, .notValid = 1, .notAnImei = 4, .notInDatabase = 1, .repeated = 1}));
    const std::vector<std::string> results = {"valid",
                                              "not valid (check digit should be 8)",
                                              "not an IMEI (nothing left once blanks and separators are dropped)",
                                              "not an IMEI (4 characters; an IMEI has 15 digits)",
                                              "not an IMEI (an IMEI has 15 digits 0-9)",
                                              "valid",
                                              "valid",
                                              "not an IMEI (4 characters; an IMEI has 15 digits)"};
    for (std::size_t i = 0; i < list.Size(); ++i) {
        EXPECT_EQ(ListResultText(list.Row(i)), results[i]) << i;
    }
    EXPECT_EQ(list.Row(5).repeatOf, 1u);
    EXPECT_EQ(list.Row(7).repeatOf, 0u); // only numbers repeat, not what is no IMEI
    EXPECT_EQ(list.Row(0).repeatOf, 0u);
    EXPECT_EQ(list.Input(5), "49-015420-323751-8");
    EXPECT_TRUE(list.IsProblem(5)); // valid, but a stock sheet holds each number once
    EXPECT_FALSE(list.IsProblem(0));
    ValidationResult result;
    list.ResultInto(0, result);
    EXPECT_EQ(result.device.manufacturer, "Zeta");
}

TEST(ListCheck, OrdersAreStableSortsAndTheFilterKeepsProblems) {
    CheckedList list(Devices());
    StringInput in("352099001761481\n490154203237518\n012345670000004\n352099001761481\n1\n");
    CheckList(in, std::nullopt, list);
    using Order = std::vector<std::uint32_t>;
    EXPECT_EQ(ListOrder(list, std::nullopt, false, false), (Order{0, 1, 2, 3, 4}));
    EXPECT_EQ(ListOrder(list, ListField::Manufacturer, false, false), (Order{4, 0, 3, 2, 1}));
    EXPECT_EQ(ListOrder(list, ListField::Manufacturer, true, false), (Order{1, 2, 0, 3, 4}));
    EXPECT_EQ(ListOrder(list, ListField::Imei, false, false), (Order{2, 4, 0, 3, 1}));
    EXPECT_EQ(ListOrder(list, ListField::Line, true, false), (Order{4, 3, 2, 1, 0}));
    EXPECT_EQ(ListOrder(list, std::nullopt, false, true), (Order{3, 4}));
    EXPECT_EQ(ListOrder(list, ListField::Repeated, true, true), (Order{3, 4}));
    const std::atomic<bool> cancel{true};
    EXPECT_TRUE(ListOrder(list, ListField::Model, false, false, &cancel).empty());
}

} // namespace
} // namespace quillon
