// Whole runs through the real executable, compared byte for byte with the
// files and console output of known-good runs (tests/data/golden/<case>).
#include <gtest/gtest.h>

#include "support.h"

namespace seqord::test {
namespace {

class Golden : public ::testing::TestWithParam<std::string> {};

TEST_P(Golden, AllFourFilesAndTheConsoleMatch) {
    const auto src = data_dir() / "golden" / GetParam();
    TempDir dir;
    for (const char* f : {"JOB.EMA", "JOB.NAQ"})
        std::filesystem::copy_file(src / "input" / f, dir / f);
    const RunResult r = run_job(dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, read_file(src / "expected" / "console.txt"));
    for (const char* f : {"JOB.SOR", "JOB.ORS", "JOB.POR", "JOB.ORP"})
        EXPECT_EQ(read_file(dir / f), read_file(src / "expected" / f)) << f;
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden,
                         ::testing::Values("small_001", "small_002", "small_003", "edge_base", "edge_nl_10_11_12",
                                           "edge_axes_gt_10", "edge_year_missing"));

}  // namespace
}  // namespace seqord::test
