// gen_trial: simulates a multi-environment trial and writes it as the input
// pair of seqord, STEM.EMA (run header, title, options, one block per year
// with the dissimilarity matrix between that year's locations) and STEM.NAQ
// (year and location names).
//
// Model.  The mean of genotype g at location l in year t is
//
//     y(g, l, t) = mu + G(g) + L(l) + T(t) + GL(g, l) + GT(g, t) + GLT(g, l, t) + e(g, l, t)
//
// with every effect an independent normal draw of mean 0 and its own standard
// deviation (see Model below and --help).  GL is drawn once per genotype and
// location and recurs every year, so it is what makes a location look like
// itself from year to year; GLT and e are new every year.  mu, L and T shift a
// whole location-year and vanish in the standardisation below.
//
// Dissimilarity.  Per year and retained location the genotype means are
// standardised over the genotypes (mean 0, standard deviation 1, the variance
// taken with divisor G), and the dissimilarity of two locations is the
// squared Euclidean distance between their standardised vectors divided by
// G.  That equals 2 (1 - r), r the correlation of the two locations' genotype
// means, so it lies between 0 and 4.  The computation is the proximity
// library's, the one seqord-prep uses: `--table FILE` writes the simulated
// means as a table, and `seqord-prep --per-year` with this title makes the
// same two files from it.
//
// Missing data.  Each location is absent from each year with the chosen
// probability (its elimination entry is 0 and it has no matrix row), but every
// year keeps at least three locations.  One year of the sequence, --skip, is
// left out of the .EMA altogether.  All effects and the pattern of absences
// are drawn whether or not a year or location ends up in the file, so the
// missing fraction and the skipped year change nothing else, and the pattern
// of absences does not depend on the number of genotypes.
//
// Size.  The run header's MAXY and MAXL are the numbers of years and
// locations unless --maxy or --maxl ask for larger tables (the years and
// locations beyond the simulated ones have names but no data), and --nl keeps
// exactly that many locations every year (those with the smallest absence
// draws) instead of drawing absences with --missing.  A data set is refused
// when seqord's workspace could not hold its tables: the check uses seqord's
// own size formulas and capacities, so the largest data set that seqord
// analyses (for instance one year of 415 locations) can be generated.
//
// Output is byte-for-byte reproducible: the generator is a splitmix64 stream
// with Box-Muller normals (library distributions differ between standard
// libraries), each normal draw is rounded to a multiple of 2^-20 so that a
// last-bit difference in log or cos between maths libraries cannot reach the
// printed digits, and every record goes through seqord's own record layer, so
// each line has exactly the layout that seqord's readers expect.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "csv/csv.h"
#include "main/job.h"
#include "proximity/proximity.h"
#include "records/records.h"

namespace {

using seqord::Format;
using seqord::layout;
using seqord::Name;
using seqord::Out;

// ------------------------------------------------------------ options ---

struct Options {
    std::uint64_t seed = 20240517;
    int years = 6;
    int locations = 12;
    int genotypes = 20;
    double missing = 0.15;
    int skip = -1;  // -1: the default, year years/2 + 1 (none with fewer than 3 years)
    int maxy = 0;   // 0: the number of years
    int maxl = 0;   // 0: the number of locations
    int nl = 0;     // 0: absences drawn with `missing`; otherwise exactly this many kept each year
    int first_year = 2019;
    std::string out = "TRIAL";
    std::string table;  // empty: no table of the means
    // Model parameters: the overall mean and the standard deviations.
    double mu = 6.0;
    double sd_g = 0.5, sd_l = 1.2, sd_t = 0.6, sd_gl = 0.35, sd_gt = 0.2, sd_glt = 0.25, sd_e = 0.2;
};

// Every year keeps at least this many locations (fewer when the data set has fewer).
constexpr int kMinRetained = 3;

// Limits of single options; whether the tables fit seqord's workspace (its
// run report would otherwise be a dimension shortfall rather than an
// analysis) is checked on the whole set, see fits_workspace().
constexpr int kMaxYears = 999;
constexpr int kMaxLocations = 999;
constexpr int kMaxGenotypes = 10000;

void usage(std::FILE* to) {
    const Options d;
    std::fprintf(to,
                 "usage: gen_trial [options]\n"
                 "Simulates a multi-environment trial and writes STEM.EMA and STEM.NAQ for seqord.\n"
                 "  --out STEM         output stem (default %s)\n"
                 "  --table FILE       also write the simulated means as a table (CSV) for seqord-prep\n"
                 "  --seed N           seed of the random stream (default %llu)\n"
                 "  --years N          years in the data set, 1..%d (default %d)\n"
                 "  --locations N      locations, 2..%d (default %d)\n"
                 "  --genotypes N      genotypes, 3..%d (default %d)\n"
                 "  --missing P        chance that a location is absent in a year, 0 <= P < 1 (default %g)\n"
                 "  --nl N             keep exactly N locations every year instead (1..locations)\n"
                 "  --maxy N           MAXY of the run header, at least the years (default: the years)\n"
                 "  --maxl N           MAXL of the run header, at least the locations (default: the locations)\n"
                 "                     MAXY and MAXL must fit seqord's workspace: Z %d, MZ %d, AZ %d\n"
                 "  --skip K           year index without a block in the .EMA, 0 for none\n"
                 "                     (default: years/2 + 1, none with fewer than 3 years)\n"
                 "  --first-year N     name of year 1; year k is named N + k - 1 (default %d)\n"
                 "  --mu X             overall mean (default %g)\n"
                 "  --sd-g X  --sd-l X  --sd-t X  --sd-gl X  --sd-gt X  --sd-glt X  --sd-e X\n"
                 "                     standard deviations of the effects (defaults %g %g %g %g %g %g %g)\n",
                 d.out.c_str(), static_cast<unsigned long long>(d.seed), kMaxYears, d.years, kMaxLocations,
                 d.locations, kMaxGenotypes, d.genotypes, d.missing, seqord::job::Workspace::kZ,
                 seqord::job::Workspace::kMZ, seqord::job::Workspace::kAZ, d.first_year, d.mu, d.sd_g, d.sd_l, d.sd_t,
                 d.sd_gl, d.sd_gt, d.sd_glt, d.sd_e);
}

bool parse_int(const char* s, long long lo, long long hi, long long& out) {
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(s, &end, 10);
    if (errno != 0 || end == s || *end != '\0' || v < lo || v > hi) return false;
    out = v;
    return true;
}

bool parse_real(const char* s, double& out) {
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(s, &end);
    if (errno != 0 || end == s || *end != '\0' || !std::isfinite(v)) return false;
    out = v;
    return true;
}

// Whether seqord's workspace holds the tables of MAXY = y, MAXL = l; if not,
// says which area is short and by how much.
bool fits_workspace(int y, int l) {
    using seqord::job::Workspace;
    const seqord::job::Required r = seqord::job::required_sizes(y, l);
    bool fits = true;
    auto check = [&](const char* area, std::int64_t need, std::int64_t have) {
        if (need <= have) return;
        std::fprintf(stderr, "gen_trial: MAXY %d and MAXL %d need %lld elements of %s, more than its %lld\n", y, l,
                     static_cast<long long>(need), area, static_cast<long long>(have));
        fits = false;
    };
    check("Z", r.z, Workspace::kZ);
    check("MZ", r.mz, Workspace::kMZ);
    check("AZ", r.az, Workspace::kAZ);
    return fits;
}

// Parses the command line; on a bad option says why and returns false.
bool parse_options(int argc, char** argv, Options& o, bool& help) {
    help = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view opt = argv[i];
        if (opt == "--help" || opt == "-h") {
            help = true;
            return true;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "gen_trial: %s needs a value\n", argv[i]);
            return false;
        }
        const char* val = argv[++i];
        long long n = 0;
        double x = 0;
        bool ok = true;
        auto sd = [&](double& target) {
            ok = parse_real(val, x) && x >= 0;
            if (ok) target = x;
        };
        auto whole = [&](int& target, long long lo, long long hi) {
            ok = parse_int(val, lo, hi, n);
            if (ok) target = static_cast<int>(n);
        };
        if (opt == "--out") {
            o.out = val;
            ok = !o.out.empty();
        } else if (opt == "--table") {
            o.table = val;
            ok = !o.table.empty();
        } else if (opt == "--seed") {
            ok = val[0] != '-' && parse_int(val, 0, std::numeric_limits<long long>::max(), n);
            if (ok) o.seed = static_cast<std::uint64_t>(n);
        } else if (opt == "--years") {
            whole(o.years, 1, kMaxYears);
        } else if (opt == "--locations") {
            whole(o.locations, 2, kMaxLocations);
        } else if (opt == "--genotypes") {
            whole(o.genotypes, 3, kMaxGenotypes);
        } else if (opt == "--missing") {
            ok = parse_real(val, x) && x >= 0 && x < 1;
            if (ok) o.missing = x;
        } else if (opt == "--nl") {
            whole(o.nl, 1, kMaxLocations);
        } else if (opt == "--maxy") {
            whole(o.maxy, 1, kMaxYears);
        } else if (opt == "--maxl") {
            whole(o.maxl, 2, kMaxLocations);
        } else if (opt == "--skip") {
            whole(o.skip, 0, kMaxYears);
        } else if (opt == "--first-year") {
            whole(o.first_year, -9999999, 99999999);  // the name has 8 characters
        } else if (opt == "--mu") {
            ok = parse_real(val, x);
            if (ok) o.mu = x;
        } else if (opt == "--sd-g") sd(o.sd_g);
        else if (opt == "--sd-l") sd(o.sd_l);
        else if (opt == "--sd-t") sd(o.sd_t);
        else if (opt == "--sd-gl") sd(o.sd_gl);
        else if (opt == "--sd-gt") sd(o.sd_gt);
        else if (opt == "--sd-glt") sd(o.sd_glt);
        else if (opt == "--sd-e") sd(o.sd_e);
        else {
            std::fprintf(stderr, "gen_trial: unknown option %s\n", argv[i - 1]);
            return false;
        }
        if (!ok) {
            std::fprintf(stderr, "gen_trial: bad value for %s: %s\n", argv[i - 1], val);
            return false;
        }
    }
    if (o.skip < 0) o.skip = o.years >= 3 ? o.years / 2 + 1 : 0;
    if (o.skip > o.years) {
        std::fprintf(stderr, "gen_trial: --skip %d is beyond the %d years\n", o.skip, o.years);
        return false;
    }
    if (o.maxy == 0) o.maxy = o.years;
    if (o.maxl == 0) o.maxl = o.locations;
    if (o.maxy < o.years || o.maxl < o.locations) {
        std::fprintf(stderr, "gen_trial: MAXY %d and MAXL %d must be at least the %d years and %d locations\n",
                     o.maxy, o.maxl, o.years, o.locations);
        return false;
    }
    if (o.nl > o.locations) {
        std::fprintf(stderr, "gen_trial: --nl %d is more than the %d locations\n", o.nl, o.locations);
        return false;
    }
    if (!fits_workspace(o.maxy, o.maxl)) return false;
    if (o.first_year + o.maxy - 1 > 99999999) {
        std::fprintf(stderr, "gen_trial: the last year's name does not fit in 8 characters\n");
        return false;
    }
    return true;
}

// ------------------------------------------------------ random stream ---

// splitmix64: tiny, fast, and the same on every platform.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // Uniform on (0, 1), never 0 (the logarithm below needs that).
    double uniform() { return (static_cast<double>(next() >> 11) + 0.5) * 0x1.0p-53; }

    // Standard normal by Box-Muller; the two values of a pair are used in turn.
    double normal() {
        if (have_spare_) {
            have_spare_ = false;
            return spare_;
        }
        const double r = std::sqrt(-2.0 * std::log(uniform()));
        const double a = 2.0 * 3.14159265358979323846 * uniform();
        spare_ = quantise(r * std::sin(a));
        have_spare_ = true;
        return quantise(r * std::cos(a));
    }

    double normal(double sd) { return sd * normal(); }

private:
    // log, sin and cos may differ in the last bit between maths libraries;
    // snapping to a coarse binary grid absorbs that, and the rest of the
    // arithmetic is exact IEEE and therefore the same everywhere.
    static double quantise(double z) { return std::round(z * 0x1.0p20) * 0x1.0p-20; }

    std::uint64_t state_;
    double spare_ = 0.0;
    bool have_spare_ = false;
};

// ---------------------------------------------------------------- model ---

struct Trial {
    int years = 0, locations = 0, genotypes = 0;
    // y(g, l, t) at [((t - 1) * L + (l - 1)) * G + (g - 1)]
    std::vector<double> y;
    // retained(l, t) at [(t - 1) * L + (l - 1)]: 1 present, 0 absent
    std::vector<std::int32_t> retained;

    double& mean(int g, int l, int t) {
        return y[(static_cast<std::size_t>(t - 1) * static_cast<std::size_t>(locations) +
                  static_cast<std::size_t>(l - 1)) *
                     static_cast<std::size_t>(genotypes) +
                 static_cast<std::size_t>(g - 1)];
    }
    std::int32_t* flags(int t) { return &retained[static_cast<std::size_t>(t - 1) * static_cast<std::size_t>(locations)]; }
};

Trial simulate(const Options& o) {
    const int G = o.genotypes, L = o.locations, Y = o.years;
    Trial tr;
    tr.years = Y;
    tr.locations = L;
    tr.genotypes = G;
    tr.y.assign(static_cast<std::size_t>(G) * static_cast<std::size_t>(L) * static_cast<std::size_t>(Y), 0.0);
    tr.retained.assign(static_cast<std::size_t>(L) * static_cast<std::size_t>(Y), 1);

    // Effects, drawn in a fixed order: main effects, then the two-way
    // interactions, then year by year the three-way interaction and error.
    Random rng(o.seed);
    auto draw = [&](std::size_t n, double sd) {
        std::vector<double> v(n);
        for (double& x : v) x = rng.normal(sd);
        return v;
    };
    const std::size_t g = static_cast<std::size_t>(G), l = static_cast<std::size_t>(L),
                      t = static_cast<std::size_t>(Y);
    const std::vector<double> eG = draw(g, o.sd_g), eL = draw(l, o.sd_l), eT = draw(t, o.sd_t);
    const std::vector<double> eGL = draw(g * l, o.sd_gl), eGT = draw(g * t, o.sd_gt);
    for (int yt = 1; yt <= Y; ++yt) {
        const std::vector<double> eGLT = draw(g * l, o.sd_glt), eE = draw(g * l, o.sd_e);
        for (int lo = 1; lo <= L; ++lo)
            for (int ge = 1; ge <= G; ++ge) {
                const std::size_t gi = static_cast<std::size_t>(ge - 1), li = static_cast<std::size_t>(lo - 1),
                                  ti = static_cast<std::size_t>(yt - 1);
                tr.mean(ge, lo, yt) = o.mu + eG[gi] + eL[li] + eT[ti] + eGL[li * g + gi] + eGT[ti * g + gi] +
                                      eGLT[li * g + gi] + eE[li * g + gi];
            }
    }

    // Absences come from a stream of their own, so the pattern does not
    // depend on how many genotypes were drawn.
    Random gaps(o.seed ^ 0xA5A5A5A55A5A5A5Aull);
    const int keep_at_least = std::min(kMinRetained, L);
    for (int yt = 1; yt <= Y; ++yt) {
        std::vector<double> u(l);
        for (double& x : u) x = gaps.uniform();
        std::int32_t* f = tr.flags(yt);
        if (o.nl > 0) {
            // Exactly nl kept: those with the smallest draws, the lower location
            // first among equal draws.
            std::vector<std::size_t> order(l);
            for (std::size_t j = 0; j < l; ++j) order[j] = j;
            std::stable_sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) { return u[x] < u[y]; });
            for (std::size_t j = 0; j < l; ++j) f[order[j]] = j < static_cast<std::size_t>(o.nl) ? 1 : 0;
            continue;
        }
        int kept = 0;
        for (std::size_t j = 0; j < l; ++j) {
            f[j] = u[j] < o.missing ? 0 : 1;
            kept += f[j];
        }
        // Too few left: bring back the absent locations with the largest draws.
        while (kept < keep_at_least) {
            std::size_t best = l;
            for (std::size_t j = 0; j < l; ++j)
                if (f[j] == 0 && (best == l || u[j] > u[best])) best = j;
            f[best] = 1;
            ++kept;
        }
    }
    return tr;
}

// The dissimilarities of every year, by seqord-prep's own measure: each
// year alone, unweighted, the standardised SED.
seqord::proximity::Result dissimilarities(Trial& tr) {
    std::vector<seqord::proximity::YearMeans> years(static_cast<std::size_t>(tr.years));
    for (int t = 1; t <= tr.years; ++t) {
        seqord::proximity::YearMeans& means = years[static_cast<std::size_t>(t - 1)];
        means.resize(static_cast<std::size_t>(tr.locations));
        const std::int32_t* f = tr.flags(t);
        for (int l = 1; l <= tr.locations; ++l) {
            if (f[l - 1] != 1) continue;
            for (int g = 1; g <= tr.genotypes; ++g)
                means[static_cast<std::size_t>(l - 1)].push_back({g - 1, tr.mean(g, l, t)});
        }
    }
    seqord::proximity::Settings s;
    s.cumulative = false;
    s.min_common = std::min(kMinRetained, tr.genotypes);
    return seqord::proximity::compute(years, tr.locations, s);
}

// ---------------------------------------------------------------- names ---

Name location_name(int l) {
    static constexpr const char* kNames[] = {
        "ALDERTON", "BRAMLEY", "CROFTON", "DUNMORE", "ELMSTEAD", "FAIRLIE", "GLENROY",
        "HAWTHORN", "IVYBANK", "JUNIPER", "KELSO", "LINWOOD", "MARSHAM", "NORTHAM",
        "OAKHURST", "PENRITH", "QUARRYBK", "ROSEDALE", "SEDGLEY", "THORNBY",
    };
    constexpr int n = static_cast<int>(sizeof kNames / sizeof kNames[0]);
    if (l <= n) return Name::of(kNames[l - 1]);
    return Name::of("LOC" + std::to_string(l));
}

Name year_name(const Options& o, int k) { return Name::of(std::to_string(o.first_year + k - 1)); }

// --------------------------------------------------------------- output ---

// The input layouts of seqord, one per kind of record.
constexpr Format kLine = layout("(A)");
constexpr Format kHeader = layout("(5I6)");
constexpr Format kCounts = layout("(3I6)");
constexpr Format kOptions = layout("(4(5X,A1))");
constexpr Format kYear = layout("(I6,4X,A8)");
constexpr Format kCount = layout("(I6)");
constexpr Format kFlags = layout("(30I3)");
constexpr Format kRow = layout("(I6,1X,A8,1X,1(T17,10E16.8))");
constexpr Format kName = layout("(A8)");

std::string title_of(const Options& o) {
    std::string t = "Simulated MET " + std::to_string(o.years) + "y x " + std::to_string(o.locations) + "loc x " +
                    std::to_string(o.genotypes) + "gen, seed " + std::to_string(o.seed);
    if (t.size() > 50) t.resize(50);
    return t;
}

void write_ema(const Options& o, Trial& tr, const seqord::proximity::Result& prox, const std::string& path) {
    seqord::OutStream ema;
    ema.open_file(20, path);
    seqord::write(ema, kHeader, {o.maxy, o.maxl, o.genotypes, 1, o.years});
    seqord::write(ema, kLine, {std::string_view(title_of(o))});
    // Unweighted analysis of squared Euclidean distances between standardised means.
    seqord::write(ema, kOptions, {"U", "S", "S", "N"});
    for (int t = 1; t <= o.years; ++t) {
        if (t == o.skip) continue;
        const std::int32_t* f = tr.flags(t);
        const int nl = static_cast<int>(std::count(f, f + o.locations, 1));
        seqord::write(ema, kYear, {t, year_name(o, t)});
        seqord::write(ema, kCount, {nl});
        // MAXL entries: the locations beyond the simulated ones are never kept.
        std::vector<std::int32_t> flags(f, f + o.locations);
        flags.resize(static_cast<std::size_t>(o.maxl), 0);
        seqord::write(ema, kFlags, {Out::ints(flags.data(), flags.size())});
        const seqord::proximity::YearMatrix& m = prox.years[static_cast<std::size_t>(t - 1)];
        std::vector<float> row;
        for (std::size_t i = 0; i < m.retained.size(); ++i) {
            row.clear();
            for (std::size_t j = 0; j < i; ++j) row.push_back(static_cast<float>(m.lower[i * (i - 1) / 2 + j]));
            row.push_back(0.0f);  // the diagonal closes every row
            seqord::write(ema, kRow, {static_cast<int>(i) + 1, location_name(m.retained[i] + 1),
                                      Out::reals(row.data(), row.size())});
        }
    }
    ema.close();
}

// The simulated means as a long table, one row per year, location and
// genotype present (every year, the one left out of the .EMA included):
// what seqord-prep reads.  Genotypes are named G1.. with leading zeros, so
// that their order by name is their order here; values are written in the
// shortest form that reads back as the same double.
void write_table(const Options& o, Trial& tr, const std::string& path) {
    seqord::OutStream table;
    table.open_file(22, path);
    seqord::csv::write_row(table, {"year", "location", "genotype", "yield"});
    const std::size_t width = std::to_string(o.genotypes).size();
    for (int t = 1; t <= o.years; ++t)
        for (int l = 1; l <= o.locations; ++l) {
            if (tr.flags(t)[l - 1] != 1) continue;
            const std::string year = std::to_string(o.first_year + t - 1);
            const Name loc = location_name(l);
            const std::string location(loc.view().substr(0, loc.view().find(' ')));
            for (int g = 1; g <= o.genotypes; ++g) {
                std::string genotype = std::to_string(g);
                genotype.insert(0, width - genotype.size(), '0');
                char value[32];
                const auto end = std::to_chars(value, value + sizeof value, tr.mean(g, l, t)).ptr;
                seqord::csv::write_row(table, {year, location, "G" + genotype, std::string_view(value, end)});
            }
        }
    table.close();
}

void write_naq(const Options& o, const std::string& path) {
    seqord::OutStream naq;
    naq.open_file(21, path);
    std::string heading = "NAMES: " + title_of(o);
    if (heading.size() > 50) heading.resize(50);
    seqord::write(naq, kLine, {std::string_view(heading)});
    seqord::write(naq, kCounts, {o.maxy, o.maxl, o.genotypes});
    for (int k = 1; k <= o.maxy; ++k) seqord::write(naq, kName, {year_name(o, k)});
    for (int l = 1; l <= o.maxl; ++l) seqord::write(naq, kName, {location_name(l)});
    naq.close();
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    bool help = false;
    if (!parse_options(argc, argv, o, help)) {
        usage(stderr);
        return 2;
    }
    if (help) {
        usage(stdout);
        return 0;
    }
    try {
        Trial tr = simulate(o);
        const seqord::proximity::Result prox = dissimilarities(tr);
        if (!prox.constant.empty()) {
            const auto& c = prox.constant.front();
            std::fprintf(stderr,
                         "gen_trial: %.8s has the same mean for every genotype in year %d: its standardised "
                         "distances are undefined (give the genotypes or the interactions some spread)\n",
                         location_name(c.location + 1).c.data(), c.year + 1);
            return 2;
        }
        write_ema(o, tr, prox, o.out + ".EMA");
        write_naq(o, o.out + ".NAQ");
        int blocks = 0, absent = 0;
        for (int t = 1; t <= o.years; ++t) {
            if (t == o.skip) continue;
            ++blocks;
            absent += static_cast<int>(std::count(tr.flags(t), tr.flags(t) + o.locations, 0));
        }
        std::printf("gen_trial: wrote %s.EMA (%d year blocks", o.out.c_str(), blocks);
        if (o.skip > 0) std::printf(", year %d without a block", o.skip);
        std::printf(", %d absent locations) and %s.NAQ\n", absent, o.out.c_str());
        if (!o.table.empty()) {
            write_table(o, tr, o.table);
            std::printf("gen_trial: wrote the simulated means to %s\n", o.table.c_str());
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "gen_trial: %s\n", e.what());
        return 1;
    }
    return 0;
}
