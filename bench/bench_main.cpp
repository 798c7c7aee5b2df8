// Speed of the parts that grow with the data set: the decomposition (about
// n^3), the centring (n^2), the record groups that carry whole matrices into
// .SOR, the field conversions every line goes through, and whole runs of the
// largest data sets that the workspace holds.
//
// The shipped decomposition is timed beside the plain scalar rotation loop
// of bench/baseline on the same matrices, and the run ends with a table of
// their times and ratio per order, and, where bench_floor.cpp timed it, the
// floor that the precision rules set.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_data.h"
#include "jacobi_baseline.h"
#include "main/job.h"
#include "ordination/ordination.h"
#include "output/output.h"
#include "records/records.h"

namespace {

using seqord::Table;
using seqord::bench::centred_matrix;

// ------------------------------------------------------ decomposition ---

enum class Variant { Baseline, Shipped, Shipped128, Shipped256 };

template <Variant which>
void BM_Jacobi(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::vector<float> start = centred_matrix(n);
    std::vector<float> a(start), v(a.size()), ev(static_cast<std::size_t>(n));
    std::vector<std::int32_t> iwk(static_cast<std::size_t>(n));
    const auto nn = static_cast<std::int64_t>(a.size());
    // The scratch the year loop hands in: the working copy and the guard.
    auto scratch = std::make_unique<seqord::ordination::JacobiGuard>();
    // Narrower vectors, as on processors without the wider ones.
    scratch->widest = which == Variant::Shipped128 ? 128 : which == Variant::Shipped256 ? 256 : 512;
    std::int32_t nrot = 0;
    for (auto _ : state) {
        a = start;
        const Table<float> ta{a.data(), nn, n, n}, tv{v.data(), nn, n, n}, tev{ev.data(), n, n, 1};
        const Table<std::int32_t> tiwk{iwk.data(), n, n, 1};
        if constexpr (which == Variant::Baseline)
            seqord::baseline::jacobi(ta, n, 0, tv, nrot, tev, tiwk, n);
        else
            nrot = seqord::ordination::jacobi(ta, n, 0, tv, tev, tiwk, scratch.get()).nrot;
        benchmark::DoNotOptimize(a.data());
        benchmark::DoNotOptimize(v.data());
        benchmark::ClobberMemory();
    }
    state.counters["rotations"] = static_cast<double>(nrot);
}
BENCHMARK(BM_Jacobi<Variant::Baseline>)->Name("Jacobi/baseline")->Arg(50)->Arg(100)->Arg(200)->Arg(400)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jacobi<Variant::Shipped>)->Name("Jacobi/shipped")->Arg(50)->Arg(100)->Arg(200)->Arg(400)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jacobi<Variant::Shipped128>)->Name("Jacobi/shipped_128bit")->Arg(400)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jacobi<Variant::Shipped256>)->Name("Jacobi/shipped_256bit")->Arg(400)->Unit(benchmark::kMillisecond);

// The shipped decomposition without the scratch: the element-by-element loop.
void BM_JacobiNoScratch(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::vector<float> start = centred_matrix(n);
    std::vector<float> a(start), v(a.size()), ev(static_cast<std::size_t>(n));
    std::vector<std::int32_t> iwk(static_cast<std::size_t>(n));
    const auto nn = static_cast<std::int64_t>(a.size());
    for (auto _ : state) {
        a = start;
        seqord::ordination::jacobi(Table<float>{a.data(), nn, n, n}, n, 0, Table<float>{v.data(), nn, n, n},
                                   Table<float>{ev.data(), n, n, 1}, Table<std::int32_t>{iwk.data(), n, n, 1},
                                   nullptr);
        benchmark::DoNotOptimize(a.data());
    }
}
BENCHMARK(BM_JacobiNoScratch)->Name("Jacobi/shipped_without_scratch")->Arg(400)->Unit(benchmark::kMillisecond);

// ------------------------------------------------ centring and records ---

// A .SOR that goes nowhere: the records are still built and buffered.
struct NullFiles {
    seqord::Files f;
    int fd;
    NullFiles() : fd(::open("/dev/null", O_WRONLY | O_CLOEXEC)) {
        f.sor.bind(seqord::job::kSOR, "NULL.SOR", fd, false);
        f.ors.bind(seqord::job::kORS, "NULL.ORS", fd, false);
    }
    ~NullFiles() {
        f.sor.flush_quietly();
        f.ors.flush_quietly();
        ::close(fd);
    }
};

constexpr int kFull = 415;  // the most locations one year can have

// Centring of a full-size year, S11 echo of the dissimilarities included.
void BM_Centre(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::vector<float> d = centred_matrix(n);
    for (float& x : d) x = std::fabs(x);
    std::vector<float> a(d.size()), ev(static_cast<std::size_t>(n));
    NullFiles out;
    for (auto _ : state) {
        a = d;
        seqord::ordination::centre(out.f,
                                   seqord::Tables{.A = {a.data(), static_cast<std::int64_t>(a.size()), n, n},
                                                  .EV = {ev.data(), n, n, 1},
                                                  .maxl = n},
                                   n);
        benchmark::DoNotOptimize(a.data());
    }
}
BENCHMARK(BM_Centre)->Arg(kFull)->Unit(benchmark::kMillisecond);

// The three record groups that carry a whole matrix: S10 (the matrix as
// read, E16.8), S11 (the symmetric dissimilarities, F8.3) and S13 (the rows
// of A and V after the decomposition, F7.3).  Items counts the reals.
void BM_RecordsS10(benchmark::State& state) {
    const int n = kFull;
    const std::vector<float> a = centred_matrix(n);
    const seqord::Name name = seqord::Name::of("LOC123");
    NullFiles out;
    for (auto _ : state)
        for (int i = 1; i <= n; ++i)
            seqord::out::S10(out.f.sor, i, name, {&a[static_cast<std::size_t>(i - 1)], static_cast<std::size_t>(i - 1), n});
    state.SetItemsProcessed(state.iterations() * n * (n - 1) / 2);
}
BENCHMARK(BM_RecordsS10)->Unit(benchmark::kMillisecond);

void BM_RecordsS11(benchmark::State& state) {
    const int n = kFull;
    const std::vector<float> a = centred_matrix(n);
    NullFiles out;
    for (auto _ : state)
        for (int i = 1; i <= n; ++i)
            seqord::out::S11(out.f.sor, {&a[static_cast<std::size_t>(i - 1)], static_cast<std::size_t>(n), n});
    state.SetItemsProcessed(state.iterations() * n * n);
}
BENCHMARK(BM_RecordsS11)->Unit(benchmark::kMillisecond);

void BM_RecordsS13(benchmark::State& state) {
    const int n = kFull;
    const std::vector<float> a = centred_matrix(n), v = centred_matrix(n, 7);
    NullFiles out;
    for (auto _ : state)
        for (int i = 1; i <= n; ++i)
            seqord::out::S13(out.f.sor, {&a[static_cast<std::size_t>(i - 1)], static_cast<std::size_t>(n), n},
                             {&v[static_cast<std::size_t>(i - 1)], static_cast<std::size_t>(n), n});
    state.SetItemsProcessed(state.iterations() * 2 * n * n);
}
BENCHMARK(BM_RecordsS13)->Unit(benchmark::kMillisecond);

void BM_FormatE16_8(benchmark::State& state) {
    float x = 0.123456f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(seqord::format_e(x, 16, 8));
        x = x * 1.0001f;
    }
}
BENCHMARK(BM_FormatE16_8);

void BM_FormatF7_3(benchmark::State& state) {
    float x = -0.123456f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(seqord::format_f(x, 7, 3));
        x = x * -1.0001f;
    }
}
BENCHMARK(BM_FormatF7_3);

void BM_ParseE16_8(benchmark::State& state) {
    float x = 0;
    for (auto _ : state) {
        seqord::parse_real_field("       53937242 ", 8, x);
        benchmark::DoNotOptimize(x);
    }
}
BENCHMARK(BM_ParseE16_8);

// ---------------------------------------------------------- whole runs ---

// The console answers of a job named JOB, in a file the runs read from.
void write_answers(const std::filesystem::path& dir) {
    std::FILE* f = std::fopen((dir / "answers").c_str(), "w");
    if (f == nullptr) throw std::runtime_error("cannot write the answers");
    std::fputs("y\nJOB\n", f);
    std::fclose(f);
}

// A data set made by gen_trial in a folder of its own, kept for the process.
struct DataSet {
    std::filesystem::path dir;
    explicit DataSet(const std::string& args) {
        dir = std::filesystem::temp_directory_path() / ("seqord-bench-" + std::to_string(::getpid()) + "-" +
                                                        std::to_string(std::hash<std::string>{}(args)));
        std::filesystem::create_directories(dir);
        const std::string cmd = "cd '" + dir.string() + "' && '" SEQORD_GEN_TRIAL "' --out JOB " + args + " > /dev/null";
        if (std::system(cmd.c_str()) != 0) throw std::runtime_error("gen_trial failed: " + cmd);
        write_answers(dir);
    }
    ~DataSet() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

// The largest data sets the workspace holds: one year of 415 locations, and
// three years of 413 (the most that fit with MAXY = 3), 100 genotypes each.
void BM_WholeRun(benchmark::State& state, const char* args) {
    static std::map<std::string, std::unique_ptr<DataSet>> sets;
    auto& set = sets[args];
    if (!set) set = std::make_unique<DataSet>(args);
    const std::filesystem::path here = std::filesystem::current_path();
    std::filesystem::current_path(set->dir);
    const int null_fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    int status = 0;
    for (auto _ : state) {
        const int in_fd = ::open("answers", O_RDONLY | O_CLOEXEC);
        status = seqord::job::run(in_fd, null_fd, null_fd);
        ::close(in_fd);
    }
    ::close(null_fd);
    std::filesystem::current_path(here);
    if (status != 0) state.SkipWithError("the run did not end normally");
}
BENCHMARK_CAPTURE(BM_WholeRun, 1x415, "--years 1 --locations 415 --nl 415 --genotypes 100 --seed 7")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_WholeRun, 3x413, "--years 3 --locations 413 --nl 413 --genotypes 100 --skip 0 --seed 7")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

// Prints, after the usual report, the baseline and shipped decomposition
// times per order and their ratio.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Iteration || r.error_occurred) continue;
            const std::string name = r.benchmark_name();
            const double ms = r.GetAdjustedCPUTime();  // in the benchmark's unit: milliseconds; CPU time, as other work may share the machine
            for (const char* kind : {"baseline", "shipped", "floor"}) {
                const std::string prefix = std::string("Jacobi/") + kind + "/";
                if (name.rfind(prefix, 0) == 0) times_[std::atoi(name.c_str() + prefix.size())][kind] = ms;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        if (times_.empty()) return;
        // The floor is the arithmetic alone (bench_floor.cpp); "at best" is
        // the ratio to the baseline that a decomposition as fast as the floor
        // would reach.
        std::printf("\nDecomposition, CPU time per call\n%6s %14s %14s %8s %12s %10s\n", "n", "baseline ms", "shipped ms",
                    "ratio", "floor ms", "at best");
        for (const auto& [n, t] : times_) {
            const auto b = t.find("baseline"), s = t.find("shipped"), f = t.find("floor");
            if (b == t.end() || s == t.end()) continue;
            std::printf("%6d %14.3f %14.3f %7.2fx", n, b->second, s->second, b->second / s->second);
            if (f != t.end()) std::printf(" %12.3f %9.2fx", f->second, b->second / f->second);
            std::printf("\n");
        }
    }

private:
    std::map<int, std::map<std::string, double>> times_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
