// Reading the plotting files: .ORP (year blocks) and .POR (pair blocks).
//
// Each line is first looked at as it stands to tell which record it is (by
// its length and its literal), then its fields are taken at the columns of
// that record's layout.
#include <algorithm>

#include "output/output.h"
#include "results/fields.h"

namespace seqord::results {

namespace {

namespace L = seqord::layouts;
using detail::columns;
using detail::end_of;
using detail::LineFile;

// The point record (A8,1X,I4,1X,A8,1X,4F8.3), the year record
// (2(I4,1X,A8,1X)) of which a year fills the first half, and the share of
// variation record (' ev as % of SS',4F8.3).
constexpr detail::Columns kPoint = columns(L::P1);
constexpr detail::Columns kLabel = columns(L::P3);
constexpr detail::Columns kEv = columns(L::P4);
static_assert(kPoint.n == 7 && kPoint[0].kind == Item::A && kPoint[1].kind == Item::I && kPoint[2].kind == Item::A);
static_assert(kPoint[3].kind == Item::F && kPoint[6].kind == Item::F);
static_assert(kLabel.n == 4 && kLabel[0].kind == Item::I && kLabel[1].kind == Item::A);
static_assert(kEv.n == 5 && kEv[0].kind == Item::Lit && kEv[1].kind == Item::F && kEv[4].kind == Item::F);
static_assert(&L::O1 == &L::P3 && &L::O2 == &L::P4 && &L::O3 == &L::P1);  // one layout for both files
constexpr std::size_t kPointLength = end_of(kPoint[6]);
constexpr std::size_t kLabelLength = end_of(kLabel[1]);
constexpr std::size_t kEvLength = end_of(kEv[4]);
static_assert(kPointLength == 55 && kLabelLength == 13 && kEvLength == 46);

enum class Kind { Empty, Label, Ev, Point, Unknown };

Kind classify(const LineFile& f) {
    const std::string_view t = f.text();
    if (f.raw().empty()) return Kind::Empty;
    if (f.has(kEv[0])) return t.size() == kEvLength ? Kind::Ev : Kind::Unknown;
    if (f.raw().size() <= kLabelLength) return t.size() >= kLabel[0].w ? Kind::Label : Kind::Unknown;
    return t.size() == kPointLength ? Kind::Point : Kind::Unknown;
}

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

// A plotting file, its current line told apart.
class PlotFile : public LineFile {
public:
    using LineFile::LineFile;

    bool next() {
        if (!LineFile::next()) return false;
        kind_ = classify(*this);
        return true;
    }
    Kind kind() const { return kind_; }

    [[noreturn]] void unexpected(const std::string& wanted) const {
        std::string what = kind_text(kind_);
        if (kind_ == Kind::Unknown) what += " (" + found() + ")";
        fail(what + " where " + wanted + " belongs");
    }

    YearHead label() const {
        YearHead h;
        h.index = integer(kLabel[0], kind_text(Kind::Label));
        h.name = name(kLabel[1]);
        h.line = line();
        return h;
    }
    void ev(YearHead& h) const {
        for (std::size_t i = 0; i < 4; ++i) h.percent[i] = real(kEv[1 + i], kind_text(Kind::Ev));
    }
    PointRecord point() const {
        PointRecord p;
        const char* what = kind_text(Kind::Point);
        p.year = name(kPoint[0]);
        p.location = integer(kPoint[1], what);
        p.name = name(kPoint[2]);
        for (std::size_t i = 0; i < 4; ++i) p.axis[i] = real(kPoint[3 + i], what);
        p.line = line();
        return p;
    }

private:
    Kind kind_ = Kind::Unknown;
};

std::string year_text(const YearHead& h) {
    return std::to_string(h.index) + " (" + std::string(shown(h.name)) + ")";
}

}  // namespace

std::vector<Year> read_years(const std::string& path) {
    PlotFile f(path, kORP);
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
            PointRecord p = f.point();
            Year& y = years.back();
            if (p.year != y.head.name)
                f.fail("a point record of year '" + std::string(shown(p.year)) + "' inside the block of year " +
                       year_text(y.head));
            if (p.location <= last_location)
                f.fail("location " + std::to_string(p.location) + " comes after location " +
                       std::to_string(last_location) + "; the locations of a year come in increasing order");
            last_location = p.location;
            y.points.push_back(std::move(p));
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

std::vector<Pair> read_pairs(const std::string& path) {
    PlotFile f(path, kPOR);
    std::vector<Pair> pairs;

    // One location group: one or two points, closed by an empty record.
    std::vector<std::vector<PointRecord>> groups;
    std::vector<PointRecord> open;
    int labels = 0;  // label records of the pair read so far (0..3)
    Pair pair;

    auto close_pair = [&]() {
        if (pair.to.index != pair.from.index + 1)
            f.fail("the pair of years " + year_text(pair.from) + " and " + year_text(pair.to) +
                   " are not successive years");
        for (const auto& g : groups) {
            Move m;
            m.location = g.front().location;
            m.name = g.front().name;
            for (std::size_t i = 0; i < g.size(); ++i) {
                const PointRecord& e = g[i];
                // The earlier year's point comes first; with both years of
                // one name a single point counts as the earlier year's.
                const bool from = i == 0 && e.year == pair.from.name;
                const bool to = !from && e.year == pair.to.name;
                if (!from && !to)
                    throw InputError(f.path() + ", line " + std::to_string(e.line) + ": a point record of year '" +
                                     std::string(shown(e.year)) + "' in the pair of years " + year_text(pair.from) +
                                     " and " + year_text(pair.to));
                (from ? m.in_from : m.in_to) = true;
                (from ? m.from : m.to) = e.axis;
            }
            pair.moves.push_back(std::move(m));
        }
        pairs.push_back(std::move(pair));
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
            PointRecord p = f.point();
            if (open.size() == 2)
                f.fail("a third point record in one location group (an empty record closes each group)");
            if (!open.empty() && open.front().location != p.location)
                f.fail("location " + std::to_string(p.location) + " follows location " +
                       std::to_string(open.front().location) + " without an empty record between them");
            open.push_back(std::move(p));
            break;
        }
        case Kind::Empty:
            if (open.empty()) f.fail("an empty record that closes no location group");
            groups.push_back(std::move(open));
            open.clear();
            break;
        case Kind::Label:
            if (!open.empty()) f.unexpected("the empty record closing location " + std::to_string(open.front().location));
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
                     [[maybe_unused]] std::vector<std::string>& warnings) {
    const std::size_t want = years.size() - 1;
    if (pairs.size() != want)
        throw InputError(por_path + ": holds " + counted(pairs.size(), "pair of years", "pairs of years") +
                         ", but the year file's years (" + std::to_string(years.size()) + ") make " + std::to_string(want) +
                         "; are both files from the same run, and whole?");
    // A point of a pair is the point of its year in the year file, printed
    // by the same record: the same fields.
    auto same_point = [&](const Year& y, const Move& m, const FourAxes& a) {
        const auto at = std::lower_bound(y.points.begin(), y.points.end(), m.location,
                                         [](const PointRecord& p, std::int32_t l) { return p.location < l; });
        const auto text = [](const Printed& v) { return v.known() ? v.text : std::string("asterisks"); };
        std::string why;
        if (at == y.points.end() || at->location != m.location) {
            why = "the year file has no point for it in that year";
        } else if (at->name != m.name) {
            why = "the year file, line " + std::to_string(at->line) + ", names location " + std::to_string(m.location) +
                  " '" + std::string(shown(at->name)) + "'";
        } else {
            for (std::size_t k = 0; k < 4 && why.empty(); ++k)
                if (a[k].text != at->axis[k].text)
                    why = "on axis " + std::to_string(k + 1) + " it is " + text(a[k]) + " here and " +
                          text(at->axis[k]) + " in the year file, line " + std::to_string(at->line);
        }
        if (why.empty()) return;
        throw InputError(por_path + ", line " + std::to_string(a[0].line) + ": the point of location " +
                         std::to_string(m.location) + " (" + std::string(shown(m.name)) + ") in year " +
                         year_text(y.head) + ": " + why + "; are both files from the same run?");
    };
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const YearHead& a = years[i].head;
        const YearHead& b = years[i + 1].head;
        const Pair& p = pairs[i];
        if (p.from.index != a.index || p.from.name != a.name || p.to.index != b.index || p.to.name != b.name)
            throw InputError(por_path + ": pair " + std::to_string(i + 1) + " is of years " + year_text(p.from) +
                             " and " + year_text(p.to) + ", but the year file has " + year_text(a) + " and " +
                             year_text(b) + " there; are both files from the same run?");
        for (const Move& m : p.moves) {
            if (m.in_from) same_point(years[i], m, m.from);
            if (m.in_to) same_point(years[i + 1], m, m.to);
        }
    }
}

}  // namespace seqord::results
