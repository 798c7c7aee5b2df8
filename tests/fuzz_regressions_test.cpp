// Replays the inputs kept from fuzzing (tests/data/fuzz/<target>/) through the
// same per-input code as the fuzz targets (fuzz/fuzz.h), without the
// fuzzer runtime: no input may let anything but a RunStop escape, break one
// of the targets' expectations, or end a run with a status outside 0-2.
// The models the targets compare the program with (fuzz/models.h) are
// checked here too, against results worked out by hand from the layouts.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "../fuzz/fuzz.h"
#include "../fuzz/models.h"
#include "input/input.h"
#include "output/output.h"
#include "support.h"

namespace seqord::fuzz {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> kept(const std::string& target) {
    std::vector<fs::path> files;
    const fs::path dir = test::data_dir() / "fuzz" / target;
    if (fs::is_directory(dir))
        for (const auto& e : fs::directory_iterator(dir))
            if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::uint8_t> bytes_of(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

using Target = Result (*)(const std::uint8_t*, std::size_t);

void replay_all(const std::string& target, Target run) {
    const auto files = kept(target);
    ASSERT_FALSE(files.empty()) << "no kept inputs under tests/data/fuzz/" << target;
    for (const auto& f : files) {
        SCOPED_TRACE(f.filename().string());
        const auto data = bytes_of(f);
        Result r;
        ASSERT_NO_THROW(r = run(data.data(), data.size()));
        EXPECT_EQ(r.verdict, "");
        if (target == "job" && !r.rejected) {
            EXPECT_GE(r.status, 0);
            EXPECT_LE(r.status, 2);
        }
    }
}

// ------------------------------------------------------------ replays ---

TEST(FuzzReplay, RecordsRead) { replay_all("records_read", records_read); }
TEST(FuzzReplay, ListRead) { replay_all("list_read", list_read); }
TEST(FuzzReplay, FormatOut) { replay_all("format_out", format_out); }
TEST(FuzzReplay, Job) { replay_all("job", job); }
TEST(FuzzReplay, ResultsRead) { replay_all("results_read", results_read); }
TEST(FuzzReplay, CsvRead) { replay_all("csv_read", csv_read); }

// A free-form value whose digits overflow before a character that no integer
// holds is a syntax error, not a conversion error.
TEST(FuzzFindings, OverflowingTokenWithBadCharacterIsASyntaxError) {
    MemFile file("3648364864#7\n");
    InStream s;
    s.bind(20, "t.EMA", file.fd());
    std::int32_t a = 0;
    try {
        read_list(s, {a});
        FAIL() << "the read did not stop";
    } catch (const RunStop& stop) {
        EXPECT_EQ(severe_number(stop), 59) << stop.what();
    }
    // Digits alone past the 32-bit range remain a conversion error.
    MemFile big("3648364864\n");
    InStream s2;
    s2.bind(20, "t.EMA", big.fd());
    try {
        read_list(s2, {a});
        FAIL() << "the read did not stop";
    } catch (const RunStop& stop) {
        EXPECT_EQ(severe_number(stop), 64) << stop.what();
    }
}

// -------------------------------------------- the targets' own models ---

std::vector<detail::Value> values(std::initializer_list<detail::Value> v) { return v; }
detail::Value I(std::int64_t i) { return {detail::Value::K::Int, i, 0.0f, {}}; }
detail::Value R(float f) { return {detail::Value::K::Real, 0, f, {}}; }
detail::Value A(std::string t) { return {detail::Value::K::Text, 0, 0.0f, std::move(t)}; }

std::string model(const Format& f, const std::vector<detail::Value>& v, std::string_view eol = "\r\n") {
    bool ok = false;
    std::string s = detail::model_write(f, v, eol, ok);
    EXPECT_TRUE(ok);
    return s;
}

TEST(FuzzModels, WriteModelFollowsTheMatchingRules) {
    // Matrix row: I6, blank, A8, blank, then from column 17 ten E16.8 a line;
    // a further line is blank in columns 1-16.
    const std::string blank16(16, ' ');
    EXPECT_EQ(model(layouts::S10, values({I(1), A("HORYAN  "), R(12.5f)})),
              "     1 HORYAN     0.12500000E+02\r\n");
    std::vector<detail::Value> eleven = values({I(11), A("TAMDO   ")});
    for (int k = 0; k < 11; ++k) eleven.push_back(R(0.0f));
    std::string zero10;
    for (int k = 0; k < 10; ++k) zero10 += "  0.00000000E+00";
    EXPECT_EQ(model(layouts::S10, eleven), "    11 TAMDO    " + zero10 + "\r\n" + blank16 + "  0.00000000E+00\r\n");
    // Row 1 of the echo has no values: the record ends after the name.
    EXPECT_EQ(model(layouts::S10, values({I(1), A("HORYAN  ")})), "     1 HORYAN  \r\n");
    // A literal heading and "/" with no values: the heading and one empty record.
    EXPECT_EQ(model(layouts::S15, {}), " Eigenvalue number                      \r\n\r\n");
    // The heading comes again before the 11th value.
    std::vector<detail::Value> twelve;
    for (int k = 1; k <= 12; ++k) twelve.push_back(I(k));
    std::string first10;  // 10I10: each number right-aligned in ten columns
    for (int k = 1; k <= 9; ++k) first10 += std::string(9, ' ') + char('0' + k);
    first10 += "        10";
    EXPECT_EQ(model(layouts::S15, twelve), " Eigenvalue number                      \r\n" + first10 + "\r\n" +
                                               " Eigenvalue number                      \r\n" +
                                               "        11        12\r\n");
    // "(2(I4,1X,A8,1X))" with two values: 13 columns, no blank for the last 1X.
    EXPECT_EQ(model(layouts::P3, values({I(7), A("1997    ")})), "   7 1997    \r\n");
    // "()" and "(16X,10F10.3)" with no values: one empty record each.
    EXPECT_EQ(model(layouts::P2, {}), "\r\n");
    EXPECT_EQ(model(layouts::R9, {}), "\r\n");
    // "(A,$)" leaves its record open.
    EXPECT_EQ(model(layouts::C1_prompt, values({A(" Enter - ")}), "\n"), " Enter - ");
    // S22 reverts to its last group: further values are F7.3 fields.
    EXPECT_EQ(model(layouts::S22, values({I(1), I(2), R(0.5f), R(-0.25f), R(1.0f), R(0.0f), R(2.0f)})),
              "      1         2       0.500    -0.250     1.000     0.000\r\n"
              "    2.000\r\n");
}

TEST(FuzzModels, SlotsFollowReversion) {
    using detail::Slot;
    // No group: reversion starts the layout over, so the 13th value is an I again.
    std::vector<Slot> s20 = detail::slots(layouts::S20, 13);
    ASSERT_EQ(s20.size(), 13u);
    EXPECT_EQ(s20[0], Slot::Int);
    EXPECT_EQ(s20[1], Slot::Text);
    EXPECT_EQ(s20[11], Slot::Real);
    EXPECT_EQ(s20[12], Slot::Int);
    // The matrix row reverts to its group: reals only after the first line.
    std::vector<Slot> row = detail::slots(layouts::kMatrixRow, 30);
    EXPECT_EQ(row[0], Slot::Int);
    EXPECT_EQ(row[1], Slot::Text);
    EXPECT_TRUE(std::all_of(row.begin() + 2, row.end(), [](Slot s) { return s == Slot::Real; }));
    EXPECT_TRUE(detail::slots(layouts::S21, 5).empty());
}

TEST(FuzzModels, ListModelFollowsTheFreeFormRules) {
    using End = detail::ListModel::End;
    auto run = [](const std::string& text, std::vector<std::int32_t>& v) {
        std::vector<std::int32_t*> p;
        for (auto& x : v) p.push_back(&x);
        return detail::model_list(split_records(text), 0, p);
    };
    std::vector<std::int32_t> v(3, -1);
    detail::ListModel m = run("5\n7 9 11\nnext\n", v);
    EXPECT_EQ(v, (std::vector<std::int32_t>{5, 7, 9}));
    EXPECT_EQ(m.end, End::Full);
    EXPECT_EQ(m.next_record, 2u);  // 11 is skipped with the rest of its line
    v.assign(3, -1);
    m = run("5,,9\n", v);
    EXPECT_EQ(v, (std::vector<std::int32_t>{5, -1, 9}));
    v.assign(3, -1);
    m = run("2*4 /\n", v);
    EXPECT_EQ(v, (std::vector<std::int32_t>{4, 4, -1}));
    EXPECT_EQ(m.end, End::Slash);
    v.assign(3, -1);
    m = run(", 5\n", v);  // a comma at the start is a null value
    EXPECT_EQ(v, (std::vector<std::int32_t>{-1, 5, -1}));
    EXPECT_EQ(m.end, End::EndOfFile);
    v.assign(1, -1);
    EXPECT_EQ(run("1x\n", v).end, End::Syntax);
    EXPECT_EQ(run("2147483648\n", v).end, End::Conversion);
    EXPECT_EQ(run("0*3\n", v).end, End::Syntax);
}

TEST(FuzzModels, RowModelTakesContinuationLines) {
    // Eleven values: ten on the first line from column 17, one on the next.
    std::string first = "    11 TAMDO    ";
    for (int k = 1; k <= 10; ++k) first += "  0." + std::to_string(k % 10) + "0000000E+01";
    const std::string second = std::string(16, 'x') + "         1234567";  // columns 1-16 are skipped
    const detail::RowModel m = detail::model_row({first, second}, 0, 11);
    ASSERT_TRUE(m.ok);
    EXPECT_EQ(m.lines, 2);
    EXPECT_EQ(m.number, 11);
    EXPECT_EQ(m.name, Name::of("TAMDO"));
    EXPECT_EQ(m.values[0], 1.0f);
    EXPECT_EQ(m.values[9], 0.0f);
    EXPECT_FLOAT_EQ(m.values[10], 0.01234567f);  // no point: the last 8 digits are decimals
    EXPECT_FALSE(detail::model_row({first}, 0, 11).ok);  // the continuation line is missing
}

// ---------------------------------------------- the in-process run ---

// A known-good run through the fuzz_job path ends normally and writes the
// same report as the program does when run on its own.
TEST(FuzzModels, CsvModelFollowsTheTableRules) {
    using Row = detail::CsvModel::Row;
    detail::CsvModel m = detail::model_csv("\n \r\na\tb\n\"x\ty\" \t 1\r\n\n  \n\"\"\"\"\n2\t3\r");
    EXPECT_EQ(m.sep, '\t');
    EXPECT_EQ(m.error, "");
    EXPECT_EQ(m.rows, (std::vector<Row>{{3, {"a", "b"}}, {4, {"x\ty", " 1"}}, {7, {"\""}}, {8, {"2", "3"}}}));
    m = detail::model_csv("a;b\n1;\"2\n3\"x\n");
    EXPECT_EQ(m.sep, ';');
    EXPECT_EQ(m.rows, (std::vector<Row>{{1, {"a", "b"}}}));
    EXPECT_EQ(m.error, "line 3: text after the closing quote of a field");
    EXPECT_EQ(detail::model_csv("a\r1\n").error,
              "line 1: a carriage return alone ends a line (old Mac line ends); save the table with LF or CR LF line ends");
    EXPECT_EQ(detail::model_csv("a\n\"1\n").error, "line 2: a quoted field is not closed before the end of the file");
}

TEST(FuzzJob, GoldenRunInProcessMatchesTheKnownReport) {
    const fs::path in = test::data_dir() / "golden" / "small_001" / "input";
    const std::string text =
        test::read_file(in / "JOB.EMA") + std::string(kJobSeparator) + test::read_file(in / "JOB.NAQ");
    const Result r = job(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    EXPECT_EQ(r.verdict, "");
    EXPECT_EQ(r.status, 0);
    const fs::path expected = test::data_dir() / "golden" / "small_001" / "expected";
    EXPECT_EQ(test::read_file(job_file(".SOR")), test::read_file(expected / "JOB.SOR"));
    EXPECT_EQ(test::read_file(job_file(".ORP")), test::read_file(expected / "JOB.ORP"));
}

TEST(FuzzJob, HeaderAskingForTooManyLocationsIsNotRun) {
    const std::string text = "1 61 1 1 1\n";
    const Result r = job(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    EXPECT_TRUE(r.rejected);
}

}  // namespace
}  // namespace seqord::fuzz
