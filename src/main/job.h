// Job control: the start-up dialogue, the six files of the run, the
// fixed-capacity workspace and its division into the tables of the analysis.
#pragma once

#include <array>
#include <string>

#include "ordination/ordination.h"
#include "records/records.h"
#include "run/run.h"

namespace seqord::job {

// Exit statuses of the program.
inline constexpr int kExitNormal = 0;
inline constexpr int kExitFatalIO = 1;   // a fatal condition of the record layer
inline constexpr int kExitRefused = 2;   // input refused by the program's own checks, or a bad command line
inline constexpr int kExitInternal = 3;  // the program itself went wrong
// The exit status of a run stopped by `stop`.
inline int exit_status(const RunStop& stop) {
    return stop.kind() == StopKind::Refused ? kExitRefused : kExitFatalIO;
}

// The unit numbers that reports name the streams by: the six files of the
// run, and the console's input, log and report channel.
inline constexpr int kEMA = 20, kNAQ = 21, kSOR = 22, kORS = 23, kPOR = 24, kORP = 25;
inline constexpr int kConsoleIn = 5, kConsoleOut = 6, kConsoleErr = 0;

// The four workspace areas with their fixed capacities (in elements), owned
// by the run from start-up to the end.  Nothing is allocated after start-up:
// every table of the analysis is a slice of these areas.
struct Workspace {
    static constexpr std::int32_t kDZ = 1;
    static constexpr std::int32_t kZ = 350000;
    static constexpr std::int32_t kMZ = 10000;
    static constexpr std::int32_t kAZ = 1000;
    double DZ[kDZ];
    float Z[kZ];
    std::int32_t MZ[kMZ];
    Name AZ[kAZ];
    // Scratch of the eigen-decomposition's guard against endless rotation.
    ordination::JacobiGuard guard;
};

// Required size of each area for MAXY = y, MAXL = l: one more than the total
// length of its tables.  Computed exactly and saturated to 64 bits, so that
// no run-header value can make it wrap.
struct Required {
    std::int64_t dz, z, mz, az;
};
Required required_sizes(std::int64_t y, std::int64_t l);

// The twelve tables at their positions in the areas (with Y = MAXY, L = MAXL):
// Z: A (L*L) at 1, V (L*L) at L*L+1, EV (L), CUM (L), PTS (Y*L*4), PCT (Y*4), RESV (4*L);
// MZ: ELIM (Y*L) at 1, IWK (L) at Y*L+1;  AZ: YEARNAME (Y) at 1, LOCNAME (L), RNAMES (L).
// Only for sizes that passed the capacity check.
Tables partition(Workspace& ws, std::int32_t maxy, std::int32_t maxl);

// The run-header step: reads the five dimensions, echoes them (S1, R1),
// checks and reports the workspace (C2, S2), and either returns (an area is
// short) or clears the workspace, divides it and runs the year loop.
void run_header(Files& f, Workspace& ws);

// ---- file set

// The six file names in unit order: .EMA, .NAQ, .SOR, .ORS, .POR, .ORP.
using FileNames = std::array<Text<50>, 6>;
inline constexpr std::array<std::string_view, 6> kExtensions = {".EMA", ".NAQ", ".SOR", ".ORS", ".POR", ".ORP"};

// The six names formed from a job name: the extension at the first position
// after its last non-blank, cut at the 50th position.
FileNames names_from_job(const Text<50>& job);
// A name given on the command line as the 50-character text that typing it
// would give: its first 50 characters, padded with blanks.
Text<50> as_typed(std::string_view name);
// The console dialogue that forms or asks for the six names.
FileNames dialogue(Files& f);
// The name under which a file is opened: without leading or trailing blanks.
std::string open_name(const Text<50>& name);
// Refuses (RunStop) a set in which two names lead to the same file.
void check_distinct(const FileNames& names);
// Opens the six files in unit order.
void open_files(Files& f, const FileNames& names);

// ---- the whole run

// Runs the program with the console on the given descriptors; returns the
// exit status.  Every end of the run comes back here.  With a job name the
// dialogue is skipped: the run is the one that answering "y" and typing that
// name would give, without the prompts on the console.
int run(int in_fd, int out_fd, int err_fd, const std::string* job_name = nullptr);

// ---- the command line

struct CommandLine {
    enum class Action { dialogue, job, help, version, usage_error };
    Action action = Action::dialogue;
    std::string job;      // Action::job: the job name as given
    std::string problem;  // Action::usage_error: what is wrong with the command line
};
// What makes a job name given on the command line unusable, or empty: a
// line break, or more than 46 characters (trailing blanks not counted), which
// a file name of at most 50 could not hold whole with its extension.
// seqord-prep holds the job names it writes to the same rule.
std::string job_name_problem(std::string_view name);
// `seqord` (dialogue), `seqord JOB`, `seqord -- JOB`, `seqord --help`/`-h`,
// `seqord --version`/`-V`; anything else is a usage error.
CommandLine parse_command_line(int argc, const char* const* argv);
// The program's entry: acts on the command line and returns the exit status
// (help and version 0, a usage error 2, otherwise that of the run).
int main(int argc, const char* const* argv, int in_fd, int out_fd, int err_fd);

}  // namespace seqord::job
