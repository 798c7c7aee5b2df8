// The names file of a job: written, read, and checked against the run.
#include "motion/names.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

#include "csv/csv.h"
#include "results/results.h"

namespace seqord::names {

namespace {

const std::vector<std::string> kHeader = {"kind", "index", "name", "value"};

// The file descriptor of an open file, closed on every way out.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

std::string at(const std::string& path, long line) { return path + ", line " + std::to_string(line) + ": "; }

}  // namespace

std::string JobNames::setting(const std::string& key) const {
    for (const Setting& s : settings)
        if (s.key == key) return s.value;
    return {};
}

std::string JobNames::describe() const {
    const std::string measure = setting("measure");
    if (measure.empty()) return {};
    std::string d;
    if (measure == "sed") d = "SED, " + setting("sed");
    else if (measure == "cor") d = "COR, " + std::string(setting("cor_average") == "z" ? "z average" : "normal average");
    else d = measure;
    const std::string years = setting("years");
    if (years == "cumulative") d += ", cumulative over years";
    else if (years == "per-year") d += ", per year";
    if (setting("weighting") == "weighted") d += ", weighted by genotypes in common";
    if (const std::string m = setting("min_common"); !m.empty()) d += ", min-common " + m;
    if (const std::string s = setting("scale"); !s.empty() && s != "1") d += ", scale " + s;
    return d;
}

std::string JobNames::year(std::int32_t index, const std::string& fallback) const {
    const auto i = std::size_t(index - 1);
    return index >= 1 && i < year_full.size() && !year_full[i].empty() ? year_full[i] : fallback;
}

std::string JobNames::location(std::int32_t index, const std::string& fallback) const {
    const auto i = std::size_t(index - 1);
    return index >= 1 && i < location_full.size() && !location_full[i].empty() ? location_full[i] : fallback;
}

std::string path_of(const std::string& job) { return job + ".names.csv"; }

std::vector<std::vector<std::string>> rows(const JobNames& n) {
    std::vector<std::vector<std::string>> r{kHeader};
    for (std::size_t i = 0; i < n.year_short.size(); ++i)
        r.push_back({"year", std::to_string(i + 1), n.year_short[i], i < n.year_full.size() ? n.year_full[i] : ""});
    for (std::size_t i = 0; i < n.location_short.size(); ++i)
        r.push_back({"location", std::to_string(i + 1), n.location_short[i],
                     i < n.location_full.size() ? n.location_full[i] : ""});
    for (const Setting& s : n.settings) r.push_back({"setting", "", s.key, s.value});
    return r;
}

void write(OutStream& s, const JobNames& n) {
    for (const auto& row : rows(n)) csv::write_row(s, row);
}

JobNames read(const std::string& path) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) throw std::runtime_error(path + ": cannot be read (" + std::strerror(errno) + ")");
    csv::Reader reader(fd.get());
    JobNames n;
    std::vector<std::string> f;
    try {
        if (!reader.next(f)) throw std::runtime_error(path + ": is empty");
        if (f != kHeader) throw std::runtime_error(at(path, reader.line()) + "the header is not kind,index,name,value");
        while (reader.next(f)) {
            const std::string where = at(path, reader.line());
            if (f.size() != 4)
                throw std::runtime_error(where + "holds " + std::to_string(f.size()) + " fields, not 4");
            if (f[0] == "setting") {
                if (f[2].empty()) throw std::runtime_error(where + "a setting without its name");
                n.settings.push_back({f[2], f[3]});
                continue;
            }
            std::vector<std::string>* shorts = f[0] == "year" ? &n.year_short : f[0] == "location" ? &n.location_short : nullptr;
            std::vector<std::string>* fulls = f[0] == "year" ? &n.year_full : &n.location_full;
            if (!shorts) throw std::runtime_error(where + "the kind '" + f[0] + "' is none of year, location, setting");
            if (f[1] != std::to_string(shorts->size() + 1))
                throw std::runtime_error(where + f[0] + " '" + f[1] + "' where " + f[0] + " " +
                                         std::to_string(shorts->size() + 1) + " belongs");
            if (f[2].empty() || f[2].size() > 8)
                throw std::runtime_error(where + "the short name of " + f[0] + " " + f[1] + " is empty or longer than 8 characters");
            shorts->push_back(f[2]);
            fulls->push_back(f[3].empty() ? f[2] : f[3]);
        }
    } catch (const csv::TableError& e) {
        throw std::runtime_error(at(path, e.line()) + e.what());
    } catch (const csv::ReadError& e) {
        throw std::runtime_error(path + ": " + e.what());
    }
    return n;
}

std::optional<JobNames> load_for(const std::string& job, const std::vector<results::Year>& years,
                                 std::vector<std::string>& warnings) {
    const std::string path = path_of(job);
    if (::access(path.c_str(), F_OK) != 0) return std::nullopt;
    const std::string fallback = "; the 8-character names are used";
    JobNames n;
    try {
        n = read(path);
    } catch (const std::runtime_error& e) {
        warnings.push_back(e.what() + fallback);
        return std::nullopt;
    }
    auto mismatch = [&](const std::string& what) {
        warnings.push_back(path + ": " + what + ": it is not of this run" + fallback);
        return std::nullopt;
    };
    for (const results::Year& y : years) {
        const std::string s(results::trimmed(y.head.name));
        const auto i = std::size_t(y.head.index - 1);
        if (y.head.index < 1 || i >= n.year_short.size())
            return mismatch("it names no year " + std::to_string(y.head.index) + " (" + s + ")");
        if (n.year_short[i] != s)
            return mismatch("year " + std::to_string(y.head.index) + " is '" + n.year_short[i] + "' there, '" + s + "' in the run");
        for (const results::PointRecord& p : y.points) {
            const std::string l(results::trimmed(p.name));
            const auto j = std::size_t(p.location - 1);
            if (p.location < 1 || j >= n.location_short.size())
                return mismatch("it names no location " + std::to_string(p.location) + " (" + l + ")");
            if (n.location_short[j] != l)
                return mismatch("location " + std::to_string(p.location) + " is '" + n.location_short[j] + "' there, '" +
                                l + "' in the run");
        }
    }
    return n;
}

}  // namespace seqord::names
