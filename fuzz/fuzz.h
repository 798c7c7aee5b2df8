// What the four fuzz targets and tests/fuzz_regressions_test.cpp share: the
// targets' per-input functions, the Result they return, and the helpers that
// more than one target uses.  The libFuzzer mains in this folder and the
// regression test both call these functions, so a kept input is replayed by
// the ordinary test build through exactly the code path that found it.
//
// Each target lives in its own source: records_read.cpp, list_read.cpp,
// format_out.cpp and job.cpp; the shared helpers are in common.cpp.  The
// models that the targets compare the program with are declared in models.h.
//
// Each function returns a Result.  A RunStop is an expected outcome (the run
// would end with its report); anything that escapes as another exception,
// and any broken expectation, is put into `verdict`, which the fuzz mains
// turn into an abort so that libFuzzer keeps the input.  Crashes and
// sanitizer reports need no help: they end the process by themselves.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "records/records.h"

namespace seqord::fuzz {

struct Result {
    int stops = 0;          // RunStops caught: expected ends of a read or a run
    int status = -1;        // fuzz_job only: the run's exit status
    bool rejected = false;  // fuzz_job only: input outside what the target runs
    std::string verdict;    // empty: every expectation held

    void fail(const std::string& why) {
        if (verdict.empty()) verdict = why;
    }
};

// ------------------------------------------------------------ targets ---

// fuzz_records_read: matrix rows and year records read through their layouts.
Result records_read(const std::uint8_t* data, std::size_t size);
// fuzz_list_read: free-form integer reads of varying variable lists.
Result list_read(const std::uint8_t* data, std::size_t size);
// fuzz_format_out: every output layout, and the field conversions.
Result format_out(const std::uint8_t* data, std::size_t size);
// fuzz_job: a whole run in-process on an .EMA/.NAQ pair.
Result job(const std::uint8_t* data, std::size_t size);
// fuzz_csv_read: a table read by seqord-prep's reader (against a model),
// its numbers, and the whole table read into genotype means.
Result csv_read(const std::uint8_t* data, std::size_t size);

// fuzz_results_read: the readers of the result files, and the checks that
// the files are of one run.  The input is .ORP, .POR, .ORS and .SOR in that
// order, separated by kResultsSeparator.
Result results_read(const std::uint8_t* data, std::size_t size);
inline constexpr std::string_view kResultsSeparator = "\n=====NEXT=====\n";

// The line that separates the .EMA part of a fuzz_job input from its .NAQ
// part; without it the whole input is the .EMA and the .NAQ is empty.
inline constexpr std::string_view kJobSeparator = "\n=====NAQ=====\n";
// The file with extension `ext` (".SOR", ...) of the runs of fuzz_job.
std::string job_file(std::string_view ext);

// What a fuzz main returns for a Result: a broken expectation aborts (so that
// libFuzzer records the input), an input the target does not run is kept
// out of the corpus (-1), everything else is an ordinary 0.
int finish(const char* target, const Result& r);

// ------------------------------------------------------------ helpers ---

// Takes bytes from the front of the fuzzer's input; missing bytes read as 0.
class Bytes {
public:
    Bytes(const std::uint8_t* p, std::size_t n) : p_(p), n_(n) {}
    std::size_t left() const { return n_; }
    std::uint8_t byte() {
        if (n_ == 0) return 0;
        --n_;
        return *p_++;
    }
    template <class T>
    T raw() {
        unsigned char b[sizeof(T)] = {};
        const std::size_t k = std::min(n_, sizeof(T));
        if (k > 0) std::memcpy(b, p_, k);
        p_ += k;
        n_ -= k;
        T v;
        std::memcpy(&v, b, sizeof v);
        return v;
    }
    std::string take(std::size_t k) {
        k = std::min(k, n_);
        std::string s(reinterpret_cast<const char*>(p_), k);
        p_ += k;
        n_ -= k;
        return s;
    }
    std::string rest() { return take(n_); }

private:
    const std::uint8_t* p_;
    std::size_t n_;
};

// An anonymous in-memory file (a memfd, or an unlinked file under /tmp where
// memfds are not available).
class MemFile {
public:
    explicit MemFile(std::string_view content = {});
    ~MemFile();
    MemFile(const MemFile&) = delete;
    MemFile& operator=(const MemFile&) = delete;

    int fd() const { return fd_; }
    void rewind() const;
    void put(std::string_view s) const;
    std::string contents() const;

private:
    int fd_ = -1;
};

// The records of a text as the input streams see them: a record ends at a
// line feed, a carriage return just before it is dropped, and a last line
// without its line feed is a record when it holds anything.
std::vector<std::string> split_records(std::string_view text);

// The field of `width` columns at column `col0` (counted from 0), padded
// with blanks where the record is shorter.
std::string field_of(const std::string& line, std::size_t col0, std::size_t width);

// Which record-layer condition a RunStop reports ("seqord: severe (N): ...").
int severe_number(const RunStop& stop);

// The bits of a float, as "0x%08x", for reports.
std::string hex_bits(float v);

// The spacing of float values around v (the gap to the next float away from 0).
double float_gap(float v);

// Calls f with the entries of v as one initializer list (the transfers take
// their value and variable lists that way).
template <class T, class F>
void as_list(const std::vector<T>& v, F f) {
    switch (v.size()) {
    case 0: f({}); break;
    case 1: f({v[0]}); break;
    case 2: f({v[0], v[1]}); break;
    case 3: f({v[0], v[1], v[2]}); break;
    case 4: f({v[0], v[1], v[2], v[3]}); break;
    case 5: f({v[0], v[1], v[2], v[3], v[4]}); break;
    case 6: f({v[0], v[1], v[2], v[3], v[4], v[5]}); break;
    case 7: f({v[0], v[1], v[2], v[3], v[4], v[5], v[6]}); break;
    case 8: f({v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]}); break;
    default: std::abort();  // the targets never build longer lists
    }
}

}  // namespace seqord::fuzz
