// Tables of comma-separated values (RFC 4180), as the companion programs
// exchange them with spreadsheets, R and Python: a header row, then one row
// per record, fields quoted only where they must be.
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "records/records.h"

namespace seqord::csv {

// A field as it is written: unchanged, or between double quotes (each quote
// inside doubled) when it holds a comma, a double quote, a CR or an LF.
std::string field(std::string_view text);

// Writes one row, its fields joined by commas, as one record through the
// record layer (on a file the record ends in CR LF, as RFC 4180 has it).
void write_row(OutStream& s, std::initializer_list<std::string_view> fields);
void write_row(OutStream& s, std::span<const std::string> fields);

}  // namespace seqord::csv
