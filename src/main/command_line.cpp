// The command line: no argument runs the start-up dialogue; one job name runs
// as if "y" and that name had been typed; --help and --version answer and end.
#include <sys/stat.h>

#include <span>

#include "main/job.h"
#include "output/output.h"

#ifndef SEQORD_VERSION
#define SEQORD_VERSION "unknown"
#endif

namespace seqord::job {

namespace {

// 50 characters of a file name less the four of an extension.
constexpr std::size_t kLongestJobName = 46;

constexpr std::string_view kUsage = "usage: seqord [JOB]    (seqord --help for more)";

constexpr std::string_view kHelp[] = {
    "usage: seqord [JOB]",
    "       seqord --help | --version",
    "",
    "Ordinates the locations of every year of a multi-year trial on principal axes and",
    "lines the years up with one another.",
    "",
    "With no argument, seqord asks on the console whether default file names are wanted",
    "and then for a job name or for each of the six file names in turn.",
    "With JOB, it runs at once as if \"y\" and JOB had been typed: it reads JOB.EMA (main",
    "input) and JOB.NAQ (names) and writes JOB.SOR (report), JOB.ORS (summary),",
    "JOB.POR (points of successive years) and JOB.ORP (points of each year).",
    "",
    "  -h, --help     show this help and exit",
    "  -V, --version  show the version and exit",
    "  --             the next argument is the job name, even if it begins with -",
    "",
    "Exit status: 0 the run ended (also after a workspace shortfall), 1 input/output",
    "error, 2 input or command line refused, 3 internal error.",
};

// Writes whole lines to the console's output (unit 6) or error stream (unit 0).
void lines(int unit, int fd, std::span<const std::string_view> text) {
    OutStream s;
    s.bind(unit, unit == kConsoleOut ? "stdout" : "stderr", fd, true);
    for (std::string_view line : text) out::C1_line(s, line);
    s.flush();
}

bool file_exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace

std::string job_name_problem(std::string_view name) {
    // A typed answer is one line; a name holding a line break could not
    // have been typed and would name files nobody can type either.
    if (name.find_first_of("\r\n") != std::string_view::npos) return "the job name holds a line break";
    // The six file names are the job name and an extension in at most 50
    // characters: a longer name would be cut into another job's name, or
    // its extensions into one another.  (Trailing blanks drop out, as
    // they do from a typed name.)
    std::string_view stem = name;
    while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
    if (stem.size() > kLongestJobName)
        return "the job name '" + excerpt(stem) + "' has " + std::to_string(stem.size()) +
               " characters; a job name has at most " + std::to_string(kLongestJobName) +
               ", so that each file name (at most 50 characters) holds it whole with its extension";
    return {};
}

CommandLine parse_command_line(int argc, const char* const* argv) {
    CommandLine cl;
    bool options_done = false;
    int operands = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!options_done && arg.size() > 1 && arg[0] == '-') {
            if (arg == "--") {
                options_done = true;
                continue;
            }
            if (arg == "--help" || arg == "-h") {
                cl.action = CommandLine::Action::help;
                return cl;
            }
            if (arg == "--version" || arg == "-V") {
                cl.action = CommandLine::Action::version;
                return cl;
            }
            cl.action = CommandLine::Action::usage_error;
            cl.problem = "unknown option '" + std::string(arg) + "'";
            return cl;
        }
        if (++operands > 1) {
            cl.action = CommandLine::Action::usage_error;
            cl.problem = "more than one job name given ('" + cl.job + "' and '" + std::string(arg) + "')";
            return cl;
        }
        // The main input named instead of the job ("seqord TRIAL.EMA"): when
        // no job of that whole name exists and the named file does, its job
        // is meant.
        std::string_view name = arg;
        if (const std::string_view ext = ".EMA"; name.size() > ext.size() && name.ends_with(ext) &&
                                                 name.find_first_of("\r\n") == std::string_view::npos &&
                                                 !file_exists(std::string(name) + std::string(ext)) &&
                                                 file_exists(std::string(name)))
            name.remove_suffix(ext.size());
        const std::string problem = job_name_problem(name);
        if (!problem.empty()) {
            cl.action = CommandLine::Action::usage_error;
            cl.problem = problem;
            return cl;
        }
        cl.action = CommandLine::Action::job;
        cl.job = std::string(name);
    }
    return cl;
}

int main(int argc, const char* const* argv, int in_fd, int out_fd, int err_fd) {
    const CommandLine cl = parse_command_line(argc, argv);
    try {
        switch (cl.action) {
        case CommandLine::Action::help:
            lines(kConsoleOut, out_fd, kHelp);
            return kExitNormal;
        case CommandLine::Action::version: {
            const std::string_view text[] = {"seqord " SEQORD_VERSION};
            lines(kConsoleOut, out_fd, text);
            return kExitNormal;
        }
        case CommandLine::Action::usage_error: {
            const std::string problem = printable("seqord: error: " + cl.problem);
            const std::string_view text[] = {problem, kUsage};
            lines(kConsoleErr, err_fd, text);
            return kExitRefused;
        }
        case CommandLine::Action::job:
            return run(in_fd, out_fd, err_fd, &cl.job);
        case CommandLine::Action::dialogue:
            break;
        }
    } catch (const RunStop&) {
        // Help or usage that cannot be written (a closed or full console).
        return kExitFatalIO;
    }
    return run(in_fd, out_fd, err_fd, nullptr);
}

}  // namespace seqord::job
