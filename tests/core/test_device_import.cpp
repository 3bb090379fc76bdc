#include "devicedb/DatabaseLocation.h"
#include "devicedb/DeviceImport.h"
#include "devicedb/DeviceTable.h"
#include "support/StringSource.h"
#include "support/TempDir.h"
#include "support/UserData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace quillon {
namespace {

using testing::StringSource;

struct Imported {
    ExportRead read;
    std::string file; // the --replace result, version "V"
};

Imported ImportOne(const std::string& bytes, const ImportSettings& settings = {}, bool file = true) {
    DeviceImport import;
    StringSource source(bytes, file);
    Imported result{import.Read(source, settings), {}};
    import.WriteMerged(nullptr, "V", [&result](std::string_view piece) { result.file += piece;
});
return result;
} // namespace

std::string Utf16Le(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (const char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

std::string Utf16Be(const std::u16string& text) {
    std::string bytes = "\xFE\xFF";
    for (const char16_t unit : text) {
        bytes += static_cast<char>(unit >> 8);
        bytes += static_cast<char>(unit & 0xFF);
    }
    return bytes;
}

// Every layout, each header order and spelling, quoting and names as the tacdex.csv lines.
TEST(DeviceImport, ReadsEveryLayout) {
    struct Case {
        const char* what;
        std::string bytes;
        ImportLayout layout;
        std::string file;
        ImportSettings settings = {};
    };
    const Case cases[] = {
        {"GSMA, older layout",
         "TAC|Marketing Name|Internal Model Name|Manufacturer|Bands|Allocation Date|Brand Name|Model Name|OS\r\n"
         "35332811|Galaxy S24 Ultra|SM-S928B|Samsung Electronics|GSM|01-Jan-2024|Samsung|SM-S928B|Android\r\n"
         "35000001|\"Phone \"\"X\"\"\"|x|Acme Ltd|b|d|Not Known|M1|o\r\n",
         ImportLayout::Gsma, "35332811,Samsung,Galaxy S24 Ultra\r\n35000001,Acme Ltd,Phone \"X\"\r\n99999999,V\r\n"},
        {"GSMA, newer layout, other spellings and order",
         " model_name |tac|BRAND NAME|Manufacturer (or) Applicant|Marketing_Name|Extra\n"
         "iPhone17,2|35123456||Apple Inc|iPhone 17 Pro Max|x\n"
         "SM-A155F|35999999|not known|Samsung|NOT KNOWN|y\n",
         ImportLayout::Gsma, "35123456,Apple Inc,iPhone 17 Pro Max\r\n35999999,Samsung,SM-A155F\r\n99999999,V\r\n"},
        {"Osmocom with its comment line, names with commas and line breaks",
         "# licence notice, \"quoted\"\n"
         "tac,name,name,contributor,comment,gsmarena,gsmarena,aka\n"
         "35761300,Nokia,6020,someone,,1,2,\n"
         "01234567,\"Maker, Inc\",\"Two\nLines\",c,\"note, with comma\",,,\n",
         ImportLayout::Osmocom, "35761300,Nokia,6020\r\n01234567,Maker  Inc,Two Lines\r\n99999999,V\r\n"},
        {"Osmocom without the comment line",
         "tac,name,name,contributor,comment,gsmarena,gsmarena,aka\r\n35761300,Nokia,6020,,,,,\r\n",
         ImportLayout::Osmocom, "35761300,Nokia,6020\r\n99999999,V\r\n"},
        {"spreadsheet CSV with semicolons",
         "Type Allocation Code;Brand;Model\r\n35000002;\"Acme; Sons\";\"A \"\"1\"\"\"\r\n", ImportLayout::Csv,
         "35000002,Acme; Sons,A \"1\"\r\n99999999,V\r\n"},
        {"spreadsheet CSV with tabs, manufacturer and marketing name",
         "tac code\tmanufacturer\tmarketing name\n35000003\t Acme \t Phone \n", ImportLayout::Csv,
         "35000003,Acme,Phone\r\n99999999,V\r\n"},
        {"pipes without the GSMA's names", "tac|manufacturer|model\n35000004|Acme|P4\n", ImportLayout::Csv,
         "35000004,Acme,P4\r\n99999999,V\r\n"},
        {"columns named on the command line", "Code,Maker,Device,Brand\n35000005,Acme,P5,Other\n", ImportLayout::Csv,
         "35000005,Acme,P5\r\n99999999,V\r\n",
         ImportSettings{.codeColumn = "code", .manufacturerColumn = "MAKER", .modelColumn = "device"}},
        {"an existing tacdex.csv: no header, quotes as they stand, the last line its version",
         "35000006,Acme,\"P6\",extra\r\n35000007, Acme ,P7\r\n99999999,OLD-1\r\n", ImportLayout::Tacdex,
         "35000006,Acme,\"P6\"\r\n35000007,Acme,P7\r\n99999999,V\r\n"},
        {"a forced layout", "tac|brand|model\n35000008|A|B\n", ImportLayout::Gsma, "35000008,A,B\r\n99999999,V\r\n",
         ImportSettings{.layout = ImportLayout::Gsma}},
    };
    for (const Case& c : cases) {
        const Imported imported = ImportOne(c.bytes, c.settings);
        EXPECT_EQ(imported.read.outcome, ExportRead::Outcome::Read) << c.what;
        EXPECT_EQ(imported.read.layout, c.layout) << c.what;
        EXPECT_EQ(imported.file, c.file) << c.what;
    }
}

// Names become what tacdex.csv can hold: commas and control characters as spaces, trimmed.
TEST(DeviceImport, CleansNames) {
    const Imported imported =
        ImportOne("tac;brand;model\n35000001;\"A,B\tC\x7F\";\" x\xC2\x85y \"\n35000002;\xC3\xA9toile;\"\"\"Q\"\"\"\n");
    EXPECT_EQ(imported.file, "35000001,A B C,x y\r\n35000002,\xC3\xA9toile,\"Q\"\r\n99999999,V\r\n");
}

TEST(DeviceImport, DecidesTheEncodingFromMarkAndBytes) {
    struct Case {
        const char* what;
        std::string bytes;
        TextEncoding encoding;
        bool file;
    };
    const std::string header = "tac,brand,model\r\n";
    const std::string big(200000, 'x'); // past the first 64 KiB and past a block
    const Case cases[] = {
        {"UTF-8",
         header + "35000001,\xC3\x89"
                  "cole,M\r\n",
         TextEncoding::Utf8, true},
        {"UTF-8 with its mark",
         "\xEF\xBB\xBF" + header +
             "35000001,\xC3\x89"
             "cole,M\r\n",
         TextEncoding::Utf8, true},
        {"Windows-1252",
         header + "35000001,\xC9"
                  "cole,M\r\n",
         TextEncoding::Windows1252, true},
        {"a UTF-8 mark before Windows-1252",
         "\xEF\xBB\xBF" + header +
             "35000001,\xC9"
             "cole,M\r\n",
         TextEncoding::Windows1252, true},
        {"a file whose only stray byte comes late is checked whole",
         header +
             "35000002,\xC3\x89"
             "cole," +
             big +
             "\r\n35000001,\xC9"
             "cole,M\r\n",
         TextEncoding::Windows1252, true},
        {"UTF-16 LE", Utf16Le(u"tac\tbrand\tmodel\r\n35000001\t\u00C9cole\tM\r\n"), TextEncoding::Utf16LE, true},
        {"UTF-16 BE", Utf16Be(u"tac\tbrand\tmodel\r\n35000001\t\u00C9cole\tM\r\n"), TextEncoding::Utf16BE, true},
        {"a stream in UTF-16", Utf16Le(u"tac\tbrand\tmodel\r\n35000001\t\u00C9cole\tM\r\n"), TextEncoding::Utf16LE,
         false},
        {"a stream in Windows-1252",
         header + "35000001,\xC9"
                  "cole,M\r\n",
         TextEncoding::Windows1252, false},
    };
    for (const Case& c : cases) {
        DeviceImport import;
        StringSource source(c.bytes, c.file);
        const ExportRead read = import.Read(source, {});
        EXPECT_EQ(read.outcome, ExportRead::Outcome::Read) << c.what;
        EXPECT_EQ(read.encoding, c.encoding) << c.what;
        const std::string_view last = import.Line(import.DeviceCount() - 1);
        EXPECT_EQ(last, "35000001,\xC3\x89"
                        "cole,M")
            << c.what;
    }
}

// The last bytes of a file without a line end may be a whole character: the file is still UTF-8.
TEST(DeviceImport, ACharacterAtTheVeryEndKeepsTheFileUtf8) {
    struct Case {
        const char* what;
        std::string last;
        TextEncoding encoding;
        std::string model; // as imported
    };
    const Case cases[] = {
        {"two bytes", "\xC3\x89", TextEncoding::Utf8, "M\xC3\x89"},
        {"three bytes", "\xE2\x82\xAC", TextEncoding::Utf8, "M\xE2\x82\xAC"},
        {"four bytes", "\xF0\x9F\x98\x80", TextEncoding::Utf8, "M\xF0\x9F\x98\x80"},
        {"a character cut short", "\xE2\x82", TextEncoding::Windows1252, "M\xC3\xA2\xE2\x80\x9A"},
    };
    for (const Case& c : cases) {
        for (const bool file : {true, false}) {
            SCOPED_TRACE(std::string(c.what) + (file ? ", file" : ", stream"));
            DeviceImport import;
            StringSource source("tac,brand,model\r\n35000001,Acme,M" + c.last, file);
            const ExportRead read = import.Read(source, {});
            ASSERT_EQ(read.outcome, ExportRead::Outcome::Read);
            EXPECT_EQ(read.encoding, c.encoding);
            ASSERT_EQ(import.DeviceCount(), 1u);
            EXPECT_EQ(import.Line(0), "35000001,Acme," + c.model);
        }
    }
}

// A stream is decided on its first 64 KiB; later bytes that are not UTF-8 become U+FFFD and are
// counted. Characters cut by a block's end are not.
TEST(DeviceImport, StreamKeepsItsDecisionAndCountsLaterStrayBytes) {
    std::string bytes = "tac,brand,model\n";
    for (int i = 0; i < 60000; ++i) {
        bytes += "35000001,\xC3\x89,\xF0\x9F\x93\xB1\n"; // two-byte and four-byte characters across every block end
    }
    bytes += "35000002,\xC9t,\xFF\n";
    DeviceImport import;
    StringSource source(bytes, false);
    const ExportRead read = import.Read(source, {});
    EXPECT_EQ(read.encoding, TextEncoding::Utf8);
    EXPECT_EQ(read.replacedSequences, 2u);
    EXPECT_EQ(import.Line(0), "35000001,\xC3\x89,\xF0\x9F\x93\xB1");
    EXPECT_EQ(import.Line(1), "35000002,\xEF\xBF\xBDt,\xEF\xBF\xBD");
    EXPECT_EQ(read.rows, 60001u);
}

TEST(DeviceImport, Utf16SurrogatePairsSurviveBlockEnds) {
    std::u16string text = u"tac\tbrand\tmodel\r\n";
    for (int i = 0; i < 100000; ++i) {
        text += u"35000001\tA\t\U0001F4F1\r\n";
    }
    for (const bool file : {true, false}) {
        DeviceImport import;
        StringSource source(Utf16Le(text), file);
        const ExportRead read = import.Read(source, {});
        EXPECT_EQ(read.rows, 100000u);
        EXPECT_EQ(import.DeviceCount(), 1u);
        EXPECT_EQ(import.Line(0), "35000001,A,\xF0\x9F\x93\xB1");
    }
}

// Bad and damaged rows are skipped and counted by reason, with the file lines where the first
// five start; a quoted line break moves the lines on.
TEST(DeviceImport, CountsSkippedRowsByReason) {
    const std::string bytes = "tac,brand,model\n"                   // 1
                              "35000001,\"two\nlines\",M\n"         // 2-3
                              "3500001,A,B\n"                       // 4
                              "3.5E+07,A,B\n"                       // 5
                              "35000002,,\n"                        // 6
                              "35000003,Not Known, not known \n"    // 7
                              "35000004,A\n"                        // 8
                              "\n"                                  // 9: blank, no row
                              "abc,A,B\n"                           // 10
                              "350000011,A,B\n"                     // 11
                              "1,A,B\n2,A,B\n3,A,B\n4,A,B\n5,A,B\n" // 12-16
                              "35000005,A,B";                       // 17, no line end
    DeviceImport import;
    StringSource source(bytes, true);
    const ExportRead read = import.Read(source, {});
    EXPECT_EQ(read.rows, 14u);
    EXPECT_EQ(import.DeviceCount(), 2u);
    const auto lines = [&import](SkipReason reason) {
        std::vector<std::size_t> numbers;
        for (const SkippedRows::Where& where : import.Skipped()[static_cast<std::size_t>(reason)].first) {
            numbers.push_back(where.line);
        }
        return numbers;
    };
    const auto count = [&import](SkipReason reason) {
        return import.Skipped()[static_cast<std::size_t>(reason)].count;
    };
    EXPECT_EQ(count(SkipReason::ShortCode), 6u);
    EXPECT_EQ(lines(SkipReason::ShortCode), (std::vector<std::size_t>{4, 12, 13, 14, 15}));
    EXPECT_EQ(lines(SkipReason::ExponentCode), std::vector<std::size_t>{5});
    EXPECT_EQ(lines(SkipReason::NoName), (std::vector<std::size_t>{6, 7}));
    EXPECT_EQ(lines(SkipReason::FieldCount), std::vector<std::size_t>{8});
    EXPECT_EQ(lines(SkipReason::NoCode), (std::vector<std::size_t>{10, 11}));
    EXPECT_EQ(import.Line(1), "35000005,A,B");
}

TEST(DeviceImport, PadCodesPutsLeadingZerosBack) {
    const Imported imported = ImportOne("tac,brand,model\n1234567,A,B\n1,C,D\n", ImportSettings{.padCodes = true});
    EXPECT_EQ(imported.file, "01234567,A,B\r\n00000001,C,D\r\n99999999,V\r\n");
}

TEST(DeviceImport, ExponentFormIsToldApartFromOtherText) {
    struct Case {
        const char* code;
        SkipReason reason;
    };
    const Case cases[] = {{"3.5E+07", SkipReason::ExponentCode}, {"35E7", SkipReason::ExponentCode},
                          {"3,5e-07", SkipReason::ExponentCode}, {"E7", SkipReason::NoCode},
                          {"3.5E", SkipReason::NoCode},          {"3.5E+", SkipReason::NoCode},
                          {"35-000001", SkipReason::NoCode},     {"", SkipReason::NoCode}};
    for (const Case& c : cases) {
        DeviceImport import;
        StringSource source(std::string("tac;brand;model\n") + c.code + ";A;B\n", true);
        import.Read(source, {});
        EXPECT_EQ(import.Skipped()[static_cast<std::size_t>(c.reason)].count, 1u) << c.code;
    }
}

// A code read twice keeps its first position and takes the last row's names, across exports.
TEST(DeviceImport, RepeatedCodesKeepTheirFirstPlace) {
    DeviceImport import;
    StringSource first("tac,brand,model\n35000001,A,Old\n35000002,B,Two\n35000001,A,Longer name now\n", true);
    StringSource second("tac;brand;model\n35000001;A;X\n35000003;C;Three\n", false);
    import.Read(first, {});
    import.Read(second, {});
    ASSERT_EQ(import.DeviceCount(), 3u);
    EXPECT_EQ(import.RepeatedCodes(), 2u);
    EXPECT_EQ(import.Line(0), "35000001,A,X");
    EXPECT_EQ(import.Line(1), "35000002,B,Two");
    EXPECT_EQ(import.Line(2), "35000003,C,Three");
}

TEST(DeviceImport, ManyDistinctCodesGrowTheIndex) {
    std::string bytes = "tac,brand,model\n";
    for (int i = 0; i < 50000; ++i) {
        bytes += std::to_string(35000000 + i) + ",M,D" + std::to_string(i % 7) + "\n";
    }
    bytes += "35000042,M,Again\n";
    DeviceImport import;
    StringSource source(bytes, true);
    import.Read(source, {});
    EXPECT_EQ(import.DeviceCount(), 50000u);
    EXPECT_EQ(import.RepeatedCodes(), 1u);
    EXPECT_EQ(import.Line(42), "35000042,M,Again");
    EXPECT_EQ(import.Line(49999), "35049999,M,D5");
}

TEST(DeviceImport, NoHeaderNamesTheFieldsFound) {
    struct Case {
        std::string bytes;
        ImportSettings settings;
        std::vector<std::string> found;
    };
    const Case cases[] = {
        {"code;maker;device\n1;2;3\n", {}, {"code", "maker", "device"}},
        {"tac,brand\n35000001,A\n", {}, {"tac", "brand"}},
        {"", {}, {}},
        {"tac,name,name\n35000001,A,B\n", ImportSettings{.layout = ImportLayout::Gsma}, {"tac", "name", "name"}},
        {"35000001,A,B\n99999999,V\n", ImportSettings{.layout = ImportLayout::Csv}, {"35000001", "A", "B"}},
    };
    for (const Case& c : cases) {
        const Imported imported = ImportOne(c.bytes, c.settings);
        EXPECT_EQ(imported.read.outcome, ExportRead::Outcome::NoHeader) << c.bytes;
        EXPECT_EQ(imported.read.headerFields, c.found) << c.bytes;
    }
}

// The merge: a known code replaces the line lookups use today where it stands; new codes follow
// the base's lines but come before its last device line.
TEST(DeviceImport, MergesIntoTheBase) {
    const DeviceTable base = DeviceTable::FromBytes("35000001,Old,One\r\n"
                                                    "35000002,Old,Two\r\n"
                                                    "35000001,Old,One later\r\n"
                                                    "35000009,Old,Last\r\n"
                                                    "99999999,BASE\r\n");
    DeviceImport import;
    StringSource source("tac,brand,model\n35000005,New,Five\n35000001,New,One\n35000004,New,Four\n", true);
    import.Read(source, {});
    const DeviceImport::Plan plan = import.PlanMerge(&base, "NEW-1");
    std::string file;
    import.WriteMerged(&base, "NEW-1", [&file](std::string_view piece) { file += piece;
});
EXPECT_EQ(file, "35000001,Old,One\r\n"
                "35000002,Old,Two\r\n"
                "35000001,New,One\r\n"
                "35000005,New,Five\r\n"
                "35000004,New,Four\r\n"
                "35000009,Old,Last\r\n"
                "99999999,NEW-1\r\n");
EXPECT_EQ(plan.newDevices, 2u);
EXPECT_EQ(plan.replacedDevices, 1u);
EXPECT_EQ(plan.deviceLines, 6u);
EXPECT_EQ(plan.bytes, file.size());
EXPECT_TRUE(plan.withinLimits);
// In so small a base every imported line stands where the window's model list does not look.
EXPECT_EQ(plan.unlisted.size(), 3u);

const DeviceTable merged = DeviceTable::FromBytes(file);
EXPECT_EQ(FindDevice(merged, "350000011234567").model, "One");
EXPECT_EQ(SummariseDatabase(merged).version, "NEW-1");
} // namespace quillon

// With a base of model-list size the new devices are all listed; alone (--replace) the first 25
// and the last are not, and the plan names them.
TEST(DeviceImport, PlanNamesTheDevicesTheModelListLeavesOut) {
    std::string baseText;
    for (int i = 0; i < 40; ++i) {
        baseText += std::to_string(36000000 + i) + ",Base,B\r\n";
    }
    const DeviceTable base = DeviceTable::FromBytes(baseText + "99999999,BASE\r\n");
    std::string bytes = "tac,brand,model\n";
    for (int i = 0; i < 30; ++i) {
        bytes += std::to_string(35000000 + i) + ",New,N\n";
    }
    DeviceImport import;
    StringSource source(bytes, true);
    import.Read(source, {});
    EXPECT_TRUE(import.PlanMerge(&base, "V").unlisted.empty());
    const DeviceImport::Plan alone = import.PlanMerge(nullptr, "V");
    ASSERT_EQ(alone.unlisted.size(), 26u);
    EXPECT_EQ(alone.unlisted.front(), (std::pair<std::size_t, std::string>{1, "35000000"}));
    EXPECT_EQ(alone.unlisted[24], (std::pair<std::size_t, std::string>{25, "35000024"}));
    EXPECT_EQ(alone.unlisted.back(), (std::pair<std::size_t, std::string>{30, "35000029"}));
}

TEST(DeviceImport, PlanRefusesAResultBeyondTheLimits) {
    std::string baseText;
    baseText.reserve(kMaxDatabaseLines * 11);
    for (std::size_t i = 0; i + 1 < kMaxDatabaseLines; ++i) {
        baseText += "0,A,B\n";
    }
    const DeviceTable base = DeviceTable::FromBytes(baseText + "99999999,BASE\n");
    DeviceImport import;
    StringSource source("tac,brand,model\n35000001,A,B\n", true);
    import.Read(source, {});
    EXPECT_FALSE(import.PlanMerge(&base, "V").withinLimits);
    EXPECT_TRUE(import.PlanMerge(nullptr, "V").withinLimits);
}

TEST(DeviceImport, VersionTextIsOneToTenPrintableCharacters) {
    struct Case {
        std::string text;
        bool valid;
    };
    const Case cases[] = {{"A", true},          {"2026-12-08", true},   {"0123456789A", false}, {"", false},
                          {"tab\there", false}, {"caf\xC3\xA9", false}, {"with space", true}};
    for (const Case& c : cases) {
        EXPECT_EQ(IsValidVersionText(c.text), c.valid) << c.text;
    }
}

TEST(DeviceImport, ColumnNamesAreComparedWithoutCaseSpacesOrUnderscores) {
    EXPECT_EQ(NormaliseColumnName("  Marketing_Name "), "marketing name");
    EXPECT_EQ(NormaliseColumnName("Manufacturer (or) Applicant"), "manufacturer (or) applicant");
    EXPECT_EQ(NormaliseColumnName("TAC"), "tac");
}

// The user's database comes before the one beside the program whenever anything stands at its
// path, usable or not (a refused one is then refused with its reason, not passed over).
TEST(DatabaseLocation, UsersDatabaseComesFirstWhenPresent) {
    testing::TempDir user;
    testing::TempDir program;
    const testing::UserDataFolder folder(user.path());
    const std::filesystem::path mine = testing::UserDatabaseIn(user.path());
    EXPECT_EQ(UserDatabasePath(), mine);
    EXPECT_EQ(DefaultDatabasePath(program.path()), program.path() / "tacdex.csv");
    std::filesystem::create_directories(mine.parent_path());
    { std::ofstream empty(mine); }
    EXPECT_TRUE(DatabaseFilePresent(mine));
    EXPECT_EQ(DefaultDatabasePath(program.path()), mine);
    std::filesystem::remove(mine);
    EXPECT_FALSE(DatabaseFilePresent(mine));
    EXPECT_FALSE(DatabaseFilePresent({}));
}

#ifndef _WIN32
TEST(DatabaseLocation, FollowsXdgDataHomeThenHome) {
    const std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    struct Case {
        const char* xdg; // nullptr: unset
        const char* homeValue;
        std::filesystem::path expected;
    };
    const Case cases[] = {
        {"/data", "/home/ana", "/data/quillon/tacdex.csv"},
        {"", "/home/ana", "/home/ana/.local/share/quillon/tacdex.csv"},
        {"relative/path", "/home/ana", "/home/ana/.local/share/quillon/tacdex.csv"},
        {nullptr, "/home/ana", "/home/ana/.local/share/quillon/tacdex.csv"},
        {nullptr, "", ""},
    };
    for (const Case& c : cases) {
        if (c.xdg != nullptr) {
            ::setenv("XDG_DATA_HOME", c.xdg, 1);
        } else {
            ::unsetenv("XDG_DATA_HOME");
        }
        ::setenv("HOME", c.homeValue, 1);
        EXPECT_EQ(UserDatabasePath(), c.expected) << (c.xdg ? c.xdg : "(unset)") << " " << c.homeValue;
    }
    ::setenv("HOME", home.c_str(), 1);
    testing::SetUserDataFolder(testing::EmptyUserDataFolder());
}
#endif

} // namespace
} // namespace quillon
