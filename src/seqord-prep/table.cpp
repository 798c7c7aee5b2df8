// Reading the long table and the table of renames; fitting names into 8
// characters.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <numeric>
#include <optional>
#include <unordered_map>

#include "csv/csv.h"
#include "prep.h"

namespace seqord::prep {

namespace {

std::string_view trim(std::string_view s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

std::string lower(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return r;
}

bool has_control(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// A name or value quoted in a message: cut at about 40 bytes (between
// characters), control bytes escaped.
std::string quoted(std::string_view s) {
    std::string q(1, '\'');
    q += printable(s.size() > 40 ? cut_utf8(s, 40) + "..." : std::string(s));
    q += '\'';
    return q;
}

// An open table: its descriptor, closed at the end, and its reader.
class OpenTable {
public:
    explicit OpenTable(const std::string& path) : path_(path), fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        if (fd_ < 0) throw Failure(kExitFile, "cannot read " + path + ": " + std::strerror(errno));
        reader_.emplace(fd_);
    }
    ~OpenTable() { ::close(fd_); }
    OpenTable(const OpenTable&) = delete;
    OpenTable& operator=(const OpenTable&) = delete;

    // The next row, with the reader's problems given the file's name.
    bool next(std::vector<std::string>& fields) {
        try {
            return reader_->next(fields);
        } catch (const csv::TableError& e) {
            throw Failure(kExitBad, at(e.line()) + ": " + e.what());
        } catch (const csv::ReadError& e) {
            throw Failure(kExitFile, "cannot read " + path_ + ": " + e.what());
        }
    }
    long line() const { return reader_->line(); }
    bool decimal_comma() const { return reader_->decimal_comma(); }
    // "FILE, line N"
    std::string at(long line) const { return path_ + ", line " + std::to_string(line); }
    std::string at_column(const std::string& column) const { return at(line()) + ", column " + column; }

private:
    std::string path_;
    int fd_;
    std::optional<csv::Reader> reader_;
};

// Numbers labels in order of first appearance; sorted afterwards.
class Labels {
public:
    int id(std::string_view s) {
        auto [it, added] = ids_.try_emplace(std::string(s), static_cast<int>(names_.size()));
        if (added) names_.push_back(it->first);
        return it->second;
    }
    // The labels in the given order, and for each first-appearance number
    // its place in that order.
    template <class Less>
    std::vector<int> sort(std::vector<std::string>& sorted, Less less) const {
        std::vector<int> order(names_.size());
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(), [&](int a, int b) {
            return less(names_[static_cast<std::size_t>(a)], names_[static_cast<std::size_t>(b)]);
        });
        std::vector<int> place(names_.size());
        sorted.clear();
        for (std::size_t k = 0; k < order.size(); ++k) {
            place[static_cast<std::size_t>(order[k])] = static_cast<int>(k);
            sorted.push_back(names_[static_cast<std::size_t>(order[k])]);
        }
        return place;
    }

    const std::vector<std::string>& names() const { return names_; }

private:
    std::unordered_map<std::string, int> ids_;
    std::vector<std::string> names_;
};

bool integer_label(const std::string& s, long long& v) {
    const char* b = s.data();
    const char* e = s.data() + s.size();
    if (b != e && *b == '+') ++b;
    const auto r = std::from_chars(b, e, v);
    return r.ec == std::errc() && r.ptr == e;
}

bool missing_value(std::string_view v) {
    const std::string s = lower(v);
    return s.empty() || s == "na" || s == "nan" || s == "." || s == "-" || s == "*";
}

struct Observation {
    int year, location, genotype;
    double value;
};

}  // namespace

std::string cut_utf8(std::string_view text, std::size_t bytes) {
    if (text.size() <= bytes) return std::string(text);
    std::size_t k = bytes;
    while (k > 0 && (static_cast<unsigned char>(text[k]) & 0xC0) == 0x80) --k;
    return std::string(text.substr(0, k));
}

Table read_table(const std::string& path, const Columns& columns) {
    OpenTable in(path);
    std::vector<std::string> fields;
    if (!in.next(fields)) throw Failure(kExitBad, path + ": the file is empty: it has no header line");

    // The columns, by name, ignoring case and blanks around it.
    struct Wanted {
        const std::string* name;
        const char* option;
        std::size_t index = 0;
    };
    Wanted wanted[] = {{&columns.year, "--year"},
                       {&columns.location, "--location"},
                       {&columns.genotype, "--genotype"},
                       {&columns.value, "--value"}};
    std::string listing;
    for (const std::string& f : fields) listing += (listing.empty() ? "" : ", ") + quoted(trim(f));
    for (Wanted& w : wanted) {
        const std::string key = lower(trim(*w.name));
        bool found = false;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (lower(trim(fields[i])) != key) continue;
            if (found)
                throw Failure(kExitBad, in.at(1) + ": two columns are named " + quoted(*w.name) + " (columns " +
                                            std::to_string(w.index + 1) + " and " + std::to_string(i + 1) + ")");
            found = true;
            w.index = i;
        }
        if (!found)
            throw Failure(kExitBad, in.at(1) + ": no column is named " + quoted(*w.name) + "; the columns are " +
                                        listing + "; " + w.option + " COL names another");
    }
    for (std::size_t a = 0; a < 4; ++a)
        for (std::size_t b = a + 1; b < 4; ++b)
            if (wanted[a].index == wanted[b].index)
                throw Failure(kExitBad, in.at(1) + ": " + wanted[a].option + " and " + wanted[b].option +
                                            " name the same column, " + quoted(fields[wanted[a].index]));
    const std::size_t needed = 1 + std::max({wanted[0].index, wanted[1].index, wanted[2].index, wanted[3].index});

    Table t;
    Labels years, locations, genotypes;
    std::vector<Observation> obs;
    while (in.next(fields)) {
        ++t.rows;
        if (fields.size() < needed) {
            for (const Wanted& w : wanted)
                if (w.index >= fields.size())
                    throw Failure(kExitBad, in.at_column(*w.name) + ": the row has " + std::to_string(fields.size()) +
                                                " fields and ends before this column (column " +
                                                std::to_string(w.index + 1) + ")");
        }
        int ids[3];
        Labels* kinds[3] = {&years, &locations, &genotypes};
        static constexpr const char* kKind[3] = {"year", "location", "genotype"};
        for (int k = 0; k < 3; ++k) {
            const std::string_view label = trim(fields[wanted[k].index]);
            if (label.empty()) throw Failure(kExitBad, in.at_column(*wanted[k].name) + ": the " + kKind[k] + " is empty");
            if (has_control(label))
                throw Failure(kExitBad, in.at_column(*wanted[k].name) + ": the " + kKind[k] + " " + quoted(label) +
                                            " holds a line break or another control character");
            ids[k] = kinds[k]->id(label);
        }
        const std::string_view text = trim(fields[wanted[3].index]);
        if (missing_value(text)) {
            ++t.missing;
            continue;
        }
        double v = 0;
        if (!csv::parse_number(text, in.decimal_comma(), v))
            throw Failure(kExitBad, in.at_column(*wanted[3].name) + ": " + quoted(text) + " is not a number");
        obs.push_back({ids[0], ids[1], ids[2], v});
    }
    if (t.rows == 0) throw Failure(kExitBad, path + ": the table has a header line but no rows");
    if (obs.empty()) throw Failure(kExitBad, path + ": every value of column " + quoted(columns.value) + " is missing");

    // Years in ascending order: by value when every label is an integer.
    const bool numeric = std::all_of(years.names().begin(), years.names().end(), [](const std::string& s) {
        long long v;
        return integer_label(s, v);
    });
    const std::vector<int> year_place = years.sort(t.years, [numeric](const std::string& a, const std::string& b) {
        long long x = 0, y = 0;
        if (numeric && integer_label(a, x) && integer_label(b, y) && x != y) return x < y;
        return a < b;
    });
    const auto bytes = [](const std::string& a, const std::string& b) { return a < b; };
    const std::vector<int> location_place = locations.sort(t.locations, bytes);
    const std::vector<int> genotype_place = genotypes.sort(t.genotypes, bytes);

    // Replicates averaged: the values of a cell are added in increasing
    // order, so that the means do not depend on the order of the rows.
    for (Observation& o : obs) {
        o.year = year_place[static_cast<std::size_t>(o.year)];
        o.location = location_place[static_cast<std::size_t>(o.location)];
        o.genotype = genotype_place[static_cast<std::size_t>(o.genotype)];
    }
    std::sort(obs.begin(), obs.end(), [](const Observation& a, const Observation& b) {
        if (a.year != b.year) return a.year < b.year;
        if (a.location != b.location) return a.location < b.location;
        if (a.genotype != b.genotype) return a.genotype < b.genotype;
        return a.value < b.value;
    });
    t.means.assign(t.years.size(), proximity::YearMeans(t.locations.size()));
    for (std::size_t i = 0; i < obs.size();) {
        std::size_t j = i;
        double sum = 0.0;
        while (j < obs.size() && obs[j].year == obs[i].year && obs[j].location == obs[i].location &&
               obs[j].genotype == obs[i].genotype)
            sum += obs[j++].value;
        const std::size_t n = j - i;
        if (n > 1) {
            t.replicate_rows += static_cast<long>(n);
            ++t.replicated_cells;
        }
        t.means[static_cast<std::size_t>(obs[i].year)][static_cast<std::size_t>(obs[i].location)].push_back(
            {obs[i].genotype, sum / static_cast<double>(n)});
        i = j;
    }
    return t;
}

Renames read_renames(const std::string& path) {
    OpenTable in(path);
    Renames r;
    std::vector<std::string> fields;
    bool first = true;
    while (in.next(fields)) {
        if (first && fields.size() >= 2 && lower(trim(fields[0])) == "long" && lower(trim(fields[1])) == "short") {
            first = false;
            continue;
        }
        first = false;
        if (fields.size() < 2) throw Failure(kExitBad, in.at(in.line()) + ": a long name and a short name, please");
        const std::string_view from = trim(fields[0]), to = trim(fields[1]);
        if (from.empty() || to.empty())
            throw Failure(kExitBad, in.at(in.line()) + ": an empty name (a long name and a short name, please)");
        if (has_control(from) || has_control(to))
            throw Failure(kExitBad, in.at(in.line()) + ": a name holds a line break or another control character");
        if (to.size() > 8)
            throw Failure(kExitBad, in.at(in.line()) + ": the short name " + quoted(to) + " is longer than 8 bytes");
        if (!r.emplace(std::string(from), std::string(to)).second)
            throw Failure(kExitBad, in.at(in.line()) + ": " + quoted(from) + " is renamed a second time");
    }
    return r;
}

Naming fit_names(const Table& t, const Renames& renames, std::vector<std::string>& unused) {
    Naming n;
    std::vector<std::string> clashes;
    std::map<std::string_view, bool> used;
    auto fit = [&](const std::vector<std::string>& full, const char* kind, std::vector<Name>& out) {
        std::map<std::string, std::vector<std::string>> by_short;
        for (const std::string& name : full) {
            std::string short_name;
            if (const auto it = renames.find(name); it != renames.end()) {
                short_name = it->second;
                used[it->first] = true;
                n.notes.push_back(std::string(kind) + " " + name + " -> " + short_name + " (renamed)");
            } else {
                short_name = cut_utf8(name, 8);
                if (short_name != name) n.notes.push_back(std::string(kind) + " " + name + " -> " + short_name);
            }
            out.push_back(Name::of(short_name));
            by_short[std::string(out.back().view())].push_back(name);
        }
        for (const auto& [short_name, names] : by_short) {
            if (names.size() < 2) continue;
            std::string c = std::string(kind) + "s ";
            for (std::size_t i = 0; i < names.size(); ++i) {
                c += (i == 0 ? "" : i + 1 < names.size() ? ", " : " and ") + names[i];
                if (renames.find(names[i]) != renames.end()) n.clash_renamed = true;
            }
            c += (names.size() == 2 ? " both become '" : " all become '") + std::string(trim(short_name)) + "'";
            clashes.push_back(c);
        }
    };
    fit(t.years, "year", n.years);
    fit(t.locations, "location", n.locations);
    if (!clashes.empty()) {
        std::string msg = "names that coincide in 8 characters: ";
        for (std::size_t i = 0; i < clashes.size(); ++i) msg += (i ? "; " : "") + clashes[i];
        n.clashes = msg;
    }
    for (const auto& [from, to] : renames)
        if (!used.count(from)) unused.push_back(from);
    return n;
}

}  // namespace seqord::prep
