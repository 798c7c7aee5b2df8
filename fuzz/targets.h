// The per-input logic of the four fuzz targets.  The libFuzzer mains in this
// folder and tests/fuzz_regressions_test.cpp both call these functions, so a
// kept input is replayed by the ordinary test build through exactly the code
// path that found it.
//
// Each function returns a Result.  A RunStop is an expected outcome (the run
// would end with its report); anything that escapes as another exception,
// and any broken expectation, is put into `verdict`, which the fuzz mains
// turn into an abort so that libFuzzer keeps the input.  Crashes and
// sanitizer reports need no help: they end the process by themselves.
#pragma once

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <initializer_list>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "input/input.h"
#include "main/job.h"
#include "output/output.h"
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
    explicit MemFile(std::string_view content = {}) {
        fd_ = ::memfd_create("seqord-fuzz", MFD_CLOEXEC);
        if (fd_ < 0) {
            char path[] = "/tmp/fzmXXXXXX";
            fd_ = ::mkstemp(path);
            if (fd_ >= 0) ::unlink(path);
        }
        if (fd_ < 0) {
            std::perror("seqord fuzz: no temporary file");
            std::abort();
        }
        put(content);
        rewind();
    }
    ~MemFile() { ::close(fd_); }
    MemFile(const MemFile&) = delete;
    MemFile& operator=(const MemFile&) = delete;

    int fd() const { return fd_; }
    void rewind() const { ::lseek(fd_, 0, SEEK_SET); }
    void put(std::string_view s) const {
        while (!s.empty()) {
            const ssize_t k = ::write(fd_, s.data(), s.size());
            if (k <= 0) std::abort();
            s.remove_prefix(static_cast<std::size_t>(k));
        }
    }
    std::string contents() const {
        std::string out;
        char buf[4096];
        off_t at = 0;
        for (;;) {
            const ssize_t k = ::pread(fd_, buf, sizeof buf, at);
            if (k <= 0) break;
            out.append(buf, static_cast<std::size_t>(k));
            at += k;
        }
        return out;
    }

private:
    int fd_ = -1;
};

// The records of a text as the input streams see them: a record ends at a
// line feed, a carriage return just before it is dropped, and a last line
// without its line feed is a record when it holds anything.
inline std::vector<std::string> split_records(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t nl = text.find('\n', at);
        std::size_t end = nl == std::string_view::npos ? text.size() : nl;
        std::size_t cut = end;
        if (cut > at && text[cut - 1] == '\r') --cut;
        lines.emplace_back(text.substr(at, cut - at));
        if (nl == std::string_view::npos) break;
        at = nl + 1;
    }
    return lines;
}

// The field of `width` columns at column `col0` (counted from 0), padded
// with blanks where the record is shorter.
inline std::string field_of(const std::string& line, std::size_t col0, std::size_t width) {
    std::string f = col0 < line.size() ? line.substr(col0, width) : std::string();
    f.resize(width, ' ');
    return f;
}

// Which record-layer condition a RunStop reports ("seqord: severe (N): ...").
inline int severe_number(const RunStop& stop) {
    const std::string what = stop.what();
    const std::string head = "seqord: severe (";
    if (what.rfind(head, 0) != 0) return -1;
    return std::atoi(what.c_str() + head.size());
}

inline std::string hex_bits(float v) {
    std::uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08x", static_cast<unsigned>(b));
    return buf;
}

// The spacing of float values around v (the gap to the next float away from 0).
inline double float_gap(float v) {
    const float a = std::fabs(v);
    if (!std::isfinite(a)) return 0.0;
    return static_cast<double>(std::nextafter(a, std::numeric_limits<float>::infinity())) - a;
}

// Whether `back`, read from an E field with `digits` significant digits,
// is a faithful reading of the value `v` that was written there.
inline bool close_after_e(float v, float back, int digits) {
    const double err = std::fabs(static_cast<double>(back) - static_cast<double>(v));
    // The mantissa (0.1 <= m < 1) is rounded at `digits` places: a relative
    // error of at most 5 * 10^-digits, then the reading rounds to a float.
    const double rel = 5.0 * std::pow(10.0, -digits);
    return err <= std::fabs(static_cast<double>(v)) * rel * 1.000001 + float_gap(v) + float_gap(back);
}

// ======================================================= fuzz_records_read ===

namespace detail {

// What reading one matrix row must give, worked out from the columns of its
// lines: "(I6,1X,A8,1X,1(T17,10E16.8))" puts the I6 in columns 1-6, the A8 in
// 8-15 and ten E16.8 fields a line from column 17, every further line of the
// row skipping columns 1-16.  `nvalues` counts the row's reals.
struct RowModel {
    bool ok = true;        // every field is a valid number
    int lines = 0;         // records the row takes
    std::int32_t number = 0;
    Name name;
    std::vector<float> values;
};

inline RowModel model_row(const std::vector<std::string>& recs, std::size_t first, std::size_t nvalues) {
    RowModel m;
    m.lines = static_cast<int>(nvalues == 0 ? 1 : (nvalues + 9) / 10);
    if (first + static_cast<std::size_t>(m.lines) > recs.size()) {
        m.ok = false;
        return m;
    }
    const std::string& head = recs[first];
    if (!parse_int_field(field_of(head, 0, 6), m.number)) m.ok = false;
    const std::string nm = field_of(head, 7, 8);
    std::copy(nm.begin(), nm.end(), m.name.c.begin());
    for (std::size_t k = 0; k < nvalues && m.ok; ++k) {
        const std::string& line = recs[first + k / 10];
        float x = 0.0f;
        if (!parse_real_field(field_of(line, 16 + 16 * (k % 10), 16), 8, x)) m.ok = false;
        m.values.push_back(x);
    }
    return m;
}

// The year record "(I6,4X,A8)": I6 in columns 1-6, the name in 11-18.
inline bool model_year(const std::string& line, std::int32_t& iy, Name& name) {
    const std::string nm = field_of(line, 10, 8);
    std::copy(nm.begin(), nm.end(), name.c.begin());
    return parse_int_field(field_of(line, 0, 6), iy);
}

// A run of `count` reals `stride` elements apart, in storage of exactly the
// size it needs so that the address sanitizer sees any step outside it.  The
// elements between the run's own are filled with a marker that must survive.
struct Strided {
    std::vector<float> store;
    std::size_t count;
    std::ptrdiff_t stride;
    static constexpr std::uint32_t kMarker = 0x7fc0beefu;  // a quiet NaN

    Strided(std::size_t n, std::ptrdiff_t s) : count(n), stride(s) {
        store.assign(n == 0 ? 1 : (n - 1) * static_cast<std::size_t>(s) + 1, marker());
    }
    static float marker() {
        float f;
        std::memcpy(&f, &kMarker, sizeof f);
        return f;
    }
    float* data() { return store.data(); }
    float at(std::size_t k) const { return store[k * static_cast<std::size_t>(stride)]; }
    bool gaps_intact() const {
        for (std::size_t i = 0; i < store.size(); ++i) {
            if (count > 0 && i % static_cast<std::size_t>(stride) == 0 && i / static_cast<std::size_t>(stride) < count)
                continue;
            std::uint32_t b;
            std::memcpy(&b, &store[i], sizeof b);
            if (b != kMarker) return false;
        }
        return true;
    }
};

// Writes one matrix row back through the same layout and reads it again: the
// echo of a row must read as the row did (to the eight digits of E16.8).
inline void row_round_trip(Result& r, std::int32_t number, const Name& name, const Strided& vals, float diagonal) {
    std::vector<float> flat;
    for (std::size_t k = 0; k < vals.count; ++k) flat.push_back(vals.at(k));
    MemFile file;
    {
        OutStream out;
        out.bind(22, "echo", file.fd(), false);
        write(out, layouts::kMatrixRow, {number, name, Out::reals(flat.data(), flat.size()), diagonal});
        out.flush();
    }
    const std::string text = file.contents();
    if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0)
        r.fail("matrix row echo does not end in CR LF");
    file.rewind();
    InStream in;
    in.bind(22, "echo", file.fd());
    std::int32_t number2 = 0;
    Name name2;
    std::vector<float> back(flat.size() + 1, 0.0f);
    float diagonal2 = 0.0f;
    try {
        read(in, layouts::kMatrixRow, {number2, name2, In::reals(back.data(), flat.size()), diagonal2});
    } catch (const RunStop& stop) {
        r.fail(std::string("the echo of a matrix row does not read back: ") + stop.what());
        return;
    }
    if (number2 != number || !(name2 == name)) r.fail("matrix row echo: row number or name changed");
    for (std::size_t k = 0; k < flat.size(); ++k)
        if (!close_after_e(flat[k], back[k], 8))
            r.fail("matrix row echo: value " + std::to_string(k + 1) + " " + hex_bits(flat[k]) + " read back as " +
                   hex_bits(back[k]));
    if (!close_after_e(diagonal, diagonal2, 8)) r.fail("matrix row echo: diagonal changed");
    std::string rest;
    if (in.next_record(rest)) r.fail("matrix row echo has more records than the read takes");
}

}  // namespace detail

// The first byte chooses the rows: bits 0-4 give n (0..31); with bit 5 clear
// the data are read as year blocks (a year record, then rows 1..n holding
// 1..n values as a matrix does), with bit 5 set every read is one row of
// 3n + 1 values.  The second byte gives the spacing (1..4) of the values in
// the receiving table.  The rest is the file.
inline Result records_read(const std::uint8_t* data, std::size_t size) {
    Result r;
    Bytes in(data, size);
    const std::uint8_t b0 = in.byte();
    const std::size_t n = b0 & 31u;
    const bool fixed_rows = (b0 & 32u) != 0;
    const std::ptrdiff_t stride = 1 + in.byte() % 4;
    const std::string text = in.rest();
    const std::vector<std::string> recs = split_records(text);

    MemFile file(text);
    InStream s;
    s.bind(20, "fuzz.EMA", file.fd());
    std::size_t at = 0;  // records consumed, by the model's count
    try {
        for (int block = 0; block < 64; ++block) {
            if (!fixed_rows) {
                std::int32_t iy = -7;
                Name yname = Name::of("unread");
                bool more = false;
                try {
                    more = read_or_eof(s, layouts::kYearRecord, {iy, yname});
                } catch (const RunStop& stop) {
                    std::int32_t miy = 0;
                    Name mname;
                    if (at < recs.size() && detail::model_year(recs[at], miy, mname))
                        r.fail(std::string("a valid year record was refused: ") + stop.what());
                    else if (severe_number(stop) != 64)
                        r.fail(std::string("unexpected condition for a bad year record: ") + stop.what());
                    throw;
                }
                if (!more) {
                    if (at != recs.size()) r.fail("read_or_eof reported the end of the file early");
                    break;
                }
                if (at >= recs.size()) {
                    r.fail("a year record was read past the end of the file");
                    break;
                }
                std::int32_t miy = 0;
                Name mname;
                const bool valid = detail::model_year(recs[at], miy, mname);
                if (!valid) r.fail("an invalid year record was accepted");
                else if (miy != iy || !(mname == yname)) r.fail("year record read differs from its columns");
                // The year record echoes under the same layout (R5 of .ORS).
                MemFile echo;
                {
                    OutStream o;
                    o.bind(23, "echo", echo.fd(), false);
                    write(o, layouts::kYearRecord, {iy, yname});
                }
                std::int32_t iy2 = 0;
                Name yname2;
                echo.rewind();
                InStream back;
                back.bind(23, "echo", echo.fd());
                try {
                    read(back, layouts::kYearRecord, {iy2, yname2});
                } catch (const RunStop& stop) {
                    r.fail(std::string("the echo of a year record does not read back: ") + stop.what());
                    return r;
                }
                if (iy2 != iy || !(yname2 == yname)) r.fail("year record echo reads back differently");
                ++at;
            }
            const std::size_t rows = fixed_rows ? 1 : n;
            for (std::size_t i = 1; i <= rows; ++i) {
                const std::size_t count = fixed_rows ? 3 * n : i - 1;  // values before the diagonal
                detail::Strided vals(count, stride);
                std::int32_t number = -7;
                Name name = Name::of("unread");
                float diagonal = detail::Strided::marker();
                const detail::RowModel m = detail::model_row(recs, at, count + 1);
                try {
                    read(s, layouts::kMatrixRow, {number, name, In::reals(vals.data(), count, stride), diagonal});
                } catch (const RunStop& stop) {
                    const int cond = severe_number(stop);
                    if (m.ok) r.fail(std::string("a valid matrix row was refused: ") + stop.what());
                    else if (cond != 24 && cond != 64)
                        r.fail(std::string("unexpected condition for a bad matrix row: ") + stop.what());
                    throw;
                }
                if (!m.ok) {
                    r.fail("an invalid or incomplete matrix row was accepted");
                    return r;
                }
                if (number != m.number || !(name == m.name)) r.fail("matrix row number or name differs from its columns");
                for (std::size_t k = 0; k < count; ++k)
                    if (std::memcmp(&m.values[k], &vals.store[k * static_cast<std::size_t>(stride)], sizeof(float)) != 0)
                        r.fail("matrix row value " + std::to_string(k + 1) + " differs from its field");
                if (std::memcmp(&m.values[count], &diagonal, sizeof(float)) != 0)
                    r.fail("matrix row diagonal differs from its field");
                if (!vals.gaps_intact()) r.fail("a matrix row read wrote between the elements of its run");
                for (std::size_t k = 0; k < count; ++k)
                    if (!std::isfinite(vals.at(k))) r.fail("a matrix row read stored a value that is not finite");
                at += static_cast<std::size_t>(m.lines);
                if (static_cast<long>(at) != s.line_number()) r.fail("a matrix row read took the wrong number of records");
                detail::row_round_trip(r, number, name, vals, diagonal);
                if (!r.verdict.empty()) return r;
            }
            if (fixed_rows && at >= recs.size()) break;
            if (!fixed_rows && n == 0 && at >= recs.size()) break;
        }
    } catch (const RunStop&) {
        ++r.stops;
    } catch (const std::exception& e) {
        r.fail(std::string("exception escaped a record read: ") + e.what());
    }
    return r;
}

// ========================================================= fuzz_list_read ===

namespace detail {

// A free-form read of integers worked out from the records, for comparison
// with the record layer's: values are [r*]v with v an optionally signed
// integer, separated by blanks, tabs or a comma with blanks around it, and by
// the end of a line; "r*" alone gives r null values, a comma right after a
// separator (or at the start of the read) a null value; a slash ends the
// read; whatever follows the last value on its line is skipped.
struct ListModel {
    enum class End { Full, Slash, EndOfFile, Syntax, Conversion };
    End end = End::Full;
    std::size_t next_record = 0;  // the record the next read starts with
};

inline bool model_int(std::string_view t, bool sign, std::int64_t& v, bool& overflow) {
    std::size_t i = 0;
    bool neg = false;
    if (sign && i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
    if (i == t.size()) return false;
    v = 0;
    overflow = false;
    for (; i < t.size(); ++i) {
        if (t[i] < '0' || t[i] > '9') return false;
        if (v < (std::int64_t{1} << 40)) v = v * 10 + (t[i] - '0');
        else overflow = true;
    }
    if (neg) v = -v;
    return true;
}

inline ListModel model_list(const std::vector<std::string>& recs, std::size_t first, std::vector<std::int32_t*> vars) {
    ListModel m;
    std::size_t k = 0;        // next variable
    std::size_t rec = first;  // current record
    std::size_t pos = 0;
    bool in_record = false;
    bool after_value = false;
    while (k < vars.size()) {
        if (!in_record || pos >= recs[rec - 1].size()) {
            if (rec >= recs.size()) {
                m.end = ListModel::End::EndOfFile;
                m.next_record = rec;
                return m;
            }
            ++rec;
            pos = 0;
            in_record = true;
            continue;
        }
        const std::string& line = recs[rec - 1];
        const char ch = line[pos];
        if (ch == ' ' || ch == '\t') { ++pos; continue; }
        if (ch == ',') {
            if (!after_value) ++k;
            after_value = false;
            ++pos;
            continue;
        }
        if (ch == '/') { m.end = ListModel::End::Slash; break; }
        std::size_t e = pos;
        while (e < line.size() && line[e] != ' ' && line[e] != '\t' && line[e] != ',' && line[e] != '/') ++e;
        const std::string_view tok(line.data() + pos, e - pos);
        pos = e;
        std::int64_t repeat = 1;
        std::string_view value = tok;
        bool overflow = false;
        const std::size_t star = tok.find('*');
        if (star != std::string_view::npos) {
            if (!model_int(tok.substr(0, star), false, repeat, overflow) || (!overflow && repeat < 1)) {
                m.end = ListModel::End::Syntax;
                return m;
            }
            if (overflow) repeat = std::numeric_limits<std::int64_t>::max();
            value = tok.substr(star + 1);
            if (value.empty()) {
                for (std::int64_t i = 0; i < repeat && k < vars.size(); ++i) ++k;
                after_value = true;
                continue;
            }
        }
        std::int64_t v = 0;
        if (!model_int(value, true, v, overflow)) {
            m.end = ListModel::End::Syntax;
            return m;
        }
        if (overflow || v > std::numeric_limits<std::int32_t>::max() || v < std::numeric_limits<std::int32_t>::min()) {
            m.end = ListModel::End::Conversion;
            return m;
        }
        for (std::int64_t i = 0; i < repeat && k < vars.size(); ++i) *vars[k++] = static_cast<std::int32_t>(v);
        after_value = true;
    }
    m.next_record = rec;
    return m;
}

}  // namespace detail

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

// Byte 0: bits 0-1 scalars before the run (0..3), bits 2-3 scalars after it
// (0..3), bits 4-6 reads to make (1..8).  Byte 1: the run's length (0..63).
// Byte 2: the run's spacing (1..3).  The rest is the file.  Every read is
// compared with the model above: the variables it sets, the condition that
// stops it, and the record the next read starts on.
inline Result list_read(const std::uint8_t* data, std::size_t size) {
    Result r;
    Bytes in(data, size);
    const std::uint8_t b0 = in.byte();
    std::size_t before = b0 & 3u;
    const std::size_t after = (b0 >> 2) & 3u;
    const int reads = 1 + ((b0 >> 4) & 7);
    const std::size_t run = in.byte() % 64;
    const std::ptrdiff_t stride = 1 + in.byte() % 3;
    if (before + run + after == 0) before = 1;  // the program never reads an empty list
    const std::string text = in.rest();
    const std::vector<std::string> recs = split_records(text);
    constexpr std::int32_t kUnset = -1234567;
    const std::size_t sstride = static_cast<std::size_t>(stride);

    MemFile file(text);
    InStream s;
    s.bind(20, "fuzz.EMA", file.fd());
    std::size_t next = 0;  // records consumed, by the model's count
    try {
        for (int n = 0; n < reads; ++n) {
            std::array<std::int32_t, 3> pre{kUnset, kUnset, kUnset}, post{kUnset, kUnset, kUnset};
            // Storage of exactly the run's extent; its gaps must stay as they are.
            std::vector<std::int32_t> store(run == 0 ? 1 : (run - 1) * sstride + 1, kUnset);
            std::array<std::int32_t, 3> mpre = pre, mpost = post;
            std::vector<std::int32_t> mstore = store;

            std::vector<In> vars;
            std::vector<std::int32_t*> mvars;
            for (std::size_t i = 0; i < before; ++i) {
                vars.emplace_back(pre[i]);
                mvars.push_back(&mpre[i]);
            }
            vars.push_back(In::ints(store.data(), run, stride));
            for (std::size_t i = 0; i < run; ++i) mvars.push_back(&mstore[i * sstride]);
            for (std::size_t i = 0; i < after; ++i) {
                vars.emplace_back(post[i]);
                mvars.push_back(&mpost[i]);
            }
            const detail::ListModel m = detail::model_list(recs, next, mvars);

            int cond = 0;
            std::string report;
            try {
                as_list(vars, [&](std::initializer_list<In> l) { read_list(s, l); });
            } catch (const RunStop& stop) {
                cond = severe_number(stop);
                report = stop.what();
            }
            using End = detail::ListModel::End;
            const int expected = m.end == End::EndOfFile ? 24 : m.end == End::Syntax ? 59
                                                            : m.end == End::Conversion ? 64 : 0;
            if (cond != expected) {
                r.fail("free-form read " + std::to_string(n + 1) + ": condition " + std::to_string(cond) +
                       " where " + std::to_string(expected) + " was expected" +
                       (report.empty() ? std::string() : " (" + report + ")"));
                return r;
            }
            if (cond != 0) {
                ++r.stops;
                break;
            }
            if (pre != mpre || post != mpost || store != mstore) {
                r.fail("free-form read " + std::to_string(n + 1) + ": the variables differ from the model's");
                return r;
            }
            if (static_cast<std::size_t>(s.line_number()) != m.next_record) {
                r.fail("free-form read " + std::to_string(n + 1) + " ended on record " +
                       std::to_string(s.line_number()) + ", the model on " + std::to_string(m.next_record));
                return r;
            }
            next = m.next_record;
        }
    } catch (const RunStop&) {
        ++r.stops;
    } catch (const std::exception& e) {
        r.fail(std::string("exception escaped a free-form read: ") + e.what());
    }
    return r;
}

// ======================================================== fuzz_format_out ===

namespace detail {

// One value of a write's list, as the model sees it.
struct Value {
    enum class K : std::uint8_t { Int, Real, Text } k;
    std::int64_t i = 0;
    float f = 0.0f;
    std::string t;
};

enum class Slot : std::uint8_t { Int, Real, Text };

inline Slot slot_of(Item k) { return k == Item::I ? Slot::Int : k == Item::A ? Slot::Text : Slot::Real; }

// Walks a layout as the matching rules say: items left to right, a group
// n(...) n times, a data item with repeat r taking r values; the walk stops
// at the first data item that finds the list used up, or at the final
// parenthesis once it is; with values left there, the record ends and the
// walk resumes at the reversion point (the last outermost group, or the
// start).  `want()` says whether a value is left, `data(item)` takes one,
// `other(item)` carries out a literal, X, T, / or $, `next_record()` ends the
// record at a reversion.  Returns false if a pass takes no value at all
// (the list could never be used up).
template <class Want, class Data, class Other, class Next>
bool walk(const Format& f, Want want, Data data, Other other, Next next_record) {
    bool stopped = false;
    std::size_t taken = 0;
    auto range = [&](auto& self, int from, int to) -> void {
        for (int i = from; i < to && !stopped; ++i) {
            const FormatItem& it = f.items[static_cast<std::size_t>(i)];
            if (it.kind == Item::Open) {
                for (int rep = 0; rep < it.rep && !stopped; ++rep) self(self, i + 1, it.match);
                i = it.match;
                continue;
            }
            if (it.kind == Item::A || it.kind == Item::I || it.kind == Item::F || it.kind == Item::E) {
                for (int rep = 0; rep < it.rep; ++rep) {
                    if (!want()) {
                        stopped = true;
                        return;
                    }
                    data(it);
                    ++taken;
                }
                continue;
            }
            other(it);
        }
    };
    range(range, 0, f.count);
    while (!stopped && want()) {
        const std::size_t before = taken;
        next_record();
        range(range, f.reversion, f.count);
        if (taken == before) return false;
    }
    return true;
}

// The kinds of the first n values a layout takes.
inline std::vector<Slot> slots(const Format& f, std::size_t n) {
    std::vector<Slot> out;
    if (!f.has_data) return out;
    walk(
        f, [&] { return out.size() < n; }, [&](const FormatItem& it) { out.push_back(slot_of(it.kind)); },
        [](const FormatItem&) {}, [] {});
    return out;
}

// The text that a write of `values` through `f` must produce, each record
// closed by `eol` unless the layout's "$" leaves the last one open.
inline std::string model_write(const Format& f, const std::vector<Value>& values, std::string_view eol,
                               bool& ok) {
    std::string out, rec;
    std::size_t pos = 0, len = 0, next = 0;
    bool keep_open = false;
    auto end_record = [&] {
        out.append(rec, 0, len);
        out.append(eol);
        rec.clear();
        pos = len = 0;
        keep_open = false;
    };
    auto put = [&](std::string_view s) {
        if (rec.size() < pos + s.size()) rec.resize(pos + s.size(), ' ');
        rec.replace(pos, s.size(), s);
        pos += s.size();
        len = std::max(len, pos);
    };
    ok = walk(
        f, [&] { return next < values.size(); },
        [&](const FormatItem& it) {
            const Value& v = values[next++];
            switch (it.kind) {
            case Item::I: put(format_int(v.i, it.w)); break;
            case Item::F: put(format_f(v.f, it.w, it.d)); break;
            case Item::E: put(format_e(v.f, it.w, it.d)); break;
            default: {
                if (!it.has_w) put(v.t);
                else if (v.t.size() >= static_cast<std::size_t>(it.w)) put(std::string_view(v.t).substr(0, static_cast<std::size_t>(it.w)));
                else put(std::string(static_cast<std::size_t>(it.w) - v.t.size(), ' ') + v.t);
            }
            }
        },
        [&](const FormatItem& it) {
            switch (it.kind) {
            case Item::Lit: {
                std::string lit;
                for (std::size_t i = 0; i < it.text.size(); ++i) {
                    lit.push_back(it.text[i]);
                    if (it.text[i] == it.quote && i + 1 < it.text.size() && it.text[i + 1] == it.quote) ++i;
                }
                put(lit);
                break;
            }
            case Item::X: pos += static_cast<std::size_t>(it.w); break;
            case Item::T: pos = static_cast<std::size_t>(it.w) - 1; break;
            case Item::Slash: end_record(); break;
            case Item::Dollar: keep_open = true; break;
            default: break;
            }
        },
        end_record);
    out.append(rec, 0, len);
    if (!keep_open) out.append(eol);
    return out;
}

struct NamedLayout {
    const char* label;
    const Format* f;
};

// Every layout of the output catalogue.
inline const std::vector<NamedLayout>& catalogue() {
    namespace L = seqord::layouts;
    static const std::vector<NamedLayout> all = {
        {"S1", &L::S1},   {"S2", &L::S2},   {"S3", &L::S3},   {"S4", &L::S4},   {"S5", &L::S5},
        {"S6", &L::S6},   {"S7", &L::S7},   {"S8", &L::S8},   {"S9", &L::S9},   {"S10", &L::S10},
        {"S11", &L::S11}, {"S12_empty", &L::S12_empty},     {"S12_count", &L::S12_count},
        {"S13", &L::S13}, {"S14", &L::S14}, {"S15", &L::S15}, {"S16", &L::S16}, {"S17", &L::S17},
        {"S18", &L::S18}, {"S19_text", &L::S19_text},       {"S19_axes", &L::S19_axes},
        {"S20", &L::S20}, {"S21", &L::S21}, {"S22", &L::S22}, {"R1", &L::R1},   {"R2", &L::R2},
        {"R3", &L::R3},   {"R4", &L::R4},   {"R5", &L::R5},   {"R6", &L::R6},   {"R7", &L::R7},
        {"R8", &L::R8},   {"R9", &L::R9},   {"R10", &L::R10}, {"P1", &L::P1},   {"P2", &L::P2},
        {"P3", &L::P3},   {"P4", &L::P4},   {"O1", &L::O1},   {"O2", &L::O2},   {"O3", &L::O3},
        {"C1_prompt", &L::C1_prompt},       {"C1_line", &L::C1_line},           {"C2_DZ", &L::C2_DZ},
        {"C2_Z", &L::C2_Z},                 {"C2_MZ", &L::C2_MZ},               {"C2_AZ", &L::C2_AZ},
        {"C2_report", &L::C2_report},
    };
    return all;
}

// Text from the input: any bytes but the line feed, which no record can hold.
inline std::string some_text(Bytes& in, std::size_t max) {
    std::string t = in.take(in.byte() % (max + 1));
    for (char& c : t)
        if (c == '\n') c = ' ';
    return t;
}

inline Name some_name(Bytes& in) {
    Name n;
    for (char& c : n.c) {
        c = static_cast<char>(in.byte());
        if (c == '\n') c = ' ';
    }
    return n;
}

// Storage for the runs of one write; each run has storage of exactly its
// extent, so a step outside it is the address sanitizer's to see.
struct RunStore {
    std::vector<std::vector<std::int32_t>> ints;
    std::vector<std::vector<float>> reals;
    std::vector<std::vector<Name>> names;
    std::vector<std::string> texts;
};

// Builds a value list of up to 8 entries for `f` (scalars and runs of the
// kinds its items take), and the flat list of values the model walks.
inline void value_list(Bytes& in, const Format& f, RunStore& st, std::vector<Out>& outs, std::vector<Value>& flat) {
    if (!f.has_data) return;
    const int entries = in.byte() % 9;
    st.texts.reserve(16);
    for (int e = 0; e < entries; ++e) {
        const std::vector<Slot> kinds = slots(f, flat.size() + 64);
        const Slot kind = kinds[flat.size()];
        std::size_t streak = 0;  // how many values of this kind come next
        while (flat.size() + streak < kinds.size() && kinds[flat.size() + streak] == kind) ++streak;
        const std::uint8_t form = in.byte();
        const std::size_t count = (form >> 2) % (streak + 1);
        const std::ptrdiff_t stride = 1 + (form >> 5) % 3;
        const std::size_t extent = count == 0 ? 1 : (count - 1) * static_cast<std::size_t>(stride) + 1;
        switch (kind) {
        case Slot::Int:
            switch (form & 3u) {
            case 0: {
                const std::int32_t v = in.raw<std::int32_t>();
                outs.emplace_back(v);
                flat.push_back({Value::K::Int, v, 0.0f, {}});
                break;
            }
            case 1: {
                const std::int64_t v = in.raw<std::int64_t>();
                outs.emplace_back(v);
                flat.push_back({Value::K::Int, v, 0.0f, {}});
                break;
            }
            case 2: {
                std::vector<std::int32_t>& run = st.ints.emplace_back(extent);
                for (auto& x : run) x = in.raw<std::int32_t>();
                outs.push_back(Out::ints(run.data(), count, stride));
                for (std::size_t k = 0; k < count; ++k)
                    flat.push_back({Value::K::Int, run[k * static_cast<std::size_t>(stride)], 0.0f, {}});
                break;
            }
            default: {
                // The program numbers from small positive starts; any 32-bit start is fair.
                const std::int64_t first = in.raw<std::int32_t>();
                outs.push_back(Out::sequence(first, count));
                for (std::size_t k = 0; k < count; ++k)
                    flat.push_back({Value::K::Int, first + static_cast<std::int64_t>(k), 0.0f, {}});
            }
            }
            break;
        case Slot::Real:
            if ((form & 1u) == 0) {
                const float v = in.raw<float>();
                outs.emplace_back(v);
                flat.push_back({Value::K::Real, 0, v, {}});
            } else {
                std::vector<float>& run = st.reals.emplace_back(extent);
                for (auto& x : run) x = in.raw<float>();
                outs.push_back(Out::reals(run.data(), count, stride));
                for (std::size_t k = 0; k < count; ++k)
                    flat.push_back({Value::K::Real, 0, run[k * static_cast<std::size_t>(stride)], {}});
            }
            break;
        case Slot::Text:
            if ((form & 1u) == 0 && st.texts.size() < st.texts.capacity()) {
                const std::string& t = st.texts.emplace_back(some_text(in, 60));
                outs.emplace_back(std::string_view(t));
                flat.push_back({Value::K::Text, 0, 0.0f, t});
            } else {
                std::vector<Name>& run = st.names.emplace_back(extent);
                for (auto& x : run) x = some_name(in);
                outs.push_back(Out::names(run.data(), count, stride));
                for (std::size_t k = 0; k < count; ++k)
                    flat.push_back({Value::K::Text, 0, 0.0f, std::string(run[k * static_cast<std::size_t>(stride)].view())});
            }
            break;
        }
    }
}

// Writes through `f` on a file stream and on a console stream and compares
// both with the model.
inline void check_layout_write(Result& r, const char* label, const Format& f, const std::vector<Out>& outs,
                               const std::vector<Value>& flat) {
    for (const bool console : {false, true}) {
        MemFile file;
        {
            OutStream s;
            s.bind(console ? 6 : 22, "fuzz", file.fd(), console);
            as_list(outs, [&](std::initializer_list<Out> l) { write(s, f, l); });
            s.flush();
        }
        bool ok = true;
        const std::string want = model_write(f, flat, console ? "\n" : "\r\n", ok);
        if (!ok) {
            r.fail(std::string(label) + ": the model cannot use up the list");
            return;
        }
        const std::string got = file.contents();
        if (got != want) {
            r.fail(std::string(label) + (console ? " (console)" : " (file)") + ": wrote \"" + got +
                   "\" where the layout gives \"" + want + "\"");
            return;
        }
        if (!console) {
            // On a file every record ends in CR LF, unless "$" left the last one open.
            for (std::size_t i = 0; i < got.size(); ++i)
                if (got[i] == '\n' && (i == 0 || got[i - 1] != '\r')) r.fail(std::string(label) + ": a bare line feed");
            const bool open_end = f.count > 0 && f.items[static_cast<std::size_t>(f.count - 1)].kind == Item::Dollar;
            if (!open_end && (got.size() < 2 || got.compare(got.size() - 2, 2, "\r\n") != 0))
                r.fail(std::string(label) + ": the last record does not end in CR LF");
        }
    }
}

inline bool all_stars(const std::string& s) {
    return !s.empty() && s.find_first_not_of('*') == std::string::npos;
}

// A numeric field: leading blanks, then the text without blanks.
inline bool right_aligned(const std::string& s) {
    const std::size_t b = s.find_first_not_of(' ');
    return b != std::string::npos && s.find(' ', b) == std::string::npos;
}

// Iw: the digits with "-" in front, right-aligned; asterisks when too wide.
inline void check_int_field(Result& r, std::int64_t v, int w) {
    const std::string got = format_int(v, w);
    const std::string digits = std::to_string(v);
    std::string want;
    if (w == 0) want = digits;
    else if (digits.size() > static_cast<std::size_t>(w)) want.assign(static_cast<std::size_t>(w), '*');
    else want = std::string(static_cast<std::size_t>(w) - digits.size(), ' ') + digits;
    if (got != want)
        r.fail("format_int(" + digits + ", " + std::to_string(w) + ") gave \"" + got + "\", not \"" + want + "\"");
}

// Fw.d: exactly w columns; when not asterisks, an optional "-", the integer
// digits (the "0" may be missing), the point and d decimals, which read back
// to within half a unit of the last decimal; asterisks only when even the
// shortest form does not fit.
inline void check_f_field(Result& r, float v, int w, int d) {
    const std::string got = format_f(v, w, d);
    const std::string what = "format_f(" + hex_bits(v) + ", " + std::to_string(w) + ", " + std::to_string(d) + ")";
    if (got.size() != static_cast<std::size_t>(w)) {
        r.fail(what + " is " + std::to_string(got.size()) + " columns wide");
        return;
    }
    if (!std::isfinite(v)) return;
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.*f", d, std::fabs(static_cast<double>(v)));
    std::string shortest = buf;  // rounded digits, point, decimals
    if (d == 0) shortest += '.';
    if (shortest.rfind("0.", 0) == 0 && d > 0) shortest.erase(0, 1);
    const bool negative = std::signbit(v) && v != 0.0f;
    const std::size_t need = shortest.size() + (negative ? 1 : 0);
    if (all_stars(got)) {
        if (need <= static_cast<std::size_t>(w)) r.fail(what + " gave asterisks but \"" + shortest + "\" fits");
        return;
    }
    if (need > static_cast<std::size_t>(w)) {
        r.fail(what + " gave \"" + got + "\" in too few columns");
        return;
    }
    if (!right_aligned(got)) r.fail(what + " gave \"" + got + "\": not right-aligned");
    const std::size_t point = got.find('.');
    if (point == std::string::npos || got.size() - point - 1 != static_cast<std::size_t>(d))
        r.fail(what + " gave \"" + got + "\": not d decimals");
    const bool zero_digits = got.find_first_of("123456789") == std::string::npos;
    if (zero_digits && got.find('-') != std::string::npos) r.fail(what + " gave \"" + got + "\": a minus on zero");
    if (!zero_digits && negative != (got.find('-') != std::string::npos))
        r.fail(what + " gave \"" + got + "\": wrong sign");
    float back = 0.0f;
    if (!parse_real_field(got, d, back)) {
        r.fail(what + " gave \"" + got + "\", which does not read back");
        return;
    }
    const double err = std::fabs(static_cast<double>(back) - static_cast<double>(v));
    if (err > 0.5 * std::pow(10.0, -d) * 1.000001 + float_gap(v) + float_gap(back))
        r.fail(what + " gave \"" + got + "\", which reads back as " + hex_bits(back));
}

// Ew.d: exactly w columns; otherwise an optional "-", an optional "0", the
// point, d digits (the first not 0 unless the value is 0), and the exponent
// as E+xx or +xxx; asterisks exactly when even the form without "0" is too
// wide.
template <class Real>
void check_e_field(Result& r, Real v, int w, int d) {
    const std::string got = format_e(v, w, d);
    char vb[64];
    std::snprintf(vb, sizeof vb, "%a", static_cast<double>(v));
    const std::string what = "format_e(" + std::string(vb) + ", " + std::to_string(w) + ", " + std::to_string(d) + ")";
    if (got.size() != static_cast<std::size_t>(w)) {
        r.fail(what + " is " + std::to_string(got.size()) + " columns wide");
        return;
    }
    if (!std::isfinite(v)) return;
    const bool negative = std::signbit(v) && v != Real(0);
    const std::size_t need = (negative ? 1u : 0u) + 1u + static_cast<std::size_t>(d) + 4u;
    if (all_stars(got)) {
        if (need <= static_cast<std::size_t>(w)) r.fail(what + " gave asterisks in a field wide enough");
        return;
    }
    if (need > static_cast<std::size_t>(w)) {
        r.fail(what + " gave \"" + got + "\" in too few columns");
        return;
    }
    if (!right_aligned(got)) r.fail(what + " gave \"" + got + "\": not right-aligned");
    std::string body = got.substr(got.find_first_not_of(' '));
    if (negative != (body[0] == '-')) r.fail(what + " gave \"" + got + "\": wrong sign");
    if (body[0] == '-') body.erase(0, 1);
    const bool lead_zero = body[0] == '0';
    if (lead_zero != (need + 1 <= static_cast<std::size_t>(w)))
        r.fail(what + " gave \"" + got + "\": the 0 before the point is wrongly present or missing");
    if (lead_zero) body.erase(0, 1);
    if (body.size() != 1 + static_cast<std::size_t>(d) + 4 || body[0] != '.') {
        r.fail(what + " gave \"" + got + "\": not of the form .d...E+xx");
        return;
    }
    const std::string mant = body.substr(1, static_cast<std::size_t>(d));
    const std::string expo = body.substr(1 + static_cast<std::size_t>(d));
    const bool two = expo[0] == 'E' && (expo[1] == '+' || expo[1] == '-') && std::isdigit(static_cast<unsigned char>(expo[2])) &&
                     std::isdigit(static_cast<unsigned char>(expo[3]));
    const bool three = (expo[0] == '+' || expo[0] == '-') && std::isdigit(static_cast<unsigned char>(expo[1])) &&
                       std::isdigit(static_cast<unsigned char>(expo[2])) && std::isdigit(static_cast<unsigned char>(expo[3]));
    if (!two && !three) {
        r.fail(what + " gave \"" + got + "\": bad exponent");
        return;
    }
    if (mant.find_first_not_of("0123456789") != std::string::npos) r.fail(what + " gave \"" + got + "\": bad digits");
    const int e = std::atoi(expo.c_str() + (two ? 1 : 0));
    if (three && e > -100 && e < 100) r.fail(what + " gave \"" + got + "\": three exponent digits for |exponent| < 100");
    if (v == Real(0)) {
        if (mant.find_first_not_of('0') != std::string::npos || e != 0) r.fail(what + " gave \"" + got + "\" for zero");
        return;
    }
    if (mant[0] == '0') r.fail(what + " gave \"" + got + "\": mantissa below 0.1");
    // The digits, read back exactly, must lie within half a unit of the last
    // digit of the value.
    const long double m = std::strtold(("0." + mant).c_str(), nullptr);
    const long double back = m * std::pow(10.0L, e);
    const long double err = std::fabs(back - std::fabs(static_cast<long double>(v)));
    const long double half = 0.5L * std::pow(10.0L, e - d);
    // (long double carries some 19 digits: beyond that the check is only as
    // fine as its own arithmetic)
    if (err > half * 1.0000001L + std::fabs(static_cast<long double>(v)) * 1e-17L) r.fail(what + " gave \"" + got + "\": more than half a unit off");
}

}  // namespace detail

// Byte 0 picks what to do: below 192, one write through a layout of the
// catalogue (byte 0 modulo its size), whose value list is built from the
// bytes that follow and whose text is compared with the model; otherwise
// direct field conversions with widths and decimals from the input.
inline Result format_out(const std::uint8_t* data, std::size_t size) {
    Result r;
    Bytes in(data, size);
    try {
        const std::uint8_t what = in.byte();
        if (what < 192) {
            const auto& cat = detail::catalogue();
            const detail::NamedLayout& nl = cat[what % cat.size()];
            detail::RunStore st;
            std::vector<Out> outs;
            std::vector<detail::Value> flat;
            detail::value_list(in, *nl.f, st, outs, flat);
            detail::check_layout_write(r, nl.label, *nl.f, outs, flat);
            return r;
        }
        // Field conversions, as often as the input allows.
        while (in.left() > 0 && r.verdict.empty()) {
            const std::uint8_t op = in.byte();
            const int w = in.byte();                        // 0..255 (0 only means something to I)
            const int d = (op & 0x80) ? in.byte() : in.byte() % 12;  // mostly the decimals the program uses
            switch (op % 4) {
            case 0: detail::check_int_field(r, in.raw<std::int64_t>(), w); break;
            case 1:
                if (w >= 1) detail::check_f_field(r, in.raw<float>(), w, d);
                break;
            case 2:
                if (w >= 1 && d >= 1) detail::check_e_field(r, in.raw<float>(), w, d);
                break;
            default:
                if (w >= 1 && d >= 1) detail::check_e_field(r, in.raw<double>(), w, d);
                break;
            }
        }
    } catch (const RunStop& stop) {
        r.fail(std::string("a write stopped the run: ") + stop.what());
    } catch (const std::exception& e) {
        r.fail(std::string("exception escaped a write: ") + e.what());
    }
    return r;
}

// ================================================================ fuzz_job ===

namespace detail {

// The folder of the run's six files, made once per process under /tmp with a
// short name, since each of the six names may be at most 50 characters; it
// is removed at exit.
class JobDir {
public:
    static const JobDir& get() {
        static const JobDir dir;
        return dir;
    }
    std::string file(const char* ext) const { return path_ + "/J" + ext; }
    ~JobDir() {
        for (const auto& ext : job::kExtensions) ::unlink(file(ext.data()).c_str());
        ::rmdir(path_.c_str());
    }
    JobDir(const JobDir&) = delete;
    JobDir& operator=(const JobDir&) = delete;

private:
    JobDir() {
        char templ[] = "/tmp/fzXXXXXX";
        if (::mkdtemp(templ) == nullptr) {
            std::perror("seqord fuzz: mkdtemp");
            std::abort();
        }
        path_ = templ;
    }
    std::string path_;
};

inline void write_whole(const std::string& path, std::string_view content) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) std::abort();
    while (!content.empty()) {
        const ssize_t k = ::write(fd, content.data(), content.size());
        if (k <= 0) std::abort();
        content.remove_prefix(static_cast<std::size_t>(k));
    }
    ::close(fd);
}

inline bool read_whole(const std::string& path, std::string& out) {
    out.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buf[8192];
    ssize_t k;
    while ((k = ::read(fd, buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(k));
    ::close(fd);
    return true;
}

}  // namespace detail

// The line that separates the .EMA part of a fuzz_job input from its .NAQ
// part; without it the whole input is the .EMA and the .NAQ is empty.
inline constexpr std::string_view kJobSeparator = "\n=====NAQ=====\n";
// Largest MAXL the target runs: the decomposition is cubic in the number of
// locations, and a few hundred locations would make single inputs take
// seconds under the sanitizers without reaching any code a smaller matrix
// does not.
inline constexpr std::int32_t kJobMaxLocations = 60;

// One whole run on the two files: the console answers "n" and then gives the
// six names, the console log goes to a file that is checked and dropped.
inline Result job(const std::uint8_t* data, std::size_t size) {
    Result r;
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = all.find(kJobSeparator);
    const std::string_view ema = cut == std::string_view::npos ? all : all.substr(0, cut);
    const std::string_view naq =
        cut == std::string_view::npos ? std::string_view() : all.substr(cut + kJobSeparator.size());

    // The run header, read as the program reads it, decides whether to run.
    try {
        MemFile head(ema);
        InStream s;
        s.bind(20, "header", head.fd());
        std::int32_t h[5] = {0, 0, 0, 0, 0};
        read_list(s, {h[0], h[1], h[2], h[3], h[4]});
        if (h[1] > kJobMaxLocations) {
            r.rejected = true;
            return r;
        }
    } catch (const RunStop&) {
        // The run will stop at the same place: cheap, so run it.
    }

    const detail::JobDir& dir = detail::JobDir::get();
    for (const auto& ext : job::kExtensions) ::unlink(dir.file(ext.data()).c_str());
    detail::write_whole(dir.file(".EMA"), ema);
    detail::write_whole(dir.file(".NAQ"), naq);
    std::string answers = "n\n";
    for (const auto& ext : job::kExtensions) answers += dir.file(ext.data()) + "\n";
    MemFile console_in(answers), console_out, console_err;
    r.status = job::run(console_in.fd(), console_out.fd(), console_err.fd());

    if (r.status < 0 || r.status > 2) r.fail("exit status " + std::to_string(r.status));
    if (r.status != 0) ++r.stops;
    const std::string err = console_err.contents();
    // The report channel carries warnings and at most one report, last.
    const std::vector<std::string> lines = split_records(err);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        const bool warning = l.rfind("seqord: warning: ", 0) == 0;
        const bool last = i + 1 == lines.size();
        const bool severe = l.rfind("seqord: severe (", 0) == 0, refused = l.rfind("seqord: error: ", 0) == 0;
        if (warning) continue;
        if (last && ((r.status == 1 && severe) || (r.status == 2 && refused))) continue;
        r.fail("unexpected report line for exit status " + std::to_string(r.status) + ": " + l);
    }
    if (r.status != 0 && (lines.empty() || lines.back().rfind("seqord: warning: ", 0) == 0))
        r.fail("exit status " + std::to_string(r.status) + " without its report");
    if (!err.empty() && err.back() != '\n') r.fail("the report channel does not end its last line");

    // Every record of the four output files ends in CR LF; the two plotting
    // files receive records only in the last step of a run that ends normally.
    for (const char* ext : {".SOR", ".ORS", ".POR", ".ORP"}) {
        std::string text;
        if (!detail::read_whole(dir.file(ext), text)) {
            if (r.status == 0) r.fail(std::string(ext) + " was not created by a normal run");
            continue;
        }
        for (std::size_t i = 0; i < text.size(); ++i)
            if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
                r.fail(std::string(ext) + ": a record ends in a bare line feed");
                break;
            }
        if (!text.empty() && (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0))
            r.fail(std::string(ext) + ": the last record does not end in CR LF");
        const bool plotting = ext[1] == 'P';
        if (plotting && r.status != 0 && !text.empty()) r.fail(std::string(ext) + " has records after a stopped run");
    }
    return r;
}

// What a fuzz main returns for a Result: a broken expectation aborts (so that
// libFuzzer records the input), an input the target does not run is kept
// out of the corpus (-1), everything else is an ordinary 0.
inline int finish(const char* target, const Result& r) {
    if (!r.verdict.empty()) {
        std::fprintf(stderr, "%s: %s\n", target, r.verdict.c_str());
        std::abort();
    }
    return r.rejected ? -1 : 0;
}

}  // namespace seqord::fuzz
