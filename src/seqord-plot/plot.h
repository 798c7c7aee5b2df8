// seqord-plot: pictures of an aligned ordination.
//
// Reads the two plotting files of a finished run, JOB.ORP (the points of
// each year) and JOB.POR (the points of each pair of successive years),
// with the readers of the result files, and draws them as one
// self-contained SVG page: a panel per year (one of the four aligned axes
// against another, axis 1 against axis 2 unless asked otherwise, one marker
// and one name label per location) and a panel per pair of successive years
// (an arrow per location present in both).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "motion/motion.h"
#include "motion/names.h"
#include "records/records.h"
#include "results/results.h"

namespace seqord::plot {

using results::InputError;
using results::kExitBadInput;
using results::kExitDone;
using results::kExitWriteFailed;
using results::shown;

// The two axes a page draws: `x` across, `y` up (each 1-4, different).
struct View {
    int x = 1, y = 2;
};

// One located point: its values on the two axes of the view.
struct Point {
    std::int32_t location = 0;  // index in the location table
    Name name;
    float x = 0.0f;
    float y = 0.0f;
};

struct Year {
    results::YearHead head;
    std::vector<Point> points;  // in file order
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
    results::YearHead from, to;
    std::vector<Move> moves;  // in file order
};

// The frame of the pair panels: the consensus frame of the fitted years
// (an arrow is a location's movement), or the axes as seqord aligned them.
enum class PairFrame { consensus, seqord };

// What a page shows of the plotting files.
struct Page {
    View view;
    std::vector<Year> years;
    std::vector<Pair> pairs;

    // How the locations move (add_motion): the fits, the frame of the pair
    // panels, the full names and the settings for the heading.
    bool has_motion = false;
    motion::Motion motion;
    PairFrame frame = PairFrame::seqord;
    std::map<std::int32_t, std::string> location_names, year_names;  // full names, by index
    std::string title, settings;  // from the names file; empty when unknown
};

// The label of a location or a year: its full name when the page has one,
// else the name of the file without its blanks.
std::string location_label(const Page& page, std::int32_t location, const Name& name);
std::string year_label(const Page& page, const results::YearHead& head);

// Adds to a page made by page_of how the locations move: the years fitted
// on their first `k` axes (src/motion), the full names and settings of
// `names` when given, and with PairFrame::consensus the pair panels drawn
// again in the consensus frame, dimension view.x across and view.y up
// (both at most k; std::invalid_argument otherwise).  A year not placed
// has no points there.  Warnings of the fits are added to `warnings`.
void add_motion(Page& page, const std::vector<results::Year>& years, int k, PairFrame frame,
                const std::optional<names::JobNames>& names, const std::string& orp,
                std::vector<std::string>& warnings);

// The panels of the page for `view`.  A point whose value on either axis of
// the view is a field of asterisks is left out, with a warning naming its
// file (`orp` or `por`) and line.
Page page_of(const std::vector<results::Year>& years, const std::vector<results::Pair>& pairs, View view,
             const std::string& orp, const std::string& por, std::vector<std::string>& warnings);

// ---------------------------------------------------------------- page ---

// Text made safe for XML character data and attribute values: markup
// characters escaped, bytes that are not UTF-8 taken as Latin-1, control
// characters replaced.
std::string xml_escape(std::string_view text);

// A fixed-point number with `decimals` decimals, never "-0".
std::string number(double v, int decimals);

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
    bool shown = true;   // false: left off, for want of room
};

// Greedy placement: labels are taken most crowded first, and each goes to
// the first of a ring of positions round its marker (nearest ring first)
// that stays inside `bounds` and meets no marker, no segment and no label
// placed before it; when every position collides, the one with least
// overlap is taken.  The looking is bounded: a label that has met more
// markers, labels and lines near its places than a page can show before
// its place is settled is left off (shown false), so that a page of any
// size is drawn in time proportional to its labels.  Deterministic for a
// given input.
std::vector<Placed> place_labels(const std::vector<LabelWish>& wishes, const Box& bounds,
                                 const std::vector<Segment>& segments = {});

// The whole page for job `job` (shown in its title).  A panel whose labels
// cannot all be placed adds a warning saying how many are left off.
std::string render_svg(std::string_view job, const Page& page, std::vector<std::string>& warnings);

// --------------------------------------------------------- program ---

// The command line of seqord-plot: messages go to `out` and `err`; returns
// the exit status.
// The points of each year against the run's summary and report (JOB.ORS,
// JOB.SOR) when they are there; a warning when they are not.  InputError when
// the plotting file is not of that run.
void check_against_run(const std::string& job, const std::vector<results::Year>& years,
                       std::vector<std::string>& warnings);

int run(int argc, const char* const* argv, std::string& out, std::string& err);

}  // namespace seqord::plot
