// The names file of a job, JOB.names.csv: the full year and location names
// behind the 8-character names of JOB.NAQ, and the settings seqord-prep
// used.  seqord-prep writes it with JOB.EMA and JOB.NAQ; seqord ignores it;
// the companion programs use it when its short names are those of the run.
//
// A CSV table (RFC 4180, UTF-8, CR LF) with the header
//     kind,index,name,value
// and one row per year (`year,3,1928,1928`), per location
// (`location,2,GrandRap,Grand Rapids`), in increasing index, where `name` is
// the 8-character name (without trailing blanks) and `value` the full one;
// and one row per setting (`setting,,measure,sed`), where `name` is the
// setting's key and `value` its value.  The keys: measure (sed, cor), sed
// (standardised, centred), cor_average (normal, z), weighting (equal,
// weighted), years (cumulative, per-year), min_common, scale, title.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "records/records.h"

namespace seqord::results {
struct Year;
}

namespace seqord::names {

struct Setting {
    std::string key, value;
};

struct JobNames {
    // [index - 1]: the 8-character name and the full name.
    std::vector<std::string> year_short, year_full;
    std::vector<std::string> location_short, location_full;
    std::vector<Setting> settings;  // in file order

    // The value of a setting, or empty.
    std::string setting(const std::string& key) const;
    // The settings as a heading says them: "SED, standardised, cumulative
    // over years, equal weights, min-common 3".  Empty when none is known.
    std::string describe() const;
    // The full name of year / location `index` (1-based), or `fallback`
    // where the file has none.
    std::string year(std::int32_t index, const std::string& fallback) const;
    std::string location(std::int32_t index, const std::string& fallback) const;
};

// JOB.names.csv for `job` (which may carry a folder).
std::string path_of(const std::string& job);

// The table's rows, the header first.
std::vector<std::vector<std::string>> rows(const JobNames& n);
// Writes the table through the record layer.
void write(OutStream& s, const JobNames& n);

// Reads a names file; throws std::runtime_error naming `path` and the line
// when it cannot be read or is not such a table (a wrong header, an unknown
// kind, an index out of order or missing, a year or location without its
// short name, one longer than 8 characters).
JobNames read(const std::string& path);

// What the companion programs use: the names file of `job` when it exists,
// can be read and its short names are those of the run (every year and
// every location of `years`, the points of .ORP, by index).  Otherwise
// nothing, with a warning when the file exists (damaged, or of another
// job): the 8-character names are used then.  A missing file says nothing.
std::optional<JobNames> load_for(const std::string& job, const std::vector<results::Year>& years,
                                 std::vector<std::string>& warnings);

}  // namespace seqord::names
