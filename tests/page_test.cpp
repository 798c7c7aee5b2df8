// seqord-plot --html: the data the interactive page carries, the page
// around them, and the program on whole jobs.  (What the page does with its
// data in a browser: page_browser_test.py.)
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "motion/motion.h"
#include "seqord-plot/html.h"
#include "seqord-plot/page_assets.h"
#include "support.h"

namespace seqord::test {
namespace {

using plot::HtmlPage;

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// The JSON block of a page.
std::string data_of(const std::string& html) {
    const std::string open = "<script type=\"application/json\" id=\"seqord-data\">";
    const std::size_t a = html.find(open);
    if (a == std::string::npos) return "";
    const std::size_t b = html.find("</script>", a);
    return html.substr(a + open.size(), b - a - open.size());
}

// Three locations over three years: the second year lacks one, the third
// is not placed.
HtmlPage small_page() {
    HtmlPage p;
    p.job = "JOB";
    p.title = "Trial </script> & co";
    p.settings = "SED, standardised, per year";
    p.fit_axes = 2;
    p.locations = {{1, "ALPHA", "Alpha \"A\""}, {2, "BETA", "Beta"}, {4, "DELTA", "Delta"}};
    HtmlPage::Year y1{1, "1996", "1996", std::array<double, 2>{41.5, 22.25}, true, {}, {}};
    y1.seqord = {{0, 0.5, -0.25}, {1, -0.125, 0.75}, {2, 0, 0}};
    y1.fitted = {{0, 0.123456, -0.5}, {1, -1.5, 0.000004}, {2, 0.25, 0.25}};
    HtmlPage::Year y2{2, "1997", "1997 (wet)", std::nullopt, true, {}, {}};
    y2.seqord = {{0, 0.25, 0.5}, {2, -1.5, 2}};
    y2.fitted = {{0, 0.2, 0.4}, {2, -1.4, 1.9}};
    HtmlPage::Year y3{3, "1998", "1998", std::array<double, 2>{50, 20}, false, {}, {}};
    y3.seqord = {{1, 0.1, 0.2}};
    p.years = {y1, y2, y3};
    p.stability = {{0, 2, 0.125, 0.25}, {2, 2, 0.5, std::nullopt}};
    p.pairs = {{0, 1, 2, std::nullopt, std::nullopt, std::nullopt}, {1, 2, 0, 1.5, 0.25, 0.75}};
    p.warnings = {"JOB.ORP, line 9: left out"};
    return p;
}

TEST(PageData, YearsFramesStabilityAndPairsAsTheScriptReadsThem) {
    const std::string j = plot::page_data_json(small_page());
    EXPECT_TRUE(contains(j, "\"title\":\"Trial \\u003c/script\\u003e \\u0026 co\"")) << j;
    EXPECT_TRUE(contains(j, "\"locations\":[[1,\"ALPHA\",\"Alpha \\\"A\\\"\"],[2,\"BETA\",\"Beta\"],[4,\"DELTA\",\"Delta\"]]"));
    // A year that holds every location in order leaves out "loc"; the
    // consensus frame keeps five significant digits of its largest value (1.9).
    EXPECT_TRUE(contains(j, "\"index\":1,\"short\":\"1996\",\"name\":\"1996\",\"share\":[41.5,22.25],\"placed\":true,"
                            "\"seqord\":{\"xy\":[0.5,-0.25,-0.125,0.75,0,0]},"
                            "\"fitted\":{\"xy\":[0.1235,-0.5000,-1.5000,0.0000,0.2500,0.2500]}}")) << j;
    EXPECT_TRUE(contains(j, "\"name\":\"1997 (wet)\",\"share\":null,\"placed\":true,"
                            "\"seqord\":{\"loc\":[0,2],\"xy\":[0.25,0.5,-1.5,2]},"
                            "\"fitted\":{\"loc\":[0,2],\"xy\":[0.2000,0.4000,-1.4000,1.9000]}}")) << j;
    EXPECT_TRUE(contains(j, "\"placed\":false,\"seqord\":{\"loc\":[1],\"xy\":[0.1,0.2]},\"fitted\":null}")) << j;
    EXPECT_TRUE(contains(j, "\"stability\":[[0,2,0.125,0.25],[2,2,0.5,null]]")) << j;
    EXPECT_TRUE(contains(j, "\"pairs\":[[0,1,2,null,null,null],[1,2,0,1.5,0.25,0.75]]")) << j;
    EXPECT_TRUE(contains(j, "\"warnings\":[\"JOB.ORP, line 9: left out\"]")) << j;
    EXPECT_EQ(j.find('<'), std::string::npos);
}

TEST(PageData, FiveSignificantDigitsOfTheLargestCoordinate) {
    const struct {
        double largest;
        int decimals;
    } cases[] = {{0.8, 5}, {1.0, 4}, {9.99, 4}, {12.0, 3}, {0.012, 6}, {123456.0, 0}, {0.0, 5}, {-1.0, 5}};
    for (const auto& c : cases) EXPECT_EQ(plot::decimals_for(c.largest), c.decimals) << c.largest;
}

TEST(PageData, ThePageIsSelfContained) {
    const std::string html = plot::render_html(small_page());
    EXPECT_TRUE(starts_with(html, "<!DOCTYPE html>\n<html lang=\"en\">"));
    // The browser is told to fetch nothing, and nothing is referred to.
    EXPECT_TRUE(contains(html, "content=\"default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
                               "img-src data: blob:\""));
    EXPECT_EQ(count(html, " src="), 0u);
    EXPECT_EQ(count(html, "href=\""), count(html, "href=\"data:,\""));
    EXPECT_EQ(count(html, "http://") + count(html, "https://"), count(html, "http://www.w3.org/2000/svg"));
    EXPECT_EQ(count(html, "@import"), 0u);
    // Script and style inside, whole; the data block cannot end early.
    EXPECT_TRUE(contains(html, std::string(plot::page::kPageJs)));
    EXPECT_TRUE(contains(html, std::string(plot::page::kPlotCss)));
    EXPECT_GT(plot::page::kPageJs.size(), 10000u);
    EXPECT_EQ(count(html, "</script>"), 2u);
    EXPECT_EQ(data_of(html), plot::page_data_json(small_page()));
    EXPECT_TRUE(contains(html, "<title>JOB: Trial &lt;/script&gt; &amp; co \xE2\x80\x94 seqord</title>"));
}

// The page of a known run: its 'seqord' frame is the printed points of
// .ORP, its 'fitted' frame the placed years of the motion library.
TEST(PageData, TheFramesAreThoseOfTheFileAndOfTheFit) {
    TempDir d;
    const auto src = data_dir() / "golden" / "small_001" / "expected" / "JOB.ORP";
    std::string orp = read_file(src);
    // Year 1, location 2 (YANKATER): axis 1 printed as asterisks.
    const std::size_t at = orp.find("1997        2 YANKATER");
    ASSERT_NE(at, std::string::npos);
    orp.replace(at + 23, 8, "********");
    write_file(d / "JOB.ORP", orp);
    const auto years = results::read_years((d / "JOB.ORP").string());
    std::vector<std::string> warnings;
    const motion::Motion m = motion::analyse(motion::from_years(years, 2, "JOB.ORP", warnings), 2);
    warnings.clear();
    plot::FullNames names;
    names.locations[1] = "Horyan (full)";
    names.years[2] = "1998 season";
    const HtmlPage p = plot::html_page_of("JOB", years, m, names, "JOB.ORP", warnings);

    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_TRUE(contains(warnings[0], "JOB.ORP, line 4: location 2 (YANKATER) of year 1997")) << warnings[0];
    ASSERT_EQ(p.years.size(), years.size());
    EXPECT_EQ(p.locations[0].name, "Horyan (full)");
    EXPECT_EQ(p.locations[0].short_name, "HORYAN");
    EXPECT_EQ(p.locations[1].name, "YANKATER");
    EXPECT_EQ(p.years[1].name, "1998 season");
    EXPECT_EQ(p.years[1].short_name, "1998");
    ASSERT_TRUE(p.years[0].share);
    EXPECT_EQ((*p.years[0].share)[0], 58.906);
    for (std::size_t y = 0; y < years.size(); ++y) {
        std::size_t kept = 0;
        for (const auto& r : years[y].points) {
            if (!r.axis[0].known()) continue;
            ASSERT_LT(kept, p.years[y].seqord.size());
            const auto& a = p.years[y].seqord[kept++];
            EXPECT_EQ(p.locations[a.location].index, r.location);
            EXPECT_EQ(a.x, std::stod(r.axis[0].text));  // the printed figure, not its float
            EXPECT_EQ(a.y, std::stod(r.axis[1].text));
        }
        EXPECT_EQ(kept, p.years[y].seqord.size());
    }
    EXPECT_EQ(p.years[0].seqord.size() + 1, years[0].points.size());
    std::size_t placed = 0;
    for (const auto& py : m.placed) {
        const auto& out = p.years[py.year];
        EXPECT_TRUE(out.placed);
        ASSERT_EQ(out.fitted.size(), py.points.size());
        for (std::size_t i = 0; i < py.points.size(); ++i) {
            EXPECT_EQ(p.locations[out.fitted[i].location].index, py.points[i].location);
            EXPECT_EQ(out.fitted[i].x, py.points[i].x[0]);
            EXPECT_EQ(out.fitted[i].y, py.points[i].x[1]);
        }
        ++placed;
    }
    EXPECT_EQ(placed + m.not_placed.size(), years.size());
    ASSERT_EQ(p.stability.size(), m.locations.size());
    ASSERT_EQ(p.pairs.size(), m.pairs.size());
    for (std::size_t i = 0; i < p.pairs.size(); ++i) {
        EXPECT_EQ(p.pairs[i].common, m.pairs[i].common);
        EXPECT_EQ(p.pairs[i].procrustes_r, m.pairs[i].procrustes_r);
    }
}

TEST(PageProgram, WritesTheJobsPageFromItsOrpAlone) {
    TempDir d;
    std::filesystem::copy_file(data_dir() / "golden" / "small_001" / "expected" / "JOB.ORP", d / "JOB.ORP");
    const RunResult r = run_plot(d.path(), "--html JOB.ORP");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "seqord-plot: warning: JOB.ORS and JOB.SOR are not there: JOB.ORP is drawn without the check "
                     "that it is of the run that wrote them (keep the four result files of a job together)\n");
    EXPECT_TRUE(starts_with(r.out, "seqord-plot: wrote JOB.html: ")) << r.out;
    EXPECT_FALSE(test::exists(d / "JOB.svg"));
    const std::string html = read_file(d / "JOB.html");
    EXPECT_TRUE(contains(data_of(html), "\"job\":\"JOB\""));
    EXPECT_TRUE(contains(html, "</html>\n"));
    EXPECT_TRUE(contains(data_of(html), "\"fitAxes\":2,"));
    // Fitted on three axes, the page shows the first two dimensions of that fit.
    ASSERT_EQ(run_plot(d.path(), "--html --fit-axes 3 JOB").status, 0);
    EXPECT_TRUE(contains(data_of(read_file(d / "JOB.html")), "\"fitAxes\":3,"));
}

TEST(PageProgram, RefusalsWriteNothing) {
    TempDir d;
    const struct {
        const char* args;
        const char* says;
    } cases[] = {
        {"--html", "no job name given"},
        {"--html --axes 1,3 JOB", "--axes is for the static page"},
        {"--html --frame seqord JOB", "--frame is for the static page"},
        {"--html --fit-axes 5 JOB", "--fit-axes takes 2, 3 or 4"},
        {"--html A B", "one job name only"},
        {"--html JOB", "JOB.ORP: no such file"},
    };
    write_file(d / "JOB.html", "earlier page");
    for (const auto& c : cases) {
        const RunResult r = run_plot(d.path(), c.args);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_TRUE(contains(r.err, c.says)) << c.args << ": " << r.err;
        EXPECT_EQ(read_file(d / "JOB.html"), "earlier page");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(d.path()), {}), 1);
    }
    // A damaged .ORP: the earlier page stays.
    write_file(d / "JOB.ORP", "   1 1997    \r\n ev as % of SS  58.906\r\n");
    const RunResult r = run_plot(d.path(), "--html JOB");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "JOB.html is not written")) << r.err;
    EXPECT_EQ(read_file(d / "JOB.html"), "earlier page");
}

// From a table of yields with awkward names to the page: the full names
// of the names file, escaped, and the settings of seqord-prep.
TEST(PageProgram, FullNamesAndSettingsFromTheNamesFile) {
    TempDir d;
    const char* locations[] = {"Grand \"Rapids\" </script>", "St Paul & Co", "Z\xC3\xBCrich", "Morris", "Waseca"};
    std::string csv = "year,location,genotype,yield\n";
    int k = 0;
    for (int year = 2001; year <= 2003; ++year)
        for (int l = 0; l < 5; ++l)
            for (int g = 0; g < 6; ++g) {
                k = (k * 37 + 11) % 101;
                std::string name = locations[l], esc;
                for (char c : name) esc += c == '"' ? std::string("\"\"") : std::string(1, c);
                csv += std::to_string(year) + ",\"" + esc + "\",G" + std::to_string(g) + "," +
                       std::to_string(20 + g * 3 + l * (g % 3) + (k % 17) * 0.25) + "\n";
            }
    write_file(d / "t.csv", csv);
    RunResult r = run_command(d.path(), SEQORD_PREP_EXE, {"--per-year", "--title", "Awkward names", "t.csv", "JOB"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(run_job(d.path()).status, 0);
    r = run_plot(d.path(), "--html JOB");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string html = read_file(d / "JOB.html"), data = data_of(html);
    EXPECT_EQ(count(html, "</script>"), 2u);
    EXPECT_TRUE(contains(data, "\"Grand \\\"Rapids\\\" \\u003c/script\\u003e\"")) << data;
    EXPECT_TRUE(contains(data, "\"St Paul \\u0026 Co\""));
    EXPECT_TRUE(contains(data, "\"Z\xC3\xBCrich\""));
    EXPECT_TRUE(contains(data, "\"title\":\"Awkward names\""));
    EXPECT_TRUE(contains(data, "per year")) << data;
    EXPECT_TRUE(contains(data, "\"namesFile\":\"JOB.names.csv\""));

    // A names file of another job: a warning, and the 8-character names.
    std::string names = read_file(d / "JOB.names.csv");
    const std::size_t at = names.find("Waseca,Waseca");
    ASSERT_NE(at, std::string::npos) << names;
    names.replace(at, 6, "Wasecb");
    write_file(d / "JOB.names.csv", names);
    r = run_plot(d.path(), "--html JOB");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "seqord-plot: warning: ")) << r.err;
    EXPECT_FALSE(contains(data_of(read_file(d / "JOB.html")), "Rapids"));
}

}  // namespace
}  // namespace seqord::test
