// Nothing is allocated once a run has opened its files: the run-header step
// and the whole year loop (matrix input, centring, decomposition, reports,
// the cross-year alignment and every record written or read) work in the
// workspace and in the buffers the streams set up when they were opened.
//
// This test program replaces the global allocation functions with ones that
// count the allocations made while a flag is set.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>
#include <string>

#include "main/job.h"
#include "support.h"

namespace {

bool g_counting = false;
long g_allocations = 0;

void* counted(std::size_t n) {
    if (g_counting) ++g_allocations;
    if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
    throw std::bad_alloc();
}

void* counted_aligned(std::size_t n, std::align_val_t a) {
    if (g_counting) ++g_allocations;
    const auto al = static_cast<std::size_t>(a);
    if (void* p = std::aligned_alloc(al, (n + al - 1) / al * al)) return p;
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t n) { return counted(n); }
void* operator new[](std::size_t n) { return counted(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    try {
        return counted(n);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    try {
        return counted(n);
    } catch (...) {
        return nullptr;
    }
}
void* operator new(std::size_t n, std::align_val_t a) { return counted_aligned(n, a); }
void* operator new[](std::size_t n, std::align_val_t a) { return counted_aligned(n, a); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace seqord::test {
namespace {

namespace fs = std::filesystem;

// Runs the job JOB in `dir` as the main program does after the dialogue,
// counting the allocations of the run-header step and the year loop.
long allocations_of_a_run(const fs::path& dir) {
    const fs::path here = fs::current_path();
    fs::current_path(dir);
    const int null_fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    long counted_allocations = -1;
    {
        Files f;
        f.con.bind(job::kConsoleOut, "stdout", null_fd, true);
        f.err.bind(job::kConsoleErr, "stderr", null_fd, true);
        auto ws = std::make_unique<job::Workspace>();
        Text<50> name;
        name.c[0] = 'J', name.c[1] = 'O', name.c[2] = 'B';
        job::open_files(f, job::names_from_job(name));
        g_allocations = 0;
        g_counting = true;
        job::run_header(f, *ws);
        g_counting = false;
        counted_allocations = g_allocations;
        f.flush_all_quietly();
    }
    ::close(null_fd);
    fs::current_path(here);
    return counted_allocations;
}

// The counting itself works: a run that allocates is seen to.
TEST(NoAllocation, TheCountSeesAnAllocation) {
    g_allocations = 0;
    g_counting = true;
    auto p = std::make_unique<int>(5);
    g_counting = false;
    EXPECT_EQ(g_allocations, 1);
    EXPECT_EQ(*p, 5);
}

TEST(NoAllocation, ShippedExampleRunsWithoutAllocating) {
    TempDir dir, program;
    const fs::path examples = data_dir().parent_path().parent_path() / "examples";
    for (const fs::path* d : {&dir.path(), &program.path()}) {
        fs::copy_file(examples / "TRIAL.EMA", *d / "JOB.EMA");
        fs::copy_file(examples / "TRIAL.NAQ", *d / "JOB.NAQ");
    }
    EXPECT_EQ(allocations_of_a_run(dir.path()), 0);
    // It was the whole run: the files are those of the program run as usual.
    ASSERT_EQ(run_job(program.path()).status, 0);
    for (const char* f : {"JOB.SOR", "JOB.ORS", "JOB.POR", "JOB.ORP"}) EXPECT_EQ(read_file(dir / f), read_file(program / f)) << f;
    EXPECT_NE(read_file(dir / "JOB.ORP").find(" ev as % of SS"), std::string::npos);
}

// Larger years: long matrix rows, records across many lines, and buffers
// that are flushed many times over.
TEST(NoAllocation, LargeYearsRunWithoutAllocating) {
    TempDir dir;
    const fs::path gen = fs::path(SEQORD_EXE).parent_path() / "gen_trial";
    const std::string cmd = "cd '" + dir.path().string() + "' && '" + gen.string() +
                            "' --out JOB --years 3 --locations 120 --nl 110 --genotypes 30 --skip 0 --seed 5 > /dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(allocations_of_a_run(dir.path()), 0);
    const std::string sor = read_file(dir / "JOB.SOR");
    EXPECT_NE(sor.find("   For year 2021"), std::string::npos);
    EXPECT_GT(sor.size(), 1000000u);
}

}  // namespace
}  // namespace seqord::test
