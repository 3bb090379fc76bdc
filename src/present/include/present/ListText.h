#pragma once

// A checked list in words, for the window's "Check a List" and quillon-cli's `validate --column`.

#include "validation/ImeiList.h"
#include "validation/ListCheck.h"

#include <string>
#include <string_view>

namespace quillon {

// Why a list was not read to its end, as a clause after the name of what was read ("has a line
// longer than 128 MiB, ..."): empty when it was read to its end or the reader stopped it.
// `column` is the column asked for by name, for NoColumn.
std::string ListReadText(const ListRead& read, std::string_view column = {});

// The result column: "valid", "not valid (check digit should be 8)", "not an IMEI (14 characters;
// an IMEI has 15 digits)".
std::string ListResultText(const CheckedRow& row);

// The counts above the table: "1,000 inputs: 950 valid, 20 not valid, ...".
std::string ListCountsText(const ListCounts& counts);

// A count with thousands separated by commas: "1,000,000".
std::string GroupedCount(std::size_t count);

} // namespace quillon
