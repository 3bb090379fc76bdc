#pragma once

// How a list of IMEIs is read, one table for every reader of lists: the core's reader, the
// window's "Check a List" and quillon-cli's `validate` (plain, and with --column).
#include "cli/Utf16Text.h"

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quillon::testing {

struct ListReadingCase {
    const char* name;
    std::string bytes;
    std::optional<std::string> column;                       // none: one input per line
    std::vector<std::pair<std::size_t, std::string>> inputs; // line, text
    // The window reads the list so too: it takes a table by its IMEI column, other lists line by line.
    bool windowReadsAlike = true;
};

inline std::vector<ListReadingCase> ListReadingCases() {
    const std::string table = "Stock No;IMEI;Model\r\n"
                              "1;490154203237518;\"Phone; blue\"\r\n"
                              "\r\n"
                              "2;\"35-209900-176148-1\";Other\r\n"
                              "3\r\n";
    return {
        {"LinesKeepTheirEndsOut",
         "490154203237518\r\n35209900176148 1\n\nlast",
         std::nullopt,
         {{1, "490154203237518"}, {2, "35209900176148 1"}, {3, ""}, {4, "last"}}},
        {"LinesSkipAByteOrderMark",
         "\xEF\xBB\xBF"
         "490154203237518\n",
         std::nullopt,
         {{1, "490154203237518"}}},
        {"LinesKeepBytesThatAreNotUtf8",
         "49015\xFF"
         "4203237518\n",
         std::nullopt,
         {{1, "49015\xFF"
              "4203237518"}}},
        {"LinesInUtf16",
         Utf16("490154203237518\r\nZ\u00FCrich\r\n", false, true),
         std::nullopt,
         {{1, "490154203237518"}, {2, "Z\u00FCrich"}}},
        {"LinesTakeCommasAsText",
         "IMEI\n49015420,3237518\n",
         std::nullopt,
         {{1, "IMEI"}, {2, "49015420,3237518"}},
         false},
        {"ColumnOfATable", table, "imei", {{2, "490154203237518"}, {4, "35-209900-176148-1"}, {5, ""}}},
        {"ColumnNamedAsImportComparesNames",
         "serial,  Imei_1 ,x\n1,490154203237518,y\n",
         "IMEI 1",
         {{2, "490154203237518"}}},
        {"LeftmostOfTwoColumns", "imei\timei\n490154203237518\t352099001761481\n", "IMEI", {{2, "490154203237518"}}},
        {"QuotedLineBreaksStayInTheirRow",
         "IMEI,Note\n490154203237518,\"two\nlines\"\n352099001761481,x\n",
         "IMEI",
         {{2, "490154203237518"}, {4, "352099001761481"}}},
        {"ColumnOfUtf16Table",
         Utf16("Model\tIMEI\r\nA\t490154203237518\r\n", false, true),
         "IMEI",
         {{2, "490154203237518"}}},
        {"ColumnOfWindows1252Table", "Model|IMEI\nZ\xFCrich|490154203237518\n", "Model", {{2, "Z\u00FCrich"}}, false},
    };
}

} // namespace quillon::testing
