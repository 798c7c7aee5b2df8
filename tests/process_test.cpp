// The process guards, the stored file sets and the command-line parser that
// every program uses.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "process/process.h"
#include "support.h"

namespace seqord::test {
namespace {

namespace fs = std::filesystem;

std::size_t entries(const fs::path& dir) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++n;
    return n;
}

TEST(StoredFiles, AppearTogetherWholeAndLeaveNoTemporaries) {
    TempDir dir;
    write_file(dir / "a.txt", "old a");
    {
        process::StoredFiles set;
        std::string why;
        const int a = set.create((dir / "a.txt").string(), why);
        const int b = set.create((dir / "b.txt").string(), why);
        ASSERT_GE(a, 0) << why;
        ASSERT_GE(b, 0) << why;
        ASSERT_EQ(::write(a, "new a", 5), 5);
        ASSERT_EQ(::write(b, "new b", 5), 5);
        // Nothing has replaced the old file before the commit.
        EXPECT_EQ(read_file(dir / "a.txt"), "old a");
        EXPECT_FALSE(seqord::test::exists(dir / "b.txt"));
        EXPECT_EQ(set.commit(), "");
    }
    EXPECT_EQ(read_file(dir / "a.txt"), "new a");
    EXPECT_EQ(read_file(dir / "b.txt"), "new b");
    EXPECT_EQ(entries(dir.path()), 2u);
    // An ordinary new file's permissions, not mkstemp's 0600.
    struct stat st {};
    ASSERT_EQ(::stat((dir / "b.txt").c_str(), &st), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
}

TEST(StoredFiles, ASetNotCommittedLeavesTheOldFilesAlone) {
    TempDir dir;
    write_file(dir / "a.txt", "old a");
    {
        process::StoredFiles set;
        std::string why;
        const int a = set.create((dir / "a.txt").string(), why);
        ASSERT_GE(a, 0);
        ASSERT_EQ(::write(a, "half", 4), 4);
    }
    EXPECT_EQ(read_file(dir / "a.txt"), "old a");
    EXPECT_EQ(entries(dir.path()), 1u);

    process::StoredFiles set;
    std::string why;
    EXPECT_EQ(set.create((dir / "missing" / "x.txt").string(), why), -1);
    EXPECT_FALSE(why.empty());
    EXPECT_NE(process::store_whole((dir / "missing" / "y.txt").string(), "text"), "");
    EXPECT_EQ(process::store_whole((dir / "c.txt").string(), "text"), "");
    EXPECT_EQ(read_file(dir / "c.txt"), "text");
}

TEST(WriteAll, WritesEverythingOrSaysItCouldNot) {
    TempFile file;
    const std::string text(200000, 'x');
    EXPECT_TRUE(process::write_all(file.fd(), text));
    EXPECT_EQ(file.contents(), text);
    const int full = ::open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    EXPECT_FALSE(process::write_all(full, "help"));
    EXPECT_TRUE(process::write_all(full, ""));
    ::close(full);
}

TEST(ParseArgs, OptionsValuesOperandsAndProblems) {
    const process::Option options[] = {{"help", 'h', false}, {"out", 0, true}, {"force", 0, false}};
    struct Case {
        std::vector<const char*> argv;
        std::string values;  // name=value;...
        std::string operands;
        std::string problem;
    };
    const Case cases[] = {
        {{"p", "JOB"}, "", "JOB;", ""},
        {{"p", "--out", "dir", "JOB"}, "out=dir;", "JOB;", ""},
        {{"p", "--out=d=2", "--force", "A", "B"}, "force=;out=d=2;", "A;B;", ""},
        {{"p", "-h"}, "help=;", "", ""},
        {{"p", "--", "-odd", "--force"}, "", "-odd;--force;", ""},
        {{"p", "-", "--out="}, "out=;", "-;", ""},
        {{"p", "--bogus"}, "", "", "unknown option '--bogus'"},
        {{"p", "-x"}, "", "", "unknown option '-x'"},
        {{"p", "--out"}, "", "", "option --out needs a value"},
        {{"p", "--force=yes"}, "force=;", "", "option --force takes no value"},
        {{"p", "--out", "a", "--out", "b"}, "out=a;", "", "option --out is given more than once"},
    };
    for (const Case& c : cases) {
        const process::ParsedArgs r = process::parse_args(static_cast<int>(c.argv.size()), c.argv.data(), options);
        std::string values, operands;
        for (const auto& [k, v] : r.values) values += k + "=" + v + ";";
        for (const auto& o : r.operands) operands += o + ";";
        EXPECT_EQ(r.problem, c.problem) << c.argv[1];
        if (!c.problem.empty()) continue;
        EXPECT_EQ(values, c.values) << c.argv[1];
        EXPECT_EQ(operands, c.operands) << c.argv[1];
    }
}

}  // namespace
}  // namespace seqord::test
