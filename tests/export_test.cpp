// seqord-export: the three tables of whole runs, read back with Python's csv
// module and compared with the result files field by field; damaged result
// files; the command line.  Also the conventions both companion programs
// share: help into a full disk or a closed pipe.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>

#include "support.h"

extern char** environ;

namespace seqord::test {
namespace {

// ------------------------------------------------------------ helpers ---

// A text file as its lines (line ends CR LF or LF), and back with CR LF.
std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) {
        if (!l.empty() && l.back() == '\r') l.pop_back();
        out.push_back(l);
    }
    return out;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& l : lines) s += l + "\r\n";
    return s;
}

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(' ');
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

std::string rtrim(const std::string& s) { return s.substr(0, s.find_last_not_of(' ') + 1); }

std::vector<std::string> words(const std::string& s) {
    std::vector<std::string> out;
    std::istringstream in(s);
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

using Rows = std::vector<std::vector<std::string>>;

bool have_python() { return std::system("command -v python3 >/dev/null 2>&1") == 0; }

// The rows of a CSV file as Python's csv module reads them (strict about
// quoting; bytes passed through as Latin-1).
Rows python_rows(const std::filesystem::path& csv) {
    const std::string script =
        "import csv, sys\n"
        "with open(sys.argv[1], newline='', encoding='latin-1') as f:\n"
        "    rows = list(csv.reader(f, strict=True))\n"
        "sys.stdout.buffer.write('\\x1e'.join('\\x1f'.join(r) for r in rows).encode('latin-1'))\n";
    const RunResult r = run_command(csv.parent_path(), "python3", {"-c", script, csv.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    Rows rows;
    std::size_t b = 0;
    while (b <= r.out.size() && !r.out.empty()) {
        const std::size_t e = std::min(r.out.find('\x1e', b), r.out.size());
        const std::string row = r.out.substr(b, e - b);
        std::vector<std::string> fields;
        std::size_t f = 0;
        for (;;) {
            const std::size_t g = std::min(row.find('\x1f', f), row.size());
            fields.push_back(row.substr(f, g - f));
            if (g == row.size()) break;
            f = g + 1;
        }
        rows.push_back(fields);
        b = e + 1;
    }
    return rows;
}

RunResult run_export(const std::filesystem::path& dir, const std::vector<std::string>& args) {
    return run_command(dir, SEQORD_EXPORT_EXE, args);
}

std::size_t files_in(const std::filesystem::path& dir) {
    return std::size_t(std::distance(std::filesystem::directory_iterator(dir), {}));
}

// A job's result files in a fresh folder: a known-good run, or the example
// trial run here.
void copy_golden(const TempDir& d, const std::string& name) {
    for (const char* ext : {".SOR", ".ORS", ".POR", ".ORP"})
        std::filesystem::copy_file(data_dir() / "golden" / name / "expected" / ("JOB" + std::string(ext)),
                                   d / ("JOB" + std::string(ext)));
}

void run_seqord(const TempDir& d, const std::string& ema, const std::string& naq) {
    write_file(d / "JOB.EMA", ema);
    write_file(d / "JOB.NAQ", naq);
    const RunResult r = run_job(d.path());
    ASSERT_EQ(r.status, 0) << r.err;
}

// ------------------------------------------- what the files show ---

// The tables as the result files print them, read here column by column
// and word by word, independently of the program's readers.
struct Expected {
    Rows points, axes, alignment;
};

Expected expected_from(const TempDir& d) {
    Expected x;
    const auto orp = lines_of(read_file(d / "JOB.ORP"));
    std::map<std::string, std::string> index_of;  // year name -> index
    std::string year_index;
    for (const std::string& l : orp) {
        if (l.size() <= 13) {
            year_index = trim(l.substr(0, 4));
            index_of[rtrim(l.substr(5))] = year_index;
        } else if (l.size() == 55) {
            x.points.push_back({year_index, rtrim(l.substr(0, 8)), trim(l.substr(9, 4)), rtrim(l.substr(14, 8)),
                                trim(l.substr(23, 8)), trim(l.substr(31, 8)), trim(l.substr(39, 8)),
                                trim(l.substr(47, 8)), rtrim(l.substr(14, 8))});
        }
    }
    const auto sor = lines_of(read_file(d / "JOB.SOR"));
    for (std::size_t i = 0; i < sor.size(); ++i) {
        const std::string& l = sor[i];
        if (l == "  Year k   Year k+1  vector 1  vector 2  vector 3  vector 4 ") {
            for (std::size_t k = i + 1; k < sor.size(); ++k) {
                const auto w = words(sor[k]);
                for (std::size_t a = 0; a < 4; ++a)
                    x.alignment.push_back(
                        {w[0], w[1], std::to_string(a + 1), w[2 + a], w[2 + a][0] == '-' ? "true" : "false"});
            }
        }
    }
    // The eigenvalue blocks: the count, then four lists of a heading line
    // and a line of values (ten at most); the year index by the year's name.
    std::string year;
    for (std::size_t i = 0; i < sor.size(); ++i) {
        if (sor[i].rfind("   For year ", 0) == 0) year = rtrim(sor[i].substr(12));
        if (sor[i].rfind(" Number of non-zero eigenvalues is", 0) != 0) continue;
        const std::size_t n = std::stoul(sor[i].substr(40));
        std::vector<std::string> v[4];
        std::size_t at = i + 1;
        for (auto& list : v) {
            do {
                for (const auto& w : words(sor[at + 1])) list.push_back(w);
                at += 2;
            } while (list.size() < n);
        }
        for (std::size_t a = 0; a < n; ++a)
            x.axes.push_back({index_of[year], year, v[0][a], v[1][a], v[2][a], v[3][a]});
    }
    return x;
}

void expect_tables_match(const TempDir& d) {
    const Expected x = expected_from(d);
    const std::string points = read_file(d / "JOB.points.csv");
    // Every record ends in CR LF.
    EXPECT_EQ(points.find("\n"), points.find("\r\n") + 1);
    for (std::size_t p = points.find('\n'); p != std::string::npos; p = points.find('\n', p + 1))
        ASSERT_EQ(points[p - 1], '\r');
    if (!have_python()) GTEST_SKIP() << "python3 is not installed: the tables are not read back";
    struct Table {
        const char* file;
        std::vector<std::string> header;
        const Rows& rows;
    };
    const Table tables[] = {
        {"JOB.points.csv",
         {"year_index", "year", "location_index", "location", "axis1", "axis2", "axis3", "axis4", "location_name"},
         x.points},
        {"JOB.axes.csv", {"year_index", "year", "axis", "eigenvalue", "percent", "cumulative_percent"}, x.axes},
        {"JOB.alignment.csv", {"year_index", "next_year_index", "axis", "correlation", "reversed"}, x.alignment},
    };
    for (const Table& t : tables) {
        const Rows got = python_rows(d / t.file);
        ASSERT_FALSE(got.empty()) << t.file;
        EXPECT_EQ(got[0], t.header) << t.file;
        ASSERT_EQ(got.size(), t.rows.size() + 1) << t.file;
        for (std::size_t i = 0; i < t.rows.size(); ++i) EXPECT_EQ(got[i + 1], t.rows[i]) << t.file << " row " << i + 1;
    }
}

// ---------------------------------------------------------- whole runs ---

class ExportGolden : public ::testing::TestWithParam<std::string> {};

TEST_P(ExportGolden, TablesEqualTheResultFilesFieldByField) {
    TempDir d;
    copy_golden(d, GetParam());
    const RunResult r = run_export(d.path(), {"JOB"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind("seqord-export: wrote JOB.points.csv (", 0), 0u) << r.out;
    expect_tables_match(d);
}

INSTANTIATE_TEST_SUITE_P(Cases, ExportGolden,
                         ::testing::Values("small_001", "small_002", "small_003", "edge_axes_gt_10", "edge_base",
                                           "edge_year_missing", "edge_nl_10_11_12"));

TEST(ExportProgram, TheExampleTrialAsTables) {
    TempDir d;
    const auto ex = data_dir() / ".." / ".." / "examples";
    run_seqord(d, read_file(ex / "TRIAL.EMA"), read_file(ex / "TRIAL.NAQ"));
    const RunResult r = run_export(d.path(), {"JOB.SOR"});  // an extension may be given
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "seqord-export: wrote JOB.points.csv (50 rows), JOB.axes.csv (45 rows), "
                     "JOB.alignment.csv (20 rows), JOB.pairs.csv (5 rows), JOB.consensus.csv (12 rows), "
                     "JOB.trajectory.csv (50 rows)\n");
    expect_tables_match(d);
    // A hand-checked row of each table.
    const auto points = lines_of(read_file(d / "JOB.points.csv"));
    EXPECT_EQ(points[1], "1,2019,1,ALDERTON,0.289,-0.047,0.087,-0.084,ALDERTON");
    EXPECT_EQ(lines_of(read_file(d / "JOB.axes.csv"))[1], "1,2019,1,1.117,29.278,29.278");
    EXPECT_EQ(lines_of(read_file(d / "JOB.alignment.csv"))[3], "1,2,3,-0.054,true");
}

TEST(ExportProgram, AYearIndexOfTwoBlocksGivesBothBlocksInReportOrder) {
    // The second block carries index 1 as well: year 2 has no block.
    TempDir d;
    auto ema = lines_of(read_file(data_dir() / "golden" / "small_001" / "input" / "JOB.EMA"));
    ASSERT_EQ(ema[14], "     2    1998");
    ema[14] = "     1    1998";
    run_seqord(d, joined(ema), read_file(data_dir() / "golden" / "small_001" / "input" / "JOB.NAQ"));
    const RunResult r = run_export(d.path(), {"JOB"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("seqord-export: warning: JOB.ORS: year index 1 has 2 year records (lines 5, 18); the axes "
                         "table lists each block as reported"),
              std::string::npos)
        << r.err;
    // The points are the second block's, which the name file calls 1997.
    EXPECT_NE(r.err.find("seqord-export: warning: JOB.ORP: 1 year is named otherwise than by its year record in "
                         "JOB.ORS (the run's name file and main input name them differently): year 1 (1997) (line 1) "
                         "is '1998' (line 18)\n"),
              std::string::npos)
        << r.err;
    const auto axes = lines_of(read_file(d / "JOB.axes.csv"));
    // 1997's seven axes, then 1998's seven, both under index 1.
    ASSERT_GT(axes.size(), 15u);
    EXPECT_EQ(axes[1], "1,1997,1,2.338,58.906,58.906");
    EXPECT_EQ(axes[7].rfind("1,1997,7,", 0), 0u) << axes[7];
    EXPECT_EQ(axes[8], "1,1998,1,2.993,70.350,70.350");
    EXPECT_EQ(axes[14].rfind("1,1998,7,", 0), 0u) << axes[14];
    EXPECT_EQ(axes[15].rfind("3,1999,1,", 0), 0u) << axes[15];
    // Year 2 has no points; year 1 has the points the run kept.
    const std::string points = read_file(d / "JOB.points.csv");
    EXPECT_EQ(points.find("\n2,"), std::string::npos);
    EXPECT_NE(points.find("\n1,1997,"), std::string::npos);
}

TEST(ExportProgram, ARunOfOneYearHasAnAlignmentTableOfItsHeaderOnly) {
    TempDir d;
    auto ema = lines_of(read_file(data_dir() / "golden" / "small_001" / "input" / "JOB.EMA"));
    ema[0] = "     6     9    22     1     1";
    run_seqord(d, joined(ema), read_file(data_dir() / "golden" / "small_001" / "input" / "JOB.NAQ"));
    const RunResult r = run_export(d.path(), {"JOB"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(d / "JOB.alignment.csv"), "year_index,next_year_index,axis,correlation,reversed\r\n");
    const auto points = lines_of(read_file(d / "JOB.points.csv"));
    EXPECT_EQ(points.size(), 9u);  // the header and the eight locations of year 1
    // Every year record still reports its axes, as in the run of the whole sequence.
    TempDir whole;
    copy_golden(whole, "small_001");
    ASSERT_EQ(run_export(whole.path(), {"JOB"}).status, 0);
    EXPECT_EQ(read_file(d / "JOB.axes.csv"), read_file(whole / "JOB.axes.csv"));
}

TEST(ExportProgram, RunsWithoutPointsOrWithoutYearRecordsGiveTheirHeadersAndWhatTheyHave) {
    // IYF before IYS: the run writes no plotting points, and no .ORP is
    // looked for.  No year record: the sequence's years have no points and
    // every correlation is 0.000.
    struct Case {
        const char* run;
        std::size_t points, axes, alignment;  // rows
    } cases[] = {{"finish_before_start", 0, 1, 0}, {"no_year_record", 0, 0, 8}};
    for (const Case& c : cases) {
        TempDir d;
        for (const auto& f : std::filesystem::directory_iterator(data_dir() / "export" / c.run))
            std::filesystem::copy_file(f.path(), d / f.path().filename());
        const RunResult r = run_export(d.path(), {"JOB"});
        ASSERT_EQ(r.status, 0) << c.run << ": " << r.err;
        EXPECT_EQ(r.err, "") << c.run;
        EXPECT_EQ(lines_of(read_file(d / "JOB.points.csv")).size(), 1 + c.points) << c.run;
        EXPECT_EQ(lines_of(read_file(d / "JOB.axes.csv")).size(), 1 + c.axes) << c.run;
        const auto alignment = lines_of(read_file(d / "JOB.alignment.csv"));
        ASSERT_EQ(alignment.size(), 1 + c.alignment) << c.run;
        for (std::size_t i = 1; i < alignment.size(); ++i)
            EXPECT_EQ(alignment[i].substr(alignment[i].size() - 12), ",0.000,false") << c.run << ": " << alignment[i];
    }
}

TEST(ExportProgram, NamesAreQuotedWhereTheyMustBeAndReadBack) {
    TempDir d;
    copy_golden(d, "small_001");
    auto orp = lines_of(read_file(d / "JOB.ORP"));
    ASSERT_EQ(orp[2].substr(14, 8), "HORYAN  ");
    orp[2].replace(14, 8, "HO\"R,AN ");
    orp[3].replace(14, 8, " LEADING");
    // Latin-1 (an older file's names) becomes UTF-8; UTF-8 stays as it is.
    orp[4].replace(14, 8, "M\xfcNSTER ");
    orp[5].replace(14, 8, "M\xc3\xbcNSTER");
    write_file(d / "JOB.ORP", joined(orp));
    const RunResult r = run_export(d.path(), {"JOB"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto points = lines_of(read_file(d / "JOB.points.csv"));
    EXPECT_EQ(points[1].substr(0, 22), "1,1997,1,\"HO\"\"R,AN\",0.");
    EXPECT_EQ(points[2].substr(0, 18), "1,1997,2, LEADING,");
    EXPECT_EQ(points[3].substr(0, 18), "1,1997,3,M\xc3\xbcNSTER,");
    EXPECT_EQ(points[4].substr(0, 18), "1,1997,4,M\xc3\xbcNSTER,");
    if (!have_python()) GTEST_SKIP() << "python3 is not installed";
    const Rows rows = python_rows(d / "JOB.points.csv");
    EXPECT_EQ(rows[1][3], "HO\"R,AN");
    EXPECT_EQ(rows[2][3], " LEADING");
}

// ------------------------------------------------------------- damage ---

TEST(ExportProgram, AsterisksBecomeEmptyFieldsWithOneWarningPerLine) {
    TempDir d;
    copy_golden(d, "small_001");
    auto orp = lines_of(read_file(d / "JOB.ORP"));
    orp[2].replace(23, 8, "********");  // axis 1 and axis 4 of one point: one warning
    orp[2].replace(47, 8, "********");
    write_file(d / "JOB.ORP", joined(orp));
    // ... and the same location's scores, too wide for the summary's fields.
    auto ors = lines_of(read_file(d / "JOB.ORS"));
    ASSERT_EQ(ors[9].substr(0, 15), "     1 HORYAN  ");
    ors[9].replace(16, 10, "**********");
    ors[9].replace(46, 10, "**********");
    // The first eigenvalue of year 1, in the report and the summary alike.
    auto sor = lines_of(read_file(d / "JOB.SOR"));
    ASSERT_EQ(sor[68], "     2.338     0.900     0.282     0.238     0.114     0.058     0.039");
    sor[68].replace(0, 10, "**********");
    ASSERT_EQ(ors[8].substr(16, 10), "     2.338");
    ors[8].replace(16, 10, "**********");
    write_file(d / "JOB.SOR", joined(sor));
    write_file(d / "JOB.ORS", joined(ors));
    const RunResult r = run_export(d.path(), {"JOB"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err,
              "seqord-export: warning: JOB.ORP, line 3: location 1 (HORYAN) of year 1 (1997) has a value printed as "
              "asterisks on its first 2 axes and is left out of the fits\n"
              "seqord-export: warning: JOB.ORP, line 3: a value printed as asterisks (too wide for its field) is an "
              "empty field in JOB.points.csv\n"
              "seqord-export: warning: JOB.SOR, line 69: a value printed as asterisks (too wide for its field) is an "
              "empty field in JOB.axes.csv\n");
    EXPECT_EQ(lines_of(read_file(d / "JOB.points.csv"))[1], "1,1997,1,HORYAN,,0.150,-0.199,,HORYAN");
    EXPECT_EQ(lines_of(read_file(d / "JOB.axes.csv"))[1], "1,1997,1,,58.906,58.906");
}

TEST(ExportProgram, DamagedResultFilesAreRefusedByFileAndLineAndNothingIsWritten) {
    TempDir src;
    copy_golden(src, "small_001");
    const auto sor = lines_of(read_file(src / "JOB.SOR"));
    const auto ors = lines_of(read_file(src / "JOB.ORS"));
    const auto orp = lines_of(read_file(src / "JOB.ORP"));
    auto edit = [](std::vector<std::string> lines, std::size_t i, const std::string& l) {
        lines[i] = l;
        return joined(lines);
    };
    auto cut = [](const std::vector<std::string>& lines, std::size_t n) {
        return joined(std::vector<std::string>(lines.begin(), lines.begin() + std::ptrdiff_t(n)));
    };
    struct Case {
        const char* what;
        const char* file;
        std::string text;  // what the file holds instead; empty: removed
        const char* message;
    } cases[] = {
        {"report cut inside a year", "JOB.SOR", cut(sor, 100),
         "JOB.SOR, after line 100: the file ends where the message ' Convert dissimilarity matrix to similarity' in "
         "the block of year '1998' belongs; did the run of seqord end normally?"},
        {"report cut after the workspace report", "JOB.SOR", cut(sor, 11),
         "JOB.SOR, after line 11: the report ends after the workspace report"},
        {"eigenvalues a column to the right", "JOB.SOR", edit(sor, 68, " " + sor[68]),
         "JOB.SOR, line 69: \"      2.338     0.900     0.282     0.23...\" where an eigenvalue line with 7 values "
         "belongs"},
        {"a count that is not a number", "JOB.SOR", edit(sor, 64, " Number of non-zero eigenvalues is        x7"),
         "JOB.SOR, line 65: the number of non-zero eigenvalues with a field that is not a number (columns 41-44 "
         "\"  x7\")"},
        {"a correlation row of other years", "JOB.SOR",
         edit(sor, sor.size() - 1, "      5         7       0.998     0.986    -0.993    -0.346"),
         "JOB.SOR, line 404: a correlation row of years 5 and 7 where the row of years 5 and 6 belongs"},
        {"a line after the report", "JOB.SOR", joined(sor) + "extra\r\n",
         "\"extra\" after the end of the run's report"},
        {"a line of more than a megabyte", "JOB.SOR", edit(sor, 30, std::string((1 << 20) + 5, 'x')),
         "JOB.SOR, line 31: cannot be read ("},
        {"summary cut", "JOB.ORS", cut(ors, 20),
         "JOB.ORS, after line 20: the file ends where the line of the sum and number of the non-zero eigenvalues of "
         "year 2 (1998) belongs"},
        {"summary of another run", "JOB.ORS",
         read_file(data_dir() / "golden" / "small_002" / "expected" / "JOB.ORS"), "are both from the same run?"},
        {"summary with another eigenvalue", "JOB.ORS", edit(ors, 8, ors[8].substr(0, 16) + "     2.339" + ors[8].substr(26)),
         "JOB.ORS, line 5: year 1 (1997) does not agree with the year '1997' of JOB.SOR, line 22 (name, number of "
         "axes or eigenvalues)"},
        {"points moved a column", "JOB.ORP", edit(orp, 2, " " + orp[2]),
         "JOB.ORP, line 3: a record of no known kind (\" 1997        1 HORYAN      0.418   0.150...\") where a point "
         "record or the next year record belongs"},
        {"points missing", "JOB.ORP", "", "JOB.ORP: no such file"},
        {"points of a shorter sequence", "JOB.ORP", cut(orp, 29),
         "JOB.ORP: holds the years 1 to 3, but the run's sequence is 1 to 6 (JOB.SOR); are both from the same run?"},
    };
    for (const Case& c : cases) {
        TempDir d;
        copy_golden(d, "small_001");
        if (c.text.empty()) std::filesystem::remove(d / c.file);
        else write_file(d / c.file, c.text);
        write_file(d / "JOB.points.csv", "earlier table");
        const std::size_t before = files_in(d.path());
        const RunResult r = run_export(d.path(), {"JOB"});
        EXPECT_EQ(r.status, 2) << c.what;
        EXPECT_NE(r.err.find("seqord-export: error: "), std::string::npos) << c.what << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.what << ": " << r.err;
        EXPECT_NE(r.err.find("; no table is written\n"), std::string::npos) << c.what << ": " << r.err;
        EXPECT_EQ(r.out, "") << c.what;
        EXPECT_EQ(files_in(d.path()), before) << c.what;
        EXPECT_EQ(read_file(d / "JOB.points.csv"), "earlier table") << c.what;
    }
}

TEST(ExportProgram, TablesThatCannotBeWrittenEndWithStatus1AndLeaveNothing) {
    TempDir d;
    copy_golden(d, "small_001");
    // A folder where the alignment table would go: the first two tables are
    // written under temporary names, then the set is given up.
    std::filesystem::create_directory(d / "JOB.alignment.csv");
    RunResult r = run_export(d.path(), {"JOB"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("seqord-export: error: cannot store the tables JOB.*.csv (JOB.alignment.csv: Is a directory)"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(files_in(d.path()), 5u);  // the four result files and the folder
    // A folder for --out that does not exist.
    r = run_export(d.path(), {"--out", "nowhere", "JOB"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("seqord-export: error: cannot write nowhere/JOB.points.csv (No such file or directory)"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(files_in(d.path()), 5u);
}

// ------------------------------------------------------- command line ---

TEST(ExportProgram, OutPutsTheTablesInAnotherFolder) {
    TempDir d;
    std::filesystem::create_directory(d / "runs");
    std::filesystem::create_directory(d / "tables");
    for (const char* ext : {".SOR", ".ORS", ".ORP"})
        std::filesystem::copy_file(data_dir() / "golden" / "small_003" / "expected" / ("JOB" + std::string(ext)),
                                   d / "runs" / ("JOB" + std::string(ext)));
    const RunResult r = run_export(d.path(), {"--out=tables/", "runs/JOB"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("tables/JOB.alignment.csv (20 rows)"), std::string::npos) << r.out;
    EXPECT_EQ(files_in(d / "runs"), 3u);
    EXPECT_EQ(files_in(d / "tables"), 6u);
    EXPECT_TRUE(test::exists(d / "tables" / "JOB.axes.csv"));
}

TEST(ExportProgram, UsageHelpAndVersion) {
    TempDir d;
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* out;
        const char* err;
    } cases[] = {
        {{}, 2, "", "seqord-export: error: no job name given\nusage: seqord-export [--out DIR] [--fit-axes K] [--] JOB\n"},
        {{"A", "B"}, 2, "", "seqord-export: error: one job name only, please\n"},
        {{"--frobnicate", "JOB"}, 2, "", "seqord-export: error: unknown option '--frobnicate'\n"},
        {{"JOB", "--out"}, 2, "", "seqord-export: error: option --out needs a value\n"},
        {{"--out=", "JOB"}, 2, "", "seqord-export: error: --out needs a folder\n"},
        {{"--help"}, 0, "usage: seqord-export [--out DIR] [--fit-axes K] [--] JOB\n", ""},
        {{"-h"}, 0, "usage: seqord-export [--out DIR] [--fit-axes K] [--] JOB\n", ""},
        {{"--version"}, 0, "seqord-export 1.", ""},
        {{"--fit-axes", "5", "JOB"}, 2, "", "seqord-export: error: --fit-axes takes 2, 3 or 4, not '5'\n"},
        {{"--fit-axes=1", "JOB"}, 2, "", "seqord-export: error: --fit-axes takes 2, 3 or 4, not '1'\n"},
        {{"--fit-axes=", "JOB"}, 2, "", "seqord-export: error: --fit-axes takes 2, 3 or 4, not ''\n"},
        {{"--fit-axes", "2.5", "JOB"}, 2, "", "seqord-export: error: --fit-axes takes 2, 3 or 4, not '2.5'\n"},
        {{"--", "-J"}, 2, "", "seqord-export: error: -J.ORS: no such file"},
    };
    for (const Case& c : cases) {
        const RunResult r = run_export(d.path(), c.args);
        const std::string what = c.args.empty() ? "(none)" : c.args[0];
        EXPECT_EQ(r.status, c.status) << what;
        EXPECT_EQ(r.out.rfind(c.out, 0), 0u) << what << ": " << r.out;
        if (*c.err == '\0') EXPECT_EQ(r.err, "") << what;
        else EXPECT_EQ(r.err.rfind(c.err, 0), 0u) << what << ": " << r.err;
    }
    EXPECT_EQ(files_in(d.path()), 0u);
}

// -------------------------------------------- both companion programs ---

TEST(CompanionPrograms, HelpThatCannotBeWrittenEndsWithStatus1) {
    TempDir d;
    for (const std::string exe : {SEQORD_PLOT_EXE, SEQORD_EXPORT_EXE, SEQORD_PREP_EXE}) {
        // A full disk, and a pipe whose reader has gone away before the
        // program writes (-1: killed by a signal).
        EXPECT_EQ(run_shell(d.path(), "(" + shell_quoted(exe) + " --help >/dev/full)").status, 1) << exe;
        EXPECT_EQ(run_into_closed_pipe(d.path(), exe, {"--help"}).status, 1) << exe;
    }
}

}  // namespace
}  // namespace seqord::test
