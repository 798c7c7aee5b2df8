// seqord-plot: reading the plotting files, the page it draws, label
// placement, and the executable on whole jobs and on bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <map>

#include "output/output.h"
#include "seqord-plot/plot.h"
#include "support.h"

namespace seqord::test {
namespace {

using namespace seqord::plot;
using results::read_pairs;
using results::read_years;

// The records of a plotting file as the program writes them, through the
// output catalogue.
std::string records(const std::function<void(OutStream&)>& write_them) {
    TempDir d;
    {
        OutStream s;
        s.open_file(results::kORP, (d / "f").string());
        write_them(s);
        s.close();
    }
    return read_file(d / "f");
}

void year_head(OutStream& s, int k, const char* name, float p1, float p2) {
    const float pct[4] = {p1, p2, 10.0f, 5.0f};
    out::O1(s, k, Name::of(name));
    out::O2(s, {pct, 4});
}

void point(OutStream& s, const char* year, int l, const char* loc, float x, float y) {
    const float v[4] = {x, y, 0.125f, -0.5f};
    out::O3(s, Name::of(year), l, Name::of(loc), {v, 4});
}

// Two years: 1996 with three locations, 1997 with two.
std::string two_years() {
    return records([](OutStream& s) {
        year_head(s, 1, "1996", 41.5f, 22.25f);
        point(s, "1996", 1, "ALPHA", 0.5f, -0.25f);
        point(s, "1996", 2, "BETA", -0.125f, 0.75f);
        point(s, "1996", 4, "DELTA", 0.0f, 0.0f);
        year_head(s, 2, "1997", 38.0f, 30.0f);
        point(s, "1997", 2, "BETA", 0.25f, 0.5f);
        point(s, "1997", 3, "GAMMA", -1.5f, 2.0f);
    });
}

// The pair file of the same two years: ALPHA and DELTA only in 1996, GAMMA
// only in 1997, BETA in both.
std::string one_pair() {
    return records([](OutStream& s) {
        point(s, "1996", 1, "ALPHA", 0.5f, -0.25f);
        out::P2(s);
        point(s, "1996", 2, "BETA", -0.125f, 0.75f);
        point(s, "1997", 2, "BETA", 0.25f, 0.5f);
        out::P2(s);
        point(s, "1997", 3, "GAMMA", -1.5f, 2.0f);
        out::P2(s);
        point(s, "1996", 4, "DELTA", 0.0f, 0.0f);
        out::P2(s);
        year_head(s, 1, "1996", 41.5f, 22.25f);
        year_head(s, 2, "1997", 38.0f, 30.0f);
    });
}

// Replaces line `n` (from 1) of a CR LF file.
std::string with_line(const std::string& text, int n, const std::string& line) {
    std::size_t b = 0;
    for (int i = 1; i < n; ++i) b = text.find('\n', b) + 1;
    const std::size_t e = text.find("\r\n", b);
    return text.substr(0, b) + line + text.substr(e);
}

std::string line_of(const std::string& text, int n) {
    std::size_t b = 0;
    for (int i = 1; i < n; ++i) b = text.find('\n', b) + 1;
    return text.substr(b, text.find("\r\n", b) - b);
}

struct Files2 {
    TempDir dir;
    std::string orp = (dir / "JOB.ORP").string();
    std::string por = (dir / "JOB.POR").string();
};

std::vector<results::Year> years_of(const std::string& text) {
    Files2 f;
    write_file(f.orp, text);
    return read_years(f.orp);
}

std::vector<results::Pair> pairs_of(const std::string& text) {
    Files2 f;
    write_file(f.por, text);
    return read_pairs(f.por);
}

// The page of the plotting files `orp` and `por` for `view`.
Page page_for(const std::string& orp, const std::string& por, View view, std::vector<std::string>& warnings) {
    return page_of(years_of(orp), por.empty() ? std::vector<results::Pair>{} : pairs_of(por), view, "JOB.ORP",
                   "JOB.POR", warnings);
}

// The message of the InputError that reading `text` as a year file (or a
// pair file) throws; empty when it reads.
std::string year_error(const std::string& text) {
    try {
        years_of(text);
    } catch (const InputError& e) {
        return e.what();
    }
    return {};
}

std::string pair_error(const std::string& text) {
    try {
        pairs_of(text);
    } catch (const InputError& e) {
        return e.what();
    }
    return {};
}

std::size_t count(const std::string& s, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t p = s.find(what); p != std::string::npos; p = s.find(what, p + what.size())) ++n;
    return n;
}

// The text of each panel of kind `kind` ("year" or "pair") of a page.
std::vector<std::string> panels(const std::string& svg, const std::string& kind) {
    std::vector<std::string> out;
    const std::string open = "<g class=\"panel " + kind + "\"";
    for (std::size_t p = svg.find(open); p != std::string::npos; p = svg.find(open, p + 1)) {
        std::size_t e = svg.find("<g class=\"panel ", p + 1);
        out.push_back(svg.substr(p, e == std::string::npos ? std::string::npos : e - p));
    }
    return out;
}

bool have_xmllint() { return std::system("command -v xmllint >/dev/null 2>&1") == 0; }

// xmllint's verdict on a file: empty when well formed, else its complaint.
std::string xmllint(const std::filesystem::path& p) {
    TempDir d;
    const std::string cmd = "xmllint --noout '" + p.string() + "' 2> '" + (d / "err").string() + "'";
    const int rc = std::system(cmd.c_str());
    std::string err = read_file(d / "err");
    return rc == 0 ? std::string() : "xmllint failed: " + err;
}

// ------------------------------------------------------------ reading ---

TEST(PlotRead, YearFileGivesEveryYearWithItsSharesAndPoints) {
    std::vector<std::string> w;
    const auto years = years_of(two_years());
    EXPECT_TRUE(w.empty());
    ASSERT_EQ(years.size(), 2u);
    EXPECT_EQ(years[0].head.index, 1);
    EXPECT_EQ(shown(years[0].head.name), "1996");
    EXPECT_FLOAT_EQ(years[0].head.percent[0].value, 41.5f);
    EXPECT_FLOAT_EQ(years[0].head.percent[1].value, 22.25f);
    ASSERT_EQ(years[0].points.size(), 3u);
    EXPECT_EQ(years[0].points[1].location, 2);
    EXPECT_EQ(shown(years[0].points[1].name), "BETA");
    EXPECT_FLOAT_EQ(years[0].points[1].axis[0].value, -0.125f);
    EXPECT_FLOAT_EQ(years[0].points[1].axis[1].value, 0.75f);
    EXPECT_EQ(years[0].points[1].axis[1].text, "0.750");
    EXPECT_EQ(years[0].points[1].axis[3].text, "-0.500");
    EXPECT_EQ(years[0].points[1].line, 4);
    EXPECT_EQ(years[1].head.index, 2);
    ASSERT_EQ(years[1].points.size(), 2u);
    EXPECT_EQ(years[1].points[1].location, 3);
    EXPECT_FLOAT_EQ(years[1].points[1].axis[0].value, -1.5f);
}

TEST(PlotRead, LfLineEndsReadLikeCrLf) {
    std::string lf = two_years();
    lf.erase(std::remove(lf.begin(), lf.end(), '\r'), lf.end());
    std::vector<std::string> w;
    const auto years = years_of(lf);
    ASSERT_EQ(years.size(), 2u);
    EXPECT_EQ(years[0].points.size(), 3u);
    EXPECT_FLOAT_EQ(years[1].points[0].axis[1].value, 0.5f);
}

TEST(PlotRead, AYearWithoutPointsAndAFileOfOneYear) {
    const std::string text = records([](OutStream& s) {
        year_head(s, 3, "LOST", 0.0f, 0.0f);
        year_head(s, 4, "KEPT", 60.0f, 40.0f);
        point(s, "KEPT", 7, "X", 1.0f, 1.0f);
    });
    std::vector<std::string> w;
    const auto years = years_of(text);
    ASSERT_EQ(years.size(), 2u);
    EXPECT_TRUE(years[0].points.empty());
    EXPECT_EQ(years[1].points.size(), 1u);
    EXPECT_EQ(years_of(line_of(text, 1) + "\r\n" + line_of(text, 2) + "\r\n").size(), 1u);
}

TEST(PlotRead, AsterisksMarkAValueUnknownAndThePageLeavesOutWhatItCannotDraw) {
    // Axis 1 of BETA (line 4) too wide, axis 3 of ALPHA (line 3) too wide;
    // the share of axis 2 of year 1 too wide.
    std::string text = two_years();
    std::string beta = line_of(text, 4), alpha = line_of(text, 3), ev = line_of(text, 2);
    beta.replace(23, 8, "********");
    alpha.replace(39, 8, "********");
    ev.replace(22, 8, "********");
    text = with_line(with_line(with_line(text, 4, beta), 3, alpha), 2, ev);
    const auto years = years_of(text);
    ASSERT_EQ(years[0].points.size(), 3u);
    EXPECT_FALSE(years[0].points[1].axis[0].known());
    EXPECT_EQ(years[0].points[1].axis[0].line, 4);
    EXPECT_TRUE(years[0].points[1].axis[1].known());
    EXPECT_FALSE(years[0].points[0].axis[2].known());
    EXPECT_TRUE(years[0].head.percent[0].known());
    EXPECT_FALSE(years[0].head.percent[1].known());
    EXPECT_TRUE(years[0].head.percent[2].known());

    // Axes 1 and 2 lose BETA; axes 3 and 4 lose ALPHA; axes 2 and 4 neither.
    struct Case {
        View view;
        std::vector<std::string> drawn;
        const char* warning;
    };
    const Case cases[] = {
        {{1, 2}, {"ALPHA", "DELTA"}, "JOB.ORP, line 4: location 2 (BETA) of year 1996 has a value too wide"},
        {{3, 4}, {"BETA", "DELTA"}, "JOB.ORP, line 3: location 1 (ALPHA) of year 1996 has a value too wide"},
        {{2, 4}, {"ALPHA", "BETA", "DELTA"}, nullptr},
    };
    for (const Case& c : cases) {
        std::vector<std::string> w;
        const Page page = page_of(years, {}, c.view, "JOB.ORP", "JOB.POR", w);
        std::vector<std::string> drawn;
        for (const Point& p : page.years[0].points) drawn.emplace_back(shown(p.name));
        EXPECT_EQ(drawn, c.drawn) << c.view.x << "," << c.view.y;
        if (c.warning == nullptr) {
            EXPECT_TRUE(w.empty()) << w[0];
        } else {
            ASSERT_EQ(w.size(), 1u);
            EXPECT_EQ(w[0].rfind(c.warning, 0), 0u) << w[0];
        }
    }
    std::vector<std::string> w;
    const Page page = page_of(years, {}, {3, 2}, "JOB.ORP", "JOB.POR", w);
    ASSERT_EQ(page.years[0].points.size(), 2u);
    EXPECT_FLOAT_EQ(page.years[0].points[0].x, 0.125f);  // BETA: axis 3 across
    EXPECT_FLOAT_EQ(page.years[0].points[0].y, 0.75f);   // and axis 2 up
}

TEST(PlotRead, MalformedYearFilesNameTheFileAndLine) {
    const std::string good = two_years();
    const std::string pt = line_of(good, 3);
    struct Case {
        const char* what;
        std::string text;
        const char* expect;
    };
    const Case cases[] = {
        {"empty", "", "JOB.ORP: holds no year"},
        {"truncated point", with_line(good, 3, pt.substr(0, 40)), "JOB.ORP, line 3: a record of no known kind"},
        {"location not a number", with_line(good, 3, pt.substr(0, 9) + "  x1" + pt.substr(13)),
         "JOB.ORP, line 3: a point record with a field that is not a number (columns 10-13"},
        {"value not a number", with_line(good, 3, pt.substr(0, 24) + "0.5O0" + pt.substr(29)),
         "JOB.ORP, line 3: a point record with a field that is not a number (columns 24-31"},
        {"point first", pt + "\r\n" + good, "JOB.ORP, line 1: a point record where the first year record belongs"},
        {"no ev record", with_line(good, 2, line_of(good, 3)), "JOB.ORP, line 2: a point record where the 'ev as"},
        {"ends after label", good + "   3 1998    \r\n", "JOB.ORP, line 10: the file ends after year record 3 (1998) without"},
        {"empty line", with_line(good, 4, ""), "JOB.ORP, line 4: an empty record where"},
        {"point of another year", with_line(good, 4, "1997    " + line_of(good, 4).substr(8)),
         "JOB.ORP, line 4: a point record of year '1997' inside the block of year 1 (1996)"},
        {"locations out of order", with_line(good, 5, line_of(good, 3)),
         "JOB.ORP, line 5: location 1 comes after location 2"},
        {"years not successive", with_line(good, 6, "   3 1997    "), "JOB.ORP, line 6: year 3 follows year 1"},
    };
    for (const Case& c : cases) {
        const std::string e = year_error(c.text);
        EXPECT_NE(e.find(c.expect), std::string::npos) << c.what << ": " << e;
    }
}

TEST(PlotRead, PairFileGroupsEachLocationOfBothYears) {
    std::vector<std::string> w;
    const auto pairs = pairs_of(one_pair());
    EXPECT_TRUE(w.empty());
    ASSERT_EQ(pairs.size(), 1u);
    const results::Pair& p = pairs[0];
    EXPECT_EQ(p.from.index, 1);
    EXPECT_EQ(p.to.index, 2);
    EXPECT_FLOAT_EQ(p.to.percent[1].value, 30.0f);
    ASSERT_EQ(p.moves.size(), 4u);
    EXPECT_TRUE(p.moves[0].in_from && !p.moves[0].in_to);  // ALPHA
    const results::Move& beta = p.moves[1];
    EXPECT_TRUE(beta.in_from && beta.in_to);
    EXPECT_FLOAT_EQ(beta.from[0].value, -0.125f);
    EXPECT_FLOAT_EQ(beta.from[1].value, 0.75f);
    EXPECT_FLOAT_EQ(beta.to[0].value, 0.25f);
    EXPECT_FLOAT_EQ(beta.to[1].value, 0.5f);
    EXPECT_TRUE(!p.moves[2].in_from && p.moves[2].in_to);  // GAMMA
    EXPECT_FLOAT_EQ(p.moves[2].to[0].value, -1.5f);
    EXPECT_EQ(p.moves[3].location, 4);
}

TEST(PlotRead, AnEmptyPairFileHasNoPairs) {
    std::vector<std::string> w;
    EXPECT_TRUE(pairs_of("").empty());
    EXPECT_TRUE(w.empty());
}

TEST(PlotRead, MalformedPairFilesNameTheFileAndLine) {
    const std::string good = one_pair();  // lines: 1 A, 2 -, 3 B, 4 B, 5 -, 6 G, 7 -, 8 D, 9 -, 10-13 labels
    struct Case {
        const char* what;
        std::string text;
        const char* expect;
    };
    const Case cases[] = {
        {"cut inside a group", good.substr(0, good.find("\r\n", good.find("BETA")) + 2),
         "JOB.POR, after line 3: the file ends inside a pair of years"},
        {"cut before the labels", good.substr(0, good.find("   1 1996")),
         "JOB.POR, after line 9: the file ends inside a pair of years"},
        {"cut inside the labels", good.substr(0, good.find(" ev as")), "JOB.POR, after line 10"},
        {"group not closed", with_line(good, 5, line_of(good, 4)), "JOB.POR, line 5: a third point record"},
        {"two locations in one group", with_line(good, 2, line_of(good, 3)),
         "JOB.POR, line 2: location 2 follows location 1 without an empty record"},
        {"empty record alone", "\r\n" + good, "JOB.POR, line 1: an empty record that closes no location group"},
        {"labels inside a group", with_line(good, 9, line_of(good, 10)),
         "JOB.POR, line 9: a year record where the empty record closing location 4 belongs"},
        {"point of a third year", with_line(good, 1, "1995    " + line_of(good, 1).substr(8)),
         "JOB.POR, line 1: a point record of year '1995' in the pair of years 1 (1996) and 2 (1997)"},
        {"later year first", with_line(with_line(good, 3, line_of(good, 4)), 4, line_of(good, 3)),
         "JOB.POR, line 4: a point record of year '1996'"},
        {"years not successive", with_line(good, 12, "   3 1997    "), "are not successive years"},
        {"label where ev belongs", with_line(good, 11, line_of(good, 10)),
         "JOB.POR, line 11: a year record where the 'ev as % of SS' record"},
    };
    for (const Case& c : cases) {
        const std::string e = pair_error(c.text);
        EXPECT_NE(e.find(c.expect), std::string::npos) << c.what << ": " << e;
    }
}

TEST(PlotRead, PairsMustBeTheSuccessiveYearsOfTheYearFile) {
    std::vector<std::string> w;
    const auto years = years_of(two_years());
    auto pairs = pairs_of(one_pair());
    EXPECT_NO_THROW(check_pairs_fit(years, pairs, "JOB.POR", w));
    EXPECT_TRUE(w.empty());

    // An empty pair file fits a year file of one year only: beside two
    // years it is the file of another run, or one cut short.
    try {
        check_pairs_fit(years, {}, "JOB.POR", w);
        ADD_FAILURE() << "no pair for two years accepted";
    } catch (const InputError& e) {
        EXPECT_NE(std::string(e.what()).find("JOB.POR: holds 0 pairs of years"), std::string::npos) << e.what();
    }
    EXPECT_NO_THROW(results::check_pairs_fit({years[0]}, {}, "JOB.POR", w));
    EXPECT_TRUE(w.empty());

    auto renamed = pairs;
    renamed[0].to.name = Name::of("1998");
    EXPECT_THROW(check_pairs_fit(years, renamed, "JOB.POR", w), InputError);
    auto twice = pairs;
    twice.push_back(pairs[0]);
    try {
        check_pairs_fit(years, twice, "JOB.POR", w);
        ADD_FAILURE() << "two pairs for two years accepted";
    } catch (const InputError& e) {
        EXPECT_NE(std::string(e.what()).find("JOB.POR: holds 2 pairs of years"), std::string::npos) << e.what();
    }
}

TEST(PlotRead, MissingFileAndFolderAreReportedByName) {
    TempDir d;
    std::vector<std::string> w;
    try {
        read_years((d / "NONE.ORP").string());
        ADD_FAILURE() << "a missing file read";
    } catch (const InputError& e) {
        EXPECT_NE(std::string(e.what()).find("NONE.ORP: no such file"), std::string::npos) << e.what();
    }
    std::filesystem::create_directory(d / "DIR.POR");
    try {
        read_pairs((d / "DIR.POR").string());
        ADD_FAILURE() << "a folder read";
    } catch (const InputError& e) {
        EXPECT_NE(std::string(e.what()).find("DIR.POR: is a folder"), std::string::npos) << e.what();
    }
}

// ---------------------------------------------------------------- text ---

TEST(PlotText, EscapingKeepsTheXmlWellFormed) {
    EXPECT_EQ(xml_escape("A<&>\"'B"), "A&lt;&amp;&gt;&quot;&apos;B");
    EXPECT_EQ(xml_escape("K\xC3\xB6ln"), "K\xC3\xB6ln");            // UTF-8 stays
    EXPECT_EQ(xml_escape("K\xF6ln"), "K\xC3\xB6ln");                // Latin-1 becomes UTF-8
    EXPECT_EQ(xml_escape("a\x01" "b"), "a\xEF\xBF\xBD" "b");        // no control characters in XML
    EXPECT_EQ(xml_escape("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xEF\xBF\xBD");  // a surrogate is not UTF-8
    EXPECT_EQ(xml_escape("\xE2\x82"), "\xC3\xA2\xEF\xBF\xBD");      // a cut sequence neither
}

TEST(PlotText, NumbersHaveFixedDecimalsAndNoNegativeZero) {
    EXPECT_EQ(number(1.25, 1), "1.2");
    EXPECT_EQ(number(-0.004, 2), "0.00");
    EXPECT_EQ(number(-0.006, 2), "-0.01");
    EXPECT_EQ(number(12345.5, 0), "12346");
    EXPECT_EQ(number(std::numeric_limits<double>::quiet_NaN(), 1), "0.0");
    EXPECT_EQ(shown(Name::of("  AB C  ")), "AB C");
}

// ------------------------------------------------------------ labels ---

bool inside(const Box& b, const Box& bounds) {
    return b.x0 >= bounds.x0 && b.y0 >= bounds.y0 && b.x1 <= bounds.x1 && b.y1 <= bounds.y1;
}

TEST(PlotLabels, ACrowdedClusterGetsLabelsThatDoNotOverlap) {
    // Nine markers 14 pixels apart, each with a 50 x 13 label, in the middle
    // of a roomy area: every label can find a place of its own.
    std::vector<LabelWish> wishes;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) wishes.push_back({300.0 + 14 * i, 300.0 + 14 * j, 3.5, 50, 13});
    const Box bounds{0, 0, 600, 600};
    const auto placed = place_labels(wishes, bounds);
    ASSERT_EQ(placed.size(), wishes.size());
    for (std::size_t i = 0; i < placed.size(); ++i) {
        const Box& b = placed[i].box;
        EXPECT_NEAR(b.width(), 50, 1e-9);
        EXPECT_NEAR(b.height(), 13, 1e-9);
        EXPECT_TRUE(inside(b, bounds)) << "label " << i << " leaves the area";
        for (std::size_t j = 0; j < placed.size(); ++j) {
            const LabelWish& m = wishes[j];
            EXPECT_EQ(overlap(b, {m.x - m.r, m.y - m.r, m.x + m.r, m.y + m.r}), 0.0)
                << "label " << i << " covers marker " << j;
            if (j > i) {
                EXPECT_EQ(overlap(b, placed[j].box), 0.0) << "labels " << i << " and " << j;
            }
        }
    }
}

TEST(PlotLabels, AFreeMarkerKeepsItsLabelBesideItAndTheEdgeTurnsItInwards) {
    const Box bounds{0, 0, 400, 400};
    const auto free = place_labels({{100, 100, 3, 40, 13}}, bounds);
    EXPECT_FALSE(free[0].leader);
    EXPECT_GT(free[0].box.x0, 100);  // to the right, the first choice
    EXPECT_LT(free[0].box.x0, 110);
    const auto edge = place_labels({{395, 200, 3, 40, 13}}, bounds);
    EXPECT_LT(edge[0].box.x1, 395);  // no room on the right: to the left
    EXPECT_TRUE(inside(edge[0].box, bounds));
}

TEST(PlotLabels, LabelsKeepOffSegmentsWhenTheyCan) {
    // An arrow leaving the marker to the right: the label goes elsewhere.
    const Box bounds{0, 0, 400, 400};
    const auto placed = place_labels({{100, 100, 3, 40, 13}}, bounds, {{100, 100, 200, 100}});
    EXPECT_LT(placed[0].box.x1, 100);  // the next choice, left
}

TEST(PlotLabels, WithoutRoomEveryLabelIsStillPlacedInside) {
    std::vector<LabelWish> wishes(30, LabelWish{50, 50, 3, 40, 13});
    const Box bounds{0, 0, 100, 100};
    const auto placed = place_labels(wishes, bounds);
    ASSERT_EQ(placed.size(), 30u);
    for (const Placed& p : placed) {
        EXPECT_TRUE(p.shown);
        EXPECT_TRUE(inside(p.box, bounds));
    }
}

TEST(PlotLabels, ACrowdBeyondAllRoomIsPlacedInBoundedTimeAndTheRestLeftOff) {
    // Thousands of labels at one spot, and as many in a cloud a pixel wide:
    // the first take the places round the spot, the later ones are left
    // off once their looking is used up.
    const Box bounds{0, 0, 1100, 1100};
    for (double spread : {0.0, 1.0}) {
        std::vector<LabelWish> wishes;
        for (int i = 0; i < 3000; ++i)
            wishes.push_back({550 + spread * std::sin(i), 550 + spread * std::cos(i), 3.5, 54.8, 13});
        const auto placed = place_labels(wishes, bounds);
        std::size_t shown = 0;
        for (const Placed& p : placed) shown += p.shown;
        EXPECT_GT(shown, 48u) << spread;  // every place of every ring, and more, overlapping
        EXPECT_LT(shown, 1500u) << spread;
        // The same wishes give the same page.
        const auto again = place_labels(wishes, bounds);
        for (std::size_t i = 0; i < placed.size(); ++i) {
            ASSERT_EQ(again[i].shown, placed[i].shown);
            if (placed[i].shown) {
                EXPECT_EQ(again[i].box.x0, placed[i].box.x0);
            }
        }
    }
}

// -------------------------------------------------------------- page ---

TEST(PlotPage, OnePanelPerYearAndPairWithAMarkerPerPoint) {
    std::vector<std::string> w;
    const std::string svg = render_svg("JOB", page_for(two_years(), one_pair(), {}, w), w);
    const auto yp = panels(svg, "year"), pp = panels(svg, "pair");
    ASSERT_EQ(yp.size(), 2u);
    ASSERT_EQ(pp.size(), 1u);
    EXPECT_NE(yp[0].find("data-year=\"1\""), std::string::npos);
    EXPECT_EQ(count(yp[0], "class=\"loc\""), 3u);
    EXPECT_EQ(count(yp[1], "class=\"loc\""), 2u);
    EXPECT_EQ(count(yp[0], "class=\"name\""), 3u);
    EXPECT_NE(yp[0].find("Axis 1 (41.5%)"), std::string::npos);
    EXPECT_NE(yp[0].find("Axis 2 (22.2%)"), std::string::npos);  // 22.25 to one decimal
    EXPECT_EQ(count(pp[0], "marker-end=\"url(#head)\""), 1u);     // BETA only
    EXPECT_NE(pp[0].find(">1 arrow from 1996 to 1997;"), std::string::npos);
    EXPECT_EQ(count(pp[0], "class=\"gone\""), 2u);                 // ALPHA, DELTA
    EXPECT_EQ(count(pp[0], "class=\"new\""), 1u);                  // GAMMA
    EXPECT_NE(pp[0].find("Axis 1 (41.5% \xE2\x86\x92 38.0%)"), std::string::npos);
    EXPECT_EQ(count(svg, "<marker id=\"head\""), 1u);
    EXPECT_EQ(svg.find("href"), std::string::npos);  // nothing from outside the page
}

TEST(PlotPage, BothAxesHaveTheSameScale) {
    // ALPHA at (0.5, -0.25) and BETA at (-0.125, 0.75): the pixel distances
    // along x and y must stand in the ratio of the data distances.
    std::vector<std::string> w;
    const std::string svg = panels(render_svg("JOB", page_for(two_years(), "", {}, w), w), "year")[0];
    std::map<int, std::pair<double, double>> at;
    auto attr = [&](std::size_t from, const std::string& name) {
        const std::size_t b = svg.find(name + "=\"", from) + name.size() + 2;
        return svg.substr(b, svg.find('"', b) - b);
    };
    for (std::size_t p = svg.find("class=\"loc\""); p != std::string::npos; p = svg.find("class=\"loc\"", p + 1))
        at[std::stoi(attr(p, "data-location"))] = {std::stod(attr(p, "cx")), std::stod(attr(p, "cy"))};
    ASSERT_EQ(at.size(), 3u);
    const double dx = at[1].first - at[2].first, dy = at[1].second - at[2].second;
    EXPECT_GT(dx, 0);
    EXPECT_GT(dy, 0);  // y grows downwards on the page
    EXPECT_NEAR(dx / dy, 0.625 / 1.0, 0.01);
    // DELTA at the origin sits where the axes cross.
    EXPECT_NE(svg.find("x1=\"" + number(at[4].first, 1) + "\" y1="), std::string::npos);
}

TEST(PlotPage, HostileNamesGiveAWellFormedPage) {
    const std::string text = records([](OutStream& s) {
        year_head(s, 1, "<&\"'>", 50.0f, 50.0f);
        point(s, "<&\"'>", 1, "]]>&amp;", 0.5f, 0.5f);
        point(s, "<&\"'>", 2, "K\xF6ln\x01\x7f", -0.5f, 0.5f);
        point(s, "<&\"'>", 3, "\xE2\x82<", 0.0f, -0.5f);
    });
    std::vector<std::string> w;
    const std::string svg = render_svg("a&b<c>", page_for(text, "", {}, w), w);
    EXPECT_EQ(svg.find("<&"), std::string::npos);
    EXPECT_NE(svg.find("]]&gt;&amp;amp;"), std::string::npos);
    EXPECT_NE(svg.find("a&amp;b&lt;c&gt;"), std::string::npos);
    if (!have_xmllint()) GTEST_SKIP() << "xmllint is not installed";
    TempDir d;
    write_file(d / "p.svg", svg);
    EXPECT_EQ(xmllint(d / "p.svg"), "");
}

// ------------------------------------------------------- executable ---

// Runs seqord on an input pair copied into a fresh folder as job JOB.
void run_seqord(const TempDir& d, const std::filesystem::path& ema, const std::filesystem::path& naq) {
    std::filesystem::copy_file(ema, d / "JOB.EMA");
    std::filesystem::copy_file(naq, d / "JOB.NAQ");
    const RunResult r = run_job(d.path());
    ASSERT_EQ(r.status, 0) << r.err;
}

// What a page of a job must show: a panel per year of the year file, as
// many markers in the year panels as it has point records, a panel per pair.
void expect_page_matches(const TempDir& d) {
    const std::string orp = read_file(d / "JOB.ORP");
    std::size_t year_records = 0, point_records = 0;
    for (std::size_t b = 0; b < orp.size();) {
        const std::size_t e = orp.find("\r\n", b);
        const std::size_t len = e - b;
        if (len == 13) ++year_records;
        if (len == 55) ++point_records;
        b = e + 2;
    }
    const std::string svg = read_file(d / "JOB.svg");
    const auto yp = panels(svg, "year");
    EXPECT_EQ(yp.size(), year_records);
    std::size_t markers = 0;
    for (const auto& p : yp) markers += count(p, "class=\"loc\"");
    EXPECT_EQ(markers, point_records);
    EXPECT_EQ(panels(svg, "pair").size(), year_records - 1);
    if (!have_xmllint()) GTEST_SKIP() << "xmllint is not installed";
    EXPECT_EQ(xmllint(d / "JOB.svg"), "");
}

TEST(PlotProgram, TheExampleTrialIsDrawnWhole) {
    TempDir d;
    const auto ex = data_dir() / ".." / ".." / "examples";
    run_seqord(d, ex / "TRIAL.EMA", ex / "TRIAL.NAQ");
    const RunResult r = run_plot(d.path(), "JOB");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "seqord-plot: wrote JOB.svg: 6 year panels, 5 pair panels\n");
    expect_page_matches(d);
    // The year without a block is there, empty.
    const auto yp = panels(read_file(d / "JOB.svg"), "year");
    EXPECT_NE(yp[3].find("no location retained"), std::string::npos);
}

class PlotGolden : public ::testing::TestWithParam<std::string> {};

TEST_P(PlotGolden, KnownRunsAreDrawnWhole) {
    TempDir d;
    const auto src = data_dir() / "golden" / GetParam() / "expected";
    std::filesystem::copy_file(src / "JOB.ORP", d / "JOB.ORP");
    std::filesystem::copy_file(src / "JOB.POR", d / "JOB.POR");
    const RunResult r = run_plot(d.path(), "JOB.ORP");  // the extension may be given
    EXPECT_EQ(r.status, 0) << r.err;
    expect_page_matches(d);
}

INSTANTIATE_TEST_SUITE_P(Cases, PlotGolden,
                         ::testing::Values("small_001", "small_003", "edge_year_missing", "edge_nl_10_11_12"));

TEST(PlotProgram, OneYearWithoutPairsIsDrawnFromAnEmptyPairFile) {
    TempDir d;
    write_file(d / "JOB.ORP", line_of(two_years(), 1) + "\r\n" + line_of(two_years(), 2) + "\r\n" +
                                  line_of(two_years(), 3) + "\r\n");
    write_file(d / "JOB.POR", "");
    const RunResult r = run_plot(d.path(), "JOB");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "seqord-plot: wrote JOB.svg: 1 year panel, 0 pair panels\n");
    // Without the summary and the report the run's check cannot be made.
    EXPECT_EQ(r.err,
              "seqord-plot: warning: JOB.ORS and JOB.SOR are not there: JOB.ORP is drawn without the check that it "
              "is of the run that wrote them (keep the four result files of a job together)\n"
              "seqord-plot: warning: JOB.ORP: year 1 (1996) is not placed: it holds 1 location with all 2 axes, "
              "fewer than 3\n");
    const std::string svg = read_file(d / "JOB.svg");
    EXPECT_NE(svg.find("Years not placed (fewer than 3 points, or fewer than 3 locations shared with the years before): "
                       "1996 (year 1)"),
              std::string::npos);
    EXPECT_EQ(panels(svg, "year").size(), 1u);
    EXPECT_EQ(panels(svg, "pair").size(), 0u);
}

TEST(PlotProgram, BadInputEndsWithStatus2AndNoPage) {
    TempDir d;
    // No .ORP at all.
    RunResult r = run_plot(d.path(), "JOB");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("seqord-plot: error: JOB.ORP: no such file"), std::string::npos) << r.err;
    EXPECT_FALSE(test::exists(d / "JOB.svg"));

    // A malformed .POR: the page of an earlier run stays as it was, and no
    // half-written file is left beside it.
    write_file(d / "JOB.ORP", two_years());
    write_file(d / "JOB.POR", with_line(one_pair(), 9, line_of(one_pair(), 8)));
    write_file(d / "JOB.svg", "earlier page");
    r = run_plot(d.path(), "JOB");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("seqord-plot: error: JOB.POR, line 10: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("JOB.svg is not written"), std::string::npos) << r.err;
    EXPECT_EQ(read_file(d / "JOB.svg"), "earlier page");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(d.path()), {}), 3);

    // A .POR that is missing is an error too: the run left no pair file.
    std::filesystem::remove(d / "JOB.POR");
    r = run_plot(d.path(), "JOB");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("JOB.POR: no such file"), std::string::npos) << r.err;
}

TEST(PlotProgram, AsterisksWarnButThePageIsWritten) {
    TempDir d;
    std::string text = two_years();
    std::string beta = line_of(text, 4);
    beta.replace(31, 8, "********");
    write_file(d / "JOB.ORP", with_line(text, 4, beta));
    // The pair file prints the same point the same way.
    std::string beta_pair = line_of(one_pair(), 3);
    ASSERT_EQ(beta_pair.substr(0, 19), beta.substr(0, 19));
    beta_pair.replace(31, 8, "********");
    write_file(d / "JOB.POR", with_line(one_pair(), 3, beta_pair));
    const RunResult r = run_plot(d.path(), "JOB");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("seqord-plot: warning: JOB.ORP, line 4: location 2 (BETA)"), std::string::npos) << r.err;
    EXPECT_EQ(count(panels(read_file(d / "JOB.svg"), "year")[0], "class=\"loc\""), 2u);
}

TEST(PlotProgram, AnUnwritablePageEndsWithStatus1AndLeavesNothing) {
    TempDir d;
    write_file(d / "JOB.ORP", two_years());
    write_file(d / "JOB.POR", one_pair());
    std::filesystem::create_directory(d / "JOB.svg");
    const RunResult r = run_plot(d.path(), "JOB");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("seqord-plot: error: cannot write JOB.svg"), std::string::npos) << r.err;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(d.path()), {}), 3);
}

TEST(PlotProgram, AnyTwoAxesAreDrawnWithTheirShares) {
    TempDir d;
    const auto ex = data_dir() / ".." / ".." / "examples";
    run_seqord(d, ex / "TRIAL.EMA", ex / "TRIAL.NAQ");
    RunResult r = run_plot(d.path(), "--axes 3,4 --frame seqord JOB");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string svg = read_file(d / "JOB.svg");
    EXPECT_NE(svg.find(": aligned ordination, axis 3 against axis 4</text>"), std::string::npos);
    // Each year's axis labels carry the shares of axes 3 and 4 of its
    // 'ev as % of SS' record.
    const std::string orp = read_file(d / "JOB.ORP");
    const auto yp = panels(svg, "year");
    std::size_t year = 0;
    for (std::size_t b = 0; b < orp.size(); b = orp.find('\n', b) + 1) {
        const std::string line = orp.substr(b, orp.find("\r\n", b) - b);
        if (line.rfind(" ev as % of SS", 0) != 0) continue;
        ASSERT_LT(year, yp.size());
        for (int axis : {3, 4}) {
            std::string label = ">Axis ";
            label += std::to_string(axis);
            label += " (";
            label += number(std::stod(line.substr(14 + 8 * std::size_t(axis - 1), 8)), 1);
            label += "%)</text>";
            EXPECT_NE(yp[year].find(label), std::string::npos) << year << ": " << label;
        }
        EXPECT_EQ(yp[year].find(">Axis 1 ("), std::string::npos);
        ++year;
    }
    EXPECT_EQ(year, 6u);
    // ALDERTON in 2019 stands at its axis 3 and axis 4 values.
    EXPECT_NE(yp[0].find("ALDERTON (location 1): 0.087, -0.084"), std::string::npos);
    EXPECT_NE(panels(svg, "pair")[0].find(">Axis 3 ("), std::string::npos);
    EXPECT_NE(svg.find("pair panels in the axes as seqord aligned them"), std::string::npos);
    // In the consensus frame the pair panels show dimensions 3 and 4 of a
    // fit on four axes; the year panels stay as they are.
    r = run_plot(d.path(), "--axes 3,4 --fit-axes 4 JOB");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string fitted = read_file(d / "JOB.svg");
    EXPECT_NE(panels(fitted, "pair")[0].find(">Dimension 3 ("), std::string::npos);
    EXPECT_EQ(panels(fitted, "pair")[0].find(">Axis 3 ("), std::string::npos);
    const auto fitted_years = panels(fitted, "year");
    ASSERT_EQ(fitted_years.size(), yp.size());
    EXPECT_NE(fitted_years[0].find("ALDERTON (location 1): 0.087, -0.084"), std::string::npos);
    if (!have_xmllint()) GTEST_SKIP() << "xmllint is not installed";
    EXPECT_EQ(xmllint(d / "JOB.svg"), "");
}

TEST(PlotProgram, AxesOtherThanTwoDifferentOfOneToFourAreAUsageError) {
    TempDir d;
    for (const char* bad : {"1,1", "0,2", "1,5", "1,2,3", "12", "a,b", "'1;2'", "' 1,2'", "''", "-1,2"}) {
        const RunResult r = run_plot(d.path(), std::string("--axes ") + bad + " JOB");
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_EQ(r.err.rfind("seqord-plot: error: --axes takes two different axes of 1-4, as in --axes 1,3", 0), 0u)
            << bad << ": " << r.err;
    }
    const RunResult r = run_plot(d.path(), "JOB --axes");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("option --axes needs a value"), std::string::npos) << r.err;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(d.path()), {}), 0);
}

TEST(PlotProgram, APanelWhoseLabelsDoNotAllFitSaysHowManyAreLeftOff) {
    TempDir d;
    write_file(d / "JOB.ORP", records([](OutStream& s) {
                   year_head(s, 1, "1996", 40.0f, 20.0f);
                   for (int l = 1; l <= 2500; ++l) point(s, "1996", l, std::to_string(l).c_str(), 0.5f, 0.5f);
               }));
    write_file(d / "JOB.POR", "");
    const RunResult r = run_plot(d.path(), "JOB");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string prefix = "seqord-plot: warning: year 1 (1996): ";
    const std::size_t at = r.err.find(prefix);
    ASSERT_NE(at, std::string::npos) << r.err;
    const std::size_t left_off = std::stoul(r.err.substr(at + prefix.size()));
    EXPECT_NE(r.err.find(" of 2500 name labels are left off, for want of room near their markers\n"),
              std::string::npos)
        << r.err;
    const std::string svg = read_file(d / "JOB.svg");
    const std::string year = panels(svg, "year")[0];
    EXPECT_EQ(count(year, "class=\"loc\""), 2500u);
    EXPECT_EQ(count(year, "class=\"name\""), 2500u - left_off);
}

TEST(PlotProgram, UsageAndHelp) {
    TempDir d;
    RunResult r = run_plot(d.path(), "");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("seqord-plot: error: no job name given\nusage: seqord-plot [--axes I,J] [--fit-axes K] [--frame consensus|seqord] [--] JOB"), std::string::npos);
    r = run_plot(d.path(), "A B");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("one job name only"), std::string::npos);
    r = run_plot(d.path(), "--frobnicate");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown option '--frobnicate'"), std::string::npos) << r.err;
    r = run_plot(d.path(), "--");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("no job name given"), std::string::npos) << r.err;
    r = run_plot(d.path(), "--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("usage: seqord-plot [--axes I,J] [--fit-axes K] [--frame consensus|seqord] [--] JOB", 0), 0u);
    EXPECT_EQ(r.err, "");
    r = run_plot(d.path(), "--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("seqord-plot ", 0), 0u) << r.out;
    EXPECT_EQ(r.err, "");
    // After "--" a job name may begin with a dash: here its files are missing.
    r = run_plot(d.path(), "-- -J");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("-J.ORP"), std::string::npos) << r.err;
    // --fit-axes and --frame: bad values, and axes the consensus frame has not.
    const struct {
        const char* args;
        const char* message;
    } bad[] = {
        {"--fit-axes 1 JOB", "--fit-axes takes 2, 3 or 4, not '1'"},
        {"--fit-axes 5 JOB", "--fit-axes takes 2, 3 or 4, not '5'"},
        {"--fit-axes=two JOB", "--fit-axes takes 2, 3 or 4, not 'two'"},
        {"--frame=axes JOB", "--frame takes consensus or seqord, not 'axes'"},
        {"--axes 1,3 JOB", "--axes 1,3 draws the pair panels in the consensus frame, which has 2 dimensions: give "
                           "--fit-axes 3 or --frame seqord"},
        {"--axes 4,1 --fit-axes 3 JOB", "which has 3 dimensions: give --fit-axes 4 or --frame seqord"},
    };
    for (const auto& c : bad) {
        r = run_plot(d.path(), c.args);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << ": " << r.err;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(d.path()), {}), 0);
}

}  // namespace
}  // namespace seqord::test
