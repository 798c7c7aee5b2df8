// seqord-plot: pictures of an aligned ordination.
//
// Reads the two plotting files of a finished run, JOB.ORP (the points of
// each year) and JOB.POR (the points of each pair of successive years),
// through the record layer with the layouts of the output catalogue, and
// draws them as one self-contained SVG page: a panel per year (axis 1
// against axis 2, one marker and one name label per location) and a panel
// per pair of successive years (an arrow per location present in both).
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "records/records.h"

namespace seqord::plot {

// Exit statuses of seqord-plot.
inline constexpr int kExitDone = 0;
inline constexpr int kExitWriteFailed = 1;  // the page could not be stored
inline constexpr int kExitBadInput = 2;     // usage error, or a file missing, unreadable or malformed

// A problem with one of the input files: the message names the file and,
// where there is one, the line ("JOB.ORP, line 7: ...").
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One located point: axis 1 and axis 2 of the aligned points.
struct Point {
    std::int32_t location = 0;  // index in the location table
    Name name;
    float x = 0.0f;
    float y = 0.0f;
};

// The label records of a year: its index, its name and the shares of
// variation of its first four axes (negative: not readable, field of
// asterisks).
struct YearHead {
    std::int32_t index = 0;
    Name name;
    std::array<float, 4> percent{};
};

struct Year {
    YearHead head;
    std::vector<Point> points;  // readable points, in file order
};

// A location of a pair of years: where it stood in the earlier year, in the
// later one, or both (an arrow).
struct Move {
    std::int32_t location = 0;
    Name name;
    bool in_from = false;
    bool in_to = false;
    float x0 = 0.0f, y0 = 0.0f;  // earlier year
    float x1 = 0.0f, y1 = 0.0f;  // later year
};

struct Pair {
    YearHead from, to;
    std::vector<Move> moves;  // in file order
};

// Reads a whole .ORP file (at least one year). Problems that spoil only a
// point (a value written as asterisks) leave the point out and add a line to
// `warnings`; anything else throws InputError.
std::vector<Year> read_years(const std::string& path, std::vector<std::string>& warnings);

// Reads a whole .POR file; an empty file gives no pairs.
std::vector<Pair> read_pairs(const std::string& path, std::vector<std::string>& warnings);

// Checks that the pairs are the successive years of the year file (the same
// indices and names); throws InputError naming the pair file otherwise.  An
// empty pair list always fits, with a warning when there are several years.
void check_pairs_fit(const std::vector<Year>& years, const std::vector<Pair>& pairs,
                     const std::string& por_path, std::vector<std::string>& warnings);

// ---------------------------------------------------------------- page ---

// Text made safe for XML character data and attribute values: markup
// characters escaped, bytes that are not UTF-8 taken as Latin-1, control
// characters replaced.
std::string xml_escape(std::string_view text);

// A fixed-point number with `decimals` decimals, never "-0".
std::string number(double v, int decimals);

// A name as shown: without its leading and trailing blanks.
std::string_view shown(const Name& n);

// ---------------------------------------------------- label placement ---

struct Box {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    double width() const { return x1 - x0; }
    double height() const { return y1 - y0; }
};

// Area two boxes share (0 when they only touch).
double overlap(const Box& a, const Box& b);

struct Segment {
    double x0, y0, x1, y1;
};

// A label to place next to the marker at (x, y) of radius r.
struct LabelWish {
    double x = 0, y = 0, r = 0;
    double width = 0, height = 0;
};

struct Placed {
    Box box;             // where the label's text stands
    bool leader = false; // set off from its marker: join them with a line
};

// Greedy placement: labels are taken most crowded first, and each goes to
// the first of a ring of positions round its marker (nearest ring first)
// that stays inside `bounds` and meets no marker, no segment and no label
// placed before it; when every position collides, the one with least
// overlap is taken.  Deterministic for a given input.
std::vector<Placed> place_labels(const std::vector<LabelWish>& wishes, const Box& bounds,
                                 const std::vector<Segment>& segments = {});

// The whole page for job `job` (shown in its title).
std::string render_svg(std::string_view job, const std::vector<Year>& years,
                       const std::vector<Pair>& pairs);

// --------------------------------------------------------- program ---

// The command line of seqord-plot: messages go to `out` and `err`; returns
// the exit status.
int run(int argc, const char* const* argv, std::string& out, std::string& err);

}  // namespace seqord::plot
