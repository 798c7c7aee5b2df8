// Tables of comma-separated values (RFC 4180), as the companion programs
// exchange them with spreadsheets, R and Python: a header row, then one row
// per record, fields quoted only where they must be.  Written through the
// record layer; read with a reader of their own, since a table's rows may
// span lines and its lines may be of any length.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

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

namespace seqord::csv {

// ------------------------------------------------------------- reading ---

// A table that cannot be read as one: carries the line where the trouble
// is (0 when it is not about one line) and what is wrong, without the file
// name, which the caller puts in front.
class TableError : public std::runtime_error {
public:
    TableError(long line, const std::string& what) : std::runtime_error(what), line_(line) {}
    long line() const { return line_; }

private:
    long line_;
};

// The file itself could not be read (a read error of the system).
class ReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The longest row a table may hold; a longer one is refused, so that the
// memory a reader takes stays bounded whatever the file holds.
inline constexpr std::size_t kMaxRowBytes = kMaxRecordLength;

// Reads the rows of a table from a descriptor, one at a time.  The first
// line decides the separator: a tab makes the table tab-separated, a
// semicolon without a comma semicolon-separated (and values may then have a
// decimal comma), anything else comma-separated.  Fields may be quoted as
// RFC 4180 has it (a quoted field may hold separators, line breaks and
// doubled quotes); lines end in LF or CR LF; a UTF-8 byte-order mark at the
// start is skipped; empty lines and lines of blanks are skipped.
class Reader {
public:
    explicit Reader(int fd) : fd_(fd) {}
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // The next row's fields; false at the end of the table.
    bool next(std::vector<std::string>& fields);
    // The line on which the row last returned begins (1 for the first).
    long line() const { return row_line_; }
    // The separator (known once the first row has been read).
    char separator() const { return sep_; }
    bool decimal_comma() const { return sep_ == ';'; }

private:
    bool fill();
    int peek();
    int get();

    int fd_;
    std::string buf_;
    std::size_t pos_ = 0;
    bool eof_ = false;
    bool started_ = false;
    char sep_ = ',';
    long line_ = 1;
    long row_line_ = 0;
};

// Reads `text` (blanks around it allowed) as a finite number: an optional
// sign, digits with an optional point (or, with `decimal_comma`, a comma)
// and an optional exponent.  False when it is anything else.
bool parse_number(std::string_view text, bool decimal_comma, double& out);

}  // namespace seqord::csv
