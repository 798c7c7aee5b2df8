// Every way a run can end (docs/errors.md), driven through the real
// executable: the exit status, the report on standard error, and what the
// output files hold afterwards.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "main/job.h"
#include "support.h"

namespace seqord::test {
namespace {

// A small valid job: two years of three locations, the second year with two.
const std::string kEma =
    "     2     3    10     1     2\n"
    "error cases\n"
    "     U     S     S     N\n"
    "     1    1997\n"
    "     3\n"
    "  1  1  1\n"
    "     1 A          0.00000000E+00\n"
    "     2 B          0.10000000E+01  0.00000000E+00\n"
    "     3 C          0.40000000E+01  0.10000000E+01  0.00000000E+00\n"
    "     2    1998\n"
    "     2\n"
    "  1  0  1\n"
    "     1 A          0.00000000E+00\n"
    "     2 C          0.50000000E+01  0.00000000E+00\n";
const std::string kNaq = "names\n 2 3 10\n1997\n1998\nA\nB\nC\n";

class RunEnd : public ::testing::Test {
protected:
    void SetUp() override {
        write_file(dir / "JOB.EMA", kEma);
        write_file(dir / "JOB.NAQ", kNaq);
    }
    // Replaces the first occurrence of `from` in the main input.
    void edit_ema(const std::string& from, const std::string& to) {
        std::string s = read_file(dir / "JOB.EMA");
        const auto at = s.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        s.replace(at, from.size(), to);
        write_file(dir / "JOB.EMA", s);
    }
    RunResult per_file(const std::string& ema, const std::string& naq, const std::string& sor) {
        return run_program(dir.path(), "n\n" + ema + "\n" + naq + "\n" + sor + "\nJOB.ORS\nJOB.POR\nJOB.ORP\n");
    }

    TempDir dir;
};

// ---------------------------------------------------------- normal ends ---

TEST_F(RunEnd, NormalEnd) {
    const RunResult r = run_job(dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(contains(read_file(dir / "JOB.ORP"), "1998        3 C"));
}

TEST_F(RunEnd, CapacityShortfallEndsNormally) {
    edit_ema("     2     3    10     1     2", "    33   300    10     1     2");
    const RunResult r = run_job(dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(contains(r.out, " INCREASE DIMENSION OF MZ ARRAY TO   10201\n"));
    EXPECT_FALSE(std::filesystem::exists(dir / "JOB.POR") && !read_file(dir / "JOB.POR").empty());
}

// ------------------------------------------- fatal record-layer conditions ---

TEST_F(RunEnd, EndOfConsoleInput) {
    const RunResult r = run_program(dir.path(), "y\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "seqord: severe (24): end-of-file during read, unit 5, file stdin, after line 1")) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "JOB.SOR"));
}

TEST_F(RunEnd, EndOfMainInputInsideABlock) {
    std::string s = kEma.substr(0, kEma.rfind("     2 C"));
    write_file(dir / "JOB.EMA", s);
    write_file(dir / "JOB.POR", "kept\n");
    const RunResult r = run_job(dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "end-of-file during read, unit 20, file JOB.EMA, after line 13")) << r.err;
    EXPECT_EQ(read_file(dir / "JOB.POR"), "kept\n");
    // The year in progress is cut off after its last completed record.
    EXPECT_TRUE(contains(read_file(dir / "JOB.SOR"), " Read cummulative proximity matrix\r\n"));
}

TEST_F(RunEnd, EndOfNameInput) {
    write_file(dir / "JOB.NAQ", "names\n 2 3 10\n1997\n1998\nA\n");
    const RunResult r = run_job(dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "end-of-file during read, unit 21, file JOB.NAQ, after line 5")) << r.err;
}

TEST_F(RunEnd, InputConversionError) {
    edit_ema("0.40000000E+01", "0.4000000OE+01");
    const RunResult r = run_job(dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "input conversion error, unit 20, file JOB.EMA, line 9, columns 17-32 \"  0.4000000OE+01\""))
        << r.err;
}

TEST_F(RunEnd, ASignWithoutADigitInAMatrixRowIsAConversionError) {
    // The same field wherever its blanks stand: a sign alone holds no number.
    edit_ema("  0.40000000E+01", "+               ");
    const RunResult r = run_job(dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "input conversion error, unit 20, file JOB.EMA, line 9, columns 17-32 \"+               \""))
        << r.err;
}

TEST_F(RunEnd, ValueTooLargeForSinglePrecision) {
    edit_ema("0.40000000E+01", "0.40000000E+40");
    const RunResult r = run_job(dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "input conversion error, unit 20, file JOB.EMA, line 9, columns 17-32")) << r.err;
}

TEST_F(RunEnd, ListDirectedSyntaxError) {
    edit_ema("  1  0  1", "  1  O  1");
    const RunResult r = run_job(dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "list-directed I/O syntax error, unit 20, file JOB.EMA, line 12, column 6 \"O\"")) << r.err;
}

TEST_F(RunEnd, FileNotFound) {
    std::filesystem::remove(dir / "JOB.EMA");
    const RunResult r = run_job(dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "seqord: severe (29): file not found, unit 20, file JOB.EMA")) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "JOB.SOR"));  // nothing opened after the failing file
}

TEST_F(RunEnd, PermissionDenied) {
    if (::geteuid() != 0) {
        ::chmod((dir / "JOB.NAQ").c_str(), 0);
        const RunResult r = run_job(dir.path());
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(contains(r.err, "permission to access file denied, unit 21, file JOB.NAQ")) << r.err;
        return;
    }
    // File permissions do not bind the superuser, but the kernel's read-only
    // attribute files refuse writing to everyone.
    const char* read_only = "/sys/kernel/notes";
    if (!std::filesystem::exists(read_only)) GTEST_SKIP() << "no read-only kernel file to write to";
    const RunResult r = per_file("JOB.EMA", "JOB.NAQ", read_only);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "seqord: severe (9): permission to access file denied, unit 22, file /sys/kernel/notes"))
        << r.err;
}

TEST_F(RunEnd, OpenFailureOfADirectoryOrAMissingFolder) {
    std::filesystem::create_directory(dir / "folder");
    RunResult r = per_file("folder", "JOB.NAQ", "JOB.SOR");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "seqord: severe (30): open failure, unit 20, file folder (Is a directory)")) << r.err;
    r = per_file("JOB.EMA", "JOB.NAQ", "nowhere/JOB.SOR");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "open failure, unit 22, file nowhere/JOB.SOR (No such file or directory)")) << r.err;
}

TEST_F(RunEnd, ReadFailure) {
    // Reading the memory file of a process at its start fails with an I/O error.
    const RunResult r = per_file("/proc/self/mem", "JOB.NAQ", "JOB.SOR");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "seqord: severe (39): error during read, unit 20, file /proc/self/mem, at the start of the file"))
        << r.err;
}

TEST_F(RunEnd, WriteFailureOnAFullDevice) {
    const RunResult r = per_file("JOB.EMA", "JOB.NAQ", "/dev/full");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "seqord: severe (38): error during write, unit 22, file /dev/full (No space left on device)"))
        << r.err;
}

// ------------------------------------------------------------- refusals ---

TEST_F(RunEnd, NamesThatCoincide) {
    const RunResult r = per_file("JOB.EMA", "JOB.NAQ", "./JOB.EMA");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "the main input (.EMA) and the report (.SOR) would be the same file")) << r.err;
    EXPECT_EQ(read_file(dir / "JOB.EMA"), kEma);
    EXPECT_FALSE(std::filesystem::exists(dir / "JOB.ORS"));
}

TEST_F(RunEnd, RunHeaderWithoutYearsOrLocations) {
    edit_ema("     2     3    10     1     2", "     2     0    10     1     2");
    const RunResult r = run_job(dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "seqord: error: JOB.EMA, line 1: MAXY = 2 and MAXL = 0 in the run header")) << r.err;
}

TEST_F(RunEnd, SequenceOutsideTheYears) {
    edit_ema("     2     3    10     1     2", "     2     3    10     1     3");
    const RunResult r = run_job(dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "the year sequence IYS = 1 to IYF = 3 does not lie within the years 1..2 (MAXY)")) << r.err;
}

TEST_F(RunEnd, YearIndexOutsideTheTables) {
    edit_ema("     2    1998", "     3    1998");
    const RunResult r = run_job(dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "seqord: error: JOB.EMA, line 10: year index 3 is outside the years 1..2 (MAXY)")) << r.err;
    EXPECT_FALSE(contains(read_file(dir / "JOB.SOR"), " Read elimination vector\r\n   NL"));
}

TEST_F(RunEnd, MoreLocationsThanTheDataSet) {
    edit_ema("     2    1998\n     2\n", "     2    1998\n     4\n");
    const RunResult r = run_job(dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "JOB.EMA, line 11: year 2 (1998) retains NL = 4 locations, more than the 3 (MAXL)")) << r.err;
}

TEST_F(RunEnd, NegativeNumberOfLocations) {
    edit_ema("     2    1998\n     2\n", "     2    1998\n    -1\n");
    const RunResult r = run_job(dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "retains NL = -1 locations; the number cannot be negative")) << r.err;
}

// ------------------------------------------------------------- warnings ---

TEST_F(RunEnd, FlagCountDifferentFromNL) {
    const RunResult clean = run_job(dir.path());
    const std::string ors = read_file(dir / "JOB.ORS");
    edit_ema("  1  0  1", "  1  1  1");
    const RunResult r = run_job(dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.err, "seqord: warning: JOB.EMA, line 12: year 2 (1998) has NL = 2 but 3 locations flagged 1")) << r.err;
    EXPECT_EQ(clean.err, "");
    EXPECT_FALSE(contains(read_file(dir / "JOB.SOR"), "warning"));
}

TEST_F(RunEnd, YearIndexMetTwice) {
    edit_ema("     2    1998", "     1    1998");
    const RunResult r = run_job(dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.err, "seqord: warning: JOB.EMA, line 10: year 1 (1998) occurs again")) << r.err;
}

// ------------------------------------------------------- hostile input ---

TEST_F(RunEnd, CrLfLineEndsReadLikeLf) {
    const RunResult lf = run_job(dir.path());
    const std::string sor = read_file(dir / "JOB.SOR");
    write_file(dir / "JOB.EMA", crlf(kEma));
    write_file(dir / "JOB.NAQ", crlf(kNaq));
    const RunResult r = run_job(dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(dir / "JOB.SOR"), sor);
}

TEST_F(RunEnd, VeryLongLineAndBinaryGarbage) {
    edit_ema("error cases", std::string(100000, 'T'));
    RunResult r = run_job(dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(read_file(dir / "JOB.SOR"), " Job is " + std::string(50, 'T') + "\r\n"));
    std::string garbage;
    for (int i = 0; i < 5000; ++i) garbage.push_back(static_cast<char>((i * 7919) % 256));
    write_file(dir / "JOB.EMA", garbage);
    r = run_job(dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "unit 20, file JOB.EMA")) << r.err;
}

TEST_F(RunEnd, ExistingOutputsAreCutBackOrKept) {
    write_file(dir / "JOB.SOR", std::string(200000, 'x'));
    edit_ema("     2     3    10     1     2", "     2     3    10     2     1");  // IYF < IYS: no pair, no year
    write_file(dir / "JOB.POR", "old pairs\n");
    write_file(dir / "JOB.ORP", "old years\n");
    const RunResult r = run_job(dir.path());
    EXPECT_EQ(r.status, 0);
    const std::string sor = read_file(dir / "JOB.SOR");
    EXPECT_EQ(sor.find("xxxx"), std::string::npos);
    EXPECT_LT(sor.size(), 200000u);
    EXPECT_EQ(read_file(dir / "JOB.POR"), "old pairs\n");
    EXPECT_EQ(read_file(dir / "JOB.ORP"), "old years\n");
}

TEST_F(RunEnd, RunHeaderNearThe32BitLimits) {
    edit_ema("     2     3    10     1     2", " 2147483647 2147483647 -2147483648 -2147483648 2147483647");
    const RunResult r = run_job(dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.out, " INCREASE DIMENSION OF Z ARRAY TO********\n")) << r.out;
    EXPECT_TRUE(contains(read_file(dir / "JOB.SOR"), " DIMENSIONS REQUIRED: DZ=     1 Z=****** MZ=****** AZ=******"));
}

}  // namespace
}  // namespace seqord::test

namespace seqord::test {
namespace {

// ------------------------------------------------ hostile conditions ---
// Each of these once ended silently, in a wrong file, or with a wrong status.

class Hostile : public RunEnd {};

TEST_F(Hostile, ADanglingLinkBetweenTwoOutputNamesIsRefused) {
    // JOB.ORS points at JOB.SOR, which does not exist yet: opening JOB.ORS
    // would create JOB.SOR, and the summary would overwrite the report.
    ASSERT_EQ(::symlink("JOB.SOR", (dir / "JOB.ORS").c_str()), 0);
    const RunResult r = run_job(dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "seqord: error: the report (.SOR) and the summary (.ORS) would be the same file")) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "JOB.SOR"));
}

TEST_F(Hostile, ATypedNameHoldingANulByteIsRefused) {
    // "out\0A" and "out\0B" compare different but would both open "out".
    const std::string answers = std::string("n\nJOB.EMA\nJOB.NAQ\nout") + '\0' + "A\nout" + '\0' + "B\nJOB.POR\nJOB.ORP\n";
    const RunResult r = run_program(dir.path(), answers);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "seqord: error: the name given for the report (.SOR) (\"out\\x00A\") holds a NUL byte")) << r.err;
    EXPECT_EQ(r.err.find('\0'), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "out"));
}

TEST_F(Hostile, OpenedFilesAreComparedBeforeAnythingIsWritten) {
    // The names are not checked here: the six opened files themselves are.
    job::FileNames names;
    const char* given[] = {"JOB.EMA", "JOB.NAQ", "R.SOR", "S.ORS", "P.POR", "./R.SOR"};
    for (std::size_t k = 0; k < 6; ++k) names[k] = job::as_typed((dir / given[k]).string());
    Files f;
    std::string report;
    try {
        job::open_files(f, names);
    } catch (const RunStop& stop) {
        EXPECT_EQ(job::exit_status(stop), job::kExitRefused);
        report = stop.what();
    }
    EXPECT_TRUE(contains(report, "the report (.SOR) and the year file (.ORP) would be the same file")) << report;
    EXPECT_EQ(read_file(dir / "R.SOR"), "");
}

TEST_F(Hostile, AConsoleWhoseReaderHasGoneIsAReportedWriteFailure) {
    const RunResult r = run_into_closed_pipe(dir.path(), SEQORD_EXE, {"JOB"});
    EXPECT_EQ(r.status, 1) << "killed by a signal when -1";
    EXPECT_TRUE(contains(r.err, "seqord: severe (38): error during write, unit 6, file stdout (Broken pipe)")) << r.err;
    const RunResult help = run_into_closed_pipe(dir.path(), SEQORD_EXE, {"--help"});
    EXPECT_EQ(help.status, 1);
}

TEST_F(Hostile, AFileSizeLimitIsAReportedWriteFailure) {
    // One block of 1024 bytes: the console log or .SOR grows past it.
    const RunResult r = run_shell(dir.path(), "ulimit -f 1 && " + shell_quoted(SEQORD_EXE) + " JOB");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(contains(r.err, "seqord: severe (38): error during write, unit ")) << r.err;
    EXPECT_TRUE(contains(r.err, " (File too large)")) << r.err;
}

TEST_F(Hostile, ARecordLongerThanTheLimitIsRefusedWithItsLine) {
    // Exactly the limit is a record like any other (the title keeps its first 50 characters)...
    edit_ema("error cases\n", std::string(kMaxRecordLength, 'T') + "\r\n");
    RunResult r = run_job(dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    // ... one character more is not, however the file goes on.
    edit_ema(std::string(kMaxRecordLength, 'T'), std::string(kMaxRecordLength + 1, 'T'));
    r = run_job(dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "seqord: severe (44): record too long, unit 20, file JOB.EMA, line 2 (longer than 1048576 "
                           "characters)"))
        << r.err.substr(0, 300);
    EXPECT_LT(r.err.size(), 200u);
}

TEST_F(Hostile, ABadTokenIsQuotedShortAndControlBytesAreShownEscaped) {
    edit_ema("  1  0  1", "  1 " + std::string(100, 'x') + " 1");
    RunResult r = run_job(dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "columns 5-104 \"" + std::string(40, 'x') + "...\"")) << r.err;
    write_file(dir / "JOB.EMA", kEma);
    edit_ema("0.40000000E+01", std::string("0.4000") + '\0' + "000E+01");
    r = run_job(dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "line 9, columns 17-32 \"  0.4000\\x00000E+01\"")) << r.err;
    EXPECT_EQ(r.err.find('\0'), std::string::npos);
    // A name typed as an empty line still shows in the report.
    r = per_file("", "JOB.NAQ", "JOB.SOR");
    EXPECT_TRUE(contains(r.err, "file not found, unit 20, file \"\" (No such file or directory)")) << r.err;
}

TEST_F(Hostile, ClosedStandardDescriptorsTakeNoFilesNumbers) {
    // The files opened first would take descriptors 0 to 2, and the fatal
    // report would land in one of them.
    edit_ema("0.40000000E+01", "0.4000000OE+01");
    const RunResult r = run_shell(dir.path(), "(" + shell_quoted(SEQORD_EXE) + " JOB <&- >&- 2>&-)");
    EXPECT_EQ(r.status, 1);
    for (const char* f : {"JOB.EMA", "JOB.NAQ", "JOB.SOR", "JOB.ORS"})
        EXPECT_FALSE(contains(read_file(dir / f), "severe")) << f;
    EXPECT_TRUE(contains(read_file(dir / "JOB.SOR"), " Read cummulative proximity matrix\r\n"));
}

TEST_F(Hostile, AnOverflowInTheCentringIsWarnedAbout) {
    // Legal single-precision dissimilarities whose row sums overflow: five
    // locations 3.0E+38 apart.  The year before is an ordinary one.
    std::string ema = "     2     5    10     1     2\noverflow\n     U     S     S     N\n"
                      "     1    1997\n     2\n  1  1  0  0  0\n"
                      "     1 A          0.00000000E+00\n     2 B          0.10000000E+01  0.00000000E+00\n"
                      "     2    1998\n     5\n  1  1  1  1  1\n";
    for (int i = 1; i <= 5; ++i) {
        ema += "     " + std::to_string(i) + " " + std::string(1, char('A' + i - 1)) + "       ";
        for (int j = 1; j < i; ++j) ema += "  0.30000000E+39";
        ema += "  0.00000000E+00\n";
    }
    write_file(dir / "JOB.EMA", ema);
    write_file(dir / "JOB.NAQ", "names\n2 5 10\n1997\n1998\nA\nB\nC\nD\nE\n");
    const RunResult r = run_job(dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.err, "seqord: warning: year 2 (1998): its centred similarity matrix holds values that are not "
                           "finite"))
        << r.err;
    EXPECT_FALSE(contains(r.err, "year 1")) << r.err;
    // The files show what the arithmetic gave.
    EXPECT_TRUE(contains(read_file(dir / "JOB.SOR"), "NaN"));
}

}  // namespace
}  // namespace seqord::test
