// The models that the fuzz targets compare the program with, declared here
// because tests/fuzz_regressions_test.cpp checks them by hand as well.
//
// Each model restates a rule of the record layer on its own, from the rule
// itself and not from the program's code, on purpose: a model that shared
// the program's code would share its faults, and a fault in the program
// could then hide in the model too.  Where a model does call the program,
// it is for a piece that another check covers without the model:
//
//   model_row, model_year  work out the columns, the records a read takes
//       and the continuation lines of "(I6,1X,A8,1X,1(T17,10E16.8))" and
//       "(I6,4X,A8)" from those texts, but convert each field with the
//       program's parse_int_field and parse_real_field.  fuzz_records_read
//       checks how a read cuts records into fields and stores the values;
//       the conversion of one field is checked on its own by the records
//       tests and, through the read-back of what is written, by
//       fuzz_format_out.
//   model_list  uses nothing of the program: it reads its integers itself.
//   slots, model_write  follow the matching rules themselves (items left to
//       right, repeats, groups, the end of the list, reversion, literals,
//       X, T, / and $), but walk the layout as the program's parser left it
//       (its items, repeat counts, group ends and reversion point) and put
//       each field's text with the program's format_int, format_f and
//       format_e.  The parser is checked by the records tests; the three
//       conversions are checked field by field by fuzz_format_out, against
//       properties of the text that need none of the program's code.
//
// The models of reads see a file's records through split_records (fuzz.h),
// which restates how the input streams cut a file into records, again
// without the program's code.
//
// Each model is defined in the source of the target that uses it:
// records_read.cpp, list_read.cpp and format_out.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "records/records.h"

namespace seqord::fuzz::detail {

// ------------------------------------------------- fuzz_records_read ---

// What reading one matrix row must give, worked out from the columns of its
// lines: "(I6,1X,A8,1X,1(T17,10E16.8))" puts the I6 in columns 1-6, the A8 in
// 8-15 and ten E16.8 fields a line from column 17, every further line of the
// row skipping columns 1-16.  `nvalues` counts the row's reals.
struct RowModel {
    bool ok = true;        // every field is a valid number
    int lines = 0;         // records the row takes
    std::int32_t number = 0;
    Name name;
    std::vector<float> values;
};

RowModel model_row(const std::vector<std::string>& recs, std::size_t first, std::size_t nvalues);

// The year record "(I6,4X,A8)": I6 in columns 1-6, the name in 11-18.
bool model_year(const std::string& line, std::int32_t& iy, Name& name);

// ---------------------------------------------------- fuzz_list_read ---

// A free-form read of integers worked out from the records, for comparison
// with the record layer's: values are [r*]v with v an optionally signed
// integer, separated by blanks, tabs or a comma with blanks around it, and by
// the end of a line; "r*" alone gives r null values, a comma right after a
// separator (or at the start of the read) a null value; a slash ends the
// read; whatever follows the last value on its line is skipped.
struct ListModel {
    enum class End { Full, Slash, EndOfFile, Syntax, Conversion };
    End end = End::Full;
    std::size_t next_record = 0;  // the record the next read starts with
};

// Reads into *vars[0], *vars[1], ... from record `first` (counted from 0) on,
// leaving the variables of null values as they were.
ListModel model_list(const std::vector<std::string>& recs, std::size_t first, std::vector<std::int32_t*> vars);

// --------------------------------------------------- fuzz_format_out ---

// One value of a write's list, as the model sees it.
struct Value {
    enum class K : std::uint8_t { Int, Real, Text } k;
    std::int64_t i = 0;
    float f = 0.0f;
    std::string t;
};

enum class Slot : std::uint8_t { Int, Real, Text };

// The kinds of the first n values a layout takes.
std::vector<Slot> slots(const Format& f, std::size_t n);

// The text that a write of `values` through `f` must produce, each record
// closed by `eol` unless the layout's "$" leaves the last one open.  `ok`
// turns false when a pass of the layout takes no value, so that the list
// could never be used up.
std::string model_write(const Format& f, const std::vector<Value>& values, std::string_view eol, bool& ok);

// ----------------------------------------------------- fuzz_csv_read ---

// A table as RFC 4180 and the reader's own rules read it, character by
// character: a UTF-8 byte-order mark skipped; the header the first line with
// anything but blanks, its tabs, semicolons and commas choosing the
// separator; quoted fields with doubled quotes and line breaks; LF or CR LF
// line ends (a CR alone is an error, one at the very end of the file is
// dropped); lines of blanks skipped.  Rows carry the line they begin on;
// `error` is "line N: what" for the first fault, the rows before it kept.
struct CsvModel {
    struct Row {
        long line = 0;
        std::vector<std::string> fields;
        bool operator==(const Row&) const = default;
    };
    std::vector<Row> rows;
    char sep = ',';
    std::string error;
};
CsvModel model_csv(std::string_view text);

}  // namespace seqord::fuzz::detail
