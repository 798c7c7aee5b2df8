// Reading the long table and the table of renames; fitting names into 8
// characters.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <memory>
#include <optional>

#include "csv/csv.h"
#include "prep.h"
#include "records/utf8.h"

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

// A name that is not UTF-8 quoted in a message: every byte beyond ASCII
// written as \xNN.
std::string quoted_bytes(std::string_view s) {
    std::string ascii;
    for (const char c : s) {
        if (static_cast<unsigned char>(c) < 0x80) {
            ascii += c;
            continue;
        }
        static constexpr char kHex[] = "0123456789abcdef";
        ascii += "\\x";
        ascii += kHex[static_cast<unsigned char>(c) >> 4];
        ascii += kHex[static_cast<unsigned char>(c) & 15];
    }
    return quoted(ascii);
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
    template <class Fields>
    bool next(Fields& fields) {
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

std::uint64_t hash_bytes(std::string_view s) {
    std::uint64_t h = 0x9E3779B97F4A7C15ull ^ s.size();
    const char* p = s.data();
    std::size_t n = s.size();
    for (;;) {
        std::uint64_t w = 0;
        const std::size_t k = std::min<std::size_t>(n, 8);
        if (k == 0) break;
        std::memcpy(&w, p, k);
        h = (h ^ w) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 32;
        p += k;
        n -= k;
    }
    h *= 0xC4CEB9FE1A85EC53ull;
    return h ^ (h >> 29);
}

// Numbers labels in order of first appearance (a table of their hashes
// finds them again); sorted afterwards.
class Labels {
public:
    // The number of `s`, or -1 when it is new.
    int find(std::string_view s) {
        if (last_ >= 0 && names_[static_cast<std::size_t>(last_)] == s) return last_;
        if (names_.empty()) return -1;
        const std::uint64_t h = hash_bytes(s);
        for (std::size_t i = h & mask_;; i = (i + 1) & mask_) {
            const std::uint32_t slot = slots_[i];
            if (slot == 0) return -1;
            if (hashes_[slot - 1] == h && names_[slot - 1] == s) return last_ = static_cast<int>(slot - 1);
        }
    }
    // Numbers a new label.
    int add(std::string_view s) {
        if ((names_.size() + 1) * 2 > slots_.size()) {
            slots_.assign(std::max<std::size_t>(16, slots_.size() * 2), 0);
            mask_ = slots_.size() - 1;
            for (std::size_t id = 0; id < names_.size(); ++id) place(id);
        }
        names_.emplace_back(s);
        hashes_.push_back(hash_bytes(s));
        place(names_.size() - 1);
        return last_ = static_cast<int>(names_.size() - 1);
    }
    std::size_t size() const { return names_.size(); }
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
    void place(std::size_t id) {
        std::size_t i = hashes_[id] & mask_;
        while (slots_[i] != 0) i = (i + 1) & mask_;
        slots_[i] = static_cast<std::uint32_t>(id + 1);
    }

    std::vector<std::string> names_;
    std::vector<std::uint64_t> hashes_;
    std::vector<std::uint32_t> slots_;  // id + 1, 0 for none
    std::size_t mask_ = 0;
    int last_ = -1;
};

bool integer_label(const std::string& s, long long& v) {
    const char* b = s.data();
    const char* e = s.data() + s.size();
    if (b != e && *b == '+') ++b;
    const auto r = std::from_chars(b, e, v);
    return r.ec == std::errc() && r.ptr == e;
}

bool missing_value(std::string_view v) {
    if (v.size() > 3) return false;
    const std::string s = lower(v);
    return s.empty() || s == "na" || s == "nan" || s == "." || s == "-" || s == "*";
}

// ---- the values of a cell, kept until the table is read

// A value in 32 bits: a short decimal packed (csv::pack_decimal), or any
// other value kept aside in double precision, its code its place there.
constexpr std::uint32_t kAside = 0x80000000u;

double decode(std::uint32_t code, const std::vector<double>& aside) {
    return code & kAside ? aside[code & ~kAside] : csv::unpack_decimal(code);
}

// The values of one year and location: for each genotype the last value
// of its cell, each value linked to the cell's one before it.  Genotypes
// find their cells through a table indexed by genotype number while the
// numbers stay within a few times the cells (as in a trial where most
// genotypes are grown everywhere), through a hash table otherwise; either
// way the room grows with the cells.
class Pair {
public:
    // `genotypes`: how many the table has shown so far (room for as many,
    // within bounds, is made at once).
    void add(std::uint32_t genotype, std::uint32_t code, std::size_t genotypes) {
        std::uint32_t& last = last_of(genotype, genotypes);
        if (values_ % kChunk == 0) chunks_.push_back(std::make_unique<Value[]>(kChunk));
        chunks_.back()[values_ % kChunk] = {code, last};
        last = ++values_;
    }

    // Each cell: its genotype and its values, in no particular order.
    template <class Each>
    void cells(std::vector<double>& values, const std::vector<double>& aside, Each each) const {
        auto cell = [&](std::uint32_t genotype, std::uint32_t last) {
            values.clear();
            for (std::uint32_t k = last; k != 0;) {
                const Value& v = chunks_[(k - 1) / kChunk][(k - 1) % kChunk];
                values.push_back(decode(v.code, aside));
                k = v.before;
            }
            each(genotype, values);
        };
        for (std::size_t g = 0; g < dense_.size(); ++g)
            if (dense_[g] != 0) cell(static_cast<std::uint32_t>(g), dense_[g]);
        for (const Slot& slot : slots_)
            if (slot.key != 0) cell(slot.key - 1, slot.last);
    }
    std::size_t cell_count() const { return cells_; }
    void clear() {
        std::vector<std::uint32_t>().swap(dense_);
        std::vector<Slot>().swap(slots_);
        std::vector<std::unique_ptr<Value[]>>().swap(chunks_);
    }

private:
    struct Value {
        std::uint32_t code, before;  // before: the cell's value before this one (its number + 1), or 0
    };
    struct Slot {
        std::uint32_t key = 0;   // genotype + 1; 0 for none
        std::uint32_t last = 0;  // number of the cell's last value + 1
    };
    static constexpr std::uint32_t kChunk = 128;

    std::uint32_t& last_of(std::uint32_t genotype, std::size_t genotypes) {
        if (!hashed_) {
            if (genotype < dense_.size()) {
                if (dense_[genotype] == 0) ++cells_;
                return dense_[genotype];
            }
            if (genotype < 4 * (cells_ + 1) + 256) {
                if (dense_.capacity() <= genotype)
                    dense_.reserve(std::max({std::size_t{genotype} + 1, dense_.capacity() * 2,
                                             std::min(genotypes, 4 * (cells_ + 1) + 256)}));
                dense_.resize(genotype + std::size_t{1}, 0);
                ++cells_;
                return dense_[genotype];
            }
            hashed_ = true;
            for (std::size_t g = 0; g < dense_.size(); ++g)
                if (dense_[g] != 0) place({static_cast<std::uint32_t>(g + 1), dense_[g]});
            std::vector<std::uint32_t>().swap(dense_);
        }
        if ((cells_ + 1) * 5 > slots_.size() * 4) grow();
        std::size_t i = home(genotype);
        while (slots_[i].key != 0 && slots_[i].key != genotype + 1)
            if (++i == slots_.size()) i = 0;
        if (slots_[i].key == 0) {
            slots_[i].key = genotype + 1;
            ++cells_;
        }
        return slots_[i].last;
    }
    std::size_t home(std::uint32_t genotype) const {
        const std::uint64_t h = static_cast<std::uint32_t>(genotype * 0x9E3779B9u);
        return static_cast<std::size_t>((h * slots_.size()) >> 32);
    }
    void place(const Slot& s) {
        if ((cells_ + 1) * 5 > slots_.size() * 4) grow();
        std::size_t i = home(s.key - 1);
        while (slots_[i].key != 0)
            if (++i == slots_.size()) i = 0;
        slots_[i] = s;
    }
    void grow() {
        std::vector<Slot> old(std::max<std::size_t>(16, slots_.size() * 3 / 2));
        old.swap(slots_);
        for (const Slot& s : old) {
            if (s.key == 0) continue;
            std::size_t i = home(s.key - 1);
            while (slots_[i].key != 0)
                if (++i == slots_.size()) i = 0;
            slots_[i] = s;
        }
    }

    bool hashed_ = false;
    std::vector<std::uint32_t> dense_;  // by genotype: number of its cell's last value + 1, 0 for none
    std::vector<Slot> slots_;
    std::vector<std::unique_ptr<Value[]>> chunks_;
    std::size_t cells_ = 0;
    std::uint32_t values_ = 0;
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
    std::vector<std::string_view> fields;
    if (!in.next(fields)) throw Failure(kExitBad, path + ": the file is empty: it has no header line");
    const long header = in.line();

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
    for (const std::string_view f : fields) listing += (listing.empty() ? "" : ", ") + quoted(trim(f));
    for (Wanted& w : wanted) {
        const std::string key = lower(trim(*w.name));
        bool found = false;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (lower(trim(fields[i])) != key) continue;
            if (found)
                throw Failure(kExitBad, in.at(header) + ": two columns are named " + quoted(*w.name) + " (columns " +
                                            std::to_string(w.index + 1) + " and " + std::to_string(i + 1) + ")");
            found = true;
            w.index = i;
        }
        if (!found)
            throw Failure(kExitBad, in.at(header) + ": no column is named " + quoted(*w.name) + "; the columns are " +
                                        listing + "; " + w.option + " COL names another");
    }
    for (std::size_t a = 0; a < 4; ++a)
        for (std::size_t b = a + 1; b < 4; ++b)
            if (wanted[a].index == wanted[b].index)
                throw Failure(kExitBad, in.at(header) + ": " + wanted[a].option + " and " + wanted[b].option +
                                            " name the same column, " + quoted(fields[wanted[a].index]));
    const std::size_t needed = 1 + std::max({wanted[0].index, wanted[1].index, wanted[2].index, wanted[3].index});

    // One pass: each row's names become numbers and its value joins its
    // cell; the counts are checked as they grow, before anything of their
    // size is made.
    Table t;
    Labels labels[3];
    static constexpr const char* kKind[3] = {"year", "location", "genotype"};
    std::vector<std::vector<std::uint32_t>> pair_of;  // [year][location]: number of its Pair + 1
    std::vector<Pair> pairs;
    std::vector<double> aside;
    std::size_t values = 0;
    const bool comma = in.decimal_comma();
    while (in.next(fields)) {
        ++t.rows;
        if (fields.size() < needed) {
            for (const Wanted& w : wanted)
                if (w.index >= fields.size())
                    throw Failure(kExitBad, in.at_column(*w.name) + ": the row has " + std::to_string(fields.size()) +
                                                (fields.size() == 1 ? " field" : " fields") +
                                                " and ends before this column (column " +
                                                std::to_string(w.index + 1) + ")");
        }
        int ids[3];
        for (int k = 0; k < 3; ++k) {
            const std::string_view label = trim(fields[wanted[k].index]);
            int id = labels[k].find(label);
            if (id < 0) {
                const std::string& column = *wanted[k].name;
                if (label.empty()) throw Failure(kExitBad, in.at_column(column) + ": the " + kKind[k] + " is empty");
                if (has_control(label))
                    throw Failure(kExitBad, in.at_column(column) + ": the " + kKind[k] + " " + quoted(label) +
                                                " holds a line break or another control character");
                if (!records::valid_utf8(label))
                    throw Failure(kExitBad, in.at_column(column) + ": the " + kKind[k] + " " + quoted_bytes(label) +
                                                " is not UTF-8 text; save the table as UTF-8");
                id = labels[k].add(label);
                const std::string problem = count_problem(static_cast<std::int64_t>(labels[0].size()),
                                                          static_cast<std::int64_t>(labels[1].size()),
                                                          static_cast<std::int64_t>(labels[2].size()));
                if (!problem.empty())
                    throw Failure(kExitBad, in.at_column(column) + ": with " + quoted(label) + ", " + problem);
            }
            ids[k] = id;
        }
        const std::string_view text = fields[wanted[3].index];
        std::uint32_t code;
        if (!csv::pack_decimal(text, comma, code)) {
            const std::string_view value = trim(text);
            if (missing_value(value)) {
                ++t.missing;
                continue;
            }
            double v = 0;
            switch (csv::parse_number(value, comma, v)) {
            case csv::Number::ok:
                break;
            case csv::Number::not_a_number:
                throw Failure(kExitBad, in.at_column(*wanted[3].name) + ": " + quoted(value) + " is not a number");
            case csv::Number::out_of_range:
                throw Failure(kExitBad, in.at_column(*wanted[3].name) + ": " + quoted(value) +
                                            " is out of range: numbers of magnitude 1e-308 to 1e308 are read");
            }
            if (aside.size() >= kAside) throw Failure(kExitBad, path + ": more than 2^31 values in long form");
            code = kAside | static_cast<std::uint32_t>(aside.size());
            aside.push_back(v);
        }
        if (++values > 0xFFFFFFFEu) throw Failure(kExitBad, path + ": more than 4294967294 values");
        const auto y = static_cast<std::size_t>(ids[0]), l = static_cast<std::size_t>(ids[1]);
        if (pair_of.size() <= y) pair_of.resize(y + 1);
        std::vector<std::uint32_t>& row = pair_of[y];
        if (row.size() <= l) row.resize(l + 1, 0);
        if (row[l] == 0) {
            pairs.emplace_back();
            row[l] = static_cast<std::uint32_t>(pairs.size());
        }
        pairs[row[l] - 1].add(static_cast<std::uint32_t>(ids[2]), code, labels[2].size());
    }
    if (t.rows == 0) throw Failure(kExitBad, path + ": the table has a header line but no rows");
    if (values == 0) throw Failure(kExitBad, path + ": every value of column " + quoted(columns.value) + " is missing");

    // Years in ascending order: by value when every label is an integer.
    const bool numeric = std::all_of(labels[0].names().begin(), labels[0].names().end(), [](const std::string& s) {
        long long v;
        return integer_label(s, v);
    });
    const std::vector<int> year_place = labels[0].sort(t.years, [numeric](const std::string& a, const std::string& b) {
        long long x = 0, y = 0;
        if (numeric && integer_label(a, x) && integer_label(b, y) && x != y) return x < y;
        return a < b;
    });
    const auto bytes = [](const std::string& a, const std::string& b) { return a < b; };
    const std::vector<int> location_place = labels[1].sort(t.locations, bytes);
    const std::vector<int> genotype_place = labels[2].sort(t.genotypes, bytes);

    // Replicates averaged: the values of a cell are added in increasing
    // order, so that the means do not depend on the order of the rows.
    t.means.assign(t.years.size(), proximity::YearMeans(t.locations.size()));
    std::vector<double> cell;
    for (std::size_t y = 0; y < pair_of.size(); ++y)
        for (std::size_t l = 0; l < pair_of[y].size(); ++l) {
            if (pair_of[y][l] == 0) continue;
            Pair& pair = pairs[pair_of[y][l] - 1];
            std::vector<proximity::Cell>& means = t.means[static_cast<std::size_t>(year_place[y])]
                                                         [static_cast<std::size_t>(location_place[l])];
            means.reserve(pair.cell_count());
            pair.cells(cell, aside, [&](std::uint32_t genotype, std::vector<double>& v) {
                std::sort(v.begin(), v.end());
                double sum = 0.0;
                for (const double x : v) sum += x;
                if (v.size() > 1) {
                    t.replicate_rows += static_cast<long>(v.size());
                    ++t.replicated_cells;
                }
                means.push_back({genotype_place[genotype], sum / static_cast<double>(v.size())});
            });
            pair.clear();
            std::sort(means.begin(), means.end(),
                      [](const proximity::Cell& a, const proximity::Cell& b) { return a.genotype < b.genotype; });
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
