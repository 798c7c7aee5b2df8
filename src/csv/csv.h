// Tables of comma-separated values (RFC 4180), as the companion programs
// exchange them with spreadsheets, R and Python: a header row, then one row
// per record, fields quoted only where they must be.  Written through the
// record layer; read with a reader of their own, since a table's rows may
// span lines and its lines may be of any length.
#pragma once

#include <cstddef>
#include <cstdint>
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

// Reads the rows of a table from a descriptor, one at a time, in blocks of
// up to 2 MiB: only the block in hand is kept, however long the file.  Empty
// lines and lines of blanks are skipped; a UTF-8 byte-order mark at the
// start is skipped.  The header is the first line that holds anything but
// blanks, and it decides the separator: a tab makes the table
// tab-separated, a semicolon without a comma semicolon-separated (values
// may then have a decimal comma), anything else comma-separated.  Fields
// may be quoted as RFC 4180 has it (a quoted field may hold separators,
// line breaks and doubled quotes).  Lines end in LF or CR LF; a carriage
// return alone outside quotes is refused, naming the line ends.
class Reader {
public:
    explicit Reader(int fd);
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // The next row's fields; false at the end of the table.  The views
    // stay valid until the next call.
    bool next(std::vector<std::string_view>& fields);
    // The same, copied.
    bool next(std::vector<std::string>& fields);
    // The line on which the row last returned begins (1 for the first).
    long line() const { return row_line_; }
    // The separator (known once the first row has been read).
    char separator() const { return sep_; }
    bool decimal_comma() const { return sep_ == ';'; }

private:
    bool fill();
    void start();
    // The next line in the buffer: [b, e) without its line end; `ended` when
    // a line end follows (false for the last line of a file that does not
    // end in one).  False at the end of the file.
    bool next_line(const char*& b, const char*& e, bool& ended);
    void quoted_row(std::vector<std::string_view>& fields);
    [[noreturn]] void carriage_return(long line) const;

    int fd_;
    std::vector<char> buf_;
    std::size_t pos_ = 0, end_ = 0;
    bool eof_ = false;
    bool started_ = false;
    char sep_ = ',';
    long line_ = 1;
    long row_line_ = 0;
    std::vector<std::string_view> views_;
};

// What a number field holds.
enum class Number { ok, not_a_number, out_of_range };

// Reads `text` (blanks around it allowed) as a finite number: an optional
// sign, digits with an optional point (or, with `decimal_comma`, a comma)
// and an optional exponent.  A number beyond double precision's range, or
// too small to be told from zero, is out of range.
Number parse_number(std::string_view text, bool decimal_comma, double& out);

// Nearly every value a table holds is a short decimal, m / 10^e with
// m < 2^26 and e <= 15: both are exact in double precision and their
// quotient, correctly rounded, is the value std::from_chars (and
// parse_number) reads from the text.  Such a value packs into 31 bits (the
// highest bit stays 0): pack_decimal takes [blanks][-]digits[point
// digits][blanks] (the point a comma too with `decimal_comma`) and is
// false for anything else; unpack_decimal gives the value back, bit for bit
// what parse_number gives.
bool pack_decimal(std::string_view text, bool decimal_comma, std::uint32_t& code);
double unpack_decimal(std::uint32_t code);

}  // namespace seqord::csv
