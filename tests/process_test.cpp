// The process guards, the stored file sets and the command-line parser that
// every program uses.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>

#include "process/process.h"
#include "seqord-export/export.h"
#include "seqord-prep/prep.h"
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

// ------------------------------------------- a rename that fails ---

// Makes rename number `nth` of the stored file sets (from 1), and with
// `and_later` every one after it too, fail with EBUSY, as a busy file system
// would; the rename of the system does the others.
class FailingRename {
public:
    FailingRename(int nth, bool and_later) {
        calls_ = 0;
        nth_ = nth;
        and_later_ = and_later;
        process::rename_file = &rename;
    }
    ~FailingRename() { process::rename_file = &process::system_rename; }
    FailingRename(const FailingRename&) = delete;
    FailingRename& operator=(const FailingRename&) = delete;
    static int calls() { return calls_; }

private:
    static int rename(const char* from, const char* to) {
        ++calls_;
        if (calls_ == nth_ || (and_later_ && calls_ > nth_)) {
            errno = EBUSY;
            return -1;
        }
        return ::rename(from, to);
    }
    static inline int calls_ = 0, nth_ = 0;
    static inline bool and_later_ = false;
};

// Every file of a folder and what it holds.
std::map<std::string, std::string> snapshot(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(dir)) files[e.path().filename().string()] = read_file(e.path());
    return files;
}

TEST(StoredFiles, ARenameThatFailsLeavesEveryFileAsItWas) {
    // Three files, the first and the last with an old version: whichever
    // rename fails, the folder is as it was, and the message names the file.
    for (int nth = 1; nth <= 3; ++nth) {
        TempDir dir;
        write_file(dir / "a.txt", "old a");
        write_file(dir / "c.txt", "old c");
        const auto before = snapshot(dir.path());
        process::StoredFiles set;
        for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
            std::string why;
            const int fd = set.create((dir / name).string(), why);
            ASSERT_GE(fd, 0) << why;
            ASSERT_EQ(::write(fd, "new", 3), 3);
        }
        const FailingRename failing(nth, false);
        const std::string why = set.commit();
        const char* names[] = {"a.txt", "b.txt", "c.txt"};
        EXPECT_EQ(why, (dir / names[nth - 1]).string() + ": " + std::strerror(EBUSY)) << nth;
        EXPECT_EQ(set.left(), "") << nth;
        EXPECT_EQ(snapshot(dir.path()), before) << nth;
    }
}

TEST(StoredFiles, WhatCannotBePutBackIsNamed) {
    // The second rename fails, and so does every one after it: the first
    // file, already in place, cannot get its old version back.
    TempDir dir;
    write_file(dir / "a.txt", "old a");
    process::StoredFiles set;
    for (const char* name : {"a.txt", "b.txt"}) {
        std::string why;
        const int fd = set.create((dir / name).string(), why);
        ASSERT_GE(fd, 0) << why;
        ASSERT_EQ(::write(fd, "new", 3), 3);
    }
    const FailingRename failing(2, true);
    EXPECT_EQ(set.commit(), (dir / "b.txt").string() + ": " + std::strerror(EBUSY));
    const std::string left = set.left();
    const std::string prefix = (dir / "a.txt").string() + " is the new file; its old one is kept as " + (dir / "a.txt.").string();
    ASSERT_EQ(left.rfind(prefix, 0), 0u) << left;
    const fs::path kept = left.substr(left.find(" kept as ") + 9);
    EXPECT_EQ(read_file(kept), "old a");
    EXPECT_EQ(read_file(dir / "a.txt"), "new");
    EXPECT_EQ(entries(dir.path()), 2u);  // a.txt and its old version; no b.txt, no temporary
}

// The programs that store sets of files: each rename failing in turn leaves
// the files of an earlier run as they were, and the message says so.
TEST(StoredFiles, PrepAndExportStoreAllOrNothing) {
    TempDir dir;
    fs::copy_file(data_dir() / ".." / ".." / "examples" / "barley.csv", dir / "barley.csv");
    const std::string table = (dir / "barley.csv").string(), job = (dir / "B").string();
    const char* prep_args[] = {"seqord-prep", "--force", "--value", "value", table.c_str(), job.c_str()};
    std::string out, err;
    ASSERT_EQ(prep::run(6, prep_args, out, err), 0) << err;
    ASSERT_EQ(run_command(dir.path(), SEQORD_EXE, {"B"}).status, 0);
    const char* export_args[] = {"seqord-export", job.c_str()};
    ASSERT_EQ(tables::run(2, export_args, out, err), 0) << err;
    // The earlier run's files, changed so that a new one shows.
    for (const char* f : {"B.EMA", "B.NAQ", "B.names.csv", "B.points.csv", "B.axes.csv", "B.alignment.csv", "B.pairs.csv",
                          "B.consensus.csv", "B.trajectory.csv"})
        write_file(dir / f, "earlier");

    const struct Case {
        const char* program;
        int renames;
        std::string message;
    } cases[] = {
        {"seqord-prep", 3, "seqord-prep: error: cannot store " + job + ".EMA, " + job + ".NAQ and " + job +
                               ".names.csv: " + job + ".@: " + std::strerror(EBUSY) + "; none is written\n"},
        {"seqord-export", 6, "seqord-export: error: cannot store the tables " + job + ".*.csv (" + job + ".@: " +
                                     std::strerror(EBUSY) + "); no table is written\n"},
    };
    for (const Case& c : cases) {
        const bool prep = std::string(c.program) == "seqord-prep";
        const char* files[] = {"EMA",     "NAQ",           "names.csv", "points.csv", "axes.csv", "alignment.csv",
                               "pairs.csv", "consensus.csv", "trajectory.csv"};
        for (int nth = 1; nth <= c.renames; ++nth) {
            const auto before = snapshot(dir.path());
            std::string o, e;
            int status = 0;
            {
                const FailingRename failing(nth, false);
                status = prep ? prep::run(6, prep_args, o, e) : tables::run(2, export_args, o, e);
            }
            EXPECT_EQ(status, 1) << c.program << " " << nth;
            std::string message = c.message;
            message.replace(message.find('@'), 1, files[(prep ? 0 : 3) + nth - 1]);
            EXPECT_NE(e.find(message), std::string::npos) << c.program << " " << nth << ": " << e;
            EXPECT_EQ(snapshot(dir.path()), before) << c.program << " " << nth;
        }
    }
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
