// Reading the plotting files: .ORP (year blocks) and .POR (pair blocks).
//
// Each line is first looked at as it stands to tell which record it is, then
// read through the record layer with that record's layout.  Two streams run
// over the same file in step: one hands out the raw line, the other reads it
// through a layout, so every value comes out of the record layer.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "output/output.h"
#include "plot.h"

namespace seqord::plot {

namespace {

namespace L = seqord::layouts;

// The share-of-variation record begins with a literal, which a read does not
// step over; it is read with the literal's columns skipped instead.  The two
// layouts are tied together here so that neither can drift from the other.
constexpr std::string_view kEvText = L::P4.items[0].text;
constexpr Format kEvRead = layout("(14X,4F8.3)");
static_assert(L::P4.items[0].kind == Item::Lit && L::P4.count == 2);
static_assert(kEvRead.items[0].kind == Item::X && kEvRead.items[0].w == int(kEvText.size()));
static_assert(kEvRead.items[1].kind == L::P4.items[1].kind && kEvRead.items[1].rep == L::P4.items[1].rep &&
              kEvRead.items[1].w == L::P4.items[1].w && kEvRead.items[1].d == L::P4.items[1].d);

// Columns of the point record (A8,1X,I4,1X,A8,1X,4F8.3) and the others,
// taken from the layouts.
constexpr int kValueWidth = L::P1.items[6].w;
constexpr std::size_t kPointValues0 = 8 + 1 + 4 + 1 + 8 + 1;  // first value column, from 0
constexpr std::size_t kPointLength = kPointValues0 + 4 * kValueWidth;
constexpr std::size_t kEvLength = kEvText.size() + 4 * kValueWidth;
constexpr std::size_t kLabelLength = 4 + 1 + 8;
static_assert(L::P1.items[6].kind == Item::F && L::P1.items[6].rep == 4 && kValueWidth == 8);
static_assert(L::P1.items[0].kind == Item::A && L::P1.items[0].w == 8 && L::P1.items[2].w == 4 &&
              L::P1.items[4].w == 8);
static_assert(kPointLength == 55 && kEvLength == 46);

enum class Kind { Empty, Label, Ev, Point, Unknown };

const char* kind_text(Kind k) {
    switch (k) {
    case Kind::Empty: return "an empty record";
    case Kind::Label: return "a year record";
    case Kind::Ev: return "an 'ev as % of SS' record";
    case Kind::Point: return "a point record";
    case Kind::Unknown: break;
    }
    return "a record of no known kind";
}

std::string_view trim_right(std::string_view s) {
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

Kind classify(std::string_view raw) {
    std::string_view t = trim_right(raw);
    if (raw.empty()) return Kind::Empty;
    if (t.substr(0, kEvText.size()) == kEvText) return t.size() == kEvLength ? Kind::Ev : Kind::Unknown;
    if (raw.size() <= kLabelLength) return t.size() >= 4 ? Kind::Label : Kind::Unknown;
    return t.size() == kPointLength ? Kind::Point : Kind::Unknown;
}

// How many of the `n` value fields from column `from0` can be read, counting
// from the first: a field of asterisks (a value too wide when it was written)
// and all after it cannot.
std::size_t readable_fields(std::string_view raw, std::size_t from0, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        std::string_view f = raw.substr(std::min(raw.size(), from0 + i * kValueWidth), kValueWidth);
        if (f.find('*') != std::string_view::npos) return i;
    }
    return n;
}

// A plotting file read line by line.
class RecordFile {
public:
    explicit RecordFile(const std::string& path, int unit) : path_(path) {
        // Open once ourselves first so that the message can say plainly what
        // is wrong with the file.
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            int err = errno;
            if (err == ENOENT) throw InputError(path + ": no such file (is the job name right, and has seqord run?)");
            throw InputError(path + ": cannot be opened (" + std::strerror(err) + ")");
        }
        struct stat st {};
        bool dir = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
        ::close(fd);
        if (dir) throw InputError(path + ": is a folder, not a file");
        guard([&] {
            scan_.open_file(unit, path);
            take_.open_file(unit, path);
        });
    }

    // Moves to the next line; false at the end of the file.
    bool next() {
        bool more = false;
        guard([&] { more = scan_.next_record(raw_); });
        if (more) kind_ = classify(raw_);
        return more;
    }
    const std::string& raw() const { return raw_; }
    Kind kind() const { return kind_; }
    long line() const { return scan_.line_number(); }
    const std::string& path() const { return path_; }

    [[noreturn]] void fail(const std::string& what) const {
        throw InputError(path_ + ", line " + std::to_string(line()) + ": " + what);
    }
    [[noreturn]] void unexpected(const std::string& wanted) const {
        fail(std::string(kind_text(kind_)) + " where " + wanted + " belongs");
    }
    std::string where() const { return path_ + ", line " + std::to_string(line()); }

    // Reads the current line through `f` into `vars`.
    void take(const Format& f, std::initializer_list<In> vars) {
        try {
            read(take_, f, vars);
        } catch (const RunStop& stop) {
            // The record layer's report ends with the columns and text of
            // the field that did not read.
            std::string_view r = stop.what();
            std::size_t c = r.find(", column");
            std::string detail = c == std::string_view::npos ? std::string(r) : std::string(r.substr(c + 2));
            fail(std::string(kind_text(kind_)) + " with a field that is not a number (" + detail + ")");
        }
    }
    // Passes over the current line.
    void skip() { take(L::P2, {}); }

    YearHead label() {
        YearHead h;
        take(L::P3, {h.index, h.name});
        return h;
    }
    void ev(YearHead& h) {
        h.percent.fill(-1.0f);
        const std::size_t n = readable_fields(raw_, kEvText.size(), 4);
        float* p = h.percent.data();
        take(kEvRead, {In::reals(p, n)});
    }
    // A point record; false (with a warning) when axis 1 or 2 cannot be read.
    bool point(Name& year, Point& p, std::vector<std::string>& warnings) {
        const std::size_t n = readable_fields(raw_, kPointValues0, 2);
        float xy[2] = {0.0f, 0.0f};
        take(L::P1, {year, p.location, p.name, In::reals(xy, n)});
        if (n < 2) {
            warnings.push_back(where() + ": location " + std::to_string(p.location) + " (" +
                               std::string(shown(p.name)) + ") of year " + std::string(shown(year)) +
                               " has a value too wide for its field (asterisks); it is left out");
            return false;
        }
        p.x = xy[0];
        p.y = xy[1];
        return true;
    }

private:
    template <class F>
    void guard(F f) {
        try {
            f();
        } catch (const RunStop& stop) {
            throw InputError(path_ + ": cannot be read (" + stop.what() + ")");
        }
    }

    std::string path_;
    InStream scan_, take_;
    std::string raw_;
    Kind kind_ = Kind::Unknown;
};

std::string year_text(const YearHead& h) {
    return std::to_string(h.index) + " (" + std::string(shown(h.name)) + ")";
}

}  // namespace

std::string_view shown(const Name& n) {
    std::string_view v = n.view();
    while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
    return trim_right(v);
}

std::vector<Year> read_years(const std::string& path, std::vector<std::string>& warnings) {
    RecordFile f(path, 25);  // the unit of .ORP in seqord's reports
    std::vector<Year> years;
    bool want_ev = false;
    std::int32_t last_location = 0;
    while (f.next()) {
        if (want_ev) {
            if (f.kind() != Kind::Ev) f.unexpected("the 'ev as % of SS' record of year " + year_text(years.back().head));
            f.ev(years.back().head);
            want_ev = false;
            continue;
        }
        switch (f.kind()) {
        case Kind::Label: {
            YearHead h = f.label();
            if (!years.empty() && h.index != years.back().head.index + 1)
                f.fail("year " + std::to_string(h.index) + " follows year " + std::to_string(years.back().head.index) +
                       "; the years of the file follow on one by one");
            years.push_back(Year{h, {}});
            want_ev = true;
            last_location = 0;
            break;
        }
        case Kind::Point: {
            if (years.empty()) f.unexpected("the first year record");
            Name yname;
            Point p;
            const bool ok = f.point(yname, p, warnings);
            Year& y = years.back();
            if (yname != y.head.name)
                f.fail("a point record of year '" + std::string(shown(yname)) + "' inside the block of year " +
                       year_text(y.head));
            if (p.location <= last_location)
                f.fail("location " + std::to_string(p.location) + " comes after location " +
                       std::to_string(last_location) + "; the locations of a year come in increasing order");
            last_location = p.location;
            if (ok) y.points.push_back(p);
            break;
        }
        default:
            f.unexpected(years.empty() ? "the first year record" : "a point record or the next year record");
        }
    }
    if (years.empty()) throw InputError(path + ": holds no year (was the run of seqord complete?)");
    if (want_ev) f.fail("the file ends after year record " + year_text(years.back().head) +
                        " without its 'ev as % of SS' record");
    return years;
}

std::vector<Pair> read_pairs(const std::string& path, std::vector<std::string>& warnings) {
    RecordFile f(path, 24);  // the unit of .POR
    std::vector<Pair> pairs;

    // One location group: one or two points, closed by an empty record.
    struct Entry {
        Name year;
        Point p;
        bool ok;
        long line;
    };
    std::vector<std::vector<Entry>> groups;
    std::vector<Entry> open;
    int labels = 0;  // label records of the pair read so far (0..3)
    Pair pair;

    auto close_pair = [&]() {
        if (pair.to.index != pair.from.index + 1)
            f.fail("the pair of years " + year_text(pair.from) + " and " + year_text(pair.to) +
                   " are not successive years");
        for (const auto& g : groups) {
            Move m;
            m.location = g.front().p.location;
            m.name = g.front().p.name;
            for (std::size_t i = 0; i < g.size(); ++i) {
                const Entry& e = g[i];
                // The earlier year's point comes first; with both years of
                // one name a single point counts as the earlier year's.
                const bool from = i == 0 && e.year == pair.from.name;
                const bool to = !from && e.year == pair.to.name;
                if (!from && !to)
                    throw InputError(f.path() + ", line " + std::to_string(e.line) + ": a point record of year '" +
                                     std::string(shown(e.year)) + "' in the pair of years " + year_text(pair.from) +
                                     " and " + year_text(pair.to));
                if (!e.ok) continue;
                if (from) {
                    m.in_from = true;
                    m.x0 = e.p.x;
                    m.y0 = e.p.y;
                } else {
                    m.in_to = true;
                    m.x1 = e.p.x;
                    m.y1 = e.p.y;
                }
            }
            if (m.in_from || m.in_to) pair.moves.push_back(m);
        }
        pairs.push_back(pair);
        pair = Pair{};
        groups.clear();
        labels = 0;
    };

    while (f.next()) {
        if (labels > 0) {
            const bool want_ev = labels % 2 == 1;
            if (f.kind() != (want_ev ? Kind::Ev : Kind::Label))
                f.unexpected(want_ev ? "the 'ev as % of SS' record of the year before it"
                                     : "the year record of the later year of the pair");
            if (want_ev) f.ev(labels == 1 ? pair.from : pair.to);
            else pair.to = f.label();
            if (++labels == 4) close_pair();
            continue;
        }
        switch (f.kind()) {
        case Kind::Point: {
            Entry e{Name{}, Point{}, false, f.line()};
            e.ok = f.point(e.year, e.p, warnings);
            if (open.size() == 2)
                f.fail("a third point record in one location group (an empty record closes each group)");
            if (!open.empty() && open.front().p.location != e.p.location)
                f.fail("location " + std::to_string(e.p.location) + " follows location " +
                       std::to_string(open.front().p.location) + " without an empty record between them");
            open.push_back(e);
            break;
        }
        case Kind::Empty:
            if (open.empty()) f.fail("an empty record that closes no location group");
            f.skip();
            groups.push_back(std::move(open));
            open.clear();
            break;
        case Kind::Label:
            if (!open.empty()) f.unexpected("the empty record closing location " +
                                            std::to_string(open.front().p.location));
            pair.from = f.label();
            labels = 1;
            break;
        default:
            f.unexpected("a point record, an empty record or a year record");
        }
    }
    if (labels > 0 || !open.empty() || !groups.empty())
        throw InputError(path + ", after line " + std::to_string(f.line()) +
                         ": the file ends inside a pair of years; each pair ends with two year records, "
                         "each followed by its 'ev as % of SS' record");
    return pairs;
}

void check_pairs_fit(const std::vector<Year>& years, const std::vector<Pair>& pairs, const std::string& por_path,
                     std::vector<std::string>& warnings) {
    if (pairs.empty()) {
        if (years.size() > 1)
            warnings.push_back(por_path + ": holds no pair of years although the year file has " +
                               std::to_string(years.size()) + " years; no pair panels are drawn");
        return;
    }
    const std::size_t want = years.size() - 1;
    if (pairs.size() != want)
        throw InputError(por_path + ": holds " + std::to_string(pairs.size()) + " pairs of years, but the year file's " +
                         std::to_string(years.size()) + " years make " + std::to_string(want) +
                         "; are both files from the same run?");
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const YearHead& a = years[i].head;
        const YearHead& b = years[i + 1].head;
        const Pair& p = pairs[i];
        if (p.from.index != a.index || p.from.name != a.name || p.to.index != b.index || p.to.name != b.name)
            throw InputError(por_path + ": pair " + std::to_string(i + 1) + " is of years " + year_text(p.from) +
                             " and " + year_text(p.to) + ", but the year file has " + year_text(a) + " and " +
                             year_text(b) + " there; are both files from the same run?");
    }
}

}  // namespace seqord::plot
