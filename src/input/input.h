// Readers of the two input files: the main input (.EMA, unit 20) and the
// name input (.NAQ, unit 21).  Their record layouts stand here once.
#pragma once

#include "records/records.h"
#include "run/run.h"

namespace seqord::layouts {
// .EMA: title, option line, year record and matrix rows.  The run header,
// the number retained and the elimination vector are read free-form.
inline constexpr Format kTitle = layout("(A)");
inline constexpr Format kOptions = layout("(4(5X,A1))");
inline constexpr Format kYearRecord = layout("(I6,4X,A8)");
inline constexpr Format kMatrixRow = layout("(I6,1X,A8,1X,1(T17,10E16.8))");
// .NAQ: heading line, then one name a line.
inline constexpr Format kNameHeading = layout("(A)");
inline constexpr Format kName = layout("(A8)");
}  // namespace seqord::layouts

namespace seqord::input {

// The five run-header values, in reading order.
struct RunHeader {
    std::int32_t maxy = 0, maxl = 0, maxg = 0, iys = 0, iyf = 0;
};

// The four option letters (columns 6, 12, 18 and 24 of the option line).
struct Options {
    char weight = ' ', prxtyp = ' ', sedtyp = ' ', cortyp = ' ';
};

// Run header: one free-form read of five integers.
RunHeader read_run_header(InStream& ema);
// Title: the first 50 characters of one line.
void read_title(InStream& ema, Text<50>& title);
// Option line.
Options read_options(InStream& ema);
// Year record; false at end of file (the normal end of the main input).
bool read_year_record(InStream& ema, std::int32_t& iy, Name& yname);
// Number of retained locations: one free-form integer read into `nl` in
// place, so that a record giving no value (a slash, a null value) leaves it
// as the previous year block set it.
void read_count(InStream& ema, std::int32_t& nl);
// Elimination vector: `n` free-form integers into elim[0], elim[stride], ...
void read_elimination(InStream& ema, std::int32_t* elim, std::size_t n, std::ptrdiff_t stride);

// The name tables YEARNAME and LOCNAME: heading line and counts (read and
// dropped), then MAXY year names and MAXL location names, one a line.
void read_names(InStream& naq, const Tables& t);

// One year's matrix: clears the whole of A, then reads nl rows, putting the
// proximities of row i into A(i, 1..i-1) and the row's name into RNAMES(i);
// row numbers and diagonal values are dropped.
void read_matrix(InStream& ema, const Tables& t, std::int32_t nl);

}  // namespace seqord::input
