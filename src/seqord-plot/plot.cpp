// The command line of seqord-plot and the storing of the page.
#include "plot.h"
#include "process/process.h"

#ifndef SEQORD_VERSION
#define SEQORD_VERSION "unknown"
#endif

namespace seqord::plot {

namespace {

constexpr std::string_view kUsage =
    "usage: seqord-plot [--] JOB\n"
    "       seqord-plot --help | --version\n"
    "Reads JOB.ORP and JOB.POR, the plotting files seqord wrote for job JOB, and writes\n"
    "JOB.svg: a panel per year (axis 1 against axis 2, each location named) and a panel\n"
    "per pair of successive years (an arrow per location retained in both).\n"
    "JOB may be given with a folder, and with the extension .ORP or .POR.\n"
    "Exit status: 0 page written, 1 page could not be written, 2 usage error or a\n"
    "plotting file missing, unreadable or malformed (nothing is written then).\n";

bool ends_with(std::string_view s, std::string_view tail) {
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

}  // namespace

int run(int argc, const char* const* argv, std::string& out, std::string& err) {
    if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
        out += kUsage;
        return kExitDone;
    }
    if (argc == 2 && (std::string_view(argv[1]) == "--version" || std::string_view(argv[1]) == "-V")) {
        out += "seqord-plot " SEQORD_VERSION "\n";
        return kExitDone;
    }
    // "--" ends the options: a job name after it may begin with a dash.
    if (argc == 3 && std::string_view(argv[1]) == "--" && argv[2][0] != '\0') {
        argv += 1;
        argc -= 1;
    } else if (argc != 2 || argv[1][0] == '\0' || (argv[1][0] == '-' && argv[1][1] != '\0')) {
        const std::string_view first = argc < 2 ? "" : argv[1];
        if (argc > 2) err += "seqord-plot: error: one job name only, please\n";
        else if (first.size() > 1 && first[0] == '-' && first != "--")
            err += "seqord-plot: error: unknown option '" + std::string(first) + "'\n";
        else err += "seqord-plot: error: no job name given\n";
        err += kUsage;
        return kExitBadInput;
    }
    std::string job = argv[1];

    if (ends_with(job, ".ORP") || ends_with(job, ".POR")) job.resize(job.size() - 4);
    const std::string orp = job + ".ORP", por = job + ".POR", svg = job + ".svg";

    std::vector<std::string> warnings;
    std::vector<Year> years;
    std::vector<Pair> pairs;
    try {
        years = read_years(orp, warnings);
        pairs = read_pairs(por, warnings);
        check_pairs_fit(years, pairs, por, warnings);
    } catch (const InputError& e) {
        for (const auto& w : warnings) err += "seqord-plot: warning: " + w + "\n";
        err += "seqord-plot: error: " + std::string(e.what()) + "; " + svg + " is not written\n";
        return kExitBadInput;
    }
    for (const auto& w : warnings) err += "seqord-plot: warning: " + w + "\n";

    const std::size_t slash = job.find_last_of('/');
    const std::string name = slash == std::string::npos ? job : job.substr(slash + 1);
    const std::string why = process::store_whole(svg, render_svg(name, years, pairs));
    if (!why.empty()) {
        err += "seqord-plot: error: cannot write " + svg + " (" + why + ")\n";
        return kExitWriteFailed;
    }
    out += "seqord-plot: wrote " + svg + ": " + std::to_string(years.size()) + " year panels, " +
           std::to_string(pairs.size()) + " pair panels\n";
    return kExitDone;
}

}  // namespace seqord::plot
