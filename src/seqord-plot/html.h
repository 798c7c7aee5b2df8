// seqord-plot --html: the interactive page, one self-contained HTML file.
//
// The page carries its script and style (src/seqord-plot/page/, built into
// the program) and its data, a JSON block that the script reads; it asks
// nothing of any network.  The data give each year's points in two frames:
// 'seqord', axes 1 and 2 of the aligned points of .ORP, and 'fitted',
// dimensions 1 and 2 of the years placed in the consensus frame (the
// motion library), with each location's stability and the fits of the
// pairs of successive years.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "results/results.h"

namespace seqord::motion {
struct Motion;
}

namespace seqord::plot {

// What the page shows, as plain data.
struct HtmlPage {
    std::string job;        // the job's name, without its folder
    std::string title;      // may be empty
    std::string settings;   // the analysis settings, in words; may be empty
    std::string names_file; // where the full names come from; empty when none
    int fit_axes = 2;

    struct Location {
        std::int32_t index = 0;  // in the location table
        std::string short_name, name;
    };
    std::vector<Location> locations;  // by increasing index

    // A location of a year: its position in `locations` and where it stands.
    struct At {
        std::size_t location = 0;
        double x = 0, y = 0;
    };
    struct Year {
        std::int32_t index = 0;
        std::string short_name, name;
        std::optional<std::array<double, 2>> share;  // % of variation of axes 1 and 2
        bool placed = false;                          // in the consensus frame
        std::vector<At> seqord;  // axes 1-2 as seqord aligned them, in location order
        std::vector<At> fitted;  // dimensions 1-2 in the consensus frame (empty when not placed)
    };
    std::vector<Year> years;  // in file order

    struct Stability {
        std::size_t location = 0;  // position in `locations`
        std::size_t years = 0;
        double spread = 0;
        std::optional<double> mean_step;
    };
    std::vector<Stability> stability;

    struct PairFit {
        std::size_t from = 0, to = 0;  // positions in `years`
        std::size_t common = 0;
        std::optional<double> ss_seqord, ss_fit, procrustes_r;
    };
    std::vector<PairFit> pairs;

    std::vector<std::string> warnings;  // shown on the page
};

// Full names behind the 8-character ones, by year index and by location
// index; a name missing from a map is shown as the 8-character one.
struct FullNames {
    std::map<std::int32_t, std::string> years, locations;
};

// The page of the years of .ORP (`orp` names it in warnings) and their
// analysis `m`.  A point whose axis 1 or 2 is a field of asterisks is left
// out of the 'seqord' frame, with a warning.
HtmlPage html_page_of(std::string_view job, const std::vector<results::Year>& years, const motion::Motion& m,
                      const FullNames& names, const std::string& orp, std::vector<std::string>& warnings);

// The decimals that keep five significant digits of the largest magnitude
// in `values` (and no more): the page's coordinates are rounded to them.
int decimals_for(double largest_magnitude);

// The page's data block (JSON).
std::string page_data_json(const HtmlPage& page);

// The whole page.
std::string render_html(const HtmlPage& page);

// seqord-plot --html JOB: reads JOB.ORP, fits the years on `fit_axes` axes
// and writes JOB.html whole or not at all; messages go to `out` and `err`;
// returns the exit status (as the static page's).
int run_html(const std::string& job, int fit_axes, std::string& out, std::string& err);

}  // namespace seqord::plot
